#pragma once
// The event loop the gateway logic runs on. Everything in core/, sms/, serial/ and
// config/ sees time only through this interface, so tests can drive a virtual clock.

#include <chrono>
#include <functional>
#include <memory>

namespace kavonet {

using Milliseconds = std::chrono::milliseconds;

// A repeating timer with the semantics the gateway relies on:
// - enabling a timer that is already enabled keeps its phase;
// - disabling and enabling it again restarts its interval;
// - changing the interval of an enabled timer restarts it.
class Timer {
 public:
  virtual ~Timer() = default;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
  virtual void SetInterval(Milliseconds interval) = 0;
  virtual Milliseconds Interval() const = 0;
};

class EventLoop {
 public:
  virtual ~EventLoop() = default;

  // A disabled timer that calls `onTimer` on the loop thread every `interval` while enabled.
  virtual std::unique_ptr<Timer> CreateTimer(Milliseconds interval,
                                             std::function<void()> onTimer) = 0;

  // Blocks the loop thread; nothing else runs meanwhile (used for the line pulse).
  virtual void Sleep(Milliseconds duration) = 0;

  // Thread-safe: runs `work` on the loop thread, soon, in posting order.
  virtual void Post(std::function<void()> work) = 0;
};

}  // namespace kavonet
