// The shared timer rules on the virtual and the poll loop, then what only one loop does:
// the poll loop's descriptors and speed-up, and the hand-off from a worker thread.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "loop/MainThreadCaller.h"
#include "loop/PollEventLoop.h"
#include "loop/VirtualEventLoop.h"
#include "tests/loop/TimerRules.h"

namespace kavonet {
namespace {

using namespace std::chrono_literals;
using Clock = PollEventLoop::Clock;

struct VirtualDriver {
  VirtualEventLoop loop;
  EventLoop& Loop() { return loop; }
  Milliseconds Now() const { return loop.Now(); }
  void RunFor(Milliseconds duration) { loop.Advance(duration); }
  bool RunUntil(const std::function<bool()>& done, Milliseconds timeout) {
    for (Milliseconds waited{0}; !done() && waited < timeout; waited += 1ms) loop.Advance(1ms);
    return done();
  }
};

struct PollDriver {
  PollEventLoop loop;
  Clock::time_point start = Clock::now();
  EventLoop& Loop() { return loop; }
  Milliseconds Now() const { return std::chrono::duration_cast<Milliseconds>(Clock::now() - start); }
  void RunFor(Milliseconds duration) { loop.RunUntil([] { return false; }, duration); }
  bool RunUntil(const std::function<bool()>& done, Milliseconds timeout) {
    return loop.RunUntil(done, timeout);
  }
};

using Loops = ::testing::Types<VirtualDriver, PollDriver>;

}  // namespace
namespace testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Loops, TimerRules, Loops);
}  // namespace testing
namespace {

TEST(PollEventLoop, DescriptorsPostsFromOtherThreadsAndSpeedUp) {
  PollEventLoop loop(100.0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  char got = 0;
  loop.WatchFd(fds[0], POLLIN, [&](short) {
    loop.UnwatchFd(fds[0]);
    if (read(fds[0], &got, 1) != 1) got = '?';
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(loop.RunUntil([&] { return got == 'x'; }, 5s));
  close(fds[0]), close(fds[1]);
  // Nothing else wakes the loop before the time-out: the post must. Then, a hundred times
  // faster, three 1 s intervals and a 1.5 s sleep take about 45 ms.
  const auto start = Clock::now();
  std::atomic<int> fired = 0;
  std::thread other([&] { loop.Post([&] { ++fired; }); });
  EXPECT_TRUE(loop.RunUntil([&] { return fired == 1; }, 5s));
  other.join();
  EXPECT_LT(Clock::now() - start, 2s);
  auto timer = loop.CreateTimer(1000ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const auto timed = Clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return fired == 4; }, 5s));
  loop.Sleep(1500ms);
  EXPECT_GE(Clock::now() - timed, 45ms);
  EXPECT_LT(Clock::now() - timed, 1000ms);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 30ms));
}

// A loop thread that services hand-offs only when the test says so.
struct HeldLoop : VirtualEventLoop {
  void Post(std::function<void()> work) override {
    VirtualEventLoop::Post(std::move(work));
    std::lock_guard guard(mutex);
    ++posted, changed.notify_all();
  }
  void WaitForPosts(int count) {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return posted >= count; });
  }
  std::mutex mutex;
  std::condition_variable changed;
  int posted = 0;
};

TEST(MainThreadCaller, RunsEachCallOnTheLoopThreadInOrderUnlessAbandoned) {
  HeldLoop loop;
  MainThreadCaller caller(loop);
  std::vector<int> seen;
  std::atomic<int> returned = 0;
  const auto loopThread = std::this_thread::get_id();
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      returned += caller.Call([&, i] {
        EXPECT_EQ(std::this_thread::get_id(), loopThread);
        seen.push_back(i);
      });
    }
  });
  while (returned < 20) loop.WaitForPosts(returned + 1), loop.RunPosted();
  worker.join();
  EXPECT_EQ(returned, 20);
  ASSERT_EQ(seen.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);

  bool ran = false, result = true;
  std::thread waiting([&] { result = caller.Call([&] { ran = true; }); });
  loop.WaitForPosts(21);  // the worker now waits for a loop thread that never comes
  caller.Abandon();
  waiting.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(loop.RunPosted(), 1);
  EXPECT_FALSE(ran) << "an abandoned call never runs";
  EXPECT_FALSE(caller.Call([&] { ran = true; }));

  MainThreadCaller closing(loop);  // a call may abandon its own caller: it still ran
  std::thread inside([&] { result = closing.Call([&] { closing.Abandon(); }); });
  loop.WaitForPosts(22);
  loop.RunPosted();
  inside.join();
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace kavonet
