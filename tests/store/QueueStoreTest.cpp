#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

#include "store/SqliteQueueStore.h"
#include "tests/support/TempDir.h"

namespace kavonet {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using Texts = std::vector<std::string>;

// Reopen() is a restart: what comes back is what the file kept.
class QueueStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { Reopen(); }
  void Reopen() {
    store_.reset();  // the file stays locked while a store has it open
    store_ = std::make_unique<SqliteQueueStore>(dir_.Path());
    ASSERT_FALSE(store_->Fault()) << store_->Fault()->Text();
  }
  std::vector<StoreId> Add(const Texts& texts) {
    std::vector<OutgoingMessage> messages;
    for (const std::string& text : texts) messages.push_back({"4477009", text});
    return store_->AddOutgoing(messages).value_or(std::vector<StoreId>{});
  }
  Texts Queue() {
    Texts texts;
    for (const OutgoingRow& row : store_->LoadOutgoing()) texts.push_back(row.message.text);
    return texts;
  }
  testing::TempDir dir_;
  std::unique_ptr<QueueStore> store_;
};

TEST_F(QueueStoreTest, BothQueuesComeBackInOrderWithEveryField) {
  const std::vector<OutgoingMessage> out = {{"447700900001", "first"}, {"", ""}, {"+4", std::string("\x80\xff\0z", 4)}};
  const auto ids = store_->AddOutgoing(out);
  ASSERT_TRUE(ids && ids->size() == 3);
  std::vector<IncomingRow> in;
  for (const IncomingMessage& message : {IncomingMessage{"1", "New ", "+4477", "01-02-24", "10:00:00", "hi"},
                                         IncomingMessage{"12", "Read", "x", "d", "t", std::string("\x01\0\xb0", 3)}}) {
    in.push_back({store_->AddIncoming(message).value_or(0), message, false, static_cast<int>(in.size()) + 1, {}});
  }
  ASSERT_TRUE(store_->MarkOnTheLine((*ids)[1]));
  ASSERT_TRUE(store_->MarkHandedOver({in[1].id}));
  in[1].handedOver = true;
  Reopen();
  EXPECT_EQ(store_->LoadOutgoing(),
            (std::vector<OutgoingRow>{{(*ids)[0], out[0], false}, {(*ids)[1], out[1], true}, {(*ids)[2], out[2], false}}));
  EXPECT_EQ(store_->LoadIncoming(), in);
  EXPECT_TRUE(store_->RemoveIncoming(in[0].id));
  EXPECT_TRUE(store_->RemoveOutgoing((*ids)[0]));
  EXPECT_FALSE(store_->RemoveOutgoing((*ids)[0]));
  Reopen();
  EXPECT_EQ(store_->LoadIncoming(), std::vector<IncomingRow>{in[1]});
  EXPECT_EQ(Queue(), (Texts{"", out[2].text}));
}

TEST_F(QueueStoreTest, PartsAreHeldThenShownTogetherAndSendingProgressIsKept) {
  const StoreId out = Add({"long"}).at(0);
  ASSERT_TRUE(store_->MarkOnTheLine(out) && store_->MarkPartConfirmed(out, 2));
  auto in = [&](const char* text, std::optional<MessagePart> part) {
    const IncomingMessage m{"1", "New ", "+44", "d", "t", text};
    return (part ? store_->HoldIncoming(m, *part) : store_->AddIncoming(m)).value_or(0);
  };
  const StoreId a = in("a", {}), p2 = in("p2", MessagePart{7, 2, 2}), p1 = in("p1", MessagePart{7, 2, 1});
  const StoreId b = in("b", {}), held = in("h", MessagePart{0x10007, 3, 1});
  ASSERT_TRUE(store_->ShowIncoming({p2, p1}));
  EXPECT_FALSE(store_->MarkHandedOver({p1, p2, held + 100}));  // all or nothing
  Reopen();
  EXPECT_EQ(store_->LoadOutgoing().at(0).partsDone, 2);
  EXPECT_FALSE(store_->LoadOutgoing().at(0).onTheLine);
  Texts order;
  for (const IncomingRow& row : store_->LoadIncoming()) {
    order.push_back(row.message.text + ":" + std::to_string(row.shownAs) + (row.handedOver ? "h" : ""));
  }
  EXPECT_EQ(order, (Texts{"a:1", "b:2", "p1:3", "p2:3", "h:0"}));
  EXPECT_EQ(store_->LoadIncoming().back().part, (MessagePart{0x10007, 3, 1}));
  EXPECT_TRUE(a && b);
}

