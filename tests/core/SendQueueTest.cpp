#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using Strings = std::vector<std::string>;

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

struct PduQueue : ::testing::Test {
  ControllerHarness h{PduIni()};
  void SetUp() override {
    h.main->WallClock = [] { return std::time_t{0}; };
    EnterSession(h);
    h.TakeWritten();
  }
  // Answers the message in progress: prompt, reference, OK.
  void Confirm(int reference) {
    h.Receive("\r\n> ");
    h.Receive("\r\n+CMGS: " + std::to_string(reference) + "\r\n\r\nOK\r\n", 2);
  }
};

TEST_F(PduQueue, ThreeConfirmationsEmptyTheQueueInOrder) {
  h.main->AppendToSendQueue("111", "one");
  h.main->AppendToSendQueue("222", "two");
  h.main->AppendToSendQueue("333", "three");
  for (int i = 1; i <= 3; ++i) {
    h.Advance(1000);
    Confirm(i);
  }
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2);
  EXPECT_TRUE(h.main->tx_stage_1.Visible);
  EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
  const std::string log = ReadFile(h.dir.Path() / "transmit.txt");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 3);
  EXPECT_LT(log.find("111 "), log.find("222 "));
  EXPECT_LT(log.find("222 "), log.find("333 "));
}

struct BadHead {
  const char* name;
  const char* destination;
  const char* text;
  const char* status;
};

class UnsendableHead : public PduQueue, public ::testing::WithParamInterface<BadHead> {};

TEST_P(UnsendableHead, LeavesTheQueueSoTheNextMessageGoesOut) {
  h.main->AppendToSendQueue(GetParam().destination, GetParam().text);
  h.main->AppendToSendQueue("+4479", "hi");
  h.Advance(1000);
  EXPECT_TRUE(h.status.Shown(GetParam().status)) << h.main->StatusText();
  EXPECT_EQ(h.main->tx_queue.RowCount(), 3);
  h.Advance(1000);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGS=12\r"});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, UnsendableHead,
    ::testing::Values(
        BadHead{"NoDestination", "", "text", "No destination entered"},
        BadHead{"PlusOnly", "+", "text", "No destination entered"},
        BadHead{"NoText", "123", "", "No message data entered"},
        BadHead{"TooLong", "123456789012345678901", "text",
                "Destination 123456789012345678901 is not a telephone number (+ and up to 20 "
                "digits); message removed"},
        BadHead{"Letters", "12a4", "text",
                "Destination 12a4 is not a telephone number (+ and up to 20 digits); message "
                "removed"}),
    [](const auto& info) { return info.param.name; });

TEST_F(PduQueue, ALogThatCannotBeWrittenNeverSendsTheMessageTwice) {
  std::filesystem::create_directory(h.dir.Path() / "transmit.txt");
  h.main->AppendToSendQueue("123", "once");
  h.Advance(1000);
  Confirm(7);
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_EQ(h.dialogs.errors[0], "Unable to write to " + (h.dir.Path() / "transmit.txt").string());
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2);
  h.TakeWritten();
  h.Advance(5000);
  EXPECT_TRUE(h.TakeWritten().empty());
}

TEST(SendQueueLogs, TransmitLoggingOffWritesNothing) {
  ControllerHarness h{PduIni("[Receive Message]\nLog Transmit=0\n")};
  EnterSession(h);
  h.main->AppendToSendQueue("123", "quiet");
  h.Advance(1000);
  h.Receive("\r\n> ");
  h.Receive("\r\n+CMGS: 1\r\n\r\nOK\r\n", 2);
  EXPECT_EQ(h.main->tx_queue.RowCount(), 2);
  EXPECT_FALSE(std::filesystem::exists(h.dir.Path() / "transmit.txt"));
  h.main->TransmitLog1Click();
  EXPECT_EQ(h.main->StatusText(), "Transmit logging not enabled");
  EXPECT_TRUE(h.shell.opened.empty());
}

TEST(ReceiveQueue, AppendsSelectsAndLogsEachMessage) {
  ControllerHarness h{PduIni()};
  sms::ReceivedMessage message;
  message.MsgIndex = 3;
  message.IsNew = true;
  message.Origin = "+4479";
  message.Year = "99";
  message.Month = "03";
  message.Day = "17";
  message.Hour = "12";
  message.Minute = "45";
  message.Second = "08";
  message.Text = "hi";
  h.main->AddReceivedMessage(message);
  message.Origin = "+44791234567";  // 12 characters
  h.main->AddReceivedMessage(message);
  EXPECT_EQ(h.main->rx_grid.RowCount(), 4);
  EXPECT_EQ(h.main->rx_grid.Row(), 2);
  EXPECT_EQ(h.main->rx_grid.Cell(5, 3), "");
  EXPECT_EQ(ReadFile(h.dir.Path() / "receive.txt"),
            "+4479           17-03-99 12:45:08 hi\r\n"
            "+44791234567    17-03-99 12:45:08 hi\r\n");
  h.main->ReceiveLog1Click();
  EXPECT_EQ(h.shell.opened, Strings{(h.dir.Path() / "receive.txt").string()});
}

}  // namespace
}  // namespace kavonet::testing
