// Fast dispatch against a terminal that answers at once: the send queue drains at the
// terminal's pace instead of the timers'. Both modes run with it, against a terminal that is
// not so kind, in the liveness runs; the session rows show the default waiting for its ticks.

#include <gtest/gtest.h>

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

// What a PDU Mode terminal without latency answers to one write.
std::string Answer(const std::string& written) {
  if (written.starts_with("AT+CMGS=")) return "\r\n> ";
  if (written.ends_with('\x1A')) return "\r\n+CMGS: 12\r\n\r\nOK\r\n";
  return "";
}

TEST(FastDispatch, SendsAtTheTerminalsPace) {
  ControllerHarness h(PduIni("Fast Dispatch=1\n"));
  EnterSession(h);
  ASSERT_FALSE(HasFatalFailure());

  h.main->Submit({{"111", "a"}, {"222", "b"}, {"333", "c"}});
  int elapsed = 0;
  for (; elapsed < 20000 && h.main->tx_queue.RowCount() > 2; ++elapsed) {
    for (const std::string& w : h.TakeWritten()) h.port.Receive(Answer(w));
    h.Advance(1);
  }
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2) << "queue not drained";
  EXPECT_LE(elapsed, 30);
  EXPECT_EQ(h.main->RefusedTransitions(), 0);
  // Idle again: nothing runs until the terminal or a client brings work.
  EXPECT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
}

}  // namespace
}  // namespace kavonet::testing
