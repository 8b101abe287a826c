#pragma once
// What the queue file holds, read without changing it and without its lock: for looking
// at the queues while a gateway runs, or with none running.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/QueueStore.h"

namespace kavonet {

struct QueueSnapshot {
  std::vector<OutgoingRow> outgoing;  // in sending order
  std::vector<IncomingRow> incoming;  // oldest first
};

// The queues kept in `directory`; nothing with `error` set when there is no queue file or
// it cannot be read.
std::optional<QueueSnapshot> ReadQueueFile(const std::filesystem::path& directory, std::string& error);

}  // namespace kavonet
