// Decoding the SMS-DELIVER records the terminal hands over. The terminal is not
// trusted: every field is length-checked, and a short record ends decoding with an
// error that names the field it could not read.

#include <algorithm>

#include "sms/GsmAlphabet.h"
#include "sms/Gsm0340.h"
#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"
#include "sms/Utf8.h"

namespace kavonet::sms {
namespace {

// Block Mode Message frame, relative to its message type octet: index at +3, status
// at +4 (0 = not yet read), then the SCA field and the TPDU.
constexpr std::size_t kBlockIndexOffset = 3;

// A forward-only cursor over a record. The first read that runs off the end records
// which field it was after and parks the cursor at the end; later reads then fail too,
// so callers may check once after a group of fields.
class RecordCursor {
 public:
  RecordCursor(std::span<const std::uint8_t> record, std::size_t position)
      : record_(record), position_(position) {}

  bool ReadOctet(const char* field, std::uint8_t& octet) {
    if (!Require(1, field)) return false;
    octet = record_[position_++];
    return true;
  }

  bool Skip(std::size_t count, const char* field) {
    if (!Require(count, field)) return false;
    position_ += count;
    return true;
  }

  // Up to `count` octets; fewer (and the error) when the record ends first.
  std::span<const std::uint8_t> Take(std::size_t count, const char* field) {
    const std::size_t available = std::min(count, Remaining());
    const auto taken = record_.subspan(std::min(position_, record_.size()), available);
    if (available < count) {
      Fail(field);
    } else {
      position_ += count;
    }
    return taken;
  }

  bool Failed() const { return !error_.empty(); }
  const std::string& Error() const { return error_; }
  std::size_t Position() const { return position_; }

 private:
  std::size_t Remaining() const {
    return position_ < record_.size() ? record_.size() - position_ : 0;
  }

  bool Require(std::size_t count, const char* field) {
    if (Failed()) return false;
    if (Remaining() < count) {
      Fail(field);
      return false;
    }
    return true;
  }

  void Fail(const char* field) {
    if (error_.empty()) error_ = std::string("PDU too short, cannot read ") + field;
    position_ = std::max(position_, record_.size());
  }

  std::span<const std::uint8_t> record_;
  std::size_t position_;
  std::string error_;
};

// A semi-octet as its decimal value: 0..9 give one character, 10..15 give two.
void AppendSemiOctet(std::string& out, unsigned value) {
  if (value >= 10) {
    out.push_back('1');
    value -= 10;
  }
  out.push_back(static_cast<char>('0' + value));
}

// Appends digit text without letting the address grow past the cap.
class AddressText {
 public:
  explicit AddressText(std::uint8_t typeOfAddress) {
    if (typeOfAddress == gsm0340::kTypeInternational) text_.push_back('+');
    prefixLength_ = text_.size();
  }

