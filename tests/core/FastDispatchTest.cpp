// Fast dispatch against a terminal that answers at once: the send queue drains at the
// terminal's pace instead of the timers', and the default still waits for every tick.

#include <gtest/gtest.h>

#include <utility>

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

struct FastCase {
  const char* name;
  bool block;
  bool fast;
  bool refuseFirst;  // the terminal refuses the first submission once
  int minMs;         // virtual time three messages may take, at least and at most
  int maxMs;
};

// What a terminal without latency answers to one write; in Block Mode the Insert SMS
// Complete comes a moment after the Request Confirmed, as `later`.
std::string Answer(const std::string& written, bool block, bool& refuse, std::string& later) {
  if (block) {
    if (refuse) {
      refuse = false;
      return F({0x29, 0x03});
    }
    later += F({0x25, 0x0A, 0x01});
    return F({0x2A, 0x04});
  }
  if (written.rfind("AT+CMGS=", 0) == 0) {
    if (!refuse) return "\r\n> ";
    refuse = false;
    return "\r\n+CMS ERROR: 38\r\n";
  }
  if (!written.empty() && written.back() == '\x1A') return "\r\n+CMGS: 12\r\n\r\nOK\r\n";
  return "";
}

void PrintTo(const FastCase& c, std::ostream* os) { *os << c.name; }

class FastDispatch : public ::testing::TestWithParam<FastCase> {};

TEST_P(FastDispatch, SendsAtTheTerminalsPace) {
  const FastCase& c = GetParam();
  const std::string fast = c.fast ? "Fast Dispatch=1\n" : "";
  ControllerHarness h(c.block ? BlockIni(fast) : PduIni(fast));
  EnterSession(h);
  ASSERT_FALSE(HasFatalFailure());

  bool refuse = c.refuseFirst;
  h.main->Submit({{"111", "a"}, {"222", "b"}, {"333", "c"}});
  std::string later;
  int elapsed = 0;
  for (; elapsed < 20000 && h.main->tx_queue.RowCount() > 2; ++elapsed) {
    h.port.Receive(std::exchange(later, std::string()));
    for (const std::string& w : h.TakeWritten()) h.port.Receive(Answer(w, c.block, refuse, later));
    // Without fast dispatch the bytes wait for the receive tick: no turn is asked for.
    if (!c.fast) {
      ASSERT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
    }
    h.Advance(1);
    // Waiting for the terminal is no work: no turn may run meanwhile.
    if (!later.empty()) {
      ASSERT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
    }
  }
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2) << "queue not drained";
  EXPECT_GE(elapsed, c.minMs);
  EXPECT_LE(elapsed, c.maxMs);
  EXPECT_EQ(h.main->RefusedTransitions(), 0);
  // Idle again: nothing runs until the terminal or a client brings work.
  EXPECT_FALSE(h.main->Fast_Dispatch_Timer->Enabled());
}

INSTANTIATE_TEST_SUITE_P(
    Modes, FastDispatch,
    ::testing::Values(
        // The default waits a send tick per message and a receive tick per line.
        FastCase{"PduDefault", false, false, false, 3 * 1000, 3 * 2100},
        FastCase{"BlockDefault", true, false, false, 3 * 1000, 3 * 1800},
        FastCase{"PduFast", false, true, false, 0, 30},
        FastCase{"BlockFast", true, true, false, 0, 30},
        // A refusal does not wait for the tick either: the message is tried again at once.
        FastCase{"PduFastAfterRefusal", false, true, true, 0, 40},
        FastCase{"BlockFastAfterRefusal", true, true, true, 0, 40}),
    [](const ::testing::TestParamInfo<FastCase>& info) { return info.param.name; });

}  // namespace
}  // namespace kavonet::testing
