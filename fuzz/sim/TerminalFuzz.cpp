// Arbitrary bytes from the gateway, in either interface mode, interleaved with control
// operations: the terminal must never crash or read out of bounds.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "sim/Terminal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace kavonet::sim;
  if (size < 2) return 0;
  TerminalOptions options;
  options.startInBlockMode = (data[0] & 0x01) != 0;
  options.shortHeaders = (data[0] & 0x02) != 0;
  options.numericResults = (data[0] & 0x04) != 0;
  Terminal terminal(
      options, [](std::string_view) {}, [](const SentMessage&) {}, [] { return SmsTimestamp{24, 1, 2, 3, 4, 5}; });
  terminal.Store("+4479", "stored");
  terminal.Store("Kavonet", "\xE2\x82\xAC");
  const std::size_t chunk = data[1] % 16 + 1;
  for (std::size_t at = 2; at < size; at += chunk) {
    const std::size_t length = std::min(chunk, size - at);
    terminal.Receive(std::string_view(reinterpret_cast<const char*>(data + at), length));
    switch (data[at] % 11) {
      case 0: terminal.Deliver("+4479", "new"); break;
      case 1: terminal.LeaveBlockMode(data[at]); break;
      case 2: terminal.RefuseNextSend(data[at]); break;
      case 3: terminal.Messages().Remove(data[at] % 4); break;
      default: break;
    }
  }
  return 0;
}
