#include "serial/PosixCommPort.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <utility>

namespace kavonet {

namespace {

struct Speed {
  std::uint32_t bitsPerSecond;
  speed_t code;
};

constexpr Speed kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

const Speed* SpeedByRate(std::uint32_t bitsPerSecond) {
  for (const Speed& speed : kSpeeds) {
    if (speed.bitsPerSecond == bitsPerSecond) return &speed;
  }
  return nullptr;
}

std::uint32_t RateOf(speed_t code) {
  for (const Speed& speed : kSpeeds) {
    if (speed.code == code) return speed.bitsPerSecond;
  }
  return 0;
}

constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};

// DCB parity values: none, odd, even, mark, space.
constexpr std::uint8_t kNoParity = 0, kOdd = 1, kEven = 2, kMark = 3, kSpace = 4;
constexpr std::uint8_t kOneStopBit = 0, kOneAndAHalfStopBits = 1, kTwoStopBits = 2;

std::uint8_t ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) return kNoParity;
  if (cflag & CMSPAR) return (cflag & PARODD) ? kMark : kSpace;
  return (cflag & PARODD) ? kOdd : kEven;
}

// The control flags for `dcb`, or false when it asks for something a terminal cannot do.
bool ControlFlagsFor(const DCB& dcb, tcflag_t& cflag) {
  if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > kSpace) return false;
  if (dcb.StopBits > kTwoStopBits) return false;
  // A UART sends 1.5 stop bits when asked for two with 5 data bits, and only then.
  if (dcb.StopBits == kOneAndAHalfStopBits && dcb.ByteSize != 5) return false;
  cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  cflag |= kSizes[dcb.ByteSize - 5] | CLOCAL | CREAD;
  if (dcb.StopBits != kOneStopBit) cflag |= CSTOPB;
  switch (dcb.Parity) {
    case kOdd:
      cflag |= PARENB | PARODD;
      break;
    case kEven:
      cflag |= PARENB;
      break;
    case kMark:
      cflag |= PARENB | CMSPAR | PARODD;
      break;
    case kSpace:
      cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  return true;
}

// Linux numbers the slaves of pseudo-terminals in these majors.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

bool IsPseudoTerminal(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return false;
  const unsigned deviceMajor = major(status.st_rdev);
  return deviceMajor >= kFirstPtySlaveMajor && deviceMajor <= kLastPtySlaveMajor;
}

int ModemLineBit(LineFunction function) {
  switch (function) {
    case LineFunction::SetRTS:
    case LineFunction::ClrRTS:
      return TIOCM_RTS;
    case LineFunction::SetDTR:
    case LineFunction::ClrDTR:
      return TIOCM_DTR;
  }
  return 0;
}

}  // namespace

PosixCommPort::PosixCommPort(EventLoop& loop, DeviceResolver resolveDevice)
    : loop_(loop), resolveDevice_(std::move(resolveDevice)) {}

PosixCommPort::~PosixCommPort() {
  Close();
}

bool PosixCommPort::Fail(int error) {
  lastError_ = error;
  return false;
}

bool PosixCommPort::Open(const std::string& deviceName, std::uint32_t inQueue,
                         std::uint32_t outQueue) {
  Close();
  devicePath_ = resolveDevice_ ? resolveDevice_(deviceName) : deviceName;
  const int fd = open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail(errno);
  const auto giveUp = [this, fd](int error) {
    close(fd);
    return Fail(error);
  };
  // TIOCEXCL keeps other users out, but root passes it; the lock stops a second
  // gateway whoever runs it.
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) return giveUp(errno == EWOULDBLOCK ? EBUSY : errno);
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return giveUp(errno);
  cfmakeraw(&settings);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return giveUp(errno);
  if (IsPseudoTerminal(fd)) {
    // The exclusive flag belongs to the terminal, and a pseudo-terminal lives as long as
    // its other side: set by a gateway that was killed, it would refuse every later open
    // but root's for good. The lock alone keeps gateways apart here, and a flag left
    // behind is cleared.
    ioctl(fd, TIOCNXCL);
  } else if (ioctl(fd, TIOCEXCL) != 0) {
    return giveUp(errno);
  }

  fd_ = fd;
  hasModemLines_ = ioctl(fd, TIOCMGET, &lines_) == 0;
  previousByte_ = 0;
  {
    std::lock_guard guard(mutex_);
    input_.clear();
    output_.clear();
    inputLimit_ = std::max(inQueue, kMinimumInputQueue);
    outputLimit_ = std::max(outQueue, kMinimumOutputQueue);
    input_.reserve(inputLimit_);
    errors_ = 0;
    overruns_ = 0;
    deadError_ = 0;
    dsrHold_ = hasModemLines_ && !(lines_ & TIOCM_DSR);
    ctsHold_ = hasModemLines_ && !(lines_ & TIOCM_CTS);
  }
  lastError_ = 0;
  return true;
}

