// The receive ring's timing: one block per 350 ms tick, and the send tick held back while
// blocks wait.

#include <gtest/gtest.h>

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

// Connected to the port and waiting for the answer to the init string.
struct Initialising : ::testing::Test {
  ControllerHarness h{PduIni()};
  void SetUp() override {
    h.main->ConnectTerminal();
    ASSERT_EQ(h.TakeWritten(), Strings{"ATZE0&S0\r"});
  }
};

TEST_F(Initialising, OneBlockPerTickAndEveryStoredBlockRestartsTheInterval) {
  h.port.Receive("\r\nfirst\r\n");
  h.Advance(200);
  h.port.Receive("\r\nsecond\r\n");
  h.Advance(200);
  EXPECT_TRUE(h.status.texts.empty() || !h.status.Shown("first\r\n"))
      << "a new block restarted the 350 ms interval";
  h.Advance(150);
  EXPECT_TRUE(h.status.Shown("first\r\n"));
  EXPECT_FALSE(h.status.Shown("second\r\n"));
  h.Advance(350);
  EXPECT_TRUE(h.status.Shown("second\r\n"));
}

TEST_F(Initialising, ABurstOfHundredsOfLinesIsHandledCompletelyInOrder) {
  std::string burst;
  for (int i = 0; i < 250; ++i) burst += "\r\nline " + std::to_string(i) + "\r\n";
  h.port.Receive(burst);
  h.Advance(350 * 251);
  Strings lines;
  for (const auto& text : h.status.texts) {
    if (text.rfind("line ", 0) == 0) lines.push_back(text);
  }
  ASSERT_EQ(lines.size(), 250u);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(lines[i], "line " + std::to_string(i) + "\r\n");
}

TEST_F(Initialising, TheSendTimerIsLeftAloneByAnEmptyRingAndStoppedByABlockBeforeTheSession) {
  ASSERT_TRUE(h.main->tx_queue_Timer->Enabled());
  h.Advance(5000);
  EXPECT_TRUE(h.main->tx_queue_Timer->Enabled());
  h.Receive("\r\nRING\r\n");
  EXPECT_FALSE(h.main->tx_queue_Timer->Enabled()) << "not connected yet";
}

TEST(Conveyor, ALineInABlockModeSessionNeverReachesTheInitHandler) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  ASSERT_EQ(h.main->CommDrv.BlockType(), btBlock);
  const std::string before = h.main->StatusText();
  h.Receive("\r\nOK\r\n");
  EXPECT_EQ(h.main->StatusText(), before);
}

}  // namespace
}  // namespace kavonet::testing
