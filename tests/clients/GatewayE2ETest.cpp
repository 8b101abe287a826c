// The clients of a running gateway: its automation object on a private bus (dbus-send),
// kavonet-ctl, the command channel (raw sockets), registration and activation by the
// bus. What the messages become is the core's business; here, what only the processes show.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>

#include "GatewayProcess.h"

namespace kavonet::testing {
namespace {

class Automation : public GatewayTest {
 protected:
  bool ModeBecomes(const std::string& mode) {
    return Eventually([&] { return Call("Receive_Mode") == "string \"" + mode + "\""; });
  }
};

TEST_F(Automation, CtlDrivesTheGateway) {
  StartGateway();
  const RunResult status = Ctl({"status"});
  EXPECT_EQ(status.exitCode, 0);
  EXPECT_EQ(status.output, "connected: yes\nauto connect: no\nreceive mode: No_Transfer\n");
  EXPECT_EQ(Ctl({"mode", "all"}).exitCode, 0);
  EXPECT_TRUE(ModeBecomes("Transfer_All"));
  const RunResult sent = Ctl({"send", "+44 1,2", "two", "words"});
  EXPECT_EQ(sent.exitCode, 0);
  EXPECT_EQ(sent.output, "queued 2 messages\n");
  EXPECT_EQ(Ctl({"send", "abc", "x"}).exitCode, 1) << "no destination";
  EXPECT_EQ(Sim("deliver +4412345 for ctl"), "OK 1");
  RunResult retrieved;
  ASSERT_TRUE(Eventually([&] {
    retrieved = Ctl({"retrieve", "--app", "ctl"});
    return retrieved.output.find("for ctl") != std::string::npos;
  }));
  EXPECT_EQ(retrieved.exitCode, 0);
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true") << "ctl gave its registration up";
  EXPECT_EQ(Ctl({"retrieve", "--app", "ctl"}).exitCode, 1) << "refused while 'other' holds it";
  EXPECT_EQ(Call("deRegister_Retrieve", {"string:other"}), "boolean true");
  EXPECT_EQ(Ctl({"disconnect"}).exitCode, 0);
  EXPECT_EQ(Call("Is_Connected"), "boolean false");
  EXPECT_EQ(Ctl({"connect"}).exitCode, 0);
  EXPECT_EQ(WaitSent(2), (std::vector<std::string>{"+441=two words", "2=two words"}));
  EXPECT_EQ(Ctl({"mode", "all"}).exitCode, 0);  // a new session starts in the startup mode
  EXPECT_TRUE(ModeBecomes("Transfer_All"));

  // A follower holds the registration until interrupted.
  EXPECT_EQ(Sim("deliver +4455555 while following"), "OK 1");
  ChildProcess follow({CtlProgram(), "retrieve", "--app", "watcher", "--follow"}, sandbox.Environment(), sandbox.Work());
  ASSERT_TRUE(follow.WaitForOutput("while following\n")) << follow.Output();
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean false") << "held by the follower";
  follow.Signal(SIGINT);
  EXPECT_EQ(follow.Wait(), 0) << follow.Output();
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true");
  EXPECT_EQ(Call("deRegister_Retrieve", {"string:other"}), "boolean true");

  // A reader gone before the first message is written: ctl stops there and gives its registration up.
  // The terminal may still hold the follower's message until its delete has gone through.
  EXPECT_EQ(Sim("deliver +4411111 one").substr(0, 3), "OK ");
  EXPECT_EQ(Sim("deliver +4422222 two").substr(0, 3), "OK ");
  ASSERT_TRUE(Eventually([&] { return Ctl({"queue", sandbox.Work().string()}).output.find("two") != std::string::npos; }));
  const std::string script = "\"$1\" retrieve --app pipe 2>/dev/null | true; echo \"ctl=${PIPESTATUS[0]}\"";
  EXPECT_EQ(RunProgram({"/bin/bash", "-c", script, "bash", CtlProgram()}, sandbox).output, "ctl=4\n");
  EXPECT_EQ(Call("Register_Retrieve", {"string:other"}), "boolean true") << "given up";
  EXPECT_NE(Call("Retrieve_Message", {"string:other"}).find("two"), std::string::npos) << "not taken";
}

TEST(CtlWithoutGateway, SaysSoWithItsExitCode) {
  Sandbox sandbox;
  PrivateBus bus(sandbox);
  ASSERT_TRUE(bus.Started());
  for (const std::vector<std::string>& args : {std::vector<std::string>{"status"}, {"send", "1", "x"},
                                               {"--socket", "send", "1", "x"}, {"retrieve", "--app", "a"}}) {
    std::vector<std::string> argv{CtlProgram()};
    argv.insert(argv.end(), args.begin(), args.end());
    const RunResult result = RunProgram(argv, sandbox);
    EXPECT_EQ(result.exitCode, 3) << args[0] << ": " << result.output;
  }
  sandbox.Set("DBUS_SESSION_BUS_ADDRESS", "");
  EXPECT_EQ(RunProgram({CtlProgram(), "status"}, sandbox).exitCode, 3) << "without a bus at all";
  EXPECT_EQ(RunProgram({CtlProgram(), "frobnicate"}, sandbox).exitCode, 2);
}

class Channel : public GatewayTest {};

TEST_F(Channel, WithoutBusOrDisplayASilentClientTimesOutWithoutBlockingTheGateway) {
  StartGateway({.bus = false, .headless = false});
  const std::string warning = "warning: no D-Bus session bus", output = gateway->Output();
  ASSERT_NE(output.find(warning), std::string::npos) << output;
  EXPECT_EQ(output.find(warning, output.find(warning) + 1), std::string::npos) << "warned once";
  const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sandbox.CommandSocket().c_str());
  ASSERT_EQ(connect(silent, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const auto start = std::chrono::steady_clock::now();
  const RunResult sent = Ctl({"send", "4321", "over", "the", "socket"});  // no bus: ctl uses the channel
  EXPECT_EQ(sent.output, "queued 1 message\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "served before the silent client's time-out";
  EXPECT_EQ(Ctl({"status"}).exitCode, 3) << "status needs the bus";
  timeval wait{20, 0};
  setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  char answer[64] = {};
  const ssize_t got = recv(silent, answer, sizeof answer - 1, 0);
  EXPECT_EQ(std::string(answer, got > 0 ? static_cast<std::size_t>(got) : 0), "ERROR timed out\n");
  close(silent);
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"4321=over the socket"}));
}

std::string ExpectedActivationFile() {
  return "[D-BUS Service]\nName=Kavonet.SMS\nExec=" + std::filesystem::canonical(KavonetProgram()).string() +
         " -automation\n";
}

TEST_F(Channel, AStandaloneStartRegistersAndAnOpenDirectoryIsRefused) {
  StartGateway({.bus = false, .simulate = ""});
  EXPECT_EQ(ReadFile(sandbox.ActivationFile()), ExpectedActivationFile());
  gateway->Signal(SIGTERM);
  EXPECT_EQ(gateway->Wait(), 0);
  // A directory open to others is refused.
  std::filesystem::create_directories(sandbox.GatewayRuntime());
  ASSERT_EQ(chmod(sandbox.GatewayRuntime().c_str(), 0755), 0);
  const RunResult result = RunProgram({KavonetProgram(), "--headless"}, sandbox);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("open to other users"), std::string::npos) << result.output;
  EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));
}

