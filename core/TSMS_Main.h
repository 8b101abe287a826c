#pragma once
// TSMS_Main: the gateway controller. It owns the serial driver, the five timers, the
// command queue and receive ring, the session state and the controls whose state the
// gateway's logic reads. Every handler runs on the event loop's thread.

#include <cstdint>
#include <ctime>
#include <functional>
#include <filesystem>
#include <memory>
#include <set>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/GatewayConfig.h"
#include "core/CommandQueue.h"
#include "core/Controls.h"
#include "core/Environment.h"
#include "core/MemoryQueueStore.h"
#include "core/QueueStore.h"
#include "core/SessionStates.h"
#include "loop/EventLoop.h"
#include "serial/SMSDRV.h"
#include "sms/ReceivedMessage.h"

namespace kavonet {

// A submission the queue store could not keep: refused, never acknowledged.
class SubmissionRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TSMS_Main {
 public:
  static constexpr int kInitCommandCount = 10;

  // Changes applied to every configuration read, for this run only: the file is not changed.
  using ConfigurationOverride = std::function<void(GatewayConfig&)>;

  // `workDir` stands for the process's current directory: orvsms.ini and the logs live there.
  TSMS_Main(EventLoop& loop, CommPort& port, Dialogs& dialogs, Shell& shell,
            std::filesystem::path workDir, ConfigurationOverride configOverride = {});
  ~TSMS_Main();
  TSMS_Main(const TSMS_Main&) = delete;
  TSMS_Main& operator=(const TSMS_Main&) = delete;

  void SetObserver(ControllerObserver* observer) { observer_ = observer; }

  // ---- Window events ----
  void FormActivate();
  void FormCloseQuery();

  // ---- Conveyors ----
  // Completes `text` in place ("AT" + text + CR unless the label is "Send PDU") and queues it.
  // `ref`: the stored message a read or delete is about.
  void EnqueueCommand(std::string& text, const std::string& label, MessageRef ref = {});
  void EnqueueFrame(std::span<const std::uint8_t> frame, int length, const std::string& label,
                    MessageRef ref = {});
  void SendNextCommand();
  void CommDrvRxBlock(SMSDRV32& sender, const TBuffer& buffer, int count);
  void Rx_Queue_TimerTimer();
  void DispatchReceivedBlock();
  // With "Fast Dispatch" on: handles the blocks received so far, a bounded number per
  // event-loop turn, and starts the next message as soon as the send queue can take one.
  void Fast_Dispatch_TimerTimer();

  // ---- Connection and initialisation ----
  void ConnectTerminal();
  void DisconnectTerminal();
  void HandleInitResponse(std::span<const std::uint8_t> bytes, int n);
  void Etsi_Response_TimerTimer();
  void Connect_TimerTimer();
  // The button has toggled its Down state before this runs, as a click does.
  void Connect_MTClick();
  void CommDrvDSRSignal(SMSDRV32& sender, bool state);
  void UpdateConnectionControls();
  void ReadConfiguration();

  // ---- Block Mode framing ----
  // Frames, stuffs and queues a request body.
  void BuildFrame(std::span<const std::uint8_t> body, const std::string& label,
                  MessageRef ref = {});

  // ---- Transfer modes and message store ----
  void No_TransferClick();
  void Transfer_TEClick();
  void Transfer_AllClick();
  void Menu_No_TransferClick();
  void Menu_Transfer_TEClick();
  void Menu_Transfer_AllClick();
  void RequestNoTransfer();
  void CopyAllMessages();
  void RequestFirstMessage();
  void RequestNextMessage();
  // `fingerprint`: the retrieved message the delete is for.
  void DeleteMessage(std::int16_t index, std::string fingerprint = {});
  void GetMessage(std::int16_t index);
  void Delete(MessageRef ref);
  // A read whose ref carries a fingerprint verifies a delete of unknown outcome.
  void Read(MessageRef ref);

