#include "config/IniDocument.h"

#include <algorithm>
#include <limits>
#include <utility>

namespace kavonet {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return LowerAscii(x) == LowerAscii(y);
         });
}

bool IsBlankLine(std::string_view content) {
  return Trim(content).empty();
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view StripQuotes(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  const char lower = LowerAscii(c);
  if (lower >= 'a' && lower <= 'f') return lower - 'a' + 10;
  return -1;
}

std::optional<std::int32_t> ParseHex(std::string_view digits) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const char c : digits) {
    const int digit = HexDigit(c);
    if (digit < 0 || value > 0x0FFFFFFFu) return std::nullopt;
    value = (value << 4) | static_cast<std::uint32_t>(digit);
  }
  return static_cast<std::int32_t>(value);
}

std::optional<std::int32_t> ParseDecimal(std::string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  // Accumulated as a magnitude so that the most negative value fits.
  const std::uint64_t limit = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
  std::uint64_t magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > limit) return std::nullopt;
  }
  const auto signedMagnitude = static_cast<std::int64_t>(magnitude);
  return static_cast<std::int32_t>(negative ? -signedMagnitude : signedMagnitude);
}

}  // namespace

IniDocument::IniDocument(std::string_view text) {
  if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
    byteOrderMark_ = true;
    text.remove_prefix(kByteOrderMark.size());
  }
  bool endingKnown = false;
  while (!text.empty()) {
    const auto lineFeed = text.find('\n');
    std::string_view content = text.substr(0, lineFeed);
    std::string ending;
    if (lineFeed == std::string_view::npos) {
      text = {};
    } else {
      text.remove_prefix(lineFeed + 1);
      const bool carriageReturn = !content.empty() && content.back() == '\r';
      if (carriageReturn) content.remove_suffix(1);
      ending = carriageReturn ? "\r\n" : "\n";
      if (!endingKnown) newline_ = ending;
      endingKnown = true;
    }
    lines_.push_back(ParseLine(std::string(content), std::move(ending)));
  }
}

IniDocument::Line IniDocument::ParseLine(std::string content, std::string ending) {
  Line line{std::move(content), std::move(ending), LineKind::kOther, {}, 0};
  const std::string_view text = line.content;
  const auto start = text.find_first_not_of(kBlanks);
  if (start == std::string_view::npos || text[start] == ';') return line;
  if (text[start] == '[') {
    const auto close = text.rfind(']');
    if (close != std::string_view::npos && close > start) {
      line.kind = LineKind::kSection;
      line.name = Trim(text.substr(start + 1, close - start - 1));
      return line;
    }
  }
  const auto equals = text.find('=');
  if (equals == std::string_view::npos) return line;
  line.kind = LineKind::kKey;
  line.name = Trim(text.substr(0, equals));
  const auto valueStart = text.find_first_not_of(kBlanks, equals + 1);
  line.valueStart = valueStart == std::string_view::npos ? text.size() : valueStart;
  return line;
}

std::optional<std::size_t> IniDocument::FindSectionLine(std::string_view section) const {
  section = Trim(section);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::kSection && EqualNoCase(lines_[i].name, section)) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> IniDocument::FindKeyLine(std::string_view section,
                                                    std::string_view key) const {
  section = Trim(section);
  key = Trim(key);
  bool inSection = false;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Line& line = lines_[i];
    if (line.kind == LineKind::kSection) {
      inSection = EqualNoCase(line.name, section);
    } else if (inSection && line.kind == LineKind::kKey && EqualNoCase(line.name, key)) {
      return i;
    }
  }
  return std::nullopt;
}

std::optional<std::string> IniDocument::Find(std::string_view section, std::string_view key) const {
  const auto index = FindKeyLine(section, key);
  if (!index) return std::nullopt;
  const Line& line = lines_[*index];
  const std::string_view value =
      StripQuotes(Trim(std::string_view(line.content).substr(line.valueStart)));
  return std::string(value.substr(0, kMaxValueLength));
}

bool IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
  section = Trim(section);
  key = Trim(key);
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      key.find('=') != std::string_view::npos ||
      (!key.empty() && (key.front() == ';' || key.front() == '['))) {
    return false;
  }
  std::string keyLine = std::string(key) + "=" + std::string(value);
  if (const auto index = FindKeyLine(section, key)) {
    Line& line = lines_[*index];
    line.content.replace(line.valueStart, std::string::npos, value);
    return true;
  }
  if (const auto header = FindSectionLine(section)) {
    InsertLine(EndOfSection(*header), std::move(keyLine));
    return true;
  }
  if (!lines_.empty() && !IsBlankLine(lines_.back().content)) AppendLine({});
  AppendLine("[" + std::string(section) + "]");
  AppendLine(std::move(keyLine));
  return true;
}

std::size_t IniDocument::EndOfSection(std::size_t headerLine) const {
  std::size_t end = headerLine + 1;
  for (std::size_t i = headerLine + 1; i < lines_.size(); ++i) {
    if (lines_[i].kind == LineKind::kSection) break;
    if (!IsBlankLine(lines_[i].content)) end = i + 1;
  }
  return end;
}

void IniDocument::InsertLine(std::size_t index, std::string content) {
  if (index == lines_.size()) {
    AppendLine(std::move(content));
    return;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                ParseLine(std::move(content), newline_));
}

void IniDocument::AppendLine(std::string content) {
  TerminateLastLine();
  lines_.push_back(ParseLine(std::move(content), newline_));
}

void IniDocument::TerminateLastLine() {
  if (!lines_.empty() && lines_.back().ending.empty()) lines_.back().ending = newline_;
}

std::string IniDocument::Text() const {
  std::string text = byteOrderMark_ ? std::string(kByteOrderMark) : std::string();
  for (const Line& line : lines_) {
    text += line.content;
    text += line.ending;
  }
  return text;
}

std::optional<std::int32_t> ParseIniInteger(std::string_view text) {
  if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    return ParseHex(text.substr(2));
  }
  return ParseDecimal(text);
}

}  // namespace kavonet