TEST(Activation, ARegisteredGatewayIsStartedByTheBusOnTheFirstCallAndEndsWithIt) {
  Sandbox sandbox;
  ASSERT_EQ(RunProgram({KavonetProgram(), "-regserver"}, sandbox).exitCode, 0);
  ChildProcess session({"/usr/bin/timeout", "60", "/usr/bin/dbus-run-session", "--", "/usr/bin/dbus-send", "--session",
                        "--print-reply", "--dest=Kavonet.SMS", "/Kavonet/SMS", "Kavonet.SMS.Is_Connected", "string:"},
                       sandbox.Environment(), sandbox.Work());
  EXPECT_EQ(session.Wait(), 0) << session.Output();
  EXPECT_NE(session.Output().find("boolean false"), std::string::npos) << session.Output();
  // The activated gateway writes to the same output: it has ended once that closes.
  EXPECT_TRUE(session.WaitForOutput(": ending", kWait));
  EXPECT_FALSE(session.WaitForOutput("never written", 5000ms)) << "output closed: the gateway has gone";
  // It worked where the user unit works, not in the bus daemon's directory.
  EXPECT_TRUE(std::filesystem::exists(sandbox.Home() / ".local/state/kavonet/orvsms.ini"));
  EXPECT_FALSE(std::filesystem::exists(sandbox.Work() / "orvsms.ini"));

  // Unregistering, and a registration that cannot be written, end at once too.
  EXPECT_EQ(RunProgram({KavonetProgram(), "/UnRegServer"}, sandbox).exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(sandbox.ActivationFile()));
  std::filesystem::remove_all(sandbox.DataHome() / "dbus-1" / "services");
  std::ofstream(sandbox.DataHome() / "dbus-1" / "services") << "in the way";
  const RunResult failed = RunProgram({KavonetProgram(), "-regserver"}, sandbox);
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.output.find("error: server registration"), std::string::npos) << failed.output;
}

}  // namespace
}  // namespace kavonet::testing
