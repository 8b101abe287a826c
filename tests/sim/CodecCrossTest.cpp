// The simulator's codec and the gateway's, written apart, read each other's parts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim/SmsPdu.h"
#include "sms/MessageParts.h"
#include "sms/PduCodec.h"

namespace kavonet {
namespace {

std::string Times(std::size_t count, std::string_view piece) {
  std::string text;
  while (count-- > 0) text += piece;
  return text;
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

}  // namespace
}  // namespace kavonet
