#include "ui/app/AppOptions.h"

namespace kavonet::app {
namespace {

std::optional<SimulatedMode> ModeNamed(std::string_view name) {
  if (name == "pdu") return SimulatedMode::Pdu;
  if (name == "block") return SimulatedMode::Block;
  return std::nullopt;
}

bool Set(const char* value) { return value != nullptr && value[0] != '\0'; }

}  // namespace

std::optional<AppOptions> ParseAppOptions(std::span<const std::string_view> arguments,
                                          std::string& error) {
  AppOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--headless") {
      options.headless = true;
    } else if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--simulate") {
      options.simulate = SimulatedMode::Pdu;
      if (i + 1 < arguments.size() && ModeNamed(arguments[i + 1])) options.simulate = ModeNamed(arguments[++i]);
    } else if (argument.rfind("--simulate=", 0) == 0) {
      options.simulate = ModeNamed(argument.substr(11));
      if (!options.simulate) {
        error = "--simulate takes pdu or block, not '" + std::string(argument.substr(11)) + "'";
        return std::nullopt;
      }
    }
  }
  return options;
}

bool ShouldRunHeadless(const AppOptions& options, const char* display, const char* waylandDisplay,
                       const char* qpaPlatform) {
  if (options.headless) return true;
  // A platform asked for by name (offscreen, vnc, ...) needs no display.
  if (Set(qpaPlatform)) return false;
  return !Set(display) && !Set(waylandDisplay);
}

}  // namespace kavonet::app
