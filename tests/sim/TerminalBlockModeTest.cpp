// The terminal in Block Mode: the requests of a gateway, answered frame by frame.

#include <gtest/gtest.h>

#include "TerminalHarness.h"

namespace kavonet::sim {
namespace {

using Bodies = std::vector<std::string>;

// Service centre field and SMS-DELIVER of a message from +4479 saying "hi".
const std::string kStoredMessage = "06914497000000" "040491449700009930712154800002E834";
const std::string kSubmitHi = "B100049144970000A702E834";

std::string HexOf(const std::string& bytes) { return ToHex(Bytes(bytes.begin(), bytes.end())); }

TerminalHarness InBlockMode() {
  TerminalOptions options;
  options.startInBlockMode = true;
  return TerminalHarness(options);
}

TEST(SimBlockMode, EntryCommandThenFrames) {
  TerminalHarness harness;
  EXPECT_EQ(harness.Exchange("ATZE0&S0\r"), "ATZE0&S0\r\r\nOK\r\n");
  // The gateway's entry command carries a second CR; it is noise to Block Mode.
  EXPECT_EQ(harness.Exchange("AT*T\r\r"), "\r\nOK\r\n");
  EXPECT_EQ(harness.terminal().Mode(), InterfaceMode::kBlock);
  // The exact bytes of the first answer a gateway sees.
  EXPECT_EQ(HexOf(harness.Exchange(std::string("\x10\x02\x05\x00\x10\x03\xFF\xFB", 8))),
            "10022A011003FFD5");
}

TEST(SimBlockMode, ConfirmsTransferRequests) {
  TerminalHarness harness = InBlockMode();
  EXPECT_EQ(harness.Request("0500"), Bodies{"2A01"});
  EXPECT_EQ(harness.Request("0502"), Bodies{"2A01"});
  EXPECT_EQ(harness.Request("0503"), Bodies{"2A01"});
  EXPECT_EQ(harness.Request("0501"), Bodies{"2904"});
  EXPECT_EQ(harness.Request("05"), Bodies{"2904"});
}

TEST(SimBlockMode, InsertSmsIsConfirmedThenCompleted) {
  TerminalHarness harness = InBlockMode();
  EXPECT_EQ(harness.Request("070200" + kSubmitHi), (Bodies{"2A04", "250001"}));
  EXPECT_EQ(harness.Request("070200" + kSubmitHi), (Bodies{"2A04", "250002"}));
  // A service centre field in the request is skipped.
  EXPECT_EQ(harness.Request("070204912143F5" + kSubmitHi), (Bodies{"2A04", "250003"}));
  ASSERT_EQ(harness.Sent().size(), 3u);
  EXPECT_EQ(harness.Sent()[0].destination, "+4479");
  EXPECT_EQ(harness.Sent()[0].text, "hi");
  EXPECT_EQ(harness.Sent()[2].pduHex, kSubmitHi);
}

TEST(SimBlockMode, InsertSmsRefusedOrUndecodable) {
  TerminalHarness harness = InBlockMode();
  harness.terminal().RefuseNextSend(0x87);
  EXPECT_EQ(harness.Request("0702"), Bodies{"2904"});
  EXPECT_EQ(harness.Request("070205"), Bodies{"2904"});          // field runs past the end
  EXPECT_EQ(harness.Request("070200B1"), Bodies{"2904"});        // TPDU cut short
  EXPECT_EQ(harness.Request("070200" + kSubmitHi), (Bodies{"2A04", "260087"}));
  EXPECT_EQ(harness.Request("070200" + kSubmitHi), (Bodies{"2A04", "250001"}));
  EXPECT_EQ(harness.Sent().size(), 1u);
}

TEST(SimBlockMode, ListsTheStoreWithGetFirstAndGetNext) {
  TerminalHarness harness = InBlockMode();
  harness.terminal().Store("+4479", "hi");
  harness.terminal().Store("+4479", "hi");
  harness.terminal().Store("+4479", "hi");
  harness.terminal().Messages().Remove(2);
  EXPECT_EQ(harness.Request("02"), Bodies{"2100000100" + kStoredMessage});
  EXPECT_EQ(harness.Request("03"), Bodies{"2100000300" + kStoredMessage});
  EXPECT_EQ(harness.Request("03"), Bodies{"220000"});
  // Read messages carry status 1; a new listing starts at the lowest index.
  EXPECT_EQ(harness.Request("02"), Bodies{"2100000101" + kStoredMessage});
}

TEST(SimBlockMode, GetFirstOnAnEmptyStoreFails) {
  TerminalHarness harness = InBlockMode();
  EXPECT_EQ(harness.Request("02"), Bodies{"220000"});
}

TEST(SimBlockMode, GetsAndDeletesByIndex) {
  TerminalHarness harness = InBlockMode();
  harness.terminal().Store("+4479", "hi");
  EXPECT_EQ(harness.Request("0101"), Bodies{"2100000100" + kStoredMessage});
  EXPECT_EQ(harness.Request("0101"), Bodies{"2100000101" + kStoredMessage});
  EXPECT_EQ(harness.Request("0102"), Bodies{"220000"});
  EXPECT_EQ(harness.Request("01"), Bodies{"2904"});
  EXPECT_EQ(harness.Request("0801"), Bodies{"2701"});
  EXPECT_EQ(harness.Request("0801"), Bodies{"280100"});
  EXPECT_EQ(harness.Request("0810"), Bodies{"281000"});  // index 0x10 goes out stuffed
  EXPECT_EQ(harness.Request("08"), Bodies{"2904"});
}

TEST(SimBlockMode, RefusesWhatItCannotProcess) {
  TerminalHarness harness = InBlockMode();
  EXPECT_EQ(harness.Request("09"), Bodies{"2904"});
  EXPECT_EQ(harness.Request("20"), Bodies{"2904"});
  EXPECT_EQ(harness.Bodies(harness.Exchange(std::string("\x10\x02\x10\x03\x00\x00", 6))),
            Bodies{"2904"});  // empty body
  EXPECT_EQ(harness.Bodies(harness.Exchange(std::string("\x10\x02\x02\x10\x03\xFF\xFF", 7))),
            Bodies{"2904"});  // wrong checksum
  EXPECT_EQ(harness.Exchange("AT\r"), "");  // AT commands mean nothing here
}

TEST(SimBlockMode, AnnouncesNewMessagesByTransferMode) {
  TerminalHarness harness = InBlockMode();
  harness.terminal().Deliver("+4479", "hi");
  EXPECT_EQ(harness.Bodies(harness.TakeOutput()), Bodies{"24000001"});
  harness.Request("0502");
  harness.terminal().Deliver("+4479", "hi");
  EXPECT_EQ(harness.Bodies(harness.TakeOutput()), Bodies{"2300000200" + kStoredMessage});
  harness.Request("0503");
  harness.terminal().Deliver("+4479", "hi");
  EXPECT_EQ(harness.Bodies(harness.TakeOutput()), Bodies{"2300000300" + kStoredMessage});
  // Passed on counts as read; stored messages stay until deleted.
  EXPECT_EQ(harness.Request("0102"), Bodies{"2100000201" + kStoredMessage});
  harness.Request("0500");
  harness.terminal().Store("+4479", "hi");
  EXPECT_EQ(harness.TakeOutput(), "");
}

TEST(SimBlockMode, LeavingReturnsToCommandMode) {
  TerminalHarness harness;
  EXPECT_FALSE(harness.terminal().LeaveBlockMode(3));
  harness.Exchange("ATE0\r");
  harness.Exchange("AT*T\r");
  harness.Request("0502");
  ASSERT_TRUE(harness.terminal().LeaveBlockMode(3));
  EXPECT_EQ(HexOf(harness.TakeOutput()), "10023F031003FFBE");
  EXPECT_EQ(harness.terminal().Mode(), InterfaceMode::kCommand);
  EXPECT_EQ(harness.Exchange("AT\r"), "\r\nOK\r\n");
  // A new session starts without transfer.
  harness.Exchange("AT*T\r");
  harness.terminal().Deliver("+4479", "hi");
  EXPECT_EQ(harness.Bodies(harness.TakeOutput()), Bodies{"24000001"});
}

TEST(SimBlockMode, FramesSplitAcrossReads) {
  TerminalHarness harness = InBlockMode();
  const Bytes frame = BuildFrame(FromHex("0503").value());
  std::string out;
  for (std::uint8_t byte : frame) out += harness.Exchange(std::string(1, static_cast<char>(byte)));
  EXPECT_EQ(harness.Bodies(out), Bodies{"2A01"});
}

}  // namespace
}  // namespace kavonet::sim
