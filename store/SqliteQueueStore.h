#pragma once
// The queues in one SQLite file in the gateway's working directory: WAL journal,
// synchronous=FULL so that a commit survives a power loss, and an flock on a side
// file so that one gateway alone uses it.

#include <filesystem>
#include <functional>

#include "core/QueueStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kavonet {

class SqliteQueueStore : public QueueStore {
 public:
  static constexpr const char* kFileName = "kavonet-queue.db";

  // Opens or creates kFileName in `directory`. A file that is not a database or fails
  // its integrity check is renamed <name>.corrupt-YYYYMMDD-HHMMSS and a new one made.
  // Never throws: a store that could not be opened says why in Fault().
  explicit SqliteQueueStore(const std::filesystem::path& directory);
  ~SqliteQueueStore() override;
  SqliteQueueStore(const SqliteQueueStore&) = delete;
  SqliteQueueStore& operator=(const SqliteQueueStore&) = delete;

  const std::filesystem::path& Path() const { return path_; }

  // Both queues in order, and their rows: shared with the read-only snapshot.
  static constexpr const char* kSelectOutgoing =
      "SELECT id, destination, text, on_the_line, parts_done FROM outgoing ORDER BY pos, id";
  static constexpr const char* kSelectIncoming =
      "SELECT id, msg_no, status, origin, date, time, text, handed_over, COALESCE(shown_as, 0), "
      "part_reference, part_total, part_number FROM incoming "
      "ORDER BY shown_as IS NULL, shown_as, part_number, id";
  static OutgoingRow OutgoingFrom(sqlite3_stmt* row);
  static IncomingRow IncomingFrom(sqlite3_stmt* row);

  std::optional<std::vector<StoreId>> AddOutgoing(const std::vector<OutgoingMessage>& messages) override;
  std::vector<OutgoingRow> LoadOutgoing() override;
  bool RemoveOutgoing(StoreId id) override;
  bool MoveOutgoing(StoreId id, std::size_t index) override;
  bool MarkOnTheLine(StoreId id) override;
  bool MarkPartConfirmed(StoreId id, int partsDone) override;
  std::optional<StoreId> ConfirmOutgoing(StoreId id, const std::string& logLine) override;
  std::vector<PendingLogLine> PendingLogLines() override;
  bool LogLineWritten(StoreId id) override;

  std::optional<StoreId> AddIncoming(const IncomingMessage& message) override;
  std::optional<StoreId> HoldIncoming(const IncomingMessage& message, const MessagePart& part) override;
  bool ShowIncoming(const std::vector<StoreId>& ids) override;
  std::vector<IncomingRow> LoadIncoming() override;
  bool MarkHandedOver(const std::vector<StoreId>& ids) override;
  bool RemoveIncoming(StoreId id) override;

  std::optional<StoreProblem> Fault() const override { return fault_; }
  std::optional<StoreProblem> MovedAside() const override { return movedAside_; }
  // Another process holds the file: a second gateway in the same directory.
  bool InUse() const { return inUse_; }

 private:
  enum Stmt {
    kBegin, kCommit, kMaxPos, kAddOut, kLoadOut, kLoadOrder, kRemoveOut, kMarkOut, kPartDone, kSetPos,
    kAddPending, kLoadPending, kRemovePending, kAddIn, kNextShown, kShowIn, kLoadIn, kMarkIn, kRemoveIn,
    kStmtCount
  };
  // False when it failed; `damage` then says why if the file itself is damaged.
  bool OpenDatabase(std::string* damage);
  void CloseDatabase();
  bool MoveAside(const std::string& why);
  bool Fail(const std::string& what);
  bool FailWith(std::string reason);
  bool Run(Stmt stmt, const char* what, const std::function<void(sqlite3_stmt*)>& row = {});
  bool RunChanging(Stmt stmt, const char* what);
  // Runs a statement whose only parameter is a row id; false unless it changed a row.
  bool ChangeRow(Stmt stmt, StoreId id, const char* what);
  // ChangeRow without waiting for the disk: the change survives the process, and is
  // lost only with the machine, where losing it costs nothing (see the callers).
  bool ChangeRowUnsynced(Stmt stmt, StoreId id, const char* what);
  template <typename Body>
  bool Transaction(const char* what, Body body);
  // Adds a row, held back or shown as the next row.
  std::optional<StoreId> InsertIncoming(const IncomingMessage& message, const MessagePart& part, bool held);

  std::filesystem::path path_;
  int lockFd_ = -1;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* stmts_[kStmtCount] = {};
  std::optional<StoreProblem> fault_;
  std::optional<StoreProblem> movedAside_;
  bool inUse_ = false;
};

}  // namespace kavonet
