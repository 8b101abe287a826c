#include "store/SqliteQueueStore.h"

#include <errno.h>
#include <fcntl.h>
#include <sqlite3.h>
#include <string.h>
#include <sys/file.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

namespace kavonet {

namespace {

// Text is stored as blobs, byte for byte as the gateway holds it: nothing stored is ever
// re-encoded or refused for its encoding.
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS outgoing(
  id INTEGER PRIMARY KEY AUTOINCREMENT, pos INTEGER NOT NULL,
  destination BLOB NOT NULL, text BLOB NOT NULL, on_the_line INTEGER NOT NULL DEFAULT 0,
  parts_done INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS outgoing_order ON outgoing(pos, id);
CREATE TABLE IF NOT EXISTS incoming(
  id INTEGER PRIMARY KEY AUTOINCREMENT, msg_no BLOB NOT NULL, status BLOB NOT NULL,
  origin BLOB NOT NULL, date BLOB NOT NULL, time BLOB NOT NULL, text BLOB NOT NULL,
  handed_over INTEGER NOT NULL DEFAULT 0, shown_as INTEGER,
  part_reference INTEGER NOT NULL DEFAULT 0, part_total INTEGER NOT NULL DEFAULT 0,
  part_number INTEGER NOT NULL DEFAULT 0);
CREATE TABLE IF NOT EXISTS pending_log(id INTEGER PRIMARY KEY AUTOINCREMENT, line BLOB NOT NULL);
PRAGMA user_version = 1;
)";

// A file from before messages went in parts: its rows keep their order.
constexpr const char* kUpgradeFromVersion0 = R"(
ALTER TABLE outgoing ADD COLUMN parts_done INTEGER NOT NULL DEFAULT 0;
ALTER TABLE incoming ADD COLUMN shown_as INTEGER;
ALTER TABLE incoming ADD COLUMN part_reference INTEGER NOT NULL DEFAULT 0;
ALTER TABLE incoming ADD COLUMN part_total INTEGER NOT NULL DEFAULT 0;
ALTER TABLE incoming ADD COLUMN part_number INTEGER NOT NULL DEFAULT 0;
UPDATE incoming SET shown_as = id;
)";

// AUTOINCREMENT: an id is never reused, so a stale id can never hit a newer row.
constexpr const char* kSql[] = {
    "BEGIN IMMEDIATE",
    "COMMIT",
    "SELECT COALESCE(MAX(pos), 0) FROM outgoing",
    "INSERT INTO outgoing(pos, destination, text) VALUES(?1, ?2, ?3)",
    SqliteQueueStore::kSelectOutgoing,
    "SELECT id, pos FROM outgoing ORDER BY pos, id",
    "DELETE FROM outgoing WHERE id = ?1",
    "UPDATE outgoing SET on_the_line = 1 WHERE id = ?1",
    "UPDATE outgoing SET on_the_line = 0, parts_done = ?2 WHERE id = ?1",
    "UPDATE outgoing SET pos = ?2 WHERE id = ?1",
    "INSERT INTO pending_log(line) VALUES(?1)",
    "SELECT id, line FROM pending_log ORDER BY id",
    "DELETE FROM pending_log WHERE id = ?1",
    "INSERT INTO incoming(msg_no, status, origin, date, time, text, shown_as, part_reference, part_total, part_number) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)",
    "SELECT COALESCE(MAX(shown_as), 0) + 1 FROM incoming",
    "UPDATE incoming SET shown_as = ?2 WHERE id = ?1",
    SqliteQueueStore::kSelectIncoming,
    "UPDATE incoming SET handed_over = 1 WHERE id = ?1",
    "DELETE FROM incoming WHERE id = ?1",
};

void Bind(sqlite3_stmt* stmt, int index, const std::string& value) {
  sqlite3_bind_blob(stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
}

std::string Column(sqlite3_stmt* stmt, int index) {
  const void* data = sqlite3_column_blob(stmt, index);
  return data ? std::string(static_cast<const char*>(data), static_cast<std::size_t>(sqlite3_column_bytes(stmt, index)))
              : std::string();
}

bool IsDamage(int code) { return code == SQLITE_CORRUPT || code == SQLITE_NOTADB; }

std::string Errno(int error) { return ::strerror(error); }

std::string TimeStamp() {
  const time_t now = ::time(nullptr);
  struct tm local {};
  ::localtime_r(&now, &local);
  char text[32];
  ::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
  return text;
}

}  // namespace

SqliteQueueStore::SqliteQueueStore(const std::filesystem::path& directory)
    : path_(directory / kFileName) {
  static_assert(std::size(kSql) == kStmtCount);
  // A side file carries the lock: SQLite's own fcntl locks vanish whenever any
  // descriptor of the database file is closed, and a lock file never moves aside.
  const std::string lockPath = path_.string() + ".lock";
  lockFd_ = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd_ < 0) {
    FailWith("cannot create the lock file " + lockPath + ": " + Errno(errno));
    return;
  }
  if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    inUse_ = error == EWOULDBLOCK;
    FailWith(inUse_ ? "in use by another gateway in this directory"
                    : "cannot lock " + lockPath + ": " + Errno(error));
    ::close(lockFd_);
    lockFd_ = -1;
    return;
  }
  std::string damage;
  if (OpenDatabase(&damage) || damage.empty()) return;
  if (MoveAside(damage) && !OpenDatabase(&damage) && !damage.empty()) {
    FailWith("a new file is damaged too: " + damage);
  }
}

