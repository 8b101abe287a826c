#pragma once
// Test helper: octets written as hexadecimal text, the way terminals show them.
// Spaces are ignored so vectors can be grouped by field.

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace kavonet::testing {

inline std::vector<std::uint8_t> HexOctets(std::string_view hex) {
  std::vector<std::uint8_t> octets;
  bool highHalf = true;
  for (char c : hex) {
    if (c == ' ') continue;
    std::uint8_t value = 0;
    if (c >= '0' && c <= '9') {
      value = static_cast<std::uint8_t>(c - '0');
    } else if (c >= 'A' && c <= 'F') {
      value = static_cast<std::uint8_t>(c - 'A' + 10);
    } else {
      throw std::invalid_argument("not upper-case hexadecimal");
    }
    if (highHalf) {
      octets.push_back(static_cast<std::uint8_t>(value << 4));
    } else {
      octets.back() = static_cast<std::uint8_t>(octets.back() | value);
    }
    highHalf = !highHalf;
  }
  if (!highHalf) throw std::invalid_argument("odd number of hexadecimal digits");
  return octets;
}

}  // namespace kavonet::testing
