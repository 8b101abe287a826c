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
  // line, the ETX of a frame, the space of a prompt) at index `count`.
  using BlockHandler = std::function<void(const TBuffer& buffer, int count)>;
  // Called when a "> " prompt is cut, before its block is delivered.
  using PromptHandler = std::function<void()>;

  TBlockType Mode() const { return mode_; }
  void SetMode(TBlockType mode) { mode_ = mode; }

  // Cuts `bytes` (one read pass) and delivers every finished block in arrival order.
  void Feed(std::span<const std::uint8_t> bytes, const BlockHandler& onBlock,
            const PromptHandler& onPrompt);
  // Drops any partial block.
  void Reset();

  int PendingLength() const { return rxLength_; }
  bool InFrame() const { return inFrame_; }

 private:
  TBlockType mode_ = btHayes;
  TBuffer rxAssembly_{};
  int rxLength_ = 0;
  bool inFrame_ = false;
  bool overflowed_ = false;
};

}  // namespace kavonet
