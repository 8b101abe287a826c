#pragma once
// The timer and posting rules every EventLoop keeps, as typed tests. Each loop brings a
// driver: Loop(), Now() (time since the driver was made), RunFor(d) and RunUntil(done,
// timeout). Real loops run in real time, so the intervals leave a loaded machine room to
// tell the cases apart: a timer that keeps its phase fires at 300 ms, a restarted one not
// before 450 ms. Include once per test program, then INSTANTIATE_TYPED_TEST_SUITE_P.

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "loop/EventLoop.h"

namespace kavonet::testing {

using namespace std::chrono_literals;

template <class Driver>
class TimerRules : public ::testing::Test {
 protected:
  Driver driver;
};

TYPED_TEST_SUITE_P(TimerRules);

TYPED_TEST_P(TimerRules, EnablingChangingAndDisabling) {
  struct Case {
    const char* name;
    std::function<void(Timer&)> at150;
    Milliseconds earliest, before;  // when the 300 ms timer first fires
  };
  const Case cases[] = {
      {"enabling an enabled timer keeps its phase", [](Timer& t) { t.SetEnabled(true); }, 300ms, 440ms},
      {"disabling and enabling restarts it",
       [](Timer& t) {
         t.SetEnabled(false);
         t.SetEnabled(true);
       },
       450ms, 5s},
      {"setting the interval restarts it", [](Timer& t) { t.SetInterval(300ms); }, 450ms, 5s},
  };
  for (const Case& c : cases) {
    const Milliseconds start = this->driver.Now();
    Milliseconds fired{-1};
    auto timer = this->driver.Loop().CreateTimer(300ms, [&] {
      if (fired < 0ms) fired = this->driver.Now() - start;
    });
    timer->SetEnabled(true);
    this->driver.RunFor(150ms);
    c.at150(*timer);
    EXPECT_TRUE(this->driver.RunUntil([&] { return fired >= 0ms; }, 5s)) << c.name;
    EXPECT_GE(fired, c.earliest) << c.name;
    EXPECT_LT(fired, c.before) << c.name;
  }
}

TYPED_TEST_P(TimerRules, TimersRepeatInTimeOrderUntilDisabled) {
  std::vector<std::string> fired;
  std::unique_ptr<Timer> slow;
  auto fast = this->driver.Loop().CreateTimer(150ms, [&] {
    fired.emplace_back("fast");
    if (fired.size() == 4) slow->SetEnabled(false);
  });
  slow = this->driver.Loop().CreateTimer(400ms, [&] { fired.emplace_back("slow"); });
  EXPECT_FALSE(fast->Enabled()) << "created disabled";
  EXPECT_EQ(slow->Interval(), 400ms);
  fast->SetEnabled(true);
  slow->SetEnabled(true);
  EXPECT_TRUE(fast->Enabled());
  ASSERT_TRUE(this->driver.RunUntil([&] { return fired.size() == 5; }, 5s));
  fast->SetEnabled(false);
  this->driver.RunFor(450ms);
  EXPECT_EQ(fired, (std::vector<std::string>{"fast", "fast", "slow", "fast", "fast"}));
  EXPECT_FALSE(slow->Enabled());
}

TYPED_TEST_P(TimerRules, AHandlerMayDisableItselfOrATimerDueWithIt) {
  std::vector<std::string> fired;
  std::unique_ptr<Timer> second;
  std::unique_ptr<Timer> self;
  auto first = this->driver.Loop().CreateTimer(50ms, [&] {
    fired.emplace_back("first");
    second->SetEnabled(false);
  });
  second = this->driver.Loop().CreateTimer(50ms, [&] { fired.emplace_back("second"); });
  self = this->driver.Loop().CreateTimer(20ms, [&] {
    fired.emplace_back("self");
    self->SetEnabled(false);
  });
  for (Timer* timer : {first.get(), second.get(), self.get()}) timer->SetEnabled(true);
  ASSERT_TRUE(this->driver.RunUntil([&] { return fired.size() >= 3; }, 5s));
  EXPECT_EQ(fired, (std::vector<std::string>{"self", "first", "first"}));
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
  EXPECT_EQ(fired, 1) << "a timer three intervals late fires once and resumes from now";
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
                            TimersRepeatInTimeOrderUntilDisabled,
                            AHandlerMayDisableItselfOrATimerDueWithIt,
                            SleepRunsNothingAndALateTimerFiresOnce,
                            PostedWorkRunsOnTheLoopThreadInOrder);

}  // namespace kavonet::testing
