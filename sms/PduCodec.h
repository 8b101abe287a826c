#pragma once
// GSM 03.40 codec for the two PDUs the gateway handles: the SMS-SUBMIT it sends and
// the SMS-DELIVER it receives, in GSM 7-bit, 8-bit data or UCS2, whole or in parts.
// Text is UTF-8; pure computation.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sms/ReceivedMessage.h"

namespace kavonet::sms {

struct PreparedAddress {
  std::string digits;          // the number without a leading '+'
  std::uint8_t typeOfAddress;  // 0x91 international when it had the '+', else 0x81
};

PreparedAddress PrepareAddress(std::string_view number);

struct SubmitPdu {
  // PDU Mode: [service centre address field] + TPDU.
  // Block Mode: the Insert SMS request body 07 02 00 + TPDU.
  std::vector<std::uint8_t> octets;
  int scaFieldLength = 0;  // octets of the SCA field at the start (PDU Mode only)
  // The length AT+CMGS= wants in PDU Mode: the TPDU without the SCA field.
  int TpduLength() const { return static_cast<int>(octets.size()) - scaFieldLength; }
};

// Builds an SMS-SUBMIT with fixed parameters (status report and reply path requested,
// validity 24 hours). `text` is UTF-8. It goes out in the GSM 7-bit alphabet when it
// can (TP-DCS 00), otherwise as UCS2 (TP-DCS 08); only SingleMessageText(text) is
// sent. The SCA field is only written in PDU Mode with `scaInTpdu` set. Address
// characters other than decimal digits are dropped, and so are digits beyond the 20
// an address field holds.
SubmitPdu BuildSubmitPdu(std::string_view destination, std::string_view text,
                         std::string_view serviceCentreAddress, bool scaInTpdu, bool blockMode);

// The SMS-SUBMITs of `text` sent as a concatenated message, one per entry of
// MessagePartTexts(text), in order. Each carries the header 05 00 03 `reference`
// total n; the same `reference` must not be reused for another message to the same
// destination while its parts may still be in transit. A text one message holds
// gives the single PDU BuildSubmitPdu would, without a header.
std::vector<SubmitPdu> BuildSubmitParts(std::string_view destination, std::string_view text,
                                        std::string_view serviceCentreAddress, bool scaInTpdu,
                                        bool blockMode, std::uint8_t reference);

// GSM 7-bit packing: septet k occupies bits 7k..7k+6 of the result, least significant
// bit first. Each septet is masked to 7 bits; the result has exactly ceil(7n/8) octets.
std::vector<std::uint8_t> PackSeptets(std::span<const std::uint8_t> septets);

// The inverse of PackSeptets: the first `count` septets of `packed`, or as many as
// it holds whole.
std::vector<std::uint8_t> UnpackSeptets(std::span<const std::uint8_t> packed, std::size_t count);

// Each octet as two upper-case hexadecimal digits, no separators.
std::string PduHexText(std::span<const std::uint8_t> octets);

// 8-bit data has no characters; its text is this marker followed by the octets in
// hexadecimal.
inline constexpr std::string_view kEightBitMarker = "[8-bit data] ";

// Decodes an SMS-DELIVER: text in the alphabet TP-DCS names, the header TP-UDHI
// announces skipped, its concatenation element kept.
// Block Mode: `record` is the Message frame, `position` the offset of its message type
// octet; index and status come from the frame, followed by the SCA field and the TPDU.
// PDU Mode: the TPDU starts at `position`; index and status come from the response
// header and are passed in.
// Never reads outside `record`: a record that ends before its length fields say
// yields the fields decoded so far and a DecodeError naming the missing field.
ReceivedMessage DecodeDeliver(std::span<const std::uint8_t> record, std::size_t position,
                              bool blockMode, std::int16_t msgIndex, bool isNew);

// The three field decoders below read from `position` and leave it on the octet after
// their field, or on the end of the record when it was cut short. Each semi-octet is
// written as its decimal value; output is capped at 20 digits (plus '+').

// Service centre address: length in octets (type included), type, semi-octets.
std::string DecodeScAddress(std::span<const std::uint8_t> record, std::size_t& position);
// TP-OA: length in digits, type, semi-octets.
std::string DecodeOrigAddress(std::span<const std::uint8_t> record, std::size_t& position);
// TP-UDL and the packed GSM 7-bit user data (no header), as UTF-8.
std::string UnpackUserData(std::span<const std::uint8_t> record, std::size_t& position);

}  // namespace kavonet::sms
