// The terminal session as step tables: what the terminal receives and what the gateway
// shows for each answer, in PDU Mode, in Block Mode and while initialising.

#include <fstream>

#include "SessionScript.h"
#include "sms/PduCodec.h"

namespace kavonet::testing {
namespace {

using namespace std::string_literals;
using namespace std::chrono_literals;

const std::string kOk = "\r\nOK\r\n";
// SMS-DELIVER from +4479, "hi", 17-03-99 12:45:08.
const std::string kDeliver = "040491449700009930712154800002E834";
const std::string kHiRow = "|+4479|17-03-99|12:45:08|hi|";
// The Insert SMS frame of "hi" to +4479.
const std::string kInsertHi = [] {
  const std::vector<std::uint8_t> frame =
      StuffedFrame(sms::BuildSubmitPdu("+4479", "hi", "", false, true).octets);
  return std::string(frame.begin(), frame.end());
}();

Check TransmitLogLines(int lines) {
  return [lines](ControllerHarness& h) {
    const std::string log = ReadText(h.dir / "transmit.txt");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), lines) << log;
  };
}
Check Head(std::string destination) {
  return [destination](ControllerHarness& h) { EXPECT_EQ(h.main->tx_queue.Cell(0, 1), destination); };
}
Check Shown(std::string text) {
  return [text](ControllerHarness& h) { EXPECT_TRUE(h.status.Shown(text)) << text; };
}
// Exactly one write, beginning with `prefix`.
Check OneWriteStarting(std::string prefix) {
  return [prefix](ControllerHarness& h) {
    const Strings& w = h.lastWritten;
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0].substr(0, prefix.size()), prefix);
  };
}
class Session : public ::testing::TestWithParam<Script> {};
TEST_P(Session, Runs) { RunScript(GetParam()); }
auto Name = [](const auto& info) { return std::string(info.param.name); };

// ---- PDU Mode ----
INSTANTIATE_TEST_SUITE_P(Pdu, Session, ::testing::Values(
    Script{"RefusedCmgsLineNeverWritesThePdu", PduIni(), Start::InSession, {
        {Events({Queue("111", "a"), Queue("222", "b"), Tick()}), {}, {}, OneWriteStarting("AT+CMGS=")},
        {Rx("\r\nERROR\r\n"), W{}, "ERROR\r\n", Stage(2)},
        {Tick(), {}, {}, OneWriteStarting("AT+CMGS=")},
        {Rx("\r\n+CMS ERROR: 304\r\n"), W{}},
        {Tick(), {}, {}, OneWriteStarting("AT+CMGS=")},
        {Rx("\r\n+CME ERROR: 3\r\n"), W{},
         "Message to 111 refused 3 times: moved to the end of the send queue", Head("222")},
        {Tick(), {}, {}, OneWriteStarting("AT+CMGS=")}}},
    Script{"AStrayConfirmationRemovesNothing", PduIni(), Start::InSession, {
        {Events({Queue("111", "a"), Rx("\r\n+CMGS: 5\r\n")}), W{},
         "Ignored +CMGS: 5: no message is waiting for it", Rows(3)},
        {Rx("\r\n> "), W{}, "Ignored a prompt from the Mobile Terminal: no message is being sent"},
        {Tick(), {}, {}, OneWriteStarting("AT+CMGS=")},
        // Received before the PDU text went out: it cannot be that text's confirmation.
        {Rx("\r\n> \r\n+CMGS: 6\r\n", 2), {}, "Ignored +CMGS: 6: no message is waiting for it",
         Rows(3)},
        {Rx("\r\n+CMGS: 7\r\n" + kOk, 2), W{}, {}, Rows(2)}}},
    Script{"AListingAskedForTwiceRunsOnce", PduIni(), Start::InSession, {
        {Client([](TSMS& s) { s.Get_All(""); s.Get_All(""); }), W{"AT+CMGL=4\r"}},
        {Rx(kOk), W{}, "All messages copied."}}},
    Script{"AnUnaskedReadAnswerGetsIndexZero", PduIni(), Start::InSession, {
        {Events({Call([](TSMS_Main& m) { m.GetMessage(7); }),
                 Rx("\r\n+CMGR: 1,17\r\n" + kDeliver + "\r\n" + kOk, 3),
                 Rx("\r\n+CMGR: 1,17\r\n" + kDeliver + "\r\n", 2)}),
         {}, {}, Checks({Received(1, "7|Read" + kHiRow), Received(2, "0|Read" + kHiRow)})}}},
    Script{"DsrChangeAfterADisconnectStartsNothing", PduIni(), Start::InSession, {
        {[](ControllerHarness& h) {  // a click on the connect button: it toggles first
           h.main->Connect_MT.Down = false;
           h.main->Connect_MTClick();
         }, W{}},
        {[](ControllerHarness& h) { h.port.SetDsrHold(true); }, W{}, {},
         [](ControllerHarness& h) { EXPECT_FALSE(h.main->Connect_Timer->Enabled()); }},
        {Wait(30000), W{}, {}, Connected(false)}}}),
    Name);

