#include "loop/PollEventLoop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

namespace kavonet {
namespace {

using namespace std::chrono_literals;

TEST(PollEventLoop, TimersFireAfterTheirInterval) {
  PollEventLoop loop;
  int fired = 0;
  auto timer = loop.CreateTimer(20ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const auto start = PollEventLoop::Clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return fired >= 2; }, 5s));
  EXPECT_GE(PollEventLoop::Clock::now() - start, 40ms);
}

TEST(PollEventLoop, SpeedUpShortensIntervalsAndSleeps) {
  PollEventLoop loop(100.0);
  int fired = 0;
  auto timer = loop.CreateTimer(1000ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const auto start = PollEventLoop::Clock::now();
  EXPECT_TRUE(loop.RunUntil([&] { return fired >= 3; }, 5s));
  loop.Sleep(1500ms);
  const auto took = PollEventLoop::Clock::now() - start;
  EXPECT_GE(took, 45ms);
  EXPECT_LT(took, 1000ms);
}

TEST(PollEventLoop, PostFromAnotherThreadWakesTheLoop) {
  PollEventLoop loop;
  bool ran = false;
  std::thread other([&] { loop.Post([&] { ran = true; }); });
  EXPECT_TRUE(loop.RunUntil([&] { return ran; }, 5s));
  other.join();
}

TEST(PollEventLoop, WatchedDescriptorCallsItsHandler) {
  PollEventLoop loop;
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
}

TEST(PollEventLoop, RunUntilGivesUpAtTheTimeout) {
  PollEventLoop loop;
  EXPECT_FALSE(loop.RunUntil([] { return false; }, 30ms));
}

}  // namespace
}  // namespace kavonet
