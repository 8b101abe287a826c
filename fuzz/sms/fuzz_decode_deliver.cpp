// Any record, either interface type, any start position: a value or an error, never a
// crash, never a read outside the record, and field sizes within their caps.
// Input: octet 0 bit 0 = Block Mode, octet 1 = start position, the rest = record.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "sms/PduCodec.h"
#include "sms/Utf8.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kavonet::sms;
  using kavonet::fuzzing::Check;
  if (size < 2) return 0;
  const std::size_t start = data[1];
  // A heap copy of exactly the record, so any read past its end is caught.
  const std::vector<std::uint8_t> record(data + 2, data + size);

  const ReceivedMessage message = DecodeDeliver(record, start, (data[0] & 1) != 0, 1, true);
  Check(message.Origin.size() <= 21);
  // 255 octets as hexadecimal after the 8-bit marker is the longest text.
  Check(message.Text.size() <= kEightBitMarker.size() + 2 * 255 && ValidUtf8(message.Text) == message.Text);
  if (message.Concat) Check(message.Concat->Part >= 1 && message.Concat->Part <= message.Concat->Total);

  using Decoder = std::string (*)(std::span<const std::uint8_t>, std::size_t&);
  for (Decoder decode : {Decoder{DecodeScAddress}, Decoder{DecodeOrigAddress}, Decoder{UnpackUserData}}) {
    std::size_t position = start;
    const std::string text = decode(record, position);
    Check(position >= start && position <= std::max(start, record.size()));
    // Every septet is at most two UTF-8 bytes.
    Check(text.size() <= 2 * 255 && ValidUtf8(text) == text);
  }
  return 0;
}
