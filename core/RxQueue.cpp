// The receive queue and the two message logs.

#include <algorithm>

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"

namespace kavonet {

void TSMS_Main::AddReceivedMessage(const sms::ReceivedMessage& message) {
  if (GatewayConfig_.LongMessages && HoldPart(message)) return;
  RxGridBusy = true;
  const int row = rx_grid.RowCount() - 1;
  rx_grid.SetCell(0, row, std::to_string(message.MsgIndex));
  rx_grid.SetCell(1, row, message.IsNew ? "New " : "Read");
  rx_grid.SetCell(2, row, message.Origin);
  rx_grid.SetCell(3, row, message.Day + "-" + message.Month + "-" + message.Year);
  rx_grid.SetCell(4, row, message.Hour + ":" + message.Minute + ":" + message.Second);
  rx_grid.SetCell(5, row, message.Text);
  KeepReceived(row);
  rx_grid.SetRow(row);
  rx_grid.AddRow();
  RxGridBusy = false;
  ControlsChanged();

  if (GatewayConfig_.LogReceive) {
    const std::filesystem::path log = workDir_ / "receive.txt";
    WriteLogLine(log, sms::ReceiveLogLine(message));
  }
}

std::string TSMS_Main::Fingerprint(const sms::ReceivedMessage& message) {
  return CellsFingerprint({"", "", message.Origin, message.Day + "-" + message.Month + "-" + message.Year,
                           message.Hour + ":" + message.Minute + ":" + message.Second, message.Text});
}

std::string TSMS_Main::RowFingerprint(int row) const {
  return CellsFingerprint({"", "", rx_grid.Cell(2, row), rx_grid.Cell(3, row), rx_grid.Cell(4, row),
                           rx_grid.Cell(5, row)});
}

bool TSMS_Main::AlreadyReceived(const sms::ReceivedMessage& message) const {
  if (message.MsgIndex == 0) return false;  // no index to know it by
  const std::string fingerprint = Fingerprint(message);
  const std::string index = std::to_string(message.MsgIndex);
  for (int row = 1; row < rx_grid.RowCount() - 1; ++row) {
    if (rx_grid.Cell(0, row) == index && RowFingerprint(row) == fingerprint) return true;
    const std::vector<MessageRef>& parts = rx_grid.Tag(row).Parts;
    if (std::any_of(parts.begin(), parts.end(), [&](const MessageRef& part) {
          return part.MsgIndex == message.MsgIndex && part.Fingerprint == fingerprint;
        })) {
      return true;
    }
  }
  if (HeldAlready(message.MsgIndex, fingerprint)) return true;
  // Taken by a client and waiting to be deleted: its index cannot hold another message yet.
  return DeletePending(message.MsgIndex, fingerprint);
}

void TSMS_Main::MessageRead(const sms::ReceivedMessage& message) {
  const MessageRef& read = inFlight_.Ref;
  if (InFlight(label::kGetMessage) && !read.Fingerprint.empty() && message.MsgIndex == read.MsgIndex &&
      Fingerprint(message) == read.Fingerprint) {
    // Still the message a client took before the connection was lost: delete it now.
    readMatched_ = true;
    Delete(read);
    return;
  }
  // A listing or an announcement may bring a message the queue already holds: a second row
  // would be retrieved twice, and its delete could reach a newer message at that index.
  if (AlreadyReceived(message)) {
    SetStatusText("Message " + std::to_string(message.MsgIndex) + " is already in the receive queue");
    return;
  }
  AddReceivedMessage(message);
}

void TSMS_Main::TransmitLog1Click() {
  if (GatewayConfig_.LogTransmit) {
    shell_.OpenWithShell((workDir_ / "transmit.txt").string());
  } else {
    SetStatusText("Transmit logging not enabled");
  }
}

void TSMS_Main::ReceiveLog1Click() {
  if (GatewayConfig_.LogReceive) {
    shell_.OpenWithShell((workDir_ / "receive.txt").string());
  } else {
    SetStatusText("Receive logging not enabled");
  }
}

}  // namespace kavonet