void PosixCommPort::Close() {
  if (fd_ < 0) return;
  thread_.reset();  // joins the reader; a hand-off it is waiting in is abandoned
  // The exclusive flag belongs to the terminal, not to this descriptor: clear it, or a
  // pseudo-terminal whose other side stays open would refuse the next Open.
  ioctl(fd_, TIOCNXCL);
  close(fd_);
  fd_ = -1;
  std::lock_guard guard(mutex_);
  input_.clear();
  output_.clear();
}

bool PosixCommPort::GetCommState(DCB& dcb) {
  if (fd_ < 0) return Fail(EBADF);
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0) return Fail(errno);
  dcb.BaudRate = RateOf(cfgetospeed(&settings));
  dcb.Parity = ParityOf(settings.c_cflag);
  const tcflag_t size = settings.c_cflag & CSIZE;
  dcb.ByteSize = size == CS5 ? 5 : size == CS6 ? 6 : size == CS7 ? 7 : 8;
  if (!(settings.c_cflag & CSTOPB)) {
    dcb.StopBits = kOneStopBit;
  } else {
    dcb.StopBits = dcb.ByteSize == 5 ? kOneAndAHalfStopBits : kTwoStopBits;
  }
  dcb.EvtChar = evtChar_;
  return true;
}

bool PosixCommPort::SetCommState(const DCB& dcb) {
  if (fd_ < 0) return Fail(EBADF);
  termios settings{};
  if (tcgetattr(fd_, &settings) != 0) return Fail(errno);
  const Speed* speed = SpeedByRate(dcb.BaudRate);
  if (speed == nullptr || !ControlFlagsFor(dcb, settings.c_cflag)) return Fail(EINVAL);
  if (cfsetispeed(&settings, speed->code) != 0 || cfsetospeed(&settings, speed->code) != 0) {
    return Fail(errno);
  }
  if (tcsetattr(fd_, TCSANOW, &settings) != 0) return Fail(errno);
  evtChar_ = dcb.EvtChar;
  return true;
}

bool PosixCommPort::StartEvents(std::uint32_t mask, EventHandler handler) {
  if (fd_ < 0) return Fail(EBADF);
  thread_.reset();
  thread_ = std::make_unique<TC32Thread>(loop_, static_cast<TC32Thread::Device&>(*this), mask,
                                         std::move(handler));
  return thread_->Running() || Fail(errno);
}

bool PosixCommPort::ClearCommError(std::uint32_t& errors, COMSTAT& status) {
  if (fd_ < 0) return Fail(EBADF);
  std::lock_guard guard(mutex_);
  errors = std::exchange(errors_, 0);
  status.fCtsHold = ctsHold_;
  status.fDsrHold = dsrHold_;
  status.cbInQue = static_cast<std::uint32_t>(input_.size());
  status.cbOutQue = static_cast<std::uint32_t>(output_.size());
  return true;
}

int PosixCommPort::Read(std::uint8_t* buffer, int count) {
  if (fd_ < 0 || buffer == nullptr || count < 0) {
    Fail(fd_ < 0 ? EBADF : EINVAL);
    return -1;
  }
  std::lock_guard guard(mutex_);
  const auto taken = std::min(input_.size(), static_cast<std::size_t>(count));
  std::copy_n(input_.begin(), taken, buffer);
  input_.erase(input_.begin(), input_.begin() + static_cast<std::ptrdiff_t>(taken));
  return static_cast<int>(taken);
}

