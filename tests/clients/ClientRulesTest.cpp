// The rules of the client adapters as tables: start switches, kavonet-ctl's command line,
// the automation methods, the command request and channel, and the per-user files.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QXmlStreamReader>
#include <atomic>
#include <fstream>
#include <map>
#include <stdexcept>
#include <thread>

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
namespace fs = std::filesystem;

TEST(ClientRules, StartSwitches) {
  using enum ServerStartMode;
  const std::pair<Args, ServerStartMode> cases[] = {
      {{}, Standalone}, {{"--headless", "regserver", "-reg", "--regserver", "-regserverx"}, Standalone},
      {{"/regserver"}, Register}, {{"-REGSERVER"}, Register}, {{"/UnRegServer"}, Unregister},
      {{"-automation"}, Automation}, {{"/Embedding"}, Automation},
      {{"-regserver", "-automation"}, Automation},  // the order of the tests decides
      {{"-unregserver", "-regserver"}, Register}};
  for (const auto& [arguments, mode] : cases) EXPECT_EQ(ParseServerStartMode(arguments), mode);
}

// Each parse is summed up as "command transport service timeout | the fields set".
TEST(ClientRules, CtlCommandLine) {
  const std::pair<Args, std::string> cases[] = {
      {{"send", "+44 123,456", "Meeting", "at", "10"}, "0 0 kavonet 30000 | +44 123,456 Meeting at 10"},
      {{"--socket", "--service", "gw", "--timeout", "3600", "send", "1"}, "0 2 gw 3600000 | 1"},
      {{"--bus", "mode", "none"}, "2 1 kavonet 30000 | No_Transfer_Mode"},
      {{"retrieve", "--follow", "--app", "billing"}, "4 0 kavonet 30000 | billing follow"},
      {{"retrieve", "--app=x"}, "4 0 kavonet 30000 | x"}, {{"queue", "/g"}, "7 0 kavonet 30000 | /g"},
      {{"ports", "--ini", "a.ini"}, "8 0 kavonet 30000 | a.ini"}};
  for (const auto& [arguments, summary] : cases) {
    std::string error;
    const auto o = ctl::ParseCtlOptions(arguments, error);
    ASSERT_TRUE(o) << arguments[0] << ": " << error;
    std::string text = std::to_string(static_cast<int>(o->command)) + " " +
                       std::to_string(static_cast<int>(o->transport)) + " " + o->service + " " +
                       std::to_string(o->timeoutMs) + " |";
    for (const std::string& field : {o->destinations, o->text, o->mode, o->appName,
                                     std::string(o->follow ? "follow" : ""),
                                     o->directory == "." ? "" : o->directory,
                                     o->ini == "orvsms.ini" ? "" : o->ini}) {
      if (!field.empty()) text += " " + field;
    }
    EXPECT_EQ(text, summary);
  }
  for (const Args& arguments :
       {Args{}, Args{"frobnicate"}, Args{"send"}, Args{"mode"}, Args{"mode", "some"}, Args{"retrieve"},
        Args{"retrieve", "--app"}, Args{"status", "extra"}, Args{"queue", "a", "b"},
        Args{"ports", "--ini"}, Args{"--timeout", "0", "status"}, Args{"--timeout", "3601", "status"},
        Args{"--timeout", "5x", "status"}}) {
    std::string error;
    EXPECT_FALSE(ctl::ParseCtlOptions(arguments, error) || error.empty()) << arguments.size();
  }
}

