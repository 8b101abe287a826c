#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using Strings = std::vector<std::string>;

// A PDU Mode session with nothing outstanding.
struct PduSession : ::testing::Test {
  ControllerHarness h{PduIni()};
  void SetUp() override {
    EnterSession(h);
    ASSERT_FALSE(h.main->CommandOutstanding);
    h.TakeWritten();
  }
  std::string Row(int row) {
    std::string s;
    for (int col = 0; col < 6; ++col) s += h.main->rx_grid.Cell(col, row) + "|";
    return s;
  }
};

TEST_F(PduSession, SendsAMessageWithPromptAndConfirmation) {
  h.main->AppendToSendQueue("+4479", "hi");
  h.Advance(1000);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGS=12\r"});
  EXPECT_TRUE(h.main->tx_stage_2.Visible);
  h.Receive("\r\n> ");
  EXPECT_EQ(h.TakeWritten(), Strings{"B100049144970000A702E834\x1A"});
  EXPECT_TRUE(h.main->tx_stage_3.Visible);
  h.Receive("\r\n+CMGS: 12\r\n\r\nOK\r\n", 2);
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2);
  EXPECT_TRUE(h.main->tx_stage_1.Visible);
  EXPECT_FALSE(h.main->CommandOutstanding);
  std::ifstream log(h.dir.Path() / "transmit.txt");
  std::stringstream content;
  content << log.rdbuf();
  EXPECT_EQ(content.str().substr(0, 17), "4479             ");
  EXPECT_EQ(content.str().substr(content.str().size() - 6), " hi \r\n");
}

TEST_F(PduSession, ServiceCentreFieldIsNotCountedInTheLength) {
  ControllerHarness g{PduIni("SCA in TPDU=1\nService Centre Address=+12345\n")};
  EnterSession(g);
  g.TakeWritten();
  g.main->AppendToSendQueue("+4479", "hi");
  g.Advance(1000);
  EXPECT_EQ(g.TakeWritten(), Strings{"AT+CMGS=12\r"});
  g.Receive("\r\n> ");
  EXPECT_EQ(g.TakeWritten(), Strings{"04912143F5B100049144970000A702E834\x1A"});
}

TEST_F(PduSession, RejectedMessageIsSentAgain) {
  h.main->AppendToSendQueue("12345", "again");
  h.Advance(1000);
  h.Receive("\r\n> ");
  h.TakeWritten();
  h.Receive("\r\n+CMS ERROR: 500\r\n");
  EXPECT_TRUE(h.main->tx_stage_2.Visible);
  EXPECT_EQ(h.main->tx_queue.RowCount(), 3);
  h.Advance(1000);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGS=16\r"});
}

TEST_F(PduSession, ErrorWhileOnlyQueuedLeavesTheIcons) {
  h.main->AppendToSendQueue("12345", "x");
  h.Advance(1000);
  h.Receive("\r\nERROR\r\n");
  EXPECT_EQ(h.TakeWritten().size(), 2u) << "the PDU text is still written";
  EXPECT_TRUE(h.main->tx_stage_3.Visible);
}

