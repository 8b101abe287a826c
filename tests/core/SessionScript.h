#pragma once
// Session scripts: a controller test as a table of steps. Each step is an event (bytes
// from the terminal, time passing, a call) followed by what the terminal must have
// received since the step before, the status text and any further checks.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ControllerHarness.h"
#include "core/BlockFrame.h"
#include "core/TSMS.h"

namespace kavonet::testing {

using Strings = std::vector<std::string>;
using W = Strings;

inline std::string PduIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=PDU Mode\n" + extra;
}

inline std::string BlockIni(const std::string& extra = "") {
  return "[Configuration]\nPort=2\nSpeed=9600\nInit String=ZE0&S0\nInterface=Block Mode\n" + extra;
}

// A Block Mode frame as it travels on the line, from its body (type code and parameters).
inline std::string F(std::initializer_list<int> body) {
  std::vector<std::uint8_t> bytes;
  for (int b : body) bytes.push_back(static_cast<std::uint8_t>(b));
  const std::vector<std::uint8_t> frame = StuffedFrame(bytes);
  return std::string(frame.begin(), frame.end());
}

using Event = std::function<void(ControllerHarness&)>;
using Check = std::function<void(ControllerHarness&)>;

struct Step {
  Event event = {};
  // Exactly what the terminal received during the step; not looked at when empty.
  std::optional<Strings> writes = std::nullopt;
  // The status text after the step; not looked at when empty.
  std::optional<std::string> status = std::nullopt;
  Check check = {};
};

enum class Start { Fresh, InSession };

struct Script {
  const char* name;
  std::string ini;
  Start start;
  std::vector<Step> steps;
};

// ---- Events ----
// Bytes from the terminal, then the time the controller needs for `blocks` blocks.
inline Event Rx(std::string bytes, int blocks = 1) {
  return [bytes, blocks](ControllerHarness& h) { h.Receive(bytes, blocks); };
}
inline Event Wait(int ms) {
  return [ms](ControllerHarness& h) { h.Advance(ms); };
}
// One send tick.
inline Event Tick() { return Wait(1000); }
inline Event Call(std::function<void(TSMS_Main&)> call) {
  return [call](ControllerHarness& h) { call(*h.main); };
}
// A call of the automation object.
inline Event Client(std::function<void(TSMS&)> call) {
  return [call](ControllerHarness& h) {
    TSMS sms(*h.main);
    call(sms);
  };
}
inline Event Queue(std::string destination, std::string text) {
  return [destination, text](ControllerHarness& h) {
    h.main->AppendToSendQueue(destination, text);
  };
}
// Answers every init command with OK until the session is entered.
inline Event Initialise() {
  return [](ControllerHarness& h) {
    for (int i = 0; i < 12 && !h.main->Connected(); ++i) h.Receive("\r\nOK\r\n");
  };
}
inline Event Kill() {
  return [](ControllerHarness& h) { h.Restart(); };
}
inline Event Connect() {
  return [](ControllerHarness& h) { h.main->ConnectTerminal(); };
}
inline Event Events(std::vector<Event> events) {
  return [events](ControllerHarness& h) {
    for (const Event& e : events) e(h);
  };
}

// ---- Checks ----
inline Check Rows(int rowCount) {
  return [rowCount](ControllerHarness& h) { EXPECT_EQ(h.main->tx_queue.RowCount(), rowCount); };
}
inline Check Stage(int stage) {
  return [stage](ControllerHarness& h) {
    EXPECT_EQ(h.main->tx_stage_1.Visible, stage == 1);
    EXPECT_EQ(h.main->tx_stage_2.Visible, stage == 2);
    EXPECT_EQ(h.main->tx_stage_3.Visible, stage == 3);
  };
}
// rx_grid row `row` as "Msg#|Status|Origin|Date|Time|Text|"; row 0 means "no message rows".
inline Check Received(int row, std::string cells) {
  return [row, cells](ControllerHarness& h) {
    if (row == 0) {
      EXPECT_EQ(h.main->rx_grid.RowCount(), 2);
      return;
    }
    std::string s;
    for (int col = 0; col < 6; ++col) s += h.main->rx_grid.Cell(col, row) + "|";
    EXPECT_EQ(s, cells);
  };
}
inline Check Connected(bool connected) {
  return [connected](ControllerHarness& h) { EXPECT_EQ(h.main->Connected(), connected); };
}
inline Check Boxes(std::size_t count) {
  return [count](ControllerHarness& h) { EXPECT_EQ(h.dialogs.errors.size(), count); };
}
inline Check Checks(std::vector<Check> checks) {
  return [checks](ControllerHarness& h) {
    for (const Check& c : checks) c(h);
  };
}

// Connects, answers every initialisation command with OK and confirms the No Transfer
// request a Block Mode session starts with; nothing written is kept.
inline void EnterSession(ControllerHarness& h) {
  h.main->ConnectTerminal();
  Initialise()(h);
  ASSERT_TRUE(h.main->Connected());
  if (h.main->CommDrv.BlockType() == btBlock) h.Receive(F({0x2A, 0x01}));
  ASSERT_FALSE(h.main->CommandOutstanding());
  h.TakeWritten();
}

inline void RunScript(const Script& script) {
  ControllerHarness h{script.ini};
  if (script.start == Start::InSession) {
    EnterSession(h);
    if (::testing::Test::HasFatalFailure()) return;
  }
  for (std::size_t i = 0; i < script.steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1));
    const Step& step = script.steps[i];
    if (step.event) step.event(h);
    const Strings written = h.TakeWritten();
    h.lastWritten = written;
    if (step.writes) {
      EXPECT_EQ(written, *step.writes);
    }
    if (step.status) {
      EXPECT_EQ(h.main->StatusText(), *step.status);
    }
    if (step.check) step.check(h);
  }
  EXPECT_EQ(h.main->RefusedTransitions(), 0);
}

}  // namespace kavonet::testing
