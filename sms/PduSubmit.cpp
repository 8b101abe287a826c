// Building the SMS-SUBMIT and its hexadecimal text.

#include <algorithm>
#include <array>

#include "sms/CharTables.h"
#include "sms/Gsm0340.h"
#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"

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

void AppendSubmitTpdu(std::vector<std::uint8_t>& out, std::string_view destination,
                      std::string_view text) {
  const PreparedAddress prepared = PrepareAddress(destination);
  const std::string digits = EncodableDigits(prepared.digits);
  const std::string_view sent = text.substr(0, gsm0340::kMaxSeptets);

  out.push_back(gsm0340::kSubmitFirstOctet);
  out.push_back(gsm0340::kMessageReference);
  out.push_back(static_cast<std::uint8_t>(digits.size()));
  out.push_back(prepared.typeOfAddress);
  AppendSemiOctets(out, digits);
  out.push_back(gsm0340::kProtocolIdentifier);
  out.push_back(gsm0340::kDataCodingDefaultAlphabet);
  out.push_back(gsm0340::kValidityPeriod24Hours);
  out.push_back(static_cast<std::uint8_t>(sent.size()));

  std::array<std::uint8_t, gsm0340::kMaxSeptets> septets{};
  std::transform(sent.begin(), sent.end(), septets.begin(),
                 [](char c) { return TxCharTable[static_cast<unsigned char>(c)]; });
  const std::size_t userDataStart = out.size();
  out.resize(userDataStart + PackedLength(sent.size()));
  PackSeptetsInto(std::span<const std::uint8_t>(septets.data(), sent.size()),
                  std::span<std::uint8_t>(out).subspan(userDataStart));
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
  SubmitPdu pdu;
  // Largest header: 3 block octets or a 12-octet SCA field, then 16 TPDU header octets.
  pdu.octets.reserve(12 + 16 + PackedLength(std::min(text.size(), gsm0340::kMaxSeptets)));
  if (blockMode) {
    pdu.octets = {kBlockInsertSms, kBlockInsertSmsSecond, kBlockNoScAddress};
  } else if (scaInTpdu) {
    AppendScAddressField(pdu.octets, serviceCentreAddress);
    pdu.scaFieldLength = static_cast<int>(pdu.octets.size());
  }
  AppendSubmitTpdu(pdu.octets, destination, text);
  return pdu;
}

std::string PduHexText(std::span<const std::uint8_t> octets) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  std::string hex(octets.size() * 2, '\0');
  for (std::size_t i = 0; i < octets.size(); ++i) {
    hex[2 * i] = kHexDigits[octets[i] >> 4];
    hex[2 * i + 1] = kHexDigits[octets[i] & 0x0F];
  }
  return hex;
}

}  // namespace kavonet::sms
