// The in-memory override --simulate uses: the run takes the interface type it says, the
// file keeps its own.

#include <gtest/gtest.h>

#include "config/IniFile.h"
#include "tests/core/ControllerHarness.h"

namespace kavonet {
namespace {

using namespace std::chrono_literals;
using testing::RecordingDialogs;
using testing::RecordingShell;
using testing::TempDir;

TEST(ConfigurationOverride, AppliesToEveryReadAndLeavesTheFileAlone) {
  TempDir dir;
  std::ofstream(dir.Path() / "orvsms.ini") << "[Configuration]\nInterface=Block Mode\n";
  VirtualEventLoop loop;
  FakeCommPort port;
  RecordingDialogs dialogs;
  RecordingShell shell;
  int reads = 0;
  TSMS_Main main(loop, port, dialogs, shell, dir.Path(), [&](GatewayConfig& config) {
    ++reads;
    config.Interface = "PDU Mode";
  });
  EXPECT_EQ(main.Config().Interface, "PDU Mode");
  EXPECT_EQ(reads, 1) << "the read at creation";

  main.ConnectTerminal();
  EXPECT_EQ(reads, 2) << "and the read of every connection attempt";
  port.ClearLog();
  port.Receive("\r\nOK\r\n");
  loop.Advance(700ms);
  EXPECT_EQ(port.Written(), std::vector<std::string>{"AT+CMGF=0\r"}) << "PDU Mode, not Block Mode's entry";
  EXPECT_EQ(IniFile(dir.Path() / "orvsms.ini").ReadString("Configuration", "Interface", ""), "Block Mode");
}

}  // namespace
}  // namespace kavonet
