#pragma once
// The platform operations the serial driver needs, behind one interface: a POSIX
// implementation on termios (PosixCommPort) and a scripted fake for tests (FakeCommPort).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kavonet {

// Event mask bits, with the values the driver has always used.
enum : std::uint32_t {
  EV_RXCHAR = 0x0001,
  EV_RXFLAG = 0x0002,
  EV_TXEMPTY = 0x0004,
  EV_CTS = 0x0008,
  EV_DSR = 0x0010,
  EV_RLSD = 0x0020,
  EV_BREAK = 0x0040,
  EV_ERR = 0x0080,
  EV_RING = 0x0100,
};

// Purge flags.
enum : std::uint32_t {
  PURGE_TXABORT = 0x0001,
  PURGE_RXABORT = 0x0002,
  PURGE_TXCLEAR = 0x0004,
  PURGE_RXCLEAR = 0x0008,
};

// Modem line functions.
enum class LineFunction { SetRTS = 3, ClrRTS = 4, SetDTR = 5, ClrDTR = 6 };

// The line settings the driver changes (a device control block).
struct DCB {
  std::uint32_t BaudRate = 9600;
  std::uint8_t Parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
  std::uint8_t StopBits = 0;  // 0 one, 1 one and a half, 2 two
  std::uint8_t ByteSize = 8;
  std::uint8_t EvtChar = 0;   // the flag character: its arrival raises EV_RXFLAG
};

// What ClearCommError reports besides the error bits.
struct COMSTAT {
  bool fCtsHold = false;
  bool fDsrHold = false;
  std::uint32_t cbInQue = 0;
  std::uint32_t cbOutQue = 0;
};

class CommPort {
 public:
  // Called on the event loop's thread with one event mask at a time, in arrival order.
  using EventHandler = std::function<void(std::uint32_t eventMask)>;

  virtual ~CommPort() = default;

  // Opens `deviceName` exclusively; false (with LastError set) when it is missing or in use.
  virtual bool Open(const std::string& deviceName, std::uint32_t inQueue,
                    std::uint32_t outQueue) = 0;
  // Stops the event thread (never deadlocks on a pending hand-off) and closes the device.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  virtual int LastError() const = 0;  // errno of the last failed operation

  virtual bool GetCommState(DCB& dcb) = 0;
  virtual bool SetCommState(const DCB& dcb) = 0;
  // While on, the arrival of '>' followed by a space also raises EV_RXFLAG: a PDU Mode
  // prompt ends with no line feed, and without this it would never be read.
  virtual void SetPromptEvent(bool on) = 0;

  // Starts the reader thread that waits for the events in `mask` and hands each mask to
  // `handler` on the loop thread, waiting until the handler has run.
  virtual bool StartEvents(std::uint32_t mask, EventHandler handler) = 0;

  virtual bool ClearCommError(std::uint32_t& errors, COMSTAT& status) = 0;
  // Reads up to `count` bytes already received; -1 on failure.
  virtual int Read(std::uint8_t* buffer, int count) = 0;
  // Queues bytes for transmission without blocking; false on failure.
  virtual bool Write(const std::uint8_t* bytes, int count) = 0;
  virtual bool PurgeComm(std::uint32_t flags) = 0;
  virtual bool EscapeCommFunction(LineFunction function) = 0;
};

}  // namespace kavonet
