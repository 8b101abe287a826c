#include "sms/MessageLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <utility>

#include "sms/MessageParts.h"
#include "sms/Utf8.h"

namespace kavonet::sms {
namespace {

constexpr std::size_t kDestinationWidth = 16;
constexpr std::size_t kOriginWidth = 15;
// Locales whose long time has no leading zero ("9:05:03 AM") are 10 characters long
// before ten o'clock.
constexpr std::size_t kUnpaddedTimeLength = 10;

void AppendPadded(std::string& line, std::string_view field, std::size_t width) {
  line.append(field);
  if (field.size() < width) line.append(width - field.size(), ' ');
}

}  // namespace

std::string TransmitLogLine(std::string_view destinationDigits, std::string_view date,
                            std::string_view time, std::string_view text, std::size_t parts) {
  if (!destinationDigits.empty() && destinationDigits.front() == '+') {
    destinationDigits.remove_prefix(1);
  }
  std::string line;
  AppendPadded(line, destinationDigits, kDestinationWidth);
  line.push_back(' ');
  line.append(date);
  line.push_back(' ');
  if (time.size() == kUnpaddedTimeLength) line.push_back('0');
  line.append(time);
  line.push_back(' ');
  if (parts > 1) {
    line += "[" + std::to_string(parts) + " parts] ";
    line.append(text);
  } else {
    line.append(SingleMessageText(text));
  }
  line.push_back(' ');
  return line;
}

std::string ReceiveLogLine(const ReceivedMessage& message) {
  return ReceiveLogLine(message.Origin, message.Day + '-' + message.Month + '-' + message.Year,
                        message.Hour + ':' + message.Minute + ':' + message.Second, message.Text);
}

std::string ReceiveLogLine(std::string_view origin, std::string_view date, std::string_view time,
                           std::string_view text) {
  std::string line;
  AppendPadded(line, origin, kOriginWidth);
  line += ' ';
  line += date;
  line += ' ';
  line += time;
  line += ' ';
  line += text;
  return line;
}

std::string FormatLocalTime(std::time_t t, const char* format) {
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  std::array<char, 256> buffer{};
  const std::size_t length = std::strftime(buffer.data(), buffer.size(), format, &local);
  return ValidUtf8(std::string_view(buffer.data(), length));
}

std::string LocaleShortDate(std::time_t t) {
  return FormatLocalTime(t, "%x");
}

std::string LocaleLongTime(std::time_t t) {
  return FormatLocalTime(t, "%X");
}

namespace {

// One record is one line: a control character in a text (CR LF, ESC, a C1 control) would
// start a forged line or drive the terminal of whoever views the log, so it is written
// as an escape instead.
std::string EscapedControls(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\r') {
      out += "\\r";
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte < 0x20 || byte == 0x7F) {
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
      const auto code = static_cast<unsigned char>(text[++i]);
      out += {'\\', 'u', '0', '0', kHex[code >> 4], kHex[code & 15]};
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::string LogBytes(std::string_view line) { return EscapedControls(ValidUtf8(line)) + "\r\n"; }

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

}  // namespace

bool AppendLogLine(const std::filesystem::path& file, std::string_view line) {
  try {
    const std::string bytes = LogBytes(line);
    // Not through a symbolic link: whoever can write the directory could point it anywhere.
    Descriptor fd(::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666));
    struct stat status {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    // One write, whole or not at all: a line cut by a full disk or a size limit would have
    // the next record appended to it.
    ssize_t written = -1;
    do {
      written = ::write(fd.Get(), bytes.data(), bytes.size());
    } while (written < 0 && errno == EINTR);
    if (written != static_cast<ssize_t>(bytes.size())) {
      if (written > 0) {
        // Back to where the file ended; if even that fails, nothing more can be done here.
        [[maybe_unused]] const int cut = ::ftruncate(fd.Get(), status.st_size);
      }
      return false;
    }
    return fd.Close();
  } catch (...) {
    return false;
  }
}

namespace {

bool EndsWithBytes(const std::filesystem::path& file, const std::string& bytes) {
  try {
    Descriptor fd(::open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const auto length = static_cast<off_t>(bytes.size());
    if (status.st_size < length) return false;
    std::string tail(bytes.size(), '\0');
    return ::pread(fd.Get(), tail.data(), tail.size(), status.st_size - length) == length &&
           tail == bytes;
  } catch (...) {
    return false;
  }
}

}  // namespace

std::size_t LinesLoggedAtEnd(const std::filesystem::path& file, const std::vector<std::string>& lines) {
  std::string bytes;
  std::vector<std::string> prefixes;
  for (const std::string& line : lines) prefixes.push_back(bytes += LogBytes(line));
  for (std::size_t count = lines.size(); count > 0; --count) {
    if (EndsWithBytes(file, prefixes[count - 1])) return count;
  }
  return 0;
}

}  // namespace kavonet::sms
