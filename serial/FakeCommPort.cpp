#include "serial/FakeCommPort.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>

namespace kavonet {

namespace {

std::string Hex(std::uint32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*x", digits, static_cast<unsigned>(value));
  return text;
}

const char* LineFunctionName(LineFunction function) {
  switch (function) {
    case LineFunction::SetRTS:
      return "SetRTS";
    case LineFunction::ClrRTS:
      return "ClrRTS";
    case LineFunction::SetDTR:
      return "SetDTR";
    case LineFunction::ClrDTR:
      return "ClrDTR";
  }
  return "?";
}

}  // namespace

bool FakeCommPort::Fail(int error) {
  lastError_ = error;
  return false;
}

void FakeCommPort::Receive(std::string_view bytes) {
  input_.append(bytes);
  std::uint32_t events = bytes.empty() ? 0 : std::uint32_t{EV_RXCHAR};
  for (const char byte : bytes) {
    const bool flag = static_cast<std::uint8_t>(byte) == dcb_.EvtChar;
    if (flag || (promptEvent_ && previousByte_ == '>' && byte == ' ')) events |= EV_RXFLAG;
    previousByte_ = byte;
  }
  Raise(events);
}

void FakeCommPort::SetDsrHold(bool hold) {
  status_.fDsrHold = hold;
  Raise(EV_DSR);
}

void FakeCommPort::Raise(std::uint32_t events) {
  events &= mask_;
  if (!open_ || !handler_ || events == 0) return;
  // A copy: the handler may close or reopen the port, which replaces handler_.
  const EventHandler handler = handler_;
  handler(events);
}

std::string FakeCommPort::AllWritten() const {
  std::string all;
  for (const std::string& bytes : written_) all += bytes;
  return all;
}

bool FakeCommPort::Open(const std::string& deviceName, std::uint32_t inQueue,
                        std::uint32_t outQueue) {
  CloseNow();
  if (failOpenWith != 0) {
    log_.push_back("Open " + deviceName + " failed " + std::to_string(failOpenWith));
    return Fail(failOpenWith);
  }
  log_.push_back("Open " + deviceName + " " + std::to_string(inQueue) + " " +
                 std::to_string(outQueue));
  open_ = true;
  openedName_ = deviceName;
  inQueue_ = inQueue;
  outQueue_ = outQueue;
  lastError_ = 0;
  return true;
}

void FakeCommPort::Close() {
  log_.emplace_back("Close");
  CloseNow();
}

void FakeCommPort::CloseNow() {
  open_ = false;
  handler_ = nullptr;
  mask_ = 0;
  input_.clear();  // the reader thread purges the input queue when it ends
}

bool FakeCommPort::GetCommState(DCB& dcb) {
  if (!open_) return Fail(EBADF);
  dcb = dcb_;
  return true;
}

bool FakeCommPort::SetCommState(const DCB& dcb) {
  log_.push_back("SetCommState " + std::to_string(dcb.BaudRate) + " " + std::to_string(dcb.Parity) +
                 " " + std::to_string(dcb.StopBits) + " " + std::to_string(dcb.ByteSize) + " " +
                 std::to_string(dcb.EvtChar));
  if (!open_) return Fail(EBADF);
  if (unsupportedBaudRate != 0 && dcb.BaudRate == unsupportedBaudRate) return Fail(EINVAL);
  dcb_ = dcb;
  return true;
}

void FakeCommPort::SetPromptEvent(bool on) {
  log_.push_back(on ? "SetPromptEvent on" : "SetPromptEvent off");
  promptEvent_ = on;
}

bool FakeCommPort::StartEvents(std::uint32_t mask, EventHandler handler) {
  log_.push_back("StartEvents " + Hex(mask, 2));
  if (!open_) return Fail(EBADF);
  mask_ = mask;
  handler_ = std::move(handler);
  return true;
}

bool FakeCommPort::ClearCommError(std::uint32_t& errors, COMSTAT& status) {
  if (!open_) return Fail(EBADF);
  errors = std::exchange(errors_, 0);
  status = status_;
  status.cbInQue = static_cast<std::uint32_t>(input_.size());
  status.cbOutQue = 0;
  return true;
}

int FakeCommPort::Read(std::uint8_t* buffer, int count) {
  if (!open_ || failRead || buffer == nullptr || count < 0) {
    Fail(open_ ? EIO : EBADF);
    return -1;
  }
  const auto taken = std::min(input_.size(), static_cast<std::size_t>(count));
  input_.copy(reinterpret_cast<char*>(buffer), taken);
  input_.erase(0, taken);
  return static_cast<int>(taken);
}

bool FakeCommPort::Write(const std::uint8_t* bytes, int count) {
  if (!open_) return Fail(EBADF);
  if (failWrite || bytes == nullptr || count < 0) return Fail(EIO);
  written_.emplace_back(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  return true;
}

bool FakeCommPort::PurgeComm(std::uint32_t flags) {
  log_.push_back("PurgeComm " + Hex(flags, 2));
  if (!open_) return Fail(EBADF);
  if (flags & PURGE_RXCLEAR) input_.clear();
  return true;
}

bool FakeCommPort::EscapeCommFunction(LineFunction function) {
  log_.push_back(std::string("EscapeCommFunction ") + LineFunctionName(function));
  if (!open_) return Fail(EBADF);
  return lineFunctionsWork || Fail(ENOTTY);
}

}  // namespace kavonet
