// Decoding the SMS-DELIVER records the terminal hands over. The terminal is not
// trusted: every field is length-checked, and a short record ends decoding with an
// error that names the field it could not read.

#include <algorithm>

#include "sms/CharTables.h"
#include "sms/Gsm0340.h"
#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"

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
  const std::size_t packedLength = PackedLength(septetCount);
  const std::vector<std::uint8_t> septets =
      UnpackSeptets(cursor.Take(packedLength, "TP-UD"), septetCount);
  std::string text(septets.size(), '\0');
  std::transform(septets.begin(), septets.end(), text.begin(),
                 [](std::uint8_t septet) { return static_cast<char>(RxCharTable[septet]); });
  return text;
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
  cursor.Skip(1, "TP-MTI");
  message.Origin = ReadOrigAddress(cursor);
  cursor.Skip(2, "TP-PID and TP-DCS");
  ReadTimeStamp(cursor, message);
  message.Text = ReadUserData(cursor);
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