TEST_F(QueueStoreTest, MovedRowKeepsItsNewPlace) {
  const struct { std::size_t from, to; Texts expected; } cases[] = {
      {0, 4, {"B", "C", "D", "E", "A"}}, {4, 0, {"E", "A", "B", "C", "D"}}, {1, 3, {"A", "C", "D", "B", "E"}},
      {3, 1, {"A", "D", "B", "C", "E"}}, {2, 99, {"A", "B", "D", "E", "C"}}, {2, 2, {"A", "B", "C", "D", "E"}}};
  for (const auto& c : cases) {
    for (const OutgoingRow& row : store_->LoadOutgoing()) store_->RemoveOutgoing(row.id);
    const auto ids = Add({"Z", "A", "B", "C", "D", "E"});
    ASSERT_TRUE(store_->RemoveOutgoing(ids[0]));  // the head gone: places no longer start at 0
    ASSERT_TRUE(store_->MoveOutgoing(ids[c.from + 1], c.to));
    Reopen();
    EXPECT_EQ(Queue(), c.expected) << c.from << " -> " << c.to;
  }
}

TEST_F(QueueStoreTest, ConfirmationLeavesItsLogLineUntilWritten) {
  const auto ids = Add({"one", "two", "three"});
  ASSERT_TRUE(store_->ConfirmOutgoing(ids[0], "line 1").has_value());
  EXPECT_FALSE(store_->ConfirmOutgoing(ids[0], "again").has_value());  // confirmed once, logged once
  const std::optional<StoreId> third = store_->ConfirmOutgoing(ids[2], "line 3");
  Reopen();
  EXPECT_EQ(Queue(), Texts{"two"});
  const std::vector<PendingLogLine> pending = store_->PendingLogLines();
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending[0].line + pending[1].line, "line 1line 3");
  ASSERT_TRUE(store_->LogLineWritten(pending[0].id));
  Reopen();
  EXPECT_EQ(store_->PendingLogLines(), (std::vector<PendingLogLine>{{third.value_or(0), "line 3"}}));
}

TEST(SqliteQueueStoreTest, FileFromBeforePartsKeepsItsRows) {
  testing::TempDir dir;
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((dir / SqliteQueueStore::kFileName).c_str(), &db), SQLITE_OK);
  sqlite3_exec(db, "CREATE TABLE outgoing(id INTEGER PRIMARY KEY AUTOINCREMENT, pos INTEGER NOT NULL, "
               "destination BLOB NOT NULL, text BLOB NOT NULL, on_the_line INTEGER NOT NULL DEFAULT 0);"
               "CREATE TABLE incoming(id INTEGER PRIMARY KEY AUTOINCREMENT, msg_no BLOB NOT NULL, status BLOB NOT NULL,"
               "origin BLOB NOT NULL, date BLOB NOT NULL, time BLOB NOT NULL, text BLOB NOT NULL,"
               "handed_over INTEGER NOT NULL DEFAULT 0);"
               "INSERT INTO outgoing(pos, destination, text) VALUES(1, '1', 'out');"
               "INSERT INTO incoming(msg_no, status, origin, date, time, text) VALUES('3', 's', 'o', 'd', 't', 'x');"
               "INSERT INTO incoming(msg_no, status, origin, date, time, text) VALUES('4', 's', 'o', 'd', 't', 'y');",
               nullptr, nullptr, nullptr);
  sqlite3_close(db);
  SqliteQueueStore store(dir.Path());
  ASSERT_FALSE(store.Fault()) << store.Fault()->Text();
  EXPECT_EQ(store.LoadOutgoing().size(), 1u);
  EXPECT_EQ(store.AddIncoming({"5", "s", "o", "d", "t", "z"}).value_or(0), 3);
  Texts texts;
  for (const IncomingRow& row : store.LoadIncoming()) texts.push_back(row.message.text);
  EXPECT_EQ(texts, (Texts{"x", "y", "z"}));
}

