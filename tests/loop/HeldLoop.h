#pragma once
// A virtual loop whose thread services hand-offs only when the test says so, so that a
// worker thread can be caught waiting for it.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <utility>

#include "loop/VirtualEventLoop.h"

namespace kavonet::testing {

struct HeldLoop : VirtualEventLoop {
  void Post(std::function<void()> work) override {
    VirtualEventLoop::Post(std::move(work));
    std::lock_guard guard(mutex);
    ++posted, changed.notify_all();
  }
  // Bounded: a hand-off that never comes fails the test instead of hanging it.
  bool WaitForPosts(int count) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(5), [&] { return posted >= count; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  int posted = 0;
};

}  // namespace kavonet::testing
