#pragma once
// End-to-end test helpers: the kavonet-sim program as a child process, a client
// end of its pseudo-terminal, its control socket, and running other programs (gammu)
// with a time-out. Every wait is on an event with a bounded time-out.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::sim::testing {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

inline constexpr Milliseconds kWait = 5000ms;

// The kavonet-sim under test: $KAVONET_SIM, else the one this build made.
std::string SimExecutable();

// A private directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

 private:
  std::string path_;
};

class SimProcess {
 public:
  // Starts kavonet-sim with `arguments` and reads the device path it prints first.
  explicit SimProcess(const std::vector<std::string>& arguments);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  bool Started() const { return !device_.empty(); }
  const std::string& Device() const { return device_; }
  // One control command on stdin; its answer line from stdout (empty on time-out).
  std::string Control(std::string_view line);
  // "quit", then the exit status (-1 if it did not end in time and had to be killed).
  int Quit();

 private:
  std::string ReadLine(Milliseconds timeout);
  int Reap(Milliseconds timeout);

  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::string buffered_;
  std::string device_;
};

// The gateway's end of the pseudo-terminal, in raw mode.
class PtyClient {
 public:
  explicit PtyClient(const std::string& device);
  ~PtyClient();
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool Open() const { return fd_ >= 0; }
  void Write(std::string_view bytes);
  // Reads until `expected` has arrived or the time-out passes; gives back all it read.
  std::string ReadUntil(std::string_view expected, Milliseconds timeout = kWait);

 private:
  int fd_ = -1;
  std::string buffered_;
};

// A connection to the control socket.
class ControlClient {
 public:
  explicit ControlClient(const std::string& socketPath);
  ~ControlClient();
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  void Send(std::string_view text);
  std::string ReadLine(Milliseconds timeout = kWait);

 private:
  int fd_ = -1;
  std::string buffered_;
};

struct CommandResult {
  int exitCode = -1;  // -1 when killed at the time-out
  std::string output;  // stdout and stderr together
  Milliseconds elapsed{0};
};

CommandResult RunCommand(const std::vector<std::string>& argv, Milliseconds timeout);

std::string ReadFile(const std::string& path);

}  // namespace kavonet::sim::testing