SqliteQueueStore::~SqliteQueueStore() {
  CloseDatabase();
  if (lockFd_ >= 0) ::close(lockFd_);
}

bool SqliteQueueStore::OpenDatabase(std::string* damage) {
  if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
      SQLITE_OK) {
    Fail("cannot open");
    CloseDatabase();
    return false;
  }
  sqlite3_extended_result_codes(db_, 1);
  // Runs one statement; a damaged file is told apart from every other failure.
  auto exec = [&](const char* sql, const char* what, std::string* firstValue) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql, -1, &stmt, nullptr);
    if (rc == SQLITE_OK) {
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (firstValue && firstValue->empty()) *firstValue = Column(stmt, 0);
      }
    }
    const bool ok = rc == SQLITE_DONE;
    if (!ok && IsDamage(rc & 0xff)) {
      *damage = sqlite3_errmsg(db_);
    } else if (!ok) {
      Fail(what);
    }
    sqlite3_finalize(stmt);
    return ok;
  };
  std::string journal, integrity;
  bool ok = exec("PRAGMA journal_mode=WAL", "cannot choose the WAL journal", &journal) &&
            exec("PRAGMA synchronous=FULL", "cannot set synchronous=FULL", nullptr) &&
            exec("PRAGMA integrity_check", "cannot check the file", &integrity);
  if (ok && integrity != "ok") {
    *damage = "integrity check failed: " + integrity;
    ok = false;
  }
  if (ok && journal != "wal") ok = FailWith("the file system does not allow a WAL journal");
  std::string version, oldTables;
  ok = ok && exec("PRAGMA user_version", "cannot read the file's version", &version) &&
       exec("SELECT COUNT(*) FROM sqlite_master WHERE name = 'outgoing'", "cannot read the tables",
            &oldTables);
  if (ok && version == "0" && oldTables == "1" &&
      sqlite3_exec(db_, (std::string("BEGIN IMMEDIATE;") + kUpgradeFromVersion0 + "COMMIT;").c_str(),
                   nullptr, nullptr, nullptr) != SQLITE_OK) {
    ok = Fail("cannot upgrade the file");
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }
  if (ok && sqlite3_exec(db_, kSchema, nullptr, nullptr, nullptr) != SQLITE_OK) {
    ok = Fail("cannot create the tables");
  }
  for (int i = 0; ok && i < kStmtCount; ++i) {
    if (sqlite3_prepare_v3(db_, kSql[i], -1, SQLITE_PREPARE_PERSISTENT, &stmts_[i], nullptr) != SQLITE_OK) {
      ok = Fail("cannot prepare a statement");
    }
  }
  if (!ok) CloseDatabase();
  return ok;
}

