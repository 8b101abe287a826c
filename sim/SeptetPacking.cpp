#include "sim/SeptetPacking.h"

namespace kavonet::sim {

Bytes PackSeptets(const Septets& septets) {
  Bytes out(PackedLength(septets.size()), 0);
  for (std::size_t k = 0; k < septets.size(); ++k) {
    const unsigned value = septets[k] & 0x7F;
    const std::size_t bit = k * 7;
    const std::size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    out[octet] |= static_cast<std::uint8_t>(value << shift);
    if (shift > 1) out[octet + 1] |= static_cast<std::uint8_t>(value >> (8 - shift));
  }
  return out;
}

Septets UnpackSeptets(const Bytes& octets, std::size_t count) {
  Septets out;
  out.reserve(count);
  for (std::size_t k = 0; k < count; ++k) {
    const std::size_t bit = k * 7;
    const std::size_t octet = bit / 8;
    const unsigned shift = bit % 8;
    unsigned value = octets.at(octet) >> shift;
    if (shift > 1) value |= static_cast<unsigned>(octets.at(octet + 1)) << (8 - shift);
    out.push_back(static_cast<std::uint8_t>(value & 0x7F));
  }
  return out;
}

}  // namespace kavonet::sim
