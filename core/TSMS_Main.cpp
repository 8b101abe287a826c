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
  Escape_Settle_Timer =
      loop_.CreateTimer(kEscapeSettleInterval, [this] { Escape_Settle_TimerTimer(); });
  Held_Parts_Timer = loop_.CreateTimer(kHeldPartsTick, [this] { Held_Parts_TimerTimer(); });
  Fast_Dispatch_Timer = loop_.CreateTimer(0ms, [this] { Fast_Dispatch_TimerTimer(); });

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
  if (ConnectionUnderWay()) return;
  GatewayConfig_.AutoConnect = IniFile(ConfigPath()).ReadBool("Startup", "Auto Connect", false);
  if (GatewayConfig_.AutoConnect) ConnectTerminal();
}

void TSMS_Main::FormCloseQuery() {
  if (Connected()) DisconnectTerminal();
}

// ---- Conveyors ----

void TSMS_Main::EnqueueCommand(std::string& text, const std::string& label, MessageRef ref) {
  if (label != label::kSendPdu) text = "AT" + text + "\r";
  CommandSlot& slot = Commands.WriteSlot();
  slot = CommandSlot{};
  slot.CommandText = text;
  slot.Label = label;
  slot.Form = SlotForm::Text;
  slot.Ref = std::move(ref);
  Commands.AdvanceWrite();
  SendNextCommand();
}

void TSMS_Main::EnqueueFrame(std::span<const std::uint8_t> frame, int length,
                             const std::string& label, MessageRef ref) {
  length = std::clamp(length, 0, static_cast<int>(frame.size()));
  CommandSlot& slot = Commands.WriteSlot();
  slot = CommandSlot{};
  slot.FrameBytes.assign(frame.begin(), frame.begin() + length);
  slot.FrameLength = length;
  slot.Label = label;
  slot.Form = SlotForm::Frame;
  slot.Ref = std::move(ref);
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
    if (Commands.Empty() || commandOutstanding_ || writeRefused_) return;
    // Outside a session only the init list goes out; everything else waits for the next
    // connection, which keeps the reads and deletes among it.
    if (!link_.Is(LinkState::Initialising) && !link_.Is(LinkState::Session)) return;
    const bool blockSession = CommDrv.BlockType() == btBlock;
    if (CopyAllActive() && CommDrv.BlockType() == btPDU) return;

    CommandSlot& slot = Commands.ReadSlot();
    const SlotForm expected = blockSession ? SlotForm::Frame : SlotForm::Text;
    const bool fits = slot.Form == expected &&
                      (link_.Is(LinkState::Session) || slot.Label == label::kInitCommand);
    if (!fits) {
      // Queued for another kind of session, or a session command while initialising:
      // the terminal could not take it now.
      Commands.AdvanceRead();
      continue;
    }
    CommandSlot written = slot;
    Commands.AdvanceRead();
    if (!Write(std::move(written))) return;
  }
}

bool TSMS_Main::Write(CommandSlot slot) {
  MarkHeadOnTheLine(slot);
  if (!WriteSlot(slot)) {
    // Nothing more is written until the next connection: one box per failure.
    writeRefused_ = true;
    ShowError(kWriteFailedText);
    DisconnectTerminal();
    return false;
  }
  if (slot.Label != label::kSendPdu) {
    SetStatusText(slot.Form == SlotForm::Frame ? std::string() : WithoutPin(slot.CommandText));
  }
  if (slot.Label == label::kGetMessage) RxMsgIndex = slot.Ref.MsgIndex;
  readDelivered_ = false;
  readMatched_ = false;
  inFlight_ = std::move(slot);
  commandOutstanding_ = true;
  inFlightSince_ = blocksReceived_;
  SlotWritten(inFlight_.Label);
  RestartWatchdog();
  return true;
}

void TSMS_Main::WriteNow(CommandSlot slot) {
  if (writeRefused_) return;
  Write(std::move(slot));
}

void TSMS_Main::Answered() {
  // A verifying read that found another message, or none, leaves nothing to delete.
  if (commandOutstanding_ && inFlight_.Label == label::kGetMessage && !readMatched_) {
    ForgetReceived(inFlight_.Ref);
  }
  commandOutstanding_ = false;
  RestartWatchdog();
}

bool TSMS_Main::AnswerCanBeInFlight() const {
  return commandOutstanding_ && handlingBlock_ >= inFlightSince_;
}

bool TSMS_Main::InFlight(const char* label) const {
  return AnswerCanBeInFlight() && inFlight_.Label == label;
}

void TSMS_Main::ResetConveyors() {
  Commands.Reset();
  Received.Reset();
  PduLineExpected = false;
  commandOutstanding_ = false;
  inFlight_ = CommandSlot{};
  if (CopyAllActive()) listing_.MoveTo(ListingState::Idle);
  ResetSendCycle();
}

