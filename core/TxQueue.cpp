// The send queue: one message at a time from the head of tx_queue to the terminal, and
// out of the queue once the terminal confirms it. A long message goes one part per send
// cycle and leaves the queue with its last part.

#include <algorithm>
#include <utility>

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"
#include "sms/MessageParts.h"
#include "sms/PduCodec.h"

namespace kavonet {

namespace {

constexpr int kMaxDestinationDigits = 20;
constexpr int kRefusalsBeforeRequeue = 3;
constexpr char kCtrlZ = 0x1A;
constexpr const char* kResendingText = "Resending message interrupted by a restart";

// The concatenation reference of a message: its store id, which is never reused, so the
// reference goes round with each message and a restart neither changes nor repeats it.
std::uint8_t PartsReference(StoreId id) { return static_cast<std::uint8_t>(id & 0xFF); }

bool IsDialable(const std::string& digits) {
  return !digits.empty() && digits.size() <= kMaxDestinationDigits &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void TSMS_Main::AppendToSendQueue(const std::string& destination, const std::string& text) {
  Submit({{destination, text}});
}

bool TSMS_Main::SendQueueCanStart() const {
  const TBlockType type = CommDrv.BlockType();
  return Connected() && tx_queue.RowCount() >= 3 && (type == btPDU || type == btBlock) &&
         send_.Is(SendState::Idle) && !commandOutstanding_ && !CopyAllActive();
}

void TSMS_Main::tx_queue_TimerTimer() {
  if (!Connected() || tx_queue.RowCount() < 3) return;
  const TBlockType type = CommDrv.BlockType();
  if (type != btPDU && type != btBlock) {
    // A session without a way to send (Text Mode, an unknown interface): say so once
    // instead of writing commands the terminal is not set up for.
    if (!textModeShown_) {
      textModeShown_ = true;
      SetStatusText("Messages are not sent in " + InterfaceType +
                    ": set the interface to PDU Mode or Block Mode");
    }
    return;
  }
  if (!send_.Is(SendState::Idle) || commandOutstanding_ || CopyAllActive()) return;
  ProcessTxQueue();
}

void TSMS_Main::MoveSend(SendState to) { send_.MoveTo(to); }

void TSMS_Main::SlotWritten(const std::string& label) {
  if (label == label::kSendMessage && send_.Is(SendState::Queued)) {
    MoveSend(SendState::Submitted);
  } else if (label == label::kSendPdu && send_.Is(SendState::Submitted)) {
    MoveSend(SendState::AwaitingConfirmation);
    ShowTxStage(3);
    SetCursor(TCursor::crHourGlass);
  } else if (label == label::kCopyAllMessages) {
    listing_.MoveTo(ListingState::Listing);
  }
}

void TSMS_Main::PromptReceived() {
  const bool awaited = Connected() && InFlight(label::kSendMessage) &&
                       send_.Is(SendState::Submitted) && CommDrv.BlockType() == btPDU &&
                       !pendingPduText_.empty();
  if (!awaited) {
    SetStatusText("Ignored a prompt from the Mobile Terminal: no message is being sent");
    return;
  }
  // The PDU text answers the prompt: it goes out now, ahead of anything queued meanwhile.
  Answered();
  CommandSlot slot;
  slot.CommandText = std::exchange(pendingPduText_, std::string());
  slot.Label = label::kSendPdu;
  slot.Form = SlotForm::Text;
  WriteNow(std::move(slot));
}

bool TSMS_Main::MessageOnTheLine() const {
  // In PDU Mode only once the PDU text is written; an Insert SMS frame carries it whole.
  if (send_.Is(SendState::AwaitingConfirmation)) return true;
  return send_.Is(SendState::Submitted) && CommDrv.BlockType() == btBlock;
}

void TSMS_Main::ResetSendCycle() {
  MoveSend(SendState::Idle);
  pendingPduText_.clear();
  partsInMessage_ = 1;
}

void TSMS_Main::ShowTxStage(int stage) {
  tx_stage_1.Visible = stage == 1;
  tx_stage_2.Visible = stage == 2;
  tx_stage_3.Visible = stage == 3;
  ControlsChanged();
}

void TSMS_Main::DropHeadMessage(const std::string& reason) {
  // A row that can never be sent must not hold back every message behind it.
  SetStatusText(reason);
  const StoreId id = tx_queue.Tag(1).StoreId;
  if (id != 0 && !store_->RemoveOutgoing(id)) CheckStore();
  tx_queue.RemoveFirstRow();
  headRefusals_ = 0;
  ShowTxStage(tx_queue.RowCount() > 2 ? 2 : 1);
  SetCursor(TCursor::crDefault);
}

void TSMS_Main::ProcessTxQueue() {
  SetStatusText("Checking Message Send Queue");
  SetCursor(TCursor::crHourGlass);

  const std::string destination = tx_queue.Cell(0, 1);
  const sms::PreparedAddress address = sms::PrepareAddress(destination);
  if (address.digits.empty()) {
    DropHeadMessage("No destination entered");
    return;
  }
  if (!IsDialable(address.digits)) {
    DropHeadMessage("Destination " + destination +
                    " is not a telephone number (+ and up to 20 digits); message removed");
    return;
  }
  const RowTag& tag = tx_queue.Tag(1);
  // A message begun in parts is finished in parts, whatever the setting is now.
  const bool inParts = GatewayConfig_.LongMessages || tag.PartsDone > 0;
  std::string text(inParts ? tx_queue.Cell(1, 1) : sms::SingleMessageText(tx_queue.Cell(1, 1)));
  if (text.empty()) {
    DropHeadMessage("No message data entered");
    return;
  }

  const bool blockSession = CommDrv.BlockType() == btBlock;
  std::vector<sms::SubmitPdu> pdus;
  if (inParts) {
    std::size_t sent = 0;
    for (const std::string_view part : sms::MessagePartTexts(text)) sent += part.size();
    text.resize(sent);  // beyond the most parts a message can have
    pdus = sms::BuildSubmitParts(destination, text, GatewayConfig_.ServiceCentreAddress,
                                 GatewayConfig_.SCAInTPDU, blockSession, PartsReference(tag.StoreId));
  } else {
    pdus.push_back(sms::BuildSubmitPdu(destination, text, GatewayConfig_.ServiceCentreAddress,
                                       GatewayConfig_.SCAInTPDU, blockSession));
  }
  partsInMessage_ = static_cast<int>(pdus.size());
  const sms::SubmitPdu& pdu = pdus[std::min(static_cast<std::size_t>(tag.PartsDone), pdus.size() - 1)];
  MoveSend(SendState::Queued);
  // It may have gone out just before the restart; sent again, it may arrive twice.
  if (tx_queue.Tag(1).Interrupted) SetStatusText(kResendingText);
  ShowTxStage(2);
  SetCursor(TCursor::crHourGlass);
  const std::time_t now = WallClock();
  PendingTxLogLine = sms::TransmitLogLine(address.digits, sms::LocaleShortDate(now),
                                          sms::LocaleLongTime(now), text, pdus.size());
  if (blockSession) {
    BuildFrame(pdu.octets, label::kSendMessage);
    return;
  }
  // The PDU text is written only on the terminal's prompt: a refused "+CMGS=" line must
  // not be followed by message data the terminal would read as a command.
  pendingPduText_ = sms::PduHexText(pdu.octets) + kCtrlZ;
  std::string command = "+CMGS=" + std::to_string(pdu.TpduLength());
  EnqueueCommand(command, label::kSendMessage);
}

void TSMS_Main::TxConfirmed(const std::string& reference) {
  MoveSend(SendState::Idle);
  headRefusals_ = 0;
  RowTag tag = tx_queue.Tag(1);
  if (tag.PartsDone + 1 < partsInMessage_) {
    // A part of several: the row stays at the head for the next part, and the store keeps
    // how far it got so that a restart goes on from there.
    ++tag.PartsDone;
    tag.Interrupted = false;
    tx_queue.SetTag(1, tag);
    if (tag.StoreId != 0 && !store_->MarkPartConfirmed(tag.StoreId, tag.PartsDone)) CheckStore();
    SetStatusText("Insert SMS Complete - Msg# [" + reference + "] part " +
                  std::to_string(tag.PartsDone) + " of " + std::to_string(partsInMessage_));
    ShowTxStage(2);
    SetCursor(TCursor::crHourGlass);
    return;
  }
  SetStatusText("Insert SMS Complete - Msg# [" + reference + "]");
  // The message has gone: it leaves the queue whatever became of its log line, so that a
  // log failure can never make the same message go out twice.
  StoreConfirmation();
  tx_queue.RemoveFirstRow();
  if (tx_queue.RowCount() - 2 < 1) {
    ShowTxStage(1);
    SetCursor(TCursor::crDefault);
  } else {
    ShowTxStage(2);
    SetCursor(TCursor::crHourGlass);
  }
}

void TSMS_Main::TxRejected() {
  MoveSend(SendState::Idle);
  pendingPduText_.clear();
  ShowTxStage(2);
  if (++headRefusals_ < kRefusalsBeforeRequeue || tx_queue.RowCount() <= 3) return;
  // Refused again and again: let the messages behind it go first; it is tried again when
  // its turn comes back, never dropped.
  const std::string destination = tx_queue.Cell(0, 1);
  const StoreId id = tx_queue.Tag(1).StoreId;
  tx_queue.MoveRow(1, tx_queue.RowCount() - 2);
  if (id != 0 && !store_->MoveOutgoing(id, static_cast<std::size_t>(tx_queue.RowCount() - 3))) {
    CheckStore();
  }
  headRefusals_ = 0;
  SetStatusText("Message to " + destination + " refused " +
                std::to_string(kRefusalsBeforeRequeue) +
                " times: moved to the end of the send queue");
}

}  // namespace kavonet
