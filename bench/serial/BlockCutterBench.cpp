// Throughput of the block cutter over 10 MB of terminal traffic: AT response lines with
// PDUs, empty lines and Block Mode frames mixed, fed in driver-sized passes.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "serial/BlockCutter.h"

namespace kavonet {
namespace {

std::vector<std::uint8_t> MixedTraffic(std::size_t size) {
  const std::string lines =
      "\r\n+CMGL: 12,1,,23\r\n"
      "07919471060040340409D039F0400000301022517305400AD4F29C0E9A36A72E\r\n"
      "\r\n+CMTI: \"SM\",3\r\n\r\nOK\r\n\r\n> ";
  std::string frame = "\x10\x02";
  for (int i = 0; i < 160; ++i) {
    const char byte = static_cast<char>(i * 37);
    frame += byte;
    if (byte == '\x10') frame += '\0';  // a DLE that is data is sent as DLE 0x00
  }
  frame += "\x10\x03\x5A";
  std::vector<std::uint8_t> traffic;
  traffic.reserve(size + lines.size() + frame.size());
  while (traffic.size() < size) {
    traffic.insert(traffic.end(), lines.begin(), lines.end());
    traffic.insert(traffic.end(), frame.begin(), frame.end());
  }
  traffic.resize(size);
  return traffic;
}

void CutTraffic(benchmark::State& state, TBlockType mode) {
  const std::vector<std::uint8_t> traffic = MixedTraffic(std::size_t{10} * 1024 * 1024);
  long blocks = 0;
  long bytes = 0;
  const BlockCutter::BlockHandler onBlock = [&](const TBuffer&, int count) {
    ++blocks;
    bytes += count;
  };
  const BlockCutter::PromptHandler onPrompt = [] {};
  for (auto _ : state) {
    BlockCutter cutter;
    cutter.SetMode(mode);
    for (std::size_t at = 0; at < traffic.size(); at += kBufferSize) {
      const std::size_t length = std::min<std::size_t>(kBufferSize, traffic.size() - at);
      cutter.Feed(std::span(traffic.data() + at, length), onBlock, onPrompt);
    }
    benchmark::DoNotOptimize(blocks);
    benchmark::DoNotOptimize(bytes);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(traffic.size()));
  state.counters["blocks"] =
      benchmark::Counter(static_cast<double>(blocks), benchmark::Counter::kAvgIterations);
}

BENCHMARK_CAPTURE(CutTraffic, Hayes, btHayes)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CutTraffic, PDU, btPDU)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(CutTraffic, Block, btBlock)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kavonet
