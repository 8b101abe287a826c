#pragma once
// The terminal's message memory: numbered slots from 1, each holding a received
// message as its service centre address field and SMS-DELIVER TPDU.

#include <map>
#include <optional>
#include <vector>

#include "sim/Hex.h"

namespace kavonet::sim {

enum class MessageStatus { kUnread = 0, kRead = 1 };

struct StoredMessage {
  MessageStatus status = MessageStatus::kUnread;
  Bytes scaField;
  Bytes tpdu;
};

class MessageStore {
 public:
  // Block Mode carries an index in one byte, so no store is larger.
  static constexpr int kMaxCapacity = 255;

  explicit MessageStore(int capacity = kMaxCapacity);

  // Takes the lowest free index; nothing when the store is full.
  std::optional<int> Add(StoredMessage message);
  StoredMessage* Find(int index);
  bool Remove(int index);
  // The lowest index above `index`, for walking the store in order.
  std::optional<int> NextAfter(int index) const;
  std::vector<int> Indices() const;
  int Count() const { return static_cast<int>(messages_.size()); }
  int Capacity() const { return capacity_; }

 private:
  int capacity_;
  std::map<int, StoredMessage> messages_;
};

}  // namespace kavonet::sim
