#include "sim/MessageStore.h"

#include <algorithm>

namespace kavonet::sim {

MessageStore::MessageStore(int capacity) : capacity_(std::clamp(capacity, 1, kMaxCapacity)) {}

std::optional<int> MessageStore::Add(StoredMessage message) {
  for (int index = 1; index <= capacity_; ++index) {
    if (messages_.count(index) == 0) {
      messages_.emplace(index, std::move(message));
      return index;
    }
  }
  return std::nullopt;
}

StoredMessage* MessageStore::Find(int index) {
  auto it = messages_.find(index);
  return it == messages_.end() ? nullptr : &it->second;
}

bool MessageStore::Remove(int index) { return messages_.erase(index) > 0; }

std::optional<int> MessageStore::NextAfter(int index) const {
  auto it = messages_.upper_bound(index);
  if (it == messages_.end()) return std::nullopt;
  return it->first;
}

std::vector<int> MessageStore::Indices() const {
  std::vector<int> indices;
  for (const auto& entry : messages_) indices.push_back(entry.first);
  return indices;
}

}  // namespace kavonet::sim
