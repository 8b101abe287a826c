// The queue grids as views over the controller's StringGrid: changes announced where they
// happen, so that a selection stays on its message.

#include <gtest/gtest.h>

#include "core/Controls.h"
#include "ui/widgets/QueueGridModel.h"
#include "ui/widgets/QueueGridView.h"

namespace kavonet::ui {
namespace {

void Append(StringGrid& grid, const char* destination) {
  grid.SetCell(0, grid.RowCount() - 1, destination);
  grid.AddRow();
}

TEST(QueueGridModel, KeepsTheSelectionOnItsMessageAsRowsComeAtTheEndAndGoAtTheHead) {
  StringGrid grid({"Destination", "Message Text"});
  for (const char* destination : {"1", "2", "3"}) Append(grid, destination);
  QueueGridModel model(grid, nullptr);
  QueueGridView view({96, 455}, nullptr);
  view.setModel(&model);
  view.selectRow(2);
  Append(grid, "4");
  Append(grid, "5");
  model.Refresh();
  grid.RemoveFirstRow();
  grid.RemoveFirstRow();
  model.Refresh();
  EXPECT_EQ(model.rowCount(), 3);
  const QModelIndexList selected = view.selectionModel()->selectedRows();
  ASSERT_EQ(selected.size(), 1);
  EXPECT_EQ(selected[0].data().toString(), "3") << "the selection stays on its message";
}

}  // namespace
}  // namespace kavonet::ui
