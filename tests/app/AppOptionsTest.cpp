#include "ui/app/AppOptions.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kavonet::app {
namespace {

using Args = std::vector<std::string_view>;

AppOptions Parse(const Args& args) {
  std::string error;
  const std::optional<AppOptions> options = ParseAppOptions(args, error);
  EXPECT_TRUE(options) << error;
  return options.value_or(AppOptions{});
}

TEST(AppOptions, SimulateTakesAnOptionalMode) {
  EXPECT_EQ(Parse({"--simulate"}).simulate, SimulatedMode::Pdu);
  EXPECT_EQ(Parse({"--simulate", "block"}).simulate, SimulatedMode::Block);
  EXPECT_EQ(Parse({"--simulate", "pdu", "--headless"}).simulate, SimulatedMode::Pdu);
  EXPECT_EQ(Parse({"--simulate=block"}).simulate, SimulatedMode::Block);
  const AppOptions next = Parse({"--simulate", "--headless"});
  EXPECT_EQ(next.simulate, SimulatedMode::Pdu);
  EXPECT_TRUE(next.headless) << "a following option is not taken as the mode";
  EXPECT_FALSE(Parse({}).simulate);
  std::string error;
  EXPECT_FALSE(ParseAppOptions(Args{"--simulate=gsm"}, error));
  EXPECT_NE(error.find("pdu or block"), std::string::npos);
}

TEST(AppOptions, AutomationSwitchesAndOtherArgumentsAreLeftAlone) {
  const AppOptions options = Parse({"-regserver", "/automation", "whatever", "-platform", "offscreen"});
  EXPECT_FALSE(options.headless);
  EXPECT_FALSE(options.simulate);
  EXPECT_FALSE(options.help);
}

struct HeadlessCase {
  const char* name;
  bool headlessOption;
  const char* display;
  const char* wayland;
  const char* platform;
  bool headless;
};

class Headless : public ::testing::TestWithParam<HeadlessCase> {};

TEST_P(Headless, FollowsTheOptionAndTheDisplay) {
  const HeadlessCase& c = GetParam();
  AppOptions options;
  options.headless = c.headlessOption;
  EXPECT_EQ(ShouldRunHeadless(options, c.display, c.wayland, c.platform), c.headless);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Headless,
    ::testing::Values(HeadlessCase{"X11", false, ":0", nullptr, nullptr, false},
                      HeadlessCase{"Wayland", false, nullptr, "wayland-0", nullptr, false},
                      HeadlessCase{"NoDisplay", false, nullptr, nullptr, nullptr, true},
                      HeadlessCase{"EmptyDisplay", false, "", "", nullptr, true},
                      HeadlessCase{"PlatformAskedFor", false, nullptr, nullptr, "offscreen", false},
                      HeadlessCase{"OptionWins", true, ":0", nullptr, "xcb", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::app
