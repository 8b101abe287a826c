#pragma once
// Hexadecimal text as terminals write PDUs: two upper-case digits per octet.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::sim {

using Bytes = std::vector<std::uint8_t>;

std::string ToHex(const Bytes& octets);
// Upper or lower case digits; nothing for an odd length or a character that is not a digit.
std::optional<Bytes> FromHex(std::string_view text);

}  // namespace kavonet::sim
