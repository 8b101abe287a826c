#include "serial/TC32Thread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace kavonet {

namespace {
constexpr std::uint32_t kLineEvents = EV_CTS | EV_DSR | EV_RLSD | EV_RING;
}

TC32Thread::TC32Thread(EventLoop& loop, Device& device, std::uint32_t eventMask,
                       CommPort::EventHandler onSignal)
    : device_(device),
      eventMask_(eventMask),
      onSignal_(std::move(onSignal)),
      wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      caller_(loop) {
  if (wakeFd_ < 0) return;
  running_ = true;
  thread_ = std::thread([this] { Execute(); });
}

TC32Thread::~TC32Thread() {
  SignalClose();
  if (thread_.joinable()) thread_.join();
  if (wakeFd_ >= 0) close(wakeFd_);
}

void TC32Thread::SignalClose() {
  terminated_ = true;
  Wake();
  caller_.Abandon();
}

void TC32Thread::Wake() {
  if (wakeFd_ < 0) return;
  const std::uint64_t one = 1;
  // A full counter still leaves the eventfd readable, so a failed write loses no wake-up.
  [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
}

int TC32Thread::WaitTimeoutMs() const {
  return (eventMask_ & kLineEvents) && device_.HasModemLines() ? kLinePollMs : -1;
}

void TC32Thread::Execute() {
  const int timeoutMs = WaitTimeoutMs();
  while (!terminated_) {
    const short wantOut = device_.OutputPending() ? POLLOUT : 0;
    pollfd fds[2] = {{device_.Descriptor(), static_cast<short>(POLLIN | wantOut), 0},
                     {wakeFd_, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (terminated_) break;
    if (fds[1].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    }

    std::uint32_t events = 0;
    bool gone = (fds[0].revents & POLLNVAL) != 0;
    if (!gone && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      const int arrived = device_.TakeInput(events);
      // A hang-up keeps reporting POLLHUP: once nothing more can be read the device is gone.
      gone = arrived < 0 || (arrived == 0 && (fds[0].revents & (POLLHUP | POLLERR)));
    }
    if (!gone && (fds[0].revents & POLLOUT)) device_.FlushOutput();
    device_.SampleLines(events);

    events &= eventMask_;
    // The handler runs on the loop thread while this thread waits: one mask at a time,
    // in arrival order. The handler is copied into the call so that closing the port
    // from inside it cannot destroy the function that is running.
    if (events != 0 && !caller_.Call([handler = onSignal_, events] { handler(events); })) break;
    if (gone) break;
  }
  device_.Stopped();
  running_ = false;
}

}  // namespace kavonet
