#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kavonet::sim::testing {
namespace {

using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Reads what is there within the time left; false at end of file or time-out.
bool ReadSome(int fd, std::string& into, Clock::time_point deadline) {
  pollfd entry{fd, POLLIN, 0};
  if (poll(&entry, 1, RemainingMs(deadline)) <= 0) return false;
  std::array<char, 4096> buffer{};
  const ssize_t got = read(fd, buffer.data(), buffer.size());
  if (got <= 0) return false;
  into.append(buffer.data(), static_cast<std::size_t>(got));
  return true;
}

std::string TakeLine(std::string& buffered, int fd, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const std::size_t end = buffered.find('\n');
    if (end != std::string::npos) {
      std::string line = buffered.substr(0, end);
      buffered.erase(0, end + 1);
      return line;
    }
    if (!ReadSome(fd, buffered, deadline)) return {};
  }
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = write(fd, bytes.data(), bytes.size());
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::vector<char*> ArgvOf(std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return argv;
}

// Waits for `pid` to end within the time-out, by waiting for its output to close.
int WaitExit(pid_t pid, int output, Milliseconds timeout, std::string* collected) {
  const auto deadline = Clock::now() + timeout;
  std::string sink;
  while (ReadSome(output, collected ? *collected : sink, deadline)) {
  }
  if (RemainingMs(deadline) == 0) kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return -1;
}

}  // namespace

std::string SimExecutable() {
  if (const char* path = std::getenv("KAVONET_SIM")) return path;
  return KAVONET_SIM_PATH;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base ? base : "/tmp") + "/kavonet-sim-test.XXXXXX";
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
}

SimProcess::SimProcess(const std::vector<std::string>& arguments) {
  int toChild[2];
  int fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return;
  if (pipe2(fromChild, O_CLOEXEC) != 0) return;
  std::vector<std::string> command{SimExecutable()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = ArgvOf(command);
  pid_ = fork();
  if (pid_ == 0) {
    dup2(toChild[0], STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(toChild[0]);
  close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  device_ = ReadLine(kWait);
}

SimProcess::~SimProcess() {
  if (pid_ > 0) Quit();
}

std::string SimProcess::ReadLine(Milliseconds timeout) {
  return TakeLine(buffered_, output_, timeout);
}

std::string SimProcess::Control(std::string_view line) {
  WriteAll(input_, std::string(line) + "\n");
  return ReadLine(kWait);
}

int SimProcess::Quit() {
  if (pid_ <= 0) return -1;
  WriteAll(input_, "quit\n");
  close(input_);
  const int status = WaitExit(pid_, output_, kWait, nullptr);
  close(output_);
  pid_ = -1;
  return status;
}

PtyClient::PtyClient(const std::string& device) {
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd_ < 0) return;
  termios modes{};
  tcgetattr(fd_, &modes);
  cfmakeraw(&modes);
  cfsetspeed(&modes, B115200);
  tcsetattr(fd_, TCSANOW, &modes);
}

PtyClient::~PtyClient() {
  if (fd_ >= 0) close(fd_);
}

void PtyClient::Write(std::string_view bytes) { WriteAll(fd_, bytes); }

std::string PtyClient::ReadUntil(std::string_view expected, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (buffered_.find(expected) == std::string::npos) {
    if (!ReadSome(fd_, buffered_, deadline)) break;
  }
  const std::size_t at = buffered_.find(expected);
  const std::size_t end = at == std::string::npos ? buffered_.size() : at + expected.size();
  std::string taken = buffered_.substr(0, end);
  buffered_.erase(0, end);
  return taken;
}

ControlClient::ControlClient(const std::string& socketPath) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (socketPath.size() >= sizeof address.sun_path) return;
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
  fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

ControlClient::~ControlClient() {
  if (fd_ >= 0) close(fd_);
}

void ControlClient::Send(std::string_view text) { WriteAll(fd_, text); }

std::string ControlClient::ReadLine(Milliseconds timeout) {
  return TakeLine(buffered_, fd_, timeout);
}

CommandResult RunCommand(const std::vector<std::string>& arguments, Milliseconds timeout) {
  CommandResult result;
  int fromChild[2];
  if (pipe2(fromChild, O_CLOEXEC) != 0) return result;
  std::vector<std::string> command = arguments;
  std::vector<char*> argv = ArgvOf(command);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int devNull = open("/dev/null", O_RDONLY);
    dup2(devNull, STDIN_FILENO);
    dup2(fromChild[1], STDOUT_FILENO);
    dup2(fromChild[1], STDERR_FILENO);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fromChild[1]);
  result.exitCode = WaitExit(pid, fromChild[0], timeout, &result.output);
  close(fromChild[0]);
  result.elapsed = std::chrono::duration_cast<Milliseconds>(Clock::now() - start);
  return result;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace kavonet::sim::testing
