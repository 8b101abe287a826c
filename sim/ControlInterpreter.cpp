#include "sim/ControlInterpreter.h"

#include <array>
#include <cctype>
#include <optional>

namespace kavonet::sim {
namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Splits off the first word; `rest` keeps its inner spacing (message texts).
std::string_view FirstWord(std::string_view text, std::string_view& rest) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  std::size_t end = 0;
  while (end < text.size() && !IsSpace(text[end])) ++end;
  rest = end < text.size() ? text.substr(end + 1) : std::string_view{};
  return text.substr(0, end);
}

std::optional<long> ParseInteger(std::string_view text, long low, long high) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.size() > 9) return std::nullopt;
  long value = 0;
  for (char c : text) {
    int digit = -1;
    if (std::isdigit(static_cast<unsigned char>(c))) digit = c - '0';
    if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)) && digit < 0) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    }
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
  }
  if (value < low || value > high) return std::nullopt;
  return value;
}

std::string Stored(const Decoded<int>& result) {
  return result ? "OK " + std::to_string(*result.value) : "ERROR " + result.error;
}

// The index of every part, in order.
std::string Stored(const Decoded<std::vector<int>>& result) {
  if (!result) return "ERROR " + result.error;
  std::string answer = "OK";
  for (int index : *result.value) answer += " " + std::to_string(index);
  return answer;
}

}  // namespace

std::string ControlInterpreter::Execute(std::string_view line) {
  std::string_view arguments;
  const std::string_view command = FirstWord(line, arguments);
  if (command.empty()) return {};
  if (command == "deliver") return Deliver(arguments, true);
  if (command == "store") return Deliver(arguments, false);
  if (command == "deliver-pdu") return DeliverPdu(arguments);
  if (command == "fill") return Fill(arguments);
  if (command == "refuse-next-send") return RefuseNextSend(arguments);
  if (command == "silent") return Silent(arguments);
  if (command == "leave-block-mode") return LeaveBlockMode(arguments);
  if (command == "send-bytes") return SendBytes(arguments);
  if (command == "csq") return Signal(arguments);
  if (command == "latency") return Latency(arguments);
  if (command == "count") return "OK " + std::to_string(terminal_.Messages().Count());
  if (command == "list") return List();
  if (command == "mode") return terminal_.Mode() == InterfaceMode::kBlock ? "OK block" : "OK pdu";
  if (command == "quit") {
    if (hooks_.quit) hooks_.quit();
    return "OK bye";
  }
  return "ERROR unknown command " + std::string(command);
}

// The text is everything after the origin and one separating space, trailing line
// end removed; inner and trailing spaces belong to it.
std::string ControlInterpreter::Deliver(std::string_view arguments, bool announce) {
  std::string_view text;
  const std::string_view origin = FirstWord(arguments, text);
  if (origin.empty()) return "ERROR usage: deliver|store <origin> <text...>";
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.remove_suffix(1);
  return Stored(announce ? terminal_.Deliver(origin, text) : terminal_.Store(origin, text));
}

std::string ControlInterpreter::DeliverPdu(std::string_view arguments) {
  const auto tpdu = FromHex(Trim(arguments));
  if (!tpdu || tpdu->empty()) return "ERROR usage: deliver-pdu <hex>";
  return Stored(terminal_.DeliverPdu(*tpdu));
}

std::string ControlInterpreter::Fill(std::string_view arguments) {
  const auto count = ParseInteger(Trim(arguments), 1, MessageStore::kMaxCapacity);
  if (!count) return "ERROR usage: fill <n>, n from 1 to 255";
  for (long i = 1; i <= *count; ++i) {
    const auto stored = terminal_.Store(kFillOrigin, "Message " + std::to_string(i));
    if (!stored) return "ERROR " + stored.error + " after " + std::to_string(i - 1) + " messages";
  }
  return "OK " + std::to_string(*count);
}

std::string ControlInterpreter::RefuseNextSend(std::string_view arguments) {
  const auto cause = ParseInteger(Trim(arguments), 0, 999);
  if (!cause) return "ERROR usage: refuse-next-send <cause>, 0 to 999";
  terminal_.RefuseNextSend(static_cast<int>(*cause));
  return "OK";
}

std::string ControlInterpreter::Silent(std::string_view arguments) {
  const std::string_view value = Trim(arguments);
  if (value != "on" && value != "off") return "ERROR usage: silent on|off";
  terminal_.SetSilent(value == "on");
  return "OK";
}

std::string ControlInterpreter::LeaveBlockMode(std::string_view arguments) {
  const std::string_view text = Trim(arguments);
  std::optional<long> cause = kDefaultEndCause;
  if (!text.empty()) cause = ParseInteger(text, 0, 255);
  if (!cause) return "ERROR usage: leave-block-mode [cause], 0 to 255";
  if (!terminal_.LeaveBlockMode(static_cast<std::uint8_t>(*cause))) {
    return "ERROR not in block mode";
  }
  return "OK";
}

std::string ControlInterpreter::SendBytes(std::string_view arguments) {
  const auto bytes = FromHex(Trim(arguments));
  if (!bytes || bytes->empty()) return "ERROR usage: send-bytes <hex>";
  terminal_.SendRaw(*bytes);
  return "OK " + std::to_string(bytes->size());
}

std::string ControlInterpreter::Signal(std::string_view arguments) {
  std::string_view rest;
  const auto rssi = ParseInteger(FirstWord(arguments, rest), 0, 99);
  const auto ber = ParseInteger(Trim(rest), 0, 99);
  if (!rssi || !ber) return "ERROR usage: csq <rssi> <ber>";
  terminal_.SetSignal(static_cast<int>(*rssi), static_cast<int>(*ber));
  return "OK";
}

std::string ControlInterpreter::Latency(std::string_view arguments) {
  const auto milliseconds = ParseInteger(Trim(arguments), 0, 60000);
  if (!milliseconds) return "ERROR usage: latency <ms>, 0 to 60000";
  if (hooks_.setLatency) hooks_.setLatency(static_cast<int>(*milliseconds));
  return "OK";
}

std::string ControlInterpreter::List() {
  std::string answer = "OK";
  for (int index : terminal_.Messages().Indices()) answer += " " + std::to_string(index);
  return answer;
}

}  // namespace kavonet::sim
