#include "sms/MessageLog.h"

#include <array>
#include <cstdio>
#include <memory>

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

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

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

std::string LogBytes(std::string_view line) { return ValidUtf8(line) + "\r\n"; }

}  // namespace

bool AppendLogLine(const std::filesystem::path& file, std::string_view line) {
  try {
    const std::string bytes = LogBytes(line);
    std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file.c_str(), "ab"));
    if (!stream) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), stream.get()) == bytes.size();
    return std::fclose(stream.release()) == 0 && written;
  } catch (...) {
    return false;
  }
}

bool LogEndsWith(const std::filesystem::path& file, std::string_view line) {
  try {
    const std::string bytes = LogBytes(line);
    std::unique_ptr<std::FILE, FileCloser> stream(std::fopen(file.c_str(), "rb"));
    if (!stream || std::fseek(stream.get(), 0, SEEK_END) != 0) return false;
    const long size = std::ftell(stream.get());
    const auto length = static_cast<long>(bytes.size());
    if (size < length || std::fseek(stream.get(), size - length, SEEK_SET) != 0) return false;
    std::string tail(bytes.size(), '\0');
    return std::fread(tail.data(), 1, tail.size(), stream.get()) == tail.size() && tail == bytes;
  } catch (...) {
    return false;
  }
}

}  // namespace kavonet::sms
