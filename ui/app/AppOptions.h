#pragma once
// The kavonet program's own options. Automation switches (-automation, /regserver, ...)
// are read separately; anything else on the command line is left alone.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kavonet::app {

enum class SimulatedMode { Pdu, Block };

struct AppOptions {
  bool headless = false;
  bool help = false;
  bool version = false;
  std::optional<SimulatedMode> simulate;
};

inline constexpr const char* kAppUsage =
    "usage: kavonet [--headless] [--simulate [pdu|block]] [-regserver|-unregserver]\n"
    "  --headless          run without a window: status lines go to stderr (the default\n"
    "                      when there is no display: neither DISPLAY nor WAYLAND_DISPLAY\n"
    "                      is set and QT_QPA_PLATFORM does not ask for a platform)\n"
    "  --simulate [MODE]   use a simulated terminal (kavonet-sim) instead of the configured\n"
    "                      port, for this run only, in PDU Mode (default) or Block Mode;\n"
    "                      orvsms.ini is not changed\n"
    "  -regserver          register Kavonet.SMS for activation by the session bus, then end\n"
    "  -unregserver        remove that registration, then end\n"
    "orvsms.ini, transmit.txt and receive.txt are in the current directory.\n";

// nullopt with `error` for an option given a value it does not take.
std::optional<AppOptions> ParseAppOptions(std::span<const std::string_view> arguments,
                                          std::string& error);

// Whether to run without a window, given the options and the environment's variables.
bool ShouldRunHeadless(const AppOptions& options, const char* display, const char* waylandDisplay,
                       const char* qpaPlatform);

}  // namespace kavonet::app