// Each fault is reported with the file's path and the reason, and refuses what follows; a
// damaged file is moved aside whole, and a new one takes its place.
TEST(SqliteQueueStoreTest, FaultsAreReportedAndADamagedFileIsMovedAsideNotDeleted) {
  enum Kind { kInUse, kFileIsADirectory, kNotADatabase, kDamagedPage };
  const struct { Kind kind; const char* name; const char* reason; } cases[] = {
      {kInUse, "in use", "in use by another gateway"},
      {kFileIsADirectory, "file is a directory", "(Is a directory)"},
      {kNotADatabase, "not a database", nullptr}, {kDamagedPage, "damaged page", nullptr}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::filesystem::path where = dir.Path();
    const std::filesystem::path file = where / SqliteQueueStore::kFileName;
    std::unique_ptr<SqliteQueueStore> first;
    std::string bytes;
    if (c.kind == kInUse) first = std::make_unique<SqliteQueueStore>(where);
    if (c.kind == kFileIsADirectory) std::filesystem::create_directory(file);
    if (c.kind == kDamagedPage) {
      SqliteQueueStore(where).AddOutgoing(std::vector<OutgoingMessage>(200, {"1", std::string(100, 'x')}));
    }
    if (!c.reason) {
      bytes = c.kind == kNotADatabase ? std::string(8192, 'q') : testing::ReadText(file);
      bytes.replace(4096, 4096, 4096, '\xAA');
      testing::WriteText(file, bytes);
    }
    SqliteQueueStore store(where);
    if (c.reason) {
      ASSERT_TRUE(store.Fault());
      EXPECT_EQ(store.Fault()->path, file.string());
      EXPECT_THAT(store.Fault()->reason, HasSubstr(c.reason));
      EXPECT_FALSE(store.AddOutgoing({{"1", "x"}}) || store.AddIncoming({}));
      first.reset();
      if (c.kind == kInUse) {
        EXPECT_FALSE(SqliteQueueStore(where).Fault()) << "free once the first has gone";
      }
      continue;
    }
    ASSERT_FALSE(store.Fault()) << store.Fault()->Text();
    ASSERT_TRUE(store.MovedAside());
    const std::string reason = store.MovedAside()->reason;
    const std::string aside = reason.substr(reason.find("moved aside to ") + 15);
    EXPECT_THAT(aside, StartsWith(file.string() + ".corrupt-20"));
    EXPECT_EQ(testing::ReadText(aside), bytes);
    EXPECT_TRUE(store.LoadOutgoing().empty() && store.AddOutgoing({{"1", "new"}}));
  }
}

TEST(SqliteQueueStoreTest, FullDiskRefusesAndKeepsWhatItAcknowledged) {
  testing::TempDir dir;
  int pipeFds[2];
  ASSERT_EQ(::pipe(pipeFds), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    // A file size limit stands in for a full disk without needing one.
    ::signal(SIGXFSZ, SIG_IGN);
    SqliteQueueStore store(dir.Path());
    const rlimit limit{rlim_t{256} * 1024, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    int acknowledged = 0;
    const std::vector<OutgoingMessage> batch(10, {"1", std::string(1000, 'x')});
    while (acknowledged < 10000 && store.AddOutgoing(batch)) acknowledged += 10;
    const bool reported = store.Fault() && store.Fault()->path == store.Path().string() &&
                          store.Fault()->reason.find("disk") != std::string::npos;
    const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    if (!reported || store.AddOutgoing(batch)) acknowledged = -1;  // refuses once it failed
    (void)!::write(pipeFds[1], &acknowledged, sizeof acknowledged);
    ::_exit(0);
  }
  int acknowledged = -2, status = 0;
  ASSERT_EQ(::read(pipeFds[0], &acknowledged, sizeof acknowledged), static_cast<ssize_t>(sizeof acknowledged));
  ::waitpid(child, &status, 0);
  ASSERT_GT(acknowledged, 0) << "-1: the failure was not reported with the path and the reason, or not kept";
  EXPECT_EQ(SqliteQueueStore(dir.Path()).LoadOutgoing().size(), static_cast<std::size_t>(acknowledged));
}

}  // namespace
}  // namespace kavonet
