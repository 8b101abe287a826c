#include "clients/ctl/CtlOptions.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kavonet::ctl {
namespace {

using Args = std::vector<std::string_view>;

std::optional<CtlOptions> Parse(const Args& args) {
  std::string error;
  return ParseCtlOptions(args, error);
}

TEST(CtlOptions, SendJoinsTheTextWords) {
  const auto options = Parse({"send", "+44 123,456", "Meeting", "at", "10"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->command, Command::Send);
  EXPECT_EQ(options->destinations, "+44 123,456");
  EXPECT_EQ(options->text, "Meeting at 10");
  EXPECT_EQ(options->transport, Transport::Automatic);
}

TEST(CtlOptions, GlobalOptionsComeBeforeTheCommand) {
  const auto options = Parse({"--socket", "--service", "gw", "--timeout", "5", "send", "1", "x"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->transport, Transport::Socket);
  EXPECT_EQ(options->service, "gw");
  EXPECT_EQ(options->timeoutMs, 5000);
}

TEST(CtlOptions, ModeNamesTheAutomationMethod) {
  EXPECT_EQ(Parse({"mode", "none"})->mode, "No_Transfer_Mode");
  EXPECT_EQ(Parse({"mode", "te"})->mode, "Transfer_TE_Mode");
  EXPECT_EQ(Parse({"mode", "all"})->mode, "Transfer_All_Mode");
}

TEST(CtlOptions, RetrieveTakesAnAppNameAndFollow) {
  const auto options = Parse({"retrieve", "--follow", "--app", "billing"});
  ASSERT_TRUE(options);
  EXPECT_EQ(options->appName, "billing");
  EXPECT_TRUE(options->follow);
  EXPECT_EQ(Parse({"retrieve", "--app=x"})->appName, "x");
}

TEST(CtlOptions, UsageErrors) {
  for (const Args& args : {Args{}, Args{"frobnicate"}, Args{"send"}, Args{"mode"}, Args{"mode", "some"},
                           Args{"retrieve"}, Args{"retrieve", "--app"}, Args{"status", "extra"},
                           Args{"--timeout", "0", "status"}, Args{"--timeout", "5x", "status"}}) {
    std::string error;
    EXPECT_FALSE(ParseCtlOptions(args, error)) << (args.empty() ? "(none)" : args[0]);
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace kavonet::ctl
