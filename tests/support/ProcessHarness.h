#pragma once
// Child processes for end-to-end tests, each in a private sandbox so tests run in parallel
// and never touch the user's own: programs with their output captured, kavonet-sim on a
// pseudo-terminal, a private bus. Every wait is on an event with a bounded time-out.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::testing {

using namespace std::chrono_literals;
using Milliseconds = std::chrono::milliseconds;

inline constexpr Milliseconds kWait = 20000ms;

// The programs this build made ($KAVONET_SIM overrides the simulator); the gateway and
// kavonet-ctl exist only in a Qt build.
std::string SimProgram();
std::string KavonetProgram();
std::string CtlProgram();

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::filesystem::path Home() const { return root_ / "home"; }
  std::filesystem::path Runtime() const { return root_ / "runtime"; }
  std::filesystem::path DataHome() const { return root_ / "data"; }
  std::filesystem::path Work() const { return root_ / "work"; }
  // Where the gateway keeps its sockets and guard: Runtime()/kavonet.
  std::filesystem::path GatewayRuntime() const { return Runtime() / "kavonet"; }
  std::filesystem::path ActivationFile() const {
    return DataHome() / "dbus-1" / "services" / "Kavonet.SMS.service";
  }
  std::filesystem::path CommandSocket() const { return GatewayRuntime() / "DDE_Send"; }

  // Variables for children; an empty value removes the variable.
  void Set(const std::string& name, const std::string& value) { overrides_[name] = value; }
  std::vector<std::string> Environment() const;

 private:
  std::filesystem::path root_;
  std::map<std::string, std::string> overrides_;
};

class ChildProcess {
 public:
  // Starts `argv` in `directory` with `environment`; its stdout and stderr are captured
  // together, its stdin is /dev/null. Killed (SIGKILL) when the object goes away still
  // running.
  ChildProcess(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
               const std::filesystem::path& directory);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  bool Running();
  // Reads output until it holds `text` (from `from` on) or the time-out passes.
  bool WaitForOutput(std::string_view text, Milliseconds timeout = kWait, std::size_t from = 0);
  // The output read so far (it reads what is already there first).
  const std::string& Output();
  void Signal(int signal);
  // Exit code, 128 + signal when killed by one, -1 when still running at the time-out
  // (it is then killed).
  int Wait(Milliseconds timeout = kWait);

 private:
  bool ReadAvailable(int timeoutMs);

  pid_t pid_ = -1;
  int pidFd_ = -1, output_ = -1, status_ = -1;
  bool reaped_ = false;
  std::string captured_;
};

struct RunResult {
  int exitCode = -1;
  std::string output;
};

// Runs a program to its end in the sandbox's working directory (killed at the time-out,
// exit code -1).
RunResult RunProgram(const std::vector<std::string>& argv, const Sandbox& sandbox,
                     Milliseconds timeout = kWait);

// kavonet-sim on a pseudo-terminal: the device linked as <dir>/modem, its journal and
// control socket beside it.
class SimTerminal {
 public:
  SimTerminal(const Sandbox& sandbox, const std::filesystem::path& dir,
              const std::vector<std::string>& arguments = {});
  bool Started() const { return !device_.empty(); }
  const std::string& Device() const { return device_; }  // the pseudo-terminal itself
  const std::filesystem::path& Link() const { return link_; }
  const std::filesystem::path& ControlSocket() const { return control_; }
  const std::filesystem::path& JournalFile() const { return journal_; }
  // One control command; its answer line ("OK ..." or "ERROR ..."), empty on time-out.
  std::string Control(std::string_view command) const;
  ChildProcess& Process() { return *process_; }

 private:
  std::filesystem::path link_, journal_, control_;
  std::string device_;
  std::unique_ptr<ChildProcess> process_;
};

// "destination=text" of each message in a simulator's journal, in order.
std::vector<std::string> JournalSent(const std::filesystem::path& journal);

// A private session bus (dbus-daemon) with the sandbox's data directory for activation.
// It sets DBUS_SESSION_BUS_ADDRESS in the sandbox.
class PrivateBus {
 public:
  explicit PrivateBus(Sandbox& sandbox);
  bool Started() const { return !address_.empty(); }
  const std::string& Address() const { return address_; }

 private:
  std::string address_;
  std::unique_ptr<ChildProcess> daemon_;
};

// A private X server (Xvfb) without a window manager; it sets DISPLAY in the sandbox.
struct XServer {
  explicit XServer(Sandbox& sandbox);
  std::string display;
  std::unique_ptr<ChildProcess> server;
};

std::string ReadFile(const std::filesystem::path& path);

// What `fd` gives until it holds `text`, ends or the time-out passes.
std::string ReadUntil(int fd, std::string_view text, Milliseconds timeout = kWait);

// One line to a unix stream socket that answers each line with one; the answer without
// its line end, empty on failure or time-out.
std::string AskSocket(const std::filesystem::path& socket, std::string_view line,
                      Milliseconds timeout = kWait);

// Repeats `attempt` until it returns true or the time-out passes; for states that only
// show through repeated calls (each attempt itself waits on a real exchange).
bool Eventually(const std::function<bool()>& attempt, Milliseconds timeout = kWait);

// Settings for orvsms.ini, written section by section; a later value of a key wins.
struct IniSetting {
  std::string section, key, value;
};
using IniSettings = std::vector<IniSetting>;
std::string IniText(const IniSettings& settings);

}  // namespace kavonet::testing
