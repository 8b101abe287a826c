#pragma once
// TP-DCS: which alphabet the user data of a message is written in.

#include <cstdint>

namespace kavonet::sms {

enum class Alphabet : std::uint8_t { Gsm7, EightBit, Ucs2 };

namespace dcs {
// No message class, uncompressed.
inline constexpr std::uint8_t kGsm7 = 0x00;
inline constexpr std::uint8_t kUcs2 = 0x08;
}  // namespace dcs

// The alphabet of the user data. Compressed text cannot be read as characters, so it
// counts as 8-bit data; reserved values read as the default alphabet, as receivers must.
constexpr Alphabet DcsAlphabet(std::uint8_t dcs) {
  const unsigned group = dcs >> 4;
  if (group <= 0x7) {  // general data coding, with or without automatic deletion
    if ((dcs & 0x20) != 0) return Alphabet::EightBit;
    switch ((dcs >> 2) & 0x03) {
      case 1: return Alphabet::EightBit;
      case 2: return Alphabet::Ucs2;
      default: return Alphabet::Gsm7;
    }
  }
  if (group == 0xE) return Alphabet::Ucs2;  // message waiting indication, store, UCS2
  if (group == 0xF) return (dcs & 0x04) != 0 ? Alphabet::EightBit : Alphabet::Gsm7;
  return Alphabet::Gsm7;  // message waiting discard/store (default alphabet), reserved groups
}

}  // namespace kavonet::sms
