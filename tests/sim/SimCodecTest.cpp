// The simulator's own codec: hex text, 7-bit packing, the GSM alphabet, UTF-8/UTF-16
// and the two PDUs. Vectors are the known-good ones a gateway and gammu produce.

#include <gtest/gtest.h>

#include <string>

#include "sim/GsmAlphabet.h"
#include "sim/Hex.h"
#include "sim/SeptetPacking.h"
#include "sim/SmsPdu.h"
#include "sim/Unicode.h"

namespace kavonet::sim {
namespace {

Bytes Hex(std::string_view text) { return FromHex(text).value(); }

Septets SeptetsOf(std::string_view ascii) { return Septets(ascii.begin(), ascii.end()); }

TEST(SimHex, RoundTripsAndRejectsMalformedText) {
  EXPECT_EQ(ToHex({0x00, 0x1A, 0xFF}), "001AFF");
  EXPECT_EQ(FromHex("001aFf"), (Bytes{0x00, 0x1A, 0xFF}));
  EXPECT_EQ(FromHex(""), Bytes{});
  EXPECT_FALSE(FromHex("ABC"));  // odd length
  EXPECT_FALSE(FromHex("0G"));
  EXPECT_FALSE(FromHex("0 "));
}

TEST(SimSeptetPacking, PacksToTheExpectedOctets) {
  struct Case {
    std::string text;
    std::string packed;
  };
  const Case cases[] = {
      {"", ""},
      {"h", "68"},
      {"hi", "E834"},
      {"hello", "E8329BFD06"},
      {"hellohel", "E8329BFD4697D9"},          // 8 septets fill exactly 7 octets
      {"hellohellohelloh", "E8329BFD4697D9EC37BACC66BFD1"},  // 16 septets, 14 octets
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const Bytes packed = PackSeptets(SeptetsOf(c.text));
    EXPECT_EQ(ToHex(packed), c.packed);
    EXPECT_EQ(packed.size(), PackedLength(c.text.size()));
    EXPECT_EQ(UnpackSeptets(packed, c.text.size()), SeptetsOf(c.text));
  }
}

TEST(SimSeptetPacking, MasksSeptetsToSevenBits) {
  EXPECT_EQ(PackSeptets({0xE8}), PackSeptets({0x68}));
}

TEST(SimGsmAlphabet, MapsBetweenSeptetsAndUnicode) {
  struct Case {
    std::u32string text;
    Septets septets;
  };
  const Case cases[] = {
      {U"@$£", {0x00, 0x02, 0x01}},
      {U"Aa0 ", {0x41, 0x61, 0x30, 0x20}},
      {U"ÄÖÑÜ§¿äöñüà", {0x5B, 0x5C, 0x5D, 0x5E, 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E, 0x7F}},
      {U"èéΔ_ΩÉ", {0x04, 0x05, 0x10, 0x11, 0x15, 0x1F}},
      {U"€[]{}\\^~|", {0x1B, 0x65, 0x1B, 0x3C, 0x1B, 0x3E, 0x1B, 0x28, 0x1B, 0x29, 0x1B, 0x2F,
                       0x1B, 0x14, 0x1B, 0x3D, 0x1B, 0x40}},
      {U"\r\n", {0x0D, 0x0A}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(EncodeUtf8(c.text));
    EXPECT_EQ(EncodeGsm7(c.text), c.septets);
    EXPECT_EQ(DecodeGsm7(c.septets), c.text);
  }
}

TEST(SimGsmAlphabet, RefusesCharactersWithoutAGsmForm) {
  EXPECT_FALSE(EncodeGsm7(U"a\u4E2Db"));
  EXPECT_FALSE(EncodeGsm7(U"`"));
}

TEST(SimGsmAlphabet, DecodesStrayEscapesAsTheStandardSays) {
  EXPECT_EQ(DecodeGsm7({0x41, 0x1B}), U"A ");        // trailing escape
  EXPECT_EQ(DecodeGsm7({0x1B, 0x41}), U"A");         // no extension: the default character
  EXPECT_EQ(DecodeGsm7({0xC1}), U"A");               // high bit ignored
}

TEST(SimUnicode, DecodesUtf8AndReplacesMalformedBytes) {
  EXPECT_EQ(DecodeUtf8("h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"), U"hé€\U0001F600");
  EXPECT_EQ(DecodeUtf8("\xC3"), U"\uFFFD");            // cut short
  EXPECT_EQ(DecodeUtf8("\xC0\xAF"), U"\uFFFD\uFFFD");  // overlong
  EXPECT_EQ(DecodeUtf8("\xED\xA0\x80"), U"\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(DecodeUtf8("\xFFx"), U"\uFFFDx");
  EXPECT_EQ(EncodeUtf8(U"hé€\U0001F600"), "h\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

TEST(SimUnicode, Utf16BigEndianWithSurrogates) {
  EXPECT_EQ(ToHex(EncodeUtf16Be(U"A\u4E2D\U0001F600")), "00414E2DD83DDE00");
  EXPECT_EQ(DecodeUtf16Be(Hex("00414E2DD83DDE00")), U"A\u4E2D\U0001F600");
  EXPECT_EQ(DecodeUtf16Be(Hex("D83D0041")), U"\uFFFDA");  // unpaired high surrogate
  EXPECT_EQ(DecodeUtf16Be(Hex("0041DE")), U"A\uFFFD");    // odd octet
}

TEST(SimSubmitPdu, DecodesSubmitPdus) {
  struct Case {
    const char* name;
    std::string tpdu;
    std::string destination;
    std::string text;
  };
  const Case cases[] = {
      {"gateway, international", "B100049144970000A702E834", "+4479", "hi"},
      {"gammu, relative validity", "110005812143F50000FF08E834888E2ECBCB", "12345", "hi there"},
      {"no validity period", "01000781214365F7000002E834", "1234567", "hi"},
      {"absolute validity", "19000391214300009930712154800002E834", "+123", "hi"},
      {"UCS2", "110004914497000800044E2D0041", "+4479", "\xE4\xB8\xAD" "A"},
      {"8-bit data shown as hex", "1100049144970004FF03010203", "+4479", "010203"},
      {"7-bit with a header", "5100049144970000FF09050003010201D069", "+4479", "hi"},
      {"UCS2 with a header", "5100049144970008FF0A05000301020100480069", "+4479", "Hi"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto decoded = DecodeSubmit(Hex(c.tpdu));
    ASSERT_TRUE(decoded) << decoded.error;
    EXPECT_EQ(decoded.value->destination, c.destination);
    EXPECT_EQ(decoded.value->text, c.text);
  }
}

TEST(SimSubmitPdu, EveryTruncationIsAnErrorNamingTheField) {
  const Bytes full = Hex("B100049144970000A702E834");
  for (std::size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    const auto decoded = DecodeSubmit(Bytes(full.begin(), full.begin() + length));
    ASSERT_FALSE(decoded);
    EXPECT_EQ(decoded.error.rfind("PDU too short, cannot read ", 0), 0u) << decoded.error;
  }
  EXPECT_EQ(DecodeSubmit(Hex("B10004914497")).error, "PDU too short, cannot read TP-PID");
}

TEST(SimSubmitPdu, RefusesOtherMessageTypes) {
  EXPECT_EQ(DecodeSubmit(Hex("040491449700009930712154800002E834")).error, "not an SMS-SUBMIT");
}

TEST(SimDeliverPdu, EncodesTheWorkedExample) {
  const SmsTimestamp stamp{99, 3, 17, 12, 45, 8};
  const auto pdu = EncodeDeliver("+4479", "hi", stamp);
  ASSERT_TRUE(pdu) << pdu.error;
  EXPECT_EQ(ToHex(*pdu.value), "040491449700009930712154800002E834");
}

TEST(SimDeliverPdu, ChoosesAddressFormAndAlphabet) {
  const SmsTimestamp stamp{24, 12, 31, 23, 59, 1};
  struct Case {
    std::string origin;
    std::string text;
    std::string tpdu;
  };
  const Case cases[] = {
      {"12345", "hi", "0405812143F50000" "42211332951000" "02E834"},
      {"Kavonet", "hi", "040DD0CBB0FDED2ED3010000" "42211332951000" "02E834"},
      {"+4479", "\xE4\xB8\xAD", "0404914497000" "8" "42211332951000" "024E2D"},
      {"+4479", "\xE2\x82\xAC", "04049144970000" "42211332951000" "029B32"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.origin + " " + c.text);
    const auto pdu = EncodeDeliver(c.origin, c.text, stamp);
    ASSERT_TRUE(pdu) << pdu.error;
    EXPECT_EQ(ToHex(*pdu.value), c.tpdu);
  }
}

TEST(SimDeliverPdu, RefusesWhatOneMessageCannotCarry) {
  const SmsTimestamp stamp;
  EXPECT_TRUE(EncodeDeliver("+1", std::string(160, 'a'), stamp));
  EXPECT_FALSE(EncodeDeliver("+1", std::string(161, 'a'), stamp));
  EXPECT_FALSE(EncodeDeliver("+1", std::string(80, 'a') + std::string(80, '{'), stamp));
  std::string ucs2;
  for (int i = 0; i < 71; ++i) ucs2 += "\xE4\xB8\xAD";
  EXPECT_FALSE(EncodeDeliver("+1", ucs2, stamp));
  EXPECT_FALSE(EncodeDeliver("", "hi", stamp));
  EXPECT_FALSE(EncodeDeliver("TwelveChars!", "hi", stamp));
  EXPECT_FALSE(EncodeDeliver("+123456789012345678901", "hi", stamp));  // 21 digits
}

TEST(SimScaField, EncodesTheServiceCentreAddress) {
  EXPECT_EQ(ToHex(EncodeScaField("+12345")), "04912143F5");
  EXPECT_EQ(ToHex(EncodeScaField("4479")), "03814497");
  EXPECT_EQ(ToHex(EncodeScaField("")), "00");
  EXPECT_EQ(ToHex(EncodeScaField("+")), "00");
}

}  // namespace
}  // namespace kavonet::sim
