#include "sim/SmsPdu.h"

#include "sim/GsmAlphabet.h"
#include "sim/SeptetPacking.h"
#include "sim/Unicode.h"

namespace kavonet::sim {
namespace {

constexpr std::uint8_t kTypeInternational = 0x91;
constexpr std::uint8_t kTypeUnknown = 0x81;
constexpr std::uint8_t kTypeAlphanumeric = 0xD0;
constexpr std::size_t kMaxAddressDigits = 20;
constexpr std::size_t kMaxSenderName = 11;

// Reads a TPDU front to back; every read names the field it wanted, so a short PDU
// reports what was missing.
class PduReader {
 public:
  explicit PduReader(const Bytes& octets) : octets_(octets) {}

  bool Octet(const char* field, std::uint8_t& out) {
    if (position_ >= octets_.size()) return Fail(field);
    out = octets_[position_++];
    return true;
  }
  bool Take(const char* field, std::size_t count, Bytes& out) {
    if (octets_.size() - position_ < count) return Fail(field);
    out.assign(octets_.begin() + static_cast<std::ptrdiff_t>(position_),
               octets_.begin() + static_cast<std::ptrdiff_t>(position_ + count));
    position_ += count;
    return true;
  }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(const char* field) {
    error_ = std::string("PDU too short, cannot read ") + field;
    return false;
  }

  const Bytes& octets_;
  std::size_t position_ = 0;
  std::string error_;
};

char SemiOctetChar(unsigned value) {
  static constexpr char kChars[] = "0123456789*#abc";
  return value < 15 ? kChars[value] : '?';
}

std::optional<unsigned> SemiOctetValue(char c) {
  if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
  if (c == '*') return 10u;
  if (c == '#') return 11u;
  return std::nullopt;
}

std::string DecodeDigits(const Bytes& octets, std::size_t digitCount) {
  std::string digits;
  for (std::size_t i = 0; i < digitCount; ++i) {
    const std::uint8_t octet = octets[i / 2];
    digits.push_back(SemiOctetChar(i % 2 == 0 ? octet & 0x0F : octet >> 4));
  }
  return digits;
}

bool ReadAddress(PduReader& reader, std::string& out) {
  std::uint8_t length = 0;
  std::uint8_t type = 0;
  Bytes value;
  if (!reader.Octet("TP-DA length", length) || !reader.Octet("TP-DA type", type) ||
      !reader.Take("TP-DA digits", (length + 1u) / 2, value)) {
    return false;
  }
  if ((type & 0x70) == 0x50) {  // alphanumeric: septets filling `length` semi-octets
    out = EncodeUtf8(DecodeGsm7(UnpackSeptets(value, value.size() * 8 / 7)));
  } else {
    out = (type == kTypeInternational ? "+" : "") + DecodeDigits(value, length);
  }
  return true;
}

std::size_t ValidityPeriodLength(std::uint8_t firstOctet) {
  switch ((firstOctet >> 3) & 0x03) {
    case 0: return 0;   // not present
    case 2: return 1;   // relative
    default: return 7;  // enhanced or absolute
  }
}

enum class Alphabet { kGsm7, kEightBit, kUcs2 };

Alphabet AlphabetOf(std::uint8_t dcs) {
  if ((dcs & 0xC0) == 0x00 || (dcs & 0xC0) == 0x40) {  // general data coding
    switch ((dcs >> 2) & 0x03) {
      case 1: return Alphabet::kEightBit;
      case 2: return Alphabet::kUcs2;
      default: return Alphabet::kGsm7;
    }
  }
  if ((dcs & 0xF0) == 0xF0) return (dcs & 0x04) ? Alphabet::kEightBit : Alphabet::kGsm7;
  if ((dcs & 0xF0) == 0xE0) return Alphabet::kUcs2;
  return Alphabet::kGsm7;
}

// 8-bit data has no text form; it is shown as hexadecimal.
bool ReadUserData(PduReader& reader, std::uint8_t firstOctet, std::uint8_t dcs,
                  std::string& text) {
  std::uint8_t length = 0;
  if (!reader.Octet("TP-UDL", length)) return false;
  const bool hasHeader = (firstOctet & 0x40) != 0;
  const Alphabet alphabet = AlphabetOf(dcs);
  Bytes data;
  if (alphabet == Alphabet::kGsm7) {
    if (length > kMaxSeptets) length = kMaxSeptets;
    if (!reader.Take("TP-UD", PackedLength(length), data)) return false;
    Septets septets = UnpackSeptets(data, length);
    std::size_t skip = 0;
    if (hasHeader && !data.empty()) skip = ((data[0] + 1u) * 8 + 6) / 7;
    septets.erase(septets.begin(), septets.begin() + std::min(skip, septets.size()));
    text = EncodeUtf8(DecodeGsm7(septets));
    return true;
  }
  if (!reader.Take("TP-UD", length, data)) return false;
  if (hasHeader && !data.empty()) {
    data.erase(data.begin(), data.begin() + std::min<std::size_t>(data[0] + 1u, data.size()));
  }
  text = alphabet == Alphabet::kUcs2 ? EncodeUtf8(DecodeUtf16Be(data)) : ToHex(data);
  return true;
}

std::uint8_t SwappedDecimal(int value) {
  const int v = value % 100;
  return static_cast<std::uint8_t>((v % 10) << 4 | (v / 10));
}

Bytes SemiOctets(std::string_view digits) {
  Bytes out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    const unsigned low = *SemiOctetValue(digits[i]);
    const unsigned high = i + 1 < digits.size() ? *SemiOctetValue(digits[i + 1]) : 0x0F;
    out.push_back(static_cast<std::uint8_t>(high << 4 | low));
  }
  return out;
}

bool IsDialString(std::string_view digits) {
  if (digits.empty() || digits.size() > kMaxAddressDigits) return false;
  for (char c : digits) {
    if (!SemiOctetValue(c)) return false;
  }
  return true;
}

Decoded<Bytes> EncodeOrigin(std::string_view origin) {
  if (origin.empty()) return Decoded<Bytes>::Fail("origin is empty");
  const bool international = origin.front() == '+';
  const std::string_view digits = international ? origin.substr(1) : origin;
  if (IsDialString(digits)) {
    Bytes out{static_cast<std::uint8_t>(digits.size()),
              international ? kTypeInternational : kTypeUnknown};
    const Bytes value = SemiOctets(digits);
    out.insert(out.end(), value.begin(), value.end());
    return {out, {}};
  }
  const std::u32string name = DecodeUtf8(origin);
  const auto septets = EncodeGsm7(name);
  if (!septets || septets->size() > kMaxSenderName) {
    return Decoded<Bytes>::Fail("origin is neither a number nor a sender name of up to 11 "
                                "GSM characters");
  }
  const Bytes packed = PackSeptets(*septets);
  Bytes out{static_cast<std::uint8_t>((septets->size() * 7 + 3) / 4), kTypeAlphanumeric};
  out.insert(out.end(), packed.begin(), packed.end());
  return {out, {}};
}

}  // namespace

