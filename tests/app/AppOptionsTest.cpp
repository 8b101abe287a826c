#include "ui/app/AppOptions.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kavonet::app {
namespace {

using Args = std::vector<std::string_view>;

TEST(AppOptions, SimulateTakesAnOptionalModeAndTheRestIsLeftAlone) {
  const std::pair<Args, std::optional<SimulatedMode>> cases[] = {
      {{"--simulate"}, SimulatedMode::Pdu}, {{"--simulate", "block"}, SimulatedMode::Block},
      {{"--simulate", "pdu", "--headless"}, SimulatedMode::Pdu}, {{"--simulate=block"}, SimulatedMode::Block},
      {{"--simulate", "--headless"}, SimulatedMode::Pdu},  // a following option is not taken as the mode
      {{"-regserver", "/automation", "whatever", "-platform", "offscreen"}, std::nullopt}};
  for (const auto& [args, mode] : cases) {
    std::string error;
    const std::optional<AppOptions> options = ParseAppOptions(args, error);
    ASSERT_TRUE(options) << error;
    EXPECT_EQ(options->simulate, mode) << args[0];
    EXPECT_EQ(options->headless, args.back() == "--headless") << args[0];
    EXPECT_FALSE(options->help);
  }
  std::string error;
  EXPECT_FALSE(ParseAppOptions(Args{"--simulate=gsm"}, error));
  EXPECT_NE(error.find("pdu or block"), std::string::npos);
}

TEST(AppOptions, HeadlessFollowsTheOptionAndTheDisplay) {
  struct Case {
    bool headlessOption;
    const char *display, *wayland, *platform;
    bool headless;
  };
  for (const Case& c : {Case{false, ":0", nullptr, nullptr, false}, Case{false, nullptr, "wayland-0", nullptr, false},
                        Case{false, nullptr, nullptr, nullptr, true}, Case{false, "", "", nullptr, true},
                        Case{false, nullptr, nullptr, "offscreen", false}, Case{true, ":0", nullptr, "xcb", true}}) {
    AppOptions options;
    options.headless = c.headlessOption;
    EXPECT_EQ(ShouldRunHeadless(options, c.display, c.wayland, c.platform), c.headless)
        << (c.display ? c.display : "-") << " " << (c.wayland ? c.wayland : "-") << " " << (c.platform ? c.platform : "-");
  }
}

}  // namespace
}  // namespace kavonet::app
