#pragma once
// The timer and posting rules every EventLoop keeps, as typed tests over a driver with
// Loop(), Now() (since the driver was made), RunFor(d) and RunUntil(done, timeout). Real
// loops run in real time: the intervals leave a loaded machine room to tell the cases
// apart. Include once per test program, then INSTANTIATE_TYPED_TEST_SUITE_P.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loop/EventLoop.h"

namespace kavonet::testing {

using namespace std::chrono_literals;

template <class Driver>
struct TimerRules : ::testing::Test {
  Driver driver;
};

TYPED_TEST_SUITE_P(TimerRules);

TYPED_TEST_P(TimerRules, EnablingChangingAndDisabling) {
  const std::pair<std::function<void(Timer&)>, Milliseconds> cases[] = {
      // at 150 ms; first firing
      {[](Timer& t) { t.SetEnabled(true); }, 300ms},  // an enabled timer keeps its phase
      {[](Timer& t) { t.SetEnabled(false), t.SetEnabled(true); }, 450ms},  // a restart
      {[](Timer& t) { t.SetInterval(300ms); }, 450ms},                     // so is a new interval
  };
  for (const auto& [at150, expected] : cases) {
    const Milliseconds start = this->driver.Now();
    Milliseconds fired{-1};
    auto timer = this->driver.Loop().CreateTimer(300ms, [&] {
      if (fired < 0ms) fired = this->driver.Now() - start;
    });
    timer->SetEnabled(true);
    this->driver.RunFor(150ms);
    at150(*timer);
    EXPECT_TRUE(this->driver.RunUntil([&] { return fired >= 0ms; }, 5s));
    EXPECT_GE(fired, expected);
    EXPECT_LT(fired, expected + 140ms);
  }
}

TYPED_TEST_P(TimerRules, TimersRepeatInTimeOrderAndHandlersMayDisableThem) {
  std::vector<std::string> fired;
  std::unique_ptr<Timer> slow, once, rival;
  auto fast = this->driver.Loop().CreateTimer(150ms, [&] {
    fired.emplace_back("fast");
    rival->SetEnabled(false);  // due with it, created after it: never fires
    if (fired.size() == 5) slow->SetEnabled(false);
  });
  rival = this->driver.Loop().CreateTimer(150ms, [&] { fired.emplace_back("rival"); });
  slow = this->driver.Loop().CreateTimer(400ms, [&] { fired.emplace_back("slow"); });
  once = this->driver.Loop().CreateTimer(
      20ms, [&] { fired.emplace_back("once"), once->SetEnabled(false); });
  EXPECT_FALSE(fast->Enabled()) << "created disabled";
  for (Timer* timer : {fast.get(), rival.get(), slow.get(), once.get()}) timer->SetEnabled(true);
  ASSERT_TRUE(this->driver.RunUntil([&] { return fired.size() == 6; }, 5s));
  fast->SetEnabled(false);
  this->driver.RunFor(450ms);
  EXPECT_EQ(fired, (std::vector<std::string>{"once", "fast", "fast", "slow", "fast", "fast"}));
}

TYPED_TEST_P(TimerRules, SleepRunsNothingAndALateTimerFiresOnce) {
  int fired = 0;
  auto timer = this->driver.Loop().CreateTimer(100ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const Milliseconds start = this->driver.Now();
  this->driver.Loop().Sleep(300ms);
  EXPECT_GE(this->driver.Now() - start, 300ms);
  EXPECT_EQ(fired, 0) << "nothing runs while the loop thread sleeps";
  this->driver.RunFor(30ms);
  EXPECT_EQ(fired, 1) << "three intervals late, it fires once and resumes from now";
}

TYPED_TEST_P(TimerRules, PostedWorkRunsOnTheLoopThreadInOrder) {
  std::vector<int> ran;
  const std::thread::id loopThread = std::this_thread::get_id();
  std::atomic<bool> onLoopThread = true;
  std::thread poster([&] {
    for (int i = 0; i < 1000; ++i) {
      this->driver.Loop().Post([&, i] {
        ran.push_back(i);
        onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
      });
    }
  });
  poster.join();
  EXPECT_TRUE(ran.empty()) << "nothing runs before the loop does";
  ASSERT_TRUE(this->driver.RunUntil([&] { return ran.size() == 1000; }, 5s));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(onLoopThread);
}

REGISTER_TYPED_TEST_SUITE_P(TimerRules, EnablingChangingAndDisabling,
                            TimersRepeatInTimeOrderAndHandlersMayDisableThem,
                            SleepRunsNothingAndALateTimerFiresOnce,
                            PostedWorkRunsOnTheLoopThreadInOrder);

}  // namespace kavonet::testing
