#pragma once
// SMSDRV32: owns one serial port and cuts the received bytes into blocks (lines, PDU
// Mode prompts, Block Mode frames) on the main thread.

#include <array>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

#include "serial/BlockCutter.h"
#include "serial/CommPort.h"

namespace kavonet {

enum TBaudRate {
  cbr110, cbr300, cbr600, cbr1200, cbr2400, cbr4800, cbr9600, cbr14400, cbr19200,
  cbr38400, cbr56000, cbr57600, cbr115200, cbr128000, cbr256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopbits { sb1_0, sb1_5, sb2_0 };
enum TDatabits { da4, da5, da6, da7, da8 };
enum TC32EventState { evBreak, evCTS, evDSR, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };

// A set of TC32EventState.
class TC32EventType {
 public:
  constexpr TC32EventType() = default;
  constexpr TC32EventType(std::initializer_list<TC32EventState> states) {
    for (auto s : states) bits_ |= static_cast<std::uint16_t>(1u << s);
  }
  static constexpr TC32EventType All() {
    return {evBreak, evCTS, evDSR, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty};
  }
  constexpr bool Contains(TC32EventState s) const { return (bits_ >> s) & 1u; }
  // The OR of the event mask bits of the members.
  std::uint32_t EventMask() const;
  friend constexpr bool operator==(TC32EventType, TC32EventType) = default;

 private:
  std::uint16_t bits_ = 0;
};

std::uint32_t BaudRateValue(TBaudRate rate);

class SMSDRV32 {
 public:
  using TC32RxBlockEvent = std::function<void(SMSDRV32& sender, const TBuffer& buffer, int count)>;
  using TC32StateEvent = std::function<void(SMSDRV32& sender, bool state)>;
  using TC32ErrorEvent = std::function<void(SMSDRV32& sender, int errors)>;
  using TC32OpenEvent = std::function<void(SMSDRV32& sender, int error)>;
  using TNotifyEvent = std::function<void(SMSDRV32& sender)>;

  explicit SMSDRV32(CommPort& port);
  ~SMSDRV32();
  SMSDRV32(const SMSDRV32&) = delete;
  SMSDRV32& operator=(const SMSDRV32&) = delete;

  // Published properties. The four line settings apply at once while the port is open.
  std::string DeviceName = "COM2";
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate value);
  TParity Parity() const { return parity_; }
  void SetParity(TParity value);
  TStopbits Stopbits() const { return stopbits_; }
  void SetStopbits(TStopbits value);
  TDatabits Databits() const { return databits_; }
  void SetDatabits(TDatabits value);
  TC32EventType MonitorEvents = TC32EventType::All();
  std::int32_t ReadBufferSize = 16384;
  std::int32_t WriteBufferSize = 4096;
  TBlockType BlockType() const { return cutter_.Mode(); }
  void SetBlockType(TBlockType type);

  TC32OpenEvent OnOpen;
  TNotifyEvent OnBreakSignal;
  TC32StateEvent OnCTSSignal;
  TC32StateEvent OnDSRSignal;
  TC32ErrorEvent OnErrorSignal;
  TNotifyEvent OnRingSignal;
  TNotifyEvent OnRLSDSignal;
  TNotifyEvent OnRxFlagSignal;  // published but never raised: the flag event feeds the cutter
  TNotifyEvent OnTxEmptySignal;
  TC32RxBlockEvent OnRxBlock;

  void Open();
  void Close();
  bool Connected() const;
  // Whether the last Open could apply all four line settings (a device may not support a
  // speed): a port left at another speed talks garbage.
  bool LineSettingsApplied() const { return lineSettingsApplied_; }
  // Queues the bytes and returns at once with `count`, or 0 when the port refuses them.
  int WriteBlock(const std::uint8_t* bytes, int count);
  void PurgeInput();
  void PurgeOutput();
  bool SetDTR(bool on);
  bool SetRTS(bool on);
  void SetHayesMode();
  void SetBlockMode();
  void SetPDUMode();
  void SetTextMode();

  // Runs on the main thread for each event mask the reader thread hands over.
  void HandleCommEvent(std::uint32_t eventMask);
  // Reads `queued` bytes and cuts them into blocks.
  void ReadBlock(int queued);

 private:
  bool ApplyLineSetting(const std::function<void(DCB&)>& change);
  bool ApplyBaudRate();
  bool ApplyParity();
  bool ApplyStopbits();
  bool ApplyDatabits();
  void SetFlagCharacter(std::uint8_t flag);

  CommPort& port_;
  TBaudRate baudRate_ = cbr9600;
  TParity parity_ = paNone;
  TStopbits stopbits_ = sb1_0;
  TDatabits databits_ = da8;
  COMSTAT status_{};
  bool lineSettingsApplied_ = false;
  BlockCutter cutter_;
};

}  // namespace kavonet
