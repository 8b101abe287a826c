#pragma once
// A QueueStore that keeps everything in memory: for tests of the controller. Fail()
// makes it behave like a store whose file stopped accepting writes.

#include "core/QueueStore.h"

namespace kavonet {

class MemoryQueueStore : public QueueStore {
 public:
  std::optional<std::vector<StoreId>> AddOutgoing(const std::vector<OutgoingMessage>& messages) override;
  std::vector<OutgoingRow> LoadOutgoing() override { return outgoing_; }
  bool RemoveOutgoing(StoreId id) override;
  bool MoveOutgoing(StoreId id, std::size_t index) override;
  bool MarkOnTheLine(StoreId id) override;
  bool MarkPartConfirmed(StoreId id, int partsDone) override;
  std::optional<StoreId> ConfirmOutgoing(StoreId id, const std::string& logLine) override;
  std::vector<PendingLogLine> PendingLogLines() override { return pending_; }
  bool LogLineWritten(StoreId id) override;

  std::optional<StoreId> AddIncoming(const IncomingMessage& message) override;
  std::optional<StoreId> HoldIncoming(const IncomingMessage& message, const MessagePart& part) override;
  bool ShowIncoming(const std::vector<StoreId>& ids) override;
  std::vector<IncomingRow> LoadIncoming() override;
  bool MarkHandedOver(const std::vector<StoreId>& ids) override;
  bool RemoveIncoming(StoreId id) override;

  std::optional<StoreProblem> Fault() const override { return fault_; }
  std::optional<StoreProblem> MovedAside() const override { return std::nullopt; }

  // From now on every change fails, as a full disk would make it.
  void Fail(StoreProblem problem);

 private:
  bool Writable() const { return !failing_; }
  std::int64_t NextShown() const;

  std::vector<OutgoingRow> outgoing_;
  std::vector<IncomingRow> incoming_;
  std::vector<PendingLogLine> pending_;
  StoreId nextId_ = 1;
  bool failing_ = false;
  std::optional<StoreProblem> fault_;
};

}  // namespace kavonet
