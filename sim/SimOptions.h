#pragma once
// The command line of kavonet-sim.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/TerminalCore.h"

namespace kavonet::sim {

struct SimOptions {
  TerminalOptions terminal;
  std::string link;     // symlink to the pseudo-terminal's device, if set
  std::string journal;  // file for the sent messages, if set
  std::string control;  // unix socket path for control commands, if set
  int latencyMs = 0;
};

inline constexpr std::string_view kSimUsage =
    "usage: kavonet-sim [--mode pdu|block] [--link PATH] [--journal FILE]\n"
    "                   [--control SOCKET] [--block-command CMD] [--short-headers]\n"
    "                   [--numeric] [--latency MS]\n";

// Nothing, with the reason in `error`, for an unknown option or a bad value.
std::optional<SimOptions> ParseSimOptions(const std::vector<std::string_view>& arguments,
                                          std::string& error);

}  // namespace kavonet::sim
