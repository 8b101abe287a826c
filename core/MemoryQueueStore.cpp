#include "core/MemoryQueueStore.h"

#include <algorithm>
#include <tuple>

namespace kavonet {

namespace {

template <typename Rows>
auto Find(Rows& rows, StoreId id) {
  return std::find_if(rows.begin(), rows.end(), [id](const auto& row) { return row.id == id; });
}

template <typename Rows>
bool Erase(Rows& rows, StoreId id) {
  const auto it = Find(rows, id);
  if (it == rows.end()) return false;
  rows.erase(it);
  return true;
}

}  // namespace

std::optional<std::vector<StoreId>> MemoryQueueStore::AddOutgoing(
    const std::vector<OutgoingMessage>& messages) {
  if (!Writable()) return std::nullopt;
  std::vector<StoreId> ids;
  for (const OutgoingMessage& message : messages) {
    ids.push_back(nextId_);
    outgoing_.push_back({nextId_++, message, false});
  }
  return ids;
}

bool MemoryQueueStore::RemoveOutgoing(StoreId id) { return Writable() && Erase(outgoing_, id); }

bool MemoryQueueStore::MoveOutgoing(StoreId id, std::size_t index) {
  const auto it = Find(outgoing_, id);
  if (!Writable() || it == outgoing_.end()) return false;
  const OutgoingRow row = *it;
  outgoing_.erase(it);
  outgoing_.insert(outgoing_.begin() + static_cast<std::ptrdiff_t>(std::min(index, outgoing_.size())), row);
  return true;
}

bool MemoryQueueStore::MarkOnTheLine(StoreId id) {
  const auto it = Find(outgoing_, id);
  if (!Writable() || it == outgoing_.end()) return false;
  it->onTheLine = true;
  return true;
}

bool MemoryQueueStore::MarkPartConfirmed(StoreId id, int partsDone) {
  const auto it = Find(outgoing_, id);
  if (!Writable() || it == outgoing_.end()) return false;
  it->partsDone = partsDone;
  it->onTheLine = false;
  return true;
}

std::optional<StoreId> MemoryQueueStore::ConfirmOutgoing(StoreId id, const std::string& logLine) {
  if (!Writable() || !Erase(outgoing_, id)) return std::nullopt;
  pending_.push_back({nextId_, logLine});
  return nextId_++;
}

bool MemoryQueueStore::LogLineWritten(StoreId id) { return Writable() && Erase(pending_, id); }

std::int64_t MemoryQueueStore::NextShown() const {
  std::int64_t last = 0;
  for (const IncomingRow& row : incoming_) last = std::max(last, row.shownAs);
  return last + 1;
}

std::optional<StoreId> MemoryQueueStore::AddIncoming(const IncomingMessage& message) {
  if (!Writable()) return std::nullopt;
  incoming_.push_back({nextId_, message, false, NextShown(), {}});
  return nextId_++;
}

std::optional<StoreId> MemoryQueueStore::HoldIncoming(const IncomingMessage& message,
                                                      const MessagePart& part) {
  if (!Writable()) return std::nullopt;
  incoming_.push_back({nextId_, message, false, 0, part});
  return nextId_++;
}

bool MemoryQueueStore::ShowIncoming(const std::vector<StoreId>& ids) {
  if (!Writable() || !std::all_of(ids.begin(), ids.end(),
                                  [&](StoreId id) { return Find(incoming_, id) != incoming_.end(); })) {
    return false;
  }
  const std::int64_t shown = NextShown();
  for (const StoreId id : ids) Find(incoming_, id)->shownAs = shown;
  return true;
}

std::vector<IncomingRow> MemoryQueueStore::LoadIncoming() {
  std::vector<IncomingRow> rows = incoming_;
  // Held rows (0) last; ids grow with arrival.
  auto key = [](const IncomingRow& row) {
    return std::tuple(row.shownAs == 0, row.shownAs, row.part.number, row.id);
  };
  std::sort(rows.begin(), rows.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
  return rows;
}

bool MemoryQueueStore::MarkHandedOver(const std::vector<StoreId>& ids) {
  if (!Writable() || !std::all_of(ids.begin(), ids.end(),
                                  [&](StoreId id) { return Find(incoming_, id) != incoming_.end(); })) {
    return false;
  }
  for (const StoreId id : ids) Find(incoming_, id)->handedOver = true;
  return true;
}

bool MemoryQueueStore::RemoveIncoming(StoreId id) { return Writable() && Erase(incoming_, id); }

void MemoryQueueStore::Fail(StoreProblem problem) {
  failing_ = true;
  if (!fault_) fault_ = std::move(problem);
}

}  // namespace kavonet
