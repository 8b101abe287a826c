#pragma once
// Both directions of the pseudo-terminal master on the event loop: what the gateway
// writes goes to the input handler; the terminal's output is written after the
// configured latency, in order, and whatever the device cannot take yet waits for
// POLLOUT.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "loop/PollEventLoop.h"

namespace kavonet::sim {

class PtyChannel {
 public:
  using InputHandler = std::function<void(std::string_view bytes)>;

  // Beyond this much unwritten output (nobody reads the device) new output is dropped,
  // as a serial line would lose it.
  static constexpr std::size_t kMaxBacklog = 1 << 20;

  PtyChannel(PollEventLoop& loop, int masterFd, InputHandler onInput);
  ~PtyChannel();
  PtyChannel(const PtyChannel&) = delete;
  PtyChannel& operator=(const PtyChannel&) = delete;

  void Write(std::string_view bytes);
  void SetLatency(Milliseconds latency) { latency_ = latency; }

 private:
  using Clock = PollEventLoop::Clock;

  void OnEvents(short revents);
  void ReadInput();
  void ReleaseDue();
  void ArmTimer();
  void Flush();
  void Watch();

  PollEventLoop& loop_;
  int fd_;
  InputHandler onInput_;
  Milliseconds latency_{0};
  std::deque<std::pair<Clock::time_point, std::string>> delayed_;
  std::string ready_;
  short watched_ = 0;
  std::unique_ptr<Timer> timer_;
};

}  // namespace kavonet::sim