// ---- Block Mode ----
INSTANTIATE_TEST_SUITE_P(Block, Session, ::testing::Values(
    Script{"CopyAllEndsOnAMessageList", BlockIni(), Start::InSession, {
        {Call([](TSMS_Main& m) { m.CopyAllMessages(); }), W{F({0x02})}},
        {Rx(F({0x20})), W{}, "Message List - Not Processed",
         [](ControllerHarness& h) { EXPECT_FALSE(h.main->CopyAllActive()); }},
        {Events({Queue("+4479", "hi"), Tick()}), W{kInsertHi}}}},
    // A confirmation that answers no request on the line leaves the read waiting.
    Script{"AStrayConfirmationEndsNoRead", BlockIni(), Start::InSession, {
        {Events({Call([](TSMS_Main& m) { m.GetMessage(5); }), Rx(F({0x2A, 0x01}))}), W{F({0x01, 0x05})}, {},
         [](ControllerHarness& h) { EXPECT_TRUE(h.main->CommandOutstanding()); }}}},
    Script{"ARefusedDeleteIsRetriedThenGivenUp", BlockIni(), Start::InSession, {
        {Call([](TSMS_Main& m) { m.DeleteMessage(0x1E); }), W{F({0x08, 0x1E})}},
        {Rx(F({0x28, 0x1E, 0x01})), W{F({0x08, 0x1E})}, {},
         Shown("Delete Message Failure - Msg# [1E] No memory")},
        {Rx(F({0x29, 0x07})), W{F({0x08, 0x1E})}, {}, Shown("Unable To Process - Unknown cause code 07")},
        {Rx(F({0x28, 0x1E, 0x00})), W{F({0x08, 0x1E})}},
        {Rx(F({0x28, 0x1E, 0x00})), W{}, "Delete Message Failure - Msg# [1E] given up after 3 retries"}}}),
    Name);

