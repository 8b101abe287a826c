#include <gtest/gtest.h>

#include "ControllerHarness.h"
#include "SessionScript.h"
#include "core/TSMS.h"

namespace kavonet::testing {
namespace {

using Strings = std::vector<std::string>;

Strings QueuedDestinations(TSMS_Main& main) {
  Strings rows;
  for (int row = 1; row < main.tx_queue.RowCount() - 1; ++row) {
    rows.push_back(main.tx_queue.Cell(0, row) + "=" + main.tx_queue.Cell(1, row));
  }
  return rows;
}

struct DestinationCase {
  const char* name;
  std::string destinations;
  Strings rows;
};

class SendMessage : public ::testing::TestWithParam<DestinationCase> {};

TEST_P(SendMessage, FiltersAndSplitsTheDestinations) {
  ControllerHarness h{PduIni()};
  TSMS sms(*h.main);
  EXPECT_EQ(sms.Send_Message("", GetParam().destinations, "text"),
            static_cast<int>(GetParam().rows.size()));
  EXPECT_EQ(QueuedDestinations(*h.main), GetParam().rows);
}

INSTANTIATE_TEST_SUITE_P(
    Examples, SendMessage,
    ::testing::Values(DestinationCase{"TwoRows", "+44 123, 456;789", {"+44123=text", "456=text"}},
                      DestinationCase{"OneRow", "0044 1234;5678", {"00441234=text"}},
                      DestinationCase{"Commas", ",,,", {}},
                      DestinationCase{"Letters", "abc", {}}),
    [](const auto& info) { return info.param.name; });

TEST(SendMessage, NeverConnectedGatewayConnectsAndStillQueues) {
  ControllerHarness h{PduIni()};
  TSMS sms(*h.main);
  EXPECT_EQ(sms.Send_Message("", "123", "hi"), 1);
  EXPECT_TRUE(h.main->CommDrv.Connected());
  EXPECT_EQ(h.TakeWritten(), Strings{"ATZE0&S0\r"});
}

TEST(SendMessage, LongArgumentsAreCutAt1000Characters) {
  ControllerHarness h{PduIni()};
  TSMS sms(*h.main);
  sms.Send_Message("", "1", std::string(5000, 'x'));
  EXPECT_EQ(h.main->tx_queue.Cell(1, 1).size(), 1000u);
}

struct CommandCase {
  const char* name;
  std::string command;
  Strings rows;
};

class CommandChannel : public ::testing::TestWithParam<CommandCase> {};

TEST_P(CommandChannel, QueuesOneRowPerDestination) {
  ControllerHarness h{PduIni()};
  h.main->DDE_SendExecuteMacro(GetParam().command);
  EXPECT_EQ(QueuedDestinations(*h.main), GetParam().rows);
  EXPECT_TRUE(h.main->CommDrv.Connected()) << "a command while disconnected connects";
}

INSTANTIATE_TEST_SUITE_P(
    Examples, CommandChannel,
    ::testing::Values(
        CommandCase{"Meeting", "0123456, +44 789 ;Meeting at 10; room 2",
                    {"0123456=Meeting at 10; room 2", "+44789=Meeting at 10; room 2"}},
        CommandCase{"Simple", "123;Hi", {"123=Hi"}},
        CommandCase{"NoText", "123", {"123="}},
        CommandCase{"NoDestination", ";Hi", {}},
        CommandCase{"EmptyPieces", "1,,2;x", {"1=x", "2=x"}},
        CommandCase{"FirstLineOnly", "555;a;b\r\n666;c", {"555=a;b"}},
        CommandCase{"Empty", "", {}}),
    [](const auto& info) { return info.param.name; });

struct Registered : ::testing::Test {
  ControllerHarness h{PduIni("[Receive Message]\nStartup Transfer=2\nLog Receive=0\n")};
  TSMS sms{*h.main};
  void SetUp() override {
    EnterSession(h);
    h.TakeWritten();
    ASSERT_TRUE(sms.Register_Retrieve("app"));
  }
  void AddMessage(const std::string& index, const std::string& origin, const std::string& time) {
    sms::ReceivedMessage m;
    m.MsgIndex = static_cast<std::int16_t>(std::stoi(index));
    m.IsNew = true;
    m.Origin = origin;
    m.Year = "99";
    m.Month = "03";
    m.Day = "17";
    m.Hour = time.substr(0, 2);
    m.Minute = time.substr(3, 2);
    m.Second = time.substr(6, 2);
    m.Text = "text " + index;
    h.main->AddReceivedMessage(m);
  }
};

TEST_F(Registered, RetrievesInArrivalOrderAndDeletesFromTheTerminal) {
  AddMessage("4", "+4479", "12:45:08");
  AddMessage("5", "+4479", "12:46:00");
  EXPECT_EQ(sms.Retrieve_Message("app"), "New  +4479           17-03-99 12:45:08 text 4");
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGD=4\r"});
  EXPECT_EQ(h.main->rx_grid.Cell(0, 1), "5");
  EXPECT_EQ(h.main->Rx_Poll, TColor::clRed);
}

TEST_F(Registered, MessageNumberZeroIsNotDeleted) {
  AddMessage("0", "+4479", "12:45:08");
  EXPECT_FALSE(sms.Retrieve_Message("app").empty());
  EXPECT_TRUE(h.TakeWritten().empty());
}

TEST_F(Registered, OtherNamesAndABusyGridGetNothing) {
  AddMessage("4", "+4479", "12:45:08");
  EXPECT_FALSE(sms.Register_Retrieve("other"));
  EXPECT_EQ(sms.Retrieve_Message("other"), "");
  h.main->RxGridBusy = true;
  EXPECT_EQ(sms.Retrieve_Message("app"), "");
  h.main->RxGridBusy = false;
  EXPECT_NE(sms.Retrieve_Message("app"), "");
  EXPECT_EQ(sms.Retrieve_Message("app"), "") << "queue empty";
  EXPECT_EQ(h.main->Ole_Time_Left, "3");
}

TEST_F(Registered, ExpiresOnTheFourthTickWithoutRetrievalAndReappliesTheStartupMode) {
  EXPECT_TRUE(sms.Register_Retrieve("app")) << "again: true, count not reset";
  Strings counts;
  for (int tick = 0; tick < 3; ++tick) {
    h.Advance(180000);
    counts.push_back(h.main->Ole_Time_Left);
  }
  EXPECT_EQ(counts, (Strings{"2", "1", "0"}));
  EXPECT_EQ(h.main->Rx_Ole_Appname, "app");
  h.TakeWritten();
  h.Advance(180000);
  EXPECT_EQ(h.main->Rx_Ole_Appname, "");
  EXPECT_EQ(h.main->Ole_Time_Left, "3");
  EXPECT_FALSE(h.main->Ole_Rx_Timeout->Enabled());
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CNMI=1,1,0,0\r"}) << "Transfer All applied again";
}

TEST_F(Registered, DisconnectEndsTheRegistration) {
  sms.Disconnect("");
  EXPECT_EQ(h.main->Rx_Ole_Appname, "");
  EXPECT_EQ(sms.Retrieve_Message("app"), "");
  EXPECT_EQ(sms.Receive_Mode(""), "Disconnected");
  EXPECT_FALSE(sms.Register_Retrieve("app"));
}

TEST_F(Registered, DeregisterOnlyByTheHolder) {
  EXPECT_FALSE(sms.deRegister_Retrieve("other"));
  EXPECT_TRUE(sms.deRegister_Retrieve("app"));
  EXPECT_EQ(h.main->Rx_Ole_Appname, "");
}

TEST(ReceiveMode, ReportsTheButtonThatIsDown) {
  ControllerHarness h{PduIni()};
  TSMS sms(*h.main);
  EXPECT_EQ(sms.Receive_Mode(""), "Disconnected");
  EnterSession(h);
  EXPECT_EQ(sms.Receive_Mode(""), "No_Transfer");
  h.main->No_Transfer.Down = false;
  EXPECT_EQ(sms.Receive_Mode(""), "");
  EXPECT_TRUE(sms.Is_Connected(""));
}

}  // namespace
}  // namespace kavonet::testing
