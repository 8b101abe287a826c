#include <gtest/gtest.h>

#include <string>

#include "sms/CharTables.h"
#include "sms/TextCodec.h"

namespace kavonet::sms {
namespace {

TEST(TextCodec, EveryCodePageCharacterRoundTripsThroughUtf8) {
  std::string all;
  for (int code = 0; code < 256; ++code) all.push_back(static_cast<char>(code));
  const std::string utf8 = Cp437ToUtf8(all);
  EXPECT_EQ(Utf8ToCp437(utf8), all);
}

TEST(TextCodec, KnownCharacters) {
  struct Case {
    const char* utf8;
    const char* cp437;
  };
  const Case cases[] = {
      {"hello\r\n", "hello\r\n"},
      {"\xC3\xA9", "\x82"},      // é
      {"\xC3\x87", "\x80"},      // Ç
      {"\xC3\x9F", "\xE1"},      // ß
      {"\xCE\xA9", "\xEA"},      // Ω
      {"\xC2\xA7", "\x15"},      // §
      {"\xE2\x96\x91", "\xB0"},  // light shade
      {"\xC2\xA0", "\xFF"},      // no-break space
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToCp437(c.utf8), c.cp437) << c.utf8;
    EXPECT_EQ(Cp437ToUtf8(c.cp437), c.utf8) << c.utf8;
  }
}

TEST(TextCodec, CharactersWithoutACodePageFormBecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp437("\xE2\x82\xAC 5"), "? 5");           // euro sign
  EXPECT_EQ(Utf8ToCp437("\xE6\x97\xA5\xE6\x9C\xAC"), "??");  // two CJK characters
  EXPECT_EQ(Utf8ToCp437("a\xF0\x9F\x98\x80z"), "a?z");       // emoji
}

TEST(TextCodec, MalformedUtf8GivesQuestionMarksAndResynchronises) {
  struct Case {
    const char* name;
    std::string utf8;
    std::string cp437;
  };
  const Case cases[] = {
      {"lone continuation byte", "a\x80z", "a?z"},
      {"truncated at the end", "a\xC3", "a?"},
      {"truncated before ASCII", "\xE2\x82z", "?z"},
      {"overlong slash", "\xC0\xAF", "??"},
      {"overlong three-byte", "\xE0\x80\xAF", "???"},
      {"surrogate", "\xED\xA0\x80", "???"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", "????"},
      {"invalid lead bytes", "\xFE\xFF", "??"},
      {"embedded NUL passes", std::string("a\0b", 3), std::string("a\0b", 3)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToCp437(c.utf8), c.cp437) << c.name;
  }
}

TEST(TextCodec, AccentedLetterTravelsFromClientToTerminalAndBack) {
  const std::string sent = Utf8ToCp437("\xC3\xA9");  // é from a client
  const std::uint8_t septet = TxCharTable[static_cast<unsigned char>(sent[0])];
  EXPECT_EQ(septet, 0x05);  // GSM é
  const std::string shown(1, static_cast<char>(RxCharTable[septet]));
  EXPECT_EQ(Cp437ToUtf8(shown), "\xC3\xA9");
}

}  // namespace
}  // namespace kavonet::sms