// ---- Initialisation and client calls around it ----
INSTANTIATE_TEST_SUITE_P(Init, Session, ::testing::Values(
    Script{"ClientCallsDuringInitialisationDoNotStartItOver", PduIni(), Start::Fresh, {
        {Connect(), W{"ATZE0&S0\r"}},
        {Client([](TSMS& s) {
           s.Connect("");
           for (int i = 0; i < 3; ++i) s.Send_Message("", "111", "m" + std::to_string(i));
         }), W{}, {}, [](ControllerHarness& h) { EXPECT_EQ(h.loop.TotalSlept(), 1500ms); }},
        {Call([](TSMS_Main& m) { m.DDE_SendExecuteMacro("222;x"); }), W{}, {}, Rows(6)},
        {Rx(kOk), W{"AT+CMGF=0\r"}}}},
    Script{"TheAutoConnectTimerLeavesAnInitialisationUnderWayAlone",
           PduIni("[Startup]\nAuto Connect=1\n"), Start::Fresh, {
        {Connect(), W{"ATZE0&S0\r"}},
        {Wait(16000), W{}, {}, [](ControllerHarness& h) { EXPECT_EQ(h.loop.TotalSlept(), 1500ms); }}}},
    Script{"ModeRequestsWhileDisconnectedAreNotWritten", PduIni(), Start::Fresh, {
        {Client([](TSMS& s) { s.Transfer_All_Mode(""); }), W{},
         "Not connected to the Mobile Terminal: Transfer All not sent", Boxes(0)}}},
    Script{"OnlyFinalResultsAnswerAnInitCommand", PduIni(), Start::Fresh, {
        {Connect(), W{"ATZE0&S0\r"}},
        {Rx("\r\nATZE0&S0\r\r\n"), W{}},
        {Rx("\r\nok\r\n"), W{}},
        {Rx("0\r\n"), W{"AT+CMGF=0\r"}},
        {Rx("\r\n+CME ERROR: 10\r\n"), W{"ATZE0&S0\r"},
         {}, [](ControllerHarness& h) { EXPECT_EQ(h.main->InitErrors, 1); }},
        {Rx("4\r\n"), W{"ATZE0&S0\r"}}}},
    Script{"ASilentInitialisationFailsAndIsStartedAfreshByTheWatchdog", PduIni(), Start::Fresh, {
        {Events({Connect(), Wait(151000)}), W{"ATZE0&S0\r", "\x1B"}, {},
         Shown("Failed to enter ETSI SMS PDU Mode")},
        {Wait(1000), W{"ATZE0&S0\r"}, {},
         Shown("No answer from the Mobile Terminal for 150 seconds - reconnecting")}}}),
    Name);

// ---- Queues kept across a kill ----
const Strings kPduInit = {"ATZE0&S0\r", "AT+CMGF=0\r", "AT+CSCA=\"\"\r", "AT+CNMI=0,0,0,0\r"};
const std::string kReadHi = "\r\n+CMGR: 1,17\r\n" + kDeliver + "\r\n" + kOk;
// "hi" from the same sender a second later: another message at the same index.
const std::string kReadOther =
    "\r\n+CMGR: 1,17\r\n040491449700009930712154900002E834\r\n" + kOk;

