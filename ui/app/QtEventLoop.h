#pragma once
// The gateway's EventLoop on Qt's event loop: timers are QTimers with the gateway's
// semantics, posted work arrives as queued calls, and Sleep blocks the thread.

#include <QObject>
#include <memory>

#include "loop/EventLoop.h"

namespace kavonet::app {

class QtEventLoop : public EventLoop {
 public:
  // Runs on the thread that creates it, which must run a Qt event loop.
  QtEventLoop();
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  std::unique_ptr<Timer> CreateTimer(Milliseconds interval, std::function<void()> onTimer) override;
  void Sleep(Milliseconds duration) override;
  // Thread-safe. Work still waiting when the loop object goes away is dropped.
  void Post(std::function<void()> work) override;

 private:
  std::unique_ptr<QObject> context_;
};

}  // namespace kavonet::app
