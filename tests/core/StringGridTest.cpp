#include "core/Controls.h"

#include <gtest/gtest.h>

#include <chrono>

namespace kavonet {
namespace {

StringGrid QueueOf(int rows) {
  StringGrid grid({"Destination", "Message Text"});
  for (int i = 0; i < rows; ++i) {
    grid.SetCell(0, grid.RowCount() - 1, std::to_string(i));
    grid.AddRow();
  }
  return grid;
}

TEST(StringGrid, RemoveFirstRowKeepsHeadingAndBlankLastRow) {
  StringGrid grid = QueueOf(3);
  grid.RemoveFirstRow();
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cell(0, 0), "Destination");
  EXPECT_EQ(grid.Cell(0, 1), "1");
  EXPECT_EQ(grid.Cell(0, 3), "");
  grid.RemoveFirstRow();
  grid.RemoveFirstRow();
  EXPECT_EQ(grid.RowCount(), 2);
  grid.RemoveFirstRow();  // nothing to take: the grid stays whole
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 0), "Destination");
}

TEST(StringGrid, MoveRowOnlyBetweenDataRows) {
  StringGrid grid = QueueOf(3);
  grid.MoveRow(1, 3);
  EXPECT_EQ(grid.Cell(0, 1), "1");
  EXPECT_EQ(grid.Cell(0, 3), "0");
  grid.MoveRow(0, 2);  // the heading stays
  grid.MoveRow(2, 4);  // the blank last row stays
  EXPECT_EQ(grid.Cell(0, 0), "Destination");
  EXPECT_EQ(grid.Cell(0, 4), "");
}

TEST(StringGrid, DrainingAHundredThousandRowsTakesLinearTime) {
  StringGrid grid = QueueOf(100000);
  const auto start = std::chrono::steady_clock::now();
  while (grid.RowCount() > 2) grid.RemoveFirstRow();
  // A row-by-row copy would take minutes; constant-time removal takes milliseconds, even
  // under the sanitizers.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

}  // namespace
}  // namespace kavonet
