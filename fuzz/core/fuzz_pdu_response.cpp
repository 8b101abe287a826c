// Arbitrary lines from a terminal in a PDU Mode session, handed to the response handler
// with the rest of the controller real: a value or a status text, never a crash.

#include <cstddef>
#include <cstdint>
#include <span>

#include "FuzzController.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using kavonet::fuzzing::FuzzController;
  static FuzzController* controller = [] {
    auto* c = new FuzzController("PDU Mode");
    c->EnterSession();
    return c;
  }();
  // A message waiting, so confirmations and refusals have something to act on.
  if (controller->main->tx_queue.RowCount() < 4) controller->main->AppendToSendQueue("123", "x");
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    if (i == size || data[i] == '\n') {
      const std::span<const std::uint8_t> line(data + start, i - start);
      controller->main->HandlePduResponse(line, static_cast<int>(line.size()));
      start = i + 1;
    }
  }
  controller->main->tx_queue_TimerTimer();
  controller->port.ClearLog();
  return 0;
}
