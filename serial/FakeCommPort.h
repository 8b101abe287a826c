#pragma once
// A scripted CommPort for tests of the driver and of everything above it. Single-threaded:
// received bytes and line changes reach the event handler synchronously, inside the
// call that injects them, exactly as the reader thread's hand-off would deliver them.
//
//   FakeCommPort port;
//   SMSDRV32 driver(port);
//   driver.Open();
//   driver.SetHayesMode();
//   port.ClearLog();
//   driver.WriteBlock(...);                 // port.Written() == {"AT\r"}
//   port.Receive("\r\nOK\r\n");             // OnRxBlock runs before Receive returns
//
// Every call the code under test makes is logged as one line of text, in order (see
// Log()), whether the port is open or not; calls on a closed port fail with EBADF.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "serial/CommPort.h"

namespace kavonet {

class FakeCommPort : public CommPort {
 public:
  // --- Script -------------------------------------------------------------------------
  // Errno for the next Open to fail with (the port stays closed); 0 lets it succeed.
  int failOpenWith = 0;
  // Write and Read fail (-1 / false, LastError EIO) while set.
  bool failWrite = false;
  bool failRead = false;
  // Result of EscapeCommFunction on an open port: a pseudo-terminal has no lines.
  bool lineFunctionsWork = true;
  // A line speed the device does not support: SetCommState with it fails with EINVAL.
  std::uint32_t unsupportedBaudRate = 0;

  // Appends `bytes` to the input queue. While events run, raises EV_RXFLAG (plus
  // EV_RXCHAR) when the flag character or, with the prompt event on, '>' followed by ' '
  // (also across calls) is among them; only events in the started mask are raised.
  void Receive(std::string_view bytes);
  // Changes the DSR line and raises EV_DSR: `hold` true means DSR is low.
  void SetDsrHold(bool hold);
  // Raises `events` (masked by the started mask) as the reader thread would.
  void Raise(std::uint32_t events);
  // Settings the device reports from now on (kept across Close and Open).
  void SetDcb(const DCB& dcb) { dcb_ = dcb; }
  // Error bits the next ClearCommError reports (and then clears).
  void AddErrors(std::uint32_t errors) { errors_ |= errors; }

  // --- What the code under test did -----------------------------------------------------
  // Bytes of each successful Write call, in order.
  const std::vector<std::string>& Written() const { return written_; }
  // All written bytes as one string.
  std::string AllWritten() const;
  // One line per call, in order, for example:
  //   "Open COM2 16384 4096"      "Open COM2 failed 2"        "Close"
  //   "SetCommState 9600 0 0 8 10"  (BaudRate Parity StopBits ByteSize EvtChar)
  //   "StartEvents 0x12"          "PurgeComm 0x0a"            "SetPromptEvent on"
  //   "EscapeCommFunction SetDTR" (or ClrDTR, SetRTS, ClrRTS)
  // Reads, writes, GetCommState and ClearCommError are not logged (see Written()).
  const std::vector<std::string>& Log() const { return log_; }
  void ClearLog() {
    log_.clear();
    written_.clear();
  }

  // --- State ----------------------------------------------------------------------------
  const DCB& Dcb() const { return dcb_; }
  bool PromptEvent() const { return promptEvent_; }
  bool EventsRunning() const { return bool(handler_); }
  std::uint32_t EventMask() const { return mask_; }
  const std::string& OpenedName() const { return openedName_; }
  std::uint32_t InputQueueSize() const { return inQueue_; }
  std::uint32_t OutputQueueSize() const { return outQueue_; }
  // Bytes received and not yet read.
  const std::string& Pending() const { return input_; }

  // --- CommPort -------------------------------------------------------------------------
  bool Open(const std::string& deviceName, std::uint32_t inQueue, std::uint32_t outQueue) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  int LastError() const override { return lastError_; }
  bool GetCommState(DCB& dcb) override;
  bool SetCommState(const DCB& dcb) override;
  void SetPromptEvent(bool on) override;
  bool StartEvents(std::uint32_t mask, EventHandler handler) override;
  bool ClearCommError(std::uint32_t& errors, COMSTAT& status) override;
  int Read(std::uint8_t* buffer, int count) override;
  bool Write(const std::uint8_t* bytes, int count) override;
  bool PurgeComm(std::uint32_t flags) override;
  bool EscapeCommFunction(LineFunction function) override;

 private:
  bool Fail(int error);
  void CloseNow();

  bool open_ = false;
  int lastError_ = 0;
  DCB dcb_{};  // kept across Close and Open, as a device keeps its settings
  bool promptEvent_ = false;
  std::uint32_t mask_ = 0;
  EventHandler handler_;
  std::string openedName_;
  std::uint32_t inQueue_ = 0;
  std::uint32_t outQueue_ = 0;
  std::string input_;
  char previousByte_ = 0;
  std::uint32_t errors_ = 0;
  COMSTAT status_{};
  std::vector<std::string> written_;
  std::vector<std::string> log_;
};

}  // namespace kavonet
