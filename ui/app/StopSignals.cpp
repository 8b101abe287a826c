#include "ui/app/StopSignals.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace kavonet::app {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Where the handler writes. A signal handler can reach nothing else, so this one value
// is process-wide; it is set while a StopSignals exists.
std::atomic<int> handlerFd{-1};

extern "C" void OnStopSignal(int signal) {
  const int savedErrno = errno;
  const auto number = static_cast<unsigned char>(signal);
  const int fd = handlerFd.load();
  if (fd >= 0) (void)!write(fd, &number, 1);
  errno = savedErrno;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds_) != 0) return;
  handlerFd = fds_[1];
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    unsigned char number = 0;
    while (read(fds_[0], &number, 1) == 1) onSignal_(number);
  });
}

StopSignals::~StopSignals() {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) sigaction(signal, &action, nullptr);
  handlerFd = -1;
  notifier_.reset();
  for (int fd : fds_) {
    if (fd >= 0) close(fd);
  }
}

}  // namespace kavonet::app
