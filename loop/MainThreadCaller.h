#pragma once
// Synchronous hand-off from a worker thread to the loop thread: the worker blocks until
// its call has run. The loop thread may abandon the caller (when closing a port), which
// releases a waiting worker at once without running its call, so closing never deadlocks
// on a hand-off that the busy loop thread would otherwise have to service.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "loop/EventLoop.h"

namespace kavonet {

class MainThreadCaller {
 public:
  explicit MainThreadCaller(EventLoop& loop);
  ~MainThreadCaller();
  MainThreadCaller(const MainThreadCaller&) = delete;
  MainThreadCaller& operator=(const MainThreadCaller&) = delete;

  // Worker thread: runs `work` on the loop thread and waits for it. Returns whether it
  // ran (or is running); once Abandon() has been called it returns false without running it.
  bool Call(std::function<void()> work);

  // Loop thread: releases any waiting Call and makes every later Call return false.
  void Abandon();

 private:
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    bool abandoned = false;
    unsigned long long posted = 0;
    unsigned long long started = 0;
    unsigned long long finished = 0;
  };
  EventLoop& loop_;
  // Shared with posted closures, which may run after this object is gone.
  std::shared_ptr<Shared> shared_;
};

}  // namespace kavonet
