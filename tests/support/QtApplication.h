#pragma once
// One QCoreApplication for a test process, made on first use: sockets notifiers, timers
// and D-Bus connections need it.

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <functional>

namespace kavonet::testing {

inline void EnsureQtApplication() {
  static int argc = 1;
  static char name[] = "kavonet-test";
  static char* argv[] = {name, nullptr};
  static QCoreApplication* application =
      QCoreApplication::instance() != nullptr ? nullptr : new QCoreApplication(argc, argv);
  (void)application;
}

// Runs the Qt loop until `done()` or the time-out; returns done().
inline bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  QEventLoop loop;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    if (done()) loop.quit();
  });
  tick.start(5);
  QTimer::singleShot(timeout, &loop, &QEventLoop::quit);
  if (!done()) loop.exec();
  return done();
}

}  // namespace kavonet::testing
