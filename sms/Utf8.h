#pragma once
// Message text is UTF-8 everywhere inside the gateway. Text from outside (clients,
// the configuration file) may be malformed; these helpers read it without trusting it.

#include <cstddef>
#include <string>
#include <string_view>

namespace kavonet::sms {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the character at `pos` and advances past it. A malformed sequence gives
// U+FFFD and is skipped up to its first offending byte, so a truncated character
// costs one replacement, not one per byte. `pos` must be inside `text`.
char32_t NextMultiByteCodePoint(std::string_view text, std::size_t& pos);
// Inline: most message text is ASCII, and every encoder walks it character by character.
inline char32_t NextCodePoint(std::string_view text, std::size_t& pos) {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  if (lead >= 0xC2 && lead <= 0xDF && pos + 1 < text.size()) {  // two bytes: Latin, Cyrillic
    const auto trail = static_cast<unsigned char>(text[pos + 1]);
    if ((trail & 0xC0) == 0x80) {
      pos += 2;
      return static_cast<char32_t>((lead & 0x1Fu) << 6 | (trail & 0x3Fu));
    }
  }
  return NextMultiByteCodePoint(text, pos);
}

// Code points above U+10FFFF and surrogates are written as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// `text` with every malformed sequence replaced by U+FFFD; well-formed text is
// returned unchanged.
std::string ValidUtf8(std::string_view text);

// The first `count` characters of `text`: never ends inside a character.
std::string_view Utf8Prefix(std::string_view text, std::size_t count);

}  // namespace kavonet::sms
