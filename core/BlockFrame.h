#pragma once
// Block Mode frames: DLE STX, the body (message type code and parameters), DLE ETX and a
// 16-bit checksum, with every data DLE followed by a stuffed 0x00.

#include <cstdint>
#include <span>
#include <vector>

namespace kavonet {

inline constexpr std::uint8_t DLE = 0x10;
inline constexpr std::uint8_t STX = 0x02;
inline constexpr std::uint8_t ETX = 0x03;

// The 16-bit two's complement of the sum of the body bytes.
std::uint16_t FrameChecksum(std::span<const std::uint8_t> body);

// The stuffed frame for `body`, as written to the port. Lengths are not limited to a byte:
// a body full of DLE bytes simply makes a longer frame.
std::vector<std::uint8_t> StuffedFrame(std::span<const std::uint8_t> body);

// Removes the stuffing of bytes[0..lastIndex] in place and returns the last index of the
// unstuffed frame. A 0x00 is dropped when the received byte before it was DLE.
int UnstuffFrame(std::span<std::uint8_t> bytes, int lastIndex);

}  // namespace kavonet
