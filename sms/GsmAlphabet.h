#pragma once
// The GSM 7-bit default alphabet and its extension table, between Unicode characters
// and unpacked septets.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace kavonet::sms {

inline constexpr std::uint8_t kGsmEscape = 0x1B;

// How one character is written in the GSM alphabet: one septet, an escape and a
// septet of the extension table, or nothing (length 0) when it has no GSM form.
struct GsmCode {
  std::uint8_t length = 0;
  std::uint8_t septets[2] = {0, 0};
};

// The codes of U+0000..U+007F, for the inline look-up below.
extern const std::array<GsmCode, 128> kGsmAsciiCodes;
GsmCode GsmEncodeNonAscii(char32_t character);

inline GsmCode GsmEncode(char32_t character) {
  return character < kGsmAsciiCodes.size() ? kGsmAsciiCodes[character]
                                           : GsmEncodeNonAscii(character);
}

// The character of a septet of the default alphabet (the escape alone reads as a space).
char32_t GsmDefaultCharacter(std::uint8_t septet);

// Appends the text of `septets` as UTF-8. An escape before a code the extension table
// lacks gives that code's default character; an escape at the end gives a space.
void AppendGsmText(std::string& out, std::span<const std::uint8_t> septets);

}  // namespace kavonet::sms
