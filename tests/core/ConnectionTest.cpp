#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using namespace std::string_literals;

using Strings = std::vector<std::string>;
using namespace std::chrono_literals;

// Answers each written command with OK and collects what the terminal received.
Strings InitialiseAndCollect(ControllerHarness& h) {
  Strings received;
  h.main->ConnectTerminal();
  for (int i = 0; i < 10 && !h.main->Connected(); ++i) {
    for (auto& w : h.TakeWritten()) received.push_back(w);
    h.Receive("\r\nOK\r\n");
  }
  for (auto& w : h.TakeWritten()) received.push_back(w);
  return received;
}

struct InitListCase {
  const char* name;
  std::string extraIni;
  Strings expected;
};

class PduInitList : public ::testing::TestWithParam<InitListCase> {};

TEST_P(PduInitList, TerminalReceivesEachCommandWithATAndCR) {
  ControllerHarness h{PduIni(GetParam().extraIni)};
  EXPECT_EQ(InitialiseAndCollect(h), GetParam().expected);
  EXPECT_TRUE(h.main->Connected());
  EXPECT_EQ(h.main->CommDrv.BlockType(), btPDU);
  EXPECT_EQ(h.main->StatusText(), "Entered ETSI SMS PDU Mode OK");
}

INSTANTIATE_TEST_SUITE_P(
    Options, PduInitList,
    ::testing::Values(
        InitListCase{"None", "",
                     {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CSCA=\"\"\r", "AT+CNMI=0,0,0,0\r"}},
        InitListCase{"Every",
                     "PIN Code=1234\nService Centre Address=+4479\nMem1=SM\nMem2=ME\nMem3=MT\n"
                     "[Receive Message]\nStartup Transfer=2\n",
                     {"ATZE0&S0\r", "AT+CPIN=\"1234\"\r", "AT+CMGF=0\r",
                      "AT+CPMS=\"SM\",\"ME\",\"MT\"\r", "AT+CSCA=\"+4479\"\r",
                      "AT+CNMI=0,1,0,0\r"}},
        InitListCase{"Mem2WithoutMem1", "Mem2=ME\n",
                     {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CSCA=\"\"\r", "AT+CNMI=0,0,0,0\r"}},
        InitListCase{"Mem3IgnoredWithoutMem2", "Mem1=SM\nMem3=MT\n",
                     {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CPMS=\"SM\"\r", "AT+CSCA=\"\"\r",
                      "AT+CNMI=0,0,0,0\r"}},
        InitListCase{"UnknownTransferModeHasNoCnmi",
                     "[Receive Message]\nStartup Transfer=7\n",
                     {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CSCA=\"\"\r"}}),
    [](const auto& info) { return info.param.name; });

TEST(Connect, PulsesTheLinesAndSleepsBeforeTheInitString) {
  ControllerHarness h{PduIni()};
  h.main->ConnectTerminal();
  EXPECT_EQ(h.loop.TotalSlept(), 1500ms);
  EXPECT_EQ(h.main->CommDrv.DeviceName, "COM2");
  EXPECT_EQ(h.main->CommDrv.BaudRate(), cbr9600);
  EXPECT_EQ(h.main->StatusText(), "ATZE0&S0\r");
  EXPECT_TRUE(h.main->Etsi_Response_Timer->Enabled());
  EXPECT_EQ(h.shell.cursor, TCursor::crHourGlass);
}

TEST(Connect, PortFiveGivesAnEmptyPortName) {
  ControllerHarness h{"[Configuration]\nPort=5\n"};
  h.port.failOpenWith = ENOENT;
  h.main->ConnectTerminal();
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_EQ(h.dialogs.errors[0],
            "Cannot connect to port  . Please check this is the correct port for your mobile "
            "terminal interface");
  EXPECT_EQ(h.main->StatusText(), "Check COM port settings and try again.");
  EXPECT_EQ(h.shell.beeps, std::vector<BeepType>{MB_ICONHAND});
  EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
  EXPECT_FALSE(h.main->Connected());
}

