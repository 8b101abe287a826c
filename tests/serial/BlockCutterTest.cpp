#include "serial/BlockCutter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace kavonet {
namespace {

using Blocks = std::vector<std::string>;
const std::string D = "\x10", S = D + "\x02", E = D + "\x03";  // DLE, frame start and end
const int kLongest = kBufferSize - 1;  // the terminator needs the last place
const std::string kHuge(20000, 'x');
// Steps between passes of bytes.
const std::string kToPdu = "<to PDU>", kReset = "<reset>";

// Each block as its bytes, each prompt as "<prompt>"; every block must be followed by
// its terminator in the buffer.
Blocks Cut(TBlockType mode, const Blocks& steps) {
  BlockCutter cutter;
  cutter.SetMode(mode);
  Blocks out;
  const auto onBlock = [&](const TBuffer& buffer, int count) {
    ASSERT_TRUE(count >= 1 && count < kBufferSize) << count;
    const std::string block(reinterpret_cast<const char*>(buffer.data()), count);
    const std::string end = block.substr(block.size() - 1) + static_cast<char>(buffer[count]);
    if (cutter.Mode() == btBlock) EXPECT_EQ(block.substr(0, 2) + end, S + E);
    else if (end == "> ") EXPECT_EQ(out.empty() ? "" : out.back(), "<prompt>");
    else EXPECT_EQ(end, "\r\n");
    out.push_back(block);
  };
  for (const std::string& step : steps) {
    if (step == kToPdu) cutter.SetMode(btPDU);
    else if (step == kReset) cutter.Reset();
    else cutter.Feed(std::span(reinterpret_cast<const std::uint8_t*>(step.data()), step.size()),
                     onBlock, [&] { out.emplace_back("<prompt>"); });
  }
  return out;
}

struct Case {
  const char* name;
  TBlockType mode;
  Blocks steps, blocks;
};

const Case kCases[] = {
    {"empty lines carry nothing", btHayes, {"\r\nOK\r\n\r\n\r\n"}, {"OK\r"}},
    {"LF without CR stays in the line", btHayes, {"A\nB\r\n\r\r\n"}, {"A\nB\r", "\r\r"}},
    {"unsolicited glued to the final result", btHayes, {"\r\nOK\r\n\r\n+CMTI: \"ME\",1\r\n"},
     {"OK\r", "+CMTI: \"ME\",1\r"}},
    {"no prompt in command mode, an unfinished line waits", btHayes, {"\r\n> \r"}, {}},
    {"prompt after CR LF", btPDU, {"\r\n> "}, {"<prompt>", ">"}},
    {"prompt ends at the first space", btPDU, {">>  X\r\n"}, {"<prompt>", ">>", " X\r"}},
    {"greater-than in a line", btPDU, {"a>b\r\n+CMGS: 5\r\n"}, {"a>b\r", "+CMGS: 5\r"}},
    {"frames", btBlock, {S + E + S + "A" + E}, {S + D, S + "A" + D}},
    {"escaped DLE is data", btBlock, {S + D + '\0' + "\x03" + E}, {S + D + '\0' + "\x03" + D}},
    {"checksums dropped at the next frame", btBlock, {S + "A" + E + "\xC1\xC2" + S + "B" + E + "!"},
     {S + "A" + D, S + "B" + D}},
    {"DLE STX restarts a frame", btBlock, {S + "lost" + S + "B" + E}, {S + "B" + D}},
    {"DLE ETX outside a frame is noise", btBlock, {"xy" + E + "z" + S + "C" + E}, {S + "C" + D}},
    {"lines mean nothing in Block Mode", btBlock, {"\r\nOK\r\n"}, {}},
    {"Text Mode delivers nothing", btText, {"\r\nOK\r\n" + S + "A" + E}, {}},
    {"a partial line survives a mode change", btHayes, {"\r\nAB", kToPdu, "> "}, {"<prompt>", "AB>"}},
    {"reset drops a partial frame", btBlock, {S + "half", kReset, "rest" + E}, {}},
    {"reset ends the skipping of a long line", btHayes, {kHuge, kReset, "OK\r\n"}, {"OK\r"}},
    // Blocks that outgrow the buffer are dropped; cutting resumes at the next terminator.
    {"longest line that fits", btHayes, {std::string(kLongest - 1, 'x') + "\r\n"},
     {std::string(kLongest - 1, 'x') + "\r"}},
    {"longest frame that fits", btBlock, {S + std::string(kLongest - 3, 'a') + E},
     {S + std::string(kLongest - 3, 'a') + D}},
    {"line one byte too long", btHayes, {std::string(kLongest, 'x') + "\r\nOK\r\n"}, {"OK\r"}},
    {"LF alone does not end a skipped line", btHayes, {kHuge + "\nA\r\nB\r\n"}, {"B\r"}},
    {"prompt after a huge line", btPDU, {kHuge + "\r\n> "}, {"<prompt>", ">"}},
    {"prompt ends a huge line", btPDU, {kHuge + "> \r\nOK\r\n"}, {"<prompt>", ">", "OK\r"}},
    {"huge frame ended by DLE ETX", btBlock, {S + kHuge + E + S + "B" + E}, {S + "B" + D}},
    {"huge frame restarted by DLE STX", btBlock, {S + kHuge + S + "B" + E}, {S + "B" + D}},
    {"frame one byte too long", btBlock, {S + std::string(kLongest - 2, 'a') + E + S + E}, {S + D}},
    {"huge noise outside frames", btBlock, {kHuge + E + "z" + S + "C" + E}, {S + "C" + D}}};

TEST(BlockCutter, CutsEveryCaseWhereverThePassesEnd) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Cut(c.mode, c.steps), c.blocks) << c.name;
    if (c.steps.size() > 1) continue;
    // Short inputs are split everywhere and fed byte by byte; long ones are split around
    // the point where the buffer runs full, and fed in the driver's passes of one buffer.
    const std::string& in = c.steps[0];
    const bool longInput = in.size() > 1000;
    const std::size_t pass = longInput ? kBufferSize : 1;
    const std::size_t last = std::min<std::size_t>(longInput ? kLongest + 3 : in.size(), in.size());
    for (std::size_t split = longInput ? kLongest - 3 : 0; split <= last; ++split) {
      EXPECT_EQ(Cut(c.mode, {in.substr(0, split), in.substr(split)}), c.blocks) << c.name << split;
    }
    Blocks passes;
    for (std::size_t at = 0; at < in.size(); at += pass) passes.push_back(in.substr(at, pass));
    EXPECT_EQ(Cut(c.mode, passes), c.blocks) << c.name << " in passes of " << pass;
  }
}

TEST(BlockCutter, AHandlerMayResetTheCutterInTheMiddleOfAPass) {
  BlockCutter cutter;
  std::vector<int> counts;
  const std::string pass = "A\r\nBC\r\n";
  const auto reset = [&](const TBuffer&, int count) { counts.push_back(count), cutter.Reset(); };
  cutter.Feed(std::span(reinterpret_cast<const std::uint8_t*>(pass.data()), pass.size()), reset, {});
  EXPECT_EQ(counts, (std::vector<int>{2, 3}));
}

}  // namespace
}  // namespace kavonet
