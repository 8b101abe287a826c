#include "core/TSMS_Main.h"

#include <algorithm>
#include <utility>

#include "config/IniFile.h"

namespace kavonet {

using namespace std::chrono_literals;

namespace {
constexpr const char* kWriteFailedText =
    "Kavonet was unable to send your command to the Mobile Terminal. Please check the Mobile "
    "Terminal is properly connected and operational, then press the Connect button.";
}  // namespace

TSMS_Main::TSMS_Main(EventLoop& loop, CommPort& port, Dialogs& dialogs, Shell& shell,
                     std::filesystem::path workDir, ConfigurationOverride configOverride)
    : CommDrv(port),
      loop_(loop),
      dialogs_(dialogs),
      shell_(shell),
      workDir_(std::move(workDir)),
      configOverride_(std::move(configOverride)) {
  Rx_Queue_Timer = loop_.CreateTimer(350ms, [this] { Rx_Queue_TimerTimer(); });
  tx_queue_Timer = loop_.CreateTimer(1000ms, [this] { tx_queue_TimerTimer(); });
  Etsi_Response_Timer = loop_.CreateTimer(30000ms, [this] { Etsi_Response_TimerTimer(); });
  Connect_Timer = loop_.CreateTimer(15000ms, [this] { Connect_TimerTimer(); });
  Ole_Rx_Timeout = loop_.CreateTimer(180000ms, [this] { Ole_Rx_TimeoutTimer(); });
  Response_Watchdog =
      loop_.CreateTimer(kResponseWatchdogInterval, [this] { Response_WatchdogTimer(); });

  CommDrv.MonitorEvents = {evDSR, evRxFlag};
  CommDrv.OnRxBlock = [this](SMSDRV32& sender, const TBuffer& buffer, int count) {
    CommDrvRxBlock(sender, buffer, count);
  };
  CommDrv.OnDSRSignal = [this](SMSDRV32& sender, bool state) { CommDrvDSRSignal(sender, state); };

  InitCommands.assign(kInitCommandCount, std::string());
  CommDrv.SetHayesMode();
  Rx_Queue_Timer->SetEnabled(true);
  ReadConfigurationReporting();
}

TSMS_Main::~TSMS_Main() { CommDrv.Close(); }

// ---- Window events ----

void TSMS_Main::FormActivate() {
  if (Connected()) return;
  GatewayConfig_.AutoConnect = IniFile(ConfigPath()).ReadBool("Startup", "Auto Connect", false);
  if (GatewayConfig_.AutoConnect) ConnectTerminal();
}

void TSMS_Main::FormCloseQuery() {
  if (Connected()) DisconnectTerminal();
}

// ---- Conveyors ----

void TSMS_Main::EnqueueCommand(std::string& text, const std::string& label,
                               std::int16_t msgIndex) {
  if (label != label::kSendPdu) text = "AT" + text + "\r";
  CommandSlot& slot = Commands.WriteSlot();
  slot.CommandText = text;
  slot.Label = label;
  slot.Form = SlotForm::Text;
  slot.MsgIndex = msgIndex;
  Commands.AdvanceWrite();
  SendNextCommand();
}

void TSMS_Main::EnqueueFrame(std::span<const std::uint8_t> frame, int length,
                             const std::string& label) {
  length = std::clamp(length, 0, static_cast<int>(frame.size()));
  CommandSlot& slot = Commands.WriteSlot();
  slot.FrameBytes.assign(frame.begin(), frame.begin() + length);
  slot.FrameLength = length;
  slot.Label = label;
  slot.Form = SlotForm::Frame;
  slot.MsgIndex = -1;
  Commands.AdvanceWrite();
  SendNextCommand();
}

void TSMS_Main::RequeueSlot(int slot) {
  if (slot < 0 || slot >= Commands.Capacity()) return;
  CommandSlot copy = Commands.At(slot);
  Commands.WriteSlot() = std::move(copy);
  Commands.AdvanceWrite();
  SendNextCommand();
}

bool TSMS_Main::WriteSlot(CommandSlot& slot) {
  if (slot.Form == SlotForm::Frame) {
    return CommDrv.WriteBlock(slot.FrameBytes.data(), slot.FrameLength) == slot.FrameLength;
  }
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(slot.CommandText.data());
  const int length = static_cast<int>(slot.CommandText.size());
  return CommDrv.WriteBlock(bytes, length) == length;
}

void TSMS_Main::SendNextCommand() {
  for (;;) {
    if (Commands.Empty() || CommandOutstanding || writeRefused_) return;
    const bool blockSession = CommDrv.BlockType() == btBlock;
    if (CopyAllActive && CommDrv.BlockType() == btPDU) return;

    CommandSlot& slot = Commands.ReadSlot();
    const SlotForm expected = blockSession ? SlotForm::Frame : SlotForm::Text;
    if (slot.Form != expected) {
      // Queued for the other kind of session (the terminal left Block Mode while it
      // waited): it has nothing the terminal could take now. Skip it, keeping the slot
      // written last where the answer handlers look for it.
      slot = Commands.At(Commands.LastReadIndex());
      Commands.AdvanceRead();
      continue;
    }

    const std::string shown = blockSession ? std::string() : slot.CommandText;
    const std::string label = slot.Label;
    if (!WriteSlot(slot)) {
      // Nothing more is written until the next connection: one box per failure.
      writeRefused_ = true;
      ShowError(kWriteFailedText);
      DisconnectTerminal();
      return;
    }
    if (label == label::kSendPdu) {
      if (tx_stage_2.Visible) {
        tx_stage_1.Visible = false;
        tx_stage_2.Visible = false;
        tx_stage_3.Visible = true;
        SetCursor(TCursor::crHourGlass);
        ControlsChanged();
      }
    } else {
      SetStatusText(shown);
    }
    if (label == label::kCopyAllMessages) CopyAllActive = true;
    Commands.AdvanceRead();
    CommandOutstanding = true;
    RestartWatchdog();
    return;
  }
}

void TSMS_Main::CommDrvRxBlock(SMSDRV32& /*sender*/, const TBuffer& buffer, int count) {
  Rx_Queue_Timer->SetEnabled(false);
  tx_queue_Timer->SetEnabled(false);
  count = std::clamp(count, 0, kBufferSize - 1);
  RxEntry& entry = Received.WriteSlot();
  entry.BlockBytes.assign(buffer.begin(), buffer.begin() + count + 1);
  entry.BlockLength = count;
  Received.AdvanceWrite();
  Rx_Queue_Timer->SetEnabled(true);
  // The terminal is talking: whatever it owes us may still be on its way.
  if (Response_Watchdog->Enabled()) RestartWatchdog();
}

void TSMS_Main::RestartWatchdog() {
  Response_Watchdog->SetEnabled(false);
  Response_Watchdog->SetEnabled(true);
}

void TSMS_Main::Response_WatchdogTimer() {
  if (!Connected() || !CommandOutstanding) {
    Response_Watchdog->SetEnabled(false);
    return;
  }
  if (!Received.Empty()) return;  // still working through what the terminal sent
  Response_Watchdog->SetEnabled(false);
  SetStatusText("No answer from the Mobile Terminal for " +
                std::to_string(kResponseWatchdogInterval.count() / 1000) +
                " seconds - reconnecting");
  escapeBeforeInit_ = true;
  Connect_MT.Down = false;
  UpdateConnectionControls();
  ConnectTerminal();
}

void TSMS_Main::Rx_Queue_TimerTimer() { DispatchReceivedBlock(); }

void TSMS_Main::DispatchReceivedBlock() {
  if (Received.Empty()) return;
  tx_queue_Timer->SetEnabled(false);
  Rx_Queue_Timer->SetEnabled(false);

  // Taken out of the ring before any handler runs: a handler's modal box lets the driver
  // store further blocks, which may grow the ring.
  std::vector<std::uint8_t> block;
  std::swap(block, Received.ReadSlot().BlockBytes);
  const int n = Received.ReadSlot().BlockLength;
  Received.AdvanceRead();

  switch (CommDrv.BlockType()) {
    case btBlock:
      HandleBlockMessage(block, n);
      break;
    case btPDU:
      HandlePduResponse(block, n + 1);
      break;
    case btHayes:
      HandleInitResponse(block, n);
      break;
    case btText:
      break;
  }
  SendNextCommand();
  tx_queue_Timer->SetEnabled(Connected());
  Rx_Queue_Timer->SetEnabled(true);
}

// ---- Helpers ----

void TSMS_Main::SetStatusText(std::string text) {
  statusText_ = std::move(text);
  if (observer_) observer_->StatusTextChanged(statusText_);
}

void TSMS_Main::SetCursor(TCursor cursor) {
  cursor_ = cursor;
  shell_.SetCursor(cursor);
}

void TSMS_Main::ControlsChanged() {
  if (observer_) observer_->ControlsChanged();
}

void TSMS_Main::ShowError(const std::string& text) { dialogs_.ErrorBox(text); }

}  // namespace kavonet
