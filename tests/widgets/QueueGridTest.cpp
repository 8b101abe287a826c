// The queue grids as views over the controller's StringGrid: message rows only, changes
// announced where they happen so that a selection stays on its message.

#include <gtest/gtest.h>

#include <QSignalSpy>

#include "core/Controls.h"
#include "ui/widgets/QueueGridModel.h"
#include "ui/widgets/QueueGridView.h"

namespace kavonet::ui {
namespace {

void Append(StringGrid& grid, const char* destination, const char* text = "") {
  grid.SetCell(0, grid.RowCount() - 1, destination);
  grid.SetCell(1, grid.RowCount() - 1, text);
  grid.AddRow();
}

QString Cell(const QueueGridModel& model, int row, int column) {
  return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

TEST(QueueGridModel, ShowsMessageRowsWithTheHeadingsAsHeaderAndNoBlankRow) {
  StringGrid grid({"Destination", "Message Text"});
  EXPECT_EQ(QueueGridModel(grid, nullptr).rowCount(), 0);
  Append(grid, "+4479", "Grüße");
  Append(grid, "123", "two");
  QueueGridModel model(grid, nullptr);
  EXPECT_EQ(model.rowCount() * 10 + model.columnCount(), 22);
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Message Text");
  EXPECT_EQ(Cell(model, 0, 1) + Cell(model, 1, 0), QString::fromUtf8("Grüße123"));
  EXPECT_EQ(model.flags(model.index(0, 0)), Qt::ItemIsEnabled | Qt::ItemIsSelectable) << "not editable";
}

TEST(QueueGridModel, AnnouncesAppendedRowsAtTheEndAndTakenRowsAtTheHead) {
  StringGrid grid({"Destination", "Message Text"});
  for (const char* destination : {"1", "2", "3"}) Append(grid, destination);
  QueueGridModel model(grid, nullptr);
  QueueGridView view({96, 455}, nullptr);
  view.setModel(&model);
  view.selectRow(2);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);
  Append(grid, "4");
  Append(grid, "5");
  model.Refresh();
  ASSERT_EQ(inserted.size(), 1);
  EXPECT_EQ(std::make_pair(inserted[0][1].toInt(), inserted[0][2].toInt()), std::make_pair(3, 4));
  grid.RemoveFirstRow();
  grid.RemoveFirstRow();
  model.Refresh();
  ASSERT_EQ(removed.size(), 1);
  EXPECT_EQ(std::make_pair(removed[0][1].toInt(), removed[0][2].toInt()), std::make_pair(0, 1));
  EXPECT_EQ(model.rowCount(), 3);
  const QModelIndexList selected = view.selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(Cell(model, selected[0].row(), 0), "3") << "the selection stays on its message";
}

}  // namespace
}  // namespace kavonet::ui
