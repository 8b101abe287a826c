#pragma once
// The serial reader thread. It waits in poll() on the port's descriptor and a wake-up
// eventfd, lets the port take in arriving bytes, flush pending output and sample its
// modem lines, and hands each resulting event mask to the loop thread, blocking until
// the mask has been handled there. It never decides anything itself.

#include <atomic>
#include <cstdint>
#include <thread>

#include "loop/EventLoop.h"
#include "loop/MainThreadCaller.h"
#include "serial/CommPort.h"

namespace kavonet {

class TC32Thread {
 public:
  // What the wait loop needs from the port. Called on the reader thread only.
  class Device {
   public:
    virtual int Descriptor() const = 0;
    virtual bool OutputPending() = 0;
    // Takes in the bytes that have arrived and adds the events they raise to `events`.
    // Returns how many bytes arrived, 0 when none, or -1 when the device is gone.
    virtual int TakeInput(std::uint32_t& events) = 0;
    // Writes what it can of the pending output without blocking.
    virtual void FlushOutput() = 0;
    // Whether the device has modem lines worth sampling, and the sampling itself.
    virtual bool HasModemLines() const = 0;
    virtual void SampleLines(std::uint32_t& events) = 0;
    // The wait loop has ended: whatever is still queued for reading is discarded.
    virtual void Stopped() = 0;

   protected:
    ~Device() = default;
  };

  // How often modem lines are sampled when a line event is monitored: Linux reports
  // line changes only to a blocking ioctl that cannot be woken, so they are polled.
  static constexpr int kLinePollMs = 100;

  // Starts the thread, which reports only the events in `eventMask` to `onSignal`.
  TC32Thread(EventLoop& loop, Device& device, std::uint32_t eventMask,
             CommPort::EventHandler onSignal);
  // SignalClose, then waits for the thread to end.
  ~TC32Thread();
  TC32Thread(const TC32Thread&) = delete;
  TC32Thread& operator=(const TC32Thread&) = delete;

  // Loop thread: ends the wait loop and releases a hand-off that is waiting, without
  // running it, so the thread can be joined at once.
  void SignalClose();
  // Any thread: makes the wait loop look at the device again (output was queued).
  void Wake();
  // False when the thread could not start or its wait loop has ended on its own.
  bool Running() const { return running_; }

 private:
  void Execute();
  int WaitTimeoutMs() const;

  Device& device_;
  const std::uint32_t eventMask_;
  const CommPort::EventHandler onSignal_;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> running_{false};
  int wakeFd_ = -1;
  MainThreadCaller caller_;
  std::thread thread_;
};

}  // namespace kavonet
