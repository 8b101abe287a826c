#include "loop/VirtualEventLoop.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kavonet {
namespace {

using namespace std::chrono_literals;

struct Recorder {
  VirtualEventLoop& loop;
  std::vector<std::string> fired;
  std::function<void()> Make(std::string name) {
    return [this, name] { fired.push_back(name + "@" + std::to_string(loop.Now().count())); };
  }
};

TEST(VirtualEventLoop, EnablingAnEnabledTimerKeepsItsPhase) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  auto timer = loop.CreateTimer(1000ms, rec.Make("t"));
  timer->SetEnabled(true);
  loop.Advance(600ms);
  timer->SetEnabled(true);
  loop.Advance(500ms);
  EXPECT_EQ(rec.fired, (std::vector<std::string>{"t@1000"}));
}

TEST(VirtualEventLoop, DisablingThenEnablingRestartsTheInterval) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  auto timer = loop.CreateTimer(350ms, rec.Make("rx"));
  timer->SetEnabled(true);
  loop.Advance(300ms);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  loop.Advance(300ms);
  EXPECT_TRUE(rec.fired.empty());
  loop.Advance(50ms);
  EXPECT_EQ(rec.fired, (std::vector<std::string>{"rx@650"}));
}

TEST(VirtualEventLoop, DueTimersFireInTimeOrderAndRepeat) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  auto slow = loop.CreateTimer(1000ms, rec.Make("slow"));
  auto fast = loop.CreateTimer(350ms, rec.Make("fast"));
  slow->SetEnabled(true);
  fast->SetEnabled(true);
  loop.Advance(1100ms);
  EXPECT_EQ(rec.fired,
            (std::vector<std::string>{"fast@350", "fast@700", "slow@1000", "fast@1050"}));
}

TEST(VirtualEventLoop, HandlerMayDisableAnotherTimerBeforeItFires) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  std::unique_ptr<Timer> second;
  auto first = loop.CreateTimer(100ms, [&] {
    rec.fired.push_back("first");
    second->SetEnabled(false);
  });
  second = loop.CreateTimer(100ms, rec.Make("second"));
  first->SetEnabled(true);
  second->SetEnabled(true);
  loop.Advance(250ms);
  EXPECT_EQ(rec.fired, (std::vector<std::string>{"first", "first"}));
}

TEST(VirtualEventLoop, HandlerDisablingItselfStops) {
  VirtualEventLoop loop;
  int count = 0;
  std::unique_ptr<Timer> timer;
  timer = loop.CreateTimer(10ms, [&] {
    ++count;
    timer->SetEnabled(false);
  });
  timer->SetEnabled(true);
  loop.Advance(100ms);
  EXPECT_EQ(count, 1);
}

TEST(VirtualEventLoop, SleepMovesTheClockWithoutFiringAndLateTimersFireOnce) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  auto timer = loop.CreateTimer(350ms, rec.Make("rx"));
  timer->SetEnabled(true);
  loop.Sleep(1500ms);
  EXPECT_TRUE(rec.fired.empty());
  EXPECT_EQ(loop.TotalSlept(), 1500ms);
  loop.Advance(0ms);
  EXPECT_EQ(rec.fired, (std::vector<std::string>{"rx@1500"}));
  loop.Advance(350ms);
  EXPECT_EQ(rec.fired.size(), 2u);
}

TEST(VirtualEventLoop, PostedWorkRunsBeforeTimers) {
  VirtualEventLoop loop;
  std::vector<std::string> order;
  auto timer = loop.CreateTimer(10ms, [&] { order.push_back("timer"); });
  timer->SetEnabled(true);
  loop.Post([&] { order.push_back("posted"); });
  loop.Advance(10ms);
  EXPECT_EQ(order, (std::vector<std::string>{"posted", "timer"}));
}

TEST(VirtualEventLoop, ChangingTheIntervalRestartsAnEnabledTimer) {
  VirtualEventLoop loop;
  Recorder rec{loop, {}};
  auto timer = loop.CreateTimer(1000ms, rec.Make("t"));
  timer->SetEnabled(true);
  loop.Advance(900ms);
  timer->SetInterval(200ms);
  loop.Advance(150ms);
  EXPECT_TRUE(rec.fired.empty());
  loop.Advance(50ms);
  EXPECT_EQ(rec.fired, (std::vector<std::string>{"t@1100"}));
}

}  // namespace
}  // namespace kavonet
