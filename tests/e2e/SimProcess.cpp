#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kavonet::testing {

namespace {

constexpr int kTimeoutMs = 10000;

// Reads one line from `fd`, waiting at most kTimeoutMs.
std::string ReadLine(int fd) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) {
      throw std::runtime_error("no answer from kavonet-sim");
    }
    char c = 0;
    const ssize_t got = read(fd, &c, 1);
    if (got <= 0) throw std::runtime_error("kavonet-sim closed the line");
    if (c == '\n') return line;
    line.push_back(c);
  }
}

std::string SimProgram() {
  if (const char* path = std::getenv("KAVONET_SIM")) return path;
  return KAVONET_SIM_PATH;
}

}  // namespace

SimProcess::SimProcess(const std::filesystem::path& dir, const std::string& mode,
                       const std::vector<std::string>& extraArguments)
    : link_(dir / "modem"), journal_(dir / "journal.jsonl"), control_(dir / "control") {
  std::vector<std::string> args{SimProgram(), "--mode",    mode,
                                "--link",     link_,       "--journal",
                                journal_,     "--control", control_};
  args.insert(args.end(), extraArguments.begin(), extraArguments.end());
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const int spawned = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  if (spawned != 0) {
    close(out[0]);
    throw std::runtime_error("cannot start " + args[0]);
  }
  // The first line is the device: from then on the link and the socket exist.
  ReadLine(out[0]);
  close(out[0]);
}

SimProcess::~SimProcess() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  int status = 0;
  waitpid(pid_, &status, 0);
}

std::string SimProcess::Control(const std::string& command) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, control_.c_str(), sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    throw std::runtime_error("cannot reach the simulator's control socket");
  }
  const std::string line = command + "\n";
  if (write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size())) {
    close(fd);
    throw std::runtime_error("control command not sent");
  }
  std::string answer = ReadLine(fd);
  close(fd);
  return answer;
}

std::vector<std::string> SimProcess::Journal() const {
  std::vector<std::string> lines;
  std::ifstream in(journal_);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace kavonet::testing
