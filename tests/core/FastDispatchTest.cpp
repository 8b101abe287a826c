// Fast dispatch against a terminal that answers at once: the send queue drains at the
// terminal's pace instead of the timers', and the default still waits for every tick. Both
// modes run with it, against a terminal that is not so kind, in the liveness runs.

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

class FastDispatch : public ::testing::TestWithParam<bool> {};

TEST_P(FastDispatch, SendsAtTheTerminalsPace) {
  const bool fast = GetParam();
  ControllerHarness h(PduIni(fast ? "Fast Dispatch=1\n" : ""));
  EnterSession(h);
  ASSERT_FALSE(HasFatalFailure());

  h.main->Submit({{"111", "a"}, {"222", "b"}, {"333", "c"}});
  int elapsed = 0;
  for (; elapsed < 20000 && h.main->tx_queue.RowCount() > 2; ++elapsed) {
    for (const std::string& w : h.TakeWritten()) h.port.Receive(Answer(w));
    // Without fast dispatch the bytes wait for the receive tick: no turn is asked for.
    if (!fast) {
      ASSERT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
    }
    h.Advance(1);
  }
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2) << "queue not drained";
  // The default waits a send tick per message and a receive tick per line.
  EXPECT_GE(elapsed, fast ? 0 : 3 * 1000);
  EXPECT_LE(elapsed, fast ? 30 : 3 * 2100);
  EXPECT_EQ(h.main->RefusedTransitions(), 0);
  // Idle again: nothing runs until the terminal or a client brings work.
  EXPECT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
}

INSTANTIATE_TEST_SUITE_P(Modes, FastDispatch, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Fast" : "Default"; });

}  // namespace
}  // namespace kavonet::testing
