#include "core/BlockFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace kavonet {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FrameCase {
  Bytes body;
  Bytes stuffed;
};

class StuffedFrameTest : public ::testing::TestWithParam<FrameCase> {};

TEST_P(StuffedFrameTest, MatchesTheWireBytes) {
  EXPECT_EQ(StuffedFrame(GetParam().body), GetParam().stuffed);
}

TEST_P(StuffedFrameTest, UnstuffingGivesBackTheFrame) {
  Bytes frame = GetParam().stuffed;
  // The driver delivers the frame up to and including ETX.
  int etx = -1;
  for (std::size_t i = 1; i < frame.size(); ++i) {
    if (frame[i - 1] == DLE && frame[i] == ETX) etx = static_cast<int>(i);
  }
  ASSERT_GT(etx, 0);
  const int last = UnstuffFrame(frame, etx);
  Bytes expected{DLE, STX};
  expected.insert(expected.end(), GetParam().body.begin(), GetParam().body.end());
  expected.push_back(DLE);
  expected.push_back(ETX);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + last + 1), expected);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, StuffedFrameTest,
    ::testing::Values(FrameCase{{0x02}, {0x10, 0x02, 0x02, 0x10, 0x03, 0xFF, 0xFE}},
                      FrameCase{{0x03}, {0x10, 0x02, 0x03, 0x10, 0x03, 0xFF, 0xFD}},
                      FrameCase{{0x05, 0x00}, {0x10, 0x02, 0x05, 0x00, 0x10, 0x03, 0xFF, 0xFB}},
                      FrameCase{{0x05, 0x03}, {0x10, 0x02, 0x05, 0x03, 0x10, 0x03, 0xFF, 0xF8}},
                      FrameCase{{0x05, 0x02}, {0x10, 0x02, 0x05, 0x02, 0x10, 0x03, 0xFF, 0xF9}},
                      FrameCase{{0x08, 0x10},
                                {0x10, 0x02, 0x08, 0x10, 0x00, 0x10, 0x03, 0xFF, 0xE8}},
                      FrameCase{{0x01, 0xEF},
                                {0x10, 0x02, 0x01, 0xEF, 0x10, 0x03, 0xFF, 0x10, 0x00}},
                      FrameCase{{0x80, 0x80}, {0x10, 0x02, 0x80, 0x80, 0x10, 0x03, 0xFF, 0x00}},
                      FrameCase{{0x00}, {0x10, 0x02, 0x00, 0x10, 0x03, 0x00, 0x00}}));

TEST(StuffedFrame, LongBodyFullOfDleKeepsEveryByte) {
  const Bytes body(300, DLE);
  const Bytes frame = StuffedFrame(body);
  EXPECT_EQ(frame.size(), 2 + 600 + 2 + 2);  // checksum 0xED40: no DLE in it
}

TEST(UnstuffFrame, KeepsZeroAfterNonDleAndLooksAtTheReceivedPredecessor) {
  Bytes plain{0x10, 0x02, 0x05, 0x00, 0x10, 0x03};
  EXPECT_EQ(UnstuffFrame(plain, 5), 5);
  EXPECT_EQ(plain, (Bytes{0x10, 0x02, 0x05, 0x00, 0x10, 0x03}));

  // A data DLE followed by a data 0x00: DLE 00 00 becomes DLE 00.
  Bytes tricky{0x10, 0x02, 0x21, 0x10, 0x00, 0x00, 0x10, 0x03};
  const int last = UnstuffFrame(tricky, 7);
  EXPECT_EQ(Bytes(tricky.begin(), tricky.begin() + last + 1),
            (Bytes{0x10, 0x02, 0x21, 0x10, 0x00, 0x10, 0x03}));
}

TEST(UnstuffFrame, NeverReadsPastTheBuffer) {
  Bytes frame{0x10, 0x02, 0x2A};
  EXPECT_EQ(UnstuffFrame(frame, 500), 2);
  Bytes empty;
  EXPECT_EQ(UnstuffFrame(empty, 3), -1);
}

}  // namespace
}  // namespace kavonet
