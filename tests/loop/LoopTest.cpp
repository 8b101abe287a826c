// The shared timer rules on the virtual and the poll loop, then what only one loop does:
// the virtual clock's exact timeline, the poll loop's descriptors and speed-up, and the
// hand-off from a worker thread.

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
  PollEventLoop::Clock::time_point start = PollEventLoop::Clock::now();
  EventLoop& Loop() { return loop; }
  Milliseconds Now() const {
    return std::chrono::duration_cast<Milliseconds>(PollEventLoop::Clock::now() - start);
  }
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

TEST(VirtualEventLoop, FiresInTimeOrderOnTheVirtualClockAfterPostedWork) {
  VirtualEventLoop loop;
  std::vector<std::string> fired;
  const auto record = [&](const char* name) {
    return [&, name] { fired.push_back(name + ("@" + std::to_string(loop.Now().count()))); };
  };
  auto slow = loop.CreateTimer(1000ms, record("slow"));
  auto fast = loop.CreateTimer(350ms, record("fast"));
  slow->SetEnabled(true);
  fast->SetEnabled(true);
  loop.Post(record("posted"));
  loop.Sleep(200ms);
  EXPECT_EQ(loop.TotalSlept(), 200ms);
  loop.Advance(900ms);
  EXPECT_EQ(fired, (std::vector<std::string>{"posted@200", "fast@350", "fast@700", "slow@1000",
                                             "fast@1050"}));
}

TEST(PollEventLoop, DescriptorsPostsFromOtherThreadsAndSpeedUp) {
  PollEventLoop loop(100.0);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  char got = 0;
  loop.WatchFd(fds[0], POLLIN, [&](short) {
    ASSERT_EQ(read(fds[0], &got, 1), 1);
    loop.UnwatchFd(fds[0]);
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  EXPECT_TRUE(loop.RunUntil([&] { return got == 'x'; }, 5s));
  close(fds[0]);
  close(fds[1]);

  // Nothing else would wake the loop before the time-out: the post must.
  const auto start = PollEventLoop::Clock::now();
  std::atomic<bool> ran = false;
  std::thread other([&] { loop.Post([&] { ran = true; }); });
  EXPECT_TRUE(loop.RunUntil([&] { return ran.load(); }, 5s));
  other.join();
  EXPECT_LT(PollEventLoop::Clock::now() - start, 2s);

  // A hundred times faster: three 1 s intervals and a 1.5 s sleep in about 45 ms.
  int fired = 0;
  auto timer = loop.CreateTimer(1000ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const auto timed = PollEventLoop::Clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return fired >= 3; }, 5s));
  loop.Sleep(1500ms);
  EXPECT_GE(PollEventLoop::Clock::now() - timed, 45ms);
  EXPECT_LT(PollEventLoop::Clock::now() - timed, 1000ms);
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 30ms));
}

// A loop thread that services hand-offs only when the test says so.
class HeldLoop : public VirtualEventLoop {
 public:
  void Post(std::function<void()> work) override {
    VirtualEventLoop::Post(std::move(work));
    std::lock_guard guard(mutex_);
    ++posted_;
    changed_.notify_all();
  }
  void WaitForPosts(int count) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return posted_ >= count; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  int posted_ = 0;
};

TEST(MainThreadCaller, RunsEachCallOnTheLoopThreadInOrderAndWaitsForIt) {
  HeldLoop loop;
  MainThreadCaller caller(loop);
  std::vector<int> seen;
  std::vector<std::thread::id> threads;
  std::atomic<int> returned = 0;
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      returned += caller.Call([&, i] {
        seen.push_back(i);
        threads.push_back(std::this_thread::get_id());
      });
    }
  });
  for (int i = 1; i <= 20; ++i) {
    loop.WaitForPosts(i);
    EXPECT_EQ(returned, i - 1) << "the worker waits for its call";
    loop.RunPosted();
  }
  worker.join();
  EXPECT_EQ(returned, 20);
  EXPECT_EQ(seen.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(threads, std::vector<std::thread::id>(20, std::this_thread::get_id()));
}

TEST(MainThreadCaller, AbandonReleasesAWaitingWorkerWithoutRunningItsCall) {
  HeldLoop loop;
  MainThreadCaller caller(loop);
  bool ran = false;
  bool result = true;
  std::thread worker([&] { result = caller.Call([&] { ran = true; }); });
  loop.WaitForPosts(1);  // the worker now waits for a loop thread that never comes
  caller.Abandon();
  worker.join();
  EXPECT_FALSE(result);
  EXPECT_EQ(loop.RunPosted(), 1);
  EXPECT_FALSE(ran) << "an abandoned call never runs";
  EXPECT_FALSE(caller.Call([&] { ran = true; }));

  MainThreadCaller closing(loop);  // a call may abandon its own caller: it still ran
  std::thread inside([&] { result = closing.Call([&] { closing.Abandon(); }); });
  loop.WaitForPosts(2);
  loop.RunPosted();
  inside.join();
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace kavonet
