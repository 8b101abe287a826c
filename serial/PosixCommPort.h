#pragma once
// CommPort on a POSIX terminal device (termios), with the reader thread TC32Thread.
//
// The port keeps its own input queue: the reader thread moves arriving bytes into it
// and raises EV_RXFLAG when the flag character (DCB.EvtChar) arrives, or '>' then ' '
// while the prompt event is on. When the queue is full, further bytes are dropped,
// counted (OverrunCount) and reported as CE_RXOVER with EV_ERR; the flag character is
// still recognised among them, so the driver is told to drain the queue.
//
// Writes never block: what the device does not take at once waits in an output buffer
// that the reader thread flushes as the device becomes writable. Once the device refuses
// output for good (EIO from a hung-up terminal, ENXIO, ...), the port is dead: that Write
// and every later one fail with the device's error until the port is opened again.
//
// Modem lines (DSR, CTS, DCD, RI) are sampled with TIOCMGET where the device has them;
// a pseudo-terminal has none, so it never raises a line event and its reader thread
// sleeps until bytes arrive. fDsrHold and fCtsHold report the line being low.
// EV_BREAK and EV_TXEMPTY are not raised.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loop/EventLoop.h"
#include "serial/CommPort.h"
#include "serial/TC32Thread.h"

namespace kavonet {

// Communication error bits reported by ClearCommError.
enum : std::uint32_t {
  CE_RXOVER = 0x0001,  // input queue overflow: bytes were dropped
};

class PosixCommPort final : public CommPort, private TC32Thread::Device {
 public:
  // Turns a port name such as "COM2" into the path of its device.
  using DeviceResolver = std::function<std::string(const std::string& name)>;

  // Events are handed to `loop`, which must run on the thread that uses the port.
  PosixCommPort(EventLoop& loop, DeviceResolver resolveDevice);
  ~PosixCommPort() override;
  PosixCommPort(const PosixCommPort&) = delete;
  PosixCommPort& operator=(const PosixCommPort&) = delete;

  // Opens the resolved device non-blocking, exclusively (an flock, which also refuses a
  // second opener running as root, and TIOCEXCL except on a pseudo-terminal, where it
  // would outlive a killed gateway) and in raw mode. A device held by someone else fails
  // with EBUSY; a file that is not a terminal with ENOTTY.
  bool Open(const std::string& deviceName, std::uint32_t inQueue, std::uint32_t outQueue) override;
  void Close() override;
  bool IsOpen() const override { return fd_ >= 0; }
  int LastError() const override { return lastError_; }

  // Speeds are the standard termios speeds from 50 to 4000000 bit/s; others (14400,
  // 56000, 128000, 256000) fail with EINVAL and change nothing. 1.5 stop bits only with
  // 5 data bits. EvtChar is kept by the port and survives a reopen, like the prompt event.
  bool GetCommState(DCB& dcb) override;
  bool SetCommState(const DCB& dcb) override;
  void SetPromptEvent(bool on) override { promptEvent_ = on; }

  bool StartEvents(std::uint32_t mask, EventHandler handler) override;

  bool ClearCommError(std::uint32_t& errors, COMSTAT& status) override;
  int Read(std::uint8_t* buffer, int count) override;
  // Fails with ENOBUFS, queueing nothing, when the output buffer would exceed its limit,
  // and with the device's error once the port is dead.
  bool Write(const std::uint8_t* bytes, int count) override;
  bool PurgeComm(std::uint32_t flags) override;
  // Fails (ENOTTY) on a device without modem lines, such as a pseudo-terminal.
  bool EscapeCommFunction(LineFunction function) override;

  // Received bytes dropped because the input queue was full, since Open.
  std::uint64_t OverrunCount() const;
  // Whether the reader thread is waiting for events; it ends on its own when the device
  // goes away (a pseudo-terminal whose other side closed, an unplugged adapter).
  bool EventThreadRunning() const { return thread_ && thread_->Running(); }
  // The path the last Open resolved the port name to.
  const std::string& DevicePath() const { return devicePath_; }

  // Input queue size used when the caller asks for less.
  static constexpr std::uint32_t kMinimumInputQueue = 4096;
  // Output buffer limit when the caller asks for less: room for a few large frames.
  static constexpr std::uint32_t kMinimumOutputQueue = 64 * 1024;

 private:
  bool Fail(int error);
  void WriteOut();  // needs mutex_

  // TC32Thread::Device, on the reader thread.
  int Descriptor() const override { return fd_; }
  bool OutputPending() override;
  int TakeInput(std::uint32_t& events) override;
  void FlushOutput() override;
  bool HasModemLines() const override { return hasModemLines_; }
  void SampleLines(std::uint32_t& events) override;
  void Stopped() override;

  EventLoop& loop_;
  DeviceResolver resolveDevice_;
  std::string devicePath_;
  int fd_ = -1;
  bool hasModemLines_ = false;
  std::atomic<int> lastError_{0};
  std::atomic<std::uint8_t> evtChar_{0};
  std::atomic<bool> promptEvent_{false};

  // Reader thread only.
  std::uint8_t previousByte_ = 0;
  int lines_ = 0;

  mutable std::mutex mutex_;  // guards the members below, shared with the reader thread
  std::vector<std::uint8_t> input_;
  std::size_t inputLimit_ = kMinimumInputQueue;
  std::vector<std::uint8_t> output_;
  std::size_t outputLimit_ = kMinimumOutputQueue;
  std::uint32_t errors_ = 0;
  std::uint64_t overruns_ = 0;
  int deadError_ = 0;  // why the device takes no more output; 0 while it does
  bool dsrHold_ = false;
  bool ctsHold_ = false;

  std::unique_ptr<TC32Thread> thread_;  // last: stopped before anything it uses goes away
};

}  // namespace kavonet
