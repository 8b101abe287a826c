// GSM 7-bit packing of the default alphabet.

#include "sms/SeptetPacking.h"

#include <algorithm>
#include <cassert>

#include "sms/PduCodec.h"

namespace kavonet::sms {

void PackSeptetsInto(std::span<const std::uint8_t> septets, std::span<std::uint8_t> packed) {
  assert(packed.size() == PackedLength(septets.size()));
  // Septets go into the low end of an accumulator; whole octets leave from there.
  std::uint32_t bits = 0;
  unsigned held = 0;
  std::size_t octet = 0;
  for (const std::uint8_t septet : septets) {
    bits |= static_cast<std::uint32_t>(septet & 0x7Fu) << held;
    held += 7;
    if (held >= 8) {
      packed[octet++] = static_cast<std::uint8_t>(bits);
      bits >>= 8;
      held -= 8;
    }
  }
  if (held > 0) packed[octet] = static_cast<std::uint8_t>(bits);
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
