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
char32_t NextCodePoint(std::string_view text, std::size_t& pos);

// Code points above U+10FFFF and surrogates are written as U+FFFD.
void AppendUtf8(std::string& out, char32_t codePoint);

// `text` with every malformed sequence replaced by U+FFFD; well-formed text is
// returned unchanged.
std::string ValidUtf8(std::string_view text);

// The first `count` characters of `text`: never ends inside a character.
std::string_view Utf8Prefix(std::string_view text, std::size_t count);

}  // namespace kavonet::sms
