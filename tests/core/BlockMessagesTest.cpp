#include <gtest/gtest.h>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using Strings = std::vector<std::string>;

std::string Frame(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

// A Block Mode session whose No Transfer request has been confirmed.
struct BlockSession : ::testing::Test {
  ControllerHarness h{BlockIni("[Receive Message]\nLog Transmit=0\nLog Receive=0\n")};
  void SetUp() override {
    EnterSession(h);
    h.Receive(Frame({0x10, 0x02, 0x2A, 0x01, 0x10, 0x03, 0xFF, 0xD5}));
    ASSERT_TRUE(h.main->No_Transfer.Down);
    ASSERT_FALSE(h.main->CommandOutstanding);
    h.TakeWritten();
  }
};

TEST_F(BlockSession, SendsAMessageThroughConfirmationAndCompletion) {
  h.main->AppendToSendQueue("+4479", "hi");
  h.Advance(1000);
  const Strings written = h.TakeWritten();
  ASSERT_EQ(written.size(), 1u);
  // Insert SMS: 07 02 00 then the SMS-SUBMIT TPDU.
  EXPECT_EQ(written[0].substr(0, 5), Frame({0x10, 0x02, 0x07, 0x02, 0x00}));
  EXPECT_TRUE(h.main->tx_stage_2.Visible);

  h.Receive(Frame({0x10, 0x02, 0x2A, 0x04, 0x10, 0x03, 0xFF, 0xD2}));
  EXPECT_EQ(h.main->StatusText(),
            "Request Confirmed - Confirm request to attempt to send short message");
  EXPECT_TRUE(h.main->tx_stage_3.Visible);
  EXPECT_FALSE(h.main->tx_stage_2.Visible);
  EXPECT_EQ(h.shell.cursor, TCursor::crHourGlass);
  EXPECT_TRUE(h.main->CommandOutstanding);

  h.Receive(Frame({0x10, 0x02, 0x25, 0x0A, 0x01, 0x10, 0x03, 0xFF, 0xD0}));
  EXPECT_EQ(h.main->StatusText(), "Insert SMS Complete - Msg# [0A 01]");
  EXPECT_FALSE(h.main->CommandOutstanding);
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2);
  EXPECT_TRUE(h.main->tx_stage_1.Visible);
  EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
}

TEST_F(BlockSession, RefusedMessageIsSentAgainAndMovesBackAfterThreeRefusals) {
  h.main->AppendToSendQueue("111", "first");
  h.main->AppendToSendQueue("222", "second");
  const std::string refusal = Frame({0x10, 0x02, 0x26, 0x00, 0x02, 0x10, 0x03, 0xFF, 0xD8});
  for (int attempt = 1; attempt <= 3; ++attempt) {
    h.Advance(1000);
    ASSERT_EQ(h.TakeWritten().size(), 1u) << "attempt " << attempt;
    h.Receive(refusal);
    EXPECT_TRUE(h.main->tx_stage_2.Visible);
  }
  EXPECT_EQ(h.main->tx_queue.Cell(0, 1), "222");
  EXPECT_EQ(h.main->tx_queue.Cell(0, 2), "111") << "kept, at the end";
  EXPECT_EQ(h.main->StatusText(),
            "Message to 111 refused 3 times: moved to the end of the send queue");
}

TEST_F(BlockSession, CopyAllEndsWithGetMessageFailure) {
  h.main->CopyAllMessages();
  EXPECT_TRUE(h.main->CopyAllActive);
  h.TakeWritten();
  h.Receive(Frame({0x10, 0x02, 0x22, 0x00, 0x00, 0x10, 0x03, 0xFF, 0xDE}));
  EXPECT_EQ(h.main->StatusText(), "All messages copied.");
  EXPECT_FALSE(h.main->CopyAllActive);
  EXPECT_FALSE(h.main->CommandOutstanding);
}

TEST_F(BlockSession, GetMessageFailureOutsideCopyAllOnlyShowsTheCause) {
  h.Receive(Frame({0x10, 0x02, 0x22, 0x00, 0x87, 0x10, 0x03, 0xFF, 0x57}));
  EXPECT_EQ(h.main->StatusText(), "Get Message Failure - Message Transfer failed");
}

TEST_F(BlockSession, EndSmsModeEndsTheSessionAndKeepsItsText) {
  h.Receive(Frame({0x10, 0x02, 0x3F, 0x03, 0x10, 0x03, 0xFF, 0xBE}));
  EXPECT_EQ(h.main->StatusText(), "End SMS Mode - Receiving entity busy");
  EXPECT_FALSE(h.main->Connected());
  EXPECT_EQ(h.main->CommDrv.BlockType(), btHayes);
  EXPECT_TRUE(h.main->Connect_Timer->Enabled());
  h.Advance(1000);
  EXPECT_EQ(h.main->StatusText(), "End SMS Mode - Receiving entity busy");
}

TEST_F(BlockSession, TransferConfirmationPressesTheRequestedButton) {
  h.main->Transfer_AllClick();
  h.Receive(Frame({0x10, 0x02, 0x2A, 0x01, 0x10, 0x03, 0xFF, 0xD5}));
  EXPECT_TRUE(h.main->Transfer_All.Down);
  EXPECT_FALSE(h.main->No_Transfer.Down);
  EXPECT_EQ(h.main->StatusText(), "Request Confirmed - Transfer all incoming messages.");
}

