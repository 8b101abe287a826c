#pragma once
// Splits the part of a command line after "AT" into single commands: basic ones
// ("E0", "&S0", "S7=50", "Z") and extended ones ("+CMGS=23", "+CSCA?", "+CSCS=?",
// "*T"), separated by ';' or simply following each other as basic commands may.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kavonet::sim {

struct AtCommand {
  enum class Form { kAction, kSet, kRead, kTest };

  std::string name;  // upper case: "E", "&S", "S7", "+CMGS", "*T"
  Form form = Form::kAction;
  std::string argument;  // basic: the digits; set: the text after '=', quoted parts as sent
  std::string text;      // the whole command, upper case outside quotes
};

// Spaces outside quotes are dropped and everything outside quotes is taken in upper
// case. Nothing when the line is malformed (an unterminated quote, a stray character).
std::optional<std::vector<AtCommand>> ParseCommandLine(std::string_view afterAt);

// The comma-separated parameters of a set command, quotes removed: "\"SM\",\"SM\"" gives
// SM and SM; "0,1,,0" gives 0, 1, an empty one and 0.
std::vector<std::string> SplitArguments(std::string_view argument);

// A decimal parameter within [low, high]; nothing otherwise.
std::optional<int> ParseNumber(std::string_view text, int low, int high);

// What one command gives back: a final result, or the start of something that ends
// the command line (the "> " prompt, Block Mode).
struct AtOutcome {
  enum class Kind { kOk, kError, kCmsError, kPrompt, kEnterBlockMode };
  Kind kind = Kind::kOk;
  int code = 0;  // kCmsError: the error number; kPrompt: the TPDU length

  static AtOutcome Ok() { return {Kind::kOk, 0}; }
  static AtOutcome Error() { return {Kind::kError, 0}; }
  static AtOutcome CmsError(int code) { return {Kind::kCmsError, code}; }
};

}  // namespace kavonet::sim
