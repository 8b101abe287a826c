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

void TSMS_Main::DDE_SendExecuteMacro(const std::string& command) {
  if (!ConnectionUnderWay()) ConnectTerminal();
  std::string line = command.substr(0, command.find_first_of("\r\n"));
  line.resize(sms::Utf8Prefix(line, TSMS::kMaxArgumentLength).size());
  const std::size_t semicolon = line.find(';');
  const std::string text = semicolon == std::string::npos ? std::string() : line.substr(semicolon + 1);
  QueueForDestinations(line.substr(0, semicolon), text);
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
