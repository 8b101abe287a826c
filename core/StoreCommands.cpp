// Transfer modes and the commands that read, copy and delete the messages stored in the
// terminal. Each has an AT command form and a Block Mode request form, chosen by the
// driver's block type at the moment of the call.

#include <algorithm>
#include <array>
#include <string>

#include "core/BlockFrame.h"
#include "core/TSMS_Main.h"

namespace kavonet {

namespace {
// Block Mode request codes.
constexpr std::uint8_t kGetMessageRequest = 0x01;
constexpr std::uint8_t kGetFirstMessageRequest = 0x02;
constexpr std::uint8_t kGetNextMessageRequest = 0x03;
constexpr std::uint8_t kTransferRequest = 0x05;
constexpr std::uint8_t kDeleteMessageRequest = 0x08;

std::uint8_t LowByte(std::int16_t index) { return static_cast<std::uint8_t>(index & 0xFF); }
}  // namespace

void TSMS_Main::BuildFrame(std::span<const std::uint8_t> body, const std::string& label,
                           MessageRef ref) {
  const std::vector<std::uint8_t> frame = StuffedFrame(body);
  EnqueueFrame(frame, static_cast<int>(frame.size()), label, std::move(ref));
}

void TSMS_Main::SetTransferButtonDown(SpeedButton& button) {
  // The three transfer buttons are one group: one down releases the others.
  No_Transfer.Down = false;
  Transfer_TE.Down = false;
  Transfer_All.Down = false;
  button.Down = true;
  ControlsChanged();
}

void TSMS_Main::TransferClick(SpeedButton& button, const char* pduCommand,
                              std::uint8_t blockCode, int blockMode, const char* label) {
  // A click presses the button, releasing the group; it goes down for good only when the
  // terminal confirms the mode.
  No_Transfer.Down = false;
  Transfer_TE.Down = false;
  Transfer_All.Down = false;
  button.Down = false;
  ControlsChanged();
  using Kind = SessionRequest::Kind;
  const Kind kind = blockMode == 0 ? Kind::NoTransfer : blockMode == 1 ? Kind::TransferTE
                                                                       : Kind::TransferAll;
  if (HoldForSession({kind}, label)) return;
  if (CommDrv.BlockType() != btBlock) {
    std::string command = pduCommand;
    EnqueueCommand(command, label);
  } else {
    BlockTransferMode = blockMode;
    const std::array<std::uint8_t, 2> body{kTransferRequest, blockCode};
    BuildFrame(body, label);
  }
}

void TSMS_Main::No_TransferClick() {
  TransferClick(No_Transfer, "+CNMI=0,0,0,0", 0x00, 0, label::kNoTransfer);
}

void TSMS_Main::Transfer_TEClick() {
  TransferClick(Transfer_TE, "+CNMI=1,1,0,0", 0x03, 1, label::kTransferTE);
}

void TSMS_Main::Transfer_AllClick() {
  TransferClick(Transfer_All, "+CNMI=1,1,0,0", 0x02, 3, label::kTransferAll);
}

void TSMS_Main::Menu_No_TransferClick() { No_TransferClick(); }
void TSMS_Main::Menu_Transfer_TEClick() { Transfer_TEClick(); }
void TSMS_Main::Menu_Transfer_AllClick() { Transfer_AllClick(); }

void TSMS_Main::RequestNoTransfer() {
  BlockTransferMode = 0;
  const std::array<std::uint8_t, 2> body{kTransferRequest, 0x00};
  BuildFrame(body, label::kNoTransfer);
}

bool TSMS_Main::ListingAskedFor() const {
  return CopyAllActive() || Commands.AnyWaiting([](const CommandSlot& slot) {
           return slot.Label == label::kCopyAllMessages;
         });
}

void TSMS_Main::CopyAllMessages() {
  if (HoldForSession({SessionRequest::Kind::CopyAll}, label::kCopyAllMessages)) return;
  // A listing already asked for will copy every message: a second would only repeat it.
  if (ListingAskedFor()) return;
  // A client listing again and again must not hold back the send queue for ever: the
  // message at its head goes first.
  tx_queue_TimerTimer();
  if (CommDrv.BlockType() == btBlock) {
    RequestFirstMessage();
    return;
  }
  std::string command = "+CMGL=4";
  EnqueueCommand(command, label::kCopyAllMessages);
}

void TSMS_Main::RequestFirstMessage() {
  const std::array<std::uint8_t, 1> body{kGetFirstMessageRequest};
  BuildFrame(body, label::kCopyAllMessages);
}

void TSMS_Main::RequestNextMessage() {
  const std::array<std::uint8_t, 1> body{kGetNextMessageRequest};
  BuildFrame(body, label::kGetNextMessage);
}

void TSMS_Main::EndListing() {
  if (CopyAllActive()) listing_.MoveTo(ListingState::Idle);
}

void TSMS_Main::DeleteMessage(std::int16_t index, std::string fingerprint) {
  Delete({index, 0, std::move(fingerprint)});
}

void TSMS_Main::Delete(MessageRef ref) {
  if (HoldForSession({SessionRequest::Kind::DeleteMessage, ref}, label::kDeleteMessage)) return;
  const std::int16_t index = ref.MsgIndex;
  if (CommDrv.BlockType() == btBlock) {
    const std::array<std::uint8_t, 2> body{kDeleteMessageRequest, LowByte(index)};
    BuildFrame(body, label::kDeleteMessage, std::move(ref));
    return;
  }
  std::string command = "+CMGD=" + std::to_string(index);
  EnqueueCommand(command, label::kDeleteMessage, std::move(ref));
}

void TSMS_Main::RetryDelete(const std::string& indexText) {
  // A message that is already gone is refused for ever: retrying without end would keep
  // the terminal busy and every other command waiting.
  MessageRef ref = inFlight_.Ref;
  if (++ref.Retries > kMaxDeleteRetries) {
    SetStatusText("Delete Message Failure - Msg# [" + indexText + "] given up after " +
                  std::to_string(kMaxDeleteRetries) + " retries");
    ForgetReceived(ref);
    return;
  }
  Delete(std::move(ref));
}

void TSMS_Main::GetMessage(std::int16_t index) { Read({index}); }

void TSMS_Main::Read(MessageRef ref) {
  if (HoldForSession({SessionRequest::Kind::GetMessage, ref}, label::kGetMessage)) return;
  const std::int16_t index = ref.MsgIndex;
  if (CommDrv.BlockType() == btBlock) {
    const std::array<std::uint8_t, 2> body{kGetMessageRequest, LowByte(index)};
    BuildFrame(body, label::kGetMessage, std::move(ref));
    return;
  }
  std::string command = "+CMGR=" + std::to_string(index);
  EnqueueCommand(command, label::kGetMessage, std::move(ref));
}

bool TSMS_Main::DeletePending(std::int16_t index, const std::string& fingerprint) const {
  // A read with a fingerprint verifies a delete: that message is as good as deleted.
  auto pending = [&](const std::string& label, const MessageRef& ref) {
    const bool deleting = label == label::kDeleteMessage ||
                          (label == label::kGetMessage && !ref.Fingerprint.empty());
    return deleting && ref.MsgIndex == index && ref.Fingerprint == fingerprint;
  };
  if (commandOutstanding_ && pending(inFlight_.Label, inFlight_.Ref)) return true;
  if (Commands.AnyWaiting([&](const CommandSlot& slot) { return pending(slot.Label, slot.Ref); })) {
    return true;
  }
  return std::any_of(waitingForSession_.begin(), waitingForSession_.end(),
                     [&](const SessionRequest& r) {
                       return pending(r.kind == SessionRequest::Kind::DeleteMessage
                                          ? label::kDeleteMessage
                                          : r.kind == SessionRequest::Kind::GetMessage
                                                ? label::kGetMessage
                                                : "",
                                      r.ref);
                     });
}

// ---- Requests that wait for the session ----

bool TSMS_Main::HoldForSession(SessionRequest request, const char* label) {
  if (Connected()) return false;
  using Kind = SessionRequest::Kind;
  const bool storeWork = request.kind == Kind::GetMessage || request.kind == Kind::DeleteMessage;
  // Reads and deletes are never dropped: a read announced by the terminal or a delete of a
  // message already handed to a client must reach the terminal in the next session.
  if (storeWork || !link_.Is(LinkState::Idle)) {
    // Only the last mode asked for matters, and one listing copies everything: a client
    // that keeps asking must not pile up work for the session.
    const bool mode = request.kind == Kind::NoTransfer || request.kind == Kind::TransferTE ||
                      request.kind == Kind::TransferAll;
    std::erase_if(waitingForSession_, [&](const SessionRequest& r) {
      return (mode && (r.kind == Kind::NoTransfer || r.kind == Kind::TransferTE ||
                       r.kind == Kind::TransferAll)) ||
             (request.kind == Kind::CopyAll && r.kind == Kind::CopyAll);
    });
    waitingForSession_.push_back(request);
    return true;
  }
  SetStatusText(std::string("Not connected to the Mobile Terminal: ") + label + " not sent");
  return true;
}

void TSMS_Main::KeepStoreRequests() {
  using Kind = SessionRequest::Kind;
  auto keep = [this](const CommandSlot& slot) {
    if (slot.Label == label::kGetMessage) {
      waitingForSession_.push_back({Kind::GetMessage, slot.Ref});
    } else if (slot.Label == label::kDeleteMessage) {
      waitingForSession_.push_back({Kind::DeleteMessage, slot.Ref});
    }
  };
  // The read on the line when the connection was lost is done again, unless it has
  // already delivered its message. The delete on the line may have been carried out: its
  // index may hold a newer message by now, so it is read first and deleted only if it
  // still holds the retrieved one.
  if (commandOutstanding_ && inFlight_.Label == label::kGetMessage && !readDelivered_) {
    keep(inFlight_);
  } else if (commandOutstanding_ && inFlight_.Label == label::kDeleteMessage) {
    waitingForSession_.push_back({Kind::GetMessage, inFlight_.Ref});
  }
  while (!Commands.Empty()) {
    keep(Commands.ReadSlot());
    Commands.AdvanceRead();
  }
}

void TSMS_Main::ReplayWaitingRequests() {
  std::vector<SessionRequest> requests;
  std::swap(requests, waitingForSession_);
  // Reads go first: a delete kept across a reconnection then only reaches an index whose
  // message the gateway already holds.
  std::stable_partition(requests.begin(), requests.end(), [](const SessionRequest& r) {
    return r.kind == SessionRequest::Kind::GetMessage;
  });
  for (const SessionRequest& request : requests) {
    switch (request.kind) {
      case SessionRequest::Kind::NoTransfer: No_TransferClick(); break;
      case SessionRequest::Kind::TransferTE: Transfer_TEClick(); break;
      case SessionRequest::Kind::TransferAll: Transfer_AllClick(); break;
      case SessionRequest::Kind::CopyAll: CopyAllMessages(); break;
      case SessionRequest::Kind::GetMessage: Read(request.ref); break;
      case SessionRequest::Kind::DeleteMessage: Delete(request.ref); break;
    }
  }
}

void TSMS_Main::DropModeRequests() {
  const auto dropped = std::erase_if(waitingForSession_, [](const SessionRequest& r) {
    return r.kind != SessionRequest::Kind::GetMessage &&
           r.kind != SessionRequest::Kind::DeleteMessage;
  });
  if (dropped > 0) {
    SetStatusText("Not connected to the Mobile Terminal: " + std::to_string(dropped) +
                  " mode request(s) not sent");
  }
}

}  // namespace kavonet
