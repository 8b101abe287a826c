#include "ProcessHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

extern char** environ;

namespace kavonet::testing {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Appends what `fd` has within the time-out: the count read, 0 at its end, -1 for nothing.
ssize_t ReadSome(int fd, std::string& into, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, timeoutMs) <= 0) return -1;
  std::array<char, 4096> buffer{};
  const ssize_t got = read(fd, buffer.data(), buffer.size());
  if (got > 0) into.append(buffer.data(), static_cast<std::size_t>(got));
  return got < 0 ? -1 : got;
}

// Variables a test must not inherit: they would reach the developer's desktop or bus.
bool Inherited(std::string_view entry) {
  for (std::string_view prefix : {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "DBUS_SESSION_BUS_ADDRESS=",
                                  "HOME=", "XDG_", "TMPDIR="}) {
    if (entry.rfind(prefix, 0) == 0) return false;
  }
  return true;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::string SimProgram() {
  const char* path = std::getenv("KAVONET_SIM");
  return path ? path : KAVONET_SIM_PROGRAM;
}
#ifdef KAVONET_PROGRAM
std::string KavonetProgram() { return KAVONET_PROGRAM; }
std::string CtlProgram() { return KAVONET_CTL_PROGRAM; }
#else
std::string KavonetProgram() { return {}; }
std::string CtlProgram() { return {}; }
#endif

Sandbox::Sandbox() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-test-XXXXXX").string();
  root_ = mkdtemp(pattern.data());
  for (const auto& dir : {Home(), Runtime(), DataHome(), Work(), root_ / "tmp"}) std::filesystem::create_directories(dir);
  chmod(Runtime().c_str(), 0700);
  Set("HOME", Home());
  Set("XDG_RUNTIME_DIR", Runtime());
  Set("XDG_DATA_HOME", DataHome());
  Set("XDG_CONFIG_HOME", root_ / "config");
  Set("XDG_DATA_DIRS", "/usr/share");
  Set("TMPDIR", root_ / "tmp");
  // No bus unless a test starts one: never the developer's.
  Set("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (root_ / "no-bus").string());
}

Sandbox::~Sandbox() {
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<std::string> Sandbox::Environment() const {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (Inherited(*entry)) environment.emplace_back(*entry);
  }
  for (const auto& override : overrides_) {
    const std::string prefix = override.first + "=";
    std::erase_if(environment, [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
    if (!override.second.empty()) environment.push_back(prefix + override.second);
  }
  return environment;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
                           const std::filesystem::path& directory) {
  std::vector<std::string> args = argv, env = environment;
  std::vector<char*> argp = Pointers(args), envp = Pointers(env);
  const std::string cwd = directory.string();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0) return;
  pid_ = fork();
  if (pid_ == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    dup2(pipeFds[1], STDERR_FILENO);
    dup2(open("/dev/null", O_RDONLY), STDIN_FILENO);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    execve(argp[0], argp.data(), envp.data());
    _exit(127);
  }
  close(pipeFds[1]);
  output_ = pipeFds[0];
  if (pid_ > 0) pidFd_ = static_cast<int>(syscall(SYS_pidfd_open, pid_, 0));
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !reaped_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pidFd_ >= 0) close(pidFd_);
  if (output_ >= 0) close(output_);
}

bool ChildProcess::ReadAvailable(int timeoutMs) {
  if (output_ < 0) return false;
  const ssize_t got = ReadSome(output_, captured_, timeoutMs);
  if (got == 0) {
    close(output_);
    output_ = -1;
  }
  return got > 0;
}

bool ChildProcess::WaitForOutput(std::string_view text, Milliseconds timeout, std::size_t from) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (captured_.size() > from && captured_.find(text, from) != std::string::npos) return true;
    if (output_ < 0 || MsLeft(deadline) == 0) return false;
    ReadAvailable(MsLeft(deadline));
  }
}

const std::string& ChildProcess::Output() {
  while (ReadAvailable(0)) {
  }
  return captured_;
}

