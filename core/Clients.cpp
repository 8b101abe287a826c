// What the client interfaces need of the controller: the retrieval time-out, the command
// channel's execute handler, and queueing a message for a list of destinations.

#include <algorithm>

#include "core/TSMS.h"
#include "core/TSMS_Main.h"
#include "sms/Utf8.h"

namespace kavonet {

int TSMS_Main::QueueForDestinations(const std::string& destinations, const std::string& text) {
  std::string filtered;
  for (char c : destinations) {
    if (c == ';') break;
    if ((c >= '0' && c <= '9') || c == '+' || c == ',') filtered.push_back(c);
  }
  std::vector<OutgoingMessage> messages;
  std::size_t start = 0;
  while (start <= filtered.size()) {
    const std::size_t comma = std::min(filtered.find(',', start), filtered.size());
    if (comma > start) messages.push_back({filtered.substr(start, comma - start), text});
    start = comma + 1;
  }
  // One commit for the whole list: acknowledged only once every row is kept.
  Submit(messages);
  return static_cast<int>(messages.size());
}

int TSMS_Main::DDE_SendExecuteMacro(const std::string& command) {
  if (!ConnectionUnderWay()) ConnectTerminal();
  const std::string line = command.substr(0, command.find_first_of("\r\n"));
  const std::string cut(sms::Utf8Prefix(line, TSMS::kMaxArgumentLength));
  const std::size_t semicolon = cut.find(';');
  if (semicolon == std::string::npos) {
    // The list runs to the cut (or the line end): its last number may not be whole.
    return QueueForDestinations(CutDestinations(line, TSMS::kMaxArgumentLength), std::string());
  }
  return QueueForDestinations(cut.substr(0, semicolon), cut.substr(semicolon + 1));
}

void TSMS_Main::Ole_Rx_TimeoutTimer() {
  if (Rx_Ole_Appname.empty()) {
    Ole_Rx_Timeout->SetEnabled(false);
    return;
  }
  int left = 0;
  try {
    left = std::stoi(Ole_Time_Left);
  } catch (const std::exception&) {
    left = 0;
  }
  if (left > 0) {
    Ole_Time_Left = std::to_string(left - 1);
    ControlsChanged();
    return;
  }
  Ole_Rx_Timeout->SetEnabled(false);
  Rx_Poll = TColor::clGreen;
  Rx_Ole_Appname.clear();
  Ole_Time_Left = TSMS_Main::kOleTicks;
  ControlsChanged();
  switch (GatewayConfig_.StartupTransfer) {
    case 0: No_TransferClick(); break;
    case 1: Transfer_TEClick(); break;
    case 2: Transfer_AllClick(); break;
    default: break;
  }
}

void TSMS_Main::Minimize() { shell_.Minimize(); }
void TSMS_Main::Restore() { shell_.Restore(); }

}  // namespace kavonet
