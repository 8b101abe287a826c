// The simulator's decoders and encoders on arbitrary input: a value or an error,
// never a crash.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "sim/AtCommandLine.h"
#include "sim/BlockFrame.h"
#include "sim/SmsPdu.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kavonet::sim;
  using kavonet::fuzzing::Check;
  const Bytes octets(data, data + size);
  (void)DecodeSubmit(octets);

  FrameReader reader;
  for (std::uint8_t byte : octets) {
    if (auto frame = reader.Push(byte)) Check(frame->body.size() <= FrameReader::kMaxFrameBody);
  }

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  (void)ParseCommandLine(text);
  const std::size_t split = text.find('\0');
  const std::string_view origin = text.substr(0, split);
  const std::string_view body = split == std::string_view::npos ? "" : text.substr(split + 1);
  const auto pdu = EncodeDeliver(origin, body, SmsTimestamp{});
  // One message: address, eleven fixed octets and at most 140 octets of user data.
  if (pdu) Check(pdu.value->size() <= 12 + 11 + kMaxUcs2Octets);
  return 0;
}
