#pragma once
// Block Mode framing: DLE STX, body, DLE ETX, a 16-bit checksum high byte first; every
// DLE of the body and of the checksum is followed by a stuffed 0x00.

#include <cstdint>
#include <optional>

#include "sim/Hex.h"

namespace kavonet::sim {

inline constexpr std::uint8_t kDle = 0x10;
inline constexpr std::uint8_t kStx = 0x02;
inline constexpr std::uint8_t kEtx = 0x03;

// Two's complement of the 16-bit sum of the body, so body sum + checksum == 0.
std::uint16_t FrameChecksum(const Bytes& body);
// The stuffed frame as written to the line.
Bytes BuildFrame(const Bytes& body);

struct ReceivedFrame {
  Bytes body;  // unstuffed, from the message code on
  bool checksumGood = false;
};

// Cuts frames out of a byte stream one byte at a time. Bytes outside a frame are
// dropped; a DLE STX inside a frame starts it again; a body that grows past
// kMaxFrameBody is dropped.
class FrameReader {
 public:
  static constexpr std::size_t kMaxFrameBody = 512;

  std::optional<ReceivedFrame> Push(std::uint8_t byte);
  void Reset() { state_ = State::kHunting; }

 private:
  enum class State { kHunting, kStart, kBody, kBodyDle, kChecksum, kChecksumDle };

  std::optional<ReceivedFrame> Complete();

  State state_ = State::kHunting;
  Bytes body_;
  Bytes checksum_;
};

}  // namespace kavonet::sim
