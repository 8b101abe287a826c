#pragma once
// A real event loop on poll(2), for the programs and tests that do not link Qt
// (the simulator, end-to-end tests of the POSIX port). Single-threaded apart from
// Post(), which any thread may call.

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <vector>

#include "loop/EventLoop.h"

namespace kavonet {

class PollEventLoop : public EventLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using FdHandler = std::function<void(short revents)>;

  PollEventLoop();
  ~PollEventLoop() override;
  PollEventLoop(const PollEventLoop&) = delete;
  PollEventLoop& operator=(const PollEventLoop&) = delete;

  std::unique_ptr<Timer> CreateTimer(Milliseconds interval,
                                     std::function<void()> onTimer) override;
  void Sleep(Milliseconds duration) override;
  void Post(std::function<void()> work) override;

  // Calls `handler` on the loop thread whenever poll() reports `events` on `fd`.
  void WatchFd(int fd, short events, FdHandler handler);
  void UnwatchFd(int fd);

  // Runs until Quit() or until `deadline` passes; returns false on time-out.
  bool Run(Clock::time_point deadline = Clock::time_point::max());
  // Runs until `done()` is true or `timeout` passes; returns done().
  bool RunUntil(const std::function<bool()>& done, Milliseconds timeout);
  void Quit() { quit_ = true; }

 private:
  class PollTimer;
  friend class PollTimer;
  void RunOnce(Clock::time_point deadline);
  void RunPosted();
  void FireDueTimers();
  Clock::time_point NextTimerDue() const;


  int wakeFd_ = -1;
  bool quit_ = false;
  std::vector<PollTimer*> timers_;
  std::uint64_t nextSequence_ = 0;
  std::map<int, std::pair<short, FdHandler>> watched_;
  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
};

}  // namespace kavonet
