// End-to-end throughput of the real headless gateway against kavonet-sim with no latency:
// messages sent (submitted over the command channel, counted in transmit.txt), received
// with one Copy All listing, and received as they arrive (+CMTI in PDU Mode, Incoming
// Message in Block Mode), counted in receive.txt. Each interface type and dispatch gets a
// fresh working directory, private bus, simulator and gateway. Prints a table.
//
//   kavonet-throughput [--modes pdu,block] [--dispatch default,fast] [--n-fast N]
//                      [--n-default N] [--phases send,copyall,arrive] [--dir DIR] [--keep] [--window]
//                      [--batch K (destinations per submission, 1 to 50)]
//
// The terminal holds 255 messages, so the receiving phases go in rounds of at most 250;
// between rounds the bench retrieves what arrived so the gateway deletes it from the
// terminal, and that drain is not timed.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kRound = 250;  // under the terminal's 255 places
constexpr auto kPoll = 2ms;

struct Options {
  std::vector<std::string> modes{"pdu", "block"};
  std::vector<std::string> dispatch{"default", "fast"};
  std::vector<std::string> phases{"send", "copyall", "arrive"};
  int nFast = 1000;
  int nDefault = 30;
  std::string dir;
  bool keep = false;
  bool window = false;  // the gateway with its window on Qt's offscreen platform
  int batch = 1;        // destinations per command channel request: one commit each
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  std::stringstream in(text);
  for (std::string item; std::getline(in, item, ',');) {
    if (!item.empty()) items.push_back(item);
  }
  return items;
}

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--modes") options.modes = SplitList(value());
    else if (arg == "--dispatch") options.dispatch = SplitList(value());
    else if (arg == "--phases") options.phases = SplitList(value());
    else if (arg == "--n-fast") options.nFast = std::atoi(value().c_str());
    else if (arg == "--n-default") options.nDefault = std::atoi(value().c_str());
    else if (arg == "--dir") options.dir = value();
    else if (arg == "--keep") options.keep = true;
    else if (arg == "--window") options.window = true;
    else if (arg == "--batch") options.batch = std::atoi(value().c_str());
    else return std::nullopt;
  }
  // A request is taken up to 1000 characters: 50 destinations fit.
  if (options.nFast < 1 || options.nDefault < 1 || options.batch < 1 || options.batch > 50) return std::nullopt;
  return options;
}

// A child with stdin from /dev/null and stdout/stderr to `output`; it dies with the bench.
class Child {
 public:
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
        const fs::path& directory, const fs::path& output) {
    std::vector<char*> args, env;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
    args.push_back(nullptr);
    env.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(out, STDERR_FILENO);
      if (chdir(directory.c_str()) != 0) _exit(126);
      execve(args[0], args.data(), env.data());
      _exit(127);
    }
  }
  ~Child() { Stop(SIGKILL); }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t Pid() const { return pid_; }
  // Sends `signal` and waits up to 5 s before killing it.
  void Stop(int signal) {
    if (pid_ <= 0) return;
    kill(pid_, signal);
    for (auto until = Clock::now() + 5s; Clock::now() < until; std::this_thread::sleep_for(10ms)) {
      if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
        pid_ = -1;
        return;
      }
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  for (const auto until = Clock::now() + timeout; Clock::now() < until; std::this_thread::sleep_for(kPoll)) {
    if (done()) return true;
  }
  return done();
}

// Counts the lines of a file that only grows, reading only what is new.
class LineCounter {
 public:
  explicit LineCounter(fs::path path) : path_(std::move(path)) {}
  long Count() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return lines_;
    in.seekg(offset_);
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
      const auto got = in.gcount();
      lines_ += std::count(buffer, buffer + got, '\n');
      offset_ += got;
    }
    return lines_;
  }

 private:
  fs::path path_;
  std::streamoff offset_ = 0;
  long lines_ = 0;
};

