// The command channel of a running gateway, used with socat and raw sockets.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "GatewayFixture.h"

namespace kavonet::testing {
namespace {

class ChannelE2E : public GatewayTest {};

TEST_F(ChannelE2E, WorkedExamplesThroughSocat) {
  StartGateway({.bus = false});
  const std::pair<const char*, const char*> exchanges[] = {
      {"0123456, +44 789 ;Meeting at 10; room 2", "OK 2"}, {"123", "OK 1"},
      {";Hi", "ERROR no destination"}, {"1,,2;x", "OK 2"}, {"555;a;b\r\n666;c", "OK 1"},
      {"abc;nothing", "ERROR no destination"}, {"999;end", "OK 1"}};
  for (const auto& [command, answer] : exchanges) EXPECT_EQ(Socat(command), answer) << command;
  EXPECT_EQ(WaitSent(6), (std::vector<std::string>{"0123456=Meeting at 10; room 2", "+44789=Meeting at 10; room 2",
                                                   "1=x", "2=x", "555=a;b", "999=end"}));
  // "123" was queued with an empty text, which the send queue turns down when its turn comes.
  EXPECT_NE(gateway->Output().find("No message data entered"), std::string::npos);
}

TEST_F(ChannelE2E, ACommandWhileDisconnectedConnectsAndStillQueues) {
  StartGateway();
  EXPECT_EQ(Call("Disconnect"), "");
  EXPECT_EQ(Socat("321;later"), "OK 1");
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"321=later"}));
  EXPECT_EQ(Call("Is_Connected"), "boolean true");
}

TEST_F(ChannelE2E, DirectoryIsPrivate) {
  StartGateway({.bus = false, .simulate = ""});
  struct stat status {};
  ASSERT_EQ(stat(sandbox.GatewayRuntime().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  ASSERT_EQ(lstat(sandbox.CommandSocket().c_str(), &status), 0);
  EXPECT_TRUE(S_ISSOCK(status.st_mode));
}

TEST_F(ChannelE2E, AnOpenDirectoryIsRefused) {
  ASSERT_EQ(mkdir(sandbox.GatewayRuntime().c_str(), 0700), 0);
  ASSERT_EQ(chmod(sandbox.GatewayRuntime().c_str(), 0755), 0);
  const RunResult result = RunProgram({KavonetProgram(), "--headless"}, sandbox);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("open to other users"), std::string::npos) << result.output;
  EXPECT_FALSE(std::filesystem::exists(sandbox.CommandSocket()));
}

TEST_F(ChannelE2E, ASilentClientTimesOutWithoutBlockingTheGateway) {
  StartGateway({.bus = false});
  const int silent = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sandbox.CommandSocket().c_str());
  ASSERT_EQ(connect(silent, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Socat("77;meanwhile"), "OK 1");
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2500ms) << "served before the silent client's time-out";
  // The silent client is answered and dropped after the gateway's time-out.
  timeval wait{20, 0};
  setsockopt(silent, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  char answer[64] = {};
  const ssize_t got = recv(silent, answer, sizeof answer - 1, 0);
  EXPECT_EQ(std::string(answer, got > 0 ? static_cast<std::size_t>(got) : 0), "ERROR timed out\n");
  close(silent);
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"77=meanwhile"}));
}

TEST_F(ChannelE2E, CtlSendsThroughTheChannelWhenThereIsNoBus) {
  StartGateway({.bus = false});
  EXPECT_TRUE(gateway->WaitForOutput("warning: no D-Bus session bus"));
  const RunResult sent = Ctl({"send", "4321", "over", "the", "socket"});
  EXPECT_EQ(sent.exitCode, 0) << sent.output;
  EXPECT_EQ(sent.output, "queued 1 message\n");
  EXPECT_EQ(Ctl({"status"}).exitCode, 3) << "status needs the bus";
  EXPECT_EQ(WaitSent(1), (std::vector<std::string>{"4321=over the socket"}));
}

}  // namespace
}  // namespace kavonet::testing
