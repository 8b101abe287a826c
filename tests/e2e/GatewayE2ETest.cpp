// The controller with the real POSIX port against kavonet-sim over a pseudo-terminal, in
// both interface types. Timers run ten times faster than in the product (the loop's
// speed-up) so that the 350 ms drain of long listings stays within a test's time.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>

#include "../core/ControllerHarness.h"
#include "SimProcess.h"
#include "config/GatewayConfig.h"
#include "core/TSMS.h"
#include "loop/PollEventLoop.h"
#include "serial/PosixCommPort.h"

namespace kavonet::testing {
namespace {

using namespace std::chrono_literals;

// KAVONET_E2E_SPEEDUP=1 runs the product's real intervals, to measure them.
double SpeedUp() {
  const char* value = std::getenv("KAVONET_E2E_SPEEDUP");
  return value ? std::max(std::atof(value), 0.1) : 10.0;
}

struct GatewayAgainstSim {
  GatewayAgainstSim(const std::string& mode, const std::string& extraIni = "",
                    const std::vector<std::string>& simArguments = {})
      : sim(dir.Path(), "pdu", simArguments),
        port(loop, [this](const std::string&) { return sim.Device().string(); }) {
    std::ofstream(dir.Path() / kConfigFileName)
        << "[Configuration]\nPort=2\nSpeed=115200\nInterface=" << mode << "\n"
        << extraIni;
    main = std::make_unique<TSMS_Main>(loop, port, dialogs, shell, dir.Path());
    main->SetObserver(&status);
  }
  ~GatewayAgainstSim() { main.reset(); }

  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    return loop.RunUntil(done, timeout);
  }
  bool Connect() {
    main->ConnectTerminal();
    return RunUntil([this] { return main->Connected() && !main->CommandOutstanding(); });
  }
  int QueuedMessages() const { return main->tx_queue.RowCount() - 2; }