bool PosixCommPort::Write(const std::uint8_t* bytes, int count) {
  if (fd_ < 0) return Fail(EBADF);
  if (bytes == nullptr || count < 0) return Fail(EINVAL);
  bool queued = false;
  {
    std::lock_guard guard(mutex_);
    if (deadError_ != 0) return Fail(deadError_);
    if (output_.size() + static_cast<std::size_t>(count) > outputLimit_) return Fail(ENOBUFS);
    // Bytes go out in order through output_, which is empty in the common case, so the
    // write is tried at once and only a remainder waits for the reader thread.
    output_.insert(output_.end(), bytes, bytes + count);
    WriteOut();
    if (deadError_ != 0) return Fail(deadError_);
    queued = !output_.empty();
  }
  if (queued && thread_) thread_->Wake();
  return true;
}

void PosixCommPort::WriteOut() {
  while (!output_.empty()) {
    const ssize_t written = write(fd_, output_.data(), output_.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return;
      // The device refuses output for good; keeping it would make poll report POLLOUT
      // (or POLLERR) forever.
      deadError_ = errno;
      lastError_ = errno;
      output_.clear();
      return;
    }
    output_.erase(output_.begin(), output_.begin() + written);
  }
}

bool PosixCommPort::PurgeComm(std::uint32_t flags) {
  if (fd_ < 0) return Fail(EBADF);
  std::lock_guard guard(mutex_);
  if (flags & PURGE_RXCLEAR) {
    input_.clear();
    tcflush(fd_, TCIFLUSH);
  }
  if (flags & PURGE_TXCLEAR) {
    output_.clear();
    tcflush(fd_, TCOFLUSH);
  }
  return true;
}

bool PosixCommPort::EscapeCommFunction(LineFunction function) {
  if (fd_ < 0) return Fail(EBADF);
  int bit = ModemLineBit(function);
  const bool set = function == LineFunction::SetDTR || function == LineFunction::SetRTS;
  if (ioctl(fd_, set ? TIOCMBIS : TIOCMBIC, &bit) != 0) return Fail(errno);
  return true;
}

std::uint64_t PosixCommPort::OverrunCount() const {
  std::lock_guard guard(mutex_);
  return overruns_;
}

bool PosixCommPort::OutputPending() {
  std::lock_guard guard(mutex_);
  return !output_.empty();
}

void PosixCommPort::FlushOutput() {
  std::lock_guard guard(mutex_);
  WriteOut();
}

int PosixCommPort::TakeInput(std::uint32_t& events) {
  std::array<std::uint8_t, 4096> chunk;
  const ssize_t got = read(fd_, chunk.data(), chunk.size());
  if (got < 0) {
    if (errno == EAGAIN || errno == EINTR) return 0;
    lastError_ = errno;
    return -1;
  }
  if (got == 0) return -1;  // end of file: the terminal hung up

  events |= EV_RXCHAR;
  const std::uint8_t flag = evtChar_;
  const bool prompt = promptEvent_;
  for (ssize_t i = 0; i < got; ++i) {
    const std::uint8_t byte = chunk[i];
    if (byte == flag || (prompt && previousByte_ == '>' && byte == ' ')) events |= EV_RXFLAG;
    previousByte_ = byte;
  }

  std::lock_guard guard(mutex_);
  const auto fits = std::min(static_cast<std::size_t>(got), inputLimit_ - input_.size());
  input_.insert(input_.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(fits));
  if (fits < static_cast<std::size_t>(got)) {
    overruns_ += static_cast<std::size_t>(got) - fits;
    errors_ |= CE_RXOVER;
    events |= EV_ERR;
  }
  return static_cast<int>(got);
}

void PosixCommPort::SampleLines(std::uint32_t& events) {
  if (!hasModemLines_) return;
  int lines = 0;
  if (ioctl(fd_, TIOCMGET, &lines) != 0) return;
  const int changed = lines ^ lines_;
  lines_ = lines;
  if (changed & TIOCM_DSR) events |= EV_DSR;
  if (changed & TIOCM_CTS) events |= EV_CTS;
  if (changed & TIOCM_CD) events |= EV_RLSD;
  if (changed & TIOCM_RNG) events |= EV_RING;
  std::lock_guard guard(mutex_);
  dsrHold_ = !(lines & TIOCM_DSR);
  ctsHold_ = !(lines & TIOCM_CTS);
}

void PosixCommPort::Stopped() {
  std::lock_guard guard(mutex_);
  input_.clear();
  tcflush(fd_, TCIFLUSH);
}

}  // namespace kavonet
