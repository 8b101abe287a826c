#pragma once
// The block cutter: turns received bytes into lines, PDU Mode prompts or Block Mode
// frames. Pure logic, no port: the driver feeds it what each read pass returned.

#include <array>
#include <cstdint>
#include <functional>
#include <span>

namespace kavonet {

inline constexpr int kBufferSize = 8001;
using TBuffer = std::array<std::uint8_t, kBufferSize>;

enum TBlockType { btHayes, btBlock, btPDU, btText };

class BlockCutter {
 public:
  // `buffer` holds the block in its first `count` bytes and the terminator (the LF of a
  // line, the ETX of a frame, the space of a prompt) at index `count`, so a block has at
  // most kBufferSize - 1 bytes.
  using BlockHandler = std::function<void(const TBuffer& buffer, int count)>;
  // Called when a "> " prompt is cut, before its block is delivered.
  using PromptHandler = std::function<void()>;

  TBlockType Mode() const { return mode_; }
  void SetMode(TBlockType mode) { mode_ = mode; }

  // Cuts `bytes` (one read pass) and delivers every finished block in arrival order.
  // Handlers may change the mode or reset the cutter; the rest of the pass is cut by
  // the new state.
  void Feed(std::span<const std::uint8_t> bytes, const BlockHandler& onBlock,
            const PromptHandler& onPrompt);
  // Drops any partial block.
  void Reset();

  int PendingLength() const { return rxLength_; }
  bool InFrame() const { return inFrame_; }
  // True while the rest of an overlong block is being skipped up to the next terminator.
  bool Discarding() const { return overflowed_; }

 private:
  void CutLine(std::uint8_t byte, const BlockHandler& onBlock, const PromptHandler& onPrompt);
  void CutFrame(std::uint8_t byte, const BlockHandler& onBlock);
  void SkipOverlong(std::uint8_t byte, const BlockHandler& onBlock, const PromptHandler& onPrompt);
  void RestartFrame();
  void Advance();
  void Deliver(const BlockHandler& onBlock);
  bool PreviousIs(std::uint8_t byte) const {
    return rxLength_ > 0 && rxAssembly_[rxLength_ - 1] == byte;
  }

  TBlockType mode_ = btHayes;
  TBuffer rxAssembly_{};
  int rxLength_ = 0;
  bool inFrame_ = false;
  // Set when a block outgrew rxAssembly_: the bytes up to the next terminator (or, in PDU
  // Mode, prompt) are dropped, and lastSkipped_ stands in for the previous byte of the pair.
  bool overflowed_ = false;
  std::uint8_t lastSkipped_ = 0;
};

}  // namespace kavonet
