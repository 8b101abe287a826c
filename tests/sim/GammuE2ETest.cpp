// gammu, a real SMS tool, driving kavonet-sim as if it were a modem.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "SimProcess.h"

namespace kavonet::sim::testing {
namespace {

constexpr const char* kGammu = "/usr/bin/gammu";
// A gammu run takes about 3.5 s against a quick terminal.
constexpr Milliseconds kGammuTimeout = 30000ms;

class SimGammu : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kGammu, X_OK) != 0) GTEST_SKIP() << kGammu << " is not installed";
    sim_ = std::make_unique<SimProcess>(std::vector<std::string>{"--journal", Journal()});
    ASSERT_TRUE(sim_->Started());
    std::ofstream rc(dir_.File("gammurc"));
    rc << "[gammu]\ndevice = " << sim_->Device() << "\nconnection = at\n";
  }

  CommandResult Gammu(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {kGammu, "-c", dir_.File("gammurc")});
    CommandResult result = RunCommand(arguments, kGammuTimeout);
    std::cout << "gammu " << arguments[3] << ": " << result.elapsed.count() << " ms\n";
    return result;
  }

  std::string Journal() const { return dir_.File("journal"); }

  TempDir dir_;
  std::unique_ptr<SimProcess> sim_;
};

TEST_F(SimGammu, IdentifiesTheTerminal) {
  const CommandResult result = Gammu({"identify"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_NE(result.output.find("Kavonet"), std::string::npos) << result.output;
  EXPECT_NE(result.output.find("356938035643809"), std::string::npos) << result.output;
}

TEST_F(SimGammu, SendsAMessageThroughIt) {
  const CommandResult result = Gammu({"sendsms", "TEXT", "12345", "-text", "hi there"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  const std::string journal = ReadFile(Journal());
  EXPECT_NE(journal.find(R"({"destination":"12345","text":"hi there","pdu":")"),
            std::string::npos)
      << journal;
}

TEST_F(SimGammu, ListsStoredMessages) {
  ASSERT_EQ(sim_->Control("store +4479555 Hello from the simulator"), "OK 1");
  ASSERT_EQ(sim_->Control("store Kavonet Caf\xC3\xA9 \xE2\x82\xAC!"), "OK 2");
  ASSERT_EQ(sim_->Control("store 0800 \xE4\xB8\xAD\xE6\x96\x87"), "OK 3");
  const CommandResult result = Gammu({"getallsms"});
  ASSERT_EQ(result.exitCode, 0) << result.output;
  for (const char* expected :
       {"\"+4479555\"", "Hello from the simulator", "\"Kavonet\"", "Caf\xC3\xA9 \xE2\x82\xAC!",
        "\"0800\"", "\xE4\xB8\xAD\xE6\x96\x87", "3 SMS parts in 3 SMS sequences"}) {
    EXPECT_NE(result.output.find(expected), std::string::npos) << expected << "\n" << result.output;
  }
}

}  // namespace
}  // namespace kavonet::sim::testing
