#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "sms/MessageParts.h"
#include "sms/PduCodec.h"
#include "sms/Utf8.h"
#include "tests/support/HexOctets.h"

namespace kavonet::sms {
namespace {

// The user data of a PDU Mode SUBMIT re-wrapped as a DELIVER from +4479, so the
// receive decoder reads back what the encoder wrote.
ReceivedMessage ReadBack(const SubmitPdu& pdu) {
  const std::vector<std::uint8_t>& s = pdu.octets;
  const std::size_t pid = 4 + (s.at(2) + 1u) / 2;
  std::vector<std::uint8_t> tpdu = kavonet::testing::HexOctets("04 04914497");
  tpdu[0] |= s[0] & 0x40;
  tpdu.insert(tpdu.end(), {s.at(pid), s.at(pid + 1), 0x99, 0x30, 0x71, 0x21, 0x54, 0x80, 0x00});
  tpdu.insert(tpdu.end(), s.begin() + static_cast<std::ptrdiff_t>(pid + 3), s.end());
  return DecodeDeliver(tpdu, 0, false, 0, false);
}

std::string Repeat(std::string_view piece, std::size_t n) {
  std::string text;
  for (std::size_t i = 0; i < n; ++i) text += piece;
  return text;
}

// A two-unit character (escape pair, surrogate pair) at every position around the first
// and second part boundaries: no part ends inside it, every part fits, and the parts read
// back as the text.
TEST(MessageParts, PairsAroundEveryPartBoundary) {
  struct Case {
    const char* filler;
    const char* pair;
    std::size_t boundary;
    std::uint8_t udlLimit;
  };
  for (const auto& c : {Case{"a", "€", 153, 160}, Case{"я", "😀", 67, 140}}) {
    for (std::size_t at = c.boundary - 3; at <= 2 * c.boundary + 3; ++at) {
      if (at > c.boundary + 3 && at < 2 * c.boundary - 3) continue;
      const std::string text =
          Repeat(c.filler, at) + c.pair + Repeat(c.filler, 2 * c.boundary + 10 - at);
      const std::vector<SubmitPdu> parts = BuildSubmitParts("+4479", text, "", false, false, 7);
      ASSERT_EQ(parts.size(), 3u) << c.pair << at;
      std::string joined;
      for (std::size_t i = 0; i < parts.size(); ++i) {
        const ReceivedMessage m = ReadBack(parts[i]);
        EXPECT_EQ(m.Concat, (Concatenation{7, false, 3, static_cast<std::uint8_t>(i + 1)}));
        EXPECT_LE(parts[i].octets[8 + 3], c.udlLimit) << c.pair << at;
        EXPECT_EQ(m.DecodeError, "");
        joined += m.Text;
      }
      EXPECT_EQ(joined, text) << c.pair << at;
    }
  }
}

TEST(MessageParts, ATextOneMessageHoldsGoesAloneAndUnchanged) {
  for (const std::string& text :
       {std::string(160, 'a'), Repeat("€", 80), Repeat("я", 70), Repeat("😀", 35), std::string()}) {
    const std::vector<SubmitPdu> parts = BuildSubmitParts("+4479", text, "+1", true, false, 1);
    ASSERT_EQ(parts.size(), 1u);
    EXPECT_EQ(parts[0].octets, BuildSubmitPdu("+4479", text, "+1", true, false).octets);
    EXPECT_EQ(MessagePartTexts(text), std::vector<std::string_view>{text});
  }
  const std::vector<std::string_view> most = MessagePartTexts(std::string(153 * 256, 'a'));
  ASSERT_EQ(most.size(), 255u);
  EXPECT_EQ(most.back().size(), 153u);
}

TEST(MessageParts, SingleMessageTable) {
  const std::pair<std::string, std::string> cut[] = {
      {std::string(159, 'a') + "€", std::string(159, 'a')},  // an escape pair that does not fit
      {Repeat("я", 69) + "😀", Repeat("я", 69)},              // nor a surrogate pair
      {std::string(160, 'a') + "😀", std::string(160, 'a')},  // what is cut off chooses nothing
  };
  for (const auto& [text, sent] : cut) EXPECT_EQ(SingleMessageText(text), sent);
  EXPECT_EQ(SendAlphabet("@£$¥€[]{}\\^~|ç"), Alphabet::Gsm7);
  EXPECT_EQ(SendAlphabet("x\t"), Alphabet::Ucs2);
  const std::pair<std::string, std::string> utf8[] = {
      {"a\x80z", "a\uFFFDz"},
      {"a\xC3", "a\uFFFD"},
      {"\xE2\x82z", "\uFFFDz"},
      {"\xC0\xAF", "\uFFFD\uFFFD"},
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},
      {"\xF0\x9F\x98", "\uFFFD"},
      {"€😀", "€😀"},
      {std::string("a\0b", 3), std::string("a\0b", 3)}};
  for (const auto& [in, out] : utf8) EXPECT_EQ(ValidUtf8(in), out) << in;
  EXPECT_EQ(Utf8Prefix("a😀b", 2), "a😀");
}

}  // namespace
}  // namespace kavonet::sms
