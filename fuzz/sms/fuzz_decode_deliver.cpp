// Any record, either interface type, any start position: a value or an error, never
// a crash, never a read outside the record, and field sizes within their caps.
// Input: octet 0 bit 0 = Block Mode, octet 1 = start position, the rest = record.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "sms/PduCodec.h"
#include "sms/Utf8.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kavonet::fuzzing::Check;

void CheckFieldDecoders(std::span<const std::uint8_t> record, std::size_t start) {
  using Decoder = std::string (*)(std::span<const std::uint8_t>, std::size_t&);
  for (Decoder decode :
       {Decoder{kavonet::sms::DecodeScAddress}, Decoder{kavonet::sms::DecodeOrigAddress},
        Decoder{kavonet::sms::UnpackUserData}}) {
    std::size_t position = start;
    const std::string text = decode(record, position);
    Check(position >= start);
    Check(position <= std::max(start, record.size()));
    Check(text.size() <= 2 * 255);  // every septet is at most two UTF-8 bytes
    Check(kavonet::sms::ValidUtf8(text) == text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const bool blockMode = (data[0] & 1) != 0;
  const std::size_t position = data[1];
  // A heap copy of exactly the record, so any read past its end is caught.
  const std::vector<std::uint8_t> record(data + 2, data + size);

  const kavonet::sms::ReceivedMessage message =
      kavonet::sms::DecodeDeliver(record, position, blockMode, 1, true);
  Check(message.Origin.size() <= 21);
  // 255 octets as hexadecimal after the 8-bit marker is the longest text.
  Check(message.Text.size() <= kavonet::sms::kEightBitMarker.size() + 2 * 255);
  Check(kavonet::sms::ValidUtf8(message.Text) == message.Text);
  if (message.Concat) Check(message.Concat->Part >= 1 && message.Concat->Part <= message.Concat->Total);
  Check(message.Year.size() <= 4 && message.Second.size() <= 4);
  if (!message.DecodeError.empty()) Check(message.DecodeError.rfind("PDU too short", 0) == 0);

  CheckFieldDecoders(record, position);

  const std::vector<std::uint8_t> packed = kavonet::sms::PackSeptets(record);
  Check(packed.size() == (record.size() * 7 + 7) / 8);
  const std::vector<std::uint8_t> septets = kavonet::sms::UnpackSeptets(packed, record.size());
  Check(septets.size() == record.size());
  for (std::size_t i = 0; i < record.size(); ++i) Check(septets[i] == (record[i] & 0x7F));
  return 0;
}
