#include "sim/BlockFrame.h"

namespace kavonet::sim {

std::uint16_t FrameChecksum(const Bytes& body) {
  unsigned sum = 0;
  for (std::uint8_t byte : body) sum += byte;
  return static_cast<std::uint16_t>(0x10000u - (sum & 0xFFFFu));
}

Bytes BuildFrame(const Bytes& body) {
  Bytes frame{kDle, kStx};
  auto stuffed = [&frame](std::uint8_t byte) {
    frame.push_back(byte);
    if (byte == kDle) frame.push_back(0x00);
  };
  for (std::uint8_t byte : body) stuffed(byte);
  frame.push_back(kDle);
  frame.push_back(kEtx);
  const std::uint16_t checksum = FrameChecksum(body);
  stuffed(static_cast<std::uint8_t>(checksum >> 8));
  stuffed(static_cast<std::uint8_t>(checksum & 0xFF));
  return frame;
}

std::optional<ReceivedFrame> FrameReader::Complete() {
  const unsigned checksum = static_cast<unsigned>(checksum_[0] << 8 | checksum_[1]);
  ReceivedFrame frame;
  frame.checksumGood = FrameChecksum(body_) == checksum;
  frame.body = std::move(body_);
  body_.clear();
  state_ = State::kHunting;
  return frame;
}

std::optional<ReceivedFrame> FrameReader::Push(std::uint8_t byte) {
  switch (state_) {
    case State::kHunting:
      if (byte == kDle) state_ = State::kStart;
      return std::nullopt;
    case State::kStart:
      if (byte == kStx) {
        body_.clear();
        state_ = State::kBody;
      } else if (byte != kDle) {
        state_ = State::kHunting;
      }
      return std::nullopt;
    case State::kBody:
      if (byte == kDle) {
        state_ = State::kBodyDle;
      } else if (body_.size() < kMaxFrameBody) {
        body_.push_back(byte);
      } else {
        state_ = State::kHunting;
      }
      return std::nullopt;
    case State::kBodyDle:
      if (byte == 0x00 && body_.size() < kMaxFrameBody) {
        body_.push_back(kDle);
        state_ = State::kBody;
      } else if (byte == kStx) {
        body_.clear();
        state_ = State::kBody;
      } else if (byte == kEtx) {
        checksum_.clear();
        state_ = State::kChecksum;
      } else {
        state_ = byte == kDle ? State::kStart : State::kHunting;
      }
      return std::nullopt;
    case State::kChecksum:
      if (byte == kDle) {
        state_ = State::kChecksumDle;
        return std::nullopt;
      }
      checksum_.push_back(byte);
      return checksum_.size() == 2 ? Complete() : std::nullopt;
    case State::kChecksumDle:
      checksum_.push_back(kDle);
      if (byte == 0x00) {
        if (checksum_.size() == 2) return Complete();
        state_ = State::kChecksum;
        return std::nullopt;
      }
      // A sender that does not stuff its checksum: the DLE was a checksum byte.
      if (checksum_.size() == 1) {
        checksum_.push_back(byte);
        return Complete();
      }
      {
        auto frame = Complete();
        Push(byte);
        return frame;
      }
  }
  return std::nullopt;
}

}  // namespace kavonet::sim
