#include "store/QueueFileSnapshot.h"

#include <sqlite3.h>

#include <memory>

#include "store/SqliteQueueStore.h"

namespace kavonet {

namespace {

struct Closer {
  void operator()(sqlite3* db) const { sqlite3_close(db); }
  void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

// Runs `sql`, handing each row to `row`; false with `error` set when it fails.
template <typename Row>
bool Select(sqlite3* db, const char* sql, Row row, std::string& error) {
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &raw, nullptr) != SQLITE_OK) {
    error = sqlite3_errmsg(db);
    return false;
  }
  const std::unique_ptr<sqlite3_stmt, Closer> stmt(raw);
  int rc;
  while ((rc = sqlite3_step(raw)) == SQLITE_ROW) row(raw);
  if (rc != SQLITE_DONE) error = sqlite3_errmsg(db);
  return rc == SQLITE_DONE;
}

}  // namespace

std::optional<QueueSnapshot> ReadQueueFile(const std::filesystem::path& directory, std::string& error) {
  const std::filesystem::path path = directory / SqliteQueueStore::kFileName;
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    error = path.string() + ": no queue file (no gateway has run in this directory)";
    return std::nullopt;
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
  const std::unique_ptr<sqlite3, Closer> db(raw);
  QueueSnapshot snapshot;
  const bool ok =
      rc == SQLITE_OK &&
      Select(raw, SqliteQueueStore::kSelectOutgoing,
             [&](sqlite3_stmt* s) { snapshot.outgoing.push_back(SqliteQueueStore::OutgoingFrom(s)); }, error) &&
      Select(raw, SqliteQueueStore::kSelectIncoming,
             [&](sqlite3_stmt* s) { snapshot.incoming.push_back(SqliteQueueStore::IncomingFrom(s)); }, error);
  if (!ok) {
    if (error.empty()) error = raw ? sqlite3_errmsg(raw) : "out of memory";
    error = path.string() + ": " + error;
    return std::nullopt;
  }
  return snapshot;
}

}  // namespace kavonet
