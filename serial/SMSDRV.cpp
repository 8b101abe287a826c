#include "serial/SMSDRV.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <span>

namespace kavonet {

namespace {

constexpr std::uint8_t kLineFlag = 0x0A;   // LF ends a line
constexpr std::uint8_t kFrameFlag = 0x03;  // ETX ends a frame

constexpr std::uint32_t kEventBits[] = {
    EV_BREAK,   // evBreak
    EV_CTS,     // evCTS
    EV_DSR,     // evDSR
    EV_ERR,     // evError
    EV_RING,    // evRing
    EV_RLSD,    // evRlsd
    EV_RXCHAR,  // evRxChar
    EV_RXFLAG,  // evRxFlag
    EV_TXEMPTY  // evTxEmpty
};

constexpr std::uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};

}  // namespace

std::uint32_t TC32EventType::EventMask() const {
  std::uint32_t mask = 0;
  for (int state = evBreak; state <= evTxEmpty; ++state) {
    if (Contains(static_cast<TC32EventState>(state))) mask |= kEventBits[state];
  }
  return mask;
}

std::uint32_t BaudRateValue(TBaudRate rate) {
  const auto index = static_cast<std::size_t>(rate);
  return index < std::size(kBaudRates) ? kBaudRates[index] : 0;
}

SMSDRV32::SMSDRV32(CommPort& port) : port_(port) {}

SMSDRV32::~SMSDRV32() {
  Close();
}

void SMSDRV32::SetBaudRate(TBaudRate value) {
  baudRate_ = value;
  ApplyBaudRate();
}

void SMSDRV32::SetParity(TParity value) {
  parity_ = value;
  ApplyParity();
}

void SMSDRV32::SetStopbits(TStopbits value) {
  stopbits_ = value;
  ApplyStopbits();
}

void SMSDRV32::SetDatabits(TDatabits value) {
  databits_ = value;
  ApplyDatabits();
}

bool SMSDRV32::ApplyBaudRate() {
  return ApplyLineSetting([this](DCB& dcb) { dcb.BaudRate = BaudRateValue(baudRate_); });
}

bool SMSDRV32::ApplyParity() {
  return ApplyLineSetting([this](DCB& dcb) { dcb.Parity = static_cast<std::uint8_t>(parity_); });
}

bool SMSDRV32::ApplyStopbits() {
  return ApplyLineSetting(
      [this](DCB& dcb) { dcb.StopBits = static_cast<std::uint8_t>(stopbits_); });
}

bool SMSDRV32::ApplyDatabits() {
  // da4 .. da8 stand for 4 .. 8 data bits.
  return ApplyLineSetting(
      [this](DCB& dcb) { dcb.ByteSize = static_cast<std::uint8_t>(databits_ + 4); });
}

void SMSDRV32::SetBlockType(TBlockType type) {
  cutter_.SetMode(type);
}

// Reads the port's settings, changes one field and writes them back, so that every
// setting the driver does not own stays as the device reports it.
bool SMSDRV32::ApplyLineSetting(const std::function<void(DCB&)>& change) {
  if (!Connected()) return false;
  DCB dcb;
  if (!port_.GetCommState(dcb)) return false;
  change(dcb);
  return port_.SetCommState(dcb);
}

void SMSDRV32::SetFlagCharacter(std::uint8_t flag) {
  DCB dcb;
  if (!port_.GetCommState(dcb)) return;
  dcb.EvtChar = flag;
  port_.SetCommState(dcb);
}

void SMSDRV32::Open() {
  Close();
  const auto queueSize = [](std::int32_t size) {
    return static_cast<std::uint32_t>(std::max<std::int32_t>(size, 0));
  };
  lineSettingsApplied_ = false;
  if (port_.Open(DeviceName, queueSize(ReadBufferSize), queueSize(WriteBufferSize))) {
    // All four are applied, in this order, even when one fails.
    const bool baud = ApplyBaudRate();
    const bool parity = ApplyParity();
    const bool stopbits = ApplyStopbits();
    const bool databits = ApplyDatabits();
    lineSettingsApplied_ = baud && parity && stopbits && databits;
    // EV_RXCHAR lets the driver drain a queue that fills without a flag character.
    port_.StartEvents(MonitorEvents.EventMask() | EV_RXCHAR,
                      [this](std::uint32_t eventMask) { HandleCommEvent(eventMask); });
  }
  if (OnOpen) OnOpen(*this, port_.LastError());
}

