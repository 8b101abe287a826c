// The Qt event loop keeps the timer rules of tests/loop/TimerRules.h; besides, posted work
// dies with the loop.

#include "ui/app/QtEventLoop.h"

#include <gtest/gtest.h>

#include "QtApplication.h"
#include "tests/loop/TimerRules.h"

namespace kavonet::testing {
namespace {

struct QtDriver {
  QtDriver() { EnsureQtApplication(); }
  app::QtEventLoop loop;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  EventLoop& Loop() { return loop; }
  Milliseconds Now() const {
    return std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - start);
  }
  void RunFor(Milliseconds duration) { SpinUntil([] { return false; }, duration); }
  bool RunUntil(const std::function<bool()>& done, Milliseconds t) { return SpinUntil(done, t); }
};

INSTANTIATE_TYPED_TEST_SUITE_P(Qt, TimerRules, QtDriver);

TEST(QtEventLoop, WorkPostedToALoopThatIsGoneIsDropped) {
  EnsureQtApplication();
  bool ran = false;
  std::make_unique<app::QtEventLoop>()->Post([&] { ran = true; });
  SpinUntil([] { return false; }, 50ms);
  EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace kavonet::testing
