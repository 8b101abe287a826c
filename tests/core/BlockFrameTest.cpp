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

TEST_P(StuffedFrameTest, MatchesTheWireBytesAndUnstuffsBackToTheFrame) {
  Bytes frame = StuffedFrame(GetParam().body);
  EXPECT_EQ(frame, GetParam().stuffed);
  // The driver delivers the frame up to and including ETX.
  int etx = static_cast<int>(frame.size()) - 1;
  while (etx > 1 && !(frame[etx - 1] == DLE && frame[etx] == ETX)) --etx;
  Bytes expected{DLE, STX};
  expected.insert(expected.end(), GetParam().body.begin(), GetParam().body.end());
  expected.insert(expected.end(), {DLE, ETX});
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + UnstuffFrame(frame, etx) + 1), expected);
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, StuffedFrameTest,
    ::testing::Values(
        FrameCase{{0x02}, {0x10, 0x02, 0x02, 0x10, 0x03, 0xFF, 0xFE}},
        FrameCase{{0x03}, {0x10, 0x02, 0x03, 0x10, 0x03, 0xFF, 0xFD}},
        FrameCase{{0x05, 0x00}, {0x10, 0x02, 0x05, 0x00, 0x10, 0x03, 0xFF, 0xFB}},
        FrameCase{{0x05, 0x03}, {0x10, 0x02, 0x05, 0x03, 0x10, 0x03, 0xFF, 0xF8}},
        FrameCase{{0x05, 0x02}, {0x10, 0x02, 0x05, 0x02, 0x10, 0x03, 0xFF, 0xF9}},
        FrameCase{{0x08, 0x10}, {0x10, 0x02, 0x08, 0x10, 0x00, 0x10, 0x03, 0xFF, 0xE8}},
        FrameCase{{0x01, 0xEF}, {0x10, 0x02, 0x01, 0xEF, 0x10, 0x03, 0xFF, 0x10, 0x00}},
        FrameCase{{0x80, 0x80}, {0x10, 0x02, 0x80, 0x80, 0x10, 0x03, 0xFF, 0x00}},
        FrameCase{{0x00}, {0x10, 0x02, 0x00, 0x10, 0x03, 0x00, 0x00}},
        // A data DLE then a data 0x00: unstuffing looks at the received predecessor.
        FrameCase{{0x21, 0x10, 0x00},
                  {0x10, 0x02, 0x21, 0x10, 0x00, 0x00, 0x10, 0x03, 0xFF, 0xCF}}));

TEST(StuffedFrame, LongBodyFullOfDleKeepsEveryByte) {
  EXPECT_EQ(StuffedFrame(Bytes(300, DLE)).size(), 2 + 600 + 2 + 2);  // checksum 0xED40: no DLE
}

TEST(UnstuffFrame, NeverReadsPastTheBuffer) {
  Bytes frame{0x10, 0x02, 0x2A};
  EXPECT_EQ(UnstuffFrame(frame, 500), 2);
  Bytes empty;
  EXPECT_EQ(UnstuffFrame(empty, 3), -1);
}

}  // namespace
}  // namespace kavonet
