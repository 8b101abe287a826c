// The GSM 03.40 codec against tables of known PDUs, plus generated round trips over every
// length and every truncation point.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "sms/PduCodec.h"
#include "sms/SeptetPacking.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

using kavonet::testing::HexOctets;

TEST(Codec, PackingRoundTripsEveryLengthWithoutTouchingTheCanary) {
  for (std::size_t n = 0; n <= 160; ++n) {
    std::vector<std::uint8_t> septets(n);
    // Every septet value turns up at every bit offset over the lengths tried.
    for (std::size_t k = 0; k < n; ++k) septets[k] = static_cast<std::uint8_t>((k * 37 + 5) % 128);
    std::vector<std::uint8_t> buffer(PackedLength(n) + 1, 0xAA);
    PackSeptetsInto(septets, std::span<std::uint8_t>(buffer).first(PackedLength(n)));
    ASSERT_EQ(buffer.back(), 0xAA) << n;
    buffer.pop_back();
    ASSERT_EQ(buffer.size(), (7 * n + 7) / 8) << n;
    if (n % 8 != 0) {
      EXPECT_EQ(buffer.back() >> (7 * n) % 8, 0) << n << ": spare bits are zero";
    }
    EXPECT_EQ(PackSeptets(septets), buffer) << n;
    EXPECT_EQ(UnpackSeptets(buffer, n), septets) << n;
  }
  EXPECT_EQ(PackSeptets(HexOctets("FF80")), HexOctets("7F00")) << "masked to seven bits";
  EXPECT_EQ(UnpackSeptets(HexOctets("E834"), 5), HexOctets("6869")) << "whole septets only";
}

TEST(Codec, SubmitTable) {
  struct Case {
    const char* destination;
    const char* text;
    const char* sca;
    int mode;  // 0 PDU Mode, 1 PDU Mode with the SCA field, 2 Block Mode
    const char* hex;
  };
  const Case cases[] = {
      {"+4479", "hi", "+12345", 0, "B100049144970000A702E834"},
      {"+4479", "hi", "+12345", 1, "04912143F5 B100049144970000A702E834"},
      {"+4479", "hi", "+12345", 2, "070200 B100049144970000A702E834"},
      {"+4479", "hi", "", 1, "0181 B100049144970000A702E834"},
      {"+4479", "hi", "0800", 1, "03818000 B100049144970000A702E834"},
      {"12345", "hi", "", 0, "B10005812143F50000A702E834"},          // odd digit count: F-filled
      {"+44-79", "hello", "", 0, "B100049144970000A705E8329BFD06"},  // non-digits dropped
      {"+4479", "@$", "", 0, "B100049144970000A7020001"},
      {"+4479", "_[", "", 0, "B100049144970000A703 910D0F"},         // extension table
      {"+4479", "h\u00EA", "", 0, "B100049144970008A704 006800EA"},  // not GSM: UCS2
      {"+4479", "\U0001F600", "", 0, "B100049144970008A704 D83DDE00"}};
  for (const Case& c : cases) {
    const SubmitPdu pdu = BuildSubmitPdu(c.destination, c.text, c.sca, c.mode == 1, c.mode == 2);
    EXPECT_EQ(PduHexText(pdu.octets), PduHexText(HexOctets(c.hex))) << c.text << c.mode;
    const int scaField = c.mode == 1 ? pdu.octets[0] + 1 : 0;
    EXPECT_EQ(pdu.scaFieldLength, scaField) << c.text << c.mode;
    EXPECT_EQ(pdu.TpduLength(), static_cast<int>(pdu.octets.size()) - scaField) << c.text;
  }
  // TP-UDL and the user data octets for a text of so many characters.
  constexpr std::size_t kHeader = 10;  // TPDU octets up to TP-UDL for +4479
  for (const auto& [characters, udl, octets] : {std::tuple{1u, 1, 1u}, {7u, 7, 7u}, {8u, 8, 7u},
                                                {9u, 9, 8u}, {160u, 160, 140u}, {161u, 160, 140u}}) {
    const SubmitPdu pdu = BuildSubmitPdu("+4479", std::string(characters, 'x'), "", false, false);
    EXPECT_EQ(pdu.octets[kHeader - 1], udl) << characters;
    EXPECT_EQ(pdu.octets.size() - kHeader, octets) << characters;
  }
  for (const auto& [number, digits, type] :
       {std::tuple{"+4479", "4479", 0x91}, {"12+34", "12+34", 0x81}, {"+", "", 0x91}, {"", "", 0x81}}) {
    EXPECT_EQ(PrepareAddress(number).digits, digits) << number;
    EXPECT_EQ(PrepareAddress(number).typeOfAddress, type) << number;
  }
  // Both addresses are cut at 20 digits: length, type and 10 digit octets.
  const std::string longNumber = "+" + std::string(30, '7');
  EXPECT_EQ(PduHexText(BuildSubmitPdu(longNumber, "hi", longNumber, true, false).octets),
            "0B91" + std::string(20, '7') + "B1001491" + std::string(20, '7') + "0000A702E834");
}

