#include "sim/AtInterpreter.h"

#include <array>
#include <cctype>
#include <utility>

namespace kavonet::sim {
namespace {

constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kBackspace = 0x08;
constexpr std::uint8_t kDelete = 0x7F;
constexpr std::uint8_t kCtrlZ = 0x1A;
constexpr std::uint8_t kEscape = 0x1B;

constexpr std::string_view kModelText = "Kavonet KVS-1";

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// Where the command line starts: the first "AT" in either case. Terminals skip
// whatever comes before it.
std::optional<std::size_t> FindPrefix(const std::string& line) {
  for (std::size_t i = 0; i + 1 < line.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(line[i])) == 'A' &&
        std::toupper(static_cast<unsigned char>(line[i + 1])) == 'T') {
      return i + 2;
    }
  }
  return std::nullopt;
}

bool IsOnOff(const std::string& argument) { return argument.empty() || argument == "0" || argument == "1"; }

}  // namespace

AtInterpreter::AtInterpreter(TerminalCore& core) : core_(core), sms_(core) { RestoreProfile(); }

void AtInterpreter::RestoreProfile() {
  echo_ = true;
  verbose_ = !core_.Options().numericResults;
  errorReporting_ = 0;
  sms_.ResetIndications();
}

void AtInterpreter::Resume() {
  state_ = State::kCommandLine;
  line_.clear();
  overflow_ = false;
}

void AtInterpreter::Push(std::uint8_t byte) {
  if (state_ == State::kPduText) {
    PushPduByte(byte);
  } else {
    PushCommandByte(byte);
  }
}

void AtInterpreter::PushCommandByte(std::uint8_t byte) {
  if (echo_) core_.Write(std::string(1, static_cast<char>(byte)));
  switch (byte) {
    case kCr: ExecuteLine(); return;
    case kLf:
    case kCtrlZ: return;
    case kEscape:
      line_.clear();
      overflow_ = false;
      return;
    case kBackspace:
    case kDelete:
      if (!line_.empty()) line_.pop_back();
      return;
    default:
      if (line_.size() < kMaxLine) {
        line_.push_back(static_cast<char>(byte));
      } else {
        overflow_ = true;
      }
  }
}

void AtInterpreter::PushPduByte(std::uint8_t byte) {
  switch (byte) {
    case kCtrlZ: FinishPduText(); return;
    case kEscape:  // the send is abandoned
      EndPduText();
      WriteFinal(AtOutcome::Ok());
      return;
    case kCr:
    case kLf: return;
    default:
      if (echo_) core_.Write(std::string(1, static_cast<char>(byte)));
      if (line_.size() < kMaxLine) {
        line_.push_back(static_cast<char>(byte));
      } else {
        overflow_ = true;
      }
  }
}

void AtInterpreter::FinishPduText() {
  std::vector<std::string> lines;
  const AtOutcome outcome = overflow_ ? AtOutcome::CmsError(304)
                                      : sms_.FinishSend(line_, tpduLength_, lines);
  WriteLines(lines);
  EndPduText();
  WriteFinal(outcome);
}

void AtInterpreter::EndPduText() {
  state_ = State::kCommandLine;
  line_.clear();
  overflow_ = false;
}

void AtInterpreter::ExecuteLine() {
  const std::string line = std::exchange(line_, {});
  const bool overflow = std::exchange(overflow_, false);
  const auto start = FindPrefix(line);
  if (!start) return;  // no command line: an empty line or noise
  const auto commands = ParseCommandLine(std::string_view(line).substr(*start));
  if (overflow || !commands) {
    WriteFinal(AtOutcome::Error());
    return;
  }
  for (const AtCommand& command : *commands) {
    std::vector<std::string> lines;
    const AtOutcome outcome = Execute(command, lines);
    WriteLines(lines);
    switch (outcome.kind) {
      case AtOutcome::Kind::kOk: continue;
      case AtOutcome::Kind::kPrompt:
        tpduLength_ = outcome.code;
        state_ = State::kPduText;
        core_.Write("\r\n> ");
        return;
      case AtOutcome::Kind::kEnterBlockMode:
        WriteFinal(AtOutcome::Ok());
        core_.SetMode(InterfaceMode::kBlock);
        return;
      case AtOutcome::Kind::kError:
      case AtOutcome::Kind::kCmsError:
        WriteFinal(outcome);
        return;
    }
  }
  WriteFinal(AtOutcome::Ok());
}

AtOutcome AtInterpreter::Execute(const AtCommand& command, std::vector<std::string>& lines) {
  const std::string blockCommand = Upper(core_.Options().blockCommand);
  if (command.text == blockCommand || command.text == "+CESP") {
    return {AtOutcome::Kind::kEnterBlockMode, 0};
  }
  if (auto outcome = Basic(command, lines)) return *outcome;
  if (auto outcome = Identification(command, lines)) return *outcome;
  if (auto outcome = General(command, lines)) return *outcome;
  if (auto outcome = sms_.Handle(command, lines)) return *outcome;
  return AtOutcome::Error();
}

