#include "config/IniDocument.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>

namespace kavonet {
namespace {

struct LookupCase {
  const char* name;
  std::string text;
  const char* section;
  const char* key;
  std::optional<std::string> expected;
};

const LookupCase kLookupCases[] = {
    {"Plain", "[A]\nk=v\n", "A", "k", "v"},
    {"NamesIgnoreCase", "[Configuration]\nWait OK=0\n", "CONFIGURATION", "wait ok", "0"},
    {"BlanksAroundEqualsTrimmed", "[A]\n  Init String  =  ZE0&S0  \n", "A", "Init String",
     "ZE0&S0"},
    {"TabsAndBlanksInBracketsTrimmed", "[ A ]\n\tk\t=\tv\t\n", "A", "k", "v"},
    {"RequestedNamesTrimmed", "[A]\nk=v\n", " A ", " k ", "v"},
    {"InnerBlanksKept", "[A]\nk=a  b\n", "A", "k", "a  b"},
    {"EqualsInValue", "[A]\nk=a=b\n", "A", "k", "a=b"},
    {"EmptyValueIsAValue", "[A]\nk=\n", "A", "k", ""},
    {"MissingSection", "[A]\nk=v\n", "B", "k", std::nullopt},
    {"MissingKey", "[A]\nk=v\n", "A", "x", std::nullopt},
    {"KeyOfTheNextSectionNotTaken", "[A]\nx=1\n[B]\nk=2\n", "A", "k", std::nullopt},
    {"CommentIsNoKey", "[A]\n  ;k=1\n", "A", "k", std::nullopt},
    {"LineWithoutEqualsIgnored", "[A]\nk\nk=3\n", "A", "k", "3"},
    {"KeyBeforeAnySectionBelongsToNone", "k=1\n[A]\n", "A", "k", std::nullopt},
    {"FirstOfTwoKeysWins", "[A]\nk=1\nk=2\n", "A", "k", "1"},
    {"RepeatedSectionSearched", "[A]\nx=1\n[B]\n[a]\nk=2\n", "A", "k", "2"},
    {"HeaderNameRunsToLastBracket", "[A]x]\nk=v\n", "A]x", "k", "v"},
    {"UnclosedBracketIsNoHeader", "[A\nk=v\n", "A", "k", std::nullopt},
    {"LastLineWithoutNewline", "[A]\nk=v", "A", "k", "v"},
    {"CrLfLines", "[A]\r\nk=v\r\n", "A", "k", "v"},
    {"ByteOrderMarkSkipped", "\xEF\xBB\xBF[A]\nk=v\n", "A", "k", "v"},
    {"DoubleQuotesRemoved", "[A]\nk=\" a b \"\n", "A", "k", " a b "},
    {"SingleQuotesRemoved", "[A]\nk='ab'\n", "A", "k", "ab"},
    {"UnmatchedQuotesKept", "[A]\nk=\"ab'\n", "A", "k", "\"ab'"},
    {"LoneQuoteKept", "[A]\nk=\"\n", "A", "k", "\""},
    {"EightBitTextKept", "[A]\nk=\x81\xE9\n", "A", "k", "\x81\xE9"},
};

void PrintTo(const LookupCase& c, std::ostream* os) { *os << c.name; }

class IniDocumentLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(IniDocumentLookup, FindsTheValue) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(IniDocument(c.text).Find(c.section, c.key), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniDocumentLookup, ::testing::ValuesIn(kLookupCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniDocument, ValuesAreCutAt1023Characters) {
  const std::string exact(1023, 'a');
  const std::string longer = std::string(1023, 'b') + "cdef";
  EXPECT_EQ(IniDocument("[A]\nk=" + exact + "\n").Find("A", "k"), exact);
  EXPECT_EQ(IniDocument("[A]\nk=" + longer + "\n").Find("A", "k"), std::string(1023, 'b'));
  // The cut comes after the quotes are removed, as the value is copied out.
  EXPECT_EQ(IniDocument("[A]\nk=\"" + exact + "\"\n").Find("A", "k"), exact);
}

struct IntegerCase {
  const char* text;
  std::optional<std::int32_t> expected;
};

TEST(ParseIniInteger, ReadsDecimalAndHexOnly) {
  const IntegerCase cases[] = {
      {"16", 16},
      {"0x10", 16},
      {"0X1f", 31},
      {"0x0000000010", 16},
      {"+7", 7},
      {"-7", -7},
      {"007", 7},  // a leading zero is not octal
      {"2147483647", std::numeric_limits<std::int32_t>::max()},
      {"-2147483648", std::numeric_limits<std::int32_t>::min()},
      {"0xFFFFFFFF", -1},  // hexadecimal is a 32-bit pattern
      {"0x7fffffff", std::numeric_limits<std::int32_t>::max()},
      {"2147483648", std::nullopt},
      {"-2147483649", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"0x100000000", std::nullopt},
      {"yes", std::nullopt},
      {"", std::nullopt},
      {"12abc", std::nullopt},  // trailing characters make it no number
      {"1 2", std::nullopt},
      {"0x", std::nullopt},
      {"0x1G", std::nullopt},
      {"-0x10", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"--1", std::nullopt},
  };
  for (const IntegerCase& c : cases) {
    EXPECT_EQ(ParseIniInteger(c.text), c.expected) << '"' << c.text << '"';
  }
}

struct EditCase {
  const char* name;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

const EditCase kEditCases[] = {
    {"EmptyDocument", "", "A", "k", "v", "[A]\nk=v\n"},
    {"NamesWrittenTrimmed", "", " A ", " k ", "v", "[A]\nk=v\n"},
    {"ReplacedInPlace", "; top\n[A]\n; about k\nk = old ; x\nother=1\n", "A", "k", "new",
     "; top\n[A]\n; about k\nk = new\nother=1\n"},
    {"KeySpellingKept", "[a]\nKEY=1\n", "A", "key", "2", "[a]\nKEY=2\n"},
    {"EmptyValueReplaced", "[A]\nk=\n", "A", "k", "v", "[A]\nk=v\n"},
    {"ValueEmptied", "[A]\nk=v\n", "A", "k", "", "[A]\nk=\n"},
    {"KeyAddedAtEndOfSection", "[A]\nx=1\n; note\n\n[B]\ny=2\n", "A", "k", "v",
     "[A]\nx=1\n; note\nk=v\n\n[B]\ny=2\n"},
    {"KeyAddedToEmptySection", "[A]\n[B]\n", "A", "k", "v", "[A]\nk=v\n[B]\n"},
    {"KeyAddedAfterLastLineWithoutNewline", "[A]\nx=1", "A", "k", "v", "[A]\nx=1\nk=v\n"},
    {"UnknownLinesKept", "garbage\n[A]\nnot a key\n", "A", "k", "v",
     "garbage\n[A]\nnot a key\nk=v\n"},
    {"KeyInRepeatedSectionReplacedThere", "[A]\nx=1\n[A]\nk=1\n", "A", "k", "2",
     "[A]\nx=1\n[A]\nk=2\n"},
    {"SectionAddedAfterBlankLine", "[A]\nx=1\n", "B", "k", "v", "[A]\nx=1\n\n[B]\nk=v\n"},
    {"SectionAddedAfterExistingBlankLine", "[A]\nx=1\n\n", "B", "k", "v",
     "[A]\nx=1\n\n[B]\nk=v\n"},
    {"SectionAddedAfterLastLineWithoutNewline", "[A]\nx=1", "B", "k", "v",
     "[A]\nx=1\n\n[B]\nk=v\n"},
    {"CrLfKeptOnReplace", "[A]\r\nk=1\r\n", "A", "k", "2", "[A]\r\nk=2\r\n"},
    {"CrLfUsedForNewKey", "[A]\r\nx=1\r\n", "A", "k", "v", "[A]\r\nx=1\r\nk=v\r\n"},
    {"CrLfUsedForNewSection", "[A]\r\nx=1", "B", "k", "v", "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n"},
    {"ByteOrderMarkKept", "\xEF\xBB\xBF[A]\nk=1\n", "A", "k", "2", "\xEF\xBB\xBF[A]\nk=2\n"},
};

void PrintTo(const EditCase& c, std::ostream* os) { *os << c.name; }

class IniDocumentEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(IniDocumentEdit, ChangesOnlyWhatItSets) {
  const EditCase& c = GetParam();
  IniDocument document(c.before);
  ASSERT_TRUE(document.Set(c.section, c.key, c.value));
  EXPECT_EQ(document.Text(), c.after);
  EXPECT_EQ(document.Find(c.section, c.key), c.value);
  EXPECT_EQ(IniDocument(document.Text()).Find(c.section, c.key), c.value);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniDocumentEdit, ::testing::ValuesIn(kEditCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(IniDocument, RefusesWhatWouldNotReadBack) {
  struct Refused {
    const char* section;
    const char* key;
    const char* value;
  };
  const Refused cases[] = {
      {"A", "k", "a\nb"}, {"A", "k", "a\rb"},  {"A\nB", "k", "v"}, {"A", "k\n", "v"},
      {"A", "k=x", "v"},  {"A", ";k", "v"},    {"A", "[k]", "v"},
  };
  const std::string before = "[A]\nk=1\n";
  for (const Refused& c : cases) {
    IniDocument document(before);
    EXPECT_FALSE(document.Set(c.section, c.key, c.value)) << c.key << " / " << c.value;
    EXPECT_EQ(document.Text(), before);
  }
}

TEST(IniDocument, TextComesBackUnchanged) {
  const std::string texts[] = {"",           "\n",          "a\r\r\n",  "\xEF\xBB\xBF",
                               "no newline", "a\r\nb\nc\r", "[A\n]=\n", std::string("x\0y", 3)};
  for (const std::string& text : texts) EXPECT_EQ(IniDocument(text).Text(), text);
}

}  // namespace
}  // namespace kavonet
