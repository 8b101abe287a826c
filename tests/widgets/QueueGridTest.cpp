// The queue grids as views over the controller's StringGrid.

#include <gtest/gtest.h>

#include <QHeaderView>
#include <QSignalSpy>

#include "core/Controls.h"
#include "ui/widgets/QueueGridModel.h"
#include "ui/widgets/QueueGridView.h"

namespace kavonet::ui {
namespace {

StringGrid SendQueue(std::initializer_list<std::pair<const char*, const char*>> rows) {
  StringGrid grid({"Destination", "Message Text"});
  for (const auto& [destination, text] : rows) {
    const int blank = grid.RowCount() - 1;
    grid.SetCell(0, blank, destination);
    grid.SetCell(1, blank, text);
    grid.AddRow();
  }
  return grid;
}

QString Cell(const QueueGridModel& model, int row, int column) {
  return model.data(model.index(row, column), Qt::DisplayRole).toString();
}

TEST(QueueGridModel, ShowsMessageRowsWithHeadingsAsHeaderAndNoBlankRow) {
  StringGrid grid = SendQueue({{"+4479", "Grüße"}, {"123", "two"}});
  QueueGridModel model(grid, nullptr);
  EXPECT_EQ(model.rowCount(), 2);
  EXPECT_EQ(model.columnCount(), 2);
  EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "Destination");
  EXPECT_EQ(model.headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), "Message Text");
  EXPECT_EQ(Cell(model, 0, 1), QString::fromUtf8("Grüße"));
  EXPECT_EQ(Cell(model, 1, 0), "123");
  EXPECT_FALSE(model.flags(model.index(0, 0)) & Qt::ItemIsEditable);
  EXPECT_TRUE(model.flags(model.index(0, 0)) & Qt::ItemIsSelectable);

  StringGrid empty({"Destination", "Message Text"});
  EXPECT_EQ(QueueGridModel(empty, nullptr).rowCount(), 0);
}

TEST(QueueGridModel, AnnouncesAppendedRowsAtTheEndAndTakenRowsAtTheHead) {
  StringGrid grid = SendQueue({{"1", "a"}});
  QueueGridModel model(grid, nullptr);
  QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
  QSignalSpy removed(&model, &QAbstractItemModel::rowsRemoved);

  for (const char* destination : {"2", "3"}) {
    grid.SetCell(0, grid.RowCount() - 1, destination);
    grid.AddRow();
  }
  model.Refresh();
  ASSERT_EQ(inserted.size(), 1);
  EXPECT_EQ(inserted[0][1].toInt(), 1);
  EXPECT_EQ(inserted[0][2].toInt(), 2);
  EXPECT_EQ(model.rowCount(), 3);

  grid.RemoveFirstRow();
  grid.RemoveFirstRow();
  model.Refresh();
  ASSERT_EQ(removed.size(), 1);
  EXPECT_EQ(removed[0][1].toInt(), 0);
  EXPECT_EQ(removed[0][2].toInt(), 1);
  EXPECT_EQ(Cell(model, 0, 0), "3");
}

TEST(QueueGridModel, SelectionStaysOnItsMessageWhenTheHeadIsTaken) {
  StringGrid grid = SendQueue({{"1", "a"}, {"2", "b"}, {"3", "c"}});
  QueueGridModel model(grid, nullptr);
  QueueGridView view({96, 455}, nullptr);
  view.setModel(&model);
  view.selectRow(2);

  grid.RemoveFirstRow();
  model.Refresh();
  const QModelIndexList selected = view.selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(Cell(model, selected[0].row(), 0), "3");
}

TEST(QueueGridView, SelectsWholeRowsAndNeitherEditsNorDrawsLines) {
  QueueGridView view({36, 38, 105, 53, 50, 303}, nullptr);
  StringGrid grid({"Msg#", "Status", "Origin", "Date", "Time", "Message Text"});
  QueueGridModel model(grid, nullptr);
  view.setModel(&model);
  EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(view.selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_FALSE(view.showGrid());
  EXPECT_TRUE(view.verticalHeader()->isHidden());
  EXPECT_EQ(view.verticalHeader()->defaultSectionSize(), QueueGridView::kRowHeight);
  const int widths[] = {36, 38, 105, 53, 50, 303};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(view.columnWidth(i), widths[i]) << i;
}

}  // namespace
}  // namespace kavonet::ui
