// The rules of the client adapters as tables: the start switches, kavonet-ctl's command
// line, the automation method table, the command request and channel, and the per-user
// files and directories they live in.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QXmlStreamReader>
#include <atomic>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>
#include <tuple>

#include "ProcessHarness.h"
#include "QtApplication.h"
#include "clients/ActivationFile.h"
#include "clients/AutomationMethods.h"
#include "clients/AutomationObject.h"
#include "clients/CommandChannel.h"
#include "clients/CommandRequest.h"
#include "clients/RuntimeDirectory.h"
#include "clients/ServerStartMode.h"
#include "clients/ctl/CtlOptions.h"
#include "core/TSMS.h"
#include "tests/core/ControllerHarness.h"

namespace kavonet::clients {
namespace {

using namespace std::chrono_literals;
using kavonet::testing::Sandbox;
using kavonet::testing::SpinUntil;
using Args = std::vector<std::string_view>;

TEST(ClientRules, StartSwitches) {
  const std::pair<Args, ServerStartMode> cases[] = {
      {{}, ServerStartMode::Standalone},
      {{"--headless", "regserver", "-reg", "--regserver", "-regserverx"}, ServerStartMode::Standalone},
      {{"/regserver"}, ServerStartMode::Register},
      {{"-REGSERVER"}, ServerStartMode::Register},
      {{"/UnRegServer"}, ServerStartMode::Unregister},
      {{"-automation"}, ServerStartMode::Automation},
      {{"/Embedding"}, ServerStartMode::Automation},
      {{"-regserver", "-automation"}, ServerStartMode::Automation},  // the order of the tests decides
      {{"-unregserver", "-regserver"}, ServerStartMode::Register},
  };
  for (const auto& [arguments, mode] : cases) {
    EXPECT_EQ(ParseServerStartMode(arguments), mode) << (arguments.empty() ? "" : arguments[0]);
  }
}

TEST(ClientRules, CtlCommandLine) {
  using ctl::Command;
  struct Case {
    Args arguments;
    std::function<bool(const ctl::CtlOptions&)> check;  // null: a usage error
  };
  const Case cases[] = {
      {{"send", "+44 123,456", "Meeting", "at", "10"},
       [](const ctl::CtlOptions& o) {
         return o.command == Command::Send && o.destinations == "+44 123,456" && o.text == "Meeting at 10" &&
                o.transport == ctl::Transport::Automatic && o.timeoutMs == 30000;
       }},
      {{"--socket", "--service", "gw", "--timeout", "3600", "send", "1"},
       [](const ctl::CtlOptions& o) {
         return o.transport == ctl::Transport::Socket && o.service == "gw" && o.timeoutMs == 3600000 &&
                o.text.empty();
       }},
      {{"--bus", "mode", "none"}, [](const ctl::CtlOptions& o) { return o.transport == ctl::Transport::Bus && o.mode == "No_Transfer_Mode"; }},
      {{"mode", "te"}, [](const ctl::CtlOptions& o) { return o.mode == "Transfer_TE_Mode"; }},
      {{"mode", "all"}, [](const ctl::CtlOptions& o) { return o.mode == "Transfer_All_Mode"; }},
      {{"retrieve", "--follow", "--app", "billing"}, [](const ctl::CtlOptions& o) { return o.appName == "billing" && o.follow; }},
      {{"retrieve", "--app=x"}, [](const ctl::CtlOptions& o) { return o.appName == "x" && !o.follow; }},
      {{"queue", "/var/gw"}, [](const ctl::CtlOptions& o) { return o.command == Command::Queue && o.directory == "/var/gw"; }},
      {{"ports", "--ini", "a.ini"}, [](const ctl::CtlOptions& o) { return o.command == Command::Ports && o.ini == "a.ini"; }},
      {{"get-all"}, [](const ctl::CtlOptions& o) { return o.command == Command::GetAll; }},
      {{}, nullptr}, {{"frobnicate"}, nullptr}, {{"send"}, nullptr}, {{"mode"}, nullptr},
      {{"mode", "some"}, nullptr}, {{"retrieve"}, nullptr}, {{"retrieve", "--app"}, nullptr},
      {{"status", "extra"}, nullptr}, {{"queue", "a", "b"}, nullptr}, {{"ports", "--ini"}, nullptr},
      {{"--timeout", "0", "status"}, nullptr}, {{"--timeout", "3601", "status"}, nullptr},
      {{"--timeout", "5x", "status"}, nullptr},
  };
  for (const Case& c : cases) {
    std::string error;
    const auto options = ctl::ParseCtlOptions(c.arguments, error);
    const std::string shown = c.arguments.empty() ? "(none)" : std::string(c.arguments.back());
    ASSERT_EQ(options.has_value(), c.check != nullptr) << shown << ": " << error;
    if (options) EXPECT_TRUE(c.check(*options)) << shown;
    else EXPECT_FALSE(error.empty()) << shown;
  }
}

// Every method of the interface as the introspection document declares it: inputs and
// the D-Bus type of the result.
TEST(ClientRules, AutomationMethodsMatchTheIntrospectionDocument) {
  std::map<std::string, std::pair<int, std::string>> declared;
  QXmlStreamReader xml(IntrospectionDocument());
  std::string current;
  while (!xml.atEnd()) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto attribute = [&](const char* name) { return xml.attributes().value(QLatin1String(name)).toString().toStdString(); };
    if (xml.name() == QLatin1String("method")) declared[current = attribute("name")];
    if (xml.name() == QLatin1String("arg") && attribute("direction") == "out") declared[current].second = attribute("type");
    else if (xml.name() == QLatin1String("arg")) ++declared[current].first;
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  ASSERT_EQ(declared.size(), 16u);
  ASSERT_EQ(AutomationMethods().size(), 16u);
  kavonet::testing::ControllerHarness h;
  TSMS object(*h.main);
  for (const AutomationMethod& method : AutomationMethods()) {
    const std::string name(method.name);
    ASSERT_TRUE(declared.count(name)) << name;
    EXPECT_EQ(declared.at(name).first, method.argumentCount) << name;
    const std::vector<std::string> arguments(static_cast<std::size_t>(method.argumentCount), "");
    static const char* const kTypes[] = {"", "b", "i", "s"};  // by AutomationResult alternative
    EXPECT_EQ(kTypes[method.invoke(object, arguments).index()], declared.at(name).second) << name;
    EXPECT_EQ(method.resultIsTaken, name == "Retrieve_Message") << name;
  }
  for (const char* member : {"Send_Message", "send_message", "SEND_MESSAGE", "sEnD_mEsSaGe"}) {
    const AutomationMethod* method = FindAutomationMethod(AutomationMethods(), member);
    EXPECT_EQ(method ? method->name : "", "Send_Message") << member;
  }
  for (const char* member : {"", "Send_Messag", "Send_Message ", "Introspect", "Send-Message"}) {
    EXPECT_EQ(FindAutomationMethod(AutomationMethods(), member), nullptr) << member;
  }
}

TEST(ClientRules, CommandRequestKeepsTheFirstLineUpToTheLimit) {
  struct Case {
    std::vector<std::string> chunks;
    std::size_t limit;
    std::string firstLine;
    bool complete, full, overlong;
  };
  const Case cases[] = {
      {{"12", "3;H", "i"}, 100, "123;Hi", false, false, false},
      {{"555;a;b\n666;c"}, 100, "555;a;b", true, false, false},
      {{"555;a\r", "x"}, 100, "555;a", false, false, false},  // only a line feed completes it
      {{"555;a\r", "\n", "x"}, 100, "555;a", true, false, false},
      {{std::string("444;ab\0cd", 9)}, 100, "444;ab", false, false, false},
      {{"1;x\n", "2;y"}, 100, "1;x", true, false, false},
      {{}, 100, "", false, false, false},
      {{"123456", "789"}, 8, "12345678", true, true, true},
      {{"1;x\n", std::string(20, 'z')}, 8, "1;x", true, true, false},
      {{"1;x", std::string(20, '\n')}, 4, "1;x", true, true, false},
  };
  for (const Case& c : cases) {
    CommandRequest request(c.limit);
    for (const std::string& chunk : c.chunks) request.Append(chunk);
    EXPECT_EQ(request.FirstLine(), c.firstLine);
    EXPECT_EQ(std::tuple(request.Complete(), request.Full(), request.Overlong()),
              std::tuple(c.complete, c.full, c.overlong)) << c.firstLine;
    EXPECT_EQ(request.Received(), std::min(c.limit, [&] {
      std::size_t sent = 0;
      for (const std::string& chunk : c.chunks) sent += chunk.size();
      return sent;
    }())) << c.firstLine;
  }
}

TEST(ClientRules, PerUserFilesAndDirectories) {
  const std::string service = "/dbus-1/services/Kavonet.SMS.service";
  const std::pair<std::filesystem::path, std::string> paths[] = {
      {ActivationFilePath("/x/data", "/home/u"), "/x/data" + service},
      {ActivationFilePath(nullptr, "/home/u"), "/home/u/.local/share" + service},
      {ActivationFilePath("data", "/home/u"), "/home/u/.local/share" + service},  // relative: ignored
      {ActivationFilePath("", ""), ""},
      {StateDirectoryPath("/x/state", "/home/u"), "/x/state/kavonet"},
      {StateDirectoryPath("state", "/home/u"), "/home/u/.local/state/kavonet"},
      {StateDirectoryPath(nullptr, nullptr), ""},
      {RuntimeDirectoryPath("kavonet", {"/run/user/1000", "/c", "/h", "box", 1000}), "/run/user/1000/kavonet"},
      {RuntimeDirectoryPath("kavonet", {nullptr, "/c", "/h", "box", 1000}), "/c/kavonet-box"},
      {RuntimeDirectoryPath("kavonet", {"", "relative", "/h", "box", 1000}), "/h/.cache/kavonet-box"},
      {RuntimeDirectoryPath("kavonet", {"relative", nullptr, "h", "box", 7}), "/tmp/kavonet-7"},
      {ServiceNameOf("/usr/bin/kavonet"), "kavonet"}, {ServiceNameOf("kavonet.v5.bin"), "kavonet"},
      {ServiceNameOf("/opt/a.b/gw"), "gw"},
  };
  for (const auto& [path, expected] : paths) EXPECT_EQ(path, expected);
  EXPECT_EQ(ActivationFileText("/usr/bin/kavonet"),
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=/usr/bin/kavonet -automation\n");
  EXPECT_EQ(ActivationFileText("/opt/my apps/k`a\"v\\o$net"),  // the bus splits Exec like a shell
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=\"/opt/my apps/k\\`a\\\"v\\\\o\\$net\" -automation\n");

  Sandbox sandbox;
  const std::filesystem::path file = ActivationFilePath(sandbox.DataHome().c_str(), nullptr);
  std::string error;
  ASSERT_TRUE(WriteActivationFile(file, "/usr/bin/kavonet", error)) << error;
  ASSERT_TRUE(WriteActivationFile(file, "/usr/local/bin/kavonet", error)) << "replaced";
  EXPECT_EQ(kavonet::testing::ReadFile(file), ActivationFileText("/usr/local/bin/kavonet"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1)
      << "no temporary file left behind";
  ASSERT_TRUE(RemoveActivationFile(file, error));
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(RemoveActivationFile(file, error)) << "already gone is no failure";
  std::ofstream(sandbox.DataHome() / "blocked") << "x";  // a file where a directory should be
  EXPECT_FALSE(WriteActivationFile(sandbox.DataHome() / "blocked" / "x.service", "/k", error));
  EXPECT_NE(error.find("blocked"), std::string::npos) << error;

  // Runtime directories: created private (parents too), else refused with the reason.
  const std::filesystem::path created = sandbox.Root() / "cache" / "gw";
  ASSERT_TRUE(PrepareRuntimeDirectory(created, error)) << error;
  struct stat status {};
  ASSERT_EQ(stat(created.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_TRUE(PrepareRuntimeDirectory(created, error)) << "an existing private directory is fine";
  std::filesystem::create_directory_symlink(created, sandbox.Root() / "link");
  std::ofstream(sandbox.Root() / "file") << "x";
  std::vector<std::pair<std::filesystem::path, std::string>> refused = {
      {sandbox.Root() / "link", "is not a directory"}, {sandbox.Root() / "file", "is not a directory"},
      {sandbox.Root() / "missing", "No such file"}};
  for (mode_t mode : {0750, 0705, 0701}) {
    refused.emplace_back(sandbox.Root() / ("open" + std::to_string(mode)), "open to other users");
    ASSERT_EQ(mkdir(refused.back().first.c_str(), 0700), 0);
    ASSERT_EQ(chmod(refused.back().first.c_str(), mode), 0);
  }
  if (geteuid() == 0) {  // only root can give a directory away
    refused.emplace_back(sandbox.Root() / "theirs", "belongs to another user");
    ASSERT_EQ(mkdir(refused.back().first.c_str(), 0700), 0);
    ASSERT_EQ(chown(refused.back().first.c_str(), 65534, 65534), 0);
  }
  for (const auto& [directory, reason] : refused) {
    EXPECT_FALSE(CheckRuntimeDirectory(directory, error)) << directory;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

// A client on its own thread while the test's thread runs the Qt loop.
struct Exchange {
  std::atomic<bool> done{false};
  bool ok = false;
  std::string answer, error;
  std::thread thread;
  Exchange(const std::filesystem::path& socket, std::string command) {
    thread = std::thread([this, socket, command = std::move(command)] {
      ok = SendChannelCommand(socket, command, 5s, answer, error);
      done = true;
    });
  }
  ~Exchange() { thread.join(); }
  std::string Finish() { return SpinUntil([this] { return done.load(); }, 10s) && ok ? answer : "failed: " + error; }
};

int ConnectTo(const std::filesystem::path& socket) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  return connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ? fd : (close(fd), -1);
}

class Channel : public ::testing::Test {
 protected:
  Channel() { kavonet::testing::EnsureQtApplication(); }
  void Listen(CommandChannel::Limits limits = {}) {
    channel = std::make_unique<CommandChannel>([this](const std::string& c) {
      if (c == "throw") throw std::runtime_error("no\r\nway");
      commands.push_back(c);
      return c.empty() ? 0 : 1;
    }, limits);
    std::string error;
    ASSERT_TRUE(channel->Listen(sandbox.GatewayRuntime(), error)) << error;
  }
  Sandbox sandbox;
  std::vector<std::string> commands;
  std::unique_ptr<CommandChannel> channel;
};

TEST_F(Channel, HandsTheFirstLineOverAndAnswersEachRequest) {
  Listen({.maxRequest = 1000});
  const std::tuple<std::string, std::string, std::vector<std::string>> cases[] = {
      {"0123456, +44 789 ;Meeting at 10", "OK 1", {"0123456, +44 789 ;Meeting at 10"}},
      {"555;a;b\r\n666;c", "OK 1", {"555;a;b"}},
      {"123;\xc2\xa3" "5\xff", "OK 1", {"123;\xc2\xa3" "5\xef\xbf\xbd"}},  // malformed UTF-8 replaced
      {"", "ERROR no destination", {""}},
      {"throw", "ERROR no  way", {}},  // and the channel carries on
      {"1;" + std::string(200000, 'x'), "ERROR request too long", {}},  // refused unrun
  };
  for (const auto& [sent, answer, handled] : cases) {
    commands.clear();
    Exchange exchange(sandbox.CommandSocket(), sent);
    EXPECT_EQ(exchange.Finish(), answer) << sent.substr(0, 40);
    EXPECT_EQ(commands, handled) << sent.substr(0, 40);
  }
  // A line feed completes the request of a client that keeps its side open.
  const int fd = ConnectTo(sandbox.CommandSocket());
  ASSERT_EQ(send(fd, "333;hi\n", 7, MSG_NOSIGNAL), 7);
  char answer[8] = {};
  ssize_t got = 0;
  EXPECT_TRUE(SpinUntil([&] { return got > 0 || (got = recv(fd, answer, sizeof answer - 1, MSG_DONTWAIT)) > 0; }, 5s));
  close(fd);
  EXPECT_STREQ(answer, "OK 1\n");
  EXPECT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 0; }, 5s));
}

TEST_F(Channel, TurnsAwayConnectionsBeyondTheLimitAndCtlTriesAgain) {
  Listen({.readTimeout = 5s, .maxConnections = 2});
  const int first = ConnectTo(sandbox.CommandSocket());
  const int second = ConnectTo(sandbox.CommandSocket());
  ASSERT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 2; }, 5s));
  EXPECT_EQ(Exchange(sandbox.CommandSocket(), "1;x").Finish(), "ERROR busy");
  kavonet::testing::ChildProcess ctl({kavonet::testing::CtlProgram(), "--socket", "send", "12", "x"},
                                     sandbox.Environment(), sandbox.Root());
  SpinUntil([] { return false; }, 150ms);  // its first try is turned away
  close(first);
  close(second);
  ASSERT_TRUE(SpinUntil([&] { return !ctl.Running(); }, 10s));
  EXPECT_EQ(ctl.Wait(), 0) << ctl.Output();
  ASSERT_FALSE(commands.empty());
  EXPECT_EQ(commands.back(), "12;x");
}

TEST_F(Channel, ReplacesTheSocketOfADeadGatewayButNotOfALiveOne) {
  Listen();
  CommandChannel second([](const std::string&) { return 0; });
  std::string error;
  EXPECT_FALSE(second.Listen(sandbox.GatewayRuntime(), error));
  EXPECT_NE(error.find("another gateway"), std::string::npos) << error;
  // Gone without cleaning up: its socket file stays and is taken over.
  const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
  channel.reset();
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", sandbox.CommandSocket().c_str());
  ASSERT_EQ(bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
  close(stale);
  Listen();
  EXPECT_EQ(Exchange(sandbox.CommandSocket(), "1;x").Finish(), "OK 1");
  EXPECT_NE(Exchange(sandbox.Root() / "none", "1;x").Finish().find("cannot connect"), std::string::npos);
}

}  // namespace
}  // namespace kavonet::clients
