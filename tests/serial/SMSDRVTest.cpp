#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "serial/FakeCommPort.h"
#include "serial/SMSDRV.h"

namespace kavonet {
namespace {

using Log = std::vector<std::string>;

// A device whose settings differ from every value the driver writes, so that a setter
// that touches more than its own field shows in the log.
DCB OddDevice() {
  DCB dcb;
  dcb.BaudRate = 19200;
  dcb.Parity = 2;
  dcb.StopBits = 2;
  dcb.ByteSize = 7;
  dcb.EvtChar = 0x7E;
  return dcb;
}

class SMSDRV32Test : public ::testing::Test {
 protected:
  SMSDRV32Test() {
    driver.OnRxBlock = [this](SMSDRV32&, const TBuffer& buffer, int count) {
      events.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
    };
  }

  // Opened as the main window does it: DSR and the flag event, line mode.
  void OpenInLineMode() {
    driver.MonitorEvents = {evDSR, evRxFlag};
    driver.Open();
    driver.SetHayesMode();
    port.ClearLog();
  }

  FakeCommPort port;
  SMSDRV32 driver{port};
  std::vector<std::string> events;
};

TEST_F(SMSDRV32Test, Defaults) {
  EXPECT_EQ(driver.DeviceName, "COM2");
  EXPECT_EQ(driver.BaudRate(), cbr9600);
  EXPECT_EQ(driver.Parity(), paNone);
  EXPECT_EQ(driver.Stopbits(), sb1_0);
  EXPECT_EQ(driver.Databits(), da8);
  EXPECT_EQ(driver.MonitorEvents, TC32EventType::All());
  EXPECT_EQ(driver.ReadBufferSize, 16384);
  EXPECT_EQ(driver.WriteBufferSize, 4096);
  EXPECT_EQ(driver.BlockType(), btHayes);
  EXPECT_FALSE(driver.Connected());
  EXPECT_TRUE(port.Log().empty());
}

TEST(TC32EventType, EventMaskIsTheOrOfTheMembersBits) {
  EXPECT_EQ(TC32EventType::All().EventMask(), 0x1FFu);
  EXPECT_EQ((TC32EventType{evDSR, evRxFlag}).EventMask(), 0x12u);
  EXPECT_EQ((TC32EventType{evBreak, evError, evRing}).EventMask(), 0x1C0u);
  EXPECT_EQ(TC32EventType{}.EventMask(), 0u);
}

TEST(BaudRateValue, MapsEveryRate) {
  const std::uint32_t expected[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                                    19200, 38400, 56000, 57600, 115200, 128000, 256000};
  for (int rate = cbr110; rate <= cbr256000; ++rate) {
    EXPECT_EQ(BaudRateValue(static_cast<TBaudRate>(rate)), expected[rate]);
  }
}

TEST_F(SMSDRV32Test, OpenAppliesTheLineSettingsOneFieldAtATimeThenStartsEvents) {
  port.SetDcb(OddDevice());
  driver.MonitorEvents = {evDSR, evRxFlag};
  int openError = -1;
  driver.OnOpen = [&](SMSDRV32&, int error) { openError = error; };
  driver.Open();
  EXPECT_TRUE(driver.Connected());
  EXPECT_EQ(openError, 0);
  EXPECT_EQ(port.Log(), (Log{"Open COM2 16384 4096",
                             "SetCommState 9600 2 2 7 126",  // BaudRate
                             "SetCommState 9600 0 2 7 126",  // Parity
                             "SetCommState 9600 0 0 7 126",  // Stopbits
                             "SetCommState 9600 0 0 8 126",  // Databits
                             "StartEvents 0x13"}));  // and EV_RXCHAR, to drain a full queue
}

TEST_F(SMSDRV32Test, OpenUsesTheCurrentProperties) {
  driver.DeviceName = "COM4";
  driver.ReadBufferSize = 1000;
  driver.WriteBufferSize = -1;
  driver.SetBaudRate(cbr115200);
  driver.SetParity(paOdd);
  driver.SetStopbits(sb2_0);
  driver.SetDatabits(da7);
  EXPECT_TRUE(port.Log().empty());  // stored only while closed
  driver.Open();
  EXPECT_EQ(port.Log().front(), "Open COM4 1000 0");
  EXPECT_EQ(port.Dcb().BaudRate, 115200u);
  EXPECT_EQ(port.Dcb().Parity, 1);
  EXPECT_EQ(port.Dcb().StopBits, 2);
  EXPECT_EQ(port.Dcb().ByteSize, 7);
}

TEST_F(SMSDRV32Test, FailedOpenReportsTheErrorAndSetsNothingUp) {
  port.failOpenWith = ENOENT;
  int openError = -1;
  driver.OnOpen = [&](SMSDRV32&, int error) { openError = error; };
  driver.Open();
  EXPECT_FALSE(driver.Connected());
  EXPECT_EQ(openError, ENOENT);
  EXPECT_EQ(port.Log(), Log{"Open COM2 failed 2"});
}

TEST_F(SMSDRV32Test, OpenOnAnOpenPortClosesItFirst) {
  driver.Open();
  port.ClearLog();
  driver.Open();
  ASSERT_GE(port.Log().size(), 2u);
  EXPECT_EQ(port.Log()[0], "Close");
  EXPECT_EQ(port.Log()[1], "Open COM2 16384 4096");
}

TEST_F(SMSDRV32Test, CloseOnlyClosesAnOpenPort) {
  driver.Close();
  EXPECT_TRUE(port.Log().empty());
  driver.Open();
  port.ClearLog();
  driver.Close();
  EXPECT_EQ(port.Log(), Log{"Close"});
  EXPECT_FALSE(driver.Connected());
}

TEST_F(SMSDRV32Test, DestructionClosesThePort) {
  {
    SMSDRV32 other(port);
    other.Open();
  }
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SMSDRV32Test, LineSettersApplyAtOnceWhileOpen) {
  port.SetDcb(OddDevice());
  driver.Open();
  port.SetDcb(OddDevice());
  port.ClearLog();
  driver.SetBaudRate(cbr57600);
  driver.SetParity(paSpace);
  driver.SetStopbits(sb1_5);
  driver.SetDatabits(da5);
  EXPECT_EQ(port.Log(), (Log{"SetCommState 57600 2 2 7 126", "SetCommState 57600 4 2 7 126",
                             "SetCommState 57600 4 1 7 126", "SetCommState 57600 4 1 5 126"}));
  EXPECT_EQ(driver.BaudRate(), cbr57600);
  EXPECT_EQ(driver.Databits(), da5);
}

struct ModeCase {
  const char* name;
  void (SMSDRV32::*setter)();
  TBlockType blockType;
  int flag;
  const char* prompt;
};

TEST_F(SMSDRV32Test, ModeSettersChangeTheBlockTypeTheFlagCharacterAndThePromptEvent) {
  const ModeCase cases[] = {
      {"Hayes", &SMSDRV32::SetHayesMode, btHayes, 0x0A, "SetPromptEvent off"},
      {"Block", &SMSDRV32::SetBlockMode, btBlock, 0x03, "SetPromptEvent off"},
      {"PDU", &SMSDRV32::SetPDUMode, btPDU, 0x0A, "SetPromptEvent on"},
      {"Text", &SMSDRV32::SetTextMode, btHayes, 0x0A, "SetPromptEvent off"},
  };
  driver.Open();
  for (const ModeCase& c : cases) {
    driver.SetBlockType(btText);
    port.SetDcb(OddDevice());
    port.ClearLog();
    (driver.*c.setter)();
    EXPECT_EQ(driver.BlockType(), c.blockType) << c.name;
    EXPECT_EQ(port.Log(), (Log{"SetCommState 19200 2 2 7 " + std::to_string(c.flag), c.prompt}))
        << c.name;
  }
}

TEST_F(SMSDRV32Test, ModeSettersOnAClosedPortOnlyChangeTheBlockType) {
  driver.SetBlockMode();
  EXPECT_EQ(driver.BlockType(), btBlock);
  driver.SetPDUMode();
  EXPECT_EQ(driver.BlockType(), btPDU);
  for (const std::string& call : port.Log())
    EXPECT_EQ(call.rfind("SetCommState", 0), std::string::npos);
}

TEST_F(SMSDRV32Test, WriteBlockQueuesTheBytesAndReportsARefusal) {
  const std::uint8_t at[] = {'A', 'T', '\r'};
  EXPECT_EQ(driver.WriteBlock(at, 3), 0) << "the port is closed";
  driver.Open();
  EXPECT_EQ(driver.WriteBlock(at, 3), 3);
  EXPECT_EQ(port.Written(), std::vector<std::string>{"AT\r"});
  port.failWrite = true;
  EXPECT_EQ(driver.WriteBlock(at, 3), 0);
  EXPECT_EQ(port.Written().size(), 1u);
}

TEST_F(SMSDRV32Test, PurgesAndLineFunctions) {
  driver.Open();
  port.ClearLog();
  driver.PurgeInput();
  driver.PurgeOutput();
  EXPECT_TRUE(driver.SetDTR(true));
  EXPECT_TRUE(driver.SetDTR(false));
  EXPECT_TRUE(driver.SetRTS(true));
  EXPECT_TRUE(driver.SetRTS(false));
  port.lineFunctionsWork = false;
  EXPECT_FALSE(driver.SetDTR(true));
  EXPECT_EQ(port.Log(), (Log{"PurgeComm 0x0a", "PurgeComm 0x05", "EscapeCommFunction SetDTR",
                             "EscapeCommFunction ClrDTR", "EscapeCommFunction SetRTS",
                             "EscapeCommFunction ClrRTS", "EscapeCommFunction SetDTR"}));
  driver.Close();
  port.lineFunctionsWork = true;
  EXPECT_FALSE(driver.SetRTS(true));
}

TEST_F(SMSDRV32Test, ReceivedLinesAreCutWhenTheFlagCharacterArrives) {
  OpenInLineMode();
  port.Receive("\r\nOK");
  EXPECT_TRUE(events.empty());
  port.Receive("\r\n\r\n+CMTI: \"SM\",1\r\n");
  EXPECT_EQ(events, (std::vector<std::string>{"OK\r", "+CMTI: \"SM\",1\r"}));
  EXPECT_TRUE(port.Pending().empty());
}

TEST_F(SMSDRV32Test, PurgeInputDropsThePartialBlock) {
  OpenInLineMode();
  port.Receive("PA\nRT");  // read with the LF; no CR LF yet, so it waits in the cutter
  driver.PurgeInput();
  port.Receive("OK\r\n");
  EXPECT_EQ(events, std::vector<std::string>{"OK\r"});
}

TEST_F(SMSDRV32Test, PartialBlockSurvivesAReopen) {
  OpenInLineMode();
  port.Receive("AB\nC");
  driver.Open();
  driver.SetHayesMode();
  port.Receive("\r\n");
  EXPECT_EQ(events, std::vector<std::string>{"AB\nC\r"});
}

TEST_F(SMSDRV32Test, FramesAreCutOnEtx) {
  OpenInLineMode();
  driver.SetBlockMode();
  port.Receive(std::string("\x10\x02", 2) + "A\x10\x03" + "\x55");
  EXPECT_EQ(events, std::vector<std::string>{std::string("\x10\x02", 2) + "A\x10"});
}

TEST_F(SMSDRV32Test, PromptSwitchesToPduModeBeforeItIsDelivered) {
  OpenInLineMode();
  driver.SetPDUMode();
  port.SetDcb(OddDevice());  // shows the mode setter running again inside the cut
  port.ClearLog();
  Log logAtDelivery;
  driver.OnRxBlock = [&](SMSDRV32& sender, const TBuffer& buffer, int count) {
    EXPECT_EQ(sender.BlockType(), btPDU);
    logAtDelivery = port.Log();
    events.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  port.Receive("\r\n> ");
  EXPECT_EQ(events, std::vector<std::string>{">"});
  EXPECT_EQ(logAtDelivery, (Log{"SetCommState 19200 2 2 7 10", "SetPromptEvent on"}));
}

TEST_F(SMSDRV32Test, PromptSplitOverTwoReadsIsCutByThePromptEvent) {
  OpenInLineMode();
  driver.SetPDUMode();
  port.Receive("\r\n");
  port.Receive(">");
  EXPECT_TRUE(events.empty());
  port.Receive(" ");
  EXPECT_EQ(events, std::vector<std::string>{">"});
}

TEST_F(SMSDRV32Test, WithoutThePromptEventAPromptWaitsForTheNextLineFeed) {
  OpenInLineMode();
  driver.SetBlockType(btPDU);  // cuts prompts, but the port only signals LF
  port.Receive("\r\n");
  port.Receive("> ");
  EXPECT_TRUE(events.empty());
  port.Receive("\r\n");
  EXPECT_EQ(events, std::vector<std::string>{">"});
}

TEST_F(SMSDRV32Test, EventsAreRaisedInTheirFixedOrder) {
  driver.Open();  // all nine events monitored; the flag character is still 0
  std::vector<std::string> order;
  driver.OnRxBlock = [&](SMSDRV32&, const TBuffer&, int) { order.emplace_back("RxBlock"); };
  driver.OnDSRSignal = [&](SMSDRV32&, bool state) {
    order.push_back(state ? "DSR on" : "DSR off");
  };
  driver.OnBreakSignal = [&](SMSDRV32&) { order.emplace_back("Break"); };
  driver.OnCTSSignal = [&](SMSDRV32&, bool state) {
    order.push_back(state ? "CTS on" : "CTS off");
  };
  driver.OnErrorSignal = [&](SMSDRV32&, int errors) {
    order.push_back("Error " + std::to_string(errors));
  };
  driver.OnRingSignal = [&](SMSDRV32&) { order.emplace_back("Ring"); };
  driver.OnRLSDSignal = [&](SMSDRV32&) { order.emplace_back("RLSD"); };
  driver.OnRxFlagSignal = [&](SMSDRV32&) { order.emplace_back("RxFlag"); };
  driver.OnTxEmptySignal = [&](SMSDRV32&) { order.emplace_back("TxEmpty"); };

  port.Receive("OK\r\n");  // EV_RXCHAR alone: nothing is read
  EXPECT_TRUE(order.empty());
  EXPECT_EQ(port.Pending(), "OK\r\n");

  port.AddErrors(0x0A);
  port.Raise(0x1FF);
  EXPECT_EQ(order, (std::vector<std::string>{"RxBlock", "DSR on", "Break", "CTS on", "Error 10",
                                             "Ring", "RLSD", "TxEmpty"}));
}

TEST_F(SMSDRV32Test, DsrStateIsTheInverseOfTheHoldFlag) {
  OpenInLineMode();
  std::vector<bool> states;
  driver.OnDSRSignal = [&](SMSDRV32&, bool state) { states.push_back(state); };
  port.SetDsrHold(true);
  port.SetDsrHold(false);
  EXPECT_EQ(states, (std::vector<bool>{false, true}));
}

TEST_F(SMSDRV32Test, WithoutTheFlagEventNothingIsEverRead) {
  driver.MonitorEvents = {evDSR, evRxChar};
  driver.Open();
  driver.SetHayesMode();
  EXPECT_EQ(port.EventMask(), 0x11u);
  port.Receive("\r\nOK\r\n");
  driver.HandleCommEvent(EV_RXCHAR | EV_DSR);
  EXPECT_TRUE(events.empty());
  EXPECT_EQ(port.Pending(), "\r\nOK\r\n");
}

TEST_F(SMSDRV32Test, BlocksAreCutEvenWithoutARxBlockHandler) {
  OpenInLineMode();
  driver.OnRxBlock = nullptr;
  port.Receive("LOST\r\nPAR");
  driver.OnRxBlock = [this](SMSDRV32&, const TBuffer& buffer, int count) {
    events.emplace_back(reinterpret_cast<const char*>(buffer.data()), count);
  };
  port.Receive("T\r\n");
  EXPECT_EQ(events, std::vector<std::string>{"PART\r"});
}

TEST_F(SMSDRV32Test, AFailedReadDeliversNothingAndLosesNothing) {
  OpenInLineMode();
  port.failRead = true;
  port.Receive("OK\r\n");
  EXPECT_TRUE(events.empty());
  port.failRead = false;
  port.Receive("X\r\n");
  EXPECT_EQ(events, (std::vector<std::string>{"OK\r", "X\r"}));
}

TEST_F(SMSDRV32Test, MoreThanOneBufferQueuedIsReadInPassesAtOnce) {
  driver.ReadBufferSize = 1 << 20;  // the burst fills less than half of it
  driver.Open();  // flag character 0: lines pile up unread
  std::string burst;
  std::vector<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    const std::string line = "+CMGL: " + std::to_string(i) + ",1,,23\r";
    burst += line + "\n";
    expected.push_back(line);
  }
  ASSERT_GT(burst.size(), 3u * kBufferSize);
  port.Receive(burst);
  EXPECT_TRUE(events.empty());
  port.Raise(EV_RXFLAG);
  EXPECT_EQ(events, expected);
  EXPECT_TRUE(port.Pending().empty());
}

TEST_F(SMSDRV32Test, AHandlerMayCloseThePortInTheMiddleOfAPass) {
  driver.ReadBufferSize = 1 << 20;
  driver.Open();
  port.Receive("A\r\n" + std::string(3 * std::size_t{kBufferSize}, 'x') + "\r\nB\r\n");
  driver.OnRxBlock = [&](SMSDRV32& sender, const TBuffer&, int count) {
    events.push_back(std::to_string(count));
    sender.Close();
  };
  port.Raise(EV_RXFLAG);
  EXPECT_EQ(events, (std::vector<std::string>{"2"}));
  EXPECT_FALSE(driver.Connected());
}

}  // namespace
}  // namespace kavonet
