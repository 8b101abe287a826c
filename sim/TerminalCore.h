#pragma once
// What the AT command interpreter and the Block Mode session share: the message
// store, the radio and service centre settings, the armed refusal, the reference
// counter, the line towards the gateway and the record of sent messages.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "sim/MessageStore.h"
#include "sim/SmsPdu.h"

namespace kavonet::sim {

struct TerminalOptions {
  bool startInBlockMode = false;
  std::string blockCommand = "*T";  // without "AT"
  bool shortHeaders = false;        // +CMGL/+CMGR without the empty alpha field
  bool numericResults = false;      // start with ATV0
};

// A message the gateway asked the terminal to send.
struct SentMessage {
  std::string destination;
  std::string text;    // UTF-8
  std::string pduHex;  // the SMS-SUBMIT TPDU
  std::optional<PartOf> part;
};

struct SendOutcome {
  enum class Kind { kAccepted, kRefused, kUndecodable };
  Kind kind = Kind::kUndecodable;
  int reference = 0;  // kAccepted
  int cause = 0;      // kRefused: the armed cause
  std::string error;  // kUndecodable
};

enum class InterfaceMode { kCommand, kBlock };

// Values the gateway or the control channel may change.
struct TerminalSettings {
  std::string serviceCentre = "+4479000000";
  int rssi = 21;
  int ber = 0;
};

class TerminalCore {
 public:
  using Output = std::function<void(std::string_view bytes)>;
  using SendObserver = std::function<void(const SentMessage&)>;

  TerminalCore(TerminalOptions options, Output output, SendObserver onSend);

  const TerminalOptions& Options() const { return options_; }
  void Write(std::string_view bytes) { output_(bytes); }

  // Decodes the TPDU; takes it (reports it, gives it a reference) unless a refusal
  // is armed, which it then uses up.
  SendOutcome Send(const Bytes& tpdu);
  void ArmRefusal(int cause) { refusal_ = cause; }

  MessageStore& Store() { return store_; }
  InterfaceMode Mode() const { return mode_; }
  void SetMode(InterfaceMode mode) { mode_ = mode; }
  TerminalSettings& Settings() { return settings_; }

 private:
  TerminalOptions options_;
  Output output_;
  SendObserver onSend_;
  MessageStore store_;
  TerminalSettings settings_;
  InterfaceMode mode_;
  std::optional<int> refusal_;
  int nextReference_ = 1;
};

}  // namespace kavonet::sim