void TSMS_Main::CommDrvRxBlock(SMSDRV32& /*sender*/, const TBuffer& buffer, int count) {
  count = std::clamp(count, 0, kBufferSize - 1);
  // Handled one per receive tick, a burst of lines nothing acts on would hold up every
  // answer and message behind it: they are dropped here, timers untouched.
  const std::string_view line(reinterpret_cast<const char*>(buffer.data()),
                              static_cast<std::size_t>(count) + 1);
  if (CommDrv.BlockType() != btBlock && LineHasNoRule(line)) return;
  Rx_Queue_Timer->SetEnabled(false);
  tx_queue_Timer->SetEnabled(false);
  RxEntry& entry = Received.WriteSlot();
  entry.BlockBytes.assign(buffer.begin(), buffer.begin() + count + 1);
  entry.BlockLength = count;
  entry.Sequence = blocksReceived_++;
  Received.AdvanceWrite();
  Rx_Queue_Timer->SetEnabled(true);
  WakeFastDispatch();
}

// ---- A terminal that stops answering ----

bool TSMS_Main::WaitingForTerminal() const {
  return commandOutstanding_ || link_.Is(LinkState::Initialising) || link_.Is(LinkState::Stalled);
}

void TSMS_Main::RestartWatchdog() {
  Response_Watchdog->SetEnabled(false);
  watchdogGraceUsed_ = false;
  if (WaitingForTerminal()) Response_Watchdog->SetEnabled(true);
}

void TSMS_Main::Response_WatchdogTimer() {
  if (!WaitingForTerminal()) {
    Response_Watchdog->SetEnabled(false);
    return;
  }
  // The answer may be among blocks not handled yet: wait for them once, not for ever.
  if (!Received.Empty() && !watchdogGraceUsed_) {
    watchdogGraceUsed_ = true;
    return;
  }
  Response_Watchdog->SetEnabled(false);
  SetStatusText("No answer from the Mobile Terminal for " +
                std::to_string(kResponseWatchdogInterval.count() / 1000) +
                " seconds - reconnecting");
  escapeBeforeInit_ = true;
  if (Connected()) MoveLink(LinkState::Idle);
  UpdateConnectionControls();
  ConnectTerminal();
}

void TSMS_Main::Rx_Queue_TimerTimer() { DispatchReceivedBlock(); }

void TSMS_Main::DispatchReceivedBlock() {
  if (Received.Empty()) return;
  tx_queue_Timer->SetEnabled(false);
  Rx_Queue_Timer->SetEnabled(false);
  DispatchOneBlock();
  SendNextCommand();
  tx_queue_Timer->SetEnabled(Connected());
  Rx_Queue_Timer->SetEnabled(true);
}

void TSMS_Main::WakeFastDispatch() {
  if (GatewayConfig_.FastDispatch && !fastDispatching_) Fast_Dispatch_Timer->SetEnabled(true);
}

void TSMS_Main::Fast_Dispatch_TimerTimer() {
  Fast_Dispatch_Timer->SetEnabled(false);
  if (!GatewayConfig_.FastDispatch) return;
  fastDispatching_ = true;
  for (int handled = 0; handled < kBlocksPerFastTurn && !Received.Empty(); ++handled) {
    DispatchReceivedBlock();
  }
  // A confirmation or refusal handled above lets the next message go now, not on the tick.
  if (SendQueueCanStart()) tx_queue_TimerTimer();
  fastDispatching_ = false;
  // More blocks, or a row that was dropped instead of sent: another turn, after the
  // window and the clients have had theirs.
  if (!Received.Empty() || SendQueueCanStart()) WakeFastDispatch();
}

void TSMS_Main::DispatchOneBlock() {
  // Taken out of the ring before any handler runs: a handler's modal box lets the driver
  // store further blocks, which may grow the ring.
  std::vector<std::uint8_t> block;
  std::swap(block, Received.ReadSlot().BlockBytes);
  const int n = Received.ReadSlot().BlockLength;
  handlingBlock_ = Received.ReadSlot().Sequence;
  Received.AdvanceRead();

  switch (CommDrv.BlockType()) {
    case btBlock:
      HandleBlockMessage(block, n);
      break;
    case btPDU:
      HandlePduResponse(block, n + 1);
      break;
    case btHayes:
    case btText:
      HandleInitResponse(block, n);
      break;
  }
  handlingBlock_ = UINT64_MAX;
}

void TSMS_Main::HandleWaitingAnswers() {
  // Answers that arrived before a session ended belong to it: a send confirmation among
  // them must be seen, or the message would go out again. Lines received while
  // initialising answer a list that is being started over, and are let go.
  const TBlockType type = CommDrv.BlockType();
  if (type != btPDU && type != btBlock) return;
  while (!Received.Empty() && CommDrv.BlockType() == type) DispatchOneBlock();
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
