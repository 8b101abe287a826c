// kavonet-sim as a program: its pseudo-terminal, the control socket and the device link.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

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

}  // namespace
}  // namespace kavonet::testing
