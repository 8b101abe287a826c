// Arbitrary frames from a terminal in a Block Mode session, handed to the message handler
// with the rest of the controller real: a value or a status text, never a crash.

#include <cstdint>
#include <vector>

#include "FuzzController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static auto* controller = new kavonet::fuzzing::FuzzController("Block Mode");
  // The cutter hands over DLE STX ... DLE with the ETX behind it at index n.
  std::vector<std::uint8_t> frame{0x10, 0x02};
  frame.insert(frame.end(), data, data + size);
  frame.insert(frame.end(), {0x10, 0x03});
  controller->Run([&](kavonet::TSMS_Main& main) {
    main.HandleBlockMessage(frame, static_cast<int>(frame.size()) - 1);
  });
  return 0;
}
