// Measures the CPU time a process spends holding an open, idle port on a pseudo-terminal:
// the reader thread should sleep in poll() until something arrives.
//   serial_idle_port_cpu [seconds]

#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "loop/PollEventLoop.h"
#include "serial/PosixCommPort.h"
#include "serial/SMSDRV.h"

namespace {

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  int master = -1;
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
    std::perror("openpty");
    return 1;
  }
  const std::string path = ttyname(slave);

  kavonet::PollEventLoop loop;
  kavonet::PosixCommPort port(loop, [&](const std::string&) { return path; });
  kavonet::SMSDRV32 driver(port);
  driver.MonitorEvents = {kavonet::evDSR, kavonet::evRxFlag};
  driver.Open();
  if (!driver.Connected()) {
    std::fprintf(stderr, "open failed: errno %d\n", port.LastError());
    return 1;
  }
  driver.SetPDUMode();

  const double before = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  loop.Run(start + std::chrono::seconds(seconds));
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - before;
  std::printf("idle open pty port: %.3f s wall, %.6f s CPU (%.4f%%)\n", wall, cpu,
              100.0 * cpu / wall);
  driver.Close();
  close(master);
  close(slave);
  return 0;
}
