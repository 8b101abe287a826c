#pragma once
// Message codes, cause codes and confirm types of the Block Mode protocol.

#include <cstdint>

namespace kavonet::sim {

// Requests from the terminal equipment (the gateway).
enum class BlockRequest : std::uint8_t {
  kGetMessage = 0x01,
  kGetFirstMessage = 0x02,
  kGetNextMessage = 0x03,
  kTransferRequest = 0x05,
  kInsertSms = 0x07,
  kDeleteMessage = 0x08,
};

// Messages from the mobile terminal (the simulator).
enum class BlockMessage : std::uint8_t {
  kMessageList = 0x20,
  kMessage = 0x21,
  kGetMessageFailure = 0x22,
  kIncomingMessage = 0x23,
  kMessageArrived = 0x24,
  kInsertSmsComplete = 0x25,
  kInsertSmsFailure = 0x26,
  kDeleteMessageComplete = 0x27,
  kDeleteMessageFailure = 0x28,
  kUnableToProcess = 0x29,
  kRequestConfirmed = 0x2A,
  kEndSmsMode = 0x3F,
};

enum class BlockCause : std::uint8_t {
  kNoSuchMessage = 0x00,
  kNoMemory = 0x01,
  kNoAirInterface = 0x02,
  kReceivingEntityBusy = 0x03,
  kCommandNotUnderstood = 0x04,
  kIncomingDataCall = 0x05,
  kUserInvokedExit = 0x06,
  kMessageTransferFailed = 0x87,
};

enum class ConfirmType : std::uint8_t {
  kReserved = 0,
  kTransferRequest = 1,
  kCbsTransfer = 2,
  kTransferRequestAlternative = 3,
  kAttemptToSend = 4,
};

// Parameter of Transfer Request: which incoming messages the terminal passes on.
enum class TransferMode : std::uint8_t {
  kNoTransfer = 0x00,
  kTransferAll = 0x02,
  kTransferTe = 0x03,
};

}  // namespace kavonet::sim