void SqliteQueueStore::CloseDatabase() {
  for (sqlite3_stmt*& stmt : stmts_) {
    sqlite3_finalize(stmt);
    stmt = nullptr;
  }
  sqlite3_close(db_);
  db_ = nullptr;
}

bool SqliteQueueStore::MoveAside(const std::string& why) {
  const std::string from = path_.string();
  const std::string base = from + ".corrupt-" + TimeStamp();
  std::string to = base;
  for (int n = 1; std::filesystem::exists(to); ++n) to = base + "-" + std::to_string(n);
  if (::rename(from.c_str(), to.c_str()) != 0) {
    return FailWith("damaged (" + why + ") and cannot be moved aside: " + Errno(errno));
  }
  // The journal files belong to the damaged file: a new file must not replay them.
  for (const char* suffix : {"-wal", "-shm"}) {
    if (::rename((from + suffix).c_str(), (to + suffix).c_str()) != 0 && errno != ENOENT) {
      return FailWith("damaged (" + why + "); cannot move aside " + from + suffix + ": " + Errno(errno));
    }
  }
  movedAside_ = StoreProblem{from, "damaged (" + why + "); moved aside to " + to};
  return true;
}

bool SqliteQueueStore::FailWith(std::string reason) {
  if (!fault_) fault_ = StoreProblem{path_.string(), std::move(reason)};
  return false;
}

bool SqliteQueueStore::Fail(const std::string& what) {
  std::string reason = what + ": " + (db_ ? sqlite3_errmsg(db_) : "out of memory");
  const int code = db_ ? sqlite3_extended_errcode(db_) & 0xff : 0;
  const int error = db_ ? sqlite3_system_errno(db_) : 0;
  if (error != 0 && (code == SQLITE_IOERR || code == SQLITE_FULL || code == SQLITE_CANTOPEN ||
                     code == SQLITE_READONLY || code == SQLITE_PERM)) {
    reason += " (" + Errno(error) + ")";
  }
  return FailWith(std::move(reason));
}

bool SqliteQueueStore::Run(Stmt which, const char* what, const std::function<void(sqlite3_stmt*)>& row) {
  if (!db_) return false;
  sqlite3_stmt* stmt = stmts_[which];
  int rc;
  while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
    if (row) row(stmt);
  }
  const bool ok = rc == SQLITE_DONE || Fail(what);
  sqlite3_reset(stmt);
  sqlite3_clear_bindings(stmt);
  return ok;
}

bool SqliteQueueStore::RunChanging(Stmt which, const char* what) {
  return Run(which, what) && sqlite3_changes(db_) > 0;
}

bool SqliteQueueStore::ChangeRow(Stmt which, StoreId id, const char* what) {
  if (!db_) return false;
  sqlite3_bind_int64(stmts_[which], 1, id);
  return RunChanging(which, what);
}

bool SqliteQueueStore::ChangeRowUnsynced(Stmt which, StoreId id, const char* what) {
  if (!db_) return false;
  sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
  const bool changed = ChangeRow(which, id, what);
  // Every other change waits for the disk again; its sync also carries this one.
  if (sqlite3_exec(db_, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) != SQLITE_OK) {
    return Fail("cannot set synchronous=FULL");
  }
  return changed;
}

template <typename Body>
bool SqliteQueueStore::Transaction(const char* what, Body body) {
  if (!Run(kBegin, "cannot begin a transaction")) return false;
  if (body() && Run(kCommit, what)) return true;
  if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  return false;
}

std::optional<std::vector<StoreId>> SqliteQueueStore::AddOutgoing(const std::vector<OutgoingMessage>& messages) {
  if (fault_) return std::nullopt;
  std::vector<StoreId> ids;
  const bool ok = Transaction("cannot keep new messages to send", [&] {
    std::int64_t pos = 0;
    if (!Run(kMaxPos, "cannot read the send queue", [&](sqlite3_stmt* s) { pos = sqlite3_column_int64(s, 0); })) {
      return false;
    }
    for (const OutgoingMessage& message : messages) {
      sqlite3_bind_int64(stmts_[kAddOut], 1, ++pos);
      Bind(stmts_[kAddOut], 2, message.destination);
      Bind(stmts_[kAddOut], 3, message.text);
      if (!Run(kAddOut, "cannot add a message to send")) return false;
      ids.push_back(sqlite3_last_insert_rowid(db_));
    }
    return true;
  });
  if (!ok) return std::nullopt;
  return ids;
}

