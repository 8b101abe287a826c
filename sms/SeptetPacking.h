#pragma once
// GSM 7-bit packing into a caller's buffer, for encoders that build a PDU in place.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kavonet::sms {

// Octets that `septetCount` septets take when packed: ceil(7n/8).
constexpr std::size_t PackedLength(std::size_t septetCount) {
  return (septetCount * 7 + 7) / 8;
}

// Packs `septets` (each masked to 7 bits) into `out`, which must hold exactly
// PackedLength(septets.size()) octets; spare bits of the last octet are zero.
void PackSeptetsInto(std::span<const std::uint8_t> septets, std::span<std::uint8_t> out);

}  // namespace kavonet::sms
