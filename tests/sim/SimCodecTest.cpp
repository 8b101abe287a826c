// The simulator's codec is written apart from the gateway's: each checks the other, table
// for table and part for part. What the terminal makes of PDUs is in the exchange tables.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/GsmAlphabet.h"
#include "sim/SmsPdu.h"
#include "sim/Unicode.h"
#include "sms/GsmAlphabet.h"
#include "sms/MessageParts.h"
#include "sms/PduCodec.h"

namespace kavonet {
namespace {

std::string Times(std::size_t count, std::string_view piece) {
  std::string text;
  while (count-- > 0) text += piece;
  return text;
}

TEST(CodecCross, BothGsmAlphabetsAgreeOnEveryCharacter) {
  for (char32_t c = 0; c < 0x10000; ++c) {
    const sms::GsmCode code = sms::GsmEncode(c);
    const char32_t folded = c == U'ç' ? U'Ç' : c;  // the gateway sends ç as Ç, which phones show as either
    const auto septets = sim::EncodeGsm7(std::u32string(1, folded));
    ASSERT_EQ(septets.has_value(), code.length > 0) << std::hex << static_cast<unsigned>(c);
    if (!septets) continue;
    ASSERT_EQ(*septets, sim::Septets(code.septets, code.septets + code.length)) << std::hex << static_cast<unsigned>(c);
    std::string text;
    sms::AppendGsmText(text, *septets);
    ASSERT_EQ(sim::DecodeUtf8(text), std::u32string(1, folded));
  }
  for (std::uint8_t septet = 0; septet < 0x80; ++septet) {  // stray escapes and high bits too
    std::string text;
    sms::AppendGsmText(text, std::vector<std::uint8_t>{0x1B, septet});
    EXPECT_EQ(sim::DecodeUtf8(text), sim::DecodeGsm7({0x1B, septet})) << static_cast<int>(septet);
  }
}

// Both long texts put a pair across the first part boundary.
const std::string kTexts[] = {Times(120, "€ab"), Times(60, "Пр😀"), Times(161, "x"), "short"};

TEST(CodecCross, EachReadsTheOthersParts) {
  for (const std::string& text : kTexts) {
    const auto submits = sms::BuildSubmitParts("+4479", text, "", false, false, 42);
    const auto texts = sms::MessagePartTexts(text);
    ASSERT_EQ(submits.size(), texts.size());
    const auto delivers = sim::EncodeDeliverParts("+4479", text, {24, 1, 2, 3, 4, 5}, 9);
    ASSERT_TRUE(delivers) << delivers.error;
    ASSERT_EQ(delivers.value->size(), texts.size());
    const auto total = static_cast<unsigned>(texts.size());
    std::string joined;
    for (unsigned n = 1; n <= total; ++n) {
      const auto submit = sim::DecodeSubmit(submits[n - 1].octets);
      ASSERT_TRUE(submit) << submit.error;
      EXPECT_EQ(submit.value->text, texts[n - 1]);
      const auto part = submit.value->part.value_or(sim::PartOf{42, 1, 1});
      EXPECT_EQ((std::vector{part.reference, part.total, part.number}), (std::vector{42u, total, n}));

      const auto m = sms::DecodeDeliver((*delivers.value)[n - 1], 0, false, 0, false);
      EXPECT_EQ(m.DecodeError, "");
      const auto concat = m.Concat.value_or(sms::Concatenation{9, false, 1, 1});
      EXPECT_EQ(concat, (sms::Concatenation{9, false, static_cast<std::uint8_t>(total),
                                            static_cast<std::uint8_t>(n)}));
      joined += m.Text;
    }
    EXPECT_EQ(joined, text);
  }
}

TEST(SimSubmitPdu, EveryTruncationIsAnErrorNamingTheField) {
  const sim::Bytes full = sim::FromHex("B100049144970000A702E834").value();
  for (std::size_t length = 0; length < full.size(); ++length) {
    const auto decoded = sim::DecodeSubmit(sim::Bytes(full.begin(), full.begin() + length));
    ASSERT_FALSE(decoded) << length;
    EXPECT_EQ(decoded.error.rfind("PDU too short, cannot read ", 0), 0u) << decoded.error;
  }
  EXPECT_EQ(sim::DecodeSubmit(sim::FromHex("040491449700009930712154800002E834").value()).error, "not an SMS-SUBMIT");
}

}  // namespace
}  // namespace kavonet
