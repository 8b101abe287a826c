#include "loop/PollEventLoop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <thread>
#include <utility>

namespace kavonet {

class PollEventLoop::PollTimer : public Timer {
 public:
  PollTimer(PollEventLoop& loop, Milliseconds interval, std::function<void()> onTimer)
      : loop_(&loop), interval_(interval), onTimer_(std::move(onTimer)),
        sequence_(loop.nextSequence_++) {
    loop_->timers_.push_back(this);
  }
  ~PollTimer() override {
    if (loop_) std::erase(loop_->timers_, this);
  }
  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    if (enabled_) due_ = Clock::now() + Step();
  }
  bool Enabled() const override { return enabled_; }
  void SetInterval(Milliseconds interval) override {
    interval_ = interval;
    if (enabled_) due_ = Clock::now() + Step();
  }
  Milliseconds Interval() const override { return interval_; }

  void Detach() { loop_ = nullptr; }
  Clock::time_point Due() const { return due_; }
  Clock::duration Step() const {
    return std::max<Clock::duration>(interval_, std::chrono::microseconds(100));
  }
  std::uint64_t Sequence() const { return sequence_; }
  void Fire(Clock::time_point now) {
    const auto step = Step();
    due_ += step;
    if (due_ <= now) due_ = now + step;
    onTimer_();
  }

 private:
  PollEventLoop* loop_;
  Milliseconds interval_;
  std::function<void()> onTimer_;
  std::uint64_t sequence_;
  bool enabled_ = false;
  Clock::time_point due_{};
};

PollEventLoop::PollEventLoop() : wakeFd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (wakeFd_ < 0) throw std::runtime_error("eventfd failed");
}

PollEventLoop::~PollEventLoop() {
  for (PollTimer* timer : timers_) timer->Detach();
  close(wakeFd_);
}

std::unique_ptr<Timer> PollEventLoop::CreateTimer(Milliseconds interval,
                                                  std::function<void()> onTimer) {
  return std::make_unique<PollTimer>(*this, interval, std::move(onTimer));
}

void PollEventLoop::Sleep(Milliseconds duration) { std::this_thread::sleep_for(duration); }

void PollEventLoop::Post(std::function<void()> work) {
  {
    std::lock_guard guard(postedMutex_);
    posted_.push_back(std::move(work));
  }
  const std::uint64_t one = 1;
  // A full eventfd counter still wakes the loop, so a failed write loses nothing.
  [[maybe_unused]] ssize_t written = write(wakeFd_, &one, sizeof one);
}

void PollEventLoop::WatchFd(int fd, short events, FdHandler handler) {
  watched_[fd] = {events, std::move(handler)};
}

void PollEventLoop::UnwatchFd(int fd) { watched_.erase(fd); }

void PollEventLoop::RunPosted() {
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard guard(postedMutex_);
      if (posted_.empty()) return;
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    work();
  }
}

PollEventLoop::Clock::time_point PollEventLoop::NextTimerDue() const {
  auto next = Clock::time_point::max();
  for (const PollTimer* timer : timers_) {
    if (timer->Enabled()) next = std::min(next, timer->Due());
  }
  return next;
}

void PollEventLoop::FireDueTimers() {
  const auto now = Clock::now();
  // Collect first: handlers may create, destroy, enable or disable timers.
  std::vector<std::pair<Clock::time_point, std::uint64_t>> due;
  for (const PollTimer* timer : timers_) {
    if (timer->Enabled() && timer->Due() <= now) due.emplace_back(timer->Due(), timer->Sequence());
  }
  std::sort(due.begin(), due.end());
  for (const auto& entry : due) {
    const std::uint64_t sequence = entry.second;
    auto it = std::find_if(timers_.begin(), timers_.end(),
                           [sequence](const PollTimer* t) { return t->Sequence() == sequence; });
    if (it == timers_.end() || !(*it)->Enabled() || (*it)->Due() > now) continue;
    (*it)->Fire(now);
  }
}

void PollEventLoop::RunOnce(Clock::time_point deadline) {
  RunPosted();
  const auto wake = std::min(NextTimerDue(), deadline);
  int timeoutMs = -1;
  if (wake != Clock::time_point::max()) {
    const auto left = std::chrono::ceil<Milliseconds>(wake - Clock::now()).count();
    timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60'000));
  }
  std::vector<pollfd> fds;
  fds.push_back({wakeFd_, POLLIN, 0});
  for (const auto& [fd, entry] : watched_) fds.push_back({fd, entry.first, 0});
  const int ready = poll(fds.data(), fds.size(), timeoutMs);
  if (ready < 0 && errno != EINTR) throw std::runtime_error("poll failed");
  if (ready > 0) {
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] ssize_t got = read(wakeFd_, &count, sizeof count);
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = watched_.find(fds[i].fd);  // an earlier handler may have unwatched it
      if (it == watched_.end()) continue;
      auto handler = it->second.second;  // copy: the handler may unwatch itself
      handler(fds[i].revents);
    }
  }
  RunPosted();
  FireDueTimers();
}

bool PollEventLoop::Run(Clock::time_point deadline) {
  quit_ = false;
  while (!quit_) {
    if (Clock::now() >= deadline) return false;
    RunOnce(deadline);
  }
  return true;
}

bool PollEventLoop::RunUntil(const std::function<bool()>& done, Milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!done()) {
    if (Clock::now() >= deadline) return done();
    RunOnce(deadline);
  }
  return true;
}

}  // namespace kavonet