  // ---- Block Mode messages ----
  void HandleBlockMessage(std::span<const std::uint8_t> bytes, int n);
  static std::string CauseText(std::uint8_t code);
  // Also presses the confirmed transfer button, or keeps an Insert SMS outstanding.
  std::string ConfirmText(std::uint8_t type);
  static std::string Hex2(std::uint8_t value);

  // ---- PDU Mode responses ----
  void HandlePduResponse(std::span<const std::uint8_t> bytes, int count);
  // A line (with its terminator) that no state acts on: empty, RING, and in PDU Mode one
  // that neither begins with a response the session handles nor can be a PDU.
  bool LineHasNoRule(std::string_view line) const;

  // ---- Durable queues ----
  // Keeps the queues in `store` from now on (it must outlive the controller) and loads
  // what it kept, before the first connection: unfinished log lines are written, and the
  // rows come back into tx_queue and rx_grid.
  void UseQueueStore(QueueStore& store);
  // Commits the messages and then appends them to tx_queue; throws SubmissionRefused,
  // appending nothing, when the store cannot keep them.
  void Submit(const std::vector<OutgoingMessage>& messages);
  // The user dragging a row of tx_queue (grid rows); false when it may not move.
  bool MoveSendQueueRow(int from, int to);
  // A client has taken the first row of rx_grid: it leaves the queue, and the terminal's
  // copy is deleted (read back first when the row was kept across a restart).
  void HandOverFirstReceived();

  // ---- Send queue ----
  // Appends one message to the blank last row of tx_queue (kept in the store first).
  void AppendToSendQueue(const std::string& destination, const std::string& text);
  void tx_queue_TimerTimer();
  void ProcessTxQueue();
  void TxConfirmed(const std::string& reference);
  // The terminal refused the message being sent.
  void TxRejected();

  // ---- Receive queue and logs ----
  // With "Long Messages" on, a part of a concatenated message is held until the rest has
  // arrived, and then the whole message is one row.
  void AddReceivedMessage(const sms::ReceivedMessage& message);
  void Held_Parts_TimerTimer();
  // Parts held, waiting for the rest of their message.
  std::size_t HeldParts() const;
  // origin|date|time|text of a message as rx_grid shows it: what a retrieved message is
  // recognised by when its index is read again.
  static std::string Fingerprint(const sms::ReceivedMessage& message);
  std::string RowFingerprint(int row) const;
  void TransmitLog1Click();
  void ReceiveLog1Click();
  // Appends a line to a message log; false, and an error box the first time in a row,
  // when it cannot be written.
  bool WriteLogLine(const std::filesystem::path& log, const std::string& line);

  // ---- Client interfaces ----
  // Appends one send-queue row per destination: digits, '+' and ',' up to the first ';'
  // count, anything else is dropped; returns how many rows were appended.
  int QueueForDestinations(const std::string& destinations, const std::string& text);
  // One command of the command channel: "destinations;text", first line only. Returns
  // how many messages were queued.
  int DDE_SendExecuteMacro(const std::string& command);
  void Ole_Rx_TimeoutTimer();
  void Minimize();
  void Restore();
  void NotifyControlsChanged() { ControlsChanged(); }

  // ---- A terminal that stops answering ----
  void Response_WatchdogTimer();

  // A command as the status text and error boxes show it: the argument of +CPIN as
  // "****", since both end up in logs.
  static std::string WithoutPin(std::string_view text);

