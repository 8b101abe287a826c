#include "sim/Terminal.h"

#include <utility>

namespace kavonet::sim {

Terminal::Terminal(TerminalOptions options, TerminalCore::Output output,
                   TerminalCore::SendObserver onSend, Clock clock)
    : output_(std::move(output)),
      core_(std::move(options), [this](std::string_view bytes) { Emit(bytes); },
            std::move(onSend)),
      at_(core_),
      block_(core_),
      clock_(std::move(clock)) {
  block_.Begin();
}

void Terminal::Emit(std::string_view bytes) {
  if (batching_) {
    batch_.append(bytes);
  } else {
    output_(bytes);
  }
}

void Terminal::Receive(std::string_view bytes) {
  if (silent_) return;
  batching_ = true;
  for (char c : bytes) {
    const InterfaceMode before = core_.Mode();
    if (before == InterfaceMode::kBlock) {
      block_.Push(static_cast<std::uint8_t>(c));
    } else {
      at_.Push(static_cast<std::uint8_t>(c));
    }
    if (core_.Mode() == InterfaceMode::kBlock && before != InterfaceMode::kBlock) block_.Begin();
    if (core_.Mode() == InterfaceMode::kCommand && before != InterfaceMode::kCommand) at_.Resume();
  }
  batching_ = false;
  if (!batch_.empty()) output_(std::exchange(batch_, {}));
}

Decoded<int> Terminal::StoreTpdu(Bytes tpdu) {
  StoredMessage message{MessageStatus::kUnread, EncodeScaField(core_.Settings().serviceCentre),
                        std::move(tpdu)};
  const auto index = core_.Store().Add(std::move(message));
  if (!index) return Decoded<int>::Fail("message store full");
  return {index, {}};
}

Decoded<std::vector<int>> Terminal::Store(std::string_view origin, std::string_view utf8Text) {
  using Result = Decoded<std::vector<int>>;
  const auto pdus = EncodeDeliverParts(origin, utf8Text, clock_(), nextConcatReference_);
  if (!pdus) return Result::Fail(pdus.error);
  if (pdus.value->size() > 1) ++nextConcatReference_;
  std::vector<int> indices;
  for (const Bytes& pdu : *pdus.value) {
    const Decoded<int> index = StoreTpdu(pdu);
    if (!index) return Result::Fail(index.error);
    indices.push_back(*index.value);
  }
  return {indices, {}};
}

void Terminal::Announce(int index) {
  if (core_.Mode() == InterfaceMode::kBlock) {
    block_.IndicateNewMessage(index);
  } else {
    at_.IndicateNewMessage(index);
  }
}

Decoded<std::vector<int>> Terminal::Deliver(std::string_view origin, std::string_view utf8Text) {
  Decoded<std::vector<int>> stored = Store(origin, utf8Text);
  if (stored) {
    for (int index : *stored.value) Announce(index);
  }
  return stored;
}

Decoded<int> Terminal::DeliverPdu(const Bytes& tpdu) {
  if (tpdu.empty() || tpdu.size() > kMaxTpdu) return Decoded<int>::Fail("TPDU of 1 to 200 octets");
  Decoded<int> stored = StoreTpdu(tpdu);
  if (stored) Announce(*stored.value);
  return stored;
}

bool Terminal::LeaveBlockMode(std::uint8_t cause) {
  if (core_.Mode() != InterfaceMode::kBlock) return false;
  block_.End(cause);
  at_.Resume();
  return true;
}

void Terminal::SendRaw(const Bytes& bytes) { core_.Write(std::string(bytes.begin(), bytes.end())); }

void Terminal::SetSignal(int rssi, int ber) {
  core_.Settings().rssi = rssi;
  core_.Settings().ber = ber;
}

}  // namespace kavonet::sim
