// The two queues in the queue store: what is committed there is what the gateway has
// promised, so a submission is kept before it is acknowledged, a confirmed message leaves
// it before its log line is written, and a received message stays until its copy in the
// terminal is gone.

#include <string>
#include <vector>

#include "core/TSMS_Main.h"
#include "sms/MessageLog.h"

namespace kavonet {

std::int16_t TSMS_Main::StorageIndex(const std::string& msgNumber) {
  long long number = 0;
  try {
    number = std::stoll(msgNumber);
  } catch (const std::exception&) {
    return 0;  // not a number: nothing to delete
  }
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(number & 0xFFFF));
}

std::string TSMS_Main::CellsFingerprint(const IncomingMessage& m) {
  return m.origin + "|" + m.date + "|" + m.time + "|" + m.text;
}

void TSMS_Main::UseQueueStore(QueueStore& store) {
  store_ = &store;
  if (const auto aside = store.MovedAside()) ReportProblem("Message queue file " + aside->Text());
  WritePendingLogLines();
  RestoreSendQueue();
  RestoreReceiveQueue();
  CheckStore();
  ControlsChanged();
}

void TSMS_Main::AppendRow(StringGrid& grid, const std::vector<std::string>& cells, RowTag tag) {
  const int row = grid.RowCount() - 1;
  for (int col = 0; col < static_cast<int>(cells.size()); ++col) grid.SetCell(col, row, cells[col]);
  grid.SetTag(row, tag);
  grid.SetRow(row);
  grid.AddRow();
}

void TSMS_Main::WritePendingLogLines() {
  const std::filesystem::path log = workDir_ / "transmit.txt";
  bool first = true;
  for (const PendingLogLine& pending : store_->PendingLogLines()) {
    // Only the oldest line can have reached the log before the process ended: it was
    // being written when it did.
    const bool written = first && sms::LogEndsWith(log, pending.line);
    first = false;
    if (!pending.line.empty() && !written && !WriteLogLine(log, pending.line)) {
      return;  // kept: the next start writes it
    }
    store_->LogLineWritten(pending.id);
  }
}

void TSMS_Main::RestoreSendQueue() {
  for (const OutgoingRow& row : store_->LoadOutgoing()) {
    AppendRow(tx_queue, {row.message.destination, row.message.text},
              {row.id, row.onTheLine, row.partsDone});
    // The process ended in the middle of a send: the terminal may still wait for PDU text.
    if (row.onTheLine) escapeBeforeInit_ = true;
  }
  if (tx_queue.RowCount() > 2) ShowTxStage(2);
}

void TSMS_Main::RestoreReceiveQueue() {
  const std::vector<IncomingRow> rows = store_->LoadIncoming();
  for (std::size_t first = 0, end = 0; first < rows.size(); first = end) {
    // Held parts wait for the rest again, for a whole new waiting time.
    if (rows[first].shownAs == 0) {
      HoldStoredPart(rows[first]);
      end = first + 1;
      continue;
    }
    // Rows shown together: the parts of one joined message.
    std::vector<HeldPart> waiting;
    for (end = first; end < rows.size() && rows[end].shownAs == rows[first].shownAs; ++end) {
      const IncomingRow& row = rows[end];
      if (!row.handedOver) {
        waiting.push_back({row.message, row.part.number, row.id, true});
        continue;
      }
      // Handed to a client before the restart; its copy may have been deleted already and
      // the index reused, so it is read back and deleted only if it is still the same message.
      Read({StorageIndex(row.message.msgNo), 0, CellsFingerprint(row.message), row.id});
    }
    if (waiting.size() == 1) {
      const IncomingMessage& m = waiting.front().cells;
      AppendRow(rx_grid, {m.msgNo, m.status, m.origin, m.date, m.time, m.text}, {waiting.front().stored, true});
    } else if (!waiting.empty()) {
      const JoinedRow joined = Join(waiting);
      const IncomingMessage& m = joined.cells;
      AppendRow(rx_grid, {m.msgNo, m.status, m.origin, m.date, m.time, m.text}, joined.tag);
    }
  }
}

void TSMS_Main::CheckStore() {
  const std::optional<StoreProblem> fault = store_->Fault();
  if (!fault || storeFaultReported_) return;
  storeFaultReported_ = true;
  ReportProblem("Message queue file " + fault->Text() + " - new messages are refused");
}

void TSMS_Main::ReportProblem(const std::string& text) {
  statusText_ = text;
  if (observer_) observer_->ProblemReported(text);
}

