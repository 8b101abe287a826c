#include "sim/SmsPdu.h"

#include <algorithm>

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

// The 8-bit-reference concatenation element, if the header holds one.
std::optional<PartOf> ConcatenationIn(const Bytes& data) {
  if (data.empty()) return std::nullopt;
  const std::size_t end = std::min<std::size_t>(data[0] + 1u, data.size());
  for (std::size_t i = 1; i + 1 < end; i += 2u + data[i + 1]) {
    if (data[i] == 0x00 && data[i + 1] == 3 && i + 4 < end) {
      return PartOf{data[i + 2], data[i + 3], data[i + 4]};
    }
  }
  return std::nullopt;
}

// 8-bit data has no text form; it is shown as hexadecimal.
bool ReadUserData(PduReader& reader, std::uint8_t firstOctet, std::uint8_t dcs,
                  std::string& text, std::optional<PartOf>& part) {
  std::uint8_t length = 0;
  if (!reader.Octet("TP-UDL", length)) return false;
  const bool hasHeader = (firstOctet & 0x40) != 0;
  const Alphabet alphabet = AlphabetOf(dcs);
  Bytes data;
  if (alphabet == Alphabet::kGsm7) {
    if (length > kMaxSeptets) length = kMaxSeptets;
    if (!reader.Take("TP-UD", PackedLength(length), data)) return false;
    if (hasHeader) part = ConcatenationIn(data);
    Septets septets = UnpackSeptets(data, length);
    std::size_t skip = 0;
    if (hasHeader && !data.empty()) skip = ((data[0] + 1u) * 8 + 6) / 7;
    septets.erase(septets.begin(), septets.begin() + std::min(skip, septets.size()));
    text = EncodeUtf8(DecodeGsm7(septets));
    return true;
  }
  if (!reader.Take("TP-UD", length, data)) return false;
  if (hasHeader) part = ConcatenationIn(data);
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
      !ReadUserData(reader, firstOctet, dcs, message.text, message.part)) {
    return Result::Fail(reader.Error());
  }
  return {message, {}};
}

