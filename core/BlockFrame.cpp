#include "core/BlockFrame.h"

#include <algorithm>

namespace kavonet {

std::uint16_t FrameChecksum(std::span<const std::uint8_t> body) {
  std::uint16_t sum = 0;
  for (std::uint8_t b : body) sum = static_cast<std::uint16_t>(sum + b);
  return static_cast<std::uint16_t>(0x10000u - sum);
}

std::vector<std::uint8_t> StuffedFrame(std::span<const std::uint8_t> body) {
  const std::uint16_t checksum = FrameChecksum(body);
  std::vector<std::uint8_t> frame;
  frame.reserve(body.size() * 2 + 8);
  auto putStuffed = [&frame](std::uint8_t b) {
    frame.push_back(b);
    if (b == DLE) frame.push_back(0x00);
  };
  frame.push_back(DLE);
  frame.push_back(STX);
  for (std::uint8_t b : body) putStuffed(b);
  frame.push_back(DLE);
  frame.push_back(ETX);
  putStuffed(static_cast<std::uint8_t>(checksum >> 8));
  putStuffed(static_cast<std::uint8_t>(checksum & 0xFF));
  return frame;
}

int UnstuffFrame(std::span<std::uint8_t> bytes, int lastIndex) {
  if (bytes.empty() || lastIndex < 0) return -1;
  lastIndex = std::min(lastIndex, static_cast<int>(bytes.size()) - 1);
  int kept = 0;
  std::uint8_t previousReceived = 0;
  for (int i = 0; i <= lastIndex; ++i) {
    const std::uint8_t received = bytes[i];
    const bool stuffing = i > 0 && received == 0x00 && previousReceived == DLE;
    previousReceived = received;
    if (!stuffing) bytes[kept++] = received;
  }
  return kept - 1;
}

}  // namespace kavonet
