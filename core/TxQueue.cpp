// The send queue: one message at a time from the head of tx_queue to the terminal, and
// out of the queue once the terminal confirms it.

#include <algorithm>

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"
#include "sms/PduCodec.h"

namespace kavonet {

namespace {

constexpr int kMaxTextLength = 160;
constexpr int kMaxDestinationDigits = 20;
constexpr int kRefusalsBeforeRequeue = 3;
constexpr char kCtrlZ = 0x1A;

bool IsDialable(const std::string& digits) {
  return !digits.empty() && digits.size() <= kMaxDestinationDigits &&
         std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void TSMS_Main::AppendToSendQueue(const std::string& destination, const std::string& text) {
  const int row = tx_queue.RowCount() - 1;
  tx_queue.SetCell(0, row, destination);
  tx_queue.SetCell(1, row, text);
  tx_queue.SetRow(row);
  tx_queue.AddRow();
  ControlsChanged();
}

void TSMS_Main::tx_queue_TimerTimer() {
  if (tx_stage_3.Visible || tx_queue.RowCount() < 3 || CommandOutstanding || CopyAllActive) return;
  ProcessTxQueue();
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
  const std::string text = tx_queue.Cell(1, 1).substr(0, kMaxTextLength);
  if (text.empty()) {
    DropHeadMessage("No message data entered");
    return;
  }

  const bool blockSession = CommDrv.BlockType() == btBlock;
  const sms::SubmitPdu pdu =
      sms::BuildSubmitPdu(destination, text, GatewayConfig_.ServiceCentreAddress,
                          GatewayConfig_.SCAInTPDU, blockSession);
  ShowTxStage(2);
  SetCursor(TCursor::crHourGlass);
  const std::time_t now = WallClock();
  PendingTxLogLine = sms::TransmitLogLine(address.digits, sms::LocaleShortDate(now),
                                          sms::LocaleLongTime(now), text);
  if (blockSession) {
    BuildFrame(pdu.octets, label::kSendMessage);
    return;
  }
  std::string command = "+CMGS=" + std::to_string(pdu.TpduLength());
  EnqueueCommand(command, label::kSendMessage);
  std::string pduText = sms::PduHexText(pdu.octets) + kCtrlZ;
  EnqueueCommand(pduText, label::kSendPdu);
}

void TSMS_Main::TxConfirmed(const std::string& reference) {
  SetStatusText("Insert SMS Complete - Msg# [" + reference + "]");
  headRefusals_ = 0;
  const std::filesystem::path log = workDir_ / "transmit.txt";
  const bool logged = !GatewayConfig_.LogTransmit || sms::AppendLogLine(log, PendingTxLogLine);
  // The message has gone: it leaves the queue whatever became of its log line, so that a
  // log failure can never make the same message go out twice.
  tx_queue.RemoveFirstRow();
  if (tx_queue.RowCount() - 2 < 1) {
    ShowTxStage(1);
    SetCursor(TCursor::crDefault);
  } else {
    ShowTxStage(2);
    SetCursor(TCursor::crHourGlass);
  }
  if (!logged) ShowError("Unable to write to " + log.string());
}

void TSMS_Main::TxRejected() {
  if (++headRefusals_ < kRefusalsBeforeRequeue || tx_queue.RowCount() <= 3) return;
  // Refused again and again: let the messages behind it go first; it is tried again when
  // its turn comes back, never dropped.
  const std::string destination = tx_queue.Cell(0, 1);
  tx_queue.MoveRow(1, tx_queue.RowCount() - 2);
  headRefusals_ = 0;
  SetStatusText("Message to " + destination + " refused " +
                std::to_string(kRefusalsBeforeRequeue) +
                " times: moved to the end of the send queue");
}

}  // namespace kavonet
