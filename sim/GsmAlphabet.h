#pragma once
// The GSM 7-bit default alphabet and its extension table, to and from Unicode.
// Septet values here are unpacked, one per element.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::sim {

using Septets = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kGsmEscape = 0x1B;

// Extension characters take two septets (escape + code). Nothing when a character has
// no GSM form at all.
std::optional<Septets> EncodeGsm7(std::u32string_view text);
// An escape followed by a code the extension table lacks gives the code's default
// character; a trailing escape gives a space.
std::u32string DecodeGsm7(const Septets& septets);

}  // namespace kavonet::sim