TEST_F(PduSession, ListingSkipsTheServiceCentreFieldByTheHeaderLength) {
  h.main->CopyAllMessages();
  h.Receive("\r\n+CMGL: 1,0,17\r\n04912143F5040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(Row(1), "1|New |+4479|17-03-99|12:45:08|hi|");
  EXPECT_EQ(h.main->StatusText(), "All messages copied.");
  EXPECT_FALSE(h.main->CopyAllActive);
}

TEST_F(PduSession, HeadersWithTheAlphaFieldAreRead) {
  h.main->CopyAllMessages();
  h.Receive("\r\n+CMGL: 2,1,,17\r\n00040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(Row(1), "2|Read|+4479|17-03-99|12:45:08|hi|");
  h.main->GetMessage(9);
  h.Receive("\r\n+CMGR: 0,\"Smith, J\",17\r\n040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(Row(2), "9|New |+4479|17-03-99|12:45:08|hi|");
}

TEST_F(PduSession, EachReadIsStoredUnderItsOwnIndex) {
  h.Receive("\r\n+CMTI: \"SM\",5\r\n\r\n+CMTI: \"SM\",6\r\n", 2);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGR=5\r"});
  h.Receive("\r\n+CMGR: 1,17\r\n00040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGR=6\r"});
  h.Receive("\r\n+CMGR: 1,17\r\n00040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  EXPECT_EQ(h.main->rx_grid.Cell(0, 1), "5");
  EXPECT_EQ(h.main->rx_grid.Cell(0, 2), "6");
}

TEST_F(PduSession, AnUnaskedReadAnswerNeverTakesAnotherMessagesIndex) {
  h.main->GetMessage(7);
  h.Receive("\r\n+CMGR: 1,17\r\n00040491449700009930712154800002E834\r\n\r\nOK\r\n", 3);
  h.main->No_TransferClick();
  h.Receive("\r\nOK\r\n");
  h.Receive("\r\n+CMGR: 1,17\r\n00040491449700009930712154800002E834\r\n", 2);
  EXPECT_EQ(h.main->rx_grid.Cell(0, 1), "7");
  EXPECT_EQ(h.main->rx_grid.Cell(0, 2), "0") << "never deleted by a retrieval";
}

TEST_F(PduSession, PduLinesOfTheWrongLengthAreDecodedSafely) {
  h.main->CopyAllMessages();
  h.Receive("\r\n+CMGL: 1,0,60\r\n0404914497\r\n\r\n+CMGL: 2,0,3\r\n040491449700009930712154800002E834E834\r\n\r\nOK\r\n", 5);
  EXPECT_EQ(h.main->rx_grid.RowCount(), 4) << "both kept";
  EXPECT_FALSE(h.main->CopyAllActive);
}

TEST_F(PduSession, TransferConfirmationsByLabel) {
  h.main->Transfer_TEClick();
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CNMI=1,1,0,0\r"});
  h.Receive("\r\nOK\r\n");
  EXPECT_TRUE(h.main->Transfer_TE.Down);
  EXPECT_EQ(h.main->StatusText(), "Request Confirmed - Transfer incoming messages marked T.E. only.");
  h.main->Transfer_AllClick();
  h.Receive("\r\nOK\r\n");
  EXPECT_EQ(h.main->StatusText(), "Request Confirmed - Transfer all incoming messages");
}

TEST_F(PduSession, DeleteErrorShowsTheLineThenQueuesTheDeleteAgain) {
  h.main->DeleteMessage(3);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGD=3\r"});
  h.Receive("\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(h.main->StatusText(), "AT+CMGD=3\r") << "the retry is written at once";
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGD=3\r"});
  h.Receive("\r\nOK\r\n");
  EXPECT_EQ(h.main->StatusText(), "Delete Message in M.T. Complete - Msg# [3]");
}

TEST_F(PduSession, ADeleteTheTerminalKeepsRefusingIsGivenUp) {
  h.main->DeleteMessage(9);
  int writes = static_cast<int>(h.TakeWritten().size());
  for (int i = 0; i < 4; ++i) {
    h.Receive("\r\n+CMS ERROR: 321\r\n");
    writes += static_cast<int>(h.TakeWritten().size());
  }
  EXPECT_EQ(writes, 4) << "the delete and three retries";
  EXPECT_TRUE(h.status.Shown("Delete Message Failure - Msg# [9] given up after 3 retries"));
  EXPECT_FALSE(h.main->CommandOutstanding);
}

TEST_F(PduSession, SignalQualityNinetyNineLeavesAControlAlone) {
  h.Receive("\r\n+CSQ: 17,99\r\n");
  EXPECT_EQ(h.main->RSSI.Position, 17);
  EXPECT_EQ(h.main->rssi_val, "[17]");
  EXPECT_EQ(h.main->ber_val, "");
  h.Receive("\r\n+CSQ: 99,3\r\n");
  EXPECT_EQ(h.main->rssi_val, "[17]");
  EXPECT_EQ(h.main->BER.Position, 3);
}

}  // namespace
}  // namespace kavonet::testing