std::optional<AtOutcome> AtInterpreter::Basic(const AtCommand& command,
                                              std::vector<std::string>& lines) {
  const std::string& name = command.name;
  const std::string& argument = command.argument;
  if (name == "E" || name == "V") {
    if (!IsOnOff(argument)) return AtOutcome::Error();
    (name == "E" ? echo_ : verbose_) = argument == "1";
    return AtOutcome::Ok();
  }
  if (name == "Z" || name == "&F") {
    if (!argument.empty() && argument != "0") return AtOutcome::Error();
    RestoreProfile();
    return AtOutcome::Ok();
  }
  if (name == "I") {
    lines.emplace_back(kModelText);
    return AtOutcome::Ok();
  }
  if (name == "Q") return argument.empty() || argument == "0" ? AtOutcome::Ok() : AtOutcome::Error();
  static constexpr std::array<std::string_view, 8> kAccepted = {"&S", "&C", "&D", "&K",
                                                                "&W", "X",  "L",  "M"};
  for (std::string_view accepted : kAccepted) {
    if (name == accepted) return AtOutcome::Ok();
  }
  if (name.size() > 1 && name[0] == 'S' && std::isdigit(static_cast<unsigned char>(name[1]))) {
    if (command.form == AtCommand::Form::kRead) {
      // The line end characters, the only registers anyone asks for.
      const int value = name == "S3" ? 13 : name == "S4" ? 10 : 0;
      const std::string digits = std::to_string(value);
      lines.push_back(std::string(3 - digits.size(), '0') + digits);
    }
    return AtOutcome::Ok();
  }
  return std::nullopt;
}

std::optional<AtOutcome> AtInterpreter::Identification(const AtCommand& command,
                                                       std::vector<std::string>& lines) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 9> kAnswers = {{
      {"+CGMI", "Kavonet"},
      {"+GMI", "Kavonet"},
      {"+CGMM", "KVS-1"},
      {"+GMM", "KVS-1"},
      {"+CGMR", "1.0"},
      {"+GMR", "1.0"},
      {"+CGSN", "356938035643809"},
      {"+GSN", "356938035643809"},
      {"+CIMI", "001010123456789"},
  }};
  for (const auto& [name, answer] : kAnswers) {
    if (command.name != name) continue;
    if (command.form == AtCommand::Form::kTest) return AtOutcome::Ok();
    if (command.form != AtCommand::Form::kAction) return AtOutcome::Error();
    lines.emplace_back(answer);
    return AtOutcome::Ok();
  }
  return std::nullopt;
}

std::optional<AtOutcome> AtInterpreter::General(const AtCommand& command,
                                                std::vector<std::string>& lines) {
  using Form = AtCommand::Form;
  const std::string& name = command.name;
  const Form form = command.form;
  if (name == "+CPIN") {
    if (form == Form::kRead) lines.emplace_back("+CPIN: READY");
    return form == Form::kAction ? AtOutcome::Error() : AtOutcome::Ok();
  }
  if (name == "+CSQ") {
    const auto& settings = core_.Settings();
    if (form == Form::kAction) {
      lines.push_back("+CSQ: " + std::to_string(settings.rssi) + "," +
                      std::to_string(settings.ber));
    } else if (form == Form::kTest) {
      lines.emplace_back("+CSQ: (0-31,99),(0-7,99)");
    } else {
      return AtOutcome::Error();
    }
    return AtOutcome::Ok();
  }
  if (name == "+CMEE") {
    if (form == Form::kRead) lines.push_back("+CMEE: " + std::to_string(errorReporting_));
    if (form == Form::kTest) lines.emplace_back("+CMEE: (0-2)");
    if (form == Form::kSet) {
      const auto value = ParseNumber(command.argument, 0, 2);
      if (!value) return AtOutcome::Error();
      errorReporting_ = *value;
    }
    return form == Form::kAction ? AtOutcome::Error() : AtOutcome::Ok();
  }
  if (name == "+CSCS") {
    // Text fields are the same in both offered sets, so the choice changes nothing.
    if (form == Form::kRead) lines.emplace_back("+CSCS: \"GSM\"");
    if (form == Form::kTest) lines.emplace_back("+CSCS: (\"GSM\",\"IRA\")");
    if (form == Form::kSet) {
      const auto set = SplitArguments(command.argument);
      if (set.size() != 1 || (set[0] != "GSM" && set[0] != "IRA")) return AtOutcome::Error();
    }
    return form == Form::kAction ? AtOutcome::Error() : AtOutcome::Ok();
  }
  if (name == "+CFUN") {
    if (form == Form::kRead) lines.emplace_back("+CFUN: 1");
    if (form == Form::kTest) lines.emplace_back("+CFUN: (0,1,4),(0,1)");
    if (form == Form::kSet) {
      const auto parts = SplitArguments(command.argument);
      const auto level = ParseNumber(parts[0], 0, 4);
      if (parts.size() > 2 || !level || *level == 2 || *level == 3) return AtOutcome::Error();
    }
    return form == Form::kAction ? AtOutcome::Error() : AtOutcome::Ok();
  }
  return std::nullopt;
}

void AtInterpreter::IndicateNewMessage(int index) {
  if (!sms_.IndicatesNewMessages()) return;
  const std::string line = "+CMTI: \"SM\"," + std::to_string(index);
  if (state_ == State::kPduText) {
    deferred_.push_back(line);
  } else {
    WriteUnsolicited(line);
  }
}

void AtInterpreter::WriteLines(const std::vector<std::string>& lines) {
  if (lines.empty()) return;
  std::string out = verbose_ ? "\r\n" : "";
  for (const std::string& line : lines) out += line + "\r\n";
  core_.Write(out);
}

void AtInterpreter::WriteFinal(const AtOutcome& outcome) {
  std::string code;
  switch (outcome.kind) {
    case AtOutcome::Kind::kOk: code = verbose_ ? "OK" : "0"; break;
    case AtOutcome::Kind::kCmsError: code = "+CMS ERROR: " + std::to_string(outcome.code); break;
    default: code = verbose_ ? "ERROR" : "4"; break;
  }
  core_.Write(verbose_ ? "\r\n" + code + "\r\n" : code + "\r");
  for (const std::string& line : std::exchange(deferred_, {})) WriteUnsolicited(line);
}

void AtInterpreter::WriteUnsolicited(const std::string& line) {
  core_.Write(verbose_ ? "\r\n" + line + "\r\n" : line + "\r\n");
}

}  // namespace kavonet::sim