TEST_F(BlockSession, MessageArrivedWaitsForTheOutstandingCommand) {
  h.main->No_TransferClick();
  ASSERT_EQ(h.TakeWritten().size(), 1u);
  h.Receive(Frame({0x10, 0x02, 0x24, 0x00, 0x00, 0x07, 0x10, 0x03, 0xFF, 0xD5}));
  EXPECT_EQ(h.main->StatusText(), "Message Arrived");
  EXPECT_TRUE(h.TakeWritten().empty());
  h.Receive(Frame({0x10, 0x02, 0x2A, 0x01, 0x10, 0x03, 0xFF, 0xD5}));
  EXPECT_EQ(h.TakeWritten(), Strings{Frame({0x10, 0x02, 0x01, 0x07, 0x10, 0x03, 0xFF, 0xF8})});
}

TEST_F(BlockSession, DeleteFailureQueuesTheSameDeleteAgain) {
  h.Receive(Frame({0x10, 0x02, 0x28, 0x1E, 0x01, 0x10, 0x03, 0xFF, 0xB9}));
  EXPECT_TRUE(h.status.Shown("Delete Message Failure - Msg# [1E] No memory"));
  EXPECT_EQ(h.TakeWritten(), Strings{Frame({0x10, 0x02, 0x08, 0x1E, 0x10, 0x03, 0xFF, 0xDA})});
}

TEST_F(BlockSession, ADeleteTheTerminalKeepsRefusingIsGivenUp) {
  const std::string failure = Frame({0x10, 0x02, 0x28, 0x1E, 0x00, 0x10, 0x03, 0xFF, 0xBA});
  int writes = 0;
  for (int i = 0; i < 4; ++i) {
    h.Receive(failure);
    writes += static_cast<int>(h.TakeWritten().size());
  }
  EXPECT_EQ(writes, 3);
  EXPECT_TRUE(h.status.Shown("Delete Message Failure - Msg# [1E] given up after 3 retries"));
}

TEST_F(BlockSession, UnableToProcessRequeuesADeleteFromSlot99) {
  while (h.main->Commands.ReadIndex() != 99) {
    h.main->CommandOutstanding = false;
    h.main->RequestNextMessage();
  }
  h.main->CommandOutstanding = false;
  h.main->DeleteMessage(4);
  ASSERT_EQ(h.main->Commands.ReadIndex(), 0);
  h.TakeWritten();
  h.Receive(Frame({0x10, 0x02, 0x29, 0x07, 0x10, 0x03, 0xFF, 0xD0}));
  EXPECT_TRUE(h.status.Shown("Unable To Process - Unknown cause code 07"));
  EXPECT_EQ(h.TakeWritten(), Strings{Frame({0x10, 0x02, 0x08, 0x04, 0x10, 0x03, 0xFF, 0xF4})});
}

TEST_F(BlockSession, UndefinedCodeLeavesTheOutstandingCommand) {
  h.main->No_TransferClick();
  h.Receive(Frame({0x10, 0x02, 0x40, 0x10, 0x03, 0xFF, 0xC0}));
  EXPECT_EQ(h.main->StatusText(), "Undefined ");
  EXPECT_TRUE(h.main->CommandOutstanding);
}

TEST_F(BlockSession, IncomingMessageReachesTheReceiveQueue) {
  // Message index 5, unread; SCA field 00; DELIVER from +4479 "hi".
  h.Receive(Frame({0x10, 0x02, 0x23, 0x00, 0x00, 0x05, 0x00, 0x00, 0x04, 0x04, 0x91, 0x44, 0x97,
                   0x00, 0x00, 0x99, 0x30, 0x71, 0x21, 0x54, 0x80, 0x00, 0x02, 0xE8, 0x34, 0x10,
                   0x03, 0x00, 0x00}));
  EXPECT_EQ(h.main->StatusText(), "Incoming Message");
  ASSERT_EQ(h.main->rx_grid.RowCount(), 3);
  EXPECT_EQ(h.main->rx_grid.Cell(0, 1), "5");
  EXPECT_EQ(h.main->rx_grid.Cell(1, 1), "New ");
  EXPECT_EQ(h.main->rx_grid.Cell(2, 1), "+4479");
  EXPECT_EQ(h.main->rx_grid.Cell(3, 1), "17-03-99");
  EXPECT_EQ(h.main->rx_grid.Cell(4, 1), "12:45:08");
  EXPECT_EQ(h.main->rx_grid.Cell(5, 1), "hi");
}

TEST_F(BlockSession, TruncatedMessageFrameIsStoredAsFarAsItGoes) {
  h.Receive(Frame({0x10, 0x02, 0x21, 0x00, 0x00, 0x05, 0x01, 0x00, 0x04, 0x04, 0x10, 0x03}));
  EXPECT_EQ(h.main->rx_grid.RowCount(), 3);
  EXPECT_NE(h.main->StatusText(), "Message");
}

}  // namespace
}  // namespace kavonet::testing
