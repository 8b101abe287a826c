// Parts of concatenated messages: held, in the queue store and here, until every part of
// the message has arrived, then shown as one receive queue row. Each part stays a message
// of its own in the terminal and in the store, so a retrieval deletes (and, after a restart,
// first verifies) every part's copy. Parts whose rest does not come in time are shown apart.

#include <algorithm>

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"

namespace kavonet {

namespace {

IncomingMessage RowCells(const sms::ReceivedMessage& m) {
  return {std::to_string(m.MsgIndex), m.IsNew ? "New " : "Read", m.Origin,
          m.Day + "-" + m.Month + "-" + m.Year, m.Hour + ":" + m.Minute + ":" + m.Second, m.Text};
}

}  // namespace

std::size_t TSMS_Main::HeldParts() const {
  std::size_t parts = 0;
  for (const PartGroup& group : heldParts_) parts += group.parts.size();
  return parts;
}

TSMS_Main::JoinedRow TSMS_Main::Join(std::vector<HeldPart> parts) {
  std::sort(parts.begin(), parts.end(),
            [](const HeldPart& a, const HeldPart& b) { return a.number < b.number; });
  // The first part's index, status and time stamp; the text of all of them.
  JoinedRow joined{parts.front().cells, {}};
  joined.cells.text.clear();
  for (const HeldPart& part : parts) {
    joined.cells.text += part.cells.text;
    joined.tag.Parts.push_back(
        {StorageIndex(part.cells.msgNo), 0, CellsFingerprint(part.cells), part.stored});
    // One part kept across a restart: every copy is read back before its delete.
    joined.tag.Interrupted = joined.tag.Interrupted || part.restored;
  }
  return joined;
}

TSMS_Main::PartGroup* TSMS_Main::HeldGroup(const std::string& origin, const MessagePart& key) {
  for (PartGroup& group : heldParts_) {
    if (group.origin == origin && group.key.reference == key.reference && group.key.total == key.total) {
      return &group;
    }
  }
  return nullptr;
}

bool TSMS_Main::Holds(const PartGroup* group, int number) {
  return group != nullptr && std::any_of(group->parts.begin(), group->parts.end(),
                                         [&](const HeldPart& p) { return p.number == number; });
}

bool TSMS_Main::HoldPart(const sms::ReceivedMessage& message) {
  if (!message.Concat) return false;
  const sms::Concatenation& c = *message.Concat;
  if (c.Total < 2 || c.Part < 1 || c.Part > c.Total) return false;
  const MessagePart key{c.Reference + (c.WideReference ? 0x10000 : 0), c.Total, c.Part};
  // A second part with that number belongs to another message: joining it would mix the two.
  if (Holds(HeldGroup(message.Origin, key), key.number)) return false;
  HeldPart part{RowCells(message), c.Part, 0, false};
  const std::optional<StoreId> id = store_->HoldIncoming(part.cells, key);
  // Not kept, it is still joined and handed over; the terminal keeps its own copy.
  if (!id) CheckStore();
  part.stored = id.value_or(0);
  Hold(message.Origin, key, std::move(part));
  return true;
}

void TSMS_Main::HoldStoredPart(const IncomingRow& row) {
  if (Holds(HeldGroup(row.message.origin, row.part), row.part.number)) {
    if (!store_->ShowIncoming({row.id})) CheckStore();
    ShowReceivedRow(row.message, {row.id, true});
    return;
  }
  Hold(row.message.origin, row.part, {row.message, row.part.number, row.id, true});
}

void TSMS_Main::Hold(const std::string& origin, const MessagePart& key, HeldPart part) {
  PartGroup* group = HeldGroup(origin, key);
  if (group == nullptr) group = &heldParts_.emplace_back(PartGroup{origin, key, {}, 0});
  group->parts.push_back(std::move(part));
  if (static_cast<int>(group->parts.size()) == key.total) {
    std::vector<HeldPart> parts = std::move(group->parts);
    heldParts_.erase(heldParts_.begin() + (group - heldParts_.data()));
    const JoinedRow joined = Join(std::move(parts));
    std::vector<StoreId> ids;
    for (const MessageRef& copy : joined.tag.Parts) {
      if (copy.Stored != 0) ids.push_back(copy.Stored);
    }
    if (!ids.empty() && !store_->ShowIncoming(ids)) CheckStore();
    ShowReceivedRow(joined.cells, joined.tag);
  }
  Held_Parts_Timer->SetEnabled(!heldParts_.empty());
}

void TSMS_Main::Held_Parts_TimerTimer() {
  std::vector<PartGroup> expired;
  for (auto group = heldParts_.begin(); group != heldParts_.end();) {
    // The first tick may come at once: one more makes it never less than the full time.
    if (++group->minutesHeld <= kPartsWaitMinutes) {
      ++group;
      continue;
    }
    expired.push_back(std::move(*group));
    group = heldParts_.erase(group);
  }
  for (const PartGroup& group : expired) {
    SetStatusText("Message from " + group.origin + " incomplete after 24 hours: " +
                  std::to_string(group.parts.size()) + " of " + std::to_string(group.key.total) +
                  " parts shown apart");
    for (const HeldPart& part : group.parts) {
      if (part.stored != 0 && !store_->ShowIncoming({part.stored})) CheckStore();
      ShowReceivedRow(part.cells, {part.stored, part.restored});
    }
  }
  Held_Parts_Timer->SetEnabled(!heldParts_.empty());
}

bool TSMS_Main::HeldAlready(std::int16_t index, const std::string& fingerprint) const {
  return std::any_of(heldParts_.begin(), heldParts_.end(), [&](const PartGroup& group) {
    return std::any_of(group.parts.begin(), group.parts.end(), [&](const HeldPart& part) {
      return StorageIndex(part.cells.msgNo) == index && CellsFingerprint(part.cells) == fingerprint;
    });
  });
}

void TSMS_Main::ShowReceivedRow(const IncomingMessage& m, RowTag tag) {
  RxGridBusy = true;
  AppendRow(rx_grid, {m.msgNo, m.status, m.origin, m.date, m.time, m.text}, std::move(tag));
  RxGridBusy = false;
  ControlsChanged();
  if (!GatewayConfig_.LogReceive) return;
  const std::filesystem::path log = workDir_ / "receive.txt";
  if (!sms::AppendLogLine(log, sms::ReceiveLogLine(m.origin, m.date, m.time, m.text))) {
    ShowError("Unable to write to " + log.string());
  }
}

}  // namespace kavonet
