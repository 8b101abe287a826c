// The queues to and from the terminal: the send queue (one message a tick from the head, out
// of the queue once confirmed), store and transfer commands in the form of each kind of
// session, and the receive ring (one block a 350 ms tick, in order, however many arrive);
// and what they stand on: the wrapping slot queue, the string grid and Block Mode frames.

#include <fstream>
#include <iterator>
#include <regex>

#include "SessionScript.h"
#include "core/WrappingQueue.h"

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
// `call` in a session of `ini` writes exactly `bytes` (the menu's own handlers, and an index
// past 255).
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
    Writes("TransferTEPdu", kPdu, Call(&TSMS_Main::Menu_Transfer_TEClick), "AT+CNMI=1,1,0,0\r"),
    Writes("TransferTEBlock", kBlock, Call(&TSMS_Main::Menu_Transfer_TEClick), F({0x05, 0x03})),
    Writes("TransferAllPdu", kPdu, Call(&TSMS_Main::Menu_Transfer_AllClick), "AT+CNMI=1,1,0,0\r"),
    Writes("TransferAllBlock", kBlock, Call(&TSMS_Main::Menu_Transfer_AllClick),
           "\x10\x02\x05\x02\x10\x03\xFF\xF9"),
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

struct QueueCase {
  int cycles;         // entries put in and taken out first
  int waiting;        // entries put in after that
  int capacity;
};

TEST(WrappingQueue, KeepsEveryWaitingEntryInOrderAndTheOneTakenOutLast) {
  // 100 slots: the one taken out last and one to tell full from empty leave 98 for entries.
  for (const QueueCase& c : {QueueCase{150, 0, 100}, QueueCase{0, 98, 100}, QueueCase{37, 98, 100},
                             QueueCase{0, 99, 200}, QueueCase{37, 99, 200}, QueueCase{30, 1000, 1600}}) {
    SCOPED_TRACE(std::to_string(c.cycles) + " cycles, " + std::to_string(c.waiting) + " waiting");
    WrappingQueue<int> q;
    auto push = [&q](int value) { q.WriteSlot() = value; q.AdvanceWrite(); };
    auto pop = [&q] { const int value = q.ReadSlot(); q.AdvanceRead(); return value; };
    for (int i = 0; i < c.cycles; ++i) { push(i); ASSERT_EQ(pop(), i); }
    EXPECT_EQ(q.LastReadIndex(), (c.cycles + 99) % 100) << "indices wrap from 99 to 0";
    for (int i = 0; i < c.waiting; ++i) push(1000 + i);
    EXPECT_EQ(q.Count(), c.waiting);
    EXPECT_EQ(q.Capacity(), c.capacity);
    if (c.cycles > 0) {
      EXPECT_EQ(q.At(q.LastReadIndex()), c.cycles - 1) << "the entry taken out last";
    }
    for (int i = 0; i < c.waiting; ++i) ASSERT_EQ(pop(), 1000 + i);
    EXPECT_TRUE(q.Empty());
  }
}

TEST(StringGrid, KeepsTheHeadingAndTheBlankLastRow) {
  const struct { int removals; std::vector<std::pair<int, int>> moves; std::string column; } cases[] = {
      {1, {}, "Destination|1|2||"}, {4, {}, "Destination||"}, {0, {{1, 3}}, "Destination|1|2|0||"},
      {0, {{0, 2}, {2, 0}, {2, 4}, {4, 2}}, "Destination|0|1|2||"}};
  for (const auto& c : cases) {
    StringGrid grid({"Destination", "Message Text"});
    for (int i = 0; i < 3; ++i) {
      grid.SetCell(0, grid.RowCount() - 1, std::to_string(i));
      grid.AddRow();
    }
    for (int i = 0; i < c.removals; ++i) grid.RemoveFirstRow();
    for (const auto& [from, to] : c.moves) grid.MoveRow(from, to);
    std::string column;
    for (int row = 0; row < grid.RowCount(); ++row) column += grid.Cell(0, row) + "|";
    EXPECT_EQ(column, c.column);
  }
}

TEST(BlockFrame, MatchesTheWireBytesAndUnstuffsBackToTheFrame) {
  using Bytes = std::vector<std::uint8_t>;
  const std::pair<Bytes, Bytes> cases[] = {  // body, frame on the line
      {{0x02}, {0x10, 0x02, 0x02, 0x10, 0x03, 0xFF, 0xFE}},
      {{0x05, 0x03}, {0x10, 0x02, 0x05, 0x03, 0x10, 0x03, 0xFF, 0xF8}},
      {{0x08, 0x10}, {0x10, 0x02, 0x08, 0x10, 0x00, 0x10, 0x03, 0xFF, 0xE8}},
      {{0x01, 0xEF}, {0x10, 0x02, 0x01, 0xEF, 0x10, 0x03, 0xFF, 0x10, 0x00}},  // a stuffed checksum
      {{0x80, 0x80}, {0x10, 0x02, 0x80, 0x80, 0x10, 0x03, 0xFF, 0x00}},
      {{0x00}, {0x10, 0x02, 0x00, 0x10, 0x03, 0x00, 0x00}},
      // A data DLE then a data 0x00: unstuffing looks at the received predecessor.
      {{0x21, 0x10, 0x00}, {0x10, 0x02, 0x21, 0x10, 0x00, 0x00, 0x10, 0x03, 0xFF, 0xCF}},
      {Bytes(300, DLE), {}}};  // checksum 0xED40: no DLE in it
  for (const auto& [body, wire] : cases) {
    Bytes frame = StuffedFrame(body);
    if (wire.empty()) {
      EXPECT_EQ(frame.size(), 2 + 600 + 2 + 2u) << "every DLE doubled";
    } else {
      EXPECT_EQ(frame, wire);
    }
    // The driver delivers the frame up to and including ETX.
    int etx = static_cast<int>(frame.size()) - 1;
    while (etx > 1 && !(frame[etx - 1] == DLE && frame[etx] == ETX)) --etx;
    Bytes expected{DLE, STX};
    for (const std::uint8_t b : body) expected.push_back(b);
    expected.push_back(DLE);
    expected.push_back(ETX);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + UnstuffFrame(frame, etx) + 1), expected);
  }
  Bytes cut{0x10, 0x02, 0x2A}, empty;
  EXPECT_EQ(UnstuffFrame(cut, 500), 2) << "never reads past the buffer";
  EXPECT_EQ(UnstuffFrame(empty, 3), -1);
}

}  // namespace
}  // namespace kavonet::testing
