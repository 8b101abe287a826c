// Splitting AT command lines into commands.

#include "sim/AtCommandLine.h"

#include <gtest/gtest.h>

namespace kavonet::sim {
namespace {

// name/form/argument of each command, joined by spaces; form as A(ction) S(et) R(ead) T(est).
std::string Describe(const std::vector<AtCommand>& commands) {
  std::string out;
  for (const AtCommand& c : commands) {
    static constexpr char kForms[] = {'A', 'S', 'R', 'T'};
    if (!out.empty()) out += " ";
    out += c.name + "/" + kForms[static_cast<int>(c.form)] + "/" + c.argument;
  }
  return out;
}

TEST(SimAtCommandLine, SplitsCommandLines) {
  struct Case {
    const char* line;
    const char* commands;
  };
  const Case cases[] = {
      {"", ""},
      {"ZE0&S0", "Z/A/ E/A/0 &S/A/0"},
      {"e1v0", "E/A/1 V/A/0"},
      {"+CMGF=0", "+CMGF/S/0"},
      {"+CPMS=\"SM\",\"ME\"", "+CPMS/S/\"SM\",\"ME\""},
      {"+csca=\"+44 79\"", "+CSCA/S/\"+44 79\""},  // spaces and case kept inside quotes
      {"+CSCA?", "+CSCA/R/"},
      {"+CSCS=?", "+CSCS/T/"},
      {"+CGMI;+CGMM", "+CGMI/A/ +CGMM/A/"},
      {"E0;+CMEE=1;", "E/A/0 +CMEE/S/1"},
      {"*T", "*T/A/"},
      {"$TSSPCSW=?", "$TSSPCSW/T/"},
      {"S7=50S3?", "S7/S/50 S3/R/"},
      {" + C M G S = 2 3", "+CMGS/S/23"},
      {"+CMGS=\"a;b\";E1", "+CMGS/S/\"a;b\" E/A/1"},
      {"D12345;", "D/A/12345;"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const auto commands = ParseCommandLine(c.line);
    ASSERT_TRUE(commands);
    EXPECT_EQ(Describe(*commands), c.commands);
  }
}

TEST(SimAtCommandLine, RefusesMalformedLines) {
  for (const char* line : {"+CSCA=\"open", "&", "&1", "S", "1", "+CMGF?X", "\x01"}) {
    SCOPED_TRACE(line);
    EXPECT_FALSE(ParseCommandLine(line));
  }
}

TEST(SimAtCommandLine, SplitsArgumentsAndNumbers) {
  EXPECT_EQ(SplitArguments("\"SM\",\"ME\""), (std::vector<std::string>{"SM", "ME"}));
  EXPECT_EQ(SplitArguments("0,1,,0"), (std::vector<std::string>{"0", "1", "", "0"}));
  EXPECT_EQ(SplitArguments("\"a,b\""), (std::vector<std::string>{"a,b"}));
  EXPECT_EQ(SplitArguments(""), (std::vector<std::string>{""}));
  EXPECT_EQ(ParseNumber("23", 1, 164), 23);
  EXPECT_FALSE(ParseNumber("0", 1, 164));
  EXPECT_FALSE(ParseNumber("165", 1, 164));
  EXPECT_FALSE(ParseNumber("", 0, 9));
  EXPECT_FALSE(ParseNumber("1a", 0, 99));
  EXPECT_FALSE(ParseNumber("99999999999", 0, 99));
}

}  // namespace
}  // namespace kavonet::sim
