#include "loop/VirtualEventLoop.h"

#include <algorithm>
#include <utility>

namespace kavonet {

class VirtualEventLoop::VirtualTimer : public Timer {
 public:
  VirtualTimer(VirtualEventLoop& loop, Milliseconds interval, std::function<void()> onTimer)
      : loop_(&loop), interval_(interval), onTimer_(std::move(onTimer)),
        sequence_(loop.nextSequence_++) {
    loop_->timers_.push_back(this);
  }
  ~VirtualTimer() override {
    if (loop_) std::erase(loop_->timers_, this);
  }

  void SetEnabled(bool enabled) override {
    if (enabled == enabled_) return;  // enabling an enabled timer keeps its phase
    enabled_ = enabled;
    if (enabled_) Rearm();
  }
  bool Enabled() const override { return enabled_; }
  void SetInterval(Milliseconds interval) override {
    interval_ = interval;
    if (enabled_) Rearm();
  }
  Milliseconds Interval() const override { return interval_; }

  void Detach() { loop_ = nullptr; }
  // A zero interval counts as the clock's smallest step: a zero-interval timer that keeps
  // re-enabling itself would otherwise fire for ever without the clock moving.
  void Rearm() { due_ = loop_->now_ + std::max(interval_, Milliseconds{1}); }
  Milliseconds Due() const { return due_; }
  std::uint64_t Sequence() const { return sequence_; }
  void Fire() {
    // Re-arm before the handler runs so that a handler that disables or re-enables
    // its own timer has the last word.
    due_ += std::max(interval_, Milliseconds{1});
    // A timer that fell behind (the loop slept) fires once and resumes from now.
    if (due_ <= loop_->now_) due_ = loop_->now_ + std::max(interval_, Milliseconds{1});
    onTimer_();
  }

 private:
  VirtualEventLoop* loop_;
  Milliseconds interval_;
  std::function<void()> onTimer_;
  std::uint64_t sequence_;
  bool enabled_ = false;
  Milliseconds due_{0};
};

VirtualEventLoop::VirtualEventLoop() = default;

VirtualEventLoop::~VirtualEventLoop() {
  for (VirtualTimer* timer : timers_) timer->Detach();
}

std::unique_ptr<Timer> VirtualEventLoop::CreateTimer(Milliseconds interval,
                                                     std::function<void()> onTimer) {
  return std::make_unique<VirtualTimer>(*this, interval, std::move(onTimer));
}

void VirtualEventLoop::Sleep(Milliseconds duration) {
  now_ += duration;
  slept_ += duration;
}

void VirtualEventLoop::Post(std::function<void()> work) {
  std::lock_guard guard(postedMutex_);
  posted_.push_back(std::move(work));
}

int VirtualEventLoop::RunPosted() {
  int ran = 0;
  for (;;) {
    std::function<void()> work;
    {
      std::lock_guard guard(postedMutex_);
      if (posted_.empty()) return ran;
      work = std::move(posted_.front());
      posted_.pop_front();
    }
    work();
    ++ran;
  }
}

VirtualEventLoop::VirtualTimer* VirtualEventLoop::NextDue(Milliseconds limit) const {
  VirtualTimer* next = nullptr;
  for (VirtualTimer* timer : timers_) {
    if (!timer->Enabled() || timer->Due() > limit) continue;
    if (!next || timer->Due() < next->Due() ||
        (timer->Due() == next->Due() && timer->Sequence() < next->Sequence())) {
      next = timer;
    }
  }
  return next;
}

void VirtualEventLoop::Advance(Milliseconds duration) {
  const Milliseconds target = now_ + duration;
  RunPosted();
  while (VirtualTimer* timer = NextDue(target)) {
    now_ = std::max(now_, timer->Due());
    timer->Fire();
    RunPosted();
  }
  now_ = std::max(now_, target);
}

}  // namespace kavonet
