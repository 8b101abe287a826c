#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sms/PduCodec.h"
#include "tests/sms/HexOctets.h"

namespace kavonet::sms {
namespace {

using test::HexOctets;

// A +CMGL line from a terminal: SCA field (5 octets) then a 17-octet SMS-DELIVER from
// +4479, stamped 17-03-99 12:45:08, text "hi".
constexpr const char* kPduLine = "04912143F5 040491449700009930712154800002E834";
constexpr std::size_t kPduLineTpduStart = 5;
// The same message in a Block Mode Message frame: DLE STX, type 0x21, two unused octets,
// index 7, status 0 (new), then SCA field and TPDU, then DLE ETX and checksum.
constexpr const char* kBlockFrame =
    "1002 21 0000 07 00 04912143F5 040491449700009930712154800002E834 1003 5A";
constexpr std::size_t kBlockTypeOffset = 2;

void ExpectWorkedExample(const ReceivedMessage& m) {
  EXPECT_EQ(m.Origin, "+4479");
  EXPECT_EQ(m.Day + "-" + m.Month + "-" + m.Year, "17-03-99");
  EXPECT_EQ(m.Hour + ":" + m.Minute + ":" + m.Second, "12:45:08");
  EXPECT_EQ(m.Text, "hi");
  EXPECT_EQ(m.DecodeError, "");
}

TEST(DecodeDeliver, PduModeTakesIndexAndStatusFromTheHeader) {
  const ReceivedMessage m = DecodeDeliver(HexOctets(kPduLine), kPduLineTpduStart, false, 1, true);
  EXPECT_EQ(m.MsgIndex, 1);
  EXPECT_TRUE(m.IsNew);
  ExpectWorkedExample(m);
}

TEST(DecodeDeliver, BlockModeTakesIndexAndStatusFromTheFrame) {
  const ReceivedMessage m =
      DecodeDeliver(HexOctets(kBlockFrame), kBlockTypeOffset, true, 99, false);
  EXPECT_EQ(m.MsgIndex, 7);
  EXPECT_TRUE(m.IsNew);
  ExpectWorkedExample(m);

  std::vector<std::uint8_t> read = HexOctets(kBlockFrame);
  read[kBlockTypeOffset + 4] = 0x01;
  EXPECT_FALSE(DecodeDeliver(read, kBlockTypeOffset, true, 0, true).IsNew);
}

TEST(DecodeDeliver, BlockModeWithoutServiceCentreAddress) {
  // A zero SCA length has no type octet behind it.
  const ReceivedMessage m = DecodeDeliver(
      HexOctets("1002 21 0000 03 01 00 040491449700009930712154800002E834"), 2, true, 0, true);
  EXPECT_EQ(m.MsgIndex, 3);
  EXPECT_FALSE(m.IsNew);
  ExpectWorkedExample(m);
}

struct TpduCase {
  const char* name;
  const char* tpdu;
  const char* origin;
  const char* text;
};

TEST(DecodeDeliver, TpduFields) {
  const TpduCase cases[] = {
      {"national type 0xA1 gets no plus", "04 04A18000 0000 99307121548000 02E834", "0800", "hi"},
      {"odd digit count", "04 05812143F5 0000 99307121548000 02E834", "12345", "hi"},
      {"empty user data", "04 04914497 0000 99307121548000 00", "+4479", ""},
      {"semi-octets above 9 give two characters", "04 0481BA00 0000 99307121548000 00", "101100",
       ""},
      {"zero-length origin", "04 0081 0000 99307121548000 02E834", "", "hi"},
      {"octets after the user data are ignored", "04 04914497 0000 99307121548000 02E834 FFFF",
       "+4479", "hi"},
  };
  for (const auto& c : cases) {
    const ReceivedMessage m = DecodeDeliver(HexOctets(c.tpdu), 0, false, 0, false);
    EXPECT_EQ(m.Origin, c.origin) << c.name;
    EXPECT_EQ(m.Text, c.text) << c.name;
    EXPECT_EQ(m.DecodeError, "") << c.name;
  }
}

TEST(DecodeDeliver, AccentedAndGreekLettersKeepTheirCodePageCharacter) {
  const std::vector<std::uint8_t> septets = {0x01, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0E,
                                             0x0F, 0x12, 0x13, 0x15, 0x18, 0x19, 0x1C, 0x1D, 0x1E};
  std::vector<std::uint8_t> tpdu = HexOctets("04 04914497 0000 99307121548000");
  tpdu.push_back(static_cast<std::uint8_t>(septets.size()));
  const std::vector<std::uint8_t> packed = PackSeptets(septets);
  tpdu.insert(tpdu.end(), packed.begin(), packed.end());

  const ReceivedMessage m = DecodeDeliver(tpdu, 0, false, 0, false);
  EXPECT_EQ(m.Text, "\x9C\x9D\x8A\x82\x97\x8D\x95\x80\x8F\x86\xE8\xE2\xEA\xE4\xE9\x92\x91\xE1");
}

TEST(DecodeDeliver, ReportsTheFieldThatWasCutOff) {
  struct Case {
    const char* tpdu;
    const char* error;
    const char* origin;
    const char* text;
  };
  const Case cases[] = {
      {"", "PDU too short, cannot read TP-MTI", "", ""},
      {"04", "PDU too short, cannot read TP-OA length", "", ""},
      {"04 04", "PDU too short, cannot read TP-OA type of address", "", ""},
      {"04 0491 44", "PDU too short, cannot read TP-OA digits", "+44", ""},
      {"04 04914497 00", "PDU too short, cannot read TP-PID and TP-DCS", "+4479", ""},
      {"04 04914497 0000 993071215480", "PDU too short, cannot read TP-SCTS", "+4479", ""},
      {"04 04914497 0000 99307121548000", "PDU too short, cannot read TP-UDL", "+4479", ""},
      {"04 04914497 0000 99307121548000 02E8", "PDU too short, cannot read TP-UD", "+4479", "h"},
  };
  for (const auto& c : cases) {
    const ReceivedMessage m = DecodeDeliver(HexOctets(c.tpdu), 0, false, 0, false);
    EXPECT_EQ(m.DecodeError, c.error) << c.tpdu;
    EXPECT_EQ(m.Origin, c.origin) << c.tpdu;
    EXPECT_EQ(m.Text, c.text) << c.tpdu;
  }
}

TEST(DecodeDeliver, EveryCutOfARecordEndsInAnErrorNotACrash) {
  struct Case {
    const char* record;
    std::size_t position;
    bool blockMode;
  };
  for (const auto& c :
       {Case{kPduLine, kPduLineTpduStart, false}, Case{kBlockFrame, kBlockTypeOffset, true}}) {
    const std::vector<std::uint8_t> whole = HexOctets(c.record);
    // The frame keeps three trailer octets after the user data; cuts there lose nothing.
    const std::size_t needed = whole.size() - (c.blockMode ? 3 : 0);
    for (std::size_t cut = 0; cut < needed; ++cut) {
      // A heap copy of exactly `cut` octets, so a read past it is caught by ASan.
      const std::vector<std::uint8_t> record(whole.begin(), whole.begin() + cut);
      const ReceivedMessage m = DecodeDeliver(record, c.position, c.blockMode, 1, true);
      EXPECT_NE(m.DecodeError, "") << c.record << " cut at " << cut;
      EXPECT_LE(m.Text.size(), 2u);
    }
  }
}

TEST(DecodeDeliver, StartPositionPastTheEndIsAnError) {
  const std::vector<std::uint8_t> record = HexOctets(kPduLine);
  for (bool blockMode : {false, true}) {
    EXPECT_EQ(DecodeDeliver(record, record.size() + 10, blockMode, 0, false).DecodeError.empty(),
              false);
  }
}

TEST(DecodeDeliver, HugeLengthFieldsAreCappedAndStayInBounds) {
  // TP-OA claims 255 digits: the field is 128 octets; the origin is cut to 20 digits.
  std::vector<std::uint8_t> tpdu = {0x04, 0xFF, 0x91};
  tpdu.insert(tpdu.end(), 128, 0x21);
  const std::vector<std::uint8_t> rest = HexOctets("0000 99307121548000 02E834");
  tpdu.insert(tpdu.end(), rest.begin(), rest.end());
  const ReceivedMessage m = DecodeDeliver(tpdu, 0, false, 0, false);
  EXPECT_EQ(m.Origin, "+12121212121212121212");
  EXPECT_EQ(m.Text, "hi");
  EXPECT_EQ(m.DecodeError, "");

  // TP-UDL 255 with two octets of data: what is there, and an error.
  const ReceivedMessage cut =
      DecodeDeliver(HexOctets("04 04914497 0000 99307121548000 FF E834"), 0, false, 0, false);
  EXPECT_EQ(cut.Text, "hi");
  EXPECT_EQ(cut.DecodeError, "PDU too short, cannot read TP-UD");
}

TEST(DecodeScAddress, ReadsTheFieldAndMovesPastIt) {
  struct Case {
    const char* record;
    const char* address;
    std::size_t position;
  };
  const Case cases[] = {
      {"04912143F5 FF", "+12345", 5},
      {"03818000 FF", "0800", 4},
      {"00 FF", "", 1},
      {"01 91 FF", "+", 2},
      {"09912143F5", "+12345", 5},  // claims 8 more octets than it holds
      {"", "", 0},
  };
  for (const auto& c : cases) {
    std::size_t position = 0;
    EXPECT_EQ(DecodeScAddress(HexOctets(c.record), position), c.address) << c.record;
    EXPECT_EQ(position, c.position) << c.record;
  }
}

TEST(DecodeScAddress, LongFieldIsCutToTwentyDigits) {
  std::vector<std::uint8_t> record = {0xFF, 0x81};
  record.insert(record.end(), 254, 0x99);
  std::size_t position = 0;
  EXPECT_EQ(DecodeScAddress(record, position), std::string(20, '9'));
  EXPECT_EQ(position, record.size());
}

TEST(DecodeOrigAddress, ReadsTheFieldAndMovesPastIt) {
  struct Case {
    const char* record;
    const char* address;
    std::size_t position;
  };
  const Case cases[] = {
      {"04914497 00", "+4479", 4},
      {"05812143F5 00", "12345", 5},
      {"0A81 2143", "1234", 4},  // cut short
      {"05", "", 1},
  };
  for (const auto& c : cases) {
    std::size_t position = 0;
    EXPECT_EQ(DecodeOrigAddress(HexOctets(c.record), position), c.address) << c.record;
    EXPECT_EQ(position, c.position) << c.record;
  }
}

}  // namespace
}  // namespace kavonet::sms
