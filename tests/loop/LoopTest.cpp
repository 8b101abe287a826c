// The shared timer rules on the virtual loop, and the hand-off from a worker thread to the
// loop thread.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "loop/MainThreadCaller.h"
#include "loop/VirtualEventLoop.h"
#include "tests/loop/HeldLoop.h"
#include "tests/loop/TimerRules.h"

namespace kavonet::testing {
namespace {

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

using Loops = ::testing::Types<VirtualDriver>;
INSTANTIATE_TYPED_TEST_SUITE_P(Loops, TimerRules, Loops);

TEST(MainThreadCaller, RunsEachCallOnTheLoopThreadInOrderUnlessAbandoned) {
  HeldLoop loop;
  MainThreadCaller caller(loop);
  std::vector<int> seen;
  std::atomic<int> returned = 0;
  const auto loopThread = std::this_thread::get_id();
  std::thread worker([&] {
    for (int i = 0; i < 20; ++i) {
      returned += caller.Call([&, i] { seen.push_back(std::this_thread::get_id() == loopThread ? i : -i); });
    }
  });
  while (returned < 20) loop.WaitForPosts(returned + 1), loop.RunPosted();
  worker.join();
  ASSERT_EQ(seen.size(), 20u);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i) << "in order, on the loop thread";

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
}  // namespace kavonet::testing
