#pragma once
// Test helper: octets written as hexadecimal text, the way terminals show them.
// Spaces are ignored so vectors can be grouped by field.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::testing {

inline std::vector<std::uint8_t> HexOctets(std::string_view hex) {
  std::string digits;
  for (char c : hex) {
    if (c != ' ') digits += c;
  }
  if (digits.size() % 2 != 0 || digits.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
    throw std::invalid_argument("not pairs of upper-case hexadecimal digits");
  }
  std::vector<std::uint8_t> octets;
  for (std::size_t at = 0; at < digits.size(); at += 2) {
    octets.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(at, 2), nullptr, 16)));
  }
  return octets;
}

}  // namespace kavonet::testing
