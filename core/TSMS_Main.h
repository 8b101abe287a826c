#pragma once
// TSMS_Main: the gateway controller. It owns the serial driver, the five timers, the
// command queue and receive ring, the session state and the controls whose state the
// gateway's logic reads. Every handler runs on the event loop's thread.

#include <cstdint>
#include <ctime>
#include <functional>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "config/GatewayConfig.h"
#include "core/CommandQueue.h"
#include "core/Controls.h"
#include "core/Environment.h"
#include "loop/EventLoop.h"
#include "serial/SMSDRV.h"
#include "sms/ReceivedMessage.h"

namespace kavonet {

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
  // `msgIndex` is recorded with a "Get Message" read.
  void EnqueueCommand(std::string& text, const std::string& label, std::int16_t msgIndex = -1);
  void EnqueueFrame(std::span<const std::uint8_t> frame, int length, const std::string& label);
  void RequeueSlot(int slot);
  void SendNextCommand();
  void CommDrvRxBlock(SMSDRV32& sender, const TBuffer& buffer, int count);
  void Rx_Queue_TimerTimer();
  void DispatchReceivedBlock();

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
  void BuildFrame(std::span<const std::uint8_t> body, const std::string& label);

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
  void DeleteMessage(std::int16_t index);
  void GetMessage(std::int16_t index);

  // ---- Block Mode messages ----
  void HandleBlockMessage(std::span<const std::uint8_t> bytes, int n);
  static std::string CauseText(std::uint8_t code);
  // Also presses the confirmed transfer button, or keeps an Insert SMS outstanding.
  std::string ConfirmText(std::uint8_t type);
  static std::string Hex2(std::uint8_t value);

  // ---- PDU Mode responses ----
  void HandlePduResponse(std::span<const std::uint8_t> bytes, int count);

  // ---- Send queue ----
  // Appends one message to the blank last row of tx_queue.
  void AppendToSendQueue(const std::string& destination, const std::string& text);
  void tx_queue_TimerTimer();
  void ProcessTxQueue();
  void TxConfirmed(const std::string& reference);
  // The terminal refused the message being sent.
  void TxRejected();

  // ---- Receive queue and logs ----
  void AddReceivedMessage(const sms::ReceivedMessage& message);
  void TransmitLog1Click();
  void ReceiveLog1Click();

  // ---- Client interfaces ----
  // Appends one send-queue row per destination: digits, '+' and ',' up to the first ';'
  // count, anything else is dropped; returns how many rows were appended.
  int QueueForDestinations(const std::string& destinations, const std::string& text);
  // One command of the command channel: "destinations;text", first line only.
  void DDE_SendExecuteMacro(const std::string& command);
  void Ole_Rx_TimeoutTimer();
  void Minimize();
  void Restore();
  void NotifyControlsChanged() { ControlsChanged(); }

  // ---- A terminal that stops answering ----
  void Response_WatchdogTimer();

  // ---- State (read by the window and by tests) ----
  bool Connected() const { return Connect_MT.Down; }
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
  // Reconnects when an outstanding command gets no answer for far longer than any
  // network send takes.
  std::unique_ptr<Timer> Response_Watchdog;
  static constexpr Milliseconds kResponseWatchdogInterval{150000};

  // Session state.
  std::string InterfaceType;
  std::int32_t TransferMode = 0;
  int BlockTransferMode = 0;
  bool CommandOutstanding = false;
  bool CopyAllActive = false;
  std::vector<std::string> InitCommands;
  std::int16_t InitIndex = 0;
  std::int16_t InitAttempts = 0;
  std::int16_t InitErrors = 0;
  std::int16_t DeleteMsgIndex = 0;
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
  void EnterSession();
  void DropWaitingRetries();
  void FailConnection(const std::string& status, const std::string& box);
  bool MayRetryDelete(const std::string& indexText);
  std::string LastDeleteIndexText() const;
  bool ReadConfigurationReporting();
  void SetTransferButtonDown(SpeedButton& button);
  void TransferClick(SpeedButton& button, const char* pduCommand, std::uint8_t blockCode,
                     int blockMode, const char* label);
  bool WriteSlot(CommandSlot& slot);
  void RestartWatchdog();
  void ShowTxStage(int stage);
  void DropHeadMessage(const std::string& reason);
  void ReceiveBlockMessage(const std::vector<std::uint8_t>& frame, const char* status);
  std::string TransferConfirmText(bool unknownIsEmpty);
  void DecodePduLine(std::string_view line);
  bool ReadListingHeader(std::string_view line, bool withIndex);
  void HandlePduOk();
  void HandlePduError(const std::string& line);
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
  int deleteRetries_ = 0;
  bool escapeBeforeInit_ = false;
  bool writeRefused_ = false;
  bool connectBoxOpen_ = false;
};

}  // namespace kavonet
