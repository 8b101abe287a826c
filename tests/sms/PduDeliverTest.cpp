#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "sms/PduCodec.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

using kavonet::testing::HexOctets;

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

TEST(DecodeDeliver, UserDataInEachAlphabetAndHeader) {
  struct Case {
    const char* name;
    const char* firstOctet;  // 44: TP-UDHI set
    const char* dcs;
    const char* userData;  // TP-UDL and TP-UD
    const char* text;
    Alphabet coding;
    std::optional<Concatenation> concat;
  };
  const Case cases[] = {
      {"GSM default alphabet, every septet but the escape", "04", "00",
       "7F8080604028180E888462C168381E90886442A9582E988C86D3F17C4021D18854329D5029D58AD572BD6031"
       "D98C56B3DD7039DD8ED7F3FD8041E19058341E9149E592D9743EA151E9945AB55EB159ED96DBF57EC161F1985"
       "C369FD169F59ADD76BFE171F99C5EB7DFF179FD9EDFF7FF01",
       "@£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
       "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà",
       Alphabet::Gsm7, {}},
      {"extension table", "04", "00", "14 1BC586B2416D529BD786B7E96D7C1BE0A60C",
       "\f^{}\\[~]|€", Alphabet::Gsm7, {}},
      {"escape before a code the table lacks, escape at the end", "04", "00", "03 9BE006",
       "A ", Alphabet::Gsm7, {}},
      {"UCS2 Cyrillic and an emoji", "04", "08", "08 041F0438D83DDE00", "Пи😀", Alphabet::Ucs2,
       {}},
      {"UCS2 in the message waiting group", "04", "E0", "02 20AC", "€", Alphabet::Ucs2, {}},
      {"class 0 GSM", "04", "F0", "02 E834", "hi", Alphabet::Gsm7, {}},
      {"8-bit data", "04", "F4", "02 00FF", "[8-bit data] 00FF", Alphabet::EightBit, {}},
      {"compressed text stays data", "04", "20", "01 AB", "[8-bit data] AB", Alphabet::EightBit,
       {}},
      {"UCS2 lone surrogate and odd octet", "04", "08", "05 D83D004100", "\uFFFDA\uFFFD",
       Alphabet::Ucs2, {}},
      {"GSM header with 8-bit reference, one fill bit", "44", "00", "09 050003E10302D069", "hi",
       Alphabet::Gsm7, Concatenation{0xE1, false, 3, 2}},
      {"UCS2 header with 16-bit reference", "44", "08", "09 060804BEEF02010068", "h",
       Alphabet::Ucs2, Concatenation{0xBEEF, true, 2, 1}},
      {"part number 0 is no place in a message", "44", "08", "08 0500030102000068", "h",
       Alphabet::Ucs2, {}},
      {"header longer than the user data", "44", "08", "02 0900", "", Alphabet::Ucs2, {}},
  };
  for (const auto& c : cases) {
    const std::string tpdu = std::string(c.firstOctet) + "04914497 00" + c.dcs + "99307121548000" +
                             c.userData;
    const ReceivedMessage m = DecodeDeliver(HexOctets(tpdu), 0, false, 0, false);
    EXPECT_EQ(m.Text, c.text) << c.name;
    EXPECT_EQ(m.Coding, c.coding) << c.name;
    EXPECT_EQ(m.Concat, c.concat) << c.name;
    EXPECT_EQ(m.DecodeError, "") << c.name;
  }
}

TEST(DecodeDeliver, PublishedPhoneVector) {
  // The "hellohello" SMS-DELIVER of the usual PDU tutorials, with its SMSC in front.
  const ReceivedMessage m = DecodeDeliver(
      HexOctets("07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37"), 8,
      false, 0, false);
  EXPECT_EQ(m.Origin, "27838890001");
  EXPECT_EQ(m.Day + "-" + m.Month + "-" + m.Year + " " + m.Hour + ":" + m.Minute + ":" + m.Second,
            "29-03-99 15:16:59");
  EXPECT_EQ(m.Text, "hellohello");
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
