// The two containers under the queues: the wrapping slot queue and the string grid.

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/Controls.h"
#include "core/WrappingQueue.h"

namespace kavonet {
namespace {

struct QueueCase {
  const char* name;
  int cycles;         // entries put in and taken out first
  int lastReadIndex;  // then
  int waiting;        // entries put in after that
  int capacity;
};

class WrappingQueueTest : public ::testing::TestWithParam<QueueCase> {};

TEST_P(WrappingQueueTest, KeepsEveryWaitingEntryInOrderAndTheOneTakenOutLast) {
  const QueueCase& c = GetParam();
  WrappingQueue<int> q;
  auto push = [&q](int value) { q.WriteSlot() = value; q.AdvanceWrite(); };
  auto pop = [&q] { const int value = q.ReadSlot(); q.AdvanceRead(); return value; };
  for (int i = 0; i < c.cycles; ++i) { push(i); ASSERT_EQ(pop(), i); }
  EXPECT_EQ(q.LastReadIndex(), c.lastReadIndex);
  for (int i = 0; i < c.waiting; ++i) push(1000 + i);
  EXPECT_EQ(q.Count(), c.waiting);
  EXPECT_EQ(q.Capacity(), c.capacity);
  if (c.cycles > 0) {
    EXPECT_EQ(q.At(q.LastReadIndex()), c.cycles - 1) << "the entry taken out last";
  }
  for (int i = 0; i < c.waiting; ++i) ASSERT_EQ(pop(), 1000 + i);
  EXPECT_TRUE(q.Empty());
}

INSTANTIATE_TEST_SUITE_P(
    Fills, WrappingQueueTest,
    ::testing::Values(QueueCase{"IndicesWrapFrom99To0", 150, 49, 0, 100},
                      QueueCase{"NinetyEightWaitingEntriesFitWithoutGrowing", 0, 99, 98, 100},
                      QueueCase{"TheNinetyNinthGrowsTheQueue", 0, 99, 99, 200},
                      QueueCase{"GrowsByDoublingAcrossTheWrap", 30, 29, 1000, 1600}),
    [](const auto& info) { return info.param.name; });

struct GridCase {
  const char* name;
  int removals;  // RemoveFirstRow calls, then
  std::vector<std::pair<int, int>> moves;
  std::string column;  // the first column, heading and blank last row included
};

class StringGridTest : public ::testing::TestWithParam<GridCase> {};

TEST_P(StringGridTest, KeepsTheHeadingAndTheBlankLastRow) {
  StringGrid grid({"Destination", "Message Text"});
  for (int i = 0; i < 3; ++i) {
    grid.SetCell(0, grid.RowCount() - 1, std::to_string(i));
    grid.AddRow();
  }
  for (int i = 0; i < GetParam().removals; ++i) grid.RemoveFirstRow();
  for (const auto& [from, to] : GetParam().moves) grid.MoveRow(from, to);
  std::string column;
  for (int row = 0; row < grid.RowCount(); ++row) column += grid.Cell(0, row) + "|";
  EXPECT_EQ(column, GetParam().column);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, StringGridTest,
    ::testing::Values(
        GridCase{"RemoveFirstRow", 1, {}, "Destination|1|2||"},
        GridCase{"RemoveMoreRowsThanThereAre", 4, {}, "Destination||"},
        GridCase{"MoveRowDown", 0, {{1, 3}}, "Destination|1|2|0||"},
        GridCase{"MoveRowLeavesTheHeadingAndTheBlankRow", 0, {{0, 2}, {2, 0}, {2, 4}, {4, 2}},
                 "Destination|0|1|2||"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kavonet
