// The control language: each command line and the answer it gets.

#include "sim/ControlInterpreter.h"

#include <gtest/gtest.h>

#include "TerminalHarness.h"
#include "sim/Journal.h"
#include "sim/SimOptions.h"

namespace kavonet::sim {
namespace {

class SimControl : public ::testing::Test {
 protected:
  SimControl()
      : control_(harness_.terminal(),
                 {[this](int ms) { latency_ = ms; }, [this] { quit_ = true; }}) {}

  std::string Run(std::string_view line) { return control_.Execute(line); }

  TerminalHarness harness_;
  ControlInterpreter control_;
  int latency_ = -1;
  bool quit_ = false;
};

TEST_F(SimControl, AnswersEveryCommand) {
  struct Case {
    const char* line;
    const char* answer;
  };
  const Case cases[] = {
      {"", ""},
      {"   ", ""},
      {"count", "OK 0"},
      {"list", "OK"},
      {"deliver +4479 hi there", "OK 1"},
      {"store Kavonet hi", "OK 2"},
      {"deliver-pdu 040491449700009930712154800002E834", "OK 3"},
      {"fill 2", "OK 2"},
      {"count", "OK 5"},
      {"list", "OK 1 2 3 4 5"},
      {"deliver", "ERROR usage: deliver|store <origin> <text...>"},
      {"deliver 12x4\xE4 hi", "ERROR origin is neither a number nor a sender name of up to 11 "
                              "GSM characters"},
      {"deliver-pdu 0G", "ERROR usage: deliver-pdu <hex>"},
      {"deliver-pdu", "ERROR usage: deliver-pdu <hex>"},
      {"fill 0", "ERROR usage: fill <n>, n from 1 to 255"},
      {"refuse-next-send 0x87", "OK"},
      {"refuse-next-send 1000", "ERROR usage: refuse-next-send <cause>, 0 to 999"},
      {"silent maybe", "ERROR usage: silent on|off"},
      {"silent off", "OK"},
      {"leave-block-mode", "ERROR not in block mode"},
      {"leave-block-mode 256", "ERROR usage: leave-block-mode [cause], 0 to 255"},
      {"send-bytes", "ERROR usage: send-bytes <hex>"},
      {"csq 31 7", "OK"},
      {"csq 31", "ERROR usage: csq <rssi> <ber>"},
      {"latency 250", "OK"},
      {"latency -1", "ERROR usage: latency <ms>, 0 to 60000"},
      {"mode", "OK pdu"},
      {"frobnicate", "ERROR unknown command frobnicate"},
  };
  for (const Case& c : cases) EXPECT_EQ(Run(c.line), c.answer) << c.line;
  EXPECT_EQ(latency_, 250);
}

TEST_F(SimControl, DeliverKeepsTheTextAsWritten) {
  harness_.Exchange("ATE0\r");
  ASSERT_EQ(Run("deliver +4479   two  spaces \r"), "OK 1");
  const std::string listing = harness_.Exchange("AT+CMGR=1\r");
  // "  two  spaces " in GSM 7-bit: 14 septets.
  EXPECT_NE(listing.find("0E2010FDFE0681E6F0F0B83C0701\r\n"), std::string::npos) << listing;
}

TEST_F(SimControl, FillStopsWhenTheStoreIsFull) {
  EXPECT_EQ(Run("fill 255"), "OK 255");
  EXPECT_EQ(Run("deliver +1 one more"), "ERROR message store full");
  EXPECT_EQ(Run("fill 1"), "ERROR message store full after 0 messages");
}

TEST_F(SimControl, SendBytesAndLeaveBlockModeReachTheLine) {
  EXPECT_EQ(Run("send-bytes 0d0a4f4b0d0a"), "OK 6");
  EXPECT_EQ(harness_.TakeOutput(), "\r\nOK\r\n");
  harness_.Exchange("AT*T\r");
  EXPECT_EQ(Run("mode"), "OK block");
  EXPECT_EQ(Run("leave-block-mode 0x03"), "OK");
  EXPECT_EQ(harness_.Bodies(harness_.TakeOutput()), std::vector<std::string>{"3F03"});
  EXPECT_EQ(Run("mode"), "OK pdu");
  harness_.Exchange("AT*T\r");
  EXPECT_EQ(Run("leave-block-mode"), "OK");
  EXPECT_EQ(harness_.Bodies(harness_.TakeOutput()), std::vector<std::string>{"3F06"});
}

TEST_F(SimControl, ALongTextIsStoredInParts) {
  EXPECT_EQ(Run("deliver +4479 " + std::string(161, 'x')), "OK 1 2");
}

TEST_F(SimControl, QuitCallsItsHook) {
  EXPECT_EQ(Run("quit"), "OK bye");
  EXPECT_TRUE(quit_);
}

TEST(SimJournal, WritesOneJsonObjectPerMessage) {
  EXPECT_EQ(JournalLine({"+4479", "hi", "B1", sim::PartOf{7, 3, 2}}),
            R"({"destination":"+4479","text":"hi","pdu":"B1","reference":7,"part":2,"parts":3})");
  EXPECT_EQ(JournalLine({"1", "a\"b\\c\nd\re\tf\x01g\xC3\xA9", "", {}}),
            R"({"destination":"1","text":"a\"b\\c\nd\re\tf\u0001gé","pdu":""})");
}

TEST(SimOptionsParsing, ReadsTheCommandLine) {
  std::string error;
  const auto options = ParseSimOptions(
      {"--mode", "block", "--link", "/tmp/l", "--journal", "j", "--control", "c",
       "--block-command", "AT+CESP", "--short-headers", "--numeric", "--latency", "40"},
      error);
  ASSERT_TRUE(options) << error;
  EXPECT_TRUE(options->terminal.startInBlockMode);
  EXPECT_EQ(options->link, "/tmp/l");
  EXPECT_EQ(options->journal, "j");
  EXPECT_EQ(options->control, "c");
  EXPECT_EQ(options->terminal.blockCommand, "+CESP");
  EXPECT_TRUE(options->terminal.shortHeaders);
  EXPECT_TRUE(options->terminal.numericResults);
  EXPECT_EQ(options->latencyMs, 40);

  const auto defaults = ParseSimOptions({}, error);
  ASSERT_TRUE(defaults);
  EXPECT_FALSE(defaults->terminal.startInBlockMode);
  EXPECT_EQ(defaults->terminal.blockCommand, "*T");
}

TEST(SimOptionsParsing, RefusesBadCommandLines) {
  const std::vector<std::vector<std::string_view>> bad = {
      {"--mode", "text"}, {"--mode"}, {"--latency", "x"}, {"--latency", "60001"},
      {"--frob", "1"},    {"stray"},
  };
  for (const auto& arguments : bad) {
    std::string error;
    EXPECT_FALSE(ParseSimOptions(arguments, error));
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace kavonet::sim