// What was decoded: origin, text, then the alphabet unless GSM, the concatenation element
// (reference/total/part) and any error.
std::string Summary(const ReceivedMessage& m) {
  std::string text = m.Origin + " " + m.Text;
  if (m.Coding != Alphabet::Gsm7) text += m.Coding == Alphabet::Ucs2 ? " UCS2" : " 8-bit";
  if (m.Concat) {
    text += " [" + std::to_string(m.Concat->Reference) + (m.Concat->WideReference ? "w/" : "/") +
            std::to_string(m.Concat->Total) + "/" + std::to_string(m.Concat->Part) + "]";
  }
  return m.DecodeError.empty() ? text : text + " ! " + m.DecodeError;
}

// A +CMGL line: SCA field (5 octets), then a DELIVER from +4479 stamped 17-03-99 12:45:08,
// text "hi"; and the same message in a Block Mode Message frame: DLE STX, type 0x21, two
// unused octets, index 7, status 0 (new), SCA field, TPDU, DLE ETX and checksum.
constexpr const char* kPduLine = "04912143F5 040491449700009930712154800002E834";
constexpr const char* kBlockFrame =
    "1002 21 0000 07 00 04912143F5 040491449700009930712154800002E834 1003 5A";

TEST(Codec, DeliverFramings) {
  struct Case {
    const char* record;
    std::size_t position;
    bool blockMode;
    const char* decoded;  // index, new or read, time stamp, summary
  };
  const Case cases[] = {
      {kPduLine, 5, false, "1 new 17-03-99 12:45:08 +4479 hi"},  // from the response header
      {kBlockFrame, 2, true, "7 new 17-03-99 12:45:08 +4479 hi"},
      {"1002 21 0000 07 01 04912143F5 040491449700009930712154800002E834", 2, true,
       "7 read 17-03-99 12:45:08 +4479 hi"},
      {"1002 21 0000 03 00 00 040491449700009930712154800002E834", 2, true,  // no SCA
       "3 new 17-03-99 12:45:08 +4479 hi"},
      {"07917283010010F5 040BC87238880900F10000993092516195800AE8329BFD4697D9EC37", 8, false,
       "1 new 29-03-99 15:16:59 27838890001 hellohello"},  // the usual tutorial vector
  };
  for (const Case& c : cases) {
    const ReceivedMessage m = DecodeDeliver(HexOctets(c.record), c.position, c.blockMode, 1, true);
    EXPECT_EQ(std::to_string(m.MsgIndex) + (m.IsNew ? " new " : " read ") + m.Day + "-" + m.Month +
                  "-" + m.Year + " " + m.Hour + ":" + m.Minute + ":" + m.Second + " " + Summary(m),
              c.decoded);
  }
}