bool ChildProcess::Running() {
  if (!reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
  return !reaped_;
}

void ChildProcess::Signal(int signal) {
  if (!reaped_) kill(pid_, signal);
}

int ChildProcess::Wait(Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (Running()) {
    if (MsLeft(deadline) == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      reaped_ = true;
      return -1;
    }
    // Output keeps flowing (a full pipe would stall the child); the pidfd wakes on exit.
    std::array<pollfd, 2> entries{pollfd{pidFd_, POLLIN, 0}, pollfd{output_, POLLIN, 0}};
    poll(entries.data(), output_ >= 0 ? 2 : 1, MsLeft(deadline));
    if ((entries[1].revents & (POLLIN | POLLHUP)) != 0) ReadAvailable(0);
  }
  Output();
  if (WIFEXITED(status_)) return WEXITSTATUS(status_);
  return WIFSIGNALED(status_) ? 128 + WTERMSIG(status_) : -1;
}

RunResult RunProgram(const std::vector<std::string>& argv, const Sandbox& sandbox, Milliseconds timeout) {
  ChildProcess child(argv, sandbox.Environment(), sandbox.Work());
  RunResult result;
  result.exitCode = child.Wait(timeout);
  // Output from descendants that outlive it (a daemon) is not waited for.
  result.output = child.Output();
  return result;
}

SimTerminal::SimTerminal(const Sandbox& sandbox, const std::filesystem::path& dir,
                         const std::vector<std::string>& arguments)
    : link_(dir / "modem"), journal_(dir / "journal.jsonl"), control_(dir / "control") {
  std::vector<std::string> argv{SimProgram(), "--link", link_, "--journal", journal_, "--control", control_};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  process_ = std::make_unique<ChildProcess>(argv, sandbox.Environment(), dir);
  // The first line is the device: from then on the link and the socket exist.
  if (!process_->WaitForOutput("\n", 10000ms)) return;
  const std::string& output = process_->Output();
  if (output.rfind("/dev/", 0) == 0) device_ = output.substr(0, output.find('\n'));
}

std::string SimTerminal::Control(std::string_view command) const { return AskSocket(control_, command, 10000ms); }

std::vector<std::string> JournalSent(const std::filesystem::path& journal) {
  const std::string text = ReadFile(journal);
  static const std::regex kEntry(R"re(\{"destination":"([^"]*)","text":"([^"]*)")re");
  std::vector<std::string> sent;
  for (std::sregex_iterator it(text.begin(), text.end(), kEntry), end; it != end; ++it) {
    sent.push_back((*it)[1].str() + "=" + (*it)[2].str());
  }
  return sent;
}

PrivateBus::PrivateBus(Sandbox& sandbox) {
  const std::string socket = "unix:path=" + (sandbox.Root() / "bus").string();
  daemon_ = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork",
                                                                    "--nosyslog", "--address=" + socket, "--print-address=1"},
                                           sandbox.Environment(), sandbox.Work());
  if (!daemon_->WaitForOutput(socket) || !daemon_->WaitForOutput("\n", kWait, daemon_->Output().find(socket))) return;
  const std::string& output = daemon_->Output();
  address_ = output.substr(output.find(socket), output.find('\n', output.find(socket)) - output.find(socket));
  sandbox.Set("DBUS_SESSION_BUS_ADDRESS", address_);
}

XServer::XServer(Sandbox& sandbox) {
  // -displayfd: the server picks a free display and writes its number once it is ready.
  server = std::make_unique<ChildProcess>(std::vector<std::string>{"/usr/bin/Xvfb", "-displayfd", "1", "-nolisten", "tcp"},
                                          sandbox.Environment(), sandbox.Work());
  std::smatch number;
  Eventually([&] { return std::regex_search(server->Output(), number, std::regex(R"((^|\n)(\d+)\n)")); });
  if (!number.empty()) sandbox.Set("DISPLAY", display = ":" + number[2].str());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string ReadUntil(int fd, std::string_view text, Milliseconds timeout) {
  std::string got;
  for (const auto deadline = Clock::now() + timeout; got.find(text) == std::string::npos && MsLeft(deadline) > 0;) {
    if (ReadSome(fd, got, MsLeft(deadline)) == 0) break;
  }
  return got;
}

std::string AskSocket(const std::filesystem::path& socket, std::string_view line, Milliseconds timeout) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
  const std::string request = std::string(line) + "\n";
  std::string answer;
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      send(fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    answer = ReadUntil(fd, "\n", timeout);
  }
  close(fd);
  const std::size_t end = answer.find('\n');
  return end == std::string::npos ? std::string() : answer.substr(0, end);
}

bool Eventually(const std::function<bool()>& attempt, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    if (attempt()) return true;
    if (Clock::now() >= deadline) return false;
    // The attempts are real exchanges; a short pause keeps a busy gateway from being flooded.
    std::this_thread::sleep_for(50ms);
  }
}

std::string IniText(const IniSettings& settings) {
  std::map<std::string, std::map<std::string, std::string>> sections;  // a later value wins
  for (const IniSetting& s : settings) sections[s.section][s.key] = s.value;
  std::string text;
  for (const auto& [name, keys] : sections) {
    text += "[" + name + "]\n";
    for (const auto& [key, value] : keys) text += key + "=" + value + "\n";
  }
  return text;
}

}  // namespace kavonet::testing
