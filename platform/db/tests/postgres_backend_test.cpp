// The PostgreSQL backend against a real server: which databases it opens, the open modes, the
// errors the programs tell apart, values and row names through prepared statements, and a
// failed statement inside a transaction.
#include "platform/db/postgres_backend.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>

#include "platform/testing/postgres.h"

namespace brontal::db {
namespace {

using testing::ScratchPostgres;
using Rows = std::vector<std::vector<Value>>;

const Schema& TestSchema() {
  static const Schema schema = {
      .tables = {{"Dirs",
                  {{"DirParent", ColumnType::kText, true},
                   {"Dir", ColumnType::kText, true},
                   {"Brontal", ColumnType::kCurrency},
                   {"pdate", ColumnType::kDateTime, true},
                   {"Levels", ColumnType::kLong}}}},
      .indexes = {{"PrimaryKey", "Dirs", {"DirParent", "Dir", "pdate"}, true},
                  {"ParentPeriod", "Dirs", {"DirParent", "pdate"}}},
  };
  return schema;
}

// The number of the error `action` throws; 0 when it throws none.
template <typename F>
int ErrorNumberOf(F&& action) {
  try {
    action();
  } catch (const DbError& error) {
    return error.Number();
  }
  return 0;
}

// Every row of one statement, its parameters bound in order.
Rows Query(BackendConnection& connection, std::string_view sql,
           std::initializer_list<Value> parameters = {}) {
  auto statement = connection.Prepare(sql);
  int index = 1;
  for (const Value& value : parameters) statement->Bind(index++, value);
  Rows rows;
  while (statement->Step()) {
    rows.emplace_back();
    statement->AppendColumns(0, rows.back());
  }
  return rows;
}

constexpr char kInsert[] =
    "insert into dirs (dirparent, dir, brontal, pdate) values ($1, $2, $3, $4)";

class PostgresBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ScratchPostgres::ServerUri()) GTEST_SKIP() << ScratchPostgres::SkipMessage();
    scratch_.emplace();
    backend_->Create(uri(), TestSchema())->Close();
  }

  const std::string& uri() const { return scratch_->uri(); }

  std::unique_ptr<BackendConnection> Open(bool exclusive = false) {
    return backend_->Open(uri(), exclusive);
  }

  std::unique_ptr<Backend> backend_ = MakePostgresBackend();
  std::optional<ScratchPostgres> scratch_;
};

TEST(PostgresBackend, HandlesOnlyPostgresUrisAndTellsAnUnreachableServer) {
  auto backend = MakePostgresBackend();
  EXPECT_TRUE(backend->Handles("PostgreSQL://host/db"));
  EXPECT_TRUE(backend->Handles("postgres:///db?host=/run"));
  EXPECT_FALSE(backend->Handles("/srv/brontal.db"));
  EXPECT_FALSE(backend->Handles("postgresql:/db"));
  // No server there: refused as unreachable, not taken for a missing database.
  EXPECT_EQ(ErrorNumberOf([&] { backend->Open("postgresql:///db?host=/nonexistent", false); }),
            kCannotOpen);
}

TEST_F(PostgresBackendTest, RefusesWhatIsNoBrontalDatabase) {
  const std::string missing = testing::WithDatabase(uri(), scratch_->name() + "_missing");
  EXPECT_EQ(ErrorNumberOf([&] { backend_->Open(missing, false); }), kFileNotFound);
  EXPECT_EQ(ErrorNumberOf([&] { backend_->RequireDatabase(missing); }), kFileNotFound);
  backend_->RequireNoDatabase(missing);
  EXPECT_EQ(ErrorNumberOf([&] { backend_->RequireNoDatabase(uri()); }), kDatabaseExists);
  EXPECT_EQ(ErrorNumberOf([&] { backend_->Create(uri(), TestSchema()); }), kDatabaseExists);

  // A database whose names sort by a language's rules, and one without tables.
  const std::string other = scratch_->name() + "_other";
  scratch_->Run("create database " + other +
                " template template0 encoding 'UTF8' locale 'C.UTF-8'");
  EXPECT_EQ(ErrorNumberOf([&] { backend_->Open(testing::WithDatabase(uri(), other), false); }),
            kCannotOpen);
  EXPECT_EQ(
      ErrorNumberOf([&] { backend_->Create(testing::WithDatabase(uri(), other), TestSchema()); }),
      kCannotOpen);
  scratch_->Run("drop database " + other + " with (force)");
  scratch_->Run("drop table dirs");
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), kDamaged);
}

