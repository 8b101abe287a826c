// Arbitrary bytes to the block cutter in any mode, in passes of arbitrary sizes, with an
// optional long run of one byte to push blocks past the buffer: every block fits the buffer
// with its terminator, ends the way its mode says, holds no terminator inside, and the pass
// boundaries change nothing.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "serial/BlockCutter.h"

namespace {

using namespace kavonet;
using fuzzing::Check;

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
    Check(count >= 1 && count < kBufferSize, "block length out of range");
    const std::uint8_t end = b[count];
    const bool prompt = std::exchange(promptPending, false);
    Check(mode != btText, "a block in text mode");
    if (mode == btBlock) {
      Check(count >= 3 && b[0] == kDle && b[1] == kStx, "a frame without DLE STX");
      Check(end == kEtx && b[count - 1] == kDle, "a frame without DLE ETX");
      Check(!HasPairInside(b, count, kDle, kStx, 2), "DLE STX inside a frame");
      Check(!HasPairInside(b, count, kDle, kEtx, 1), "DLE ETX inside a frame");
    } else if (prompt) {
      Check(mode == btPDU && end == ' ' && b[count - 1] == '>', "a prompt other than \"> \" in PDU mode");
    } else {
      Check(end == kLf && count >= 2 && b[count - 1] == kCr, "a line without CR LF");
    }
    if (mode != btBlock) Check(!HasPairInside(b, count, kCr, kLf, 1), "CR LF inside a block");
    if (mode == btPDU) Check(!HasPairInside(b, count, '>', ' ', 1), "a prompt inside a block");
    blocks.emplace_back(reinterpret_cast<const char*>(b.data()), count);
    if (prompt) blocks.back() += "<prompt>";
  }

  void Feed(BlockCutter& cutter, std::span<const std::uint8_t> bytes) {
    auto prompt = [this] {
      Check(!promptPending, "two prompts without a block");
      promptPending = true;
    };
    cutter.Feed(bytes, [this](const TBuffer& b, int count) { Block(b, count); }, prompt);
    Check(!promptPending, "a prompt without its block");
    Check(cutter.PendingLength() >= 0 && cutter.PendingLength() < kBufferSize, "pending length out of range");
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
  whole.Feed(reference, bytes);
  Collector split{mode, {}};
  BlockCutter cutter;
  cutter.SetMode(mode);
  for (std::size_t pass = 0, at = 0; at < bytes.size(); ++pass) {
    const std::size_t step = passSizes.empty() ? bytes.size() : passSizes[pass % passSizes.size()];
    const std::size_t length = std::min(bytes.size() - at, passSizes.empty() ? step : 1 + step * step);
    split.Feed(cutter, std::span(bytes).subspan(at, length));
    at += length;
  }
  Check(split.blocks == whole.blocks, "pass boundaries changed the blocks");
  Check(cutter.PendingLength() == reference.PendingLength() && cutter.InFrame() == reference.InFrame() &&
            cutter.Discarding() == reference.Discarding(),
        "pass boundaries changed the state");
  return 0;
}
