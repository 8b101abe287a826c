#include "sim/SmsCommands.h"

#include <array>

#include "sim/SmsPdu.h"

namespace kavonet::sim {
namespace {

// +CMS ERROR numbers.
constexpr int kOperationNotAllowed = 302;
constexpr int kInvalidPduParameter = 304;
constexpr int kInvalidMemoryIndex = 321;

constexpr int kMaxTpduLength = 164;
constexpr int kListAll = 4;

bool IsKnownStorage(const std::string& name) { return name == "SM" || name == "ME" || name == "MT"; }

}  // namespace

std::optional<AtOutcome> SmsCommands::Handle(const AtCommand& command,
                                             std::vector<std::string>& lines) {
  using Handler = AtOutcome (SmsCommands::*)(const AtCommand&, std::vector<std::string>&);
  static constexpr std::array<std::pair<std::string_view, Handler>, 9> kHandlers = {{
      {"+CMGF", &SmsCommands::MessageFormat},
      {"+CSMS", &SmsCommands::SelectService},
      {"+CPMS", &SmsCommands::PreferredStorage},
      {"+CSCA", &SmsCommands::ServiceCentre},
      {"+CNMI", &SmsCommands::NewMessageIndications},
      {"+CMGS", &SmsCommands::SendMessage},
      {"+CMGL", &SmsCommands::ListMessages},
      {"+CMGR", &SmsCommands::ReadMessage},
      {"+CMGD", &SmsCommands::DeleteMessage},
  }};
  for (const auto& [name, handler] : kHandlers) {
    if (command.name == name) return (this->*handler)(command, lines);
  }
  return std::nullopt;
}

AtOutcome SmsCommands::MessageFormat(const AtCommand& command, std::vector<std::string>& lines) {
  switch (command.form) {
    case AtCommand::Form::kRead: lines.push_back("+CMGF: 0"); return AtOutcome::Ok();
    case AtCommand::Form::kTest: lines.push_back("+CMGF: (0)"); return AtOutcome::Ok();
    case AtCommand::Form::kSet:
      return command.argument == "0" ? AtOutcome::Ok() : AtOutcome::Error();
    case AtCommand::Form::kAction: break;
  }
  return AtOutcome::Error();
}

AtOutcome SmsCommands::SelectService(const AtCommand& command, std::vector<std::string>& lines) {
  switch (command.form) {
    case AtCommand::Form::kRead: lines.push_back("+CSMS: 0,1,1,1"); return AtOutcome::Ok();
    case AtCommand::Form::kTest: lines.push_back("+CSMS: (0)"); return AtOutcome::Ok();
    case AtCommand::Form::kSet:
      if (command.argument != "0") return AtOutcome::CmsError(kOperationNotAllowed);
      lines.push_back("+CSMS: 1,1,1");
      return AtOutcome::Ok();
    case AtCommand::Form::kAction: break;
  }
  return AtOutcome::Error();
}

std::string SmsCommands::StorageCounts() const {
  auto& store = core_.Store();
  const std::string pair = std::to_string(store.Count()) + "," + std::to_string(store.Capacity());
  return pair + "," + pair + "," + pair;
}

// Every storage name is the same single memory.
AtOutcome SmsCommands::PreferredStorage(const AtCommand& command,
                                        std::vector<std::string>& lines) {
  switch (command.form) {
    case AtCommand::Form::kRead: {
      const auto& store = core_.Store();
      const std::string pair =
          ",\"SM\"," + std::to_string(store.Count()) + "," + std::to_string(store.Capacity());
      lines.push_back("+CPMS: " + pair.substr(1) + pair + pair);
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kTest:
      lines.push_back("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")");
      return AtOutcome::Ok();
    case AtCommand::Form::kSet: {
      const auto names = SplitArguments(command.argument);
      if (names.size() > 3) return AtOutcome::Error();
      for (const auto& name : names) {
        if (!IsKnownStorage(name)) return AtOutcome::CmsError(kOperationNotAllowed);
      }
      lines.push_back("+CPMS: " + StorageCounts());
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kAction: break;
  }
  return AtOutcome::Error();
}

AtOutcome SmsCommands::ServiceCentre(const AtCommand& command, std::vector<std::string>& lines) {
  std::string& address = core_.Settings().serviceCentre;
  switch (command.form) {
    case AtCommand::Form::kRead: {
      const bool international = !address.empty() && address.front() == '+';
      lines.push_back("+CSCA: \"" + address + "\"," + (international ? "145" : "129"));
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kTest: return AtOutcome::Ok();
    case AtCommand::Form::kSet: {
      const auto parts = SplitArguments(command.argument);
      if (parts.size() > 2 || parts[0].size() > 21) return AtOutcome::Error();
      address = parts[0];
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kAction: break;
  }
  return AtOutcome::Error();
}

AtOutcome SmsCommands::NewMessageIndications(const AtCommand& command,
                                             std::vector<std::string>& lines) {
  switch (command.form) {
    case AtCommand::Form::kRead: {
      const Indications& i = indications_;
      lines.push_back("+CNMI: " + std::to_string(i.mode) + "," + std::to_string(i.mt) + "," +
                      std::to_string(i.bm) + "," + std::to_string(i.ds) + "," +
                      std::to_string(i.bfr));
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kTest:
      lines.push_back("+CNMI: (0-3),(0-3),(0-3),(0-2),(0,1)");
      return AtOutcome::Ok();
    case AtCommand::Form::kSet: {
      const auto parts = SplitArguments(command.argument);
      static constexpr std::array<int, 5> kHighest = {3, 3, 3, 2, 1};
      if (parts.size() > kHighest.size()) return AtOutcome::Error();
      Indications next = indications_;
      const std::array<int*, 5> fields = {&next.mode, &next.mt, &next.bm, &next.ds, &next.bfr};
      for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].empty()) continue;  // an omitted parameter keeps its value
        const auto value = ParseNumber(parts[i], 0, kHighest[i]);
        if (!value) return AtOutcome::Error();
        *fields[i] = *value;
      }
      indications_ = next;
      return AtOutcome::Ok();
    }
    case AtCommand::Form::kAction: break;
  }
  return AtOutcome::Error();
}

AtOutcome SmsCommands::SendMessage(const AtCommand& command, std::vector<std::string>&) {
  if (command.form == AtCommand::Form::kTest) return AtOutcome::Ok();
  if (command.form != AtCommand::Form::kSet) return AtOutcome::Error();
  const auto parts = SplitArguments(command.argument);
  const auto length = ParseNumber(parts[0], 1, kMaxTpduLength);
  if (parts.size() != 1 || !length) return AtOutcome::Error();
  return {AtOutcome::Kind::kPrompt, *length};
}

// The hexadecimal text is an optional service centre address field and the TPDU; the
// prompt's length counts only the TPDU, so what precedes it must be exactly one
// complete address field.
AtOutcome SmsCommands::FinishSend(std::string_view hexText, int tpduLength,
                                  std::vector<std::string>& lines) {
  const auto octets = FromHex(hexText);
  if (!octets || octets->size() < static_cast<std::size_t>(tpduLength)) {
    return AtOutcome::CmsError(kInvalidPduParameter);
  }
  const std::size_t scaLength = octets->size() - static_cast<std::size_t>(tpduLength);
  if (scaLength > 0 && (*octets)[0] != scaLength - 1) {
    return AtOutcome::CmsError(kInvalidPduParameter);
  }
  const Bytes tpdu(octets->begin() + static_cast<std::ptrdiff_t>(scaLength), octets->end());
  const SendOutcome outcome = core_.Send(tpdu);
  switch (outcome.kind) {
    case SendOutcome::Kind::kAccepted:
      lines.push_back("+CMGS: " + std::to_string(outcome.reference));
      return AtOutcome::Ok();
    case SendOutcome::Kind::kRefused: return AtOutcome::CmsError(outcome.cause);
    case SendOutcome::Kind::kUndecodable: break;
  }
  return AtOutcome::CmsError(kInvalidPduParameter);
}

void SmsCommands::AppendMessage(const std::string& header, StoredMessage& message,
                                std::vector<std::string>& lines) {
  lines.push_back(header + std::to_string(message.tpdu.size()));
  Bytes pdu = message.scaField;
  pdu.insert(pdu.end(), message.tpdu.begin(), message.tpdu.end());
  lines.push_back(ToHex(pdu));
  message.status = MessageStatus::kRead;
}

AtOutcome SmsCommands::ListMessages(const AtCommand& command, std::vector<std::string>& lines) {
  if (command.form == AtCommand::Form::kTest) {
    lines.push_back("+CMGL: (0-4)");
    return AtOutcome::Ok();
  }
  int wanted = 0;  // without a parameter: the unread messages
  if (command.form == AtCommand::Form::kSet) {
    const auto stat = ParseNumber(command.argument, 0, kListAll);
    if (!stat) return AtOutcome::Error();
    wanted = *stat;
  } else if (command.form != AtCommand::Form::kAction) {
    return AtOutcome::Error();
  }
  const char* alpha = core_.Options().shortHeaders ? "," : ",,";
  auto& store = core_.Store();
  for (int index : store.Indices()) {
    StoredMessage& message = *store.Find(index);
    const int stat = static_cast<int>(message.status);
    if (wanted != kListAll && wanted != stat) continue;
    AppendMessage("+CMGL: " + std::to_string(index) + "," + std::to_string(stat) + alpha, message,
                  lines);
  }
  return AtOutcome::Ok();
}

AtOutcome SmsCommands::ReadMessage(const AtCommand& command, std::vector<std::string>& lines) {
  if (command.form == AtCommand::Form::kTest) return AtOutcome::Ok();
  if (command.form != AtCommand::Form::kSet) return AtOutcome::Error();
  const auto index = ParseNumber(command.argument, 0, 99999);
  if (!index) return AtOutcome::Error();
  StoredMessage* message = core_.Store().Find(*index);
  if (!message) return AtOutcome::CmsError(kInvalidMemoryIndex);
  const char* alpha = core_.Options().shortHeaders ? "," : ",,";
  AppendMessage("+CMGR: " + std::to_string(static_cast<int>(message->status)) + alpha, *message,
                lines);
  return AtOutcome::Ok();
}

AtOutcome SmsCommands::DeleteMessage(const AtCommand& command, std::vector<std::string>&) {
  if (command.form == AtCommand::Form::kTest) return AtOutcome::Ok();
  if (command.form != AtCommand::Form::kSet) return AtOutcome::Error();
  const auto parts = SplitArguments(command.argument);
  const auto index = ParseNumber(parts[0], 0, 99999);
  if (parts.size() > 2 || !index) return AtOutcome::Error();
  const int flag = parts.size() == 2 ? ParseNumber(parts[1], 0, 4).value_or(-1) : 0;
  if (flag < 0) return AtOutcome::Error();
  auto& store = core_.Store();
  if (flag != 0) {  // bulk delete, the index is ignored: 4 every message, 1 to 3 the read ones
    for (int stored : store.Indices()) {
      if (flag == kListAll || store.Find(stored)->status == MessageStatus::kRead) {
        store.Remove(stored);
      }
    }
    return AtOutcome::Ok();
  }
  return store.Remove(*index) ? AtOutcome::Ok() : AtOutcome::CmsError(kInvalidMemoryIndex);
}

}  // namespace kavonet::sim