namespace {

// Header and user data of one DELIVER: the text already in its alphabet.
struct Body {
  std::uint8_t dcs = 0x00;
  std::uint8_t length = 0;  // TP-UDL
  Bytes data;
};

Bytes AssembleDeliver(const Bytes& address, const Body& body, bool hasHeader,
                      const SmsTimestamp& timestamp) {
  // First octet: SMS-DELIVER, no more messages waiting, TP-UDHI when there is a header.
  Bytes pdu{static_cast<std::uint8_t>(hasHeader ? 0x44 : 0x04)};
  pdu.insert(pdu.end(), address.begin(), address.end());
  pdu.push_back(0x00);  // TP-PID
  pdu.push_back(body.dcs);
  for (int field : {timestamp.year, timestamp.month, timestamp.day, timestamp.hour,
                    timestamp.minute, timestamp.second}) {
    pdu.push_back(SwappedDecimal(field));
  }
  pdu.push_back(0x00);  // time zone: UTC
  pdu.push_back(body.length);
  pdu.insert(pdu.end(), body.data.begin(), body.data.end());
  return pdu;
}

// The text's units (septets or UTF-16 octet pairs) cut into pieces of at most `size`
// units; a piece never ends on the first unit of a pair.
template <class IsPairStart>
std::vector<std::pair<std::size_t, std::size_t>> Pieces(std::size_t units, std::size_t size,
                                                        IsPairStart isPairStart) {
  std::vector<std::pair<std::size_t, std::size_t>> pieces;
  for (std::size_t start = 0; start < units && pieces.size() < 255;) {
    std::size_t end = std::min(units, start + size);
    if (end < units && isPairStart(end - 1)) --end;
    pieces.emplace_back(start, end);
    start = end;
  }
  return pieces;
}

Bytes ConcatenationHeader(std::uint8_t reference, std::size_t total, std::size_t number) {
  return {0x05, 0x00, 0x03, reference, static_cast<std::uint8_t>(total),
          static_cast<std::uint8_t>(number)};
}

std::vector<Body> GsmBodies(const Septets& septets, std::uint8_t reference) {
  if (septets.size() <= kMaxSeptets) {
    return {Body{0x00, static_cast<std::uint8_t>(septets.size()), PackSeptets(septets)}};
  }
  // The 6-octet header and one fill bit take the room of 7 septets.
  const auto pieces = Pieces(septets.size(), kMaxSeptets - 7, [&](std::size_t i) {
    return septets[i] == kGsmEscape;  // an extension code is never the escape itself
  });
  std::vector<Body> bodies;
  for (std::size_t n = 0; n < pieces.size(); ++n) {
    Septets padded(7, 0);
    padded.insert(padded.end(), septets.begin() + static_cast<std::ptrdiff_t>(pieces[n].first),
                  septets.begin() + static_cast<std::ptrdiff_t>(pieces[n].second));
    Bytes data = PackSeptets(padded);
    const Bytes header = ConcatenationHeader(reference, pieces.size(), n + 1);
    std::copy(header.begin(), header.end(), data.begin());
    bodies.push_back({0x00, static_cast<std::uint8_t>(padded.size()), data});
  }
  return bodies;
}

std::vector<Body> Ucs2Bodies(const Bytes& octets, std::uint8_t reference) {
  if (octets.size() <= kMaxUcs2Octets) {
    return {Body{0x08, static_cast<std::uint8_t>(octets.size()), octets}};
  }
  const auto pieces = Pieces(octets.size() / 2, (kMaxUcs2Octets - 6) / 2, [&](std::size_t i) {
    return (octets[2 * i] & 0xFC) == 0xD8;  // high surrogate
  });
  std::vector<Body> bodies;
  for (std::size_t n = 0; n < pieces.size(); ++n) {
    Bytes data = ConcatenationHeader(reference, pieces.size(), n + 1);
    data.insert(data.end(), octets.begin() + static_cast<std::ptrdiff_t>(2 * pieces[n].first),
                octets.begin() + static_cast<std::ptrdiff_t>(2 * pieces[n].second));
    bodies.push_back({0x08, static_cast<std::uint8_t>(data.size()), data});
  }
  return bodies;
}

}  // namespace

Decoded<std::vector<Bytes>> EncodeDeliverParts(std::string_view origin, std::string_view utf8Text,
                                               const SmsTimestamp& timestamp,
                                               std::uint8_t reference) {
  using Result = Decoded<std::vector<Bytes>>;
  const Decoded<Bytes> address = EncodeOrigin(origin);
  if (!address) return Result::Fail(address.error);
  const std::u32string text = DecodeUtf8(utf8Text);
  const auto septets = EncodeGsm7(text);
  const std::vector<Body> bodies =
      septets ? GsmBodies(*septets, reference) : Ucs2Bodies(EncodeUtf16Be(text), reference);
  std::vector<Bytes> pdus;
  for (const Body& body : bodies) {
    pdus.push_back(AssembleDeliver(*address.value, body, bodies.size() > 1, timestamp));
  }
  return {pdus, {}};
}

Decoded<Bytes> EncodeDeliver(std::string_view origin, std::string_view utf8Text,
                             const SmsTimestamp& timestamp) {
  using Result = Decoded<Bytes>;
  if (const Decoded<Bytes> address = EncodeOrigin(origin); !address) return address;
  const std::u32string text = DecodeUtf8(utf8Text);
  const auto septets = EncodeGsm7(text);
  if (septets && septets->size() > kMaxSeptets) {
    return Result::Fail("text longer than 160 GSM characters");
  }
  if (!septets && EncodeUtf16Be(text).size() > kMaxUcs2Octets) {
    return Result::Fail("text longer than 70 UCS2 characters");
  }
  Decoded<std::vector<Bytes>> parts = EncodeDeliverParts(origin, utf8Text, timestamp, 0);
  if (!parts) return Result::Fail(parts.error);
  return {parts.value->front(), {}};
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
