// The simulator's codec and the gateway's, written apart, read each other's
// concatenated messages.

#include <gtest/gtest.h>

#include <string>

#include "sim/SmsPdu.h"
#include "sms/MessageParts.h"
#include "sms/PduCodec.h"

namespace kavonet {
namespace {

std::string LongText(std::string_view piece, std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += piece;
  return text;
}

// Both long texts put a pair across the first part boundary.
const std::string kTexts[] = {LongText("€ab", 120), LongText("Пр😀", 60),
                              std::string(161, 'x'), "short"};

TEST(CodecCross, GatewayPartsReadBySimulator) {
  for (const std::string& text : kTexts) {
    const auto pdus = sms::BuildSubmitParts("+4479", text, "", false, false, 42);
    const auto texts = sms::MessagePartTexts(text);
    ASSERT_EQ(pdus.size(), texts.size());
    for (std::size_t i = 0; i < pdus.size(); ++i) {
      const auto submit = sim::DecodeSubmit(pdus[i].octets);
      ASSERT_TRUE(submit) << submit.error;
      EXPECT_EQ(submit.value->text, texts[i]);
      EXPECT_EQ(submit.value->part.has_value(), pdus.size() > 1);
      if (submit.value->part) {
        EXPECT_EQ(submit.value->part->reference, 42u);
        EXPECT_EQ(submit.value->part->number, i + 1);
        EXPECT_EQ(submit.value->part->total, pdus.size());
      }
    }
  }
}

TEST(CodecCross, SimulatorPartsReadByGateway) {
  for (const std::string& text : kTexts) {
    const auto pdus = sim::EncodeDeliverParts("+4479", text, {24, 1, 2, 3, 4, 5}, 9);
    ASSERT_TRUE(pdus) << pdus.error;
    std::string joined;
    for (std::size_t i = 0; i < pdus.value->size(); ++i) {
      const sms::ReceivedMessage m = sms::DecodeDeliver((*pdus.value)[i], 0, false, 0, false);
      EXPECT_EQ(m.DecodeError, "");
      const auto total = static_cast<std::uint8_t>(pdus.value->size());
      if (total > 1) {
        EXPECT_EQ(m.Concat, (sms::Concatenation{9, false, total, static_cast<std::uint8_t>(i + 1)}));
      }
      joined += m.Text;
    }
    EXPECT_EQ(joined, text);
  }
}

}  // namespace
}  // namespace kavonet
