// Each store and transfer command in the form of each kind of session.

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using namespace std::string_literals;

struct CommandCase {
  const char* name;
  std::function<void(TSMS_Main&)> call;
  std::string pduBytes;
  std::string blockBytes;
};

class StoreCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(StoreCommand, WritesTheFormOfTheSession) {
  for (const bool block : {false, true}) {
    SCOPED_TRACE(block ? "Block Mode" : "PDU Mode");
    RunScript(Script{GetParam().name, block ? BlockIni() : PduIni(), Start::InSession,
                     {{Call(GetParam().call), W{block ? GetParam().blockBytes : GetParam().pduBytes}}}});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StoreCommand,
    ::testing::Values(
        CommandCase{"NoTransfer", [](TSMS_Main& m) { m.No_TransferClick(); }, "AT+CNMI=0,0,0,0\r",
                    F({0x05, 0x00})},
        CommandCase{"TransferTE", [](TSMS_Main& m) { m.Menu_Transfer_TEClick(); },
                    "AT+CNMI=1,1,0,0\r", F({0x05, 0x03})},
        CommandCase{"TransferAll", [](TSMS_Main& m) { m.Menu_Transfer_AllClick(); },
                    "AT+CNMI=1,1,0,0\r", "\x10\x02\x05\x02\x10\x03\xFF\xF9"},
        CommandCase{"CopyAll", [](TSMS_Main& m) { m.CopyAllMessages(); }, "AT+CMGL=4\r",
                    F({0x02})},
        CommandCase{"Delete", [](TSMS_Main& m) { m.DeleteMessage(5); }, "AT+CMGD=5\r",
                    F({0x08, 0x05})},
        CommandCase{"GetMessage300", [](TSMS_Main& m) { m.GetMessage(300); }, "AT+CMGR=300\r",
                    "\x10\x02\x01\x2C\x10\x03\xFF\xD3"}),
    [](const auto& info) { return info.param.name; });

TEST(TransferButtons, BlockModeClickReleasesTheGroupAndRemembersTheMode) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  h.Receive(F({0x2A, 0x01}));
  ASSERT_TRUE(h.main->No_Transfer.Down);
  h.main->Transfer_AllClick();
  EXPECT_FALSE(h.main->No_Transfer.Down);
  EXPECT_FALSE(h.main->Transfer_All.Down) << "down only once the terminal confirms";
  EXPECT_EQ(h.main->BlockTransferMode, 3);
}

}  // namespace
}  // namespace kavonet::testing
