#pragma once
// The two conveyors between the controller and the serial driver: every AT command and
// Block Mode frame goes out through the CommandQueue, and every received block comes in
// through the RxRing.

#include <cstdint>
#include <string>
#include <vector>

#include "core/WrappingQueue.h"

namespace kavonet {

// Queue labels: the answer handlers look at the label of the slot written last.
namespace label {
inline constexpr const char* kInitCommand = "Init Command";
inline constexpr const char* kSendMessage = "Send Message";
inline constexpr const char* kSendPdu = "Send PDU";
inline constexpr const char* kCopyAllMessages = "Copy All Messages";
inline constexpr const char* kGetNextMessage = "Get Next message";
inline constexpr const char* kNoTransfer = "No Transfer";
inline constexpr const char* kTransferTE = "Transfer T.E.";
inline constexpr const char* kTransferAll = "Transfer All";
inline constexpr const char* kDeleteMessage = "Delete Message";
inline constexpr const char* kGetMessage = "Get Message";
inline constexpr const char* kSignalQuality = "Signal Quality";
}  // namespace label

// A slot holds an AT command as text or a stuffed Block Mode frame, never both: the form
// is recorded so that a slot is never written in the other form with stale bytes.
enum class SlotForm { Empty, Text, Frame };

// The stored message a read or delete is about. It travels with its command so that the
// answer, a retry and a replay after a reconnection are all about the same message.
struct MessageRef {
  std::int16_t MsgIndex = -1;
  // How often the terminal has refused this delete already.
  int Retries = 0;
  // The retrieved message a delete is for (see TSMS_Main::Fingerprint). On a read, asks
  // for the message to be deleted, not received, if it is still this one.
  std::string Fingerprint = {};
  // Its row in the queue store, kept until the terminal's copy is deleted; 0 for none.
  std::int64_t Stored = 0;
};

struct CommandSlot {
  std::string CommandText;
  std::vector<std::uint8_t> FrameBytes;
  int FrameLength = 0;
  std::string Label;
  SlotForm Form = SlotForm::Empty;
  MessageRef Ref;
};

// A read or delete of a stored message, or a change of transfer mode, asked for while no
// session is entered: it waits for the session and is queued in that session's form.
struct SessionRequest {
  enum class Kind { NoTransfer, TransferTE, TransferAll, CopyAll, GetMessage, DeleteMessage };
  Kind kind;
  MessageRef ref = {};
};

using CommandQueue = WrappingQueue<CommandSlot>;

struct RxEntry {
  // The block followed by its terminator byte: BlockBytes[BlockLength] is the terminator.
  std::vector<std::uint8_t> BlockBytes;
  int BlockLength = 0;
  // Blocks received before this one since the gateway started.
  std::uint64_t Sequence = 0;
};

using RxRing = WrappingQueue<RxEntry>;

}  // namespace kavonet