OutgoingRow SqliteQueueStore::OutgoingFrom(sqlite3_stmt* s) {
  return {sqlite3_column_int64(s, 0), {Column(s, 1), Column(s, 2)}, sqlite3_column_int(s, 3) != 0,
          sqlite3_column_int(s, 4)};
}

IncomingRow SqliteQueueStore::IncomingFrom(sqlite3_stmt* s) {
  return {sqlite3_column_int64(s, 0),
          {Column(s, 1), Column(s, 2), Column(s, 3), Column(s, 4), Column(s, 5), Column(s, 6)},
          sqlite3_column_int(s, 7) != 0,
          sqlite3_column_int64(s, 8),
          {sqlite3_column_int(s, 9), sqlite3_column_int(s, 10), sqlite3_column_int(s, 11)}};
}

std::vector<OutgoingRow> SqliteQueueStore::LoadOutgoing() {
  std::vector<OutgoingRow> rows;
  Run(kLoadOut, "cannot read the send queue", [&](sqlite3_stmt* s) {
    rows.push_back(OutgoingFrom(s));
  });
  return rows;
}

bool SqliteQueueStore::RemoveOutgoing(StoreId id) {
  return ChangeRow(kRemoveOut, id, "cannot remove a message to send");
}

bool SqliteQueueStore::MoveOutgoing(StoreId id, std::size_t index) {
  if (!db_) return false;
  return Transaction("cannot reorder the send queue", [&] {
    std::vector<std::pair<StoreId, std::int64_t>> order;  // id, pos
    if (!Run(kLoadOrder, "cannot read the send queue", [&](sqlite3_stmt* s) {
          order.emplace_back(sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1));
        })) {
      return false;
    }
    const auto it = std::find_if(order.begin(), order.end(), [id](const auto& row) { return row.first == id; });
    if (it == order.end()) return false;
    const std::size_t from = static_cast<std::size_t>(it - order.begin());
    const std::size_t to = std::min(index, order.size() - 1);
    std::vector<StoreId> ids;
    for (const auto& row : order) ids.push_back(row.first);
    ids.erase(ids.begin() + static_cast<std::ptrdiff_t>(from));
    ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(to), id);
    // Only the rows between the old and the new place change, and they take the
    // positions that range already had, so every other row keeps its own.
    for (std::size_t i = std::min(from, to); i <= std::max(from, to); ++i) {
      sqlite3_bind_int64(stmts_[kSetPos], 1, ids[i]);
      sqlite3_bind_int64(stmts_[kSetPos], 2, order[i].second);
      if (!Run(kSetPos, "cannot reorder the send queue")) return false;
    }
    return true;
  });
}

bool SqliteQueueStore::MarkOnTheLine(StoreId id) {
  // A mark lost with the machine leaves the row to be sent again, which it is anyway;
  // only the status text and the ESC before the init list would be missing after a
  // power cut, when the terminal has started afresh too.
  return ChangeRowUnsynced(kMarkOut, id, "cannot mark a message as being sent");
}

bool SqliteQueueStore::MarkPartConfirmed(StoreId id, int partsDone) {
  if (!db_) return false;
  sqlite3_bind_int64(stmts_[kPartDone], 1, id);
  sqlite3_bind_int(stmts_[kPartDone], 2, partsDone);
  return RunChanging(kPartDone, "cannot record a confirmed part");
}

std::optional<StoreId> SqliteQueueStore::ConfirmOutgoing(StoreId id, const std::string& logLine) {
  if (!db_) return std::nullopt;
  StoreId lineId = 0;
  const bool ok = Transaction("cannot record a confirmation", [&] {
    sqlite3_bind_int64(stmts_[kRemoveOut], 1, id);
    if (!RunChanging(kRemoveOut, "cannot remove a confirmed message")) return false;
    Bind(stmts_[kAddPending], 1, logLine);
    if (!Run(kAddPending, "cannot record a transmit log line")) return false;
    lineId = sqlite3_last_insert_rowid(db_);
    return true;
  });
  if (!ok) return std::nullopt;
  return lineId;
}

