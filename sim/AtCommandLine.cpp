#include "sim/AtCommandLine.h"

#include <cctype>

namespace kavonet::sim {
namespace {

bool IsExtendedPrefix(char c) {
  return c == '+' || c == '*' || c == '$' || c == '^' || c == '%' || c == '#' || c == '!';
}

bool IsDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }
bool IsAlpha(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Upper case outside quotes, spaces outside quotes removed.
std::optional<std::string> Normalise(std::string_view line) {
  std::string out;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    if (!quoted && c == ' ') continue;
    out.push_back(quoted ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  if (quoted) return std::nullopt;
  return out;
}

std::string Digits(std::string_view line, std::size_t& pos) {
  const std::size_t start = pos;
  while (pos < line.size() && IsDigit(line[pos])) ++pos;
  return std::string(line.substr(start, pos - start));
}

// Runs to the next ';' outside quotes.
std::size_t ArgumentEnd(std::string_view line, std::size_t pos) {
  bool quoted = false;
  for (; pos < line.size(); ++pos) {
    if (line[pos] == '"') quoted = !quoted;
    if (!quoted && line[pos] == ';') break;
  }
  return pos;
}

AtCommand ParseExtended(std::string_view line, std::size_t& pos) {
  AtCommand command;
  const std::size_t start = pos;
  ++pos;  // the prefix character
  while (pos < line.size() && (IsAlpha(line[pos]) || IsDigit(line[pos]))) ++pos;
  command.name = std::string(line.substr(start, pos - start));
  if (line.substr(pos, 2) == "=?") {
    command.form = AtCommand::Form::kTest;
    pos += 2;
  } else if (pos < line.size() && line[pos] == '?') {
    command.form = AtCommand::Form::kRead;
    ++pos;
  } else if (pos < line.size() && line[pos] == '=') {
    command.form = AtCommand::Form::kSet;
    const std::size_t end = ArgumentEnd(line, pos + 1);
    command.argument = std::string(line.substr(pos + 1, end - pos - 1));
    pos = end;
  }
  command.text = std::string(line.substr(start, pos - start));
  return command;
}

std::optional<AtCommand> ParseBasic(std::string_view line, std::size_t& pos) {
  AtCommand command;
  const std::size_t start = pos;
  if (line[pos] == '&') {
    ++pos;
    if (pos == line.size() || !IsAlpha(line[pos])) return std::nullopt;
  } else if (!IsAlpha(line[pos])) {
    return std::nullopt;
  }
  const char letter = line[pos++];
  if (letter == 'D' && start + 1 == pos) {  // dialling takes the rest of the line
    command.name = "D";
    command.argument = std::string(line.substr(pos));
    pos = line.size();
  } else if (letter == 'S' && start + 1 == pos) {
    const std::string reg = Digits(line, pos);
    if (reg.empty()) return std::nullopt;
    command.name = "S" + reg;
    if (pos < line.size() && line[pos] == '?') {
      command.form = AtCommand::Form::kRead;
      ++pos;
    } else if (pos < line.size() && line[pos] == '=') {
      ++pos;
      command.form = AtCommand::Form::kSet;
      command.argument = Digits(line, pos);
    }
  } else {
    command.name = std::string(line.substr(start, pos - start));
    command.argument = Digits(line, pos);
  }
  command.text = std::string(line.substr(start, pos - start));
  return command;
}

}  // namespace

std::optional<std::vector<AtCommand>> ParseCommandLine(std::string_view afterAt) {
  const auto normalised = Normalise(afterAt);
  if (!normalised) return std::nullopt;
  const std::string_view line = *normalised;
  std::vector<AtCommand> commands;
  std::size_t pos = 0;
  while (pos < line.size()) {
    if (line[pos] == ';') {
      ++pos;
      continue;
    }
    if (IsExtendedPrefix(line[pos])) {
      commands.push_back(ParseExtended(line, pos));
      if (pos < line.size() && line[pos] != ';') return std::nullopt;
      continue;
    }
    auto basic = ParseBasic(line, pos);
    if (!basic) return std::nullopt;
    commands.push_back(std::move(*basic));
  }
  return commands;
}

std::vector<std::string> SplitArguments(std::string_view argument) {
  std::vector<std::string> parts(1);
  bool quoted = false;
  for (char c : argument) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      parts.emplace_back();
    } else {
      parts.back().push_back(c);
    }
  }
  return parts;
}

std::optional<int> ParseNumber(std::string_view text, int low, int high) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

}  // namespace kavonet::sim
