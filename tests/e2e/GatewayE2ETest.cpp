// The controller with the real POSIX port against kavonet-sim over a pseudo-terminal, in
// both interface types: what only the real line shows, two codecs and two framings
// meeting. Timers run ten times faster than in the product (the loop's speed-up) so that
// the 350 ms drain of long listings stays within a test's time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <memory>

#include "ProcessHarness.h"
#include "config/GatewayConfig.h"
#include "core/TSMS.h"
#include "loop/PollEventLoop.h"
#include "serial/PosixCommPort.h"
#include "tests/core/ControllerHarness.h"

namespace kavonet::testing {
namespace {

// KAVONET_E2E_SPEEDUP=1 runs the product's real intervals, to measure them.
double SpeedUp() {
  const char* value = std::getenv("KAVONET_E2E_SPEEDUP");
  return value ? std::max(std::atof(value), 0.1) : 10.0;
}

class EndToEnd : public ::testing::TestWithParam<std::tuple<GatewayVariant, const char*>> {
 protected:
  // Writes orvsms.ini (the interface, the variant's settings, then the test's) and
  // connects the gateway.
  void Connect(const IniSettings& settings = {}) {
    IniSettings ini{{"Configuration", "Port", "2"}, {"Configuration", "Speed", "115200"},
                    {"Configuration", "Interface", Interface()}};
    ini.insert(ini.end(), std::get<0>(GetParam()).settings.begin(), std::get<0>(GetParam()).settings.end());
    ini.insert(ini.end(), settings.begin(), settings.end());
    std::ofstream(sandbox.Work() / kConfigFileName) << IniText(ini);
    main = std::make_unique<TSMS_Main>(loop, port, dialogs, shell, sandbox.Work());
    main->SetObserver(&status);
    ASSERT_TRUE(sim.Started());
    main->ConnectTerminal();
    ASSERT_TRUE(RunUntil([this] { return main->Connected() && !main->CommandOutstanding(); }))
        << main->StatusText();
  }
  std::string Interface() const { return std::get<1>(GetParam()); }
  bool RunUntil(const std::function<bool()>& done, Milliseconds timeout = 30s) {
    return loop.RunUntil(done, timeout);
  }
  bool AllSent() { return main->tx_queue.RowCount() == 2 && !main->CommandOutstanding(); }

  Sandbox sandbox;
  SimTerminal sim{sandbox, sandbox.Work()};
  PollEventLoop loop{SpeedUp()};
  PosixCommPort port{loop, [this](const std::string&) { return sim.Link().string(); }};
  RecordingDialogs dialogs;
  RecordingShell shell;
  StatusHistory status;
  std::unique_ptr<TSMS_Main> main;
};

TEST_P(EndToEnd, SendsEachMessageOnceAfterARefusal) {
  Connect();
  EXPECT_EQ(main->TrayIcon.Hint, "Kavonet - Connected");
  EXPECT_EQ(main->CommDrv.BlockType(), Interface() == "PDU Mode" ? btPDU : btBlock);
  EXPECT_EQ(sim.Control("refuse-next-send 500"), "OK");
  TSMS sms(*main);
  EXPECT_EQ(sms.Send_Message("", "+4479001,12345", "first message"), 2);
  EXPECT_EQ(sms.Send_Message("", "0044 7000", "second: @$ été Ж😀"), 1);
  ASSERT_TRUE(RunUntil([&] { return AllSent(); })) << main->StatusText();
  // The journal holds what the terminal accepted.
  EXPECT_EQ(JournalSent(sim.JournalFile()),
            (std::vector<std::string>{"+4479001=first message", "12345=first message", "00447000=second: @$ été Ж😀"}));
  EXPECT_TRUE(status.Shown("+CMS ERROR: 500\r\n") || status.Shown("Insert SMS Failure Unknown cause code F4"));
}

TEST_P(EndToEnd, LongMessagesTravelInPartsBothWays) {
  Connect({{"Configuration", "Long Messages", "1"}, {"Receive Message", "Startup Transfer", "1"}});
  std::string cyrillic, latin;
  for (int i = 0; i < 20; ++i) cyrillic += "Привет", latin += "0123456789";  // 120 UCS2, 200 GSM
  main->AppendToSendQueue("+4479", cyrillic);
  EXPECT_EQ(sim.Control("deliver +447712345678 " + latin), "OK 1 2");
  ASSERT_TRUE(RunUntil([&] { return AllSent() && main->rx_grid.RowCount() == 3; })) << main->StatusText();
  const std::string journal = ReadFile(sim.JournalFile());
  std::size_t parts = 0;
  for (std::size_t at = 0; (at = journal.find(R"("parts":2)", at)) != std::string::npos; ++at) ++parts;
  EXPECT_EQ(parts, 2u) << journal;
  std::string sent;
  for (const std::string& part : JournalSent(sim.JournalFile())) sent += part.substr(part.find('=') + 1);
  EXPECT_EQ(sent, cyrillic);
  EXPECT_EQ(main->rx_grid.Cell(2, 1), "+447712345678");
  EXPECT_EQ(main->rx_grid.Cell(5, 1), latin);
  // The simulator stamps messages with the current UTC time.
  const std::time_t now = std::time(nullptr);
  char today[9];
  std::strftime(today, sizeof today, "%d-%m-%y", std::gmtime(&now));
  EXPECT_EQ(main->rx_grid.Cell(3, 1), today);
  EXPECT_EQ(main->rx_grid.Cell(4, 1).size(), 8u);
}

TEST_P(EndToEnd, CopyAllOfTwoHundredFiftyMessagesLosesNone) {
  Connect({{"Receive Message", "Log Receive", "0"}});
  EXPECT_EQ(sim.Control("fill 250"), "OK 250");
  TSMS(*main).Get_All("");
  ASSERT_TRUE(RunUntil([&] { return status.Shown("All messages copied."); },
                       std::chrono::milliseconds(static_cast<long>(400000 / SpeedUp()))))
      << main->rx_grid.RowCount() << " rows; " << main->StatusText();
  ASSERT_EQ(main->rx_grid.RowCount(), 252);
  for (int row = 1; row <= 250; ++row) {
    ASSERT_EQ(main->rx_grid.Cell(5, row), "Message " + std::to_string(row)) << row;
  }
}

// One instantiation per gateway variant (extra ini settings), each in both interfaces.
const auto kInterfaces = ::testing::Values("PDU Mode", "Block Mode");
std::string Name(const ::testing::TestParamInfo<EndToEnd::ParamType>& info) {
  return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param)[0] == 'P' ? "Pdu" : "Block");
}
INSTANTIATE_TEST_SUITE_P(Default, EndToEnd, ::testing::Combine(::testing::Values(kDefaultGateway), kInterfaces), Name);
INSTANTIATE_TEST_SUITE_P(Fast, EndToEnd, ::testing::Combine(::testing::Values(kFastGateway), kInterfaces), Name);

}  // namespace
}  // namespace kavonet::testing
