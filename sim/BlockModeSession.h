#pragma once
// The terminal's side of a Block Mode session: answers the requests of the terminal
// equipment, announces or passes on new messages by the transfer mode in force, and
// can end the session.

#include <cstdint>
#include <optional>

#include "sim/BlockCodes.h"
#include "sim/BlockFrame.h"
#include "sim/TerminalCore.h"

namespace kavonet::sim {

class BlockModeSession {
 public:
  explicit BlockModeSession(TerminalCore& core) : core_(core) {}

  // A new session: no transfer, no listing under way, no partial frame.
  void Begin();
  void Push(std::uint8_t byte);
  // A message was stored at `index`: Incoming Message when messages are transferred,
  // Message Arrived otherwise.
  void IndicateNewMessage(int index);
  // Sends End SMS Mode and hands the line back to AT command mode.
  void End(std::uint8_t cause);

 private:
  void Handle(const ReceivedFrame& frame);
  void GetMessage(std::optional<int> index);
  void TransferRequest(std::uint8_t parameter);
  void InsertSms(const Bytes& body);
  void DeleteMessage(std::uint8_t index);

  void Answer(BlockMessage code, Bytes parameters);
  void SendStoredMessage(BlockMessage code, int index);
  void UnableToProcess();

  TerminalCore& core_;
  FrameReader reader_;
  TransferMode transfer_ = TransferMode::kNoTransfer;
  int listPosition_ = 0;  // index last returned by Get First / Get Next Message
};

}  // namespace kavonet::sim
