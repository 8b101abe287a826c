#include "clients/CommandChannel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "ProcessHarness.h"
#include "QtApplication.h"

namespace kavonet::clients {
namespace {

using namespace std::chrono_literals;
using kavonet::testing::Sandbox;
using kavonet::testing::SpinUntil;

// A client on its own thread while the test's thread runs the Qt loop.
struct Exchange {
  std::atomic<bool> done{false};
  bool ok = false;
  std::string answer;
  std::string error;
  std::thread thread;

  Exchange(std::filesystem::path socket, std::string command, std::chrono::milliseconds timeout = 5s) {
    thread = std::thread([this, socket = std::move(socket), command = std::move(command), timeout] {
      ok = SendChannelCommand(socket, command, timeout, answer, error);
      done = true;
    });
  }
  ~Exchange() { thread.join(); }
  bool Finish() { return SpinUntil([this] { return done.load(); }, 10s); }
};

// A raw connection, for clients that misbehave.
int ConnectTo(const std::filesystem::path& socket) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

class Channel : public ::testing::Test {
 protected:
  Channel() { kavonet::testing::EnsureQtApplication(); }
  void Listen(CommandChannel::Limits limits = {}) {
    channel = std::make_unique<CommandChannel>([this](const std::string& c) { return Handle(c); }, limits);
    std::string error;
    ASSERT_TRUE(channel->Listen(Directory(), error)) << error;
  }
  int Handle(const std::string& command) {
    if (command == "throw") throw std::runtime_error("no\nway");
    commands.push_back(command);
    return command.empty() ? 0 : 1;
  }
  std::filesystem::path Directory() const { return sandbox.Runtime() / "kavonet"; }
  std::filesystem::path Socket() const { return Directory() / kCommandSocketName; }

  Sandbox sandbox;
  std::vector<std::string> commands;
  std::unique_ptr<CommandChannel> channel;
};

TEST_F(Channel, HandsTheFirstLineOverAndAcknowledges) {
  Listen();
  struct Case {
    std::string sent;
    std::string handled;
  };
  const Case cases[] = {
      {"0123456, +44 789 ;Meeting at 10; room 2", "0123456, +44 789 ;Meeting at 10; room 2"},
      {"555;a;b\r\n666;c", "555;a;b"},
      {"123;\xc2\xa3" "5\xff", "123;\xc2\xa3" "5\xef\xbf\xbd"},  // malformed UTF-8 replaced
      {"", ""},
  };
  for (const Case& c : cases) {
    commands.clear();
    Exchange exchange(Socket(), c.sent);
    ASSERT_TRUE(exchange.Finish());
    EXPECT_TRUE(exchange.ok) << exchange.error;
    EXPECT_EQ(exchange.answer, c.sent.empty() ? "ERROR no destination" : "OK 1");
    EXPECT_EQ(commands, std::vector<std::string>{c.handled});
  }
  EXPECT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 0; }, 5s));
}

TEST_F(Channel, AHandlerErrorIsAnsweredAndTheChannelCarriesOn) {
  Listen();
  {
    Exchange failing(Socket(), "throw");
    ASSERT_TRUE(failing.Finish());
    EXPECT_EQ(failing.answer, "ERROR no way");
  }
  Exchange next(Socket(), "1;x");
  ASSERT_TRUE(next.Finish());
  EXPECT_EQ(next.answer, "OK 1");
}

TEST_F(Channel, ALineOverTheLimitIsRefusedUnrun) {
  Listen({.maxRequest = 1000});
  // One line far longer than the limit, sent by a client that never stops writing.
  Exchange big(Socket(), "1;" + std::string(200000, 'x'));
  ASSERT_TRUE(big.Finish());
  EXPECT_TRUE(big.ok) << big.error;
  EXPECT_EQ(big.answer, "ERROR request too long");
  EXPECT_TRUE(commands.empty());
}

TEST_F(Channel, ALineFeedCompletesTheCommandOfAClientThatKeepsItsSideOpen) {
  Listen({.readTimeout = 60s});
  const int fd = ConnectTo(Socket());
  ASSERT_EQ(send(fd, "333;hi\n", 7, MSG_NOSIGNAL), 7);
  char answer[8] = {};
  ssize_t got = 0;
  EXPECT_TRUE(SpinUntil([&] { return got > 0 || (got = recv(fd, answer, sizeof answer - 1, MSG_DONTWAIT)) > 0; }, 5s));
  close(fd);
  EXPECT_STREQ(answer, "OK 1\n");
  EXPECT_EQ(commands, std::vector<std::string>{"333;hi"});
}

TEST_F(Channel, ConnectionsBeyondTheLimitAreTurnedAway) {
  Listen({.readTimeout = 5s, .maxConnections = 2});
  const int first = ConnectTo(Socket());
  const int second = ConnectTo(Socket());
  ASSERT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 2; }, 5s));
  Exchange third(Socket(), "1;x");
  ASSERT_TRUE(third.Finish());
  EXPECT_EQ(third.answer, "ERROR busy");
  EXPECT_TRUE(commands.empty());
  close(first);
  close(second);
  ASSERT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 0; }, 5s)) << "closed clients end";
}

TEST_F(Channel, CtlTriesAgainWhileTheGatewayIsBusy) {
  Listen({.maxConnections = 1});
  const int blocker = ConnectTo(Socket());
  ASSERT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 1; }, 5s));
  kavonet::testing::ChildProcess ctl({kavonet::testing::CtlProgram(), "--socket", "send", "12", "x"},
                                     sandbox.Environment(), sandbox.Root());
  SpinUntil([] { return false; }, 150ms);  // its first try is turned away
  close(blocker);
  ASSERT_TRUE(SpinUntil([&] { return !ctl.Running(); }, 10s));
  EXPECT_EQ(ctl.Wait(), 0) << ctl.Output();
}

TEST_F(Channel, ReplacesTheSocketOfADeadGatewayButNotOfALiveOne) {
  Listen();
  // A live gateway keeps its socket.
  CommandChannel second([](const std::string&) { return 0; });
  std::string error;
  EXPECT_FALSE(second.Listen(Directory(), error));
  EXPECT_NE(error.find("another gateway"), std::string::npos) << error;
  // Gone without cleaning up: its socket file stays and is taken over.
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  channel.reset();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", Socket().c_str());
  ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(stale);
  Listen();
  Exchange exchange(Socket(), "1;x");
  ASSERT_TRUE(exchange.Finish());
  EXPECT_EQ(exchange.answer, "OK 1");
}

TEST(ChannelClient, ReportsAGatewayThatIsNotThere) {
  Sandbox sandbox;
  std::string answer;
  std::string error;
  EXPECT_FALSE(SendChannelCommand(sandbox.Root() / "none", "1;x", 1s, answer, error));
  EXPECT_NE(error.find("cannot connect"), std::string::npos) << error;
}

}  // namespace
}  // namespace kavonet::clients