Strings Plus(Strings a, const Strings& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
Event Retrieve() {
  return Client([](TSMS& s) {
    s.Register_Retrieve("app");
    EXPECT_NE(s.Retrieve_Message("app"), "");
  });
}
Check StoredIn(std::size_t rows) {
  return [rows](ControllerHarness& h) { EXPECT_EQ(h.store.LoadIncoming().size(), rows); };
}
Check StoredOut(Strings texts) {
  return [texts](ControllerHarness& h) {
    Strings stored;
    for (const OutgoingRow& row : h.store.LoadOutgoing()) stored.push_back(row.message.text);
    EXPECT_EQ(stored, texts);
  };
}
Event SubmitRefused() {
  return Client([](TSMS& s) { EXPECT_THROW(s.Send_Message("", "+4479", "hi"), SubmissionRefused); });
}
// A confirmation committed with its log line; the process ended before the line was written
// (`logged` false) or just after.
Event ConfirmedBeforeKill(bool logged) {
  return [logged](ControllerHarness& h) {
    const auto ids = h.store.AddOutgoing({{"4479", "hi"}});
    ASSERT_TRUE(ids && h.store.ConfirmOutgoing(ids->front(), "4479 line"));
    if (logged) std::ofstream(h.dir.Path() / "transmit.txt", std::ios::binary) << "4479 line\r\n";
    h.Restart();
  };
}

INSTANTIATE_TEST_SUITE_P(Kept, Session, ::testing::Values(
    Script{"HandedOverAndReplacedIsKeptAsNew", PduIni(), Start::InSession, {
        {Rx("\r\n+CMTI: \"SM\",3\r\n"), W{"AT+CMGR=3\r"}},
        {Rx(kReadHi, 3), W{}, {}, StoredIn(1)},
        {Retrieve(), W{"AT+CMGD=3\r"}},
        // Whether that delete was carried out is unknown: the index is read back first.
        {Events({Kill(), Connect(), Initialise()}), Plus(kPduInit, {"AT+CMGR=3\r"}), {}, Received(0, "")},
        {Rx(kReadOther, 3), W{}, {},
         Checks({Received(1, "3|Read|+4479|17-03-99|12:45:09|hi|"), StoredIn(1)})}}},
    Script{"KeptRowIsReadBackBeforeItsDelete", PduIni(), Start::InSession, {
        {Rx("\r\n+CMTI: \"SM\",3\r\n"), W{"AT+CMGR=3\r"}},
        {Events({Rx(kReadHi, 3), Kill(), Connect(), Initialise()}), kPduInit, {}, Received(1, "3|Read" + kHiRow)},
        {Retrieve(), W{"AT+CMGR=3\r"}},
        {Rx(kReadHi, 3), W{"AT+CMGD=3\r"}},
        {Rx(kOk), W{}, {}, StoredIn(0)}}},
    Script{"ConfirmedIsNeverSentAgainAndOnTheLineIsResent", PduIni(), Start::InSession, {
        {Events({Queue("+4479", "one"), Queue("+4479", "two"), Tick()}), {}, {}, OneWriteStarting("AT+CMGS=")},
        {Rx("> "), {}, {}, OneWriteStarting("B1")},
        {Rx("\r\n+CMGS: 5\r\n" + kOk, 2), W{}, {}, Checks({TransmitLogLines(1), StoredOut({"two"})})},
        {Events({Tick(), Rx("> ")}), {}, {}, StoredOut({"two"})},
        // The terminal may still be at its prompt: ESC first.
        {Events({Kill(), Connect(), Wait(1000), Initialise()}), Plus({"\x1B"}, kPduInit), {}, Rows(3)},
        {Tick(), {}, {}, Checks({OneWriteStarting("AT+CMGS="), Shown("Resending message interrupted by a restart")})},
        {Events({Rx("> "), Rx("\r\n+CMGS: 6\r\n" + kOk, 2)}), {}, {}, Checks({TransmitLogLines(2), StoredOut({}), Rows(2)})}}},
    Script{"LogLineOfAConfirmationIsWrittenOnceAtStart", PduIni(), Start::Fresh, {
        {ConfirmedBeforeKill(false), W{}, {}, TransmitLogLines(1)},
        {ConfirmedBeforeKill(true), W{}, {}, TransmitLogLines(1)}}},
    Script{"DraggedRowsMoveInTheStoreButNotTheOneBeingSent", PduIni(), Start::InSession, {
        {Events({Queue("+1", "a"), Queue("+2", "b"), Queue("+3", "c"), Call([](TSMS_Main& m) {
           EXPECT_TRUE(m.MoveSendQueueRow(3, 1));
         })}), W{}, {}, StoredOut({"c", "a", "b"})},
        {Events({Tick(), Call([](TSMS_Main& m) { EXPECT_FALSE(m.MoveSendQueueRow(2, 1)); })}), {}, {},
         Checks({StoredOut({"c", "a", "b"}), Head("+3")})}}},
    Script{"AStoreThatCannotWriteRefusesSubmissionsAndSaysSoOnce", PduIni(), Start::InSession, {
        {Events({[](ControllerHarness& h) { h.store.Fail({"/q/kavonet-queue.db", "disk full"}); },
                 SubmitRefused(), SubmitRefused()}), W{},
         "Message queue file /q/kavonet-queue.db: disk full - new messages are refused",
         Checks({Rows(2), [](ControllerHarness& h) { EXPECT_EQ(h.status.problems.size(), 1u); }})},
        // What arrives is still shown: the terminal keeps its own copy.
        {Events({Rx("\r\n+CMTI: \"SM\",3\r\n"), Rx(kReadHi, 3)}), W{"AT+CMGR=3\r"}, {},
         Received(1, "3|Read" + kHiRow)}}}),
    Name);

// ---- Long messages ----
const std::string kLong(200, 'a');  // 153 + 47 septets
const std::string kSent = "\r\n+CMGS: 12\r\n" + kOk;
const std::string kHiJoined = "6|Read|+4479|17-03-99|12:45:08|hi!|";
// The writes that send part `k` of kLong, with the first store id as its reference.
Strings PduPart(std::size_t k) {
  const sms::SubmitPdu pdu = sms::BuildSubmitParts("+4479", kLong, "", false, false, 1).at(k);
  return {"AT+CMGS=" + std::to_string(pdu.TpduLength()) + "\r", sms::PduHexText(pdu.octets) + "\x1A"};
}
// The answer to a read of part `part` of "hi!" from +4479 (UCS2, reference 7, two parts).
Event PartRead(int part) {
  const std::string ud = part == 1 ? "0A05000307020100680069" : "080500030702020021";
  return Rx("\r\n+CMGR: 1," + std::to_string(part == 1 ? 25 : 23) + "\r\n4404914497000899307121548000" + ud +
            "\r\n" + kOk, 3);
}
Event ReadPart(int index, int part) {
  return Events({Call([index](TSMS_Main& m) { m.GetMessage(static_cast<std::int16_t>(index)); }), PartRead(part)});
}
Check Held(std::size_t parts) {
  return [parts](ControllerHarness& h) { EXPECT_EQ(h.main->HeldParts(), parts); };
}

INSTANTIATE_TEST_SUITE_P(Parts, Session, ::testing::Values(
    Script{"ARestartGoesOnFromTheFirstUnconfirmedPart", PduIni("Long Messages=1\n"), Start::InSession, {
        {Events({Queue("+4479", kLong), Tick(), Rx("\r\n> "), Rx(kSent, 2)}), PduPart(0)},
        // Between parts nothing is on the line: no ESC, and the first part is not sent again.
        {Events({Kill(), Connect(), Initialise(), Tick(), Rx("\r\n> ")}), Plus(kPduInit, PduPart(1))},
        {Events({Kill(), Connect(), Wait(1000), Initialise(), Tick(), Rx("\r\n> ")}),
         Plus(Plus({"\x1B"}, kPduInit), PduPart(1)), {}, Shown("Resending message interrupted by a restart")},
        {Rx(kSent, 2), W{}, {}, Checks({StoredOut({}), TransmitLogLines(1), [](ControllerHarness& h) {
           EXPECT_NE(ReadText(h.dir / "transmit.txt").find("[2 parts] " + kLong + " \r\n"), std::string::npos);
         }})}}},
    // One part kept across a restart: the joined row reads every copy back before its delete.
    Script{"APartFromBeforeARestartIsReadBackWithTheRest", PduIni("Long Messages=1\n"), Start::InSession, {
        {Events({ReadPart(6, 1), Kill(), Connect(), Initialise()}), kPduInit, {}, Held(1)},
        {ReadPart(5, 2), W{"AT+CMGR=5\r"}, {}, Received(1, kHiJoined)},
        {Retrieve(), W{"AT+CMGR=6\r"}},
        {PartRead(1), W{"AT+CMGR=5\r"}},
        {PartRead(2), W{"AT+CMGD=6\r"}}}},
    // A second part 2 from the same sender and reference belongs to another message.
    Script{"ASecondCopyOfAPartIsShownApart", PduIni("Long Messages=1\n"), Start::InSession, {
        {Events({ReadPart(5, 2), ReadPart(7, 2)}), {}, {},
         Checks({Held(1), Received(1, "7|Read|+4479|17-03-99|12:45:08|!|")})},
        {ReadPart(6, 1), {}, {}, Received(2, kHiJoined)}}},
    Script{"PartsWithoutTheirRestFor24HoursAreShownApart", PduIni("Long Messages=1\n"), Start::InSession, {
        {ReadPart(5, 2), {}, {}, Received(0, "")},
        {Wait(24 * 3600 * 1000), W{}, {}, Received(0, "")},
        {Wait(60000), W{}, "Message from +4479 incomplete after 24 hours: 1 of 2 parts shown apart",
         Received(1, "5|Read|+4479|17-03-99|12:45:08|!|")}}}),
    Name);

}  // namespace
}  // namespace kavonet::testing