// Every method as the introspection document declares it: its inputs and result type.
TEST(ClientRules, AutomationMethodsMatchTheIntrospectionDocument) {
  std::map<std::string, std::pair<int, std::string>> declared;
  QXmlStreamReader xml(IntrospectionDocument());
  for (std::string method; !xml.atEnd();) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    const auto attribute = [&](const char* name) {
      return xml.attributes().value(QLatin1String(name)).toString().toStdString();
    };
    if (xml.name() == QLatin1String("method")) declared[method = attribute("name")];
    if (xml.name() != QLatin1String("arg")) continue;
    if (attribute("direction") == "out") declared[method].second = attribute("type");
    else ++declared[method].first;
  }
  ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
  ASSERT_EQ(declared.size(), AutomationMethods().size());
  kavonet::testing::ControllerHarness h;
  TSMS object(*h.main);
  for (const AutomationMethod& method : AutomationMethods()) {
    const std::string name(method.name);
    ASSERT_TRUE(declared.count(name)) << name;
    EXPECT_EQ(declared.at(name).first, method.argumentCount) << name;
    const std::vector<std::string> arguments(static_cast<std::size_t>(method.argumentCount));
    static const char* const kTypes[] = {"", "b", "i", "s"};  // by AutomationResult alternative
    EXPECT_EQ(kTypes[method.invoke(object, arguments).index()], declared.at(name).second) << name;
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
    const char* state;  // Complete, Full, Overlong
  };
  const Case cases[] = {
      {{"12", "3;H", "i"}, 100, "123;Hi", "---"},       {{"555;a;b\n666;c"}, 100, "555;a;b", "C--"},
      {{"555;a\r", "x"}, 100, "555;a", "---"},          {{"555;a\r", "\n", "x"}, 100, "555;a", "C--"},
      {{std::string("444;ab\0cd", 9)}, 100, "444;ab", "---"}, {{"1;x\n", "2;y"}, 100, "1;x", "C--"},
      {{}, 100, "", "---"},                              {{"123456", "789"}, 8, "12345678", "CFO"},
      {{"1;x\n", std::string(20, 'z')}, 8, "1;x", "CF-"},
      {{"1;x", std::string(9, '\n')}, 4, "1;x", "CF-"}};
  for (const Case& c : cases) {
    CommandRequest request(c.limit);
    std::size_t sent = 0;
    for (const std::string& chunk : c.chunks) request.Append(chunk), sent += chunk.size();
    EXPECT_EQ(request.FirstLine(), c.firstLine);
    EXPECT_EQ(std::string(request.Complete() ? "C" : "-") + (request.Full() ? "F" : "-") +
                  (request.Overlong() ? "O" : "-"), c.state) << c.firstLine;
    EXPECT_EQ(request.Received(), std::min(c.limit, sent)) << c.firstLine;
  }
}

