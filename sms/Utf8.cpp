#include "sms/Utf8.h"

namespace kavonet::sms {

char32_t NextMultiByteCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos++]);

  std::size_t length = 0;
  char32_t codePoint = 0;
  unsigned char lowest = 0x80;   // bounds of the second byte, excluding overlongs,
  unsigned char highest = 0xBF;  // surrogates and values past U+10FFFF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0Fu;
    if (lead == 0xE0) lowest = 0xA0;
    if (lead == 0xED) highest = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07u;
    if (lead == 0xF0) lowest = 0x90;
    if (lead == 0xF4) highest = 0x8F;
  } else {
    return kReplacementCharacter;
  }

  for (std::size_t i = 1; i < length; ++i) {
    if (pos >= text.size()) return kReplacementCharacter;
    const auto byte = static_cast<unsigned char>(text[pos]);
    if (byte < lowest || byte > highest) return kReplacementCharacter;
    lowest = 0x80;
    highest = 0xBF;
    codePoint = (codePoint << 6) | (byte & 0x3Fu);
    ++pos;
  }
  return codePoint;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if ((codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
    codePoint = kReplacementCharacter;
  }
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

std::string ValidUtf8(std::string_view text) {
  std::string valid;
  valid.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t start = pos;
    const char32_t codePoint = NextCodePoint(text, pos);
    if (codePoint == kReplacementCharacter) {
      AppendUtf8(valid, kReplacementCharacter);
    } else {
      valid.append(text.substr(start, pos - start));
    }
  }
  return valid;
}

std::string_view Utf8Prefix(std::string_view text, std::size_t count) {
  std::size_t pos = 0;
  for (std::size_t n = 0; n < count && pos < text.size(); ++n) NextCodePoint(text, pos);
  return text.substr(0, pos);
}

}  // namespace kavonet::sms
