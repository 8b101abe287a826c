// The Qt event loop keeps the timer rules the gateway relies on (tests/loop/TimerRules.h);
// besides, posted work dies with the loop.

#include <gtest/gtest.h>

#include "QtApplication.h"
#include "tests/loop/TimerRules.h"
#include "ui/app/QtEventLoop.h"

namespace kavonet::app {
namespace {

using namespace std::chrono_literals;
using kavonet::testing::SpinUntil;

struct QtDriver {
  QtDriver() { kavonet::testing::EnsureQtApplication(); }
  QtEventLoop loop;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  EventLoop& Loop() { return loop; }
  Milliseconds Now() const {
    return std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - start);
  }
  void RunFor(Milliseconds duration) {
    SpinUntil([] { return false; }, duration);
  }
  bool RunUntil(const std::function<bool()>& done, Milliseconds timeout) {
    return SpinUntil(done, timeout);
  }
};

}  // namespace
}  // namespace kavonet::app
namespace kavonet::testing {
INSTANTIATE_TYPED_TEST_SUITE_P(Qt, TimerRules, kavonet::app::QtDriver);
}  // namespace kavonet::testing
namespace kavonet::app {
namespace {

TEST(QtEventLoop, WorkPostedToALoopThatIsGoneIsDropped) {
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