Decoded<SubmitMessage> DecodeSubmit(const Bytes& tpdu) {
  using Result = Decoded<SubmitMessage>;
  PduReader reader(tpdu);
  std::uint8_t firstOctet = 0;
  SubmitMessage message;
  if (!reader.Octet("first octet", firstOctet)) return Result::Fail(reader.Error());
  if ((firstOctet & 0x03) != 0x01) return Result::Fail("not an SMS-SUBMIT");
  std::uint8_t pid = 0;
  std::uint8_t dcs = 0;
  Bytes validity;
  if (!reader.Octet("TP-MR", message.reference) || !ReadAddress(reader, message.destination) ||
      !reader.Octet("TP-PID", pid) || !reader.Octet("TP-DCS", dcs) ||
      !reader.Take("TP-VP", ValidityPeriodLength(firstOctet), validity) ||
      !ReadUserData(reader, firstOctet, dcs, message.text)) {
    return Result::Fail(reader.Error());
  }
  return {message, {}};
}

Decoded<Bytes> EncodeDeliver(std::string_view origin, std::string_view utf8Text,
                             const SmsTimestamp& timestamp) {
  using Result = Decoded<Bytes>;
  const Decoded<Bytes> address = EncodeOrigin(origin);
  if (!address) return address;
  const std::u32string text = DecodeUtf8(utf8Text);
  std::uint8_t dcs = 0x00;
  std::uint8_t length = 0;
  Bytes data;
  if (auto septets = EncodeGsm7(text)) {
    if (septets->size() > kMaxSeptets) return Result::Fail("text longer than 160 GSM characters");
    length = static_cast<std::uint8_t>(septets->size());
    data = PackSeptets(*septets);
  } else {
    data = EncodeUtf16Be(text);
    if (data.size() > kMaxUcs2Octets) return Result::Fail("text longer than 70 UCS2 characters");
    dcs = 0x08;
    length = static_cast<std::uint8_t>(data.size());
  }
  // First octet: SMS-DELIVER, no more messages waiting.
  Bytes pdu{0x04};
  pdu.insert(pdu.end(), address.value->begin(), address.value->end());
  pdu.push_back(0x00);  // TP-PID
  pdu.push_back(dcs);
  for (int field : {timestamp.year, timestamp.month, timestamp.day, timestamp.hour,
                    timestamp.minute, timestamp.second}) {
    pdu.push_back(SwappedDecimal(field));
  }
  pdu.push_back(0x00);  // time zone: UTC
  pdu.push_back(length);
  pdu.insert(pdu.end(), data.begin(), data.end());
  return {pdu, {}};
}

Bytes EncodeScaField(std::string_view address) {
  const bool international = !address.empty() && address.front() == '+';
  const std::string_view digits = international ? address.substr(1) : address;
  if (!IsDialString(digits)) return {0x00};
  const Bytes value = SemiOctets(digits);
  Bytes out{static_cast<std::uint8_t>(value.size() + 1),
            international ? kTypeInternational : kTypeUnknown};
  out.insert(out.end(), value.begin(), value.end());
  return out;
}

}  // namespace kavonet::sim