void TSMS_Main::Submit(const std::vector<OutgoingMessage>& messages) {
  if (messages.empty()) return;
  const std::optional<std::vector<StoreId>> ids = store_->AddOutgoing(messages);
  if (!ids || ids->size() != messages.size()) {
    CheckStore();
    const std::optional<StoreProblem> fault = store_->Fault();
    throw SubmissionRefused("message queue file " +
                            (fault ? fault->Text() : std::string("cannot keep new messages")));
  }
  for (std::size_t i = 0; i < messages.size(); ++i) {
    AppendRow(tx_queue, {messages[i].destination, messages[i].text}, {(*ids)[i], false});
  }
  ControlsChanged();
  WakeFastDispatch();
}

bool TSMS_Main::MoveSendQueueRow(int from, int to) {
  const int last = tx_queue.RowCount() - 2;
  if (from < 1 || from > last || to < 1 || to > last || from == to) return false;
  // The head row is the message being sent while a send is under way: its confirmation
  // removes the head row, so moving it would drop the wrong message and send this one twice.
  if (!send_.Is(SendState::Idle) && (from == 1 || to == 1)) return false;
  const StoreId id = tx_queue.Tag(from).StoreId;
  tx_queue.MoveRow(from, to);
  if (id != 0 && !store_->MoveOutgoing(id, static_cast<std::size_t>(to - 1))) CheckStore();
  ControlsChanged();
  return true;
}

void TSMS_Main::MarkHeadOnTheLine(const CommandSlot& slot) {
  // From the "+CMGS=" line on: a process that ends after it may leave the terminal at its
  // prompt, and the next one must clear that first.
  if (slot.Label != label::kSendPdu && slot.Label != label::kSendMessage) return;
  const StoreId id = tx_queue.Tag(1).StoreId;
  if (id != 0 && !store_->MarkOnTheLine(id)) CheckStore();
}

void TSMS_Main::StoreConfirmation() {
  const StoreId id = tx_queue.Tag(1).StoreId;
  if (id == 0) return;
  if (!GatewayConfig_.LogTransmit) {
    if (!store_->RemoveOutgoing(id)) CheckStore();
    return;
  }
  // The row leaves the store together with its log line: a crash after this commit never
  // sends the message again, and the next start writes the line if this run could not.
  const std::optional<StoreId> lineId = store_->ConfirmOutgoing(id, PendingTxLogLine);
  if (!lineId) {
    CheckStore();
    return;
  }
  const std::filesystem::path log = workDir_ / "transmit.txt";
  if (!WriteLogLine(log, PendingTxLogLine)) return;
  if (!store_->LogLineWritten(*lineId)) CheckStore();
}

void TSMS_Main::KeepReceived(int row) {
  std::vector<std::string> cells;
  for (int col = 0; col < rx_grid.ColCount(); ++col) cells.push_back(rx_grid.Cell(col, row));
  const std::optional<StoreId> id =
      store_->AddIncoming({cells[0], cells[1], cells[2], cells[3], cells[4], cells[5]});
  // Not kept, it is still shown and handed over; the terminal keeps its own copy.
  if (!id) CheckStore();
  rx_grid.SetTag(row, {id.value_or(0), false});
}

void TSMS_Main::HandOverFirstReceived() {
  if (rx_grid.RowCount() - 2 < 1) return;
  const RowTag tag = rx_grid.Tag(1);
  std::vector<MessageRef> copies = tag.Parts;
  if (copies.empty()) {
    copies.push_back({StorageIndex(rx_grid.Cell(0, 1)), 0, RowFingerprint(1), tag.StoreId});
  }
  rx_grid.RemoveFirstRow();
  ControlsChanged();
  std::vector<StoreId> handedOver;
  for (const MessageRef& copy : copies) {
    if (copy.MsgIndex != 0 && copy.Stored != 0) handedOver.push_back(copy.Stored);
  }
  if (!handedOver.empty() && !store_->MarkHandedOver(handedOver)) CheckStore();
  for (MessageRef& copy : copies) {
    if (copy.MsgIndex == 0) {
      // The terminal did not store it, so the store's row is all there is to remove.
      ForgetReceived(copy);
    } else if (tag.Interrupted) {
      // Kept across a restart: the index may hold another message by now.
      Read(std::move(copy));
    } else {
      Delete(std::move(copy));
    }
  }
}

void TSMS_Main::ForgetReceived(const MessageRef& ref) {
  if (ref.Stored != 0 && !store_->RemoveIncoming(ref.Stored)) CheckStore();
}

}  // namespace kavonet
