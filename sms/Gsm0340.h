#pragma once
// Wire constants of the GSM 03.40 transfer layer as this gateway uses them.

#include <cstddef>
#include <cstdint>

namespace kavonet::sms::gsm0340 {

// First octet of every SMS-SUBMIT sent: TP-MTI SMS-SUBMIT, TP-VPF relative,
// TP-SRR (status report requested), TP-RP (reply path).
inline constexpr std::uint8_t kSubmitFirstOctet = 0xB1;
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

// One SMS carries at most this many 7-bit characters.
inline constexpr std::size_t kMaxSeptets = 160;
// TP-DA and RP addresses hold at most 20 digits (10 octets).
inline constexpr std::size_t kMaxAddressDigits = 20;
// TP-SCTS: year, month, day, hour, minute, second, time zone.
inline constexpr std::size_t kTimeStampOctets = 7;

}  // namespace kavonet::sms::gsm0340
