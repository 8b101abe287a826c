#pragma once
// The two transfer-layer PDUs the simulator deals in: SMS-SUBMIT, which it receives
// and decodes, and SMS-DELIVER, which it builds for the messages it stores. Plus the
// service centre address field that terminals put in front of a TPDU.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/Hex.h"

namespace kavonet::sim {

// A value, or the reason there is none.
template <class T>
struct Decoded {
  std::optional<T> value;
  std::string error;

  static Decoded Fail(std::string why) { return {std::nullopt, std::move(why)}; }
  explicit operator bool() const { return value.has_value(); }
};

struct SmsTimestamp {
  int year = 0;  // two digits, 0..99
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Where a part of a concatenated message belongs.
struct PartOf {
  unsigned reference = 0;
  unsigned total = 0;
  unsigned number = 0;
};

struct SubmitMessage {
  std::uint8_t reference = 0;
  std::string destination;  // "+" for an international number, then the digits
  std::string text;         // UTF-8
  std::optional<PartOf> part;
};

// Longest text of one message: 160 GSM septets or 70 UCS2 characters.
inline constexpr std::size_t kMaxSeptets = 160;
inline constexpr std::size_t kMaxUcs2Octets = 140;

Decoded<SubmitMessage> DecodeSubmit(const Bytes& tpdu);

// The text goes out in the GSM default alphabet when every character has a GSM form,
// otherwise as UCS2. A digit origin ("+" allowed in front) is a number; anything else
// is sent as an alphanumeric sender name of at most 11 characters.
Decoded<Bytes> EncodeDeliver(std::string_view origin, std::string_view utf8Text,
                             const SmsTimestamp& timestamp);

// Like EncodeDeliver, but a text longer than one message becomes the parts of a
// concatenated message (header 05 00 03 `reference` total n), each of at most 153 GSM
// septets or 67 UTF-16 units, never cut inside an escape or surrogate pair.
Decoded<std::vector<Bytes>> EncodeDeliverParts(std::string_view origin, std::string_view utf8Text,
                                               const SmsTimestamp& timestamp,
                                               std::uint8_t reference);

// Length octet, type of address, digits; an empty address gives the single octet 00.
Bytes EncodeScaField(std::string_view address);

}  // namespace kavonet::sim
