#pragma once
// Packing of 7-bit septets into octets: septet k occupies bits 7k..7k+6 of the octet
// string, least significant bit first.

#include "sim/GsmAlphabet.h"
#include "sim/Hex.h"

namespace kavonet::sim {

// Exactly ceil(7n/8) octets; unused high bits of the last octet are zero.
Bytes PackSeptets(const Septets& septets);
// The first `count` septets; the caller makes sure `octets` holds ceil(7*count/8) octets.
Septets UnpackSeptets(const Bytes& octets, std::size_t count);

constexpr std::size_t PackedLength(std::size_t septetCount) { return (septetCount * 7 + 7) / 8; }

}  // namespace kavonet::sim
