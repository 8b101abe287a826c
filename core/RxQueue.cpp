// The receive queue and the two message logs.

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"

namespace kavonet {

void TSMS_Main::AddReceivedMessage(const sms::ReceivedMessage& message) {
  RxGridBusy = true;
  const int row = rx_grid.RowCount() - 1;
  rx_grid.SetCell(0, row, std::to_string(message.MsgIndex));
  rx_grid.SetCell(1, row, message.IsNew ? "New " : "Read");
  rx_grid.SetCell(2, row, message.Origin);
  rx_grid.SetCell(3, row, message.Day + "-" + message.Month + "-" + message.Year);
  rx_grid.SetCell(4, row, message.Hour + ":" + message.Minute + ":" + message.Second);
  rx_grid.SetCell(5, row, message.Text);
  rx_grid.SetRow(row);
  rx_grid.AddRow();
  RxGridBusy = false;
  ControlsChanged();

  if (GatewayConfig_.LogReceive) {
    const std::filesystem::path log = workDir_ / "receive.txt";
    if (!sms::AppendLogLine(log, sms::ReceiveLogLine(message))) {
      ShowError("Unable to write to " + log.string());
    }
  }
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