// utime + stime of a process, in seconds.
double CpuSeconds(pid_t pid) {
  const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return 0;
  std::istringstream fields(stat.substr(close + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int index = 3; fields >> field; ++index) {  // field 3 is the state
    if (index == 14) utime = std::stoull(field);
    if (index == 15) {
      stime = std::stoull(field);
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A /proc/PID/status figure in kB ("VmRSS", "VmHWM").
long StatusKb(pid_t pid, const std::string& name) {
  std::istringstream status(ReadFile("/proc/" + std::to_string(pid) + "/status"));
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(name + ":", 0) == 0) return std::atol(line.c_str() + name.size() + 1);
  }
  return 0;
}

int ConnectUnix(const fs::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) close(fd);
  return -1;
}

bool WriteAll(int fd, const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

std::string ReadLine(int fd) {
  std::string line;
  char c;
  while (read(fd, &c, 1) == 1 && c != '\n') line.push_back(c);
  return line;
}

// The simulator's control socket, one connection kept open.
class SimControl {
 public:
  explicit SimControl(const fs::path& path) : fd_(ConnectUnix(path)) {}
  ~SimControl() {
    if (fd_ >= 0) close(fd_);
  }
  SimControl(const SimControl&) = delete;
  SimControl& operator=(const SimControl&) = delete;
  bool Good() const { return fd_ >= 0; }
  std::string Ask(const std::string& command) {
    if (!WriteAll(fd_, command + "\n")) return "ERROR write";
    return ReadLine(fd_);
  }

 private:
  int fd_;
};

struct Row {
  std::string mode, dispatch, phase;
  int n = 0;
  double seconds = 0, gatewayCpu = 0, simCpu = 0;
  double clientSeconds = 0;  // sending: waiting for the command channel's answers
  bool complete = true;
};

struct Memory {
  std::string mode, dispatch;
  long rssKb = 0, hwmKb = 0;
};

class Run {
 public:
  Run(const Options& options, std::string mode, std::string dispatch)
      : options_(options), mode_(std::move(mode)), dispatch_(std::move(dispatch)) {}

  bool Start(std::string& error);
  void Stop();
  Row Send(int n);
  Row CopyAll(int n);
  Row Arrive(int n);
  Memory Memories() const;
  const fs::path& Root() const { return root_; }
  pid_t GatewayPid() const { return gateway_->Pid(); }
  pid_t SimulatorPid() const { return sim_->Pid(); }

 private:
  bool Block() const { return mode_ == "block"; }
  std::vector<std::string> Environment() const;
  Row Timed(const std::string& phase, int n, const std::function<bool()>& body);
  // Receiving goes in rounds the simulator's store can hold; only each round's `deliver`
  // and the wait for its messages are timed, not `stage`.
  Row InRounds(Row total, const std::function<bool(int)>& stage, const std::function<bool(int)>& deliver);
  // Asks the simulator `command` (store or deliver) for `round` messages with unique texts.
  bool AskForEach(int round, const std::string& command, const std::string& textPrefix);
  bool Drain(long expectedReceived);
  QDBusInterface& Bus() { return *bus_; }

  const Options& options_;
  std::string mode_, dispatch_;
  fs::path root_;
  std::unique_ptr<Child> dbus_, sim_, gateway_;
  std::unique_ptr<SimControl> control_;
  std::unique_ptr<QDBusInterface> bus_;
  std::unique_ptr<LineCounter> transmitted_, received_;
  std::string busAddress_;
  int serial_ = 0;  // makes every message's text unique across phases
};

std::vector<std::string> Run::Environment() const {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string variable = *entry;
    if (variable.rfind("XDG_", 0) == 0 || variable.rfind("QT_QPA_PLATFORM=", 0) == 0 || variable.rfind("DBUS_", 0) == 0 || variable.rfind("DISPLAY=", 0) == 0 ||
        variable.rfind("WAYLAND_DISPLAY=", 0) == 0 || variable.rfind("HOME=", 0) == 0) {
      continue;
    }
    environment.push_back(variable);
  }
  environment.push_back("HOME=" + (root_ / "home").string());
  environment.push_back("XDG_RUNTIME_DIR=" + (root_ / "runtime").string());
  environment.push_back("XDG_DATA_HOME=" + (root_ / "data").string());
  environment.push_back("XDG_STATE_HOME=" + (root_ / "state").string());
  environment.push_back("XDG_CACHE_HOME=" + (root_ / "cache").string());
  if (!busAddress_.empty()) environment.push_back("DBUS_SESSION_BUS_ADDRESS=" + busAddress_);
  if (options_.window) environment.push_back("QT_QPA_PLATFORM=offscreen");
  return environment;
}

bool Run::Start(std::string& error) {
  const fs::path base = options_.dir.empty() ? fs::temp_directory_path() : fs::path(options_.dir);
  std::string pattern = (base / "kavonet-throughput-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    error = "cannot create a directory under " + base.string();
    return false;
  }
  root_ = pattern;
  for (const char* sub : {"home", "runtime", "data", "state", "cache", "work"}) fs::create_directories(root_ / sub);
  fs::permissions(root_ / "runtime", fs::perms::owner_all);
  const fs::path work = root_ / "work";

  const fs::path busSocket = root_ / "bus";
  dbus_ = std::make_unique<Child>(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--nosyslog",
                                                           "--address=unix:path=" + busSocket.string()},
                                  Environment(), work, root_ / "dbus.log");
  if (!WaitFor([&] { return fs::exists(busSocket); }, 10s)) {
    error = "dbus-daemon did not start";
    return false;
  }
  busAddress_ = "unix:path=" + busSocket.string();

  const fs::path modem = work / "modem", simSocket = work / "sim.sock";
  sim_ = std::make_unique<Child>(std::vector<std::string>{KAVONET_SIM_PROGRAM, "--link", modem.string(), "--journal",
                                                          (work / "journal").string(), "--control", simSocket.string()},
                                 Environment(), work, root_ / "sim.log");
  if (!WaitFor([&] { return fs::exists(modem) && fs::exists(simSocket); }, 10s)) {
    error = "kavonet-sim did not start";
    return false;
  }
  control_ = std::make_unique<SimControl>(simSocket);
  // Transfer mode T.E. (+CMTI) in PDU Mode, All (Incoming Message) in Block Mode.
  std::ofstream(work / "orvsms.ini") << "[Configuration]\nPort=2\nInterface=" << (Block() ? "Block Mode" : "PDU Mode")
                                     << "\nFast Dispatch=" << (dispatch_ == "fast" ? 1 : 0)
                                     << "\n[Startup]\nAuto Connect=1\n[Receive Message]\nStartup Transfer="
                                     << (Block() ? 2 : 1) << "\nLog Transmit=1\nLog Receive=1\n[Ports]\nCOM2="
                                     << modem.string() << "\n";
  const fs::path log = root_ / "gateway.log";
  std::vector<std::string> gatewayArgv{KAVONET_PROGRAM};
  if (!options_.window) gatewayArgv.push_back("--headless");
  gateway_ = std::make_unique<Child>(gatewayArgv, Environment(), work, log);
  QDBusConnection connection =
      QDBusConnection::connectToBus(QString::fromStdString(busAddress_), QString::fromStdString(root_.string()));
  bus_ = std::make_unique<QDBusInterface>(QStringLiteral("Kavonet.SMS"), QStringLiteral("/Kavonet/SMS"),
                                          QStringLiteral("Kavonet.SMS"), connection);
  bus_->setTimeout(60000);
  // The window shows status texts instead of writing them: ask whether the session is entered.
  if (!WaitFor([&] { return QDBusReply<bool>(Bus().call(QStringLiteral("Is_Connected"), QString())).value(); }, 30s)) {
    error = "the gateway did not enter the session; see " + log.string();
    return false;
  }
  if (!QDBusReply<bool>(Bus().call(QStringLiteral("Register_Retrieve"), QStringLiteral("bench"))).value()) {
    error = "Register_Retrieve failed: " + bus_->lastError().message().toStdString();
    return false;
  }
  transmitted_ = std::make_unique<LineCounter>(work / "transmit.txt");
  received_ = std::make_unique<LineCounter>(work / "receive.txt");
  return control_->Good();
}

