// Arbitrary frames from a terminal in a Block Mode session, handed to the message handler
// with the rest of the controller real: a value or a status text, never a crash.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kavonet::fuzzing::FuzzController;
  static FuzzController* controller = [] {
    auto* c = new FuzzController("Block Mode");
    c->EnterSession();
    return c;
  }();
  if (!controller->main->Connected()) controller->EnterSession();  // after End SMS Mode
  if (controller->main->tx_queue.RowCount() < 4) controller->main->AppendToSendQueue("123", "x");
  // The cutter hands over DLE STX ... DLE with the ETX behind it at index n.
  std::vector<std::uint8_t> frame{0x10, 0x02};
  frame.insert(frame.end(), data, data + size);
  frame.push_back(0x10);
  frame.push_back(0x03);
  const int n = static_cast<int>(frame.size()) - 1;
  controller->main->HandleBlockMessage(frame, n);
  controller->main->tx_queue_TimerTimer();
  controller->port.ClearLog();
  return 0;
}
