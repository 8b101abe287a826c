#pragma once
// Wire constants of the GSM 03.40 transfer layer as this gateway uses them.

#include <cstddef>
#include <cstdint>

namespace kavonet::sms::gsm0340 {

// First octet of every SMS-SUBMIT sent: TP-MTI SMS-SUBMIT, TP-VPF relative,
// TP-SRR (status report requested), TP-RP (reply path).
inline constexpr std::uint8_t kSubmitFirstOctet = 0xB1;
// TP-UDHI in the first octet: the user data starts with a header.
inline constexpr std::uint8_t kUserDataHeaderIndicator = 0x40;
inline constexpr std::uint8_t kMessageReference = 0x00;
inline constexpr std::uint8_t kProtocolIdentifier = 0x00;
// GSM 7-bit default alphabet, no message class.
inline constexpr std::uint8_t kDataCodingDefaultAlphabet = 0x00;
// Relative validity period: 24 hours.
inline constexpr std::uint8_t kValidityPeriod24Hours = 0xA7;

// Type-of-address octets.
inline constexpr std::uint8_t kTypeInternational = 0x91;
inline constexpr std::uint8_t kTypeUnknown = 0x81;

// Filler in the high half of the last octet of an odd-length digit string.
inline constexpr std::uint8_t kSemiOctetFiller = 0x0F;

// One SMS carries at most this many 7-bit characters, or 140 octets of user data.
inline constexpr std::size_t kMaxSeptets = 160;
inline constexpr std::size_t kMaxUserDataOctets = 140;
inline constexpr std::size_t kMaxUcs2Units = kMaxUserDataOctets / 2;

// Concatenated messages: information elements of the user data header.
inline constexpr std::uint8_t kIeConcatenation8BitReference = 0x00;
inline constexpr std::uint8_t kIeConcatenation16BitReference = 0x08;
// The 6-octet header 05 00 03 ref total n leaves 153 septets (after one fill bit) or
// 67 UTF-16 units for text.
inline constexpr std::size_t kConcatenationHeaderOctets = 6;
inline constexpr std::size_t kPartSeptets = 153;
inline constexpr std::size_t kPartUcs2Units = 67;
inline constexpr std::size_t kMaxParts = 255;
// TP-DA and RP addresses hold at most 20 digits (10 octets).
inline constexpr std::size_t kMaxAddressDigits = 20;
// TP-SCTS: year, month, day, hour, minute, second, time zone.
inline constexpr std::size_t kTimeStampOctets = 7;

}  // namespace kavonet::sms::gsm0340
