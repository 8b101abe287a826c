// The kavonet program: single instance, headless runs with the simulated terminal, how
// it ends, and what it installs.

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <regex>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

class Program : public GatewayTest {
 protected:
  void StartWindow(const std::vector<std::string>& arguments) {
    if (!bus) bus = std::make_unique<PrivateBus>(sandbox);
    std::vector<std::string> argv{KavonetProgram()};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    gateway = std::make_unique<ChildProcess>(argv, sandbox.Environment(), sandbox.Work());
    ASSERT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
  }
  // The text of the first output line that contains `label`, after the label.
  std::string LineAfter(const std::string& label) {
    const std::string& output = gateway->Output();
    const std::size_t at = output.find(label);
    if (at == std::string::npos) return {};
    const std::size_t from = at + label.size();
    return output.substr(from, output.find('\n', from) - from);
  }
};

TEST_F(Program, ASecondStartHandsOverItsCommandLineAndEnds) {
  StartGateway({.bus = false, .simulate = ""});
  const RunResult second = RunProgram({KavonetProgram(), "--headless", "-regserver", std::string(2000, 'x')}, sandbox);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.output, "") << "it says nothing and starts nothing";
  ASSERT_TRUE(gateway->WaitForOutput("another start handed over its command line: "));
  ASSERT_TRUE(gateway->WaitForOutput("xxx\n"));
  const std::string handedOver = LineAfter("another start handed over its command line: ");
  EXPECT_EQ(handedOver.size(), 1022u);
  EXPECT_EQ(handedOver.rfind(KavonetProgram() + " --headless -regserver xxx", 0), 0u) << handedOver;
}

TEST_F(Program, ASecondStartRestoresTheFirstWhateverItsNameAndOptions) {
  StartGateway({.bus = false, .simulate = ""});
  const std::string link = (sandbox.Root() / "sms-gateway").string();
  std::filesystem::create_symlink(KavonetProgram(), link);
  for (const auto& [program, option] : {std::pair{link, "--headless"}, {KavonetProgram(), "--help"},
                                        {KavonetProgram(), "--version"}, {KavonetProgram(), "--simulate=bogus"}}) {
    const RunResult second = RunProgram({program, option}, sandbox, 10000ms);
    EXPECT_EQ(second.exitCode, 0) << option;
    EXPECT_EQ(second.output, "") << option;
    EXPECT_TRUE(gateway->WaitForOutput(program + " " + option + "\n", 5000ms)) << option;
  }
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
  EXPECT_EQ(Socat("55;still mine"), "OK 1") << "the first one runs on";
}

TEST_F(Program, HeadlessWithTheSimulatorSendsWhatCtlSubmits) {
  StartGateway();
  const RunResult sent = Ctl({"send", "+4479123456", "hello", "from", "ctl"});
  EXPECT_EQ(sent.exitCode, 0) << sent.output;
  EXPECT_EQ(sent.output, "queued 1 message\n");
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"+4479123456=hello from ctl"}));
  // Status texts are timestamped lines on stderr.
  const std::regex line(R"((^|\n)\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} Entered ETSI SMS PDU Mode OK\n)");
  EXPECT_TRUE(std::regex_search(gateway->Output(), line)) << gateway->Output();
  EXPECT_TRUE(gateway->WaitForOutput("AT+CMGS="));
}

TEST_F(Program, BlockModeSimulation) {
  StartGateway({.simulate = "block"});
  EXPECT_NE(gateway->Output().find("Entered ETSI SMS Block Mode OK"), std::string::npos) << gateway->Output();
  EXPECT_EQ(Sim("mode"), "OK block");
  EXPECT_EQ(Ctl({"send", "999", "in", "blocks"}).exitCode, 0);
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"999=in blocks"}));
}

TEST_F(Program, SimulateLeavesTheConfigurationFileAsItWas) {
  std::ofstream(sandbox.Work() / "orvsms.ini") << "[Configuration]\nPort=3\nInterface=Block Mode\n";
  StartGateway({.bus = false, .simulate = "pdu"});
  EXPECT_NE(gateway->Output().find("Entered ETSI SMS PDU Mode OK"), std::string::npos);
  EXPECT_EQ(ReadFile(sandbox.Work() / "orvsms.ini"), "[Configuration]\nPort=3\nInterface=Block Mode\n");
}

TEST_F(Program, AStopSignalEndsItCleanlyWithItsSimulator) {
  StartGateway();
  gateway->Signal(SIGTERM);
  EXPECT_EQ(gateway->Wait(), 0) << gateway->Output();
  EXPECT_TRUE(AskSocket(control, "mode", 200ms).empty()) << "the simulator has stopped";
  EXPECT_FALSE(std::filesystem::exists(control.parent_path())) << "its private directory is gone";
  EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));
}

TEST_F(Program, WithoutASessionBusItWarnsOnceAndKeepsTheChannel) {
  StartGateway({.bus = false});
  const std::string& output = gateway->Output();
  const std::string warning = "warning: no D-Bus session bus";
  ASSERT_NE(output.find(warning), std::string::npos) << output;
  EXPECT_EQ(output.find(warning, output.find(warning) + 1), std::string::npos);
  EXPECT_EQ(Socat("1;x"), "OK 1");
}

TEST_F(Program, AutomaticallyHeadlessWithoutADisplay) {
  // No --headless: the sandbox has neither DISPLAY nor WAYLAND_DISPLAY.
  gateway = std::make_unique<ChildProcess>(std::vector<std::string>{KavonetProgram()}, sandbox.Environment(),
                                           sandbox.Work());
  EXPECT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
  gateway->Signal(SIGINT);
  EXPECT_EQ(gateway->Wait(), 0);
}

