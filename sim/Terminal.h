#pragma once
// The simulated GSM terminal without any transport: bytes from the gateway go in
// through Receive(), bytes to the gateway come out through the output callback. The
// control operations (deliver a message, refuse a send, leave Block Mode, ...) act
// on it between inputs.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/AtInterpreter.h"
#include "sim/BlockModeSession.h"
#include "sim/SmsPdu.h"
#include "sim/TerminalCore.h"

namespace kavonet::sim {

class Terminal {
 public:
  using Clock = std::function<SmsTimestamp()>;

  // Longest raw TPDU taken by DeliverPdu.
  static constexpr std::size_t kMaxTpdu = 200;

  Terminal(TerminalOptions options, TerminalCore::Output output,
           TerminalCore::SendObserver onSend, Clock clock);

  void Receive(std::string_view bytes);

  // Store a message and announce it by the mode in force; the result is the index of
  // each part (one unless the text needs a concatenated message).
  Decoded<std::vector<int>> Deliver(std::string_view origin, std::string_view utf8Text);
  Decoded<int> DeliverPdu(const Bytes& tpdu);
  // Store a message without announcing it.
  Decoded<std::vector<int>> Store(std::string_view origin, std::string_view utf8Text);

  void RefuseNextSend(int cause) { core_.ArmRefusal(cause); }
  // A silent terminal ignores everything the gateway writes.
  void SetSilent(bool silent) { silent_ = silent; }
  // False when the terminal is not in Block Mode.
  bool LeaveBlockMode(std::uint8_t cause);
  void SendRaw(const Bytes& bytes);
  void SetSignal(int rssi, int ber);

  MessageStore& Messages() { return core_.Store(); }
  InterfaceMode Mode() const { return core_.Mode(); }

 private:
  Decoded<int> StoreTpdu(Bytes tpdu);
  std::uint8_t nextConcatReference_ = 1;
  void Announce(int index);
  void Emit(std::string_view bytes);

  // Output made while one input chunk is handled goes out in one piece.
  TerminalCore::Output output_;
  std::string batch_;
  bool batching_ = false;
  TerminalCore core_;
  AtInterpreter at_;
  BlockModeSession block_;
  Clock clock_;
  bool silent_ = false;
};

}  // namespace kavonet::sim
