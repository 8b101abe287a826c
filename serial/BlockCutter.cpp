#include "serial/BlockCutter.h"

namespace kavonet {

namespace {
constexpr std::uint8_t kStx = 0x02;
constexpr std::uint8_t kEtx = 0x03;
constexpr std::uint8_t kLf = 0x0A;
constexpr std::uint8_t kCr = 0x0D;
constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kSpace = 0x20;
constexpr std::uint8_t kPromptMark = 0x3E;  // '>'
}  // namespace

void BlockCutter::Feed(std::span<const std::uint8_t> bytes, const BlockHandler& onBlock,
                       const PromptHandler& onPrompt) {
  for (const std::uint8_t byte : bytes) {
    if (mode_ == btText) continue;
    if (overflowed_) {
      SkipOverlong(byte, onBlock, onPrompt);
      continue;
    }
    rxAssembly_[rxLength_] = byte;
    if (mode_ == btBlock) {
      CutFrame(byte, onBlock);
    } else {
      CutLine(byte, onBlock, onPrompt);
    }
  }
}

void BlockCutter::Reset() {
  rxLength_ = 0;
  inFrame_ = false;
  overflowed_ = false;
}

void BlockCutter::CutLine(std::uint8_t byte, const BlockHandler& onBlock,
                          const PromptHandler& onPrompt) {
  if (byte == kLf && PreviousIs(kCr)) {
    if (rxLength_ == 1) {
      rxLength_ = 0;  // an empty line between responses carries nothing
    } else {
      Deliver(onBlock);
    }
  } else if (mode_ == btPDU && byte == kSpace && PreviousIs(kPromptMark)) {
    // The prompt is announced before its block: the driver puts the port back into PDU
    // Mode (flag character and prompt event) before anyone can answer it.
    const int count = rxLength_;
    rxLength_ = 0;
    if (onPrompt) onPrompt();
    if (onBlock) onBlock(rxAssembly_, count);
  } else {
    Advance();
  }
}

void BlockCutter::CutFrame(std::uint8_t byte, const BlockHandler& onBlock) {
  if (byte == kStx && PreviousIs(kDle)) {
    RestartFrame();  // whatever was assembled before is dropped
  } else if (inFrame_ && byte == kEtx && PreviousIs(kDle)) {
    inFrame_ = false;
    Deliver(onBlock);
  } else {
    // Outside a frame the bytes after an ETX collect here until the next DLE STX
    // replaces them.
    Advance();
  }
}

void BlockCutter::RestartFrame() {
  rxAssembly_[0] = kDle;
  rxAssembly_[1] = kStx;
  rxLength_ = 2;
  inFrame_ = true;
}

// Keeps the byte just stored. A block that fills rxAssembly_ without its terminator can
// never be delivered (the terminator needs a place too), so it is dropped and the cutter
// skips to the next terminator instead of writing past the buffer.
void BlockCutter::Advance() {
  if (rxLength_ < kBufferSize - 1) {
    ++rxLength_;
    return;
  }
  lastSkipped_ = rxAssembly_[rxLength_];
  rxLength_ = 0;
  overflowed_ = true;
}

void BlockCutter::SkipOverlong(std::uint8_t byte, const BlockHandler& onBlock,
                               const PromptHandler& onPrompt) {
  const std::uint8_t previous = lastSkipped_;
  lastSkipped_ = byte;
  if (mode_ == btBlock) {
    if (previous == kDle && byte == kStx) {
      overflowed_ = false;
      RestartFrame();
    } else if (previous == kDle && byte == kEtx && inFrame_) {
      overflowed_ = false;
      inFrame_ = false;
    }
  } else if (previous == kCr && byte == kLf) {
    overflowed_ = false;
  } else if (mode_ == btPDU && previous == kPromptMark && byte == kSpace) {
    // A prompt behind a line that never ended: the line is dropped, not the prompt, or
    // the message waiting for it would never go out.
    overflowed_ = false;
    rxAssembly_[0] = kPromptMark;
    rxAssembly_[1] = kSpace;
    rxLength_ = 0;
    if (onPrompt) onPrompt();
    if (onBlock) onBlock(rxAssembly_, 1);
  }
}

void BlockCutter::Deliver(const BlockHandler& onBlock) {
  const int count = rxLength_;
  rxLength_ = 0;
  if (onBlock) onBlock(rxAssembly_, count);
}

}  // namespace kavonet
