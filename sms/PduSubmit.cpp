// Building the SMS-SUBMIT and its hexadecimal text.

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "sms/DataCoding.h"
#include "sms/GsmAlphabet.h"
#include "sms/Gsm0340.h"
#include "sms/MessageParts.h"
#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"
#include "sms/Utf8.h"

namespace kavonet::sms {
namespace {

// Block Mode Insert SMS request: message type, then a zero-length SCA field in place of
// the address the terminal fills in itself.
constexpr std::uint8_t kBlockInsertSms = 0x07;
constexpr std::uint8_t kBlockInsertSmsSecond = 0x02;
constexpr std::uint8_t kBlockNoScAddress = 0x00;

std::string EncodableDigits(std::string_view digits) {
  std::string kept;
  kept.reserve(std::min(digits.size(), gsm0340::kMaxAddressDigits));
  for (char c : digits) {
    if (kept.size() == gsm0340::kMaxAddressDigits) break;
    if (c >= '0' && c <= '9') kept.push_back(c);
  }
  return kept;
}

// First digit of each pair in the low half, F-filled when the count is odd.
void AppendSemiOctets(std::vector<std::uint8_t>& out, std::string_view digits) {
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const auto low = static_cast<std::uint8_t>(digits[i] - '0');
    const auto high = i + 1 < digits.size() ? static_cast<std::uint8_t>(digits[i + 1] - '0')
                                            : gsm0340::kSemiOctetFiller;
    out.push_back(static_cast<std::uint8_t>(low | (high << 4)));
  }
}

std::size_t SemiOctetCount(std::size_t digitCount) {
  return (digitCount + 1) / 2;
}

void AppendScAddressField(std::vector<std::uint8_t>& out, std::string_view address) {
  const PreparedAddress prepared = PrepareAddress(address);
  const std::string digits = EncodableDigits(prepared.digits);
  out.push_back(static_cast<std::uint8_t>(1 + SemiOctetCount(digits.size())));
  out.push_back(prepared.typeOfAddress);
  AppendSemiOctets(out, digits);
}

// TP-DCS, TP-UDL and TP-UD of one message: the header (if any) then the text.
struct UserData {
  std::uint8_t dataCoding = dcs::kGsm7;
  std::uint8_t length = 0;  // TP-UDL: septets for GSM 7-bit, octets otherwise
  std::vector<std::uint8_t> octets;
};

// The header takes whole septets: the text starts at the septet boundary after it, the
// fill bits in between stay zero. As much of the text as fits; nothing when a character
// on the way has no GSM form.
std::optional<UserData> GsmUserData(std::string_view text, std::span<const std::uint8_t> header) {
  const std::size_t headerSeptets = (header.size() * 8 + 6) / 7;
  std::array<std::uint8_t, gsm0340::kMaxSeptets> septets{};
  std::size_t count = headerSeptets;
  std::size_t pos = 0;
  while (pos < text.size() && count < septets.size()) {
    const GsmCode code = GsmEncode(NextCodePoint(text, pos));
    if (code.length == 0) return std::nullopt;
    if (count + code.length > septets.size()) break;
    for (std::uint8_t i = 0; i < code.length; ++i) septets[count++] = code.septets[i];
  }
  UserData data{dcs::kGsm7, static_cast<std::uint8_t>(count),
                std::vector<std::uint8_t>(PackedLength(count))};
  PackSeptetsInto(std::span<const std::uint8_t>(septets.data(), count), data.octets);
  std::copy(header.begin(), header.end(), data.octets.begin());
  return data;
}

void AppendUtf16Unit(std::vector<std::uint8_t>& out, unsigned unit) {
  out.push_back(static_cast<std::uint8_t>(unit >> 8));
  out.push_back(static_cast<std::uint8_t>(unit & 0xFF));
}

UserData Ucs2UserData(std::string_view text, std::span<const std::uint8_t> header) {
  UserData data{dcs::kUcs2, 0, std::vector<std::uint8_t>(header.begin(), header.end())};
  std::size_t pos = 0;
  while (pos < text.size()) {
    const char32_t character = NextCodePoint(text, pos);
    const std::size_t units = character >= 0x10000 ? 2 : 1;
    if (data.octets.size() + 2 * units > gsm0340::kMaxUserDataOctets) break;
    if (units == 1) {
      AppendUtf16Unit(data.octets, character);
    } else {
      const char32_t offset = character - 0x10000;
      AppendUtf16Unit(data.octets, 0xD800 + (offset >> 10));
      AppendUtf16Unit(data.octets, 0xDC00 + (offset & 0x3FF));
    }
  }
  data.length = static_cast<std::uint8_t>(data.octets.size());
  return data;
}

// GSM 7-bit when the text that fits has only GSM characters, otherwise UCS2.
UserData EncodeUserData(std::string_view text, std::span<const std::uint8_t> header) {
  std::optional<UserData> gsm = GsmUserData(text, header);
  return gsm ? std::move(*gsm) : Ucs2UserData(text, header);
}

void AppendSubmitTpdu(std::vector<std::uint8_t>& out, std::string_view destination,
                      const UserData& userData, bool hasHeader) {
  const PreparedAddress prepared = PrepareAddress(destination);
  const std::string digits = EncodableDigits(prepared.digits);

  out.push_back(hasHeader ? gsm0340::kSubmitFirstOctet | gsm0340::kUserDataHeaderIndicator
                          : gsm0340::kSubmitFirstOctet);
  out.push_back(gsm0340::kMessageReference);
  out.push_back(static_cast<std::uint8_t>(digits.size()));
  out.push_back(prepared.typeOfAddress);
  AppendSemiOctets(out, digits);
  out.push_back(gsm0340::kProtocolIdentifier);
  out.push_back(userData.dataCoding);
  out.push_back(gsm0340::kValidityPeriod24Hours);
  out.push_back(userData.length);
  out.insert(out.end(), userData.octets.begin(), userData.octets.end());
}

// Block Mode body or PDU Mode SCA field, then the TPDU.
SubmitPdu AssembleSubmit(std::string_view destination, const UserData& userData, bool hasHeader,
                         std::string_view serviceCentreAddress, bool scaInTpdu, bool blockMode) {
  SubmitPdu pdu;
  // Largest front: 3 block octets or a 12-octet SCA field, then 16 TPDU header octets.
  pdu.octets.reserve(12 + 16 + userData.octets.size());
  if (blockMode) {
    pdu.octets = {kBlockInsertSms, kBlockInsertSmsSecond, kBlockNoScAddress};
  } else if (scaInTpdu) {
    AppendScAddressField(pdu.octets, serviceCentreAddress);
    pdu.scaFieldLength = static_cast<int>(pdu.octets.size());
  }
  AppendSubmitTpdu(pdu.octets, destination, userData, hasHeader);
  return pdu;
}

}  // namespace

