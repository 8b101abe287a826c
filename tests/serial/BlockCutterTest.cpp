#include "serial/BlockCutter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kavonet {
namespace {

const std::string DLE = "\x10", STX = "\x02", ETX = "\x03";
const std::string Start = DLE + STX, End = DLE + ETX;
const int kLongest = kBufferSize - 1;  // the terminator needs the last place
const std::string kHuge(20000, 'x');

// Steps a script feeds: bytes, or one of these to change the cutter between passes.
const std::string kToPdu = "<to PDU>", kReset = "<reset>";

// Delivers each block as its bytes and each prompt as "<prompt>", checking that the
// terminator follows every block in the buffer.
std::vector<std::string> Cut(TBlockType mode, const std::vector<std::string>& steps) {
  BlockCutter cutter;
  cutter.SetMode(mode);
  std::vector<std::string> out;
  const auto onBlock = [&](const TBuffer& buffer, int count) {
    ASSERT_GE(count, 1);
    ASSERT_LT(count, kBufferSize);
    const std::string block(reinterpret_cast<const char*>(buffer.data()), count);
    const char terminator = static_cast<char>(buffer[count]);
    if (cutter.Mode() == btBlock) {
      EXPECT_EQ(block.substr(0, 2) + block.back() + terminator, Start + End);
    } else if (terminator == ' ') {
      EXPECT_EQ(block.back(), '>');
      ASSERT_FALSE(out.empty());
      EXPECT_EQ(out.back(), "<prompt>");
    } else {
      EXPECT_EQ(std::string() + block.back() + terminator, "\r\n");
    }
    out.push_back(block);
  };
  for (const std::string& step : steps) {
    if (step == kToPdu) {
      cutter.SetMode(btPDU);
    } else if (step == kReset) {
      cutter.Reset();
    } else {
      cutter.Feed(std::span(reinterpret_cast<const std::uint8_t*>(step.data()), step.size()),
                  onBlock, [&] { out.emplace_back("<prompt>"); });
    }
  }
  return out;
}

struct Case {
  const char* name;
  TBlockType mode;
  std::vector<std::string> steps;
  std::vector<std::string> blocks;
};

const std::vector<Case> kCases = {
    {"empty lines carry nothing", btHayes, {"\r\nOK\r\n\r\n\r\n"}, {"OK\r"}},
    {"LF without CR stays in the line", btHayes, {"A\nB\r\n"}, {"A\nB\r"}},
    {"CR CR LF", btHayes, {"\r\r\n"}, {"\r\r"}},
    {"unsolicited glued to the final result", btHayes, {"\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n"},
     {"OK\r", "+CMTI: \"ME\",1\r"}},
    {"no prompt in command mode", btHayes, {"\r\n> "}, {}},
    {"unfinished line waits", btHayes, {"\r\nOK\r"}, {}},
    {"prompt after CR LF", btPDU, {"\r\n> "}, {"<prompt>", ">"}},
    {"prompt ends at the first space", btPDU, {">>  X\r\n"}, {"<prompt>", ">>", " X\r"}},
    {"greater-than in a line", btPDU, {"a>b\r\n+CMGS: 5\r\n"}, {"a>b\r", "+CMGS: 5\r"}},
    {"frame", btBlock, {Start + "A" + End}, {Start + "A" + DLE}},
    {"empty frame", btBlock, {Start + End}, {Start + DLE}},
    {"escaped DLE is data", btBlock, {Start + DLE + '\0' + ETX + End}, {Start + DLE + '\0' + ETX + DLE}},
    {"checksums dropped at the next frame", btBlock, {Start + "A" + End + "\xC1\xC2" + Start + "B" + End + "\xC3"},
     {Start + "A" + DLE, Start + "B" + DLE}},
    {"DLE STX restarts a frame", btBlock, {Start + "lost" + Start + "B" + End}, {Start + "B" + DLE}},
    {"DLE ETX outside a frame is noise", btBlock, {"xy" + End + "z" + Start + "C" + End}, {Start + "C" + DLE}},
    {"lines mean nothing in Block Mode", btBlock, {"\r\nOK\r\n"}, {}},
    {"Text Mode delivers nothing", btText, {"\r\nOK\r\n" + Start + "A" + End}, {}},
    {"a partial line survives a mode change", btHayes, {"\r\nAB", kToPdu, "> "}, {"<prompt>", "AB>"}},
    {"reset drops a partial frame", btBlock, {Start + "half", kReset, "rest" + End}, {}},
    {"reset ends the skipping of a long line", btHayes, {kHuge, kReset, "OK\r\n"}, {"OK\r"}},
    // Blocks that outgrow the buffer are dropped; cutting resumes at the next terminator.
    {"longest line that fits", btHayes, {std::string(kLongest - 1, 'x') + "\r\n"},
     {std::string(kLongest - 1, 'x') + "\r"}},
    {"longest frame that fits", btBlock, {Start + std::string(kLongest - 3, 'a') + End},
     {Start + std::string(kLongest - 3, 'a') + DLE}},
    {"line one byte too long", btHayes, {std::string(kLongest, 'x') + "\r\nOK\r\n"}, {"OK\r"}},
    {"LF alone does not end a skipped line", btHayes, {kHuge + "\nA\r\nB\r\n"}, {"B\r"}},
    {"prompt after a huge line", btPDU, {kHuge + "\r\n> "}, {"<prompt>", ">"}},
    {"prompt ends a huge line", btPDU, {kHuge + "> \r\nOK\r\n"}, {"<prompt>", ">", "OK\r"}},
    {"huge frame ended by DLE ETX", btBlock, {Start + kHuge + End + Start + "B" + End}, {Start + "B" + DLE}},
    {"huge frame restarted by DLE STX", btBlock, {Start + kHuge + Start + "B" + End}, {Start + "B" + DLE}},
    {"frame one byte too long", btBlock, {Start + std::string(kLongest - 2, 'a') + End + Start + End},
     {Start + DLE}},
    {"huge noise outside frames", btBlock, {kHuge + End + "z" + Start + "C" + End}, {Start + "C" + DLE}},
};

TEST(BlockCutter, CutsEveryCaseWhereverThePassesEnd) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Cut(c.mode, c.steps), c.blocks) << c.name;
    if (c.steps.size() > 1) continue;
    const std::string& input = c.steps[0];
    // Short inputs are split everywhere and fed byte by byte; long ones around the point
    // where the buffer runs full, and in the driver's passes of one buffer.
    const bool longInput = input.size() > 1000;
    const std::size_t first = longInput ? kLongest - 3 : 0;
    const std::size_t last = longInput ? std::min<std::size_t>(kLongest + 3, input.size()) : input.size();
    for (std::size_t split = first; split <= last; ++split) {
      EXPECT_EQ(Cut(c.mode, {input.substr(0, split), input.substr(split)}), c.blocks)
          << c.name << " split at " << split;
    }
    std::vector<std::string> passes;
    const std::size_t pass = longInput ? kBufferSize : 1;
    for (std::size_t at = 0; at < input.size(); at += pass) passes.push_back(input.substr(at, pass));
    EXPECT_EQ(Cut(c.mode, passes), c.blocks) << c.name << " in passes of " << pass;
  }
}

TEST(BlockCutter, AHandlerMayResetTheCutterInTheMiddleOfAPass) {
  BlockCutter cutter;
  std::vector<int> counts;
  const std::string pass = "A\r\nBC\r\n";
  cutter.Feed(std::span(reinterpret_cast<const std::uint8_t*>(pass.data()), pass.size()),
              [&](const TBuffer&, int count) {
                counts.push_back(count);
                cutter.Reset();
              },
              nullptr);
  EXPECT_EQ(counts, (std::vector<int>{2, 3}));
}

}  // namespace
}  // namespace kavonet