std::vector<PendingLogLine> SqliteQueueStore::PendingLogLines() {
  std::vector<PendingLogLine> lines;
  Run(kLoadPending, "cannot read the pending log lines",
      [&](sqlite3_stmt* s) { lines.push_back({sqlite3_column_int64(s, 0), Column(s, 1)}); });
  return lines;
}

bool SqliteQueueStore::LogLineWritten(StoreId id) {
  // The log file itself is not synced: after a power cut its last line may be gone as
  // well, and a pending line is written again unless the log already ends with it.
  return ChangeRowUnsynced(kRemovePending, id, "cannot remove a written log line");
}

std::optional<StoreId> SqliteQueueStore::InsertIncoming(const IncomingMessage& message,
                                                        const MessagePart& part, bool held) {
  if (fault_) return std::nullopt;
  StoreId id = 0;
  const bool ok = Transaction("cannot keep a received message", [&] {
    std::int64_t shown = 0;
    if (!held && !Run(kNextShown, "cannot read the receive queue",
                      [&](sqlite3_stmt* s) { shown = sqlite3_column_int64(s, 0); })) {
      return false;
    }
    sqlite3_stmt* stmt = stmts_[kAddIn];
    int index = 1;
    for (const std::string* field : {&message.msgNo, &message.status, &message.origin, &message.date,
                                     &message.time, &message.text}) {
      Bind(stmt, index++, *field);
    }
    if (held) sqlite3_bind_null(stmt, 7);
    else sqlite3_bind_int64(stmt, 7, shown);
    sqlite3_bind_int(stmt, 8, part.reference);
    sqlite3_bind_int(stmt, 9, part.total);
    sqlite3_bind_int(stmt, 10, part.number);
    if (!Run(kAddIn, "cannot keep a received message")) return false;
    id = sqlite3_last_insert_rowid(db_);
    return true;
  });
  if (!ok) return std::nullopt;
  return id;
}

std::optional<StoreId> SqliteQueueStore::AddIncoming(const IncomingMessage& message) {
  return InsertIncoming(message, {}, false);
}

std::optional<StoreId> SqliteQueueStore::HoldIncoming(const IncomingMessage& message, const MessagePart& part) {
  return InsertIncoming(message, part, true);
}

bool SqliteQueueStore::ShowIncoming(const std::vector<StoreId>& ids) {
  if (!db_) return false;
  return Transaction("cannot show a received message", [&] {
    std::int64_t shown = 0;
    if (!Run(kNextShown, "cannot read the receive queue",
             [&](sqlite3_stmt* s) { shown = sqlite3_column_int64(s, 0); })) {
      return false;
    }
    for (const StoreId id : ids) {
      sqlite3_bind_int64(stmts_[kShowIn], 1, id);
      sqlite3_bind_int64(stmts_[kShowIn], 2, shown);
      if (!RunChanging(kShowIn, "cannot show a received message")) return false;
    }
    return true;
  });
}

std::vector<IncomingRow> SqliteQueueStore::LoadIncoming() {
  std::vector<IncomingRow> rows;
  Run(kLoadIn, "cannot read the receive queue", [&](sqlite3_stmt* s) {
    rows.push_back(IncomingFrom(s));
  });
  return rows;
}

bool SqliteQueueStore::MarkHandedOver(const std::vector<StoreId>& ids) {
  if (!db_) return false;
  return Transaction("cannot mark a received message as handed over", [&] {
    for (const StoreId id : ids) {
      sqlite3_bind_int64(stmts_[kMarkIn], 1, id);
      if (!RunChanging(kMarkIn, "cannot mark a received message as handed over")) return false;
    }
    return true;
  });
}

bool SqliteQueueStore::RemoveIncoming(StoreId id) {
  return ChangeRow(kRemoveIn, id, "cannot remove a received message");
}

}  // namespace kavonet