Memory Run::Memories() const {
  return {mode_, dispatch_, StatusKb(gateway_->Pid(), "VmRSS"), StatusKb(gateway_->Pid(), "VmHWM")};
}

void Run::Stop() {
  bus_.reset();
  if (gateway_) gateway_->Stop(SIGTERM);
  control_.reset();
  if (sim_) sim_->Stop(SIGTERM);
  if (dbus_) dbus_->Stop(SIGTERM);
  if (!options_.keep && !root_.empty()) fs::remove_all(root_);
}

Row Run::Timed(const std::string& phase, int n, const std::function<bool()>& body) {
  Row row{mode_, dispatch_, phase, n};
  const double gatewayCpu = CpuSeconds(gateway_->Pid()), simCpu = CpuSeconds(sim_->Pid());
  const auto start = Clock::now();
  row.complete = body();
  row.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  row.gatewayCpu = CpuSeconds(gateway_->Pid()) - gatewayCpu;
  row.simCpu = CpuSeconds(sim_->Pid()) - simCpu;
  return row;
}

// A generous bound: the default timing takes about two seconds a message.
std::chrono::milliseconds Allowance(int n) { return std::chrono::milliseconds(30000 + 3000L * n); }

Row Run::Send(int n) {
  const long before = transmitted_->Count();
  const fs::path channel = root_ / "runtime" / "kavonet" / "DDE_Send";
  double clientSeconds = 0;
  Row row = Timed("send", n, [&] {
    for (int i = 0; i < n; i += options_.batch) {
      const int count = std::min(options_.batch, n - i);
      std::string destinations;
      for (int d = 0; d < count; ++d) destinations += (d ? ",+4479" : "+4479") + std::to_string(++serial_);
      const auto asked = Clock::now();
      const int fd = ConnectUnix(channel);
      const bool ok = fd >= 0 && WriteAll(fd, destinations + ";m" + std::to_string(serial_) + "\n") &&
                      ReadLine(fd) == "OK " + std::to_string(count);
      if (fd >= 0) close(fd);
      clientSeconds += std::chrono::duration<double>(Clock::now() - asked).count();
      if (!ok) return false;
    }
    return WaitFor([&] { return transmitted_->Count() >= before + n; }, Allowance(n));
  });
  row.clientSeconds = clientSeconds;
  return row;
}

