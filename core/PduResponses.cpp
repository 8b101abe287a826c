// PDU Mode: the lines the terminal sends during a session.

#include <algorithm>
#include <charconv>
#include <optional>

#include "core/TSMS_Main.h"
#include "sms/PduCodec.h"

namespace kavonet {

namespace {

bool StartsWith(std::string_view line, std::string_view prefix) {
  return line.substr(0, prefix.size()) == prefix;
}

// The line without its CR LF (or whatever line end it has).
std::string_view Body(std::string_view line) {
  const std::size_t end = line.find_first_of("\r\n");
  return end == std::string_view::npos ? line : line.substr(0, end);
}

// Fields after the first space, split at commas (a quoted alpha field may hold commas,
// but only the first and the last fields are ever used).
std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::string_view body = Body(line);
  const std::size_t space = body.find(' ');
  if (space == std::string_view::npos) return fields;
  body.remove_prefix(space + 1);
  for (;;) {
    const std::size_t comma = body.find(',');
    fields.push_back(body.substr(0, comma));
    if (comma == std::string_view::npos) break;
    body.remove_prefix(comma + 1);
  }
  return fields;
}

std::optional<int> Integer(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// What a PDU Mode line must begin with for HandlePduResponse to act on it.
constexpr std::string_view kPduRules[] = {"+CMGL:", "> ",    "+CMGR:",     "+CMTI:",     "+CMGS:",
                                          "+CSQ:",  "OK",    "ERROR",      "+CMS ERROR", "+CME ERROR"};

std::string_view Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

bool TSMS_Main::LineHasNoRule(std::string_view line) const {
  const std::string_view body = Trimmed(Body(line));
  if (body.empty() || body == "RING") return true;
  if (CommDrv.BlockType() != btPDU) return false;
  for (const std::string_view rule : kPduRules) {
    if (StartsWith(line, rule)) return false;
  }
  // A message's PDU line (after its +CMGL or +CMGR header) is all hex digits.
  return !std::all_of(body.begin(), body.end(), [](char c) { return HexDigit(c) >= 0; });
}

void TSMS_Main::DecodePduLine(std::string_view line) {
  const std::string_view hex = Body(line);
  const int octets = static_cast<int>(hex.size() / 2);
  // Whatever precedes the TPDU is the service centre address field; a line shorter than its
  // header promised is decoded as far as it goes.
  const int skip = std::clamp(octets - RxTpduLength, 0, octets);
  std::vector<std::uint8_t> tpdu;
  tpdu.reserve(static_cast<std::size_t>(octets - skip));
  for (int i = skip; i < octets; ++i) {
    const std::size_t at = static_cast<std::size_t>(i) * 2;
    const int high = HexDigit(hex[at]);
    const int low = HexDigit(hex[at + 1]);
    tpdu.push_back(high < 0 || low < 0 ? 0 : static_cast<std::uint8_t>(high * 16 + low));
  }
  const sms::ReceivedMessage message = sms::DecodeDeliver(tpdu, 0, false, RxMsgIndex, RxMsgIsNew);
  if (!message.DecodeError.empty()) {
    SetStatusText("Message " + std::to_string(RxMsgIndex) + ": " + message.DecodeError);
  }
  MessageRead(message);
}

bool TSMS_Main::ReadListingHeader(std::string_view line, bool withIndex) {
  // +CMGL: <index>,<stat>[,<alpha>],<length>   +CMGR: <stat>[,<alpha>],<length>
  const std::vector<std::string_view> fields = Fields(line);
  const std::size_t needed = withIndex ? 3 : 2;
  const std::optional<int> length = fields.empty() ? std::nullopt : Integer(fields.back());
  const std::optional<int> index = fields.empty() ? std::nullopt : Integer(fields.front());
  if (fields.size() < needed || !length || *length < 0 || (withIndex && !index)) {
    SetStatusText("Unreadable message header: " + std::string(Body(line)));
    return false;
  }
  if (withIndex) RxMsgIndex = static_cast<std::int16_t>(*index);
  RxMsgIsNew = fields[withIndex ? 1 : 0] == "0";
  RxTpduLength = static_cast<std::int16_t>(std::min(*length, 8000));
  if (*length == 0) {
    // An empty location (several makers answer "+CMGR: 0,,0"): no PDU line follows.
    SetStatusText("Message " + std::to_string(RxMsgIndex) + ": no message stored there");
    if (InFlight(label::kGetMessage)) readDelivered_ = true;
    return true;
  }
  PduLineExpected = true;
  return true;
}

void TSMS_Main::HandlePduResponse(std::span<const std::uint8_t> bytes, int count) {
  const std::size_t length = std::min(bytes.size(), static_cast<std::size_t>(std::max(count, 0)));
  const std::string line(reinterpret_cast<const char*>(bytes.data()), length);
  SetCursor(TCursor::crDefault);

  if (PduLineExpected) {
    PduLineExpected = false;
    DecodePduLine(line);
    if (InFlight(label::kGetMessage)) readDelivered_ = true;
    if (InFlight(label::kCopyAllMessages)) RestartWatchdog();  // a long listing is progress
    return;
  }
  if (StartsWith(line, "+CMGL:")) {
    ReadListingHeader(line, true);
    return;
  }
  if (StartsWith(line, "> ")) {
    PromptReceived();
  } else if (StartsWith(line, "+CMGR:")) {
    // The answer belongs to the read on the line. An answer nobody asked for gets index 0,
    // which retrieval never deletes: any other index could delete the wrong message.
    RxMsgIndex = InFlight(label::kGetMessage) ? inFlight_.Ref.MsgIndex : 0;
    ReadListingHeader(line, false);
  } else if (StartsWith(line, "+CMTI:")) {
    PduLineExpected = false;
    const std::vector<std::string_view> fields = Fields(line);
    const std::optional<int> index = fields.size() >= 2 ? Integer(fields[1]) : std::nullopt;
    if (index) GetMessage(static_cast<std::int16_t>(*index));
  } else if (StartsWith(line, "+CMGS:")) {
    const std::string_view body = Body(line);
    if (!MessageOnTheLine() || !AnswerCanBeInFlight()) {
      // Line noise or a late answer from before a reconnection: confirming now would take
      // a message out of the queue that was never sent.
      SetStatusText("Ignored " + std::string(body) + ": no message is waiting for it");
      return;
    }
    const std::size_t space = body.find(' ');
    TxConfirmed(space == std::string_view::npos ? std::string() : std::string(body.substr(space + 1)));
  } else if (StartsWith(line, "+CSQ:")) {
    ShowSignalQuality(Fields(line));
  } else if (StartsWith(line, "OK")) {
    HandlePduOk();
  } else if (StartsWith(line, "ERROR") || StartsWith(line, "+CMS ERROR") ||
             StartsWith(line, "+CME ERROR")) {
    HandlePduError(line);
  }
}

void TSMS_Main::HandlePduOk() {
  // An OK with nothing on the line answers nothing.
  if (!AnswerCanBeInFlight()) return;
  const std::string& label = inFlight_.Label;
  if (label == label::kCopyAllMessages) {
    SetStatusText("All messages copied.");
    EndListing();
  } else if (label == label::kNoTransfer) {
    SetTransferButtonDown(No_Transfer);
    SetStatusText("Request Confirmed - Do not transfer incoming messages.");
  } else if (label == label::kTransferTE) {
    SetTransferButtonDown(Transfer_TE);
    SetStatusText("Request Confirmed - Transfer incoming messages marked T.E. only.");
  } else if (label == label::kTransferAll) {
    SetTransferButtonDown(Transfer_All);
    SetStatusText("Request Confirmed - Transfer all incoming messages");
  } else if (label == label::kDeleteMessage) {
    SetStatusText("Delete Message in M.T. Complete - Msg# [" +
                  std::to_string(inFlight_.Ref.MsgIndex) + "]");
    ForgetReceived(inFlight_.Ref);
  } else if (label == label::kSendMessage && send_.Is(SendState::Submitted)) {
    // OK to the "+CMGS=" line itself, without a prompt: nothing was sent.
    TxRejected();
  } else if (label == label::kSendPdu && MessageOnTheLine()) {
    // Sent, though the terminal gave no reference: sending it again would duplicate it.
    TxConfirmed(std::string());
  }
  Answered();
  SendNextCommand();
}

void TSMS_Main::HandlePduError(const std::string& line) {
  SetStatusText(line);
  if (!AnswerCanBeInFlight()) return;
  const std::string& label = inFlight_.Label;
  if ((label == label::kSendMessage || label == label::kSendPdu) && !send_.Is(SendState::Idle)) {
    // Refused before the prompt (the PDU text is then never written) or after it.
    SetCursor(TCursor::crHourGlass);
    TxRejected();
  } else if (label == label::kCopyAllMessages) {
    SetStatusText("All messages copied.");
    EndListing();
  } else if (label == label::kDeleteMessage) {
    const std::string index = std::to_string(inFlight_.Ref.MsgIndex);
    SetStatusText("Delete Message Failure - Msg# [" + index + "]");
    RetryDelete(index);
  }
  Answered();
  SendNextCommand();
}

void TSMS_Main::ShowSignalQuality(const std::vector<std::string_view>& fields) {
  if (fields.size() < 2) return;
  const std::string rssi(fields[0]);
  const std::string ber(fields[1]);
  if (rssi != "99") {
    if (const auto value = Integer(rssi)) RSSI.Position = std::clamp(*value, 0, 31);
    rssi_val = "[" + rssi + "]";
  }
  if (ber != "99") {
    if (const auto value = Integer(ber)) BER.Position = std::clamp(*value, 0, 7);
    ber_val = "[" + ber + "]";
  }
  ControlsChanged();
}

}  // namespace kavonet