TEST(Connect, UnsupportedSpeedNeverOpensThePort) {
  ControllerHarness h{"[Configuration]\nSpeed=12345\n"};
  h.main->ConnectTerminal();
  EXPECT_FALSE(h.main->CommDrv.Connected());
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_NE(h.dialogs.errors[0].find("12345"), std::string::npos);
  EXPECT_NE(h.main->StatusText().find("12345"), std::string::npos);
}

TEST(Connect, ASpeedThePortRefusesLeavesThePortClosed) {
  ControllerHarness h{"[Configuration]\nSpeed=14400\n"};
  h.port.unsupportedBaudRate = 14400;
  h.main->ConnectTerminal();
  EXPECT_FALSE(h.main->CommDrv.Connected());
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_EQ(h.dialogs.errors[0],
            "Cannot connect to port COM2 at 14400 bit/s: the port does not support this line "
            "speed.");
  EXPECT_TRUE(h.TakeWritten().empty());
}

// Boxes whose modal loop lets time pass, as a real one does while the user reads it.
class SlowReader : public RecordingDialogs {
 public:
  VirtualEventLoop* loop = nullptr;
  void ErrorBox(const std::string& text) override {
    RecordingDialogs::ErrorBox(text);
    if (loop) loop->Advance(std::chrono::seconds(40));
  }
};

TEST(AutoConnect, NoSecondBoxWhileTheFirstIsOpen) {
  TempDir dir;
  std::ofstream(dir.Path() / "orvsms.ini") << "[Startup]\nAuto Connect=1\n";
  VirtualEventLoop loop;
  FakeCommPort port;
  port.failOpenWith = ENOENT;
  SlowReader dialogs;
  RecordingShell shell;
  TSMS_Main main(loop, port, dialogs, shell, dir.Path());
  dialogs.loop = &loop;
  main.FormActivate();
  EXPECT_EQ(dialogs.errors.size(), 1u) << "the timer ticks inside the box start nothing";
  dialogs.loop = nullptr;
  loop.Advance(std::chrono::seconds(15));
  EXPECT_EQ(dialogs.errors.size(), 2u) << "the timer still retries";
}

TEST(BlockModeEntry, WithWaitOkTheSessionStartsOnTheEntryCommandsOk) {
  ControllerHarness h{BlockIni()};
  h.main->ConnectTerminal();
  EXPECT_EQ(h.TakeWritten(), Strings{"ATZE0&S0\r"});
  h.Receive("\r\nOK\r\n");
  EXPECT_EQ(h.TakeWritten(), Strings{"AT*T\r\r"});
  EXPECT_FALSE(h.main->Connected());
  h.Receive("\r\nOK\r\n");
  EXPECT_TRUE(h.main->Connected());
  EXPECT_EQ(h.main->CommDrv.BlockType(), btBlock);
  EXPECT_EQ(h.main->StatusText(), "");  // the No Transfer frame clears the status bar
  EXPECT_EQ(h.TakeWritten(), Strings{"\x10\x02\x05\x00\x10\x03\xFF\xFB"s});
  EXPECT_EQ(h.main->BlockTransferMode, 0);
  EXPECT_FALSE(h.main->Connect_Timer->Enabled());
  EXPECT_FALSE(h.main->Etsi_Response_Timer->Enabled());
  EXPECT_TRUE(h.main->Transfer_TE.Enabled);
  EXPECT_EQ(h.main->TrayIcon.Hint, "Kavonet - Connected");
}

