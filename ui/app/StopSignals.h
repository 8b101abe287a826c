#pragma once
// SIGINT, SIGTERM and SIGHUP as events on the Qt loop, so the gateway ends the way its
// window's Exit does (disconnecting the terminal) when a service manager or a terminal
// stops it. Block() must run before any thread starts, so that no thread takes them.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace kavonet::app {

class StopSignals {
 public:
  // Blocks the signals in the calling thread and so in every thread started after it.
  static void Block();

  explicit StopSignals(std::function<void(int signal)> onSignal);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  int fd_ = -1;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(int)> onSignal_;
};

}  // namespace kavonet::app