// Hands every received message to the bench, so the gateway deletes them from the
// terminal, and waits until the terminal is empty.
bool Run::Drain(long expectedReceived) {
  long taken = 0;
  const bool retrieved = WaitFor([&] {
    while (!QDBusReply<QString>(Bus().call(QStringLiteral("Retrieve_Message"), QStringLiteral("bench"))).value().isEmpty())
      ++taken;
    return taken >= expectedReceived;
  }, Allowance(static_cast<int>(expectedReceived)));
  return retrieved && WaitFor([&] { return control_->Ask("count") == "OK 0"; }, Allowance(static_cast<int>(expectedReceived)));
}

Row Run::InRounds(Row total, const std::function<bool(int)>& stage,
                  const std::function<bool(int)>& deliver) {
  for (int done = 0; done < total.n;) {
    const int round = std::min(kRound, total.n - done);
    if (!stage(round)) total.complete = false;
    const long before = received_->Count();
    const Row timed = Timed(total.phase, round, [&] {
      return deliver(round) &&
             WaitFor([&] { return received_->Count() >= before + round; }, Allowance(round));
    });
    total.seconds += timed.seconds;
    total.gatewayCpu += timed.gatewayCpu;
    total.simCpu += timed.simCpu;
    total.complete = total.complete && timed.complete && Drain(round);
    if (!total.complete) break;
    done += round;
  }
  return total;
}

