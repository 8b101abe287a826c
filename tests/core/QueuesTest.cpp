// The send queue (one message a tick from the head, out of the queue once confirmed, an
// unsendable head dropped) and what the queues stand on: the wrapping slot queue and the
// bounds of Block Mode unstuffing.

#include <regex>

#include "SessionScript.h"
#include "core/WrappingQueue.h"

namespace kavonet::testing {
namespace {

const std::string kPdu = PduIni();
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
class Queues : public ::testing::TestWithParam<Script> {};
TEST_P(Queues, Run) { RunScript(GetParam()); }

INSTANTIATE_TEST_SUITE_P(Rows, Queues, ::testing::Values(
    Script{"ThreeConfirmationsEmptyTheQueueInOrder", kPdu, Start::InSession, {
        {Events({Queue("111", "one"), Queue("222", "two"), Queue("333", "three"),
                 Tick(), Confirm(1), Tick(), Confirm(2), Tick(), Confirm(3)}), {}, {},
         Checks({Rows(2), Stage(1), [](ControllerHarness& h) {
           EXPECT_EQ(h.shell.cursor, TCursor::crDefault);
           EXPECT_TRUE(std::regex_match(ReadText(h.dir / "transmit.txt"),
                                        std::regex("111 [^\n]*\n222 [^\n]*\n333 [^\n]*\n")));
         }})}}},
    Unsendable("NoText", "123", "", "No message data entered"),
    Unsendable("Letters", "12a4", "text",
               "Destination 12a4 is not a telephone number (+ and up to 20 digits); message removed"),
    Script{"ALogThatCannotBeWrittenNeverSendsTheMessageTwice", kPdu, Start::InSession, {
        {Events({[](ControllerHarness& h) {
                   std::filesystem::create_directory(h.dir.Path() / "transmit.txt");
                 }, Queue("123", "once"), Queue("456", "twice"), Tick(), Confirm(7), Tick(),
                 Confirm(8)}), {}, {},
         Checks({Rows(2), [](ControllerHarness& h) {
           EXPECT_EQ(h.dialogs.errors,
                     Strings{"Unable to write to " + (h.dir.Path() / "transmit.txt").string()});
         }})},
        {Wait(5000), W{}}}}),
    [](const auto& info) { return std::string(info.param.name); });

struct QueueCase {
  int cycles;         // entries put in and taken out first
  int waiting;        // entries put in after that
  int capacity;
};

TEST(WrappingQueue, KeepsEveryWaitingEntryInOrderAndTheOneTakenOutLast) {
  // 100 slots: the one taken out last and one to tell full from empty leave 98 for entries.
  for (const QueueCase& c : {QueueCase{150, 0, 100}, QueueCase{0, 98, 100}, QueueCase{37, 99, 200}}) {
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

// The frames themselves are checked by every Block Mode liveness run.
TEST(BlockFrame, UnstuffingNeverReadsPastTheBuffer) {
  std::vector<std::uint8_t> cut{0x10, 0x02, 0x2A}, empty;
  EXPECT_EQ(UnstuffFrame(cut, 500), 2);
  EXPECT_EQ(UnstuffFrame(empty, 3), -1);
}

}  // namespace
}  // namespace kavonet::testing