PreparedAddress PrepareAddress(std::string_view number) {
  if (!number.empty() && number.front() == '+') {
    return {std::string(number.substr(1)), gsm0340::kTypeInternational};
  }
  return {std::string(number), gsm0340::kTypeUnknown};
}

SubmitPdu BuildSubmitPdu(std::string_view destination, std::string_view text,
                         std::string_view serviceCentreAddress, bool scaInTpdu, bool blockMode) {
  const UserData userData = EncodeUserData(text, {});
  return AssembleSubmit(destination, userData, false, serviceCentreAddress, scaInTpdu, blockMode);
}

std::vector<SubmitPdu> BuildSubmitParts(std::string_view destination, std::string_view text,
                                        std::string_view serviceCentreAddress, bool scaInTpdu,
                                        bool blockMode, std::uint8_t reference) {
  const Alphabet alphabet = SendAlphabet(text);
  const std::vector<std::string_view> texts = MessagePartTexts(text, alphabet);
  std::vector<SubmitPdu> parts;
  parts.reserve(texts.size());
  if (texts.size() == 1) {
    const UserData userData = EncodeUserData(texts.front(), {});
    parts.push_back(
        AssembleSubmit(destination, userData, false, serviceCentreAddress, scaInTpdu, blockMode));
    return parts;
  }
  std::array<std::uint8_t, gsm0340::kConcatenationHeaderOctets> header = {
      gsm0340::kConcatenationHeaderOctets - 1, gsm0340::kIeConcatenation8BitReference, 3,
      reference, static_cast<std::uint8_t>(texts.size()), 0};
  for (std::size_t i = 0; i < texts.size(); ++i) {
    header.back() = static_cast<std::uint8_t>(i + 1);
    // Each part holds only characters of the alphabet chosen for the whole text.
    const UserData userData = alphabet == Alphabet::Gsm7 ? *GsmUserData(texts[i], header)
                                                         : Ucs2UserData(texts[i], header);
    parts.push_back(
        AssembleSubmit(destination, userData, true, serviceCentreAddress, scaInTpdu, blockMode));
  }
  return parts;
}

std::string PduHexText(std::span<const std::uint8_t> octets) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string hex(octets.size() * 2, '\0');
  char* out = hex.data();
  for (const std::uint8_t octet : octets) {
    *out++ = kHexDigits[octet >> 4];
    *out++ = kHexDigits[octet & 0x0F];
  }
  return hex;
}

}  // namespace kavonet::sms