#ifdef KAVONET_WITH_WIDGETS
// With the window, on Qt's offscreen platform: the same start-up, single instance and stop.
TEST_F(Program, WithTheWindowOnAnOffscreenDisplay) {
  bus = std::make_unique<PrivateBus>(sandbox);
  ASSERT_TRUE(bus->Started());
  sandbox.Set("QT_QPA_PLATFORM", "offscreen");
  gateway = std::make_unique<ChildProcess>(std::vector<std::string>{KavonetProgram(), "--simulate"},
                                           sandbox.Environment(), sandbox.Work());
  ASSERT_TRUE(gateway->WaitForOutput("command channel on")) << gateway->Output();
  EXPECT_EQ(gateway->Output().find("running headless"), std::string::npos);
  EXPECT_TRUE(Eventually([&] { return Call("Is_Connected") == "boolean true"; })) << gateway->Output();
  EXPECT_EQ(Call("SMS_Minimize"), "");
  const RunResult second = RunProgram({KavonetProgram(), "-regserver"}, sandbox);
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_EQ(second.output, "");
  EXPECT_TRUE(gateway->WaitForOutput("another start handed over its command line: "));
  EXPECT_EQ(Call("Is_Connected"), "boolean true") << "still serving after restoring";
  gateway->Signal(SIGTERM);
  EXPECT_EQ(gateway->Wait(), 0) << gateway->Output();
}
#endif

TEST_F(Program, CallsOnAGatewayWhosePortCannotBeOpenedReturnAtOnce) {
  std::ofstream(sandbox.Work() / "orvsms.ini") << "[Ports]\nCOM2=/nonexistent/modem\n";
  sandbox.Set("QT_QPA_PLATFORM", "offscreen");
  StartWindow({});
  for (const char* method : {"Connect", "Get_All", "No_Transfer_Mode", "Toggle_Connection"}) {
    EXPECT_EQ(Call(method), "") << method;
  }
  EXPECT_EQ(Socat("1;x"), "OK 1");
}

#ifdef KAVONET_TRAY_OWNER
class OnX : public Program {  // a bare Xvfb: no window manager
 protected:
  void SetUp() override { ASSERT_FALSE(x.display.empty()); }
  XServer x{sandbox};
};

TEST_F(OnX, AutoConnectStartsWhenTheWindowIsFirstShown) {
  std::ofstream(sandbox.Work() / "orvsms.ini") << "[Startup]\nAuto Connect=1\n";
  StartWindow({"--simulate"});
  // Well before the automatic connection's 15 s retry.
  EXPECT_TRUE(Eventually([&] { return Call("Is_Connected") == "boolean true"; }, 8000ms)) << gateway->Output();
}

TEST_F(OnX, EveryEndEndsAGatewayHiddenInTheTray) {
  ChildProcess tray({KAVONET_TRAY_OWNER}, sandbox.Environment(), sandbox.Work());
  ASSERT_TRUE(tray.WaitForOutput("ready\n"));
  // 0: the last client leaves a gateway the bus started.
  for (const auto& [argument, signal] : {std::pair{"--simulate", SIGTERM}, {"--simulate", SIGINT}, {"-automation", 0}}) {
    StartWindow({argument});
    ASSERT_EQ(Call("SMS_Minimize"), "") << signal;
    if (signal != 0) gateway->Signal(signal);
    EXPECT_EQ(gateway->Wait(10000ms), 0) << signal << "\n" << gateway->Output();
  }
}
#endif

TEST(Install, PutsTheProgramsAndTheDesktopFilesInPlace) {
  Sandbox sandbox;
  // DESTDIR keeps even a rule with an absolute destination inside the sandbox.
  const std::filesystem::path destdir = sandbox.Root() / "destdir";
  const std::filesystem::path prefix = "/opt/kavonet-test";
  sandbox.Set("DESTDIR", destdir.string());
  const RunResult install =
      RunProgram({KAVONET_CMAKE, "--install", KAVONET_BUILD_DIR, "--prefix", prefix.string()}, sandbox, 120000ms);
  ASSERT_EQ(install.exitCode, 0) << install.output;
  const std::filesystem::path root = destdir / prefix.relative_path();
  for (const auto& entry : std::filesystem::recursive_directory_iterator(destdir)) {
    if (!entry.is_directory()) {
      EXPECT_EQ(entry.path().string().rfind(root.string() + "/", 0), 0u) << "outside the prefix: " << entry.path();
    }
  }
  for (const char* file : {"bin/kavonet", "bin/kavonet-ctl", "bin/kavonet-sim", "share/applications/kavonet.desktop",
                           "share/icons/hicolor/scalable/apps/kavonet.svg",
                           "share/dbus-1/services/Kavonet.SMS.service",
                           "share/dbus-1/interfaces/Kavonet.SMS.xml", "lib/systemd/user/kavonet.service"}) {
    EXPECT_TRUE(std::filesystem::exists(root / file)) << file;
  }
  const std::string desktop = ReadFile(root / "share/applications/kavonet.desktop");
  EXPECT_NE(desktop.find("\nExec=kavonet\n"), std::string::npos);
  EXPECT_NE(desktop.find("\nIcon=kavonet\n"), std::string::npos);
  EXPECT_EQ(ReadFile(root / "share/dbus-1/services/Kavonet.SMS.service"),
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=/opt/kavonet-test/bin/kavonet -automation\n"
            "SystemdService=kavonet.service\n");
  EXPECT_NE(ReadFile(root / "lib/systemd/user/kavonet.service").find("\nExecStart=/opt/kavonet-test/bin/kavonet --headless\n"),
            std::string::npos);
}

}  // namespace
}  // namespace kavonet::testing
