#include "clients/ServerStartMode.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kavonet::clients {
namespace {

bool IsSwitch(std::string_view argument, std::string_view name) {
  if (argument.size() != name.size() + 1) return false;
  if (argument[0] != '-' && argument[0] != '/') return false;
  return std::equal(name.begin(), name.end(), argument.begin() + 1, [](char n, char a) {
    return n == (a >= 'a' && a <= 'z' ? static_cast<char>(a - 'a' + 'A') : a);
  });
}

}  // namespace

ServerStartMode ParseServerStartMode(std::span<const std::string_view> arguments) {
  static constexpr std::array<std::pair<std::string_view, ServerStartMode>, 4> kSwitches{{
      {"AUTOMATION", ServerStartMode::Automation},
      {"EMBEDDING", ServerStartMode::Automation},
      {"REGSERVER", ServerStartMode::Register},
      {"UNREGSERVER", ServerStartMode::Unregister},
  }};
  for (const auto& candidate : kSwitches) {
    const bool found = std::any_of(arguments.begin(), arguments.end(), [&](std::string_view argument) {
      return IsSwitch(argument, candidate.first);
    });
    if (found) return candidate.second;
  }
  return ServerStartMode::Standalone;
}

}  // namespace kavonet::clients
