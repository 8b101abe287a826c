#pragma once
// SIGINT, SIGTERM and SIGHUP as events on the Qt loop, so the gateway ends the way its
// window's Exit does (disconnecting the terminal) when a service manager or a terminal
// stops it. The handler only writes the signal's number to a socket the loop watches.
// One instance at a time; programs the gateway starts get the default dispositions.

#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace kavonet::app {

class StopSignals {
 public:
  explicit StopSignals(std::function<void(int signal)> onSignal);
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::function<void(int)> onSignal_;
};

}  // namespace kavonet::app
