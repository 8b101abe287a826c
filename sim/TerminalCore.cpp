#include "sim/TerminalCore.h"

#include "sim/SmsPdu.h"

namespace kavonet::sim {

TerminalCore::TerminalCore(TerminalOptions options, Output output, SendObserver onSend)
    : options_(std::move(options)),
      output_(std::move(output)),
      onSend_(std::move(onSend)),
      mode_(options_.startInBlockMode ? InterfaceMode::kBlock : InterfaceMode::kCommand) {}

SendOutcome TerminalCore::Send(const Bytes& tpdu) {
  SendOutcome outcome;
  const Decoded<SubmitMessage> submit = DecodeSubmit(tpdu);
  if (!submit) {
    outcome.error = submit.error;
    return outcome;
  }
  if (refusal_) {
    outcome.kind = SendOutcome::Kind::kRefused;
    outcome.cause = *refusal_;
    refusal_.reset();
    return outcome;
  }
  outcome.kind = SendOutcome::Kind::kAccepted;
  outcome.reference = nextReference_;
  nextReference_ = nextReference_ % 255 + 1;
  if (onSend_) {
    onSend_({submit.value->destination, submit.value->text, ToHex(tpdu), submit.value->part});
  }
  return outcome;
}

}  // namespace kavonet::sim
