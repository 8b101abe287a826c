// The queues to and from the terminal: the send queue (one message a tick from the head, out
// of the queue once confirmed), store and transfer commands in the form of each kind of
// session, and the receive ring (one block a 350 ms tick, in order, however many arrive).

#include <fstream>
#include <iterator>
#include <regex>

#include "SessionScript.h"

namespace kavonet::testing {
namespace {

const std::string kPdu = PduIni(), kBlock = BlockIni();
// The prompt, then the reference and OK.
Event Confirm(int ref) {
  return Events({Rx("\r\n> "), Rx("\r\n+CMGS: " + std::to_string(ref) + "\r\n\r\nOK\r\n", 2)});
}
// A head that can never be sent is dropped with `status`; the message behind it goes out next.
Script Unsendable(const char* name, std::string destination, std::string text, std::string status) {
  return {name, kPdu, Start::InSession, {
      {Events({Queue(destination, text), Queue("+4479", "hi"), Tick()}), W{}, status, Rows(3)},
      {Tick(), W{"AT+CMGS=12\r"}}}};
}
const std::string kNotANumber =
    " is not a telephone number (+ and up to 20 digits); message removed";
// `call` in a session of `ini` writes exactly `bytes`.
Script Writes(const char* name, const std::string& ini, Event call, std::string bytes) {
  return {name, ini, Start::InSession, {{call, W{bytes}}}};
}
class Queues : public ::testing::TestWithParam<Script> {};
TEST_P(Queues, Run) { RunScript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Queues, ::testing::Values(
    Script{"ThreeConfirmationsEmptyTheQueueInOrder", kPdu, Start::InSession, {
        {Events({Queue("111", "one"), Queue("222", "two"), Queue("333", "three"),
                 Tick(), Confirm(1), Tick(), Confirm(2), Tick(), Confirm(3)}), {}, {},
         Checks({Rows(2), Stage(1), [](ControllerHarness& h) {
           EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
           std::ifstream log(h.dir.Path() / "transmit.txt");
           EXPECT_TRUE(std::regex_match(std::string(std::istreambuf_iterator<char>(log), {}),
                                        std::regex("111 [^\n]*\n222 [^\n]*\n333 [^\n]*\n")));
         }})}}},
    Unsendable("NoDestination", "", "text", "No destination entered"),
    Unsendable("PlusOnly", "+", "text", "No destination entered"),
    Unsendable("NoText", "123", "", "No message data entered"),
    Unsendable("TooLong", "123456789012345678901", "text",
               "Destination 123456789012345678901" + kNotANumber),
    Unsendable("Letters", "12a4", "text", "Destination 12a4" + kNotANumber),
    Script{"ALogThatCannotBeWrittenNeverSendsTheMessageTwice", kPdu, Start::InSession, {
        {Events({[](ControllerHarness& h) {
                   std::filesystem::create_directory(h.dir.Path() / "transmit.txt");
                 }, Queue("123", "once"), Queue("456", "twice"), Tick(), Confirm(7), Tick(),
                 Confirm(8)}), {}, {},
         Checks({Rows(2), [](ControllerHarness& h) {
           EXPECT_EQ(h.dialogs.errors,
                     Strings{"Unable to write to " + (h.dir.Path() / "transmit.txt").string()});
         }})},
        {Wait(5000), W{}}}},
    Script{"TransmitLoggingOffWritesNothing", PduIni("[Receive Message]\nLog Transmit=0\n"),
           Start::InSession, {
        {Events({Queue("123", "quiet"), Tick(), Confirm(1)}), {}, {}, Checks({Rows(2),
         [](ControllerHarness& h) { EXPECT_FALSE(exists(h.dir.Path() / "transmit.txt")); }})},
        {Call(&TSMS_Main::TransmitLog1Click), W{}, "Transmit logging not enabled",
         [](ControllerHarness& h) { EXPECT_TRUE(h.shell.opened.empty()); }}}},
    Writes("NoTransferPdu", kPdu, Call(&TSMS_Main::No_TransferClick), "AT+CNMI=0,0,0,0\r"),
    Writes("NoTransferBlock", kBlock, Call(&TSMS_Main::No_TransferClick), F({0x05, 0x00})),
    Writes("TransferTEPdu", kPdu, Call(&TSMS_Main::Menu_Transfer_TEClick), "AT+CNMI=1,1,0,0\r"),
    Writes("TransferTEBlock", kBlock, Call(&TSMS_Main::Menu_Transfer_TEClick), F({0x05, 0x03})),
    Writes("TransferAllPdu", kPdu, Call(&TSMS_Main::Menu_Transfer_AllClick), "AT+CNMI=1,1,0,0\r"),
    Writes("TransferAllBlock", kBlock, Call(&TSMS_Main::Menu_Transfer_AllClick),
           "\x10\x02\x05\x02\x10\x03\xFF\xF9"),
    Writes("CopyAllPdu", kPdu, Call(&TSMS_Main::CopyAllMessages), "AT+CMGL=4\r"),
    Writes("CopyAllBlock", kBlock, Call(&TSMS_Main::CopyAllMessages), F({0x02})),
    Writes("DeletePdu", kPdu, Call([](auto& m) { m.DeleteMessage(5); }), "AT+CMGD=5\r"),
    Writes("DeleteBlock", kBlock, Call([](auto& m) { m.DeleteMessage(5); }), F({0x08, 0x05})),
    Writes("GetMessage300Pdu", kPdu, Call([](auto& m) { m.GetMessage(300); }), "AT+CMGR=300\r"),
    Writes("GetMessage300Block", kBlock, Call([](auto& m) { m.GetMessage(300); }),
           "\x10\x02\x01\x2C\x10\x03\xFF\xD3"),
    Script{"ABlockModeTransferButtonReleasesTheGroupAndRemembersTheMode", kBlock,
           Start::InSession, {
        {{}, {}, {}, [](ControllerHarness& h) { EXPECT_TRUE(h.main->No_Transfer.Down); }},
        {Call(&TSMS_Main::Transfer_AllClick), W{F({0x05, 0x02})}, {},
         [](ControllerHarness& h) {
           EXPECT_FALSE(h.main->No_Transfer.Down);
           EXPECT_FALSE(h.main->Transfer_All.Down) << "down only once the terminal confirms";
           EXPECT_EQ(h.main->BlockTransferMode, 3);
         }}}},
    // The receive ring.
    Script{"OneBlockATickAndEveryStoredBlockRestartsTheInterval", kPdu, Start::Fresh, {
        {Connect(), W{"ATZE0&S0\r"}},
        {Events({Rx("\r\nfirst\r\n", 0), Wait(200), Rx("\r\nsecond\r\n", 0), Wait(200)}), {},
         "ATZE0&S0\r"},
        {Wait(150), {}, "first\r\n"},
        {Wait(350), {}, "second\r\n"}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::testing