TEST(ClientRules, PerUserFilesAndDirectories) {
  const std::string service = "/dbus-1/services/Kavonet.SMS.service";
  const std::pair<fs::path, std::string> paths[] = {
      {ActivationFilePath("/x/data", "/home/u"), "/x/data" + service},
      {ActivationFilePath("data", "/home/u"), "/home/u/.local/share" + service},  // relative
      {ActivationFilePath(nullptr, ""), ""},
      {StateDirectoryPath("/x/state", "/h"), "/x/state/kavonet"},
      {StateDirectoryPath(nullptr, "/h"), "/h/.local/state/kavonet"},
      {RuntimeDirectoryPath("gw", {"/run/user/1", "/c", "/h", "box", 1}), "/run/user/1/gw"},
      {RuntimeDirectoryPath("gw", {nullptr, "/c", "/h", "box", 1}), "/c/gw-box"},
      {RuntimeDirectoryPath("gw", {"", "relative", "/h", "box", 1}), "/h/.cache/gw-box"},
      {RuntimeDirectoryPath("gw", {"relative", nullptr, "h", "box", 7}), "/tmp/gw-7"},
      {ServiceNameOf("/usr/bin/kavonet"), "kavonet"}, {ServiceNameOf("/opt/a.b/gw.v5.bin"), "gw"}};
  for (const auto& [path, expected] : paths) EXPECT_EQ(path, expected);
  EXPECT_EQ(ActivationFileText("/opt/my apps/k`a\"v\\o$net"),  // Exec is split like a shell
            "[D-BUS Service]\nName=Kavonet.SMS\n"
            "Exec=\"/opt/my apps/k\\`a\\\"v\\\\o\\$net\" -automation\n");

  Sandbox sandbox;
  const fs::path file = ActivationFilePath(sandbox.DataHome().c_str(), nullptr);
  std::string error;
  ASSERT_TRUE(WriteActivationFile(file, "/k", error) && WriteActivationFile(file, "/bin/k", error));
  EXPECT_EQ(kavonet::testing::ReadFile(file),
            "[D-BUS Service]\nName=Kavonet.SMS\nExec=/bin/k -automation\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(file.parent_path()), {}), 1) << "no temporary file";
  EXPECT_TRUE(RemoveActivationFile(file, error) && RemoveActivationFile(file, error)) << "gone: fine";
  std::ofstream(sandbox.Root() / "file") << "x";  // a file where a directory should be
  EXPECT_FALSE(WriteActivationFile(sandbox.Root() / "file" / "x.service", "/k", error));

  // Runtime directories: created private (parents too), else refused with the reason.
  const fs::path created = sandbox.Root() / "cache" / "gw";
  ASSERT_TRUE(PrepareRuntimeDirectory(created, error) && PrepareRuntimeDirectory(created, error));
  EXPECT_EQ(fs::status(created).permissions(), fs::perms::owner_all);
  fs::create_directory_symlink(created, sandbox.Root() / "link");
  std::vector<std::pair<std::string, std::string>> refused = {
      {"link", "is not a directory"}, {"file", "is not a directory"}, {"missing", "No such file"},
      {"0750", "open to other users"}, {"0705", "open to other users"}};
  for (const char* mode : {"0750", "0705"}) {
    const std::string dir = sandbox.Root() / mode;
    mkdir(dir.c_str(), 0700), chmod(dir.c_str(), std::stoi(mode, nullptr, 8));
  }
  if (geteuid() == 0) {  // only root can give a directory away
    refused.emplace_back("theirs", "belongs to another user");
    const std::string dir = sandbox.Root() / "theirs";
    mkdir(dir.c_str(), 0700), chown(dir.c_str(), 65534, 65534);
  }
  for (const auto& [name, reason] : refused) {
    EXPECT_FALSE(CheckRuntimeDirectory(sandbox.Root() / name, error)) << name;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

// A client on its own thread while the test's thread runs the Qt loop.
std::string Exchange(const fs::path& socket, const std::string& command) {
  std::atomic<bool> done = false;
  std::string answer, error;
  std::thread client([&] {
    if (!SendChannelCommand(socket, command, 5s, answer, error)) answer = "failed: " + error;
    done = true;
  });
  SpinUntil([&] { return done.load(); }, 10s);
  client.join();
  return answer;
}

int ConnectTo(const fs::path& socket, bool bindInstead = false) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  const auto* raw = reinterpret_cast<const sockaddr*>(&address);
  EXPECT_EQ(bindInstead ? bind(fd, raw, sizeof address) : connect(fd, raw, sizeof address), 0);
  return fd;
}

struct Channel : ::testing::Test {
  Channel() { kavonet::testing::EnsureQtApplication(); }
  void Listen(CommandChannel::Limits limits = {}) {
    channel = std::make_unique<CommandChannel>([this](const std::string& c) {
      if (c == "throw") throw std::runtime_error("no\r\nway");
      return commands.push_back(c), c.empty() ? 0 : 1;
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
      {"0123, +44 789 ;Meeting at 10", "OK 1", {"0123, +44 789 ;Meeting at 10"}},
      {"555;a;b\r\n666;c", "OK 1", {"555;a;b"}},
      {"123;\xc2\xa3!\xff", "OK 1", {"123;\xc2\xa3!\xef\xbf\xbd"}},  // malformed UTF-8 replaced
      {"", "ERROR no destination", {""}},
      {"throw", "ERROR no  way", {}},  // and the channel carries on
      {"1;" + std::string(200000, 'x'), "ERROR request too long", {}}};  // refused unrun
  for (const auto& [sent, answer, handled] : cases) {
    commands.clear();
    EXPECT_EQ(Exchange(sandbox.CommandSocket(), sent), answer) << sent.substr(0, 40);
    EXPECT_EQ(commands, handled) << sent.substr(0, 40);
  }
  EXPECT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 0; }, 5s));
}

TEST_F(Channel, TurnsAwayConnectionsBeyondTheLimitAndReplacesOnlyADeadGatewaysSocket) {
  Listen({.readTimeout = 5s, .maxConnections = 2});
  int wakeUps = 0;  // of the listening socket, the only notifier before any connection
  QObject::connect(channel->findChild<QSocketNotifier*>(), &QSocketNotifier::activated,
                   [&] { ++wakeUps; });
  const int first = ConnectTo(sandbox.CommandSocket()), second = ConnectTo(sandbox.CommandSocket());
  ASSERT_TRUE(SpinUntil([&] { return channel->OpenConnections() == 2; }, 5s));
  EXPECT_EQ(Exchange(sandbox.CommandSocket(), "1;x"), "ERROR busy");
  const int busy = wakeUps;
  kavonet::testing::ChildProcess ctl({kavonet::testing::CtlProgram(), "--socket", "send", "12", "x"},
                                     sandbox.Environment(), sandbox.Root());
  ASSERT_TRUE(SpinUntil([&] { return wakeUps > busy; }, 10s));  // its first try is turned away
  close(first), close(second);  // and it tries again
  ASSERT_TRUE(SpinUntil([&] { return !ctl.Running(); }, 10s));
  EXPECT_EQ(ctl.Wait(), 0) << ctl.Output();
  EXPECT_EQ(commands.empty() ? "" : commands.back(), "12;x");

  CommandChannel other([](const std::string&) { return 0; });
  std::string error;
  EXPECT_FALSE(other.Listen(sandbox.GatewayRuntime(), error)) << "the gateway is alive";
  EXPECT_NE(error.find("another gateway"), std::string::npos) << error;
  channel.reset();
  close(ConnectTo(sandbox.CommandSocket(), true));  // gone without removing its socket file
  Listen();
  EXPECT_EQ(Exchange(sandbox.CommandSocket(), "1;x"), "OK 1");
  EXPECT_NE(Exchange(sandbox.Root() / "none", "1;x").find("cannot connect"), std::string::npos);
}

}  // namespace
}  // namespace kavonet::clients