  // ---- State (read by the window and by tests) ----
  // The session has been entered.
  bool Connected() const { return link_.Is(LinkState::Session); }
  // A connection is being made or the session is entered: a call that would start one
  // leaves it alone.
  bool ConnectionUnderWay() const {
    return link_.Is(LinkState::Session) || link_.Is(LinkState::Initialising) ||
           link_.Is(LinkState::Escaping);
  }
  LinkState Link() const { return link_.Current(); }
  SendState Sending() const { return send_.Current(); }
  // A command or frame has been written and its answer has not been handled yet.
  bool CommandOutstanding() const { return commandOutstanding_; }
  // A Copy All listing is in progress.
  bool CopyAllActive() const { return listing_.Is(ListingState::Listing); }
  // Reads, deletes and mode changes waiting for the session to be entered.
  const std::vector<SessionRequest>& WaitingForSession() const { return waitingForSession_; }
  // Moves a transition table refused: each is a fault in the controller.
  int RefusedTransitions() const {
    return link_.Refused() + send_.Refused() + listing_.Refused();
  }
  const std::string& StatusText() const { return statusText_; }
  TCursor Cursor() const { return cursor_; }
  const GatewayConfig& Config() const { return GatewayConfig_; }
  const std::filesystem::path& WorkDir() const { return workDir_; }
  std::filesystem::path ConfigPath() const { return workDir_ / kConfigFileName; }

  SMSDRV32 CommDrv;

  // Controls.
  SpeedButton Connect_MT{false, true};
  SpeedButton No_Transfer{false, false};
  SpeedButton Transfer_TE{false, false};
  SpeedButton Transfer_All{false, false};
  MenuItem Mode1{false};
  MenuItem Menu_No_Transfer{false};
  MenuItem Menu_Transfer_TE{false};
  MenuItem Menu_Transfer_All{false};
  Image tx_stage_1{true};
  Image tx_stage_2{false};
  Image tx_stage_3{false};
  TrayIconState TrayIcon;
  // The retrieval registration.
  std::string Rx_Ole_Appname;
  // Time-out ticks a registration has left.
  static inline const std::string kOleTicks = "3";
  std::string Ole_Time_Left = kOleTicks;
  TColor Rx_Poll = TColor::clGreen;
  StringGrid tx_queue{{"Destination", "Message Text"}};
  StringGrid rx_grid{{"Msg#", "Status", "Origin", "Date", "Time", "Message Text"}};
  // Signal quality, shown by the communication settings dialog.
  ProgressBar RSSI;
  ProgressBar BER;
  std::string rssi_val;
  std::string ber_val;

  // Timers.
  std::unique_ptr<Timer> Rx_Queue_Timer;
  std::unique_ptr<Timer> tx_queue_Timer;
  std::unique_ptr<Timer> Etsi_Response_Timer;
  std::unique_ptr<Timer> Connect_Timer;
  std::unique_ptr<Timer> Ole_Rx_Timeout;
  // Counts the minutes parts of concatenated messages have waited for the rest of them.
  std::unique_ptr<Timer> Held_Parts_Timer;
  static constexpr Milliseconds kHeldPartsTick{60000};
  static constexpr int kPartsWaitMinutes = 24 * 60;
  // Reconnects when the terminal leaves a command, or the initialisation, unanswered for
  // far longer than any network send takes.
  std::unique_ptr<Timer> Response_Watchdog;
  static constexpr Milliseconds kResponseWatchdogInterval{150000};
  // After the ESC that a reconnection begins with, answers to it are let go by for this
  // long before the init list starts: an OK to the ESC must not acknowledge the init string.
  std::unique_ptr<Timer> Escape_Settle_Timer;
  static constexpr Milliseconds kEscapeSettleInterval{1000};
  // Runs on every event-loop turn while fast dispatch has work; disabled when idle, so
  // an idle gateway uses no CPU either way.
  std::unique_ptr<Timer> Fast_Dispatch_Timer;
  // Enough to drain a listing burst quickly, few enough that the window and the clients
  // are served between batches.
  static constexpr int kBlocksPerFastTurn = 64;

