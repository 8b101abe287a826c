#include "clients/ServerStartMode.h"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace kavonet::clients {
namespace {

struct ModeCase {
  const char* name;
  std::vector<std::string_view> arguments;
  ServerStartMode expected;
};

class StartMode : public ::testing::TestWithParam<ModeCase> {};

TEST_P(StartMode, IsDecidedByTheSwitches) {
  EXPECT_EQ(ParseServerStartMode(GetParam().arguments), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Switches, StartMode,
    ::testing::Values(
        ModeCase{"None", {}, ServerStartMode::Standalone},
        ModeCase{"OtherArguments", {"--headless", "regserver", "-reg"}, ServerStartMode::Standalone},
        ModeCase{"SlashLower", {"/regserver"}, ServerStartMode::Register},
        ModeCase{"DashUpper", {"-REGSERVER"}, ServerStartMode::Register},
        ModeCase{"Unregister", {"/UnRegServer"}, ServerStartMode::Unregister},
        ModeCase{"Automation", {"-automation"}, ServerStartMode::Automation},
        ModeCase{"Embedding", {"/Embedding"}, ServerStartMode::Automation},
        ModeCase{"DoubleDashIsNoSwitch", {"--regserver"}, ServerStartMode::Standalone},
        // Tested in the order automation, register, unregister: that order decides.
        ModeCase{"AutomationBeatsRegister", {"-regserver", "-automation"}, ServerStartMode::Automation},
        ModeCase{"RegisterBeatsUnregister", {"-unregserver", "-regserver"}, ServerStartMode::Register}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kavonet::clients
