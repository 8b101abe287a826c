// Connecting to the terminal, walking it through the initialisation list, entering and
// leaving the session.

#include <algorithm>
#include <cctype>
#include <optional>

#include "core/TSMS_Main.h"

namespace kavonet {

using namespace std::chrono_literals;

namespace {

constexpr int kMaxInitAttempts = 4;
constexpr int kMaxInitErrors = 5;

constexpr const char* kAutoConnectWarning =
    "Kavonet is configured for Automatic Connection to the Mobile Terminal. Manually "
    "disconnecting will override this setting, you will need to re-connect manually, or "
    "restart Kavonet.\r\rDo you wish to disconnect anyway?.";

std::string PortName(std::int32_t port) {
  if (port >= 1 && port <= 4) return "COM" + std::to_string(port);
  return {};
}

std::optional<TBaudRate> LineSpeed(std::int32_t speed) {
  switch (speed) {
    case 2400: return cbr2400;
    case 4800: return cbr4800;
    case 9600: return cbr9600;
    case 14400: return cbr14400;
    case 19200: return cbr19200;
    case 38400: return cbr38400;
    case 56000: return cbr56000;
    case 57600: return cbr57600;
    case 115200: return cbr115200;
    default: return std::nullopt;
  }
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool StartsWith(const std::string& line, const char* prefix) { return line.rfind(prefix, 0) == 0; }

}  // namespace

std::string TSMS_Main::WithoutPin(std::string_view text) {
  static constexpr std::string_view kPinCommand = "+CPIN=";
  std::string shown(text);
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (std::size_t at = upper.find(kPinCommand); at != std::string::npos;
       at = upper.find(kPinCommand, at + 1)) {
    // The whole argument, up to the line end: a PIN, or a PUK and a new PIN.
    const std::size_t start = at + kPinCommand.size();
    const std::size_t end = std::min(upper.find_first_of("\r\n", start), upper.size());
    shown.replace(start, end - start, "\"****\"");
    upper.replace(start, end - start, "\"****\"");
  }
  return shown;
}

bool TSMS_Main::ReadConfigurationReporting() {
  try {
    WriteDefaultConfiguration(ConfigPath());
  } catch (const ConfigWriteError& error) {
    ShowError(error.what());
    return false;
  }
  ReadConfiguration();
  return true;
}

void TSMS_Main::ReadConfiguration() {
  GatewayConfig_ = ReadGatewayConfig(ConfigPath());
  if (configOverride_) configOverride_(GatewayConfig_);
  Connect_Timer->SetEnabled(GatewayConfig_.AutoConnect);
}

void TSMS_Main::FailConnection(const std::string& status, const std::string& box) {
  MoveLink(LinkState::Idle);
  Etsi_Response_Timer->SetEnabled(false);
  SetStatusText(status);
  shell_.MessageBeep(MB_ICONHAND);
  // Timers keep running while the box is open; a second attempt then would only stack a
  // second identical box on the first.
  connectBoxOpen_ = true;
  ShowError(box);
  connectBoxOpen_ = false;
  SetCursor(TCursor::crDefault);
}

void TSMS_Main::MoveLink(LinkState to) { link_.MoveTo(to); }

void TSMS_Main::ConnectTerminal() {
  if (Connected() || connectBoxOpen_) return;
  HandleWaitingAnswers();
  UpdateConnectionControls();
  SetCursor(TCursor::crHourGlass);
  if (!ReadConfigurationReporting()) {
    SetCursor(TCursor::crDefault);
    return;
  }

  const std::string portName = PortName(GatewayConfig_.Port);
  const std::optional<TBaudRate> speed = LineSpeed(GatewayConfig_.Speed);
  if (!speed) {
    // No mapping: never open the port at whatever speed an earlier connection left.
    const std::string speedText = std::to_string(GatewayConfig_.Speed);
    FailConnection("Unsupported line speed " + speedText + ". Check COM port settings and try again.",
                   "Cannot connect at " + speedText +
                       " bit/s. The line speed must be one of 2400, 4800, 9600, 14400, 19200, "
                       "38400, 56000, 57600 or 115200.");
    return;
  }

  CommDrv.DeviceName = portName;
  CommDrv.SetBaudRate(*speed);
  CommDrv.Open();
  if (CommDrv.Connected() && !CommDrv.LineSettingsApplied()) {
    // The device refused the speed: it would stay at whatever speed it had before.
    CommDrv.Close();
    const std::string speedText = std::to_string(GatewayConfig_.Speed);
    FailConnection("Port " + portName + " does not support " + speedText +
                       " bit/s. Check COM port settings and try again.",
                   "Cannot connect to port " + portName + " at " + speedText +
                       " bit/s: the port does not support this line speed.");
    return;
  }
  if (!CommDrv.Connected()) {
    FailConnection("Check COM port settings and try again.",
                   "Cannot connect to port " + portName +
                       " . Please check this is the correct port for your mobile terminal "
                       "interface");
    return;
  }
  SetStatusText("Connected");
  CommDrv.SetRTS(false);
  CommDrv.SetDTR(false);
  CommDrv.PurgeInput();
  CommDrv.PurgeOutput();
  loop_.Sleep(1500ms);
  CommDrv.SetDTR(true);
  CommDrv.SetRTS(true);

  KeepStoreRequests();
  ResetConveyors();
  writeRefused_ = false;
  textModeShown_ = false;
  InterfaceType = GatewayConfig_.Interface;
  TransferMode = GatewayConfig_.StartupTransfer;

  SetStatusText("Attempting to switch cellular to ETSI " + InterfaceType);
  CommDrv.SetHayesMode();
  BuildInitCommands();
  InitAttempts = 0;
  InitIndex = 0;
  tx_queue_Timer->SetEnabled(true);
  Rx_Queue_Timer->SetEnabled(true);
  if (escapeBeforeInit_) {
    // A terminal left waiting for PDU text after a "> " prompt would take the init
    // string as message data; ESC makes it drop that state first. Whatever it answers
    // to the ESC is let go by before the list starts.
    escapeBeforeInit_ = false;
    const std::uint8_t escape = 0x1B;
    CommDrv.WriteBlock(&escape, 1);
    MoveLink(LinkState::Escaping);
    Etsi_Response_Timer->SetEnabled(false);
    Escape_Settle_Timer->SetEnabled(false);
    Escape_Settle_Timer->SetEnabled(true);
    return;
  }
  StartInitList();
}

void TSMS_Main::Escape_Settle_TimerTimer() {
  Escape_Settle_Timer->SetEnabled(false);
  if (!link_.Is(LinkState::Escaping)) return;
  Received.Reset();
  StartInitList();
}

void TSMS_Main::StartInitList() {
  MoveLink(LinkState::Initialising);
  std::string command = InitCommands[0];
  EnqueueCommand(command, label::kInitCommand);
  Etsi_Response_Timer->SetEnabled(true);
  RestartWatchdog();
}

void TSMS_Main::BuildInitCommands() {
  const GatewayConfig& config = GatewayConfig_;
  std::vector<std::string> list{config.InitString};
  if (InterfaceType == "Block Mode") {
    list.push_back(config.BlockModeCommand);
  } else {
    if (!config.PINCode.empty()) list.push_back("+CPIN=" + Quoted(config.PINCode));
    list.push_back("+CMGF=0");
    if (!config.Mem1.empty()) {
      std::string stores = "+CPMS=" + Quoted(config.Mem1);
      if (!config.Mem2.empty()) {
        stores += "," + Quoted(config.Mem2);
        if (!config.Mem3.empty()) stores += "," + Quoted(config.Mem3);
      }
      list.push_back(stores);
    }
    list.push_back("+CSCA=" + Quoted(config.ServiceCentreAddress));
    // An unknown transfer mode gets no indication setting at all rather than a guess.
    if (TransferMode == 0) list.push_back("+CNMI=0,0,0,0");
    if (TransferMode == 1 || TransferMode == 2) list.push_back("+CNMI=0,1,0,0");
  }
  list.push_back("END");
  list.resize(kInitCommandCount);
  InitCommands = std::move(list);
}

void TSMS_Main::HandleInitResponse(std::span<const std::uint8_t> bytes, int n) {
  std::string line;
  const std::size_t length = std::min(bytes.size(), static_cast<std::size_t>(std::max(n + 1, 0)));
  for (std::size_t i = 0; i < length && bytes[i] != 0; ++i) line.push_back(static_cast<char>(bytes[i]));
  SetStatusText(WithoutPin(line));  // the terminal may echo the PIN command
  // Only a final result answers an init command; echoes and unsolicited lines are shown.
  // Answers while no init command is on the line (a Text Mode session, the answer to the
  // ESC of a reconnection, a stray OK) acknowledge nothing.
  const bool ok = StartsWith(line, "OK") || StartsWith(line, "0");
  const bool refused = !ok && (StartsWith(line, "ERROR") || StartsWith(line, "4") ||
                               StartsWith(line, "+CMS ERROR") || StartsWith(line, "+CME ERROR"));
  if (!ok && !refused) return;
  if (!link_.Is(LinkState::Initialising) && !link_.Is(LinkState::Stalled)) return;
  if (!AnswerCanBeInFlight()) return;
  Answered();
  if (ok) {
    AcknowledgeInitCommand();
  } else {
    RejectInitCommand();
  }
}

void TSMS_Main::AcknowledgeInitCommand() {
  if (InitIndex < 0 || InitIndex + 1 >= kInitCommandCount || InitCommands[InitIndex] == "END") return;
  ++InitIndex;
  if (InitCommands[InitIndex] == "END") {
    EnterSession();
    return;
  }
  if (link_.Is(LinkState::Stalled)) {
    // A late answer: the list goes on, with the response timer watching it again.
    MoveLink(LinkState::Initialising);
    Etsi_Response_Timer->SetEnabled(true);
  }
  std::string command = InitCommands[InitIndex];
  EnqueueCommand(command, label::kInitCommand);
  const bool entryCommandWritten = InitIndex + 1 < kInitCommandCount &&
                                   InitCommands[InitIndex + 1] == "END" &&
                                   InterfaceType == "Block Mode" && !GatewayConfig_.WaitOK;
  if (entryCommandWritten) EnterBlockModeWithoutWaiting();
}

void TSMS_Main::RejectInitCommand() {
  if (InitErrors < kMaxInitErrors) {
    ++InitErrors;
    ConnectTerminal();
    return;
  }
  Connect_Timer->SetEnabled(false);
  Etsi_Response_Timer->SetEnabled(false);
  tx_queue_Timer->SetEnabled(false);
  MoveLink(LinkState::Idle);
  CommDrv.SetHayesMode();
  UpdateConnectionControls();
  DropModeRequests();
  const int index = std::clamp<int>(InitIndex, 0, kInitCommandCount - 1);
  ShowError("The command AT" + WithoutPin(InitCommands[index]) +
            " was rejected by the interface device.");
  SetCursor(TCursor::crDefault);
}

void TSMS_Main::EnterBlockModeWithoutWaiting() {
  shell_.MessageBeep(MB_OK);
  SetStatusText("Entered ETSI Block mode OK");
  MoveLink(LinkState::Session);
  CommDrv.SetBlockMode();
  // No answer to the entry command is awaited, so nothing is outstanding: the No Transfer
  // request goes out at once.
  Answered();
  UpdateConnectionControls();
  RequestNoTransfer();
  ReplayWaitingRequests();
}

void TSMS_Main::EnterSession() {
  if (InterfaceType == "Block Mode") {
    CommDrv.SetBlockMode();
  } else if (InterfaceType == "PDU Mode") {
    CommDrv.SetPDUMode();
  } else if (InterfaceType == "Text Mode") {
    CommDrv.SetTextMode();
  }
  Connect_Timer->SetEnabled(false);
  Etsi_Response_Timer->SetEnabled(false);
  MoveLink(LinkState::Session);
  UpdateConnectionControls();
  shell_.MessageBeep(MB_OK);
  CommDrv.PurgeInput();
  CommDrv.PurgeOutput();
  SetStatusText("Entered ETSI SMS " + InterfaceType + " OK");
  SetCursor(TCursor::crDefault);
  if (CommDrv.BlockType() == btBlock) {
    RequestNoTransfer();
  } else if (TransferMode == 0) {
    SetTransferButtonDown(No_Transfer);
  } else if (TransferMode == 1) {
    SetTransferButtonDown(Transfer_TE);
  } else if (TransferMode == 2) {
    SetTransferButtonDown(Transfer_All);
  }
  ReplayWaitingRequests();
  WakeFastDispatch();
}

void TSMS_Main::Etsi_Response_TimerTimer() {
  if (!link_.Is(LinkState::Initialising)) {
    Etsi_Response_Timer->SetEnabled(false);
    return;
  }
  if (InitAttempts >= kMaxInitAttempts) {
    Etsi_Response_Timer->SetEnabled(false);
    MoveLink(LinkState::Stalled);
    SetStatusText("Failed to enter ETSI SMS " + InterfaceType);
    SetCursor(TCursor::crDefault);
    return;
  }
  ++InitAttempts;
  SetStatusText("Attempt# " + std::to_string(InitAttempts) + " to switch cellular to ETSI SMS " +
                InterfaceType);
  // The awaited command is not written again: a terminal that is only slow would answer
  // both copies, and the second answer would acknowledge the next command unseen. A
  // terminal that stays silent is reconnected by the response watchdog, which starts the
  // list afresh.
}

void TSMS_Main::Connect_TimerTimer() {
  if (ConnectionUnderWay()) return;
  ConnectTerminal();
  InitErrors = 0;
}

void TSMS_Main::Connect_MTClick() {
  if (Connect_MT.Down) {
    // It goes down only when the session is entered; a click while initialising starts
    // the list again.
    Connect_MT.Down = false;
    InitErrors = 0;
    ConnectTerminal();
    return;
  }
  if (GatewayConfig_.AutoConnect && !dialogs_.WarningYesNo(kAutoConnectWarning)) {
    UpdateConnectionControls();
    return;
  }
  Connect_Timer->SetEnabled(false);
  tx_queue_Timer->SetEnabled(false);
  Rx_Queue_Timer->SetEnabled(false);
  DisconnectTerminal();
}

void TSMS_Main::DisconnectTerminal() {
  MoveLink(LinkState::Idle);
  tx_queue_Timer->SetEnabled(false);
  Rx_Queue_Timer->SetEnabled(false);
  Etsi_Response_Timer->SetEnabled(false);
  Ole_Rx_Timeout->SetEnabled(false);
  Response_Watchdog->SetEnabled(false);
  Escape_Settle_Timer->SetEnabled(false);
  CommDrv.SetRTS(false);
  CommDrv.SetDTR(false);
  UpdateConnectionControls();
  DropModeRequests();
}

void TSMS_Main::EndSession() {
  CommDrv.SetHayesMode();
  MoveLink(LinkState::Idle);
  UpdateConnectionControls();
  shell_.MessageBeep(MB_ICONQUESTION);
  // A new connection is tried whatever the Auto Connect setting; reading the
  // configuration then keeps the timer on or switches it off.
  Connect_Timer->SetEnabled(true);
}

void TSMS_Main::CommDrvDSRSignal(SMSDRV32& /*sender*/, bool /*state*/) {
  // Only a PDU Mode session that is entered ends; after a disconnect the line is nobody's.
  if (!Connected() || CommDrv.BlockType() != btPDU) return;
  MoveLink(LinkState::Idle);
  HandleWaitingAnswers();
  SetStatusText("End SMS Mode - DSR from Interface device lost");
  EndSession();
}

void TSMS_Main::UpdateConnectionControls() {
  const bool c = Connected();
  const bool blockSession = CommDrv.BlockType() == btBlock;
  Connect_MT.Down = c;
  No_Transfer.Enabled = c;
  Transfer_TE.Enabled = c && blockSession;
  Menu_Transfer_TE.Enabled = c && blockSession;
  Transfer_All.Enabled = c;
  Mode1.Enabled = c;
  Menu_No_Transfer.Enabled = c;
  Menu_Transfer_All.Enabled = c;
  TrayIcon.Hint = c ? "Kavonet - Connected" : "Kavonet - Disconnected";
  TrayIcon.Enabled = c;
  for (SpeedButton* button : {&No_Transfer, &Transfer_TE, &Transfer_All}) {
    if (!button->Enabled) button->Down = false;
  }
  tx_stage_1.Visible = true;
  tx_stage_2.Visible = false;
  tx_stage_3.Visible = false;
  if (!c) Rx_Ole_Appname.clear();
  SetCursor(TCursor::crDefault);
  tx_queue_Timer->SetEnabled(c);
  ControlsChanged();
}

}  // namespace kavonet
