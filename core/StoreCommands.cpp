// Transfer modes and the commands that read, copy and delete the messages stored in the
// terminal. Each has an AT command form and a Block Mode request form, chosen by the
// driver's block type at the moment of the call.

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

void TSMS_Main::BuildFrame(std::span<const std::uint8_t> body, const std::string& label) {
  const std::vector<std::uint8_t> frame = StuffedFrame(body);
  EnqueueFrame(frame, static_cast<int>(frame.size()), label);
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

void TSMS_Main::CopyAllMessages() {
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

void TSMS_Main::DeleteMessage(std::int16_t index) {
  if (CommDrv.BlockType() == btBlock) {
    const std::array<std::uint8_t, 2> body{kDeleteMessageRequest, LowByte(index)};
    BuildFrame(body, label::kDeleteMessage);
    return;
  }
  DeleteMsgIndex = index;
  std::string command = "+CMGD=" + std::to_string(index);
  EnqueueCommand(command, label::kDeleteMessage);
}

bool TSMS_Main::MayRetryDelete(const std::string& indexText) {
  // A message that is already gone is refused for ever: retrying without end would keep
  // the terminal busy and every other command waiting.
  if (++deleteRetries_ <= kMaxDeleteRetries) return true;
  deleteRetries_ = 0;
  SetStatusText("Delete Message Failure - Msg# [" + indexText + "] given up after " +
                std::to_string(kMaxDeleteRetries) + " retries");
  return false;
}

std::string TSMS_Main::LastDeleteIndexText() const {
  const CommandSlot& slot = Commands.At(Commands.LastReadIndex());
  // The Delete Message frame: DLE STX 08 index ...
  return slot.Form == SlotForm::Frame && slot.FrameBytes.size() > 3 ? Hex2(slot.FrameBytes[3])
                                                                     : std::string();
}

void TSMS_Main::GetMessage(std::int16_t index) {
  if (CommDrv.BlockType() == btBlock) {
    const std::array<std::uint8_t, 2> body{kGetMessageRequest, LowByte(index)};
    BuildFrame(body, label::kGetMessage);
    return;
  }
  RxMsgIndex = index;
  std::string command = "+CMGR=" + std::to_string(index);
  EnqueueCommand(command, label::kGetMessage, index);
}

}  // namespace kavonet