void SMSDRV32::Close() {
  if (Connected()) port_.Close();
}

bool SMSDRV32::Connected() const {
  return port_.IsOpen();
}

int SMSDRV32::WriteBlock(const std::uint8_t* bytes, int count) {
  if (bytes == nullptr || count <= 0) return 0;
  // The write is only queued, so a later transmission failure goes unnoticed; but a
  // port that refuses the bytes outright (closed, hung up, full) is reported, so the
  // caller does not take an unsent command for a sent one.
  return port_.Write(bytes, count) ? count : 0;
}

void SMSDRV32::PurgeInput() {
  port_.PurgeComm(PURGE_RXABORT | PURGE_RXCLEAR);
  cutter_.Reset();
}

void SMSDRV32::PurgeOutput() {
  port_.PurgeComm(PURGE_TXABORT | PURGE_TXCLEAR);
}

bool SMSDRV32::SetDTR(bool on) {
  return port_.EscapeCommFunction(on ? LineFunction::SetDTR : LineFunction::ClrDTR);
}

bool SMSDRV32::SetRTS(bool on) {
  return port_.EscapeCommFunction(on ? LineFunction::SetRTS : LineFunction::ClrRTS);
}

void SMSDRV32::SetHayesMode() {
  cutter_.SetMode(btHayes);
  SetFlagCharacter(kLineFlag);
  port_.SetPromptEvent(false);
}

void SMSDRV32::SetBlockMode() {
  cutter_.SetMode(btBlock);
  SetFlagCharacter(kFrameFlag);
  port_.SetPromptEvent(false);
}

// A prompt ends without a line feed: the port must report "> " as well, or the prompt
// would wait in the input queue until the next line arrives.
void SMSDRV32::SetPDUMode() {
  cutter_.SetMode(btPDU);
  SetFlagCharacter(kLineFlag);
  port_.SetPromptEvent(true);
}

void SMSDRV32::SetTextMode() {
  SetHayesMode();
}

void SMSDRV32::HandleCommEvent(std::uint32_t eventMask) {
  std::uint32_t errors = 0;
  if (!port_.ClearCommError(errors, status_)) {
    errors = 0;
    status_ = COMSTAT{};
  }
  // Bytes of a line that never ends would fill the port's queue, and whatever follows
  // them (a prompt) would be dropped: past half the queue they are read without a flag.
  const auto halfQueue = static_cast<std::uint32_t>(std::max<std::int32_t>(ReadBufferSize, 2) / 2);
  if ((eventMask & EV_RXFLAG) || ((eventMask & EV_RXCHAR) && status_.cbInQue >= halfQueue)) {
    constexpr auto kMaxQueued = static_cast<std::uint32_t>(std::numeric_limits<int>::max());
    ReadBlock(static_cast<int>(std::min(status_.cbInQue, kMaxQueued)));
  }
  if ((eventMask & EV_DSR) && OnDSRSignal) OnDSRSignal(*this, !status_.fDsrHold);
  if ((eventMask & EV_BREAK) && OnBreakSignal) OnBreakSignal(*this);
  if ((eventMask & EV_CTS) && OnCTSSignal) OnCTSSignal(*this, !status_.fCtsHold);
  if ((eventMask & EV_ERR) && OnErrorSignal) OnErrorSignal(*this, static_cast<int>(errors));
  if ((eventMask & EV_RING) && OnRingSignal) OnRingSignal(*this);
  if ((eventMask & EV_RLSD) && OnRLSDSignal) OnRLSDSignal(*this);
  if ((eventMask & EV_TXEMPTY) && OnTxEmptySignal) OnTxEmptySignal(*this);
}

// Reads in passes of at most one TBuffer until the bytes counted at the event are
// consumed, so a long burst is cut at once instead of waiting for the next flag.
void SMSDRV32::ReadBlock(int queued) {
  TBuffer buffer;
  const auto onBlock = [this](const TBuffer& block, int count) {
    if (OnRxBlock) OnRxBlock(*this, block, count);
  };
  const auto onPrompt = [this] { SetPDUMode(); };
  int remaining = queued;
  while (remaining > 0) {
    const int wanted = std::min(remaining, kBufferSize);
    const int got = std::min(port_.Read(buffer.data(), wanted), wanted);
    if (got <= 0) return;  // a failed read delivers nothing and leaves the cutter as it was
    cutter_.Feed(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)),
                 onBlock, onPrompt);
    remaining -= got;
  }
}

}  // namespace kavonet
