#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "serial/BlockCutter.h"

namespace kavonet {
namespace {

const std::string DLE = "\x10", STX = "\x02", ETX = "\x03";
const std::string FrameStart = DLE + STX, FrameEnd = DLE + ETX;

// Records what the cutter delivers: each block as its bytes, each prompt as "<prompt>".
// Also checks that every block is followed by its terminator in the buffer.
struct Recorder {
  TBlockType mode;
  std::vector<std::string> out;

  void Feed(BlockCutter& cutter, const std::string& pass) {
    cutter.Feed(
        std::span(reinterpret_cast<const std::uint8_t*>(pass.data()), pass.size()),
        [this](const TBuffer& buffer, int count) { Block(buffer, count); },
        [this] { out.emplace_back("<prompt>"); });
  }

  void Block(const TBuffer& buffer, int count) {
    ASSERT_GE(count, 1);
    ASSERT_LT(count, kBufferSize);
    const std::string block(reinterpret_cast<const char*>(buffer.data()), count);
    const char terminator = static_cast<char>(buffer[count]);
    if (mode == btBlock) {
      EXPECT_EQ(block.substr(0, 2), FrameStart);
      EXPECT_EQ(block.back(), '\x10');
      EXPECT_EQ(terminator, '\x03');
    } else if (terminator == ' ') {
      EXPECT_EQ(block.back(), '>');
      ASSERT_FALSE(out.empty());
      EXPECT_EQ(out.back(), "<prompt>");
    } else {
      EXPECT_EQ(block.back(), '\r');
      EXPECT_EQ(terminator, '\n');
    }
    out.push_back(block);
  }
};

std::vector<std::string> Cut(TBlockType mode, const std::vector<std::string>& passes) {
  BlockCutter cutter;
  cutter.SetMode(mode);
  Recorder recorder{mode, {}};
  for (const std::string& pass : passes) recorder.Feed(cutter, pass);
  return recorder.out;
}

struct CutCase {
  const char* name;
  TBlockType mode;
  std::string input;
  std::vector<std::string> blocks;
};

const std::vector<CutCase>& Cases() {
  static const std::vector<CutCase> cases = {
      {"BareCrLfIsDropped", btHayes, "\r\nOK\r\n", {"OK\r"}},
      {"EmptyLinesOnly", btHayes, "\r\n\r\n\r\n", {}},
      {"LfWithoutCrStaysInTheLine", btHayes, "A\nB\r\n", {"A\nB\r"}},
      {"CrCrLf", btHayes, "\r\r\n", {"\r\r"}},
      {"UnsolicitedGluedToFinalResult",
       btHayes,
       "\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n",
       {"OK\r", "+CMTI: \"ME\",1\r"}},
      {"NoPromptInCommandMode", btHayes, "\r\n> ", {}},
      {"UnfinishedLineWaits", btHayes, "\r\nOK\r", {}},
      {"PromptAfterCrLf", btPDU, "\r\n> ", {"<prompt>", ">"}},
      {"PromptGluedToText", btPDU, "AB> ", {"<prompt>", "AB>"}},
      {"PromptEndsAtTheFirstSpace", btPDU, ">>  X\r\n", {"<prompt>", ">>", " X\r"}},
      {"GreaterThanInALine", btPDU, "a>b\r\n", {"a>b\r"}},
      {"PduLines", btPDU, "\r\n+CMGS: 5\r\n\r\nOK\r\n", {"+CMGS: 5\r", "OK\r"}},
      {"Frame", btBlock, FrameStart + "A" + FrameEnd, {FrameStart + "A" + DLE}},
      {"EmptyFrame", btBlock, FrameStart + FrameEnd, {FrameStart + DLE}},
      {"EscapedDleIsData",
       btBlock,
       FrameStart + DLE + '\0' + "\x03" + FrameEnd,
       {FrameStart + DLE + '\0' + "\x03" + DLE}},
      {"ChecksumAfterEtxDroppedAtNextFrame",
       btBlock,
       FrameStart + "A" + FrameEnd + "\xC1\xC2" + FrameStart + "B" + FrameEnd + "\xC3",
       {FrameStart + "A" + DLE, FrameStart + "B" + DLE}},
      {"DleStxRestartsAnUnfinishedFrame",
       btBlock,
       FrameStart + "lost" + FrameStart + "B" + FrameEnd,
       {FrameStart + "B" + DLE}},
      {"DleEtxOutsideAFrameIsNoise",
       btBlock,
       "xy" + FrameEnd + "z" + FrameStart + "C" + FrameEnd,
       {FrameStart + "C" + DLE}},
      {"LinesMeanNothingInBlockMode", btBlock, "\r\nOK\r\n", {}},
      {"TextModeDeliversNothing", btText, "\r\nOK\r\n" + FrameStart + "A" + FrameEnd, {}},
  };
  return cases;
}

TEST(BlockCutter, CutsEachCaseInOnePass) {
  for (const CutCase& c : Cases()) {
    EXPECT_EQ(Cut(c.mode, {c.input}), c.blocks) << c.name;
  }
}

TEST(BlockCutter, PassBoundariesDoNotMatterAtAnySplitPoint) {
  for (const CutCase& c : Cases()) {
    for (std::size_t split = 0; split <= c.input.size(); ++split) {
      EXPECT_EQ(Cut(c.mode, {c.input.substr(0, split), c.input.substr(split)}), c.blocks)
          << c.name << " split at " << split;
    }
    std::vector<std::string> bytewise;
    for (const char byte : c.input) bytewise.emplace_back(1, byte);
    EXPECT_EQ(Cut(c.mode, bytewise), c.blocks) << c.name << " byte by byte";
  }
}

TEST(BlockCutter, BytesAfterEtxWaitUntilTheNextDleStx) {
  BlockCutter cutter;
  cutter.SetMode(btBlock);
  Recorder recorder{btBlock, {}};
  recorder.Feed(cutter, FrameStart + "A" + FrameEnd + "\xC1\xC2");
  EXPECT_FALSE(cutter.InFrame());
  EXPECT_EQ(cutter.PendingLength(), 2);
  recorder.Feed(cutter, FrameStart);
  EXPECT_TRUE(cutter.InFrame());
  EXPECT_EQ(cutter.PendingLength(), 2);
}

TEST(BlockCutter, PartialBlockSurvivesAModeChange) {
  BlockCutter cutter;
  Recorder recorder{btPDU, {}};
  recorder.Feed(cutter, "\r\nAB");
  cutter.SetMode(btPDU);
  recorder.Feed(cutter, "> ");
  EXPECT_EQ(recorder.out, (std::vector<std::string>{"<prompt>", "AB>"}));
}

TEST(BlockCutter, ResetDropsThePartialBlockAndTheFrame) {
  BlockCutter cutter;
  cutter.SetMode(btBlock);
  Recorder recorder{btBlock, {}};
  recorder.Feed(cutter, FrameStart + "half");
  cutter.Reset();
  EXPECT_EQ(cutter.PendingLength(), 0);
  EXPECT_FALSE(cutter.InFrame());
  recorder.Feed(cutter, "rest" + FrameEnd);
  EXPECT_TRUE(recorder.out.empty());
}

TEST(BlockCutter, HandlersMayResetTheCutterInTheMiddleOfAPass) {
  BlockCutter cutter;
  std::vector<int> counts;
  const std::string pass = "A\r\nBC\r\n";
  cutter.Feed(
      std::span(reinterpret_cast<const std::uint8_t*>(pass.data()), pass.size()),
      [&](const TBuffer&, int count) {
        counts.push_back(count);
        cutter.Reset();
      },
      nullptr);
  EXPECT_EQ(counts, (std::vector<int>{2, 3}));
}

// --- Blocks longer than the buffer --------------------------------------------------------

const int kLongest = kBufferSize - 1;  // the terminator needs the last place

TEST(BlockCutter, LongestLineThatFitsIsDelivered) {
  const std::string line = std::string(kLongest - 1, 'x') + "\r";
  EXPECT_EQ(Cut(btHayes, {line + "\n"}), std::vector<std::string>{line});
}

TEST(BlockCutter, LongestFrameThatFitsIsDelivered) {
  const std::string frame = FrameStart + std::string(kLongest - 3, 'a') + DLE;
  EXPECT_EQ(Cut(btBlock, {frame + ETX}), std::vector<std::string>{frame});
}

struct OverflowCase {
  const char* name;
  TBlockType mode;
  std::string input;
  std::vector<std::string> blocks;
};

TEST(BlockCutter, OverlongBlockIsDroppedAndCuttingResumesAtTheNextTerminator) {
  const std::string tooLong(kLongest, 'x');  // one byte too many once its CR is added
  const std::string huge(20000, 'x');
  const std::vector<OverflowCase> cases = {
      {"LineOneByteTooLong", btHayes, tooLong + "\r\nOK\r\n", {"OK\r"}},
      {"HugeLine", btHayes, huge + "\r\nOK\r\n", {"OK\r"}},
      {"LfAloneDoesNotResynchronise", btHayes, huge + "\nA\r\nB\r\n", {"B\r"}},
      {"PromptAfterHugeLine", btPDU, huge + "\r\n> ", {"<prompt>", ">"}},
      {"PromptEndsAHugeLine", btPDU, huge + "> \r\nOK\r\n", {"<prompt>", ">", "OK\r"}},
      {"HugeFrameEndedByDleEtx",
       btBlock,
       FrameStart + huge + FrameEnd + FrameStart + "B" + FrameEnd,
       {FrameStart + "B" + DLE}},
      {"HugeFrameRestartedByDleStx",
       btBlock,
       FrameStart + huge + FrameStart + "B" + FrameEnd,
       {FrameStart + "B" + DLE}},
      {"FrameOneByteTooLong",
       btBlock,
       FrameStart + std::string(kLongest - 2, 'a') + FrameEnd + FrameStart + FrameEnd,
       {FrameStart + DLE}},
      {"HugeNoiseOutsideFrames",
       btBlock,
       huge + FrameEnd + "z" + FrameStart + "C" + FrameEnd,
       {FrameStart + "C" + DLE}},
  };
  for (const OverflowCase& c : cases) {
    EXPECT_EQ(Cut(c.mode, {c.input}), c.blocks) << c.name;
    // Split around the place where the buffer runs full, and read in driver-sized passes.
    for (std::size_t split = kLongest - 3; split <= std::size_t(kLongest) + 3; ++split) {
      EXPECT_EQ(Cut(c.mode, {c.input.substr(0, split), c.input.substr(split)}), c.blocks)
          << c.name << " split at " << split;
    }
    std::vector<std::string> passes;
    for (std::size_t at = 0; at < c.input.size(); at += kBufferSize) {
      passes.push_back(c.input.substr(at, kBufferSize));
    }
    EXPECT_EQ(Cut(c.mode, passes), c.blocks) << c.name << " in passes of " << kBufferSize;
  }
}

TEST(BlockCutter, ResetEndsTheSkippingOfAnOverlongBlock) {
  BlockCutter cutter;
  Recorder recorder{btHayes, {}};
  recorder.Feed(cutter, std::string(9000, 'x'));
  EXPECT_TRUE(cutter.Discarding());
  EXPECT_LT(cutter.PendingLength(), kBufferSize);
  cutter.Reset();
  recorder.Feed(cutter, "OK\r\n");
  EXPECT_EQ(recorder.out, std::vector<std::string>{"OK\r"});
}

}  // namespace
}  // namespace kavonet
