// kavonet-sim as a program: its pseudo-terminal, the control socket, the journal and
// the device link; and gammu, a real SMS tool, using it as a modem.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <fstream>

#include "ProcessHarness.h"

namespace kavonet::testing {
namespace {

TEST(SimProgram, ControlSocketAndLink) {
  Sandbox sandbox;
  SimTerminal sim(sandbox, sandbox.Work());
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(std::filesystem::read_symlink(sim.Link()).string(), sim.Device());
  // Several connections at once, lines split across writes.
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sim.ControlSocket().c_str());
  const int socketFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_EQ(connect(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(write(socketFd, "fill 2\r\ncou", 11), 11);
  EXPECT_EQ(sim.Control("list"), "OK 1 2");
  ASSERT_EQ(write(socketFd, "nt\nbogus\n", 9), 9);
  EXPECT_EQ(ReadUntil(socketFd, "bogus\n"), "OK 2\nOK 2\nERROR unknown command bogus\n");
  close(socketFd);
  EXPECT_EQ(sim.Control("quit"), "OK bye");
  EXPECT_EQ(sim.Process().Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(sim.Link())));
}

TEST(SimProgram, RefusesBadOptions) {
  Sandbox sandbox;
  const RunResult result = RunProgram({SimProgram(), "--mode", "text"}, sandbox);
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_NE(result.output.find("usage: kavonet-sim"), std::string::npos);
}

TEST(SimProgram, GammuSendsAndListsThroughIt) {
  if (access("/usr/bin/gammu", X_OK) != 0) GTEST_SKIP() << "gammu is not installed";
  Sandbox sandbox;
  SimTerminal sim(sandbox, sandbox.Work());
  ASSERT_TRUE(sim.Started());
  std::ofstream(sandbox.Work() / "gammurc") << "[gammu]\ndevice = " << sim.Device() << "\nconnection = at\n";
  const auto gammu = [&](std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"/usr/bin/gammu", "-c", (sandbox.Work() / "gammurc").string()});
    return RunProgram(arguments, sandbox, 30000ms);  // about 3.5 s a run
  };
  const RunResult sent = gammu({"sendsms", "TEXT", "12345", "-text", "hi there"});
  ASSERT_EQ(sent.exitCode, 0) << sent.output;
  EXPECT_EQ(JournalSent(sim.JournalFile()), std::vector<std::string>{"12345=hi there"});
  ASSERT_EQ(sim.Control("store +4479555 Hello from the simulator"), "OK 1");
  ASSERT_EQ(sim.Control("store Kavonet Caf\xC3\xA9 \xE2\x82\xAC!"), "OK 2");
  ASSERT_EQ(sim.Control("store 0800 \xE4\xB8\xAD\xE6\x96\x87"), "OK 3");
  const RunResult listed = gammu({"getallsms"});
  ASSERT_EQ(listed.exitCode, 0) << listed.output;
  for (const char* expected : {"\"+4479555\"", "Hello from the simulator", "\"Kavonet\"", "Caf\xC3\xA9 \xE2\x82\xAC!",
                               "\"0800\"", "\xE4\xB8\xAD\xE6\x96\x87", "3 SMS parts in 3 SMS sequences"}) {
    EXPECT_NE(listed.output.find(expected), std::string::npos) << expected << "\n" << listed.output;
  }
}

}  // namespace
}  // namespace kavonet::testing
