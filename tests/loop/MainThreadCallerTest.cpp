#include "loop/MainThreadCaller.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "loop/PollEventLoop.h"

namespace kavonet {
namespace {

using namespace std::chrono_literals;

TEST(MainThreadCaller, RunsTheCallOnTheLoopThreadAndWaitsForIt) {
  PollEventLoop loop;
  MainThreadCaller caller(loop);
  const auto loopThread = std::this_thread::get_id();
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::atomic<bool> result{false};
  std::thread worker([&] {
    result = caller.Call([&] { ranOn = std::this_thread::get_id(); });
    returned = true;
    loop.Post([] {});  // wake the loop to see the flag
  });
  EXPECT_TRUE(loop.RunUntil([&] { return returned.load(); }, 5s));
  worker.join();
  EXPECT_TRUE(result);
  EXPECT_EQ(ranOn, loopThread);
}

TEST(MainThreadCaller, CallsRunInOrder) {
  PollEventLoop loop;
  MainThreadCaller caller(loop);
  std::vector<int> seen;
  std::atomic<bool> finished{false};
  std::thread worker([&] {
    for (int i = 0; i < 50; ++i) caller.Call([&seen, i] { seen.push_back(i); });
    finished = true;
    loop.Post([] {});
  });
  EXPECT_TRUE(loop.RunUntil([&] { return finished.load(); }, 5s));
  worker.join();
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[i], i);
}

TEST(MainThreadCaller, AbandonReleasesAWaitingWorkerWithoutRunningItsCall) {
  PollEventLoop loop;
  MainThreadCaller caller(loop);
  std::atomic<bool> ran{false};
  std::atomic<bool> started{false};
  bool result = true;
  std::thread worker([&] {
    started = true;
    result = caller.Call([&] { ran = true; });
  });
  while (!started) std::this_thread::yield();
  // The loop thread never services the call; closing abandons it instead.
  std::this_thread::sleep_for(20ms);
  caller.Abandon();
  worker.join();
  EXPECT_FALSE(result);
  loop.RunUntil([] { return false; }, 20ms);  // the posted call is dropped
  EXPECT_FALSE(ran);
  EXPECT_FALSE(caller.Call([&] { ran = true; }));
}

TEST(MainThreadCaller, CallMayAbandonFromInsideItself) {
  PollEventLoop loop;
  MainThreadCaller caller(loop);
  std::atomic<bool> done{false};
  bool result = false;
  std::thread worker([&] {
    result = caller.Call([&] { caller.Abandon(); });
    done = true;
    loop.Post([] {});
  });
  EXPECT_TRUE(loop.RunUntil([&] { return done.load(); }, 5s));
  worker.join();
  EXPECT_TRUE(result);
}

}  // namespace
}  // namespace kavonet