  // Session state.
  std::string InterfaceType;
  std::int32_t TransferMode = 0;
  int BlockTransferMode = 0;
  std::vector<std::string> InitCommands;
  std::int16_t InitIndex = 0;
  std::int16_t InitAttempts = 0;
  std::int16_t InitErrors = 0;
  // Index of the read written last, or of the listing entry being read (PDU Mode).
  std::int16_t RxMsgIndex = 0;
  bool PduLineExpected = false;
  bool RxMsgIsNew = false;
  std::int16_t RxTpduLength = 0;
  bool RxGridBusy = false;
  std::string PendingTxLogLine;

  // The wall clock the logs are dated by.
  std::function<std::time_t()> WallClock = [] { return std::time(nullptr); };

  CommandQueue Commands;
  RxRing Received;

 private:
  void SetStatusText(std::string text);
  void SetCursor(TCursor cursor);
  void ControlsChanged();
  void ShowError(const std::string& text);
  void BuildInitCommands();
  void StartInitList();
  void Escape_Settle_TimerTimer();
  void AcknowledgeInitCommand();
  void RejectInitCommand();
  void EnterSession();
  void EnterBlockModeWithoutWaiting();
  void FailConnection(const std::string& status, const std::string& box);
  void MoveLink(LinkState to);
  void EndSession();
  void ResetConveyors();
  // Fast dispatch: there is work the timers would otherwise wait for.
  void WakeFastDispatch();
  // A message could be started now: the send tick would start one.
  bool SendQueueCanStart() const;
  // Conveyor: the answer to the command written last has been handled.
  void Answered();
  // A command is outstanding and the block being handled arrived after it was written:
  // only then can the block be its answer.
  bool AnswerCanBeInFlight() const;
  bool InFlight(const char* label) const;
  void WriteNow(CommandSlot slot);
  // Waiting for the session.
  bool HoldForSession(SessionRequest request, const char* label);
  void KeepStoreRequests();
  void ReplayWaitingRequests();
  void DropModeRequests();
  void RetryDelete(const std::string& indexText);
  bool DeletePending(std::int16_t index, const std::string& fingerprint) const;
  bool ListingAskedFor() const;
  bool AlreadyReceived(const sms::ReceivedMessage& message) const;
  // A message decoded from the terminal: verifies a delete, or joins the receive queue.
  void MessageRead(const sms::ReceivedMessage& message);
  void HandleWaitingAnswers();
  void DispatchOneBlock();
  bool ReadConfigurationReporting();
  void SetTransferButtonDown(SpeedButton& button);
  void TransferClick(SpeedButton& button, const char* pduCommand, std::uint8_t blockCode,
                     int blockMode, const char* label);
  bool WriteSlot(CommandSlot& slot);
  // Writes a slot and makes it the one in flight; false (box shown, disconnected) when the
  // port refuses it.
  bool Write(CommandSlot slot);
  bool WaitingForTerminal() const;
  void RestartWatchdog();
  // Durable queues.
  static std::int16_t StorageIndex(const std::string& msgNumber);
  static std::string CellsFingerprint(const IncomingMessage& cells);
  void AppendRow(StringGrid& grid, const std::vector<std::string>& cells, RowTag tag);
  void WritePendingLogLines();
  void RestoreSendQueue();
  void RestoreReceiveQueue();
  // Says once, with the file and the reason, that the store stopped keeping the queues.
  void CheckStore();
  void MarkHeadOnTheLine(const CommandSlot& slot);
  void StoreConfirmation();
  void KeepReceived(int row);
  // The stored row a read or delete was about needs no more work.
  void ForgetReceived(const MessageRef& ref);
  void ReportProblem(const std::string& text);
  // Send cycle.
  void MoveSend(SendState to);
  void SlotWritten(const std::string& label);
  void PromptReceived();
  bool MessageOnTheLine() const;
  void ResetSendCycle();
  void ShowTxStage(int stage);
  void DropHeadMessage(const std::string& reason);
  // Parts of concatenated messages.
  struct HeldPart {
    IncomingMessage cells;  // as a row of its own shows it
    int number = 0;
    StoreId stored = 0;
    bool restored = false;  // kept across a restart: its copy is verified before a delete
  };
  struct PartGroup {
    std::string origin;
    MessagePart key;               // reference and total
    std::vector<HeldPart> parts;   // in arrival order, each number once
    int minutesHeld = 0;
  };
  struct JoinedRow {
    IncomingMessage cells;
    RowTag tag;
  };
  static JoinedRow Join(std::vector<HeldPart> parts);
  // False when the message is not a part to hold: it is shown on its own.
  bool HoldPart(const sms::ReceivedMessage& message);
  void HoldStoredPart(const IncomingRow& row);
  // Joins the part to its group (which must not hold its number yet); a complete group is
  // shown.
  void Hold(const std::string& origin, const MessagePart& key, HeldPart part);
  PartGroup* HeldGroup(const std::string& origin, const MessagePart& key);
  static bool Holds(const PartGroup* group, int number);
  bool HeldAlready(std::int16_t index, const std::string& fingerprint) const;
  void ShowReceivedRow(const IncomingMessage& cells, RowTag tag);
  // Listing.
  void EndListing();
  void ReceiveBlockMessage(const std::vector<std::uint8_t>& frame, const char* status);
  std::string TransferConfirmText(bool unknownIsEmpty);
  void DecodePduLine(std::string_view line);
  bool ReadListingHeader(std::string_view line, bool withIndex);
  void HandlePduOk();
  void HandlePduError(const std::string& line);
  void HandleBlockAnswer(std::uint8_t code, const std::vector<std::uint8_t>& frame);
  void ShowSignalQuality(const std::vector<std::string_view>& fields);

