// The Qt event loop keeps the timer semantics the gateway relies on. Real time, so the
// intervals are long enough for a loaded machine to tell the cases apart: a timer that
// keeps its phase fires at 300 ms, a restarted one not before 450 ms.

#include "ui/app/QtEventLoop.h"

#include <gtest/gtest.h>

#include <QTimer>
#include <optional>
#include <thread>
#include <vector>

#include "QtApplication.h"

namespace kavonet::app {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using kavonet::testing::SpinUntil;

class Loop : public ::testing::Test {
 protected:
  Loop() { kavonet::testing::EnsureQtApplication(); }

  // Runs a 300 ms timer, does `at150` to it at 150 ms, and returns when it first fired.
  Milliseconds FirstFiring(const std::function<void(Timer&)>& at150) {
    std::optional<Clock::duration> fired;
    const auto start = Clock::now();
    auto timer = loop.CreateTimer(300ms, [&] {
      if (!fired) fired = Clock::now() - start;
    });
    timer->SetEnabled(true);
    QTimer::singleShot(150ms, [&] { at150(*timer); });
    EXPECT_TRUE(SpinUntil([&] { return fired.has_value(); }, 5s));
    return std::chrono::duration_cast<Milliseconds>(fired.value_or(Clock::duration::zero()));
  }

  QtEventLoop loop;
};

TEST_F(Loop, EnablingAnEnabledTimerKeepsItsPhase) {
  const Milliseconds first = FirstFiring([](Timer& t) { t.SetEnabled(true); });
  EXPECT_GE(first, 300ms);
  EXPECT_LT(first, 440ms);
}

TEST_F(Loop, DisablingThenEnablingRestartsTheInterval) {
  const Milliseconds first = FirstFiring([](Timer& t) {
    t.SetEnabled(false);
    t.SetEnabled(true);
  });
  EXPECT_GE(first, 450ms);
}

TEST_F(Loop, ChangingTheIntervalOfAnEnabledTimerRestartsIt) {
  const Milliseconds first = FirstFiring([](Timer& t) { t.SetInterval(300ms); });
  EXPECT_GE(first, 450ms);
}

TEST_F(Loop, TimersRepeatUntilDisabledAndReportTheirState) {
  int fired = 0;
  std::unique_ptr<Timer> timer;
  timer = loop.CreateTimer(20ms, [&] {
    if (++fired == 3) timer->SetEnabled(false);
  });
  EXPECT_FALSE(timer->Enabled()) << "created disabled";
  EXPECT_EQ(timer->Interval(), 20ms);
  timer->SetEnabled(true);
  EXPECT_TRUE(timer->Enabled());
  ASSERT_TRUE(SpinUntil([&] { return fired == 3; }, 5s));
  EXPECT_FALSE(timer->Enabled());
  SpinUntil([] { return false; }, 100ms);
  EXPECT_EQ(fired, 3) << "a disabled timer stays quiet";
}

TEST_F(Loop, AHandlerMayDisableAnotherTimerBeforeItFires) {
  std::vector<std::string> fired;
  std::unique_ptr<Timer> second;
  auto first = loop.CreateTimer(50ms, [&] {
    fired.push_back("first");
    second->SetEnabled(false);
  });
  second = loop.CreateTimer(50ms, [&] { fired.push_back("second"); });
  first->SetEnabled(true);
  second->SetEnabled(true);
  ASSERT_TRUE(SpinUntil([&] { return fired.size() >= 2; }, 5s));
  EXPECT_EQ(fired, (std::vector<std::string>{"first", "first"}));
}

TEST_F(Loop, PostedWorkRunsOnTheLoopThreadInOrder) {
  std::vector<int> ran;
  const std::thread::id loopThread = std::this_thread::get_id();
  bool onLoopThread = true;
  std::thread poster([&] {
    for (int i = 0; i < 1000; ++i) {
      loop.Post([&, i] {
        ran.push_back(i);
        onLoopThread = onLoopThread && std::this_thread::get_id() == loopThread;
      });
    }
  });
  poster.join();
  EXPECT_TRUE(ran.empty()) << "nothing runs before the loop does";
  ASSERT_TRUE(SpinUntil([&] { return ran.size() == 1000; }, 5s));
  for (int i = 0; i < 1000; ++i) ASSERT_EQ(ran[static_cast<std::size_t>(i)], i);
  EXPECT_TRUE(onLoopThread);
}

TEST_F(Loop, SleepBlocksTheThread) {
  int fired = 0;
  auto timer = loop.CreateTimer(10ms, [&] { ++fired; });
  timer->SetEnabled(true);
  const auto start = Clock::now();
  loop.Sleep(100ms);
  EXPECT_GE(Clock::now() - start, 100ms);
  EXPECT_EQ(fired, 0) << "nothing runs while the loop thread sleeps";
}

TEST(LoopLifetime, WorkPostedToALoopThatIsGoneIsDropped) {
  kavonet::testing::EnsureQtApplication();
  bool ran = false;
  {
    QtEventLoop loop;
    loop.Post([&] { ran = true; });
  }
  SpinUntil([] { return false; }, 50ms);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace kavonet::app