TEST_F(PostgresBackendTest, CreateMakesTablesAndIndexesUnderLowerCaseNames) {
  auto connection = Open();
  EXPECT_EQ(connection->TableColumns("DIRS"),
            (std::vector<std::string>{"dirparent", "dir", "brontal", "pdate", "levels"}));
  EXPECT_EQ(connection->IndexColumns("Dirs", "ParentPeriod"),
            (std::vector<std::string>{"dirparent", "pdate"}));
  EXPECT_TRUE(connection->TableColumns("Nothing").empty());
  EXPECT_TRUE(connection->IndexColumns("Dirs", "Nothing").empty());
}

TEST_F(PostgresBackendTest, OpenModesExcludeEachOther) {
  {
    auto first = Open();
    auto second = Open();
    EXPECT_EQ(ErrorNumberOf([&] { Open(/*exclusive=*/true); }), kInUse);
    first->Close();
    EXPECT_TRUE(first->Closed());
    EXPECT_EQ(ErrorNumberOf([&] { Open(/*exclusive=*/true); }), kInUse);
  }
  auto exclusive = Open(/*exclusive=*/true);
  EXPECT_EQ(ErrorNumberOf([&] { Open(); }), kInUse);
  EXPECT_EQ(ErrorNumberOf([&] { Open(/*exclusive=*/true); }), kInUse);
  exclusive->Close();
  Open(/*exclusive=*/true);
}

TEST_F(PostgresBackendTest, FailedStatementLeavesTheTransactionGoingOn) {
  auto connection = Open();
  connection->Begin();
  auto insert = connection->Prepare(kInsert);
  auto add = [&](std::initializer_list<Value> values) {
    insert->Reset();
    int index = 1;
    for (const Value& value : values) insert->Bind(index++, value);
    insert->Step();
    return insert->Changes();
  };
  EXPECT_EQ(add({"C:\\", "Users", 10, "2024-01-31 00:00:00"}), 1);
  // Names compare without regard to ASCII case, as on every engine.
  EXPECT_EQ(ErrorNumberOf([&] {
              add({"c:\\", "USERS", 11, "2024-01-31 00:00:00"});
            }),
            kDuplicateKey);
  EXPECT_EQ(ErrorNumberOf([&] { add({"C:\\", nullptr, 12, "2024-01-31 00:00:00"}); }), kRequired);
  EXPECT_EQ(ErrorNumberOf([&] { add({"C:\\", "Temp", 13, "2024-01-31"}); }), kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] {
              add({"C:\\", "Temp", "many", "2024-01-31 00:00:00"});
            }),
            kTypeMismatch);
  EXPECT_EQ(ErrorNumberOf([&] { connection->Prepare("selec 1"); }), kSqlSyntax);
  EXPECT_EQ(ErrorNumberOf([&] { connection->Exec("update nothing set x = 1"); }), kSqlSyntax);
  EXPECT_TRUE(connection->InTransaction());
  EXPECT_EQ(add({"C:\\", "Temp", 14, "2024-01-31 00:00:00"}), 1);
  connection->Commit();
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_EQ(Query(*connection, "select brontal from dirs order by brontal"),
            (Rows{{Value(10)}, {Value(14)}}));
}

TEST_F(PostgresBackendTest, CommitOfAFailedTransactionIsAnError) {
  auto connection = Open();
  connection->Begin();
  Query(*connection, kInsert, {"C:\\", "Users", 10, "2024-01-31 00:00:00"});
  // Transaction control runs as it is: its failure fails the transaction.
  EXPECT_NE(ErrorNumberOf([&] { connection->Exec(connection->ReleaseSql("nowhere")); }), 0);
  EXPECT_TRUE(connection->InTransaction());
  EXPECT_EQ(ErrorNumberOf([&] { connection->Commit(); }), kGeneral);
  EXPECT_FALSE(connection->InTransaction());
  EXPECT_EQ(Query(*connection, "select count(*) from dirs"), (Rows{{0}}));
}

