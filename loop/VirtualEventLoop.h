#pragma once
// An event loop on a virtual clock, for tests: nothing happens until the test advances
// time, and then due timers fire in time order exactly as a real loop would fire them.

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "loop/EventLoop.h"

namespace kavonet {

class VirtualEventLoop : public EventLoop {
 public:
  VirtualEventLoop();
  ~VirtualEventLoop() override;

  std::unique_ptr<Timer> CreateTimer(Milliseconds interval,
                                     std::function<void()> onTimer) override;
  // Moves the clock on without firing timers: they are late, as after a real blocking sleep.
  void Sleep(Milliseconds duration) override;
  void Post(std::function<void()> work) override;

  // Runs posted work, then fires every timer that falls due within `duration`, in order
  // of due time (ties in order of creation). Handlers may enable and disable timers and
  // post work; posted work runs before the next timer fires.
  void Advance(Milliseconds duration);
  // Runs the work posted so far (and anything it posts); returns how many ran.
  int RunPosted();

  Milliseconds Now() const { return now_; }
  Milliseconds TotalSlept() const { return slept_; }

 private:
  class VirtualTimer;
  friend class VirtualTimer;
  VirtualTimer* NextDue(Milliseconds limit) const;

  Milliseconds now_{0};
  Milliseconds slept_{0};
  std::vector<VirtualTimer*> timers_;
  std::uint64_t nextSequence_ = 0;
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace kavonet
