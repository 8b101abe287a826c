#include "clients/ctl/CtlOptions.h"

#include <charconv>

namespace kavonet::ctl {
namespace {

bool ParseMode(std::string_view word, std::string& method) {
  if (word == "none") method = "No_Transfer_Mode";
  else if (word == "te") method = "Transfer_TE_Mode";
  else if (word == "all") method = "Transfer_All_Mode";
  else return false;
  return true;
}

std::optional<Command> CommandNamed(std::string_view word) {
  if (word == "send") return Command::Send;
  if (word == "status") return Command::Status;
  if (word == "mode") return Command::Mode;
  if (word == "get-all") return Command::GetAll;
  if (word == "retrieve") return Command::Retrieve;
  if (word == "connect") return Command::Connect;
  if (word == "disconnect") return Command::Disconnect;
  if (word == "queue") return Command::Queue;
  if (word == "ports") return Command::Ports;
  if (word == "help" || word == "--help" || word == "-h") return Command::Help;
  return std::nullopt;
}

// The operands after the command word; false with `error` when they do not fit it.
bool ParseOperands(CtlOptions& options, const std::vector<std::string_view>& operands,
                   std::string& error) {
  switch (options.command) {
    case Command::Send:
      if (operands.empty()) {
        error = "send needs DESTINATIONS and TEXT";
        return false;
      }
      options.destinations = operands[0];
      for (std::size_t i = 1; i < operands.size(); ++i) {
        if (i > 1) options.text += ' ';
        options.text += operands[i];
      }
      return true;
    case Command::Mode:
      if (operands.size() != 1 || !ParseMode(operands[0], options.mode)) {
        error = "mode takes one of: none, te, all";
        return false;
      }
      return true;
    case Command::Retrieve:
      for (std::size_t i = 0; i < operands.size(); ++i) {
        if (operands[i] == "--follow") {
          options.follow = true;
        } else if (operands[i] == "--app" && i + 1 < operands.size()) {
          options.appName = operands[++i];
        } else if (operands[i].rfind("--app=", 0) == 0) {
          options.appName = operands[i].substr(6);
        } else {
          error = "retrieve takes --app NAME [--follow]";
          return false;
        }
      }
      if (options.appName.empty()) {
        error = "retrieve needs --app NAME";
        return false;
      }
      return true;
    case Command::Queue:
      if (operands.size() > 1) {
        error = "queue takes at most one DIRECTORY";
        return false;
      }
      if (!operands.empty()) options.directory = operands[0];
      return true;
    case Command::Ports:
      if (operands.size() == 2 && operands[0] == "--ini") {
        options.ini = operands[1];
        return true;
      }
      if (!operands.empty()) {
        error = "ports takes [--ini FILE]";
        return false;
      }
      return true;
    default:
      if (!operands.empty()) {
        error = "unexpected argument: " + std::string(operands[0]);
        return false;
      }
      return true;
  }
}

}  // namespace

std::optional<CtlOptions> ParseCtlOptions(const std::vector<std::string_view>& arguments,
                                          std::string& error) {
  CtlOptions options;
  std::size_t i = 0;
  for (; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (argument == "--bus") {
      options.transport = Transport::Bus;
    } else if (argument == "--socket") {
      options.transport = Transport::Socket;
    } else if (argument == "--service" && i + 1 < arguments.size()) {
      options.service = arguments[++i];
    } else if (argument == "--timeout" && i + 1 < arguments.size()) {
      const std::string_view value = arguments[++i];
      int seconds = 0;
      const auto [end, failure] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (failure != std::errc() || end != value.data() + value.size() || seconds <= 0 ||
          seconds > 3600) {
        error = "--timeout takes a number of seconds from 1 to 3600";
        return std::nullopt;
      }
      options.timeoutMs = seconds * 1000;
    } else {
      break;
    }
  }
  if (i == arguments.size()) {
    error = "no command given";
    return std::nullopt;
  }
  const std::optional<Command> command = CommandNamed(arguments[i]);
  if (!command) {
    error = "unknown command: " + std::string(arguments[i]);
    return std::nullopt;
  }
  options.command = *command;
  const std::vector<std::string_view> operands(arguments.begin() + static_cast<long>(i) + 1,
                                               arguments.end());
  if (!ParseOperands(options, operands, error)) return std::nullopt;
  return options;
}

}  // namespace kavonet::ctl
