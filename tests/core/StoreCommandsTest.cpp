#include <gtest/gtest.h>

#include "ControllerHarness.h"
#include "SessionScript.h"

namespace kavonet::testing {
namespace {

using namespace std::string_literals;

using Strings = std::vector<std::string>;

struct CommandCase {
  const char* name;
  std::function<void(TSMS_Main&)> call;
  std::string pduBytes;
  std::string blockBytes;
  const char* label;
};

class StoreCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(StoreCommand, PduModeWritesTheATCommand) {
  ControllerHarness h{PduIni()};
  EnterSession(h);
  h.TakeWritten();
  h.main->CommandOutstanding = false;
  GetParam().call(*h.main);
  EXPECT_EQ(h.TakeWritten(), Strings{GetParam().pduBytes});
  EXPECT_EQ(h.main->Commands.At(h.main->Commands.LastReadIndex()).Label, GetParam().label);
}

TEST_P(StoreCommand, BlockModeWritesTheFrame) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  h.TakeWritten();
  h.main->CommandOutstanding = false;
  GetParam().call(*h.main);
  EXPECT_EQ(h.TakeWritten(), Strings{GetParam().blockBytes});
  EXPECT_EQ(h.main->Commands.At(h.main->Commands.LastReadIndex()).Label, GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, StoreCommand,
    ::testing::Values(
        CommandCase{"NoTransfer", [](TSMS_Main& m) { m.No_TransferClick(); }, "AT+CNMI=0,0,0,0\r",
                    "\x10\x02\x05\x00\x10\x03\xFF\xFB"s, label::kNoTransfer},
        CommandCase{"TransferTE", [](TSMS_Main& m) { m.Menu_Transfer_TEClick(); },
                    "AT+CNMI=1,1,0,0\r", "\x10\x02\x05\x03\x10\x03\xFF\xF8", label::kTransferTE},
        CommandCase{"TransferAll", [](TSMS_Main& m) { m.Transfer_AllClick(); },
                    "AT+CNMI=1,1,0,0\r", "\x10\x02\x05\x02\x10\x03\xFF\xF9", label::kTransferAll},
        CommandCase{"CopyAll", [](TSMS_Main& m) { m.CopyAllMessages(); }, "AT+CMGL=4\r",
                    "\x10\x02\x02\x10\x03\xFF\xFE", label::kCopyAllMessages},
        CommandCase{"Delete", [](TSMS_Main& m) { m.DeleteMessage(5); }, "AT+CMGD=5\r",
                    std::string("\x10\x02\x08\x05\x10\x03\xFF\xF3"), label::kDeleteMessage},
        CommandCase{"GetMessage300", [](TSMS_Main& m) { m.GetMessage(300); }, "AT+CMGR=300\r",
                    "\x10\x02\x01\x2C\x10\x03\xFF\xD3", label::kGetMessage}),
    [](const auto& info) { return info.param.name; });

TEST(TransferButtons, BlockModeClickReleasesTheGroupAndRemembersTheMode) {
  ControllerHarness h{BlockIni()};
  EnterSession(h);
  h.main->No_Transfer.Down = true;
  h.main->CommandOutstanding = false;
  h.main->Transfer_AllClick();
  EXPECT_FALSE(h.main->No_Transfer.Down);
  EXPECT_FALSE(h.main->Transfer_All.Down) << "down only once the terminal confirms";
  EXPECT_EQ(h.main->BlockTransferMode, 3);
}

TEST(StoreCommands, PduModeRemembersTheIndices) {
  ControllerHarness h{PduIni()};
  EnterSession(h);
  h.main->DeleteMessage(7);
  h.main->GetMessage(12);
  EXPECT_EQ(h.main->DeleteMsgIndex, 7);
  EXPECT_EQ(h.main->RxMsgIndex, 12);
}

TEST(StoreCommands, CopyAllInPduModeHoldsBackEveryOtherCommand) {
  ControllerHarness h{PduIni()};
  EnterSession(h);
  h.TakeWritten();
  h.main->CommandOutstanding = false;
  h.main->CopyAllMessages();
  EXPECT_TRUE(h.main->CopyAllActive);
  h.main->CommandOutstanding = false;
  h.main->GetMessage(1);
  EXPECT_EQ(h.TakeWritten(), Strings{"AT+CMGL=4\r"});
}

}  // namespace
}  // namespace kavonet::testing
