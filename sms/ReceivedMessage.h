#pragma once

#include <cstdint>
#include <string>

namespace kavonet::sms {

// One short message read from the terminal, as the receive queue and the receive
// log hold it. Time stamp fields are the service centre's, digits in the order
// they were transmitted.
struct ReceivedMessage {
  std::int16_t MsgIndex = 0;  // storage index in the terminal
  bool IsNew = false;         // the terminal reported it as not yet read
  std::string Origin;         // "+" for an international number, then the digits
  std::string Year, Month, Day, Hour, Minute, Second;
  std::string Text;  // CP437
  // Empty when the record held every field; otherwise says which field was cut off.
  // The fields before it are filled in, the ones after it are empty.
  std::string DecodeError;
};

}  // namespace kavonet::sms
