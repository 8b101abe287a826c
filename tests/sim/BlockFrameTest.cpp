// Block Mode framing: the stuffed frames written to the line and the reader that
// cuts frames out of a byte stream.

#include "sim/BlockFrame.h"

#include <gtest/gtest.h>

#include <vector>

namespace kavonet::sim {
namespace {

Bytes Hex(std::string_view text) { return FromHex(text).value(); }

std::vector<ReceivedFrame> ReadAll(FrameReader& reader, const Bytes& stream) {
  std::vector<ReceivedFrame> frames;
  for (std::uint8_t byte : stream) {
    if (auto frame = reader.Push(byte)) frames.push_back(*frame);
  }
  return frames;
}

struct FrameCase {
  const char* body;
  const char* frame;
};

// Requests of a gateway and the simulator's own answers, as they go over the line.
const FrameCase kFrames[] = {
    {"02", "100202100" "3FFFE"},
    {"03", "1002031003FFFD"},
    {"0500", "100205001003FFFB"},
    {"0503", "100205031003FFF8"},
    {"0810", "1002081000" "1003FFE8"},      // a body DLE is stuffed
    {"01EF", "100201EF1003FF1000"},         // so is a checksum DLE
    {"2A04", "10022A041003FFD2"},
    {"250A01", "1002250A011003FFD0"},
    {"220000", "1002220000" "1003FFDE"},
    {"3F03", "10023F031003FFBE"},
    {"2A01", "10022A011003FFD5"},
    {"00", "1002001003" "0000"},            // a zero sum: checksum 00 00
};

TEST(SimBlockFrame, BuildsStuffedFramesWithChecksum) {
  for (const FrameCase& c : kFrames) {
    SCOPED_TRACE(c.body);
    EXPECT_EQ(ToHex(BuildFrame(Hex(c.body))), c.frame);
  }
}

TEST(SimBlockFrame, ReaderRecoversEveryBodyWithAGoodChecksum) {
  FrameReader reader;
  for (const FrameCase& c : kFrames) {
    SCOPED_TRACE(c.body);
    const auto frames = ReadAll(reader, Hex(c.frame));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(ToHex(frames[0].body), c.body);
    EXPECT_TRUE(frames[0].checksumGood);
  }
}

TEST(SimBlockFrame, ReaderCutsAStream) {
  struct Case {
    const char* name;
    const char* stream;
    std::vector<std::string> bodies;
  };
  const Case cases[] = {
      {"noise before and between frames", "0D0A41541002021003FFFE0D1002031003FFFD",
       {"02", "03"}},
      {"a DLE STX inside a frame starts it again", "100205100202" "1003FFFE", {"02"}},
      {"stuffed DLE followed by a zero data byte", "1002081000" "001003FFE8", {"081000"}},
      {"a lone DLE in the body drops the frame", "100205104110" "03FFFB1002031003FFFD",
       {"03"}},
      {"DLE DLE STX still starts a frame", "10101002031003FFFD", {"03"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FrameReader reader;
    std::vector<std::string> bodies;
    for (const auto& frame : ReadAll(reader, Hex(c.stream))) bodies.push_back(ToHex(frame.body));
    EXPECT_EQ(bodies, c.bodies);
  }
}

TEST(SimBlockFrame, ReaderFlagsABadChecksum) {
  FrameReader reader;
  const auto frames = ReadAll(reader, Hex("1002021003FFFF"));
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_FALSE(frames[0].checksumGood);
}

TEST(SimBlockFrame, ReaderTakesAnUnstuffedChecksumDle) {
  FrameReader reader;
  // The checksum of 01 EF is FF 10; a sender that forgets to stuff it is still heard.
  const auto frames = ReadAll(reader, Hex("100201EF1003FF10" "1002031003FFFD"));
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(frames[0].checksumGood);
  EXPECT_EQ(ToHex(frames[1].body), "03");
}

TEST(SimBlockFrame, ReaderDropsAnOverlongBody) {
  FrameReader reader;
  Bytes stream{kDle, kStx};
  stream.insert(stream.end(), FrameReader::kMaxFrameBody + 1, 0x41);
  stream.insert(stream.end(), {kDle, kEtx, 0x00, 0x00});
  const Bytes next = Hex("1002031003FFFD");
  stream.insert(stream.end(), next.begin(), next.end());
  const auto frames = ReadAll(reader, stream);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(ToHex(frames[0].body), "03");
}

}  // namespace
}  // namespace kavonet::sim
