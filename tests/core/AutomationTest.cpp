// The client calls: destinations queued by the automation object and the command channel,
// and the retrieval protocol that hands the receive queue to one client at a time.

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

// The send queue as "destination=text" rows.
Check Queued(Strings rows) {
  return [rows](ControllerHarness& h) {
    Strings queued;
    for (int row = 1; row < h.main->tx_queue.RowCount() - 1; ++row) {
      queued.push_back(h.main->tx_queue.Cell(0, row) + "=" + h.main->tx_queue.Cell(1, row));
    }
    EXPECT_EQ(queued, rows);
    EXPECT_TRUE(h.main->CommDrv.Connected()) << "a call while disconnected connects";
  };
}
// Send_Message of `text` to `destinations` from a gateway never connected.
Script Send(const char* name, std::string destinations, Strings rows, std::string text = "text") {
  return {name, PduIni(), Start::Fresh, {{Client([=](TSMS& s) {
    EXPECT_EQ(s.Send_Message("", destinations, text), std::ssize(rows));
  }), {}, {}, Queued(rows)}}};
}
// The command channel's execute request `command` to a gateway never connected.
Script Command(const char* name, std::string command, Strings rows) {
  return {name, PduIni(), Start::Fresh,
          {{Call([=](TSMS_Main& m) { m.DDE_SendExecuteMacro(command); }), {}, {}, Queued(rows)}}};
}
const std::string k1000(1000, '1');

// Msg# `index` from +4479, 17-03-99 12:45:08, "text <index>", into the receive queue.
Event Store(int index) {
  return Call([index](TSMS_Main& m) {
    m.AddReceivedMessage({static_cast<std::int16_t>(index), true, "+4479", "99", "03", "17", "12",
                          "45", "08", "text " + std::to_string(index), "", {}, {}});
  });
}
const std::string kRetrieved = "New  +4479           17-03-99 12:45:08 text ";
Event Register(std::string name, bool accepted) {
  return Client([=](TSMS& s) { EXPECT_EQ(s.Register_Retrieve(name), accepted) << name; });
}
Event Retrieve(std::string name, std::string message) {
  return Client([=](TSMS& s) { EXPECT_EQ(s.Retrieve_Message(name), message) << name; });
}
// The registered client (empty: none) and the ticks it has left.
Check Holder(std::string name, std::string ticksLeft = TSMS_Main::kOleTicks) {
  return [=](ControllerHarness& h) {
    EXPECT_EQ(h.main->Rx_Ole_Appname, name);
    EXPECT_EQ(h.main->Ole_Time_Left, ticksLeft);
    EXPECT_EQ(h.main->Ole_Rx_Timeout->Enabled(), !name.empty());
  };
}
constexpr int kOleTick = 180000;
const std::string kTransferAll = PduIni("[Receive Message]\nStartup Transfer=2\n");

class Clients : public ::testing::TestWithParam<Script> {};
TEST_P(Clients, Run) { RunScript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Clients, ::testing::Values(
    Send("SendLetters", "abc", {}),
    // A number the cut would split is dropped; one ending at the cut is kept.
    Send("SendCutOnlyBetweenNumbers", "12," + std::string(997, '3') + "4,5", {"12=" + k1000},
         k1000 + "x"),
    Command("CommandFirstLineOnly", "555;a;b\r\n666;c", {"555=a;b"}),
    Script{"MessageNumberZeroIsNotDeleted", kTransferAll, Start::InSession, {
        {Events({Register("app", true), Store(0), Retrieve("app", kRetrieved + "0")}), W{}}}},
    Script{"OnlyTheHolderRetrievesAndNotFromABusyGrid", kTransferAll, Start::InSession, {
        {Events({Register("app", true), Store(4), Register("other", false), Retrieve("other", ""),
                 Call([](TSMS_Main& m) { m.RxGridBusy = true; }), Retrieve("app", ""),
                 Call([](TSMS_Main& m) { m.RxGridBusy = false; })}), W{}},
        {Wait(2 * kOleTick), {}, {}, Holder("app", "1")},
        // Each retrieval, even of nothing, starts the count again.
        {Events({Retrieve("app", kRetrieved + "4"), Retrieve("app", "")}), W{"AT+CMGD=4\r"}, {},
         Holder("app")},
        {Client([](TSMS& s) {
           EXPECT_FALSE(s.deRegister_Retrieve("other"));
           EXPECT_TRUE(s.deRegister_Retrieve("app"));
         }), W{}, {}, Holder("")}}},
    Script{"ExpiresOnTheFourthTickWithoutRetrievalAndReappliesTheStartupMode", kTransferAll,
           Start::InSession, {
        {Events({Register("app", true), Wait(kOleTick), Register("app", true)}), {}, {},
         Holder("app", "2")},  // registering again keeps the count
        {Wait(2 * kOleTick), {}, {}, Holder("app", "0")},
        {Wait(kOleTick), W{"AT+CNMI=1,1,0,0\r"}, {}, Holder("")}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::testing
