// Block Mode: the frames the terminal sends during a session.

#include <cstdio>

#include "core/BlockFrame.h"
#include "core/TSMS_Main.h"
#include "sms/PduCodec.h"

namespace kavonet {

namespace {

// Message codes from the terminal.
enum BlockMessageCode : std::uint8_t {
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

}  // namespace

std::string TSMS_Main::Hex2(std::uint8_t value) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", value);
  return text;
}

std::string TSMS_Main::CauseText(std::uint8_t code) {
  switch (code) {
    case 0x00: return "No such message";
    case 0x01: return "No memory";
    case 0x02: return "No air interface (Out Of Range)";
    case 0x03: return "Receiving entity busy";
    case 0x04: return "Command not understood";
    case 0x05: return "Incoming data call";
    case 0x06: return "User-invoked exit";
    case 0x87: return "Message Transfer failed";
    default: return "Unknown cause code " + Hex2(code);
  }
}

std::string TSMS_Main::TransferConfirmText(bool unknownIsEmpty) {
  switch (BlockTransferMode) {
    case 0:
      SetTransferButtonDown(No_Transfer);
      return "Do not transfer incoming messages.";
    case 1:
      SetTransferButtonDown(Transfer_TE);
      return "Transfer incoming messages marked T.E. only.";
    case 3:
      SetTransferButtonDown(Transfer_All);
      return "Transfer all incoming messages.";
    default:
      return unknownIsEmpty ? "" : "Confirmation of unknown transfer request.";
  }
}

std::string TSMS_Main::ConfirmText(std::uint8_t type) {
  switch (type) {
    case 0: return "Reserved";
    case 1: return TransferConfirmText(false);
    case 2: return "Confirm request to transfer incoming CBS messages";
    case 3: return TransferConfirmText(true);
    case 4: return "Confirm request to attempt to send short message";
    default: return "Unknown Confirm Type " + Hex2(type);
  }
}

void TSMS_Main::ReceiveBlockMessage(const std::vector<std::uint8_t>& frame, const char* status) {
  const sms::ReceivedMessage message = sms::DecodeDeliver(frame, 2, true, 0, false);
  SetStatusText(message.DecodeError.empty() ? std::string(status)
                                            : std::string(status) + " (" + message.DecodeError + ")");
  MessageRead(message);
}

void TSMS_Main::HandleBlockMessage(std::span<const std::uint8_t> bytes, int n) {
  const std::size_t length = std::min(bytes.size(), static_cast<std::size_t>(std::max(n + 1, 0)));
  std::vector<std::uint8_t> frame(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(length));
  SetCursor(TCursor::crDefault);
  const int last = UnstuffFrame(frame, n);
  frame.resize(last < 0 ? 0 : static_cast<std::size_t>(last) + 1);
  HandleBlockAnswer(frame.size() > 2 ? frame[2] : 0, frame);
  SendNextCommand();
}

// Every frame is matched by its code to the request on the line; a frame that answers
// nothing on the line is shown and changes nothing else.
void TSMS_Main::HandleBlockAnswer(std::uint8_t code, const std::vector<std::uint8_t>& frame) {
  // A frame too short for the field it should carry reads it as 0.
  auto at = [&frame](std::size_t offset) -> std::uint8_t {
    return offset < frame.size() ? frame[offset] : 0;
  };
  const bool listingRequest = InFlight(label::kCopyAllMessages) || InFlight(label::kGetNextMessage);
  const bool readRequest = listingRequest || InFlight(label::kGetMessage);
  const bool transferRequest = InFlight(label::kNoTransfer) || InFlight(label::kTransferTE) ||
                               InFlight(label::kTransferAll);
  switch (code) {
    case kMessageList:
      SetStatusText("Message List - Not Processed");
      if (listingRequest) EndListing();
      if (readRequest) Answered();
      break;
    case kMessage:
      ReceiveBlockMessage(frame, "Message");
      if (readRequest) Answered();
      // A listing reads the stored messages one after another.
      if (listingRequest && CopyAllActive()) RequestNextMessage();
      break;
    case kIncomingMessage:
      ReceiveBlockMessage(frame, "Incoming Message");
      break;
    case kGetMessageFailure:
      SetStatusText("Get Message Failure - " + CauseText(at(4)));
      if (listingRequest && CopyAllActive()) {
        SetStatusText("All messages copied.");
        EndListing();
      }
      if (readRequest) Answered();
      break;
    case kMessageArrived:
      SetStatusText("Message Arrived");
      GetMessage(at(5));
      break;
    case kInsertSmsComplete:
      if (!MessageOnTheLine() || !AnswerCanBeInFlight()) {
        SetStatusText("Ignored Insert SMS Complete: no message is waiting for it");
        break;
      }
      TxConfirmed(Hex2(at(3)) + " " + Hex2(at(4)));
      if (InFlight(label::kSendMessage)) Answered();
      break;
    case kInsertSmsFailure:
      SetStatusText("Insert SMS Failure " + CauseText(at(4)));
      if (MessageOnTheLine() && AnswerCanBeInFlight()) TxRejected();
      if (InFlight(label::kSendMessage)) Answered();
      break;
    case kDeleteMessageComplete:
      SetStatusText("Delete Message in M.T. Complete - Msg# [" + Hex2(at(3)) + "]");
      if (InFlight(label::kDeleteMessage)) {
        ForgetReceived(inFlight_.Ref);
        Answered();
      }
      break;
    case kDeleteMessageFailure:
      SetStatusText("Delete Message Failure - Msg# [" + Hex2(at(3)) + "] " + CauseText(at(4)));
      // Only a failure of the delete on the line is retried, never one for another index.
      if (InFlight(label::kDeleteMessage) && at(3) == (inFlight_.Ref.MsgIndex & 0xFF)) {
        Answered();
        RetryDelete(Hex2(at(3)));
      }
      break;
    case kUnableToProcess:
      SetStatusText("Unable To Process - " + CauseText(at(3)));
      if (!AnswerCanBeInFlight()) break;
      if (InFlight(label::kDeleteMessage)) {
        RetryDelete(Hex2(static_cast<std::uint8_t>(inFlight_.Ref.MsgIndex & 0xFF)));
      } else if (InFlight(label::kSendMessage) && MessageOnTheLine()) {
        TxRejected();
      } else if (listingRequest) {
        EndListing();
      }
      Answered();
      break;
    case kRequestConfirmed:
      SetStatusText("Request Confirmed - " + ConfirmText(at(3)));
      if (at(3) == 4) {
        // The terminal has taken the Insert SMS on the line and now sends it: it stays
        // outstanding until it is completed or refused.
        if (InFlight(label::kSendMessage) && send_.Is(SendState::Submitted)) {
          MoveSend(SendState::AwaitingConfirmation);
          ShowTxStage(3);
          SetCursor(TCursor::crHourGlass);
          RestartWatchdog();
        }
      } else if (transferRequest) {
        Answered();
      }
      break;
    case kEndSmsMode:
      SetStatusText("End SMS Mode - " + CauseText(at(3)));
      EndSession();
      break;
    default:
      SetStatusText("Undefined ");
      break;
  }
}

}  // namespace kavonet
