#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "sms/DataCoding.h"

namespace kavonet::sms {

// The concatenation element of a message that is one part of a longer one.
struct Concatenation {
  std::uint16_t Reference = 0;  // the same for every part of one message from one sender
  bool WideReference = false;   // a 16-bit reference (information element 08)
  std::uint8_t Total = 0;       // parts in the message, 1..255
  std::uint8_t Part = 0;        // this part's number, 1..Total

  friend bool operator==(const Concatenation&, const Concatenation&) = default;
};

// One short message read from the terminal, as the receive queue and the receive
// log hold it. Time stamp fields are the service centre's, digits in the order
// they were transmitted.
struct ReceivedMessage {
  std::int16_t MsgIndex = 0;  // storage index in the terminal
  bool IsNew = false;         // the terminal reported it as not yet read
  std::string Origin;         // "+" for an international number, then the digits
  std::string Year, Month, Day, Hour, Minute, Second;
  // UTF-8. 8-bit data has no characters: it is shown as hexadecimal after a marker.
  std::string Text;
  // Empty when the record held every field; otherwise says which field was cut off.
  // The fields before it are filled in, the ones after it are empty.
  std::string DecodeError;
  Alphabet Coding = Alphabet::Gsm7;
  std::optional<Concatenation> Concat;  // only for a part of a concatenated message
};

}  // namespace kavonet::sms
