#include "sim/SimOptions.h"

#include "sim/AtCommandLine.h"

namespace kavonet::sim {

std::optional<SimOptions> ParseSimOptions(const std::vector<std::string_view>& arguments,
                                          std::string& error) {
  SimOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view option = arguments[i];
    if (option == "--short-headers") {
      options.terminal.shortHeaders = true;
      continue;
    }
    if (option == "--numeric") {
      options.terminal.numericResults = true;
      continue;
    }
    if (i + 1 == arguments.size()) {
      error = std::string(option) + (option.rfind("--", 0) == 0 ? " needs a value" : ": unknown");
      return std::nullopt;
    }
    const std::string value(arguments[++i]);
    if (option == "--mode") {
      if (value != "pdu" && value != "block") {
        error = "--mode takes pdu or block";
        return std::nullopt;
      }
      options.terminal.startInBlockMode = value == "block";
    } else if (option == "--link") {
      options.link = value;
    } else if (option == "--journal") {
      options.journal = value;
    } else if (option == "--control") {
      options.control = value;
    } else if (option == "--block-command") {
      options.terminal.blockCommand = value.rfind("AT", 0) == 0 ? value.substr(2) : value;
    } else if (option == "--latency") {
      const auto ms = ParseNumber(value, 0, 60000);
      if (!ms) {
        error = "--latency takes milliseconds from 0 to 60000";
        return std::nullopt;
      }
      options.latencyMs = *ms;
    } else {
      error = std::string(option) + ": unknown option";
      return std::nullopt;
    }
  }
  return options;
}

}  // namespace kavonet::sim