bool Run::AskForEach(int round, const std::string& command, const std::string& textPrefix) {
  bool ok = true;
  for (int i = 0; i < round; ++i) {
    const std::string number = std::to_string(++serial_);
    ok = control_->Ask(command + " +4479" + number + " " + textPrefix + number).rfind("OK", 0) == 0 && ok;
  }
  return ok;
}

Row Run::CopyAll(int n) {
  return InRounds(
      {mode_, dispatch_, "copy all", n}, [&](int round) { return AskForEach(round, "store", "c"); },
      [&](int) {
        Bus().call(QStringLiteral("Get_All"), QString());
        return true;
      });
}

Row Run::Arrive(int n) {
  return InRounds(
      {mode_, dispatch_, Block() ? "incoming" : "+CMTI", n}, [](int) { return true; },
      [&](int round) { return AskForEach(round, "deliver", "r"); });
}

void PrintTable(const std::vector<Row>& rows, const std::vector<Memory>& memories) {
  std::printf("\n%-6s %-8s %-9s %6s %9s %10s %9s %12s %12s\n", "mode", "dispatch", "phase", "N", "seconds",
              "msgs/min", "s/msg", "gw CPU ms/m", "sim CPU ms/m");
  for (const Row& row : rows) {
    const double perMessage = row.seconds / row.n;
    std::printf("%-6s %-8s %-9s %6d %9.2f %10.0f %9.4f %12.3f %12.3f%s\n", row.mode.c_str(), row.dispatch.c_str(),
                row.phase.c_str(), row.n, row.seconds, 60.0 / perMessage, perMessage, 1000 * row.gatewayCpu / row.n,
                1000 * row.simCpu / row.n, row.complete ? "" : "  INCOMPLETE");
  }
  std::printf("\n%-6s %-8s %14s %14s\n", "mode", "dispatch", "gw VmRSS MiB", "gw VmHWM MiB");
  for (const Memory& memory : memories) {
    std::printf("%-6s %-8s %14.1f %14.1f\n", memory.mode.c_str(), memory.dispatch.c_str(), memory.rssKb / 1024.0,
                memory.hwmKb / 1024.0);
  }
}

bool Has(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = ParseOptions(argc, argv);
  if (!options) {
    std::cerr << "usage: kavonet-throughput [--modes pdu,block] [--dispatch default,fast] [--n-fast N]\n"
                 "                          [--n-default N] [--phases send,copyall,arrive] [--dir DIR] [--keep]\n"
                 "                          [--window] [--batch K]\n";
    return 2;
  }
  QCoreApplication application(argc, argv);
  std::vector<Row> rows;
  std::vector<Memory> memories;
  int failures = 0;
  for (const std::string& dispatch : options->dispatch) {
    for (const std::string& mode : options->modes) {
      const int n = dispatch == "fast" ? options->nFast : options->nDefault;
      Run run(*options, mode, dispatch);
      std::string error;
      if (!run.Start(error)) {
        std::cerr << mode << "/" << dispatch << ": " << error << "\n";
        run.Stop();
        ++failures;
        continue;
      }
      std::cerr << mode << "/" << dispatch << ": gateway pid " << run.GatewayPid() << ", simulator pid "
                << run.SimulatorPid() << std::endl;  // for perf record -p while it runs
      const auto report = [&](const Row& row) {
        std::cerr << row.mode << "/" << row.dispatch << " " << row.phase << ": " << row.n << " in " << row.seconds
                  << " s" << (row.complete ? "" : " (incomplete)");
        if (row.clientSeconds > 0) std::cerr << ", " << row.clientSeconds << " s of it waiting for submissions' answers";
        std::cerr << "\n";
        rows.push_back(row);
        if (!row.complete) ++failures;
      };
      if (Has(options->phases, "send")) report(run.Send(n));
      if (Has(options->phases, "copyall")) report(run.CopyAll(n));
      if (Has(options->phases, "arrive")) report(run.Arrive(n));
      memories.push_back(run.Memories());
      if (options->keep) std::cerr << "kept " << run.Root() << "\n";
      run.Stop();
    }
  }
  PrintTable(rows, memories);
  return failures == 0 ? 0 : 1;
}
