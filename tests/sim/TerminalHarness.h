#pragma once
// A Terminal with its output and its sent messages captured, on a fixed clock.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/BlockFrame.h"
#include "sim/Terminal.h"

namespace kavonet::sim {

class TerminalHarness {
 public:
  // The time stamp of every message the harness stores: 17-03-99 12:45:08.
  static SmsTimestamp FixedTime() { return {99, 3, 17, 12, 45, 8}; }

  explicit TerminalHarness(TerminalOptions options = {})
      : terminal_(
            std::move(options), [this](std::string_view bytes) { output_ += bytes; },
            [this](const SentMessage& message) { sent_.push_back(message); }, &FixedTime) {}

  TerminalHarness(const TerminalHarness&) = delete;
  TerminalHarness& operator=(const TerminalHarness&) = delete;

  // Feeds `input` and gives back what the terminal wrote since the last call.
  std::string Exchange(std::string_view input) {
    terminal_.Receive(input);
    return TakeOutput();
  }
  std::string TakeOutput() { return std::exchange(output_, {}); }

  // Block Mode: sends one request body, gives back the bodies of the answers (hex).
  std::vector<std::string> Request(std::string_view bodyHex) {
    const Bytes frame = BuildFrame(FromHex(bodyHex).value());
    return Bodies(Exchange(std::string(frame.begin(), frame.end())));
  }
  std::vector<std::string> Bodies(const std::string& stream) {
    FrameReader reader;
    std::vector<std::string> bodies;
    for (char c : stream) {
      if (auto frame = reader.Push(static_cast<std::uint8_t>(c))) {
        bodies.push_back(frame->checksumGood ? ToHex(frame->body) : "bad checksum");
      }
    }
    return bodies;
  }

  Terminal& terminal() { return terminal_; }
  const std::vector<SentMessage>& Sent() const { return sent_; }

 private:
  std::string output_;
  std::vector<SentMessage> sent_;
  Terminal terminal_;
};

}  // namespace kavonet::sim
