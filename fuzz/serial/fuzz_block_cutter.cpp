// Feeds arbitrary bytes to the block cutter in any mode, split into passes of arbitrary
// sizes, with an optional long run of one byte to push blocks past the buffer. Checks
// that every block fits the buffer with its terminator, ends the way its mode says,
// holds no terminator inside, and that the pass boundaries change nothing.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "serial/BlockCutter.h"
#include "fuzz/FuzzCheck.h"

namespace {

using kavonet::fuzzing::Check;

using kavonet::BlockCutter;
using kavonet::TBlockType;
using kavonet::TBuffer;

constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kLf = 0x0A, kCr = 0x0D, kDle = 0x10;

bool HasPairInside(const TBuffer& b, int count, std::uint8_t first, std::uint8_t second, int from) {
  for (int i = from; i < count; ++i) {
    if (b[i - 1] == first && b[i] == second) return true;
  }
  return false;
}

struct Collector {
  TBlockType mode;
  std::vector<std::string> blocks;
  bool promptPending = false;

  void Block(const TBuffer& b, int count) {
    Check(count >= 1 && count < kavonet::kBufferSize, "block length out of range");
    const std::uint8_t terminator = b[count];
    const bool prompt = std::exchange(promptPending, false);
    switch (mode) {
      case kavonet::btHayes:
      case kavonet::btPDU:
        if (prompt) {
          Check(mode == kavonet::btPDU, "prompt outside PDU mode");
          Check(terminator == ' ' && b[count - 1] == '>', "prompt block without \"> \"");
        } else {
          Check(terminator == kLf && b[count - 1] == kCr && count >= 2, "line without CR LF");
        }
        Check(!HasPairInside(b, count, kCr, kLf, 1), "CR LF inside a block");
        if (mode == kavonet::btPDU) {
          Check(!HasPairInside(b, count, '>', ' ', 1), "prompt inside a block");
        }
        break;
      case kavonet::btBlock:
        Check(count >= 3 && b[0] == kDle && b[1] == kStx, "frame without DLE STX");
        Check(terminator == kEtx && b[count - 1] == kDle, "frame without DLE ETX");
        Check(!HasPairInside(b, count, kDle, kStx, 2), "DLE STX inside a frame");
        Check(!HasPairInside(b, count, kDle, kEtx, 1), "DLE ETX inside a frame");
        break;
      case kavonet::btText:
        Check(false, "block in text mode");
    }
    blocks.emplace_back(reinterpret_cast<const char*>(b.data()), count);
    if (prompt) blocks.back() += "<prompt>";
  }

  void Feed(BlockCutter& cutter, const std::vector<std::uint8_t>& bytes, std::size_t from,
            std::size_t length) {
    cutter.Feed(
        std::span(bytes.data() + from, length),
        [this](const TBuffer& b, int count) { Block(b, count); },
        [this] {
          Check(!promptPending, "two prompts without a block");
          promptPending = true;
        });
    Check(!promptPending, "prompt without its block");
    Check(cutter.PendingLength() >= 0 && cutter.PendingLength() < kavonet::kBufferSize,
          "pending length out of range");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider provider(data, size);
  const auto mode = static_cast<TBlockType>(provider.ConsumeIntegralInRange(0, 3));
  const auto runLength = provider.ConsumeIntegralInRange<std::size_t>(0, 20000);
  const auto runByte = provider.ConsumeIntegral<std::uint8_t>();
  const auto passSizes = provider.ConsumeBytes<std::uint8_t>(provider.ConsumeIntegralInRange(0, 8));
  std::vector<std::uint8_t> bytes = provider.ConsumeRemainingBytes<std::uint8_t>();
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(bytes.size() / 2), runLength, runByte);

  Collector whole{mode, {}};
  BlockCutter reference;
  reference.SetMode(mode);
  whole.Feed(reference, bytes, 0, bytes.size());

  Collector split{mode, {}};
  BlockCutter cutter;
  cutter.SetMode(mode);
  std::size_t at = 0;
  for (std::size_t pass = 0; at < bytes.size(); ++pass) {
    std::size_t length = bytes.size() - at;
    if (!passSizes.empty()) {
      const std::size_t step = passSizes[pass % passSizes.size()];
      length = std::min(length, 1 + step * step);
    }
    split.Feed(cutter, bytes, at, length);
    at += length;
  }
  Check(split.blocks == whole.blocks, "pass boundaries changed the blocks");
  Check(cutter.PendingLength() == reference.PendingLength() &&
            cutter.InFrame() == reference.InFrame() &&
            cutter.Discarding() == reference.Discarding(),
        "pass boundaries changed the state");
  return 0;
}
