// Whether the window keeps up: N messages submitted at once and sent through the
// controller to the simulated terminal (in process, on a virtual clock), once with no
// window and once with the main window shown on Qt's offscreen platform, one event-loop
// turn after every step of the clock. The difference is what drawing the send queue costs.
//
//   kavonet-window-bench [N = 10000] [pdu|block] [extra orvsms.ini lines, e.g. "Fast Dispatch=1"]

#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "core/TSMS_Main.h"
#include "loop/VirtualEventLoop.h"
#include "serial/FakeCommPort.h"
#include "sim/Terminal.h"
#include "ui/widgets/GuiFront.h"
#include "ui/widgets/SMS_Main.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The fake port wired to the simulated terminal. What the terminal answers reaches the
// gateway on the next step, not inside the gateway's own write.
class SimulatedPort : public kavonet::FakeCommPort {
 public:
  SimulatedPort()
      : terminal_(
            kavonet::sim::TerminalOptions{}, [this](std::string_view bytes) { pending_ += bytes; },
            [this](const kavonet::sim::SentMessage&) { ++sent_; },
            [] { return kavonet::sim::SmsTimestamp{25, 1, 12, 12, 45, 8}; }) {}

  bool Write(const std::uint8_t* bytes, int count) override {
    if (!FakeCommPort::Write(bytes, count)) return false;
    terminal_.Receive(std::string_view(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count)));
    ClearLog();  // the log would grow with every message
    return true;
  }
  void Deliver() {
    if (pending_.empty()) return;
    const std::string bytes = std::move(pending_);
    pending_.clear();
    Receive(bytes);
  }
  long Sent() const { return sent_; }

 private:
  kavonet::sim::Terminal terminal_;
  std::string pending_;
  long sent_ = 0;
};

// This process's user and system time so far, in seconds: on a shared machine the wall
// clock also counts other people's work.
double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

struct Result {
  double seconds = 0;
  double cpu = 0;
  long sent = 0;
  double virtualSeconds = 0;
};

Result RunOnce(int n, bool block, const std::string& extra, bool window) {
  std::string pattern = (std::filesystem::temp_directory_path() / "kavonet-window-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) return {};
  const std::filesystem::path dir = pattern;
  std::ofstream(dir / "orvsms.ini") << "[Configuration]\nPort=2\nInterface=" << (block ? "Block Mode" : "PDU Mode")
                                    << "\n" << extra << "\n";
  Result result;
  {
    kavonet::VirtualEventLoop loop;
    SimulatedPort port;
    kavonet::ui::GuiFront front;
    kavonet::TSMS_Main controller(loop, port, front, front, dir);
    std::unique_ptr<kavonet::ui::SMS_Main> main;
    if (window) {
      main = std::make_unique<kavonet::ui::SMS_Main>(controller, front);
      main->show();
    }
    const auto step = [&] {
      port.Deliver();
      loop.Advance(10ms);
      QCoreApplication::processEvents();
    };
    controller.ConnectTerminal();
    for (int i = 0; i < 10000 && !controller.Connected(); ++i) step();
    const auto start = Clock::now();
    const double cpuStart = CpuSeconds();
    const auto virtualStart = loop.Now();
    for (int i = 1; i <= n; ++i) {
      controller.DDE_SendExecuteMacro("+4479" + std::to_string(i) + ";message " + std::to_string(i));
    }
    QCoreApplication::processEvents();
    while (port.Sent() < n && (loop.Now() - virtualStart) < std::chrono::hours(24 * 7)) step();
    result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    result.cpu = CpuSeconds() - cpuStart;
    result.virtualSeconds = std::chrono::duration<double>(loop.Now() - virtualStart).count();
    result.sent = port.Sent();
    main.reset();
  }
  std::filesystem::remove_all(dir);
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  const int n = argc > 1 ? std::atoi(argv[1]) : 10000;
  const bool block = argc > 2 && std::string(argv[2]) == "block";
  const std::string extra = argc > 3 ? argv[3] : "";
  std::printf("%d messages, %s%s%s\n%-10s %8s %9s %10s %12s %10s\n", n, block ? "Block Mode" : "PDU Mode",
              extra.empty() ? "" : ", ", extra.c_str(), "window", "sent", "wall s", "CPU s", "CPU ms/msg", "virtual s");
  for (const bool window : {false, true}) {
    const Result r = RunOnce(n, block, extra, window);
    std::printf("%-10s %8ld %9.2f %10.2f %12.4f %10.0f\n", window ? "shown" : "none", r.sent, r.seconds, r.cpu,
                r.sent > 0 ? 1000 * r.cpu / static_cast<double>(r.sent) : 0.0, r.virtualSeconds);
  }
  return 0;
}
