// The kavonet program: single instance, headless runs with the simulated terminal, and
// how it ends.

#include <gtest/gtest.h>
#include <signal.h>

#include "GatewayProcess.h"

namespace kavonet::testing {
namespace {

using Program = GatewayTest;

TEST_F(Program, ASecondStartHandsOverItsCommandLineWhateverItsNameAndOptionsAndEnds) {
  StartGateway({.bus = false, .simulate = ""});
  const RunResult second = RunProgram({KavonetProgram(), "--headless", "-regserver", std::string(2000, 'x')}, sandbox);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.output, "") << "it says nothing and starts nothing";
  ASSERT_TRUE(gateway->WaitForOutput("xxx\n"));
  const std::string handedOver = TextAfter("another start handed over its command line: ");
  EXPECT_EQ(handedOver.size(), 1022u);
  EXPECT_EQ(handedOver.rfind(KavonetProgram() + " --headless -regserver xxx", 0), 0u) << handedOver;
  const std::string link = (sandbox.Root() / "sms-gateway").string();
  std::filesystem::create_symlink(KavonetProgram(), link);
  for (const auto& [program, option] : {std::pair{link, "--version"}, {KavonetProgram(), "-unregserver"}}) {
    const RunResult other = RunProgram({program, option}, sandbox, 10000ms);
    EXPECT_EQ(other.exitCode, 0) << option;
    EXPECT_EQ(other.output, "") << option;
    EXPECT_TRUE(gateway->WaitForOutput(program + " " + option + "\n", 5000ms)) << option;
  }
  EXPECT_TRUE(std::filesystem::exists(sandbox.ActivationFile())) << "-unregserver never got that far";
}

TEST_F(Program, ASecondGatewayInTheSameDirectoryIsRefused) {
  StartGateway({.bus = false});
  // Another runtime directory: the single-instance guard does not see the first one.
  const std::filesystem::path otherRuntime = sandbox.Root() / "runtime2";
  std::filesystem::create_directories(otherRuntime);
  std::filesystem::permissions(otherRuntime, std::filesystem::perms::owner_all);
  sandbox.Set("XDG_RUNTIME_DIR", otherRuntime.string());
  const RunResult second = RunProgram({KavonetProgram(), "--headless", "--simulate"}, sandbox);
  EXPECT_EQ(second.exitCode, 1);
  EXPECT_NE(second.output.find("kavonet-queue.db: in use by another gateway"), std::string::npos) << second.output;
  EXPECT_EQ(Command("55;still mine"), "OK 1") << "the first one runs on";
}

TEST_F(Program, HeadlessWithTheSimulatorEndsWithItsSimulator) {
  StartGateway();
  gateway->Signal(SIGTERM);
  EXPECT_EQ(gateway->Wait(), 0) << gateway->Output();
  EXPECT_TRUE(AskSocket(control, "mode", 200ms).empty()) << "the simulator has stopped";
  EXPECT_FALSE(std::filesystem::exists(control.parent_path())) << "its private directory is gone";
  EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));
}

TEST_F(Program, BlockModeSimulationLeavesTheConfigurationFileAsItWas) {
  // With fast dispatch, which the message then takes on the real event loop.
  StartGateway({.bus = false, .simulate = "block", .ini = {{"Configuration", "Port", "3"},
                                                           {"Configuration", "Interface", "PDU Mode"},
                                                           {"Configuration", "Fast Dispatch", "1"}}});
  const std::string ini = ReadFile(sandbox.Work() / "orvsms.ini");
  EXPECT_EQ(Sim("mode"), "OK block");
  EXPECT_EQ(Command("999;in blocks"), "OK 1");
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"999=in blocks"}));
  EXPECT_EQ(ReadFile(sandbox.Work() / "orvsms.ini"), ini);
  EXPECT_NE(ini.find("Interface=PDU Mode\n"), std::string::npos);
}

#ifdef KAVONET_TRAY_OWNER
TEST_F(Program, OnXEveryEndEndsAGatewayHiddenInTheTrayAndAutoConnectStartsWithTheWindow) {
  XServer x(sandbox);  // a bare Xvfb: no window manager
  ASSERT_FALSE(x.display.empty());
  bus = std::make_unique<PrivateBus>(sandbox);
  ChildProcess tray({KAVONET_TRAY_OWNER}, sandbox.Environment(), sandbox.Work());
  ASSERT_TRUE(tray.WaitForOutput("ready\n"));
  std::ofstream(sandbox.Work() / "orvsms.ini")
      << "[Startup]\nAuto Connect=1\n[Ports]\nCOM2=/nonexistent/modem\n";
  // 0: the last client leaves a gateway the bus started, whose port cannot be opened. A
  // second start restores the window.
  for (const auto& [argument, signal] : {std::pair{"--simulate", SIGTERM}, {"--simulate", SIGINT}, {"-automation", 0}}) {
    gateway = std::make_unique<ChildProcess>(std::vector<std::string>{KavonetProgram(), argument},
                                             sandbox.Environment(), sandbox.Work());
    ASSERT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
    EXPECT_EQ(gateway->Output().find("running headless"), std::string::npos);
    if (signal == SIGTERM) {  // well before the automatic connection's 15 s retry
      EXPECT_TRUE(Eventually([&] { return Call("Is_Connected") == "boolean true"; }, 8000ms));
      EXPECT_EQ(RunProgram({KavonetProgram(), "-regserver"}, sandbox).output, "");
      EXPECT_TRUE(gateway->WaitForOutput("another start handed over its command line: "));
    }
    // The one call the bus-started gateway serves: no dialog about the port holds it up.
    EXPECT_EQ(Call(signal == 0 ? "Connect" : "SMS_Minimize").find("Error"), std::string::npos) << signal;
    if (signal != 0) gateway->Signal(signal);
    EXPECT_EQ(gateway->Wait(10000ms), 0) << signal << "\n" << gateway->Output();
  }
}
#endif

}  // namespace
}  // namespace kavonet::testing
