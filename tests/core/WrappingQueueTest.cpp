#include "core/WrappingQueue.h"

#include <gtest/gtest.h>

namespace kavonet {
namespace {

void Push(WrappingQueue<int>& q, int value) {
  q.WriteSlot() = value;
  q.AdvanceWrite();
}

int Pop(WrappingQueue<int>& q) {
  const int value = q.ReadSlot();
  q.AdvanceRead();
  return value;
}

TEST(WrappingQueue, IndicesWrapFrom99To0) {
  WrappingQueue<int> q;
  for (int i = 0; i < 150; ++i) {
    Push(q, i);
    ASSERT_EQ(Pop(q), i);
  }
  EXPECT_EQ(q.Capacity(), 100);
  EXPECT_EQ(q.ReadIndex(), 50);
  EXPECT_EQ(q.WriteIndex(), 50);
  EXPECT_EQ(q.At(q.LastReadIndex()), 149);
}

TEST(WrappingQueue, LastReadIndexAtZeroIsSlot99) {
  WrappingQueue<int> q;
  for (int i = 0; i < 100; ++i) {
    Push(q, i);
    Pop(q);
  }
  EXPECT_EQ(q.ReadIndex(), 0);
  EXPECT_EQ(q.LastReadIndex(), 99);
  EXPECT_EQ(q.At(99), 99);
}

TEST(WrappingQueue, GrowsInsteadOfOverwritingAndKeepsOrder) {
  WrappingQueue<int> q;
  for (int i = 0; i < 30; ++i) {  // move the indices away from 0 first
    Push(q, i);
    Pop(q);
  }
  for (int i = 0; i < 1000; ++i) Push(q, 1000 + i);
  EXPECT_EQ(q.Count(), 1000);
  EXPECT_GT(q.Capacity(), 1000);
  EXPECT_EQ(q.At(q.LastReadIndex()), 29) << "the entry taken out last survives growth";
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(Pop(q), 1000 + i);
  EXPECT_TRUE(q.Empty());
}

TEST(WrappingQueue, NinetyNineWaitingEntriesFitWithoutGrowing) {
  WrappingQueue<int> q;
  for (int i = 0; i < 98; ++i) Push(q, i);
  EXPECT_EQ(q.Capacity(), 100);
  Push(q, 98);
  EXPECT_EQ(q.Count(), 99);
  for (int i = 0; i < 99; ++i) ASSERT_EQ(Pop(q), i);
}

TEST(WrappingQueue, ResetDropsWaitingEntries) {
  WrappingQueue<int> q;
  Push(q, 1);
  Push(q, 2);
  q.Reset();
  EXPECT_TRUE(q.Empty());
  EXPECT_EQ(q.ReadIndex(), 0);
  EXPECT_EQ(q.WriteIndex(), 0);
}

}  // namespace
}  // namespace kavonet