  TempDir dir;
  SimProcess sim;
  PollEventLoop loop{SpeedUp()};
  PosixCommPort port;
  RecordingDialogs dialogs;
  RecordingShell shell;
  StatusHistory status;
  std::unique_ptr<TSMS_Main> main;
};

class EndToEnd : public ::testing::TestWithParam<const char*> {};

TEST_P(EndToEnd, EntersTheSession) {
  GatewayAgainstSim g(GetParam());
  ASSERT_TRUE(g.Connect()) << g.main->StatusText();
  EXPECT_EQ(g.main->TrayIcon.Hint, "Kavonet - Connected");
  EXPECT_EQ(g.main->CommDrv.BlockType(),
            std::string(GetParam()) == "PDU Mode" ? btPDU : btBlock);
  EXPECT_TRUE(g.main->No_Transfer.Down);
}

TEST_P(EndToEnd, SendsThreeMessagesThatTheTerminalJournals) {
  GatewayAgainstSim g(GetParam());
  ASSERT_TRUE(g.Connect());
  TSMS sms(*g.main);
  EXPECT_EQ(sms.Send_Message("", "+4479001,12345", "first message"), 2);
  EXPECT_EQ(sms.Send_Message("", "0044 7000", "second: @$ été Ж😀"), 1);
  ASSERT_TRUE(g.RunUntil([&] { return g.QueuedMessages() == 0 && !g.main->CommandOutstanding(); },
                         30s))
      << g.main->StatusText();
  const auto journal = g.sim.Journal();
  ASSERT_EQ(journal.size(), 3u);
  EXPECT_NE(journal[0].find(R"("destination":"+4479001")"), std::string::npos) << journal[0];
  EXPECT_NE(journal[0].find(R"("text":"first message")"), std::string::npos) << journal[0];
  EXPECT_NE(journal[1].find(R"("destination":"12345")"), std::string::npos) << journal[1];
  EXPECT_NE(journal[2].find(R"("destination":"00447000")"), std::string::npos) << journal[2];
  EXPECT_NE(journal[2].find("\"text\":\"second: @$ été Ж😀\""), std::string::npos)
      << journal[2];
  EXPECT_TRUE(g.main->tx_stage_1.Visible);
}

TEST_P(EndToEnd, SendsTwentyMessagesInOrder) {
  GatewayAgainstSim g(GetParam(), "[Receive Message]\nLog Transmit=0\n");
  ASSERT_TRUE(g.Connect());
  for (int i = 1; i <= 20; ++i) g.main->AppendToSendQueue(std::to_string(1000 + i), "n" + std::to_string(i));
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(g.RunUntil([&] { return g.QueuedMessages() == 0 && !g.main->CommandOutstanding(); },
                         std::chrono::milliseconds(static_cast<long>(120000 / SpeedUp()) + 10000)));
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  RecordProperty("wall_ms_at_product_speed", std::to_string(static_cast<long>(took.count() * SpeedUp())));
  const auto journal = g.sim.Journal();
  ASSERT_EQ(journal.size(), 20u);
  for (int i = 1; i <= 20; ++i) {
    EXPECT_NE(journal[i - 1].find("\"destination\":\"" + std::to_string(1000 + i) + "\""),
              std::string::npos);
  }
}

TEST_P(EndToEnd, ARefusedMessageIsSentAgain) {
  GatewayAgainstSim g(GetParam());
  ASSERT_TRUE(g.Connect());
  EXPECT_EQ(g.sim.Control("refuse-next-send 500"), "OK");
  g.main->AppendToSendQueue("777", "try again");
  ASSERT_TRUE(g.RunUntil([&] { return g.QueuedMessages() == 0 && !g.main->CommandOutstanding(); },
                         30s));
  // The journal holds what the terminal accepted: the message exactly once.
  ASSERT_EQ(g.sim.Journal().size(), 1u);
  EXPECT_NE(g.sim.Journal()[0].find("\"text\":\"try again\""), std::string::npos);
  const bool refusalShown = g.status.Shown("+CMS ERROR: 500\r\n") ||
                            g.status.Shown("Insert SMS Failure Unknown cause code F4");
  EXPECT_TRUE(refusalShown);
}

TEST_P(EndToEnd, ADeliveredMessageReachesTheReceiveQueue) {
  GatewayAgainstSim g(GetParam(), "[Receive Message]\nStartup Transfer=1\n");
  ASSERT_TRUE(g.Connect());
  EXPECT_EQ(g.sim.Control("deliver +447712345678 Hello from the network").substr(0, 2), "OK");
  ASSERT_TRUE(g.RunUntil([&] { return g.main->rx_grid.RowCount() == 3; }))
      << g.main->StatusText();
  EXPECT_EQ(g.main->rx_grid.Cell(2, 1), "+447712345678");
  EXPECT_EQ(g.main->rx_grid.Cell(5, 1), "Hello from the network");
  // The simulator stamps messages with the current UTC time.
  const std::time_t now = std::time(nullptr);
  char today[9];
  std::strftime(today, sizeof today, "%d-%m-%y", std::gmtime(&now));
  EXPECT_EQ(g.main->rx_grid.Cell(3, 1), today);
  EXPECT_EQ(g.main->rx_grid.Cell(4, 1).size(), 8u);
}

TEST_P(EndToEnd, ALongMessageTravelsInPartsBothWays) {
  GatewayAgainstSim g(GetParam(), "Long Messages=1\n[Receive Message]\nStartup Transfer=1\n");
  ASSERT_TRUE(g.Connect());
  std::string cyrillic, latin;
  for (int i = 0; i < 20; ++i) cyrillic += "Привет", latin += "0123456789";  // 120 UCS2, 200 GSM
  g.main->AppendToSendQueue("+4479", cyrillic);
  ASSERT_NE(g.sim.Control("deliver +4479 " + latin).find(' ', 3), std::string::npos) << "stored in parts";
  ASSERT_TRUE(g.RunUntil([&] { return g.QueuedMessages() == 0 && g.main->rx_grid.RowCount() == 3; }, 30s))
      << g.main->StatusText();
  std::string sent;
  for (const std::string& line : g.sim.Journal()) {
    EXPECT_NE(line.find(R"("parts":2)"), std::string::npos) << line;
    const std::size_t at = line.find(R"("text":")") + 8;
    sent += line.substr(at, line.find('"', at) - at);
  }
  EXPECT_EQ(sent, cyrillic);
  EXPECT_EQ(g.main->rx_grid.Cell(5, 1), latin);
}

TEST_P(EndToEnd, CopyAllOfTwoHundredFiftyMessagesLosesNone) {
  GatewayAgainstSim g(GetParam(), "[Receive Message]\nLog Receive=0\n");
  ASSERT_TRUE(g.Connect());
  EXPECT_EQ(g.sim.Control("fill 250"), "OK 250");
  TSMS(*g.main).Get_All("");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(g.RunUntil([&] { return g.status.Shown("All messages copied."); },
                         std::chrono::milliseconds(static_cast<long>(400000 / SpeedUp()))))
      << g.main->rx_grid.RowCount() << " rows; " << g.main->StatusText();
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  RecordProperty("wall_ms_at_product_speed", std::to_string(static_cast<long>(took.count() * SpeedUp())));
  ASSERT_EQ(g.main->rx_grid.RowCount(), 252);
  for (int row = 1; row <= 250; ++row) {
    ASSERT_EQ(g.main->rx_grid.Cell(5, row), "Message " + std::to_string(row)) << row;
  }
}

// PDU Mode only: a Block Mode terminal leaves Block Mode on the DTR pulse, and a
// pseudo-terminal has no DTR line to show the simulator.
TEST(EndToEndPdu, ASilentTerminalIsReconnected) {
  GatewayAgainstSim g("PDU Mode");
  ASSERT_TRUE(g.Connect());
  EXPECT_EQ(g.sim.Control("silent on"), "OK");
  g.main->AppendToSendQueue("555", "into the void");
  ASSERT_TRUE(g.RunUntil([&] { return g.main->CommandOutstanding(); }));
  EXPECT_EQ(g.sim.Control("silent off"), "OK");
  // 150 s of silence (15 s at this speed), then a new connection sends the message again.
  ASSERT_TRUE(g.RunUntil(
      [&] {
        return g.status.Shown("No answer from the Mobile Terminal for 150 seconds - reconnecting");
      },
      40s));
  ASSERT_TRUE(g.RunUntil([&] { return g.QueuedMessages() == 0; }, 30s)) << g.main->StatusText();
  EXPECT_EQ(g.sim.Journal().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Interfaces, EndToEnd, ::testing::Values("PDU Mode", "Block Mode"),
                         [](const auto& info) {
                           return std::string(info.param) == "PDU Mode" ? "Pdu" : "Block";
                         });

TEST(EndToEndBlock, EndSmsModeEndsTheSession) {
  GatewayAgainstSim g("Block Mode");
  ASSERT_TRUE(g.Connect());
  EXPECT_EQ(g.sim.Control("leave-block-mode 3"), "OK");
  ASSERT_TRUE(g.RunUntil([&] { return !g.main->Connected(); }));
  EXPECT_EQ(g.main->StatusText(), "End SMS Mode - Receiving entity busy");
  EXPECT_EQ(g.main->CommDrv.BlockType(), btHayes);
  EXPECT_TRUE(g.main->Connect_Timer->Enabled());
}

}  // namespace
}  // namespace kavonet::testing
