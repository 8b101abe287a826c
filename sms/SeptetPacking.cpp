// GSM 7-bit packing of the default alphabet.

#include "sms/SeptetPacking.h"

#include <algorithm>
#include <cassert>

#include "sms/PduCodec.h"

namespace kavonet::sms {

void PackSeptetsInto(std::span<const std::uint8_t> septets, std::span<std::uint8_t> packed) {
  assert(packed.size() == PackedLength(septets.size()));
  std::fill(packed.begin(), packed.end(), 0);
  for (std::size_t k = 0; k < septets.size(); ++k) {
    const unsigned septet = septets[k] & 0x7Fu;
    const std::size_t bit = 7 * k;
    const std::size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    packed[octet] = static_cast<std::uint8_t>(packed[octet] | (septet << shift));
    // A septet that starts above bit 1 spills into the next octet.
    if (shift > 1) {
      packed[octet + 1] = static_cast<std::uint8_t>(septet >> (8 - shift));
    }
  }
}

std::vector<std::uint8_t> PackSeptets(std::span<const std::uint8_t> septets) {
  std::vector<std::uint8_t> packed(PackedLength(septets.size()));
  PackSeptetsInto(septets, packed);
  return packed;
}

std::vector<std::uint8_t> UnpackSeptets(std::span<const std::uint8_t> packed, std::size_t count) {
  count = std::min(count, packed.size() * 8 / 7);
  std::vector<std::uint8_t> septets(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t bit = 7 * k;
    const std::size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = packed[octet] >> shift;
    if (shift > 1) {
      value |= static_cast<unsigned>(packed[octet + 1]) << (8 - shift);
    }
    septets[k] = static_cast<std::uint8_t>(value & 0x7Fu);
  }
  return septets;
}

}  // namespace kavonet::sms