TEST(Codec, DeliverTable) {
  // From +4479, stamped as above, with first octet (44: a header), TP-DCS and user data.
  const auto tpdu = [](const char* first, const char* dcs, const char* userData) {
    return std::string(first) + "04914497 00" + dcs + "99307121548000" + userData;
  };
  const std::pair<std::string, std::string> cases[] = {
      {tpdu("04", "00",
            "7F8080604028180E888462C168381E90886442A9582E988C86D3F17C4021D18854329D5029D58AD572BD6"
            "031D98C56B3DD7039DD8ED7F3FD8041E19058341E9149E592D9743EA151E9945AB55EB159ED96DBF57EC16"
            "1F1985C369FD169F59ADD76BFE171F99C5EB7DFF179FD9EDFF7FF01"),
       "+4479 @£$¥èéùìòÇ\nØø\rÅåΔ_ΦΓΛΩΠΨΣΘΞÆæßÉ !\"#¤%&'()*+,-./0123456789:;<=>?"
       "¡ABCDEFGHIJKLMNOPQRSTUVWXYZÄÖÑÜ§¿abcdefghijklmnopqrstuvwxyzäöñüà"},  // all but the escape
      {tpdu("04", "00", "14 1BC586B2416D529BD786B7E96D7C1BE0A60C"), "+4479 \f^{}\\[~]|€"},
      {tpdu("04", "00", "03 9BE006"), "+4479 A "},  // escape before a code it lacks, at the end
      {tpdu("04", "08", "08 041F0438D83DDE00"), "+4479 Пи😀 UCS2"},
      {tpdu("04", "08", "05 D83D004100"), "+4479 \uFFFDA\uFFFD UCS2"},  // lone surrogate, odd octet
      {tpdu("04", "E0", "02 20AC"), "+4479 € UCS2"}, {tpdu("04", "F0", "02 E834"), "+4479 hi"},
      {tpdu("04", "F4", "02 00FF"), "+4479 [8-bit data] 00FF 8-bit"},
      {tpdu("04", "20", "01 AB"), "+4479 [8-bit data] AB 8-bit"},       // compressed stays data
      {tpdu("44", "00", "09 050003E10302D069"), "+4479 hi [225/3/2]"},  // one fill bit
      {tpdu("44", "08", "09 060804BEEF02010068"), "+4479 h UCS2 [48879w/2/1]"},
      {tpdu("44", "08", "08 0500030102000068"), "+4479 h UCS2"},  // part 0 has no place
      {tpdu("44", "08", "02 0900"), "+4479  UCS2"},  // a header longer than the user data
      {tpdu("04", "00", "02E834 FFFF"), "+4479 hi"},
      {"04 04A18000 0000 99307121548000 02E834", "0800 hi"},
      {"04 05812143F5 0000 99307121548000 02E834", "12345 hi"},
      {"04 0381 2143 0000 99307121548000 02E834", "123 hi"},  // the half after the count
      {"04 0481BA00 0000 99307121548000 02E834", "101100 hi"},  // 10..15 give two digits
      {"04 0081 0000 99307121548000 02E834", " hi"},
      {"04 FF91" + std::string(256, '2') + "0000 99307121548000 02E834",  // cut to 20 digits
       "+" + std::string(20, '2') + " hi"},
      {"", "  ! PDU too short, cannot read TP-MTI"},
      {"04 0491 44", "+44  ! PDU too short, cannot read TP-OA digits"},
      {tpdu("04", "00", ""), "+4479  ! PDU too short, cannot read TP-UDL"},
      {tpdu("04", "00", "02E8"), "+4479 h ! PDU too short, cannot read TP-UD"},
      {tpdu("04", "00", "FF E834"), "+4479 hi ! PDU too short, cannot read TP-UD"}};
  for (const auto& [hex, decoded] : cases) {
    EXPECT_EQ(Summary(DecodeDeliver(HexOctets(hex), 0, false, 0, false)), decoded) << hex;
  }
}

TEST(Codec, EveryTruncationOfARecordIsAnErrorNeverAnOverread) {
  for (const auto& [hex, position, blockMode] : {std::tuple{kPduLine, std::size_t{5}, false},
                                                 std::tuple{kBlockFrame, std::size_t{2}, true}}) {
    const std::vector<std::uint8_t> whole = HexOctets(hex);
    // The frame's three trailer octets come after the user data: cuts there lose nothing.
    for (std::size_t cut = 0; cut < whole.size() - (blockMode ? 3 : 0); ++cut) {
      // A heap copy of exactly `cut` octets, so that a read past it is caught by ASan.
      const std::vector<std::uint8_t> record(whole.begin(), whole.begin() + cut);
      const ReceivedMessage m = DecodeDeliver(record, position, blockMode, 1, true);
      EXPECT_NE(m.DecodeError, "") << hex << " cut at " << cut;
      EXPECT_LE(m.Text.size(), 2u);
    }
    EXPECT_NE(DecodeDeliver(whole, whole.size() + 10, blockMode, 0, false).DecodeError, "");
  }
}

}  // namespace
}  // namespace kavonet::sms
