#include <gtest/gtest.h>

#include <string>

#include "sms/PduCodec.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

using kavonet::testing::HexOctets;

TEST(PrepareAddress, OnlyALeadingPlusMakesTheNumberInternational) {
  struct Case {
    const char* number;
    const char* digits;
    std::uint8_t type;
  };
  const Case cases[] = {
      {"+4479", "4479", 0x91}, {"12345", "12345", 0x81}, {"12+34", "12+34", 0x81},
      {"+", "", 0x91},         {"", "", 0x81},
  };
  for (const auto& c : cases) {
    const PreparedAddress prepared = PrepareAddress(c.number);
    EXPECT_EQ(prepared.digits, c.digits) << c.number;
    EXPECT_EQ(prepared.typeOfAddress, c.type) << c.number;
  }
}

struct SubmitCase {
  const char* name;
  const char* destination;
  const char* text;
  const char* sca;
  bool scaInTpdu;
  bool blockMode;
  const char* hex;
  int scaFieldLength;
  int tpduLength;
};

TEST(BuildSubmitPdu, KnownPdus) {
  const SubmitCase cases[] = {
      {"international destination, no SCA field", "+4479", "hi", "+12345", false, false,
       "B100049144970000A702E834", 0, 12},
      {"SCA field in front", "+4479", "hi", "+12345", true, false,
       "04912143F5B100049144970000A702E834", 5, 12},
      {"odd digit count is F-filled", "12345", "hi", "", false, false, "B10005812143F50000A702E834",
       0, 13},
      {"hello", "+4479", "hello", "", false, false, "B100049144970000A705E8329BFD06", 0, 15},
      {"empty SCA with the option on", "+4479", "hi", "", true, false,
       "0181B100049144970000A702E834", 2, 12},
      {"national SCA", "+4479", "hi", "0800", true, false, "03818000B100049144970000A702E834", 4,
       12},
      {"block mode ignores the SCA option", "+4479", "hi", "+12345", true, true,
       "070200B100049144970000A702E834", 0, 15},
      {"at sign and dollar", "+4479", "@$", "", false, false, "B100049144970000A7020001", 0, 12},
      {"underscore, and bracket from the extension table", "+4479", "_[", "", false, false,
       "B100049144970000A703 910D0F", 0, 13},
      {"a letter GSM lacks sends the text as UCS2", "+4479", "h\u00EA", "", false, false,
       "B100049144970008A704 006800EA", 0, 14},
      {"emoji as a surrogate pair", "+4479", "\U0001F600", "", false, false,
       "B100049144970008A704 D83DDE00", 0, 14},
      {"non-digits in the destination are dropped", "+44-79", "hi", "", false, false,
       "B100049144970000A702E834", 0, 12},
  };
  for (const auto& c : cases) {
    const SubmitPdu pdu = BuildSubmitPdu(c.destination, c.text, c.sca, c.scaInTpdu, c.blockMode);
    EXPECT_EQ(pdu.octets, HexOctets(c.hex)) << c.name << ": got " << PduHexText(pdu.octets);
    EXPECT_EQ(pdu.scaFieldLength, c.scaFieldLength) << c.name;
    EXPECT_EQ(pdu.TpduLength(), c.tpduLength) << c.name;
  }
}

// TPDU octets up to and including TP-UDL for the destination +4479.
constexpr std::size_t kHeaderOctets = 10;

TEST(BuildSubmitPdu, TextIsCutTo160Characters) {
  for (std::size_t length : {159u, 160u, 161u, 300u}) {
    const std::string text(length, 'a');
    const SubmitPdu pdu = BuildSubmitPdu("+4479", text, "", false, false);
    const std::size_t sent = std::min<std::size_t>(length, 160);
    ASSERT_EQ(pdu.octets.size(), kHeaderOctets + (sent * 7 + 7) / 8) << length;
    EXPECT_EQ(pdu.octets[kHeaderOctets - 1], sent) << length;  // TP-UDL
  }
}

TEST(BuildSubmitPdu, UserDataIsExactlyThePackedLength) {
  struct Case {
    std::size_t characters;
    std::size_t userDataOctets;
  };
  for (const auto& c : {Case{1, 1}, Case{7, 7}, Case{8, 7}, Case{9, 8}, Case{16, 14}}) {
    const SubmitPdu pdu = BuildSubmitPdu("+4479", std::string(c.characters, 'x'), "", false, false);
    EXPECT_EQ(pdu.octets.size() - kHeaderOctets, c.userDataOctets) << c.characters;
    EXPECT_EQ(pdu.octets[kHeaderOctets - 1], c.characters);
  }
}

TEST(BuildSubmitPdu, AddressesAreCappedAtTwentyDigits) {
  const std::string longNumber = "+" + std::string(30, '7');
  const SubmitPdu pdu = BuildSubmitPdu(longNumber, "hi", longNumber, true, false);
  EXPECT_EQ(pdu.scaFieldLength, 12);  // length, type, 10 digit octets
  EXPECT_EQ(pdu.octets[0], 11);
  EXPECT_EQ(pdu.octets[12 + 2], 20);  // TP-DA length
  EXPECT_EQ(pdu.TpduLength(), 4 + 10 + 4 + 2);
}

TEST(PduHexText, UpperCaseWithoutSeparators) {
  EXPECT_EQ(PduHexText(HexOctets("00 0A FF 9B")), "000AFF9B");
  EXPECT_EQ(PduHexText({}), "");
}

}  // namespace
}  // namespace kavonet::sms
