#include "core/TSMS.h"

#include "core/TSMS_Main.h"
#include "sms/Utf8.h"

namespace kavonet {

namespace {

std::string Cut(const std::string& text) {
  std::string cut(sms::Utf8Prefix(text, TSMS::kMaxArgumentLength));
  // Text ends at its first NUL, as it always has for callers.
  const std::size_t nul = cut.find('\0');
  if (nul != std::string::npos) cut.resize(nul);
  return cut;
}

}  // namespace

std::string CutDestinations(std::string_view destinations, std::size_t limit) {
  destinations = destinations.substr(0, destinations.find('\0'));
  const std::string_view cut = sms::Utf8Prefix(destinations, limit);
  // Only ',' separates destinations and ';' ends the list; anything else is part of one.
  const bool whole = cut.size() == destinations.size() || cut.find(';') != std::string_view::npos ||
                     destinations[cut.size()] == ',' || destinations[cut.size()] == ';';
  if (whole) return std::string(cut);
  const std::size_t comma = cut.rfind(',');
  return comma == std::string_view::npos ? std::string() : std::string(cut.substr(0, comma));
}

bool TSMS::Is_Connected(const std::string& /*ignored*/) { return main_.Connected(); }

bool TSMS::Is_Auto_Connect(const std::string& /*ignored*/) { return main_.Config().AutoConnect; }

void TSMS::Connect(const std::string& /*ignored*/) {
  // A connection already being made is left to finish, not started over.
  if (!main_.ConnectionUnderWay()) main_.ConnectTerminal();
}

void TSMS::Disconnect(const std::string& /*ignored*/) { main_.DisconnectTerminal(); }

void TSMS::Toggle_Connection(const std::string& /*ignored*/) {
  if (main_.ConnectionUnderWay()) {
    main_.DisconnectTerminal();
  } else {
    main_.ConnectTerminal();
  }
}

std::string TSMS::Receive_Mode(const std::string& /*ignored*/) {
  std::string mode;
  if (!main_.Connected()) mode = "Disconnected";
  if (main_.No_Transfer.Down) mode = "No_Transfer";
  if (main_.Transfer_TE.Down) mode = "Transfer_TE";
  if (main_.Transfer_All.Down) mode = "Transfer_All";
  return mode;
}

void TSMS::No_Transfer_Mode(const std::string& /*ignored*/) { main_.No_TransferClick(); }
void TSMS::Transfer_TE_Mode(const std::string& /*ignored*/) { main_.Transfer_TEClick(); }
void TSMS::Transfer_All_Mode(const std::string& /*ignored*/) { main_.Transfer_AllClick(); }
void TSMS::Get_All(const std::string& /*ignored*/) { main_.CopyAllMessages(); }

bool TSMS::Register_Retrieve(const std::string& AppName) {
  const std::string name = Cut(AppName);
  if (!main_.Connected()) return false;
  if (main_.Rx_Ole_Appname == name) return true;
  if (!main_.Rx_Ole_Appname.empty()) return false;
  main_.Rx_Ole_Appname = name;
  main_.Ole_Time_Left = TSMS_Main::kOleTicks;
  main_.Ole_Rx_Timeout->SetEnabled(true);
  main_.NotifyControlsChanged();
  return true;
}

std::string TSMS::Retrieve_Message(const std::string& AppName) {
  if (main_.Rx_Ole_Appname != Cut(AppName)) return {};
  main_.Ole_Time_Left = TSMS_Main::kOleTicks;
  main_.Rx_Poll = main_.Rx_Poll == TColor::clGreen ? TColor::clRed : TColor::clGreen;
  main_.NotifyControlsChanged();
  if (main_.RxGridBusy) return {};
  StringGrid& grid = main_.rx_grid;
  if (grid.RowCount() - 2 < 1) return {};

  std::string origin = grid.Cell(2, 1);
  if (origin.size() < 15) origin.resize(15, ' ');
  std::string time = grid.Cell(4, 1);
  if (time.size() == 7) time = "0" + time;
  const std::string result = grid.Cell(1, 1) + " " + origin + " " + grid.Cell(3, 1) + " " +
                             time + " " + grid.Cell(5, 1);
  main_.HandOverFirstReceived();
  return result;
}

bool TSMS::deRegister_Retrieve(const std::string& AppName) {
  if (main_.Rx_Ole_Appname != Cut(AppName)) return false;
  main_.Rx_Ole_Appname.clear();
  main_.Ole_Rx_Timeout->SetEnabled(false);
  main_.Ole_Time_Left = TSMS_Main::kOleTicks;
  main_.NotifyControlsChanged();
  return true;
}

std::int32_t TSMS::Send_Message(const std::string& /*ignored*/, const std::string& Destinations,
                                const std::string& MessageText) {
  if (!main_.ConnectionUnderWay()) main_.ConnectTerminal();
  return main_.QueueForDestinations(CutDestinations(Destinations, kMaxArgumentLength),
                                    Cut(MessageText));
}

void TSMS::SMS_Minimize(const std::string& /*ignored*/) { main_.Minimize(); }
void TSMS::SMS_Restore(const std::string& /*ignored*/) { main_.Restore(); }

}  // namespace kavonet