  void Append(unsigned semiOctet) {
    if (text_.size() - prefixLength_ >= gsm0340::kMaxAddressDigits) return;
    AppendSemiOctet(text_, semiOctet);
    text_.resize(std::min(text_.size(), prefixLength_ + gsm0340::kMaxAddressDigits));
  }

  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
  std::size_t prefixLength_ = 0;
};

std::string ReadScAddress(RecordCursor& cursor) {
  std::uint8_t length = 0;
  if (!cursor.ReadOctet("SCA length", length) || length == 0) return {};
  std::uint8_t type = 0;
  if (!cursor.ReadOctet("SCA type of address", type)) return {};
  AddressText address(type);
  for (std::uint8_t octet : cursor.Take(length - 1u, "SCA digits")) {
    address.Append(octet & 0x0Fu);
    if ((octet >> 4) != gsm0340::kSemiOctetFiller) address.Append(octet >> 4);
  }
  return address.Take();
}

// TP-OA counts digits, so the field holds ceil(N/2) octets whatever their contents.
std::string ReadOrigAddress(RecordCursor& cursor) {
  std::uint8_t digitCount = 0;
  std::uint8_t type = 0;
  if (!cursor.ReadOctet("TP-OA length", digitCount) ||
      !cursor.ReadOctet("TP-OA type of address", type)) {
    return {};
  }
  AddressText address(type);
  std::size_t produced = 0;
  for (std::uint8_t octet : cursor.Take((digitCount + 1u) / 2, "TP-OA digits")) {
    address.Append(octet & 0x0Fu);
    ++produced;
    if (produced < digitCount && (octet >> 4) != gsm0340::kSemiOctetFiller) {
      address.Append(octet >> 4);
      ++produced;
    }
  }
  return address.Take();
}

std::string ReadUserData(RecordCursor& cursor) {
  std::uint8_t septetCount = 0;
  if (!cursor.ReadOctet("TP-UDL", septetCount)) return {};
  std::string text;
  AppendGsmText(text, UnpackSeptets(cursor.Take(PackedLength(septetCount), "TP-UD"), septetCount));
  return text;
}

// Keeps the concatenation element among the header's information elements; an element
// that runs past the header ends the walk, one with an impossible part number is
// ignored (a receiver cannot place it).
std::optional<Concatenation> FindConcatenation(std::span<const std::uint8_t> header) {
  std::optional<Concatenation> found;
  std::size_t pos = 0;
  while (pos + 2 <= header.size()) {
    const std::uint8_t id = header[pos];
    const std::size_t length = header[pos + 1];
    pos += 2;
    if (length > header.size() - pos) break;
    const auto element = header.subspan(pos, length);
    pos += length;
    Concatenation concat;
    if (id == gsm0340::kIeConcatenation8BitReference && length == 3) {
      concat.Reference = element[0];
    } else if (id == gsm0340::kIeConcatenation16BitReference && length == 4) {
      concat.Reference = static_cast<std::uint16_t>(element[0] << 8 | element[1]);
      concat.WideReference = true;
    } else {
      continue;
    }
    const auto tail = element.last(2);
    concat.Total = tail[0];
    concat.Part = tail[1];
    if (concat.Total != 0 && concat.Part != 0 && concat.Part <= concat.Total) found = concat;
  }
  return found;
}

void AppendHex(std::string& out, std::span<const std::uint8_t> octets) {
  static constexpr char kHexDigits[] = "0123456789ABCDEF";
  for (std::uint8_t octet : octets) {
    out.push_back(kHexDigits[octet >> 4]);
    out.push_back(kHexDigits[octet & 0x0F]);
  }
}

// UTF-16 big-endian; a pair of surrogates is one character, a lone surrogate or an odd
// last octet gives U+FFFD.
void AppendUcs2Text(std::string& out, std::span<const std::uint8_t> octets) {
  std::size_t i = 0;
  while (i + 1 < octets.size()) {
    char32_t unit = static_cast<char32_t>(octets[i] << 8 | octets[i + 1]);
    i += 2;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < octets.size()) {
      const auto low = static_cast<char32_t>(octets[i] << 8 | octets[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    AppendUtf8(out, unit);  // a lone surrogate comes out as U+FFFD
  }
  if (i < octets.size()) AppendUtf8(out, kReplacementCharacter);
}

// TP-UDL, then TP-UD: the header when TP-UDHI is set, then the text in the alphabet of
// TP-DCS. GSM 7-bit counts septets, header and fill bits included; the others count octets.
void ReadMessageBody(RecordCursor& cursor, bool hasHeader, std::uint8_t dataCoding,
                     ReceivedMessage& message) {
  std::uint8_t length = 0;
  if (!cursor.ReadOctet("TP-UDL", length)) return;
  message.Coding = DcsAlphabet(dataCoding);
  const bool septets = message.Coding == Alphabet::Gsm7;
  const std::span<const std::uint8_t> userData =
      cursor.Take(septets ? PackedLength(length) : length, "TP-UD");
  std::size_t headerOctets = 0;
  if (hasHeader && !userData.empty()) {
    headerOctets = std::min<std::size_t>(1u + userData[0], userData.size());
    message.Concat = FindConcatenation(userData.subspan(1, headerOctets - 1));
  }
  switch (message.Coding) {
    case Alphabet::Gsm7: {
      const std::size_t headerSeptets = (headerOctets * 8 + 6) / 7;
      const std::vector<std::uint8_t> all = UnpackSeptets(userData, length);
      if (headerSeptets < all.size()) {
        AppendGsmText(message.Text, std::span(all).subspan(headerSeptets));
      }
      break;
    }
    case Alphabet::Ucs2:
      AppendUcs2Text(message.Text, userData.subspan(headerOctets));
      break;
    case Alphabet::EightBit:
      message.Text = kEightBitMarker;
      AppendHex(message.Text, userData.subspan(headerOctets));
      break;
  }
}

// Each time stamp octet is two semi-octets, low half first (0x30 -> "03").
std::string TimeStampField(std::uint8_t octet) {
  std::string text;
  AppendSemiOctet(text, octet & 0x0Fu);
  AppendSemiOctet(text, octet >> 4);
  return text;
}

void ReadTimeStamp(RecordCursor& cursor, ReceivedMessage& message) {
  std::uint8_t octets[gsm0340::kTimeStampOctets] = {};
  for (std::uint8_t& octet : octets) {
    if (!cursor.ReadOctet("TP-SCTS", octet)) return;
  }
  message.Year = TimeStampField(octets[0]);
  message.Month = TimeStampField(octets[1]);
  message.Day = TimeStampField(octets[2]);
  message.Hour = TimeStampField(octets[3]);
  message.Minute = TimeStampField(octets[4]);
  message.Second = TimeStampField(octets[5]);
  // octets[6], the time zone, is not shown anywhere.
}

// Block Mode frames carry index, status and the SCA field ahead of the TPDU.
void ReadBlockHeader(RecordCursor& cursor, ReceivedMessage& message) {
  std::uint8_t index = 0;
  std::uint8_t status = 0;
  if (!cursor.Skip(kBlockIndexOffset, "message type") ||
      !cursor.ReadOctet("message index", index) || !cursor.ReadOctet("message status", status)) {
    return;
  }
  message.MsgIndex = index;
  message.IsNew = status == 0;
  // The service centre address is read only to find the TPDU behind it.
  ReadScAddress(cursor);
}

}  // namespace

ReceivedMessage DecodeDeliver(std::span<const std::uint8_t> record, std::size_t position,
                              bool blockMode, std::int16_t msgIndex, bool isNew) {
  ReceivedMessage message;
  RecordCursor cursor(record, position);
  if (blockMode) {
    ReadBlockHeader(cursor, message);
  } else {
    message.MsgIndex = msgIndex;
    message.IsNew = isNew;
  }
  std::uint8_t firstOctet = 0;
  std::uint8_t dataCoding = 0;
  std::uint8_t protocolId = 0;
  cursor.ReadOctet("TP-MTI", firstOctet);
  message.Origin = ReadOrigAddress(cursor);
  if (cursor.ReadOctet("TP-PID and TP-DCS", protocolId)) {
    cursor.ReadOctet("TP-PID and TP-DCS", dataCoding);
  }
  ReadTimeStamp(cursor, message);
  ReadMessageBody(cursor, (firstOctet & gsm0340::kUserDataHeaderIndicator) != 0, dataCoding,
                  message);
  message.DecodeError = cursor.Error();
  return message;
}

std::string DecodeScAddress(std::span<const std::uint8_t> record, std::size_t& position) {
  RecordCursor cursor(record, position);
  std::string address = ReadScAddress(cursor);
  position = cursor.Position();
  return address;
}

std::string DecodeOrigAddress(std::span<const std::uint8_t> record, std::size_t& position) {
  RecordCursor cursor(record, position);
  std::string address = ReadOrigAddress(cursor);
  position = cursor.Position();
  return address;
}

std::string UnpackUserData(std::span<const std::uint8_t> record, std::size_t& position) {
  RecordCursor cursor(record, position);
  std::string text = ReadUserData(cursor);
  position = cursor.Position();
  return text;
}

}  // namespace kavonet::sms
