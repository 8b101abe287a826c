#include "sim/BlockModeSession.h"

namespace kavonet::sim {
namespace {

std::uint8_t Byte(BlockCause cause) { return static_cast<std::uint8_t>(cause); }

}  // namespace

void BlockModeSession::Begin() {
  reader_.Reset();
  transfer_ = TransferMode::kNoTransfer;
  listPosition_ = 0;
}

void BlockModeSession::Push(std::uint8_t byte) {
  if (auto frame = reader_.Push(byte)) Handle(*frame);
}

void BlockModeSession::Answer(BlockMessage code, Bytes parameters) {
  parameters.insert(parameters.begin(), static_cast<std::uint8_t>(code));
  const Bytes frame = BuildFrame(parameters);
  core_.Write(std::string(frame.begin(), frame.end()));
}

void BlockModeSession::UnableToProcess() {
  Answer(BlockMessage::kUnableToProcess, {Byte(BlockCause::kCommandNotUnderstood)});
}

void BlockModeSession::Handle(const ReceivedFrame& frame) {
  const Bytes& body = frame.body;
  if (!frame.checksumGood || body.empty()) {
    UnableToProcess();
    return;
  }
  const bool hasParameter = body.size() >= 2;
  switch (static_cast<BlockRequest>(body[0])) {
    case BlockRequest::kGetMessage:
      if (!hasParameter) break;
      GetMessage(body[1]);
      return;
    case BlockRequest::kGetFirstMessage:
      listPosition_ = 0;
      GetMessage(std::nullopt);
      return;
    case BlockRequest::kGetNextMessage: GetMessage(std::nullopt); return;
    case BlockRequest::kTransferRequest:
      if (!hasParameter) break;
      TransferRequest(body[1]);
      return;
    case BlockRequest::kInsertSms: InsertSms(body); return;
    case BlockRequest::kDeleteMessage:
      if (!hasParameter) break;
      DeleteMessage(body[1]);
      return;
  }
  UnableToProcess();
}

// Message: two unused bytes, the index, the status, the service centre address field
// and the TPDU. Reading a message marks it read.
void BlockModeSession::SendStoredMessage(BlockMessage code, int index) {
  StoredMessage& message = *core_.Store().Find(index);
  Bytes parameters{0x00, 0x00, static_cast<std::uint8_t>(index),
                   static_cast<std::uint8_t>(message.status)};
  parameters.insert(parameters.end(), message.scaField.begin(), message.scaField.end());
  parameters.insert(parameters.end(), message.tpdu.begin(), message.tpdu.end());
  Answer(code, std::move(parameters));
  message.status = MessageStatus::kRead;
}

// A given index reads that message; none walks the store from the listing position.
void BlockModeSession::GetMessage(std::optional<int> index) {
  std::optional<int> found;
  if (index) {
    if (core_.Store().Find(*index)) found = index;
  } else {
    found = core_.Store().NextAfter(listPosition_);
    if (found) listPosition_ = *found;
  }
  if (!found) {
    Answer(BlockMessage::kGetMessageFailure, {0x00, Byte(BlockCause::kNoSuchMessage)});
    return;
  }
  SendStoredMessage(BlockMessage::kMessage, *found);
}

void BlockModeSession::TransferRequest(std::uint8_t parameter) {
  const auto mode = static_cast<TransferMode>(parameter);
  if (mode != TransferMode::kNoTransfer && mode != TransferMode::kTransferAll &&
      mode != TransferMode::kTransferTe) {
    UnableToProcess();
    return;
  }
  transfer_ = mode;
  Answer(BlockMessage::kRequestConfirmed,
         {static_cast<std::uint8_t>(ConfirmType::kTransferRequest)});
}

// Insert SMS: one byte the terminal does not use, the length of a service centre
// address field and that field, then the TPDU.
void BlockModeSession::InsertSms(const Bytes& body) {
  if (body.size() < 3 || body.size() < 3u + body[2]) {
    UnableToProcess();
    return;
  }
  const Bytes tpdu(body.begin() + 3 + body[2], body.end());
  const SendOutcome outcome = core_.Send(tpdu);
  if (outcome.kind == SendOutcome::Kind::kUndecodable) {
    UnableToProcess();
    return;
  }
  Answer(BlockMessage::kRequestConfirmed, {static_cast<std::uint8_t>(ConfirmType::kAttemptToSend)});
  if (outcome.kind == SendOutcome::Kind::kRefused) {
    Answer(BlockMessage::kInsertSmsFailure, {0x00, static_cast<std::uint8_t>(outcome.cause)});
    return;
  }
  Answer(BlockMessage::kInsertSmsComplete, {static_cast<std::uint8_t>(outcome.reference >> 8),
                                            static_cast<std::uint8_t>(outcome.reference & 0xFF)});
}

void BlockModeSession::DeleteMessage(std::uint8_t index) {
  if (core_.Store().Remove(index)) {
    Answer(BlockMessage::kDeleteMessageComplete, {index});
  } else {
    Answer(BlockMessage::kDeleteMessageFailure, {index, Byte(BlockCause::kNoSuchMessage)});
  }
}

void BlockModeSession::IndicateNewMessage(int index) {
  if (transfer_ == TransferMode::kNoTransfer) {
    Answer(BlockMessage::kMessageArrived, {0x00, 0x00, static_cast<std::uint8_t>(index)});
  } else {
    SendStoredMessage(BlockMessage::kIncomingMessage, index);
  }
}

void BlockModeSession::End(std::uint8_t cause) {
  Answer(BlockMessage::kEndSmsMode, {cause});
  core_.SetMode(InterfaceMode::kCommand);
}

}  // namespace kavonet::sim
