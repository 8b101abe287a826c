#pragma once
// The two Unicode forms the simulator meets: UTF-8 on its control channel and in the
// journal, UTF-16 big-endian ("UCS2") in the user data of messages.

#include <cstdint>
#include <string>
#include <string_view>

#include "sim/Hex.h"

namespace kavonet::sim {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Malformed sequences become U+FFFD, one per offending byte.
std::u32string DecodeUtf8(std::string_view text);
std::string EncodeUtf8(std::u32string_view text);

// Characters outside the basic plane become surrogate pairs.
Bytes EncodeUtf16Be(std::u32string_view text);
// An odd last octet and unpaired surrogates become U+FFFD.
std::u32string DecodeUtf16Be(const Bytes& octets);

}  // namespace kavonet::sim