TEST_F(PostgresBackendTest, ValuesRoundTrip) {
  auto connection = Open();
  const std::int64_t big = std::numeric_limits<std::int64_t>::max();
  const std::int64_t small = std::numeric_limits<std::int64_t>::min();
  const std::string name = "back\\slash 'quoted' caf\xc3\xa9 \xe6\x97\xa5";
  Query(*connection, kInsert, {name, "a", big, "2024-02-29 23:59:59"});
  Query(*connection, kInsert, {name, "b", small, "1999-12-31 00:00:00"});
  Query(*connection, kInsert, {name, "c", nullptr, "2000-01-01 00:00:00"});
  EXPECT_EQ(Query(*connection, "select dirparent, brontal, pdate, levels from dirs order by dir"),
            (Rows{{name, big, "2024-02-29 23:59:59", nullptr},
                  {name, small, "1999-12-31 00:00:00", nullptr},
                  {name, nullptr, "2000-01-01 00:00:00", nullptr}}));
  EXPECT_EQ(
      Query(*connection, "select count(*), sum(brontal) - 1, $1::float8, 1 = 1 from dirs", {0.1}),
      (Rows{{3, big - 1 + small, 0.1, 1}}));
  EXPECT_EQ(Query(*connection, "select dir from dirs where dirparent = $1 and dir >= $2",
                  {"BACK\\SLASH 'QUOTED' CAF\xc3\xa9 \xe6\x97\xa5", "B"}),
            (Rows{{"b"}, {"c"}}));
}

TEST_F(PostgresBackendTest, UpdateNamesTheRowItMoved) {
  auto connection = Open();
  Query(*connection, kInsert, {"C:\\", "Users", 1, "2024-01-31 00:00:00"});
  const Value before = Query(*connection, "select ctid from dirs").at(0).at(0);
  auto update =
      connection->Prepare("update dirs set brontal = $1 where " + connection->RowIdColumn() +
                          " = $2" + connection->ReturningRowId());
  update->Bind(1, 2);
  update->Bind(2, before);
  ASSERT_TRUE(update->Step());
  const Value after = update->Column(0);
  EXPECT_NE(after, before);
  EXPECT_EQ(update->Changes(), 1);
  update->Reset();
  update->Bind(1, 3);
  update->Bind(2, before);
  EXPECT_FALSE(update->Step());
  EXPECT_EQ(update->Changes(), 0);
  update->Reset();
  update->Bind(1, 4);
  update->Bind(2, after);
  EXPECT_TRUE(update->Step());
  EXPECT_EQ(Query(*connection, "select brontal from dirs"), (Rows{{4}}));
}

TEST_F(PostgresBackendTest, RowLockHeldElsewhereTimesOut) {
  auto holder = Open();
  Query(*holder, kInsert, {"C:\\", "Users", 1, "2024-01-31 00:00:00"});
  holder->Begin();
  Query(*holder, "update dirs set brontal = 2");
  auto waiter = MakePostgresBackend({.lock_timeout_ms = 100})->Open(uri(), false);
  waiter->Begin();
  EXPECT_EQ(ErrorNumberOf([&] { Query(*waiter, "update dirs set brontal = 3"); }), kLocked);
  EXPECT_EQ(Query(*waiter, "select brontal from dirs"), (Rows{{1}}));
  holder->Commit();
  Query(*waiter, "update dirs set brontal = 3");
  waiter->Commit();
  EXPECT_EQ(Query(*holder, "select brontal from dirs"), (Rows{{3}}));
}

TEST_F(PostgresBackendTest, MaintenanceOfASoundDatabase) {
  auto connection = Open(/*exclusive=*/true);
  Query(*connection, kInsert, {"C:\\", "Users", 1, "2024-01-31 00:00:00"});
  connection->Repair();
  EXPECT_EQ(connection->LastRepairNote(), "");
  connection->CompactInPlace();
  connection->UpdateStatistics();
  EXPECT_EQ(ErrorNumberOf([&] { connection->CompactInto("postgresql:///copy"); }), kNotSupported);
  connection->Begin();
  EXPECT_EQ(ErrorNumberOf([&] { connection->CompactInPlace(); }), kGeneral);
  EXPECT_EQ(Query(*connection, "select count(*) from dirs"), (Rows{{1}}));
}

}  // namespace
}  // namespace brontal::db
