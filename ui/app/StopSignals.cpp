#include "ui/app/StopSignals.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace kavonet::app {
namespace {

sigset_t StopSet() {
  sigset_t stopSet;
  sigemptyset(&stopSet);
  sigaddset(&stopSet, SIGINT);
  sigaddset(&stopSet, SIGTERM);
  sigaddset(&stopSet, SIGHUP);
  return stopSet;
}

}  // namespace

void StopSignals::Block() {
  const sigset_t stopSet = StopSet();
  pthread_sigmask(SIG_BLOCK, &stopSet, nullptr);
}

StopSignals::StopSignals(std::function<void(int)> onSignal) : onSignal_(std::move(onSignal)) {
  const sigset_t stopSet = StopSet();
  fd_ = signalfd(-1, &stopSet, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0) return;
  notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
  QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
    signalfd_siginfo info{};
    while (read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      onSignal_(static_cast<int>(info.ssi_signo));
    }
  });
}

StopSignals::~StopSignals() {
  notifier_.reset();
  if (fd_ >= 0) close(fd_);
}

}  // namespace kavonet::app
