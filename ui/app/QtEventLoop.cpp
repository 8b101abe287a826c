#include "ui/app/QtEventLoop.h"

#include <QTimer>
#include <thread>

namespace kavonet::app {
namespace {

class QtTimer : public Timer {
 public:
  QtTimer(Milliseconds interval, std::function<void()> onTimer) : onTimer_(std::move(onTimer)) {
    // Precise: the gateway's timers keep their phase, and a coarse timer may fire early.
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(interval);
    QObject::connect(&timer_, &QTimer::timeout, [this] { onTimer_(); });
  }

  // An enabled timer keeps its phase; stopping and starting restarts the interval.
  void SetEnabled(bool enabled) override {
    if (!enabled) {
      timer_.stop();
    } else if (!timer_.isActive()) {
      timer_.start();
    }
  }
  bool Enabled() const override { return timer_.isActive(); }
  // QTimer restarts an active timer whose interval is set.
  void SetInterval(Milliseconds interval) override { timer_.setInterval(interval); }
  Milliseconds Interval() const override { return timer_.intervalAsDuration(); }

 private:
  QTimer timer_;
  std::function<void()> onTimer_;
};

}  // namespace

QtEventLoop::QtEventLoop() : context_(std::make_unique<QObject>()) {}

QtEventLoop::~QtEventLoop() = default;

std::unique_ptr<Timer> QtEventLoop::CreateTimer(Milliseconds interval, std::function<void()> onTimer) {
  return std::make_unique<QtTimer>(interval, std::move(onTimer));
}

void QtEventLoop::Sleep(Milliseconds duration) { std::this_thread::sleep_for(duration); }

void QtEventLoop::Post(std::function<void()> work) {
  QMetaObject::invokeMethod(context_.get(), std::move(work), Qt::QueuedConnection);
}

}  // namespace kavonet::app
