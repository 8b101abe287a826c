#include "sim/PtyChannel.h"

#include <unistd.h>

#include <array>
#include <cerrno>

namespace kavonet::sim {

PtyChannel::PtyChannel(PollEventLoop& loop, int masterFd, InputHandler onInput)
    : loop_(loop),
      fd_(masterFd),
      onInput_(std::move(onInput)),
      timer_(loop.CreateTimer(Milliseconds{1}, [this] { ReleaseDue(); })) {
  Watch();
}

PtyChannel::~PtyChannel() { loop_.UnwatchFd(fd_); }

void PtyChannel::Watch() {
  const short events = ready_.empty() ? POLLIN : POLLIN | POLLOUT;
  if (events == watched_) return;
  watched_ = events;
  loop_.WatchFd(fd_, events, [this](short revents) { OnEvents(revents); });
}

void PtyChannel::OnEvents(short revents) {
  if (revents & POLLOUT) Flush();
  if (revents & POLLIN) ReadInput();
}

void PtyChannel::ReadInput() {
  std::array<char, 4096> buffer{};
  const ssize_t got = read(fd_, buffer.data(), buffer.size());
  if (got > 0) onInput_(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
}

void PtyChannel::Write(std::string_view bytes) {
  if (latency_.count() == 0 && delayed_.empty()) {
    if (ready_.size() + bytes.size() > kMaxBacklog) return;
    ready_.append(bytes);
    Flush();
    return;
  }
  delayed_.emplace_back(Clock::now() + latency_, std::string(bytes));
  if (delayed_.size() == 1) ArmTimer();
}

// The loop's timers repeat; this one is re-armed for the next due chunk each time.
void PtyChannel::ArmTimer() {
  timer_->SetEnabled(false);
  if (delayed_.empty()) return;
  const auto wait = std::chrono::ceil<Milliseconds>(delayed_.front().first - Clock::now());
  timer_->SetInterval(std::max(wait, Milliseconds{0}));
  timer_->SetEnabled(true);
}

void PtyChannel::ReleaseDue() {
  const auto now = Clock::now();
  while (!delayed_.empty() && delayed_.front().first <= now) {
    if (ready_.size() + delayed_.front().second.size() <= kMaxBacklog) {
      ready_ += delayed_.front().second;
    }
    delayed_.pop_front();
  }
  Flush();
  ArmTimer();
}

void PtyChannel::Flush() {
  while (!ready_.empty()) {
    const ssize_t written = write(fd_, ready_.data(), ready_.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;  // the device is full: wait for POLLOUT
    ready_.erase(0, static_cast<std::size_t>(written));
  }
  Watch();
}

}  // namespace kavonet::sim
