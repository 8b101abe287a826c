// The server's registration switches and activation by the bus.

#include <gtest/gtest.h>

#include <fstream>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

std::string ExpectedActivationFile() {
  return "[D-BUS Service]\nName=Kavonet.SMS\nExec=" + std::filesystem::canonical(KavonetProgram()).string() +
         " -automation\n";
}

TEST(Registration, SwitchesWriteOrRemoveTheFileAndEndAtOnce) {
  Sandbox sandbox;
  for (const char* registerSwitch : {"/regserver", "-REGSERVER"}) {
    const RunResult registered = RunProgram({KavonetProgram(), registerSwitch}, sandbox);
    EXPECT_EQ(registered.exitCode, 0) << registered.output;
    EXPECT_EQ(ReadFile(sandbox.ActivationFile()), ExpectedActivationFile());
    EXPECT_EQ(registered.output.find("command channel"), std::string::npos) << "the gateway did not run";
    EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));

    const RunResult unregistered = RunProgram({KavonetProgram(), "/UnRegServer"}, sandbox);
    EXPECT_EQ(unregistered.exitCode, 0) << unregistered.output;
    EXPECT_FALSE(std::filesystem::exists(sandbox.ActivationFile()));
  }
  // Without XDG_DATA_HOME the file goes under ~/.local/share.
  sandbox.Set("XDG_DATA_HOME", "");
  EXPECT_EQ(RunProgram({KavonetProgram(), "-regserver"}, sandbox).exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(sandbox.Home() / ".local/share/dbus-1/services/Kavonet.SMS.service"));
}

TEST(Registration, FailureToRegisterEndsWithAnError) {
  Sandbox sandbox;
  std::filesystem::create_directories(sandbox.DataHome() / "dbus-1");
  std::ofstream(sandbox.DataHome() / "dbus-1" / "services") << "in the way";
  const RunResult result = RunProgram({KavonetProgram(), "-regserver"}, sandbox);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("error: server registration"), std::string::npos) << result.output;
}

class RunningGateway : public GatewayTest {};

TEST_F(RunningGateway, RegistersItselfAndIgnoresTheSwitchesOfASecondStart) {
  StartGateway({.bus = false, .simulate = ""});
  EXPECT_EQ(ReadFile(sandbox.ActivationFile()), ExpectedActivationFile()) << "a standalone start registers";
  const RunResult second = RunProgram({KavonetProgram(), "-unregserver"}, sandbox);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_TRUE(std::filesystem::exists(sandbox.ActivationFile())) << "the second start never got that far";
  EXPECT_TRUE(gateway->WaitForOutput("another start handed over its command line: "));
  EXPECT_TRUE(gateway->WaitForOutput(" -unregserver\n"));
}

TEST(Activation, TheBusStartsTheGatewayOnTheFirstCallAndItEndsWithTheBus) {
  Sandbox sandbox;
  ASSERT_EQ(RunProgram({KavonetProgram(), "-regserver"}, sandbox).exitCode, 0);
  ChildProcess session({"/usr/bin/timeout", "60", "/usr/bin/dbus-run-session", "--", "/usr/bin/dbus-send",
                        "--session", "--print-reply", "--dest=Kavonet.SMS", "/Kavonet/SMS",
                        "Kavonet.SMS.Is_Connected", "string:"},
                       sandbox.Environment(), sandbox.Work());
  EXPECT_EQ(session.Wait(), 0) << session.Output();
  EXPECT_NE(session.Output().find("boolean false"), std::string::npos) << session.Output();
  EXPECT_NE(session.Output().find("automation object Kavonet.SMS on the session bus"), std::string::npos);
  // The activated gateway writes to the same output: it has ended once that closes.
  EXPECT_TRUE(session.WaitForOutput(": ending", kWait));
  EXPECT_FALSE(session.WaitForOutput("never written", 5000ms)) << "output closed: the gateway has gone";
  EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));
  // It worked where the user unit works, not in the bus daemon's directory.
  EXPECT_TRUE(std::filesystem::exists(sandbox.Home() / ".local/state/kavonet/orvsms.ini"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "orvsms.ini"));
}

TEST(Activation, ALastClientLeavingEndsTheGateway) {
  Sandbox sandbox;
  PrivateBus bus(sandbox);
  ASSERT_TRUE(bus.Started());
  ChildProcess gateway({KavonetProgram(), "-automation"}, sandbox.Environment(), sandbox.Work());
  ASSERT_TRUE(gateway.WaitForOutput("automation object Kavonet.SMS on the session bus"));
  ASSERT_TRUE(gateway.WaitForOutput("command channel on"));
  EXPECT_NE(RunProgram({"/usr/bin/dbus-send", "--session", "--print-reply", "--dest=Kavonet.SMS", "/Kavonet/SMS",
                        "Kavonet.SMS.Is_Auto_Connect", "string:"},
                       sandbox)
                .output.find("boolean false"),
            std::string::npos);
  EXPECT_EQ(gateway.Wait(), 0) << gateway.Output();
  EXPECT_NE(gateway.Output().find("the last client has left: ending"), std::string::npos);
}

}  // namespace
}  // namespace kavonet::testing