TEST(InitErrors, SixthErrorGivesUpWithTheRefusedCommand) {
  ControllerHarness h{PduIni()};
  h.main->ConnectTerminal();
  h.Receive("\r\nOK\r\n");  // init string accepted; +CMGF=0 now awaited
  for (int i = 0; i < 5; ++i) {
    h.Receive("\r\nERROR\r\n");
    h.Receive("\r\nOK\r\n");
  }
  EXPECT_EQ(h.main->InitErrors, 5);
  EXPECT_TRUE(h.dialogs.errors.empty());
  h.Receive("\r\nERROR\r\n");
  ASSERT_EQ(h.dialogs.errors.size(), 1u);
  EXPECT_EQ(h.dialogs.errors[0], "The command AT+CMGF=0 was rejected by the interface device.");
  EXPECT_FALSE(h.main->Etsi_Response_Timer->Enabled());
  EXPECT_FALSE(h.main->tx_queue_Timer->Enabled());
  EXPECT_TRUE(h.main->CommDrv.Connected()) << "the port stays open";
}

TEST(ResponseTimer, AfterTheSessionOnlySwitchesItselfOff) {
  ControllerHarness h{PduIni()};
  EnterSession(h);
  h.main->Etsi_Response_Timer->SetEnabled(true);
  h.TakeWritten();
  h.Advance(30000);
  EXPECT_FALSE(h.main->Etsi_Response_Timer->Enabled());
  EXPECT_TRUE(h.TakeWritten().empty());
}

TEST(AutoConnect, TimerFollowsTheConfigurationAndConnects) {
  ControllerHarness h{PduIni("[Startup]\nAuto Connect=1\n")};
  EXPECT_TRUE(h.main->Connect_Timer->Enabled());
  h.main->InitErrors = 3;
  h.Advance(15000);
  EXPECT_TRUE(h.main->CommDrv.Connected());
  EXPECT_EQ(h.main->InitErrors, 0);
}

TEST(ConnectButton, DisconnectQuestionAnsweredNoKeepsTheSession) {
  ControllerHarness h{PduIni("[Startup]\nAuto Connect=1\n")};
  EnterSession(h);
  h.dialogs.answerYes = false;
  h.main->Connect_MT.Down = false;  // the click toggles the button first
  h.main->Connect_MTClick();
  ASSERT_EQ(h.dialogs.warnings.size(), 1u);
  EXPECT_EQ(h.dialogs.warnings[0],
            "Kavonet is configured for Automatic Connection to the Mobile Terminal. Manually "
            "disconnecting will override this setting, you will need to re-connect manually, or "
            "restart Kavonet.\r\rDo you wish to disconnect anyway?.");
  EXPECT_TRUE(h.main->Connected());
  EXPECT_TRUE(h.main->No_Transfer.Enabled);
}

TEST(ConnectButton, DisconnectStopsTheTimersAndKeepsThePortOpen) {
  ControllerHarness h{PduIni()};
  EnterSession(h);
  h.main->Connect_MT.Down = false;
  h.main->Connect_MTClick();
  EXPECT_FALSE(h.main->Connected());
  EXPECT_FALSE(h.main->Rx_Queue_Timer->Enabled());
  EXPECT_FALSE(h.main->tx_queue_Timer->Enabled());
  EXPECT_TRUE(h.main->CommDrv.Connected());
  EXPECT_EQ(h.main->TrayIcon.Hint, "Kavonet - Disconnected");
  EXPECT_FALSE(h.main->No_Transfer.Enabled);
  EXPECT_FALSE(h.main->No_Transfer.Down);
}

TEST(Dsr, ChangeIsIgnoredInBlockMode) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  h.port.SetDsrHold(true);
  EXPECT_TRUE(h.main->Connected());
}

TEST(PduEntry, PressesTheButtonOfTheStartupTransferMode) {
  ControllerHarness h{PduIni("[Receive Message]\nStartup Transfer=2\n")};
  EnterSession(h);
  EXPECT_TRUE(h.main->Transfer_All.Down);
  EXPECT_FALSE(h.main->No_Transfer.Down);
  EXPECT_FALSE(h.main->Transfer_TE.Enabled) << "T.E. transfer is offered in Block Mode only";
}

}  // namespace
}  // namespace kavonet::testing