  EventLoop& loop_;
  Dialogs& dialogs_;
  Shell& shell_;
  std::filesystem::path workDir_;
  ConfigurationOverride configOverride_;
  ControllerObserver* observer_ = nullptr;
  GatewayConfig GatewayConfig_;
  std::string statusText_;
  TCursor cursor_ = TCursor::crDefault;
  int headRefusals_ = 0;
  static constexpr int kMaxDeleteRetries = 3;
  bool escapeBeforeInit_ = false;
  bool textModeShown_ = false;
  StateMachine<LinkState, kLinkTransitions.size()> link_{LinkState::Idle, kLinkTransitions};
  StateMachine<SendState, kSendTransitions.size()> send_{SendState::Idle, kSendTransitions};
  StateMachine<ListingState, kListingTransitions.size()> listing_{ListingState::Idle,
                                                                   kListingTransitions};
  bool commandOutstanding_ = false;
  // A fast dispatch turn is running: a modal box inside a handler must not start another.
  bool fastDispatching_ = false;
  std::uint64_t blocksReceived_ = 0;
  // Blocks received when the command in flight was written.
  std::uint64_t inFlightSince_ = 0;
  // The block being handled (the newest possible outside a dispatch).
  std::uint64_t handlingBlock_ = UINT64_MAX;
  bool watchdogGraceUsed_ = false;
  // The read in flight has delivered its message: only its final result is awaited.
  bool readDelivered_ = false;
  // The slot written last: answers are matched to it.
  CommandSlot inFlight_;
  // The PDU text of the message whose "+CMGS=" line is on its way: written on the prompt.
  std::string pendingPduText_;
  // Parts of the head message being sent; its tag counts those confirmed.
  int partsInMessage_ = 1;
  std::vector<PartGroup> heldParts_;
  std::vector<SessionRequest> waitingForSession_;
  bool writeRefused_ = false;
  bool connectBoxOpen_ = false;
  MemoryQueueStore ownStore_;
  QueueStore* store_ = &ownStore_;
  bool storeFaultReported_ = false;
  // The verifying read on the line found its message unchanged and deleted it.
  bool readMatched_ = false;
  // Logs whose last write failed: reported once until one succeeds.
  std::set<std::string> failingLogs_;
};

}  // namespace kavonet
