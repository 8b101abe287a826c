// Arbitrary lines from a terminal in a PDU Mode session, handed to the response handler
// with the rest of the controller real: a value or a status text, never a crash.

#include <cstdint>
#include <span>

#include "FuzzController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* controller = new kavonet::fuzzing::FuzzController("PDU Mode");
  controller->Run([&](kavonet::TSMS_Main& main) {
    for (std::size_t start = 0, i = 0; i <= size; ++i) {
      if (i < size && data[i] != '\n') continue;
      const std::span<const std::uint8_t> line(data + start, i - start);
      main.HandlePduResponse(line, static_cast<int>(line.size()));
      start = i + 1;
    }
  });
  return 0;
}
