#pragma once
// Where the send queue and the receive queue outlive the process. The controller talks
// to this interface only; an embedded database backs it today, and a server database
// shared by several gateways can back it later without the controller noticing.
//
// Sending a message, crash-safe:
//   1. AddOutgoing commits the rows; only then is the submission acknowledged.
//   2. MarkOnTheLine just before the PDU goes to the terminal. A row that loads with
//      onTheLine set was interrupted by a restart and is sent again. A message sent in
//      parts records each confirmed part but the last with MarkPartConfirmed: it resumes
//      from the first unconfirmed part, and only the part on the line can go twice.
//   3. On the terminal's confirmation, ConfirmOutgoing removes the row and records its
//      transmit log line as pending, in one transaction: a crash either leaves the row
//      (not yet confirmed, send again) or removes it for good (never sent again).
//   4. The controller appends the line to the transmit log and calls LogLineWritten.
//      On start it writes every PendingLogLines() oldest first, then LogLineWritten;
//      a crash between steps 4's append and LogLineWritten leaves that line pending
//      although it is already in the log, so before writing the oldest pending line
//      the controller skips it if the log already ends with it.
//
// Receiving a message, crash-safe: AddIncoming before the row is shown. When a client
// takes a row whose message the terminal still holds, MarkHandedOver keeps it until the
// terminal's copy is deleted (RemoveIncoming then): a row that loads handed over was
// interrupted by a restart, and its copy is deleted only once read back unchanged.
// A part of a concatenated message is kept with HoldIncoming, not shown, until the rest
// has arrived; ShowIncoming then shows the parts together as one row (or one part alone
// when the rest never came). Every store row stays one message of the terminal, so each
// part's copy is verified and deleted on its own.
//
// Failures: the first failure (cannot open, cannot write, in use by another gateway)
// is kept in Fault() with the file's path and the reason. After it AddOutgoing and
// AddIncoming refuse; other changes are still tried so that a confirmed message still
// leaves the store if the file accepts it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kavonet {

using StoreId = std::int64_t;

struct StoreProblem {
  std::string path;
  std::string reason;
  std::string Text() const { return path + ": " + reason; }
  bool operator==(const StoreProblem&) const = default;
};

struct OutgoingMessage {
  std::string destination;
  std::string text;
  bool operator==(const OutgoingMessage&) const = default;
};

struct OutgoingRow {
  StoreId id = 0;
  OutgoingMessage message;
  bool onTheLine = false;  // its PDU was written and no confirmation was recorded
  int partsDone = 0;       // parts of a concatenated message the terminal has confirmed
  bool operator==(const OutgoingRow&) const = default;
};

// One row of the receive queue, its six cells as shown.
struct IncomingMessage {
  std::string msgNo, status, origin, date, time, text;
  bool operator==(const IncomingMessage&) const = default;
};

// Where a part of a concatenated message belongs; total 0 for a whole message.
struct MessagePart {
  std::int32_t reference = 0;  // a 16-bit reference is told apart from an 8-bit one: +0x10000
  int total = 0;
  int number = 0;
  bool operator==(const MessagePart&) const = default;
};

struct IncomingRow {
  StoreId id = 0;
  IncomingMessage message;
  bool handedOver = false;  // a client has it; its copy in the terminal is still to delete
  // The receive queue row it is shown in, counting up in the order rows were shown; rows
  // that share it are the parts of one joined message. 0 while it is held.
  std::int64_t shownAs = 0;
  MessagePart part;
  bool operator==(const IncomingRow&) const = default;
};

struct PendingLogLine {
  StoreId id = 0;
  std::string line;
  bool operator==(const PendingLogLine&) const = default;
};

class QueueStore {
 public:
  virtual ~QueueStore() = default;

  // Appends the rows after the last one in one commit; their ids in the same order,
  // or nothing when the commit failed (and then none of them is kept).
  virtual std::optional<std::vector<StoreId>> AddOutgoing(
      const std::vector<OutgoingMessage>& messages) = 0;
  virtual std::vector<OutgoingRow> LoadOutgoing() = 0;
  virtual bool RemoveOutgoing(StoreId id) = 0;
  // Moves the row to position `index` of the queue (0 = head; past the end = last).
  virtual bool MoveOutgoing(StoreId id, std::size_t index) = 0;
  virtual bool MarkOnTheLine(StoreId id) = 0;
  // `partsDone` parts of the row's message are confirmed; it is no longer on the line.
  virtual bool MarkPartConfirmed(StoreId id, int partsDone) = 0;
  // The pending log line's id, or nothing when the row was not there or the commit failed.
  virtual std::optional<StoreId> ConfirmOutgoing(StoreId id, const std::string& logLine) = 0;
  virtual std::vector<PendingLogLine> PendingLogLines() = 0;
  virtual bool LogLineWritten(StoreId id) = 0;

  // Shown at once, after every row shown before it.
  virtual std::optional<StoreId> AddIncoming(const IncomingMessage& message) = 0;
  // A part kept back, not shown, until ShowIncoming.
  virtual std::optional<StoreId> HoldIncoming(const IncomingMessage& message, const MessagePart& part) = 0;
  // Shows the rows, in one commit, together as the queue's next row.
  virtual bool ShowIncoming(const std::vector<StoreId>& ids) = 0;
  // Shown rows in the order shown (the parts of a joined row by part number), then the
  // held rows oldest first.
  virtual std::vector<IncomingRow> LoadIncoming() = 0;
  // In one commit: a row joined from parts is handed over whole.
  virtual bool MarkHandedOver(const std::vector<StoreId>& ids) = 0;
  virtual bool RemoveIncoming(StoreId id) = 0;

  virtual std::optional<StoreProblem> Fault() const = 0;
  // A damaged file found at opening and moved aside (the store then starts empty):
  // where it went and why. Not a fault: the store works.
  virtual std::optional<StoreProblem> MovedAside() const = 0;
};

}  // namespace kavonet
