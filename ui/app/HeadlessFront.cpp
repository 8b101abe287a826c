#include "ui/app/HeadlessFront.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <ostream>

#include "sms/Utf8.h"

namespace kavonet::app {

std::string LogTimestamp() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const std::time_t seconds = system_clock::to_time_t(now);
  const auto millis = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  char text[32];
  const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  char fraction[8];
  std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>(millis));
  return std::string(text, length) + fraction;
}

void LogWriter::Line(std::string_view kind, std::string_view text) {
  // "\r\r" separates a box's paragraphs: one line each is enough here.
  std::string flat;
  flat.reserve(text.size());
  for (char c : text) {
    const bool lineBreak = c == '\r' || c == '\n';
    if (lineBreak && (flat.empty() || flat.back() == ' ')) continue;
    flat.push_back(lineBreak ? ' ' : c);
  }
  while (!flat.empty() && flat.back() == ' ') flat.pop_back();
  out_ << clock_() << ' ';
  if (!kind.empty()) out_ << kind << ": ";
  out_ << flat << std::endl;
}

void HeadlessFront::ErrorBox(const std::string& text) { log_.Line("error", sms::ValidUtf8(text)); }

bool HeadlessFront::WarningYesNo(const std::string& text) {
  log_.Line("warning", sms::ValidUtf8(text) + " - answered Yes");
  return true;
}

void HeadlessFront::OpenWithShell(const std::string& fileName) {
  log_.Line("", "no desktop to open " + sms::ValidUtf8(fileName) + " with");
}

void HeadlessFront::StatusTextChanged(const std::string& text) { log_.Line("", sms::ValidUtf8(text)); }

void HeadlessFront::ProblemReported(const std::string& text) { log_.Line("error", sms::ValidUtf8(text)); }

}  // namespace kavonet::app
