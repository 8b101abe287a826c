#include <gtest/gtest.h>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using namespace std::string_literals;

using Strings = std::vector<std::string>;

class StatusRecorder : public ControllerObserver {
 public:
  void StatusTextChanged(const std::string& text) override { texts.push_back(text); }
  void ControlsChanged() override {}
  Strings texts;
};

// Connected to the port and waiting for the answer to the init string.
struct Initialising : ::testing::Test {
  ControllerHarness h{PduIni()};
  void SetUp() override {
    h.main->ConnectTerminal();
    ASSERT_EQ(h.TakeWritten(), Strings{"ATZE0&S0\r"});
  }
};

TEST_F(Initialising, CompletesCommandTextAndWritesOneCommandAtATime) {
  std::string text = "+CSQ";
  h.main->EnqueueCommand(text, label::kSignalQuality);
  EXPECT_EQ(text, "AT+CSQ\r");
  EXPECT_TRUE(h.TakeWritten().empty()) << "the init string is still outstanding";

  h.Receive("\r\nRING\r\n");  // any line clears the outstanding command
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CSQ\r"});
  EXPECT_EQ(h.main->StatusText(), "AT+CSQ\r");
  EXPECT_TRUE(h.main->CommandOutstanding);
}

TEST_F(Initialising, SendPduSlotIsWrittenUnchanged) {
  h.main->CommandOutstanding = false;
  std::string pdu = "0011000B\x1A";
  h.main->EnqueueCommand(pdu, label::kSendPdu);
  EXPECT_EQ(pdu, "0011000B\x1A");
  EXPECT_EQ(h.TakeWritten(), Strings{"0011000B\x1A"});
}

TEST_F(Initialising, OneBlockPerTickAndEveryStoredBlockRestartsTheInterval) {
  StatusRecorder recorder;
  h.main->SetObserver(&recorder);
  h.port.Receive("\r\nfirst\r\n");
  h.Advance(200);
  h.port.Receive("\r\nsecond\r\n");
  h.Advance(200);
  EXPECT_TRUE(recorder.texts.empty()) << "a new block restarted the 350 ms interval";
  h.Advance(150);
  EXPECT_EQ(recorder.texts, Strings{"first\r\n"});
  h.Advance(349);
  EXPECT_EQ(recorder.texts.size(), 1u);
  h.Advance(1);
  EXPECT_EQ(recorder.texts, (Strings{"first\r\n", "second\r\n"}));
}

TEST_F(Initialising, ABurstOfHundredsOfLinesIsHandledCompletelyInOrder) {
  StatusRecorder recorder;
  h.main->SetObserver(&recorder);
  std::string burst;
  for (int i = 0; i < 250; ++i) burst += "\r\nline " + std::to_string(i) + "\r\n";
  h.port.Receive(burst);
  h.Advance(350 * 251);
  Strings lines;
  for (const auto& text : recorder.texts) {
    if (text.rfind("line ", 0) == 0) lines.push_back(text);
  }
  ASSERT_EQ(lines.size(), 250u);
  for (int i = 0; i < 250; ++i) EXPECT_EQ(lines[i], "line " + std::to_string(i) + "\r\n");
}

TEST_F(Initialising, ATickOnAnEmptyRingLeavesTheSendTimerAlone) {
  ASSERT_TRUE(h.main->tx_queue_Timer->Enabled());
  h.Advance(5000);
  EXPECT_TRUE(h.main->tx_queue_Timer->Enabled());
}

TEST_F(Initialising, ADispatchedBlockLeavesTheSendTimerOnlyWhenConnected) {
  h.Receive("\r\nRING\r\n");
  EXPECT_FALSE(h.main->tx_queue_Timer->Enabled()) << "not connected yet";
}

TEST_F(Initialising, AFrameQueuedOutsideBlockModeIsSkippedNotWrittenStale) {
  const std::uint8_t body[] = {0x02};
  h.main->BuildFrame(body, label::kCopyAllMessages);
  std::string text = "+CSQ";
  h.main->EnqueueCommand(text, label::kSignalQuality);
  h.Receive("\r\nRING\r\n");
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CSQ\r"});
  EXPECT_FALSE(h.main->CopyAllActive) << "the skipped slot was never written";
  EXPECT_EQ(h.main->Commands.At(h.main->Commands.LastReadIndex()).Label, label::kSignalQuality);
}

TEST_F(Initialising, RequeueSlotWritesTheSameCommandAgain) {
  h.main->CommandOutstanding = false;
  std::string text = "+CMGD=3";
  h.main->EnqueueCommand(text, label::kDeleteMessage);
  ASSERT_EQ(h.TakeWritten(), Strings{"AT+CMGD=3\r"});
  h.main->CommandOutstanding = false;
  h.main->RequeueSlot(h.main->Commands.LastReadIndex());
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGD=3\r"});
}

TEST_F(Initialising, AWriteThePortRefusesShowsTheBoxAndEndsTheSession) {
  h.port.failWrite = true;
  h.Receive("\r\nOK\r\n");
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_EQ(h.dialogs.errors[0],
            "Kavonet was unable to send your command to the Mobile Terminal. Please check the "
            "Mobile Terminal is properly connected and operational, then press the Connect "
            "button.");
  EXPECT_FALSE(h.main->Connected());
  EXPECT_FALSE(h.main->tx_queue_Timer->Enabled());
  h.Receive("\r\nRING\r\n");
  EXPECT_EQ(h.dialogs.errors.size(), 1u) << "no box again until the next connection";
}

TEST(Conveyor, BlockTypeChoosesTheHandler) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  ASSERT_EQ(h.main->CommDrv.BlockType(), btBlock);
  const std::string before = h.main->StatusText();
  h.Receive("\r\nOK\r\n");  // a line in a Block Mode session never reaches the init handler
  EXPECT_EQ(h.main->StatusText(), before);
}

TEST(Conveyor, RequeuedFrameHasTheSameBytes) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  Strings written = h.TakeWritten();
  ASSERT_FALSE(written.empty());
  const std::string noTransfer = written.back();
  h.main->CommandOutstanding = false;
  h.main->RequeueSlot(h.main->Commands.LastReadIndex());
  EXPECT_EQ(h.TakeWritten(), Strings{noTransfer});
}

}  // namespace
}  // namespace kavonet::testing
