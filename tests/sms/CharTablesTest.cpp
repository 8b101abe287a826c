#include <gtest/gtest.h>

#include <set>

#include "sms/CharTables.h"

namespace kavonet::sms {
namespace {

TEST(CharTables, TransmitTableNeverLeavesTheSevenBitAlphabet) {
  for (unsigned code = 0; code < 256; ++code) {
    EXPECT_LT(TxCharTable[code], 0x80) << "code " << code;
  }
}

struct TxCase {
  unsigned char cp437;
  std::uint8_t septet;
  const char* what;
};

TEST(CharTables, TransmitTableSendsPcCharactersAsTheirGsmLetters) {
  const TxCase cases[] = {
      {'@', 0x00, "at sign"},
      {'$', 0x02, "dollar"},
      {'_', 0x20, "underscore has no GSM form"},
      {'[', 0x20, "left bracket has no GSM form"},
      {'\t', 0x20, "tab"},
      {0x15, 0x5F, "section sign"},
      {0x87, 0x09, "c cedilla goes as C cedilla"},
      {0x88, 0x65, "e circumflex goes as e"},
      {0x9B, 0x20, "cent has no GSM form"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TxCharTable[c.cp437], c.septet) << c.what;
  }
}

// National characters come back as the ASCII character with their code (GSM 0x24 ¤
// is shown as '$'); sending that again gives the GSM form of the ASCII character.
const std::set<std::uint8_t> kNationalSeptets = {0x24, 0x40, 0x5B, 0x5C, 0x5D, 0x5E,
                                                 0x5F, 0x60, 0x7B, 0x7C, 0x7D, 0x7E};

TEST(CharTables, EveryShownGsmCharacterSurvivesReceiveThenSend) {
  std::size_t checked = 0;
  for (unsigned septet = 0; septet < 0x80; ++septet) {
    const std::uint8_t shown = RxCharTable[septet];
    if (shown == 0x20 && septet != 0x20) continue;  // no PC form: shown as a space
    if (kNationalSeptets.count(static_cast<std::uint8_t>(septet)) != 0) continue;
    EXPECT_EQ(TxCharTable[shown], septet) << "septet " << septet << " shown as " << +shown;
    ++checked;
  }
  // 128 septets less 12 national characters and 11 without a PC form.
  EXPECT_EQ(checked, 105u);
}

}  // namespace
}  // namespace kavonet::sms
