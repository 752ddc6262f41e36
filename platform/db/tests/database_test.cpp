// The database engine against real files: open modes across processes and accounts,
// recordsets, seeks and edits, transactions, busy files, closed objects, repair and compaction.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/db/file_lock.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/file_access.h"
#include "platform/testing/other_program.h"
#include "platform/testing/temp_folder.h"
#include "platform/testing/test_database.h"

namespace brontal::db {
namespace {

namespace fs = std::filesystem;

const Schema& TestSchema() {
  static const Schema schema = {
      .tables = {{"Dirs",
                  {{"DirParent", ColumnType::kText, true},
                   {"Dir", ColumnType::kText, true},
                   {"Brontal", ColumnType::kCurrency},
                   {"pdate", ColumnType::kDateTime, true}}},
                 {"Todo",
                  {{"Nodename", ColumnType::kText, true},
                   {"DirParent", ColumnType::kText, true},
                   {"Levels", ColumnType::kLong},
                   {"LogFile", ColumnType::kText}}}},
      .indexes = {{"Todo", "Todo", {"Nodename", "DirParent"}, true},
                  {"ParentPeriod", "Dirs", {"DirParent", "pdate"}}},
  };
  return schema;
}

// Expects `action` to fail with exactly the given error number.
template <typename F>
void ExpectError(int number, F&& action) {
  try {
    action();
    ADD_FAILURE() << "expected error " << number;
  } catch (const DbError& error) {
    EXPECT_EQ(error.Number(), number) << error.what();
  }
}

// Each test runs on both backends; the file tests below on SQLite alone.
class DatabaseTest : public testing::OnEachBackend {
 protected:
  void SetUp() override {
    OnEachBackend::SetUp();
    if (IsSkipped()) return;
    path_ = database().location();
    engine_->CreateDatabase(path_, TestSchema())->Close();
  }

  std::unique_ptr<Database> Open(bool exclusive = false) {
    return engine_->DefaultWorkspace().OpenDatabase(path_, exclusive);
  }

  static void AddDir(Database& db, std::string_view parent, std::string_view dir, std::int64_t size,
                     DateTime period) {
    auto rs = db.OpenRecordset("Dirs", RecordsetType::kTable);
    rs->AddNew();
    rs->SetField("DirParent", parent);
    rs->SetField("dir", dir);  // any letter case
    rs->SetField("Brontal", size);
    rs->SetField("pdate", period);
    rs->Update();
  }

  static void AddNode(Database& db, std::string_view node, int levels) {
    auto rs = db.OpenRecordset("Todo", RecordsetType::kTable);
    rs->AddNew();
    rs->SetField("Nodename", node);
    rs->SetField("DirParent", "R");
    rs->SetField("Levels", levels);
    rs->Update();
  }

  // Every Todo row as "node levels", in node order.
  static std::string TodoRows(Database& db) {
    auto rs = db.OpenRecordset("select Nodename, Levels from Todo order by Nodename",
                               RecordsetType::kSnapshot);
    std::string rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      rows += (rows.empty() ? "" : ", ") + rs->Field(0).AsText() + " " + rs->Field(1).AsText();
    }
    return rows;
  }

  std::int64_t Count(Database& db, std::string_view table) {
    return db.OpenRecordset(table, RecordsetType::kTable)->RecordCount();
  }

  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 12)};
  std::unique_ptr<Engine> engine_ = testing::MakeTestEngine(/*wait_ms=*/50, &clock_);
  testing::TempFolder folder_;
  const fs::path& dir_ = folder_.path();
  std::string path_;  // the database's location: a file, or a URI on the test server
  const DateTime p1_ = DateTime::FromCivil(2026, 12, 6, 2);
  const DateTime p2_ = DateTime::FromCivil(2026, 11, 29, 2);
};

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseTest, testing::BackendValues(), testing::BackendName);

// What only a database in a file has: its lock file, its journal, its pages.
class DatabaseFileTest : public DatabaseTest {};

INSTANTIATE_TEST_SUITE_P(Backends, DatabaseFileTest,
                         ::testing::Values(testing::TestBackend::kSqlite), testing::BackendName);

TEST_P(DatabaseFileTest, OpeningNeverCreatesAndRejectsWhatIsNoDatabase) {
  std::string missing = (dir_ / "missing.mdb").string();
  ExpectError(kFileNotFound, [&] { engine_->DefaultWorkspace().OpenDatabase(missing); });
  EXPECT_FALSE(fs::exists(missing));

  std::string empty = (dir_ / "empty.mdb").string();
  std::ofstream(empty).close();
  ExpectError(kDamaged, [&] { engine_->DefaultWorkspace().OpenDatabase(empty); });

  std::string junk = (dir_ / "junk.mdb").string();
  std::ofstream(junk) << std::string(4096, 'x');
  ExpectError(kDamaged, [&] { engine_->DefaultWorkspace().OpenDatabase(junk); });

  ExpectError(kDatabaseExists, [&] { engine_->CreateDatabase(path_, TestSchema()); });
  ExpectError(kCannotOpen, [&] { engine_->DefaultWorkspace().OpenDatabase(dir_.string()); });
}

TEST_P(DatabaseTest, ExclusiveAndSharedOpensExcludeEachOtherInOneProcess) {
  {
    auto shared1 = Open();
    auto shared2 = Open();  // any number of shared opens
    ExpectError(kInUse, [&] { Open(/*exclusive=*/true); });
    shared1->Close();
    ExpectError(kInUse, [&] { Open(true); });  // the idle second one still counts
  }
  auto exclusive = Open(true);
  ExpectError(kInUse, [&] { Open(); });
  ExpectError(kInUse, [&] { Open(true); });
  if (!on_server()) ExpectError(kInUse, [&] { engine_->CompactDatabase(path_, path_ + "1"); });
  ExpectError(kInUse, [&] { engine_->RepairDatabase(path_); });
  exclusive->Close();
  Open(true)->Close();
}

TEST_P(DatabaseTest, ExclusiveAndSharedOpensExcludeEachOtherAcrossProcesses) {
  {
    testing::OtherProgram viewer(path_, /*exclusive=*/false);  // a viewer idle all day
    ASSERT_TRUE(viewer.opened());
    ExpectError(kInUse, [&] { Open(true); });
    auto shared = Open();
    AddDir(*shared, "R", "SERVER1", 10, p1_);
  }
  {
    testing::OtherProgram maintenance(path_, /*exclusive=*/true);
    ASSERT_TRUE(maintenance.opened());
    ExpectError(kInUse, [&] { Open(); });
    testing::OtherProgram second(path_, /*exclusive=*/false);
    EXPECT_FALSE(second.opened());
  }
  Open(true)->Close();  // both gone: the locks died with them
}

TEST_P(DatabaseFileTest, ALockFileTakesTheDatabasesPermissionsWhenItIsCreatedOnly) {
  const std::string lock = FileLock::LockPathFor(path_);
  testing::ScopedUmask strict(077);  // stricter than the database's: it must not decide
  ASSERT_TRUE(fs::remove(lock));
  ASSERT_EQ(::chmod(path_.c_str(), 0664), 0);
  Open()->Close();
  EXPECT_EQ(testing::ModeOf(lock), 0664);

  ASSERT_EQ(::chmod(lock.c_str(), 0660), 0);  // as an administrator set it
  ASSERT_EQ(::chmod(path_.c_str(), 0644), 0);
  Open(/*exclusive=*/true)->Close();
  EXPECT_EQ(testing::ModeOf(lock), 0660);
}

TEST_P(DatabaseFileTest, ALockFileThatRootCreatesLetsTheOtherAccountsOfTheDatabaseIn) {
  if (!testing::RunningAsRoot()) {
    GTEST_SKIP() << "needs root, to give the database to other accounts";
  }
  // Account 1234 owns the database and 1235 shares its group, as two scanners would.
  ASSERT_EQ(::chmod(database().folder().path().c_str(), 0777), 0);
  ASSERT_EQ(::chown(path_.c_str(), 1234, 2345), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  const std::string lock = FileLock::LockPathFor(path_);
  ASSERT_TRUE(fs::remove(lock));
  testing::ScopedUmask usual(022);
  Open()->Close();  // root comes first, as the nightly maintenance may
  struct stat info {};
  ASSERT_EQ(::stat(lock.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0660u);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 2345u);

  testing::AccountRun scanner = testing::RunAsAccount(1235, 2345, [&](std::string& out) {
    try {
      auto engine = MakeSqliteEngine();
      // Exclusively (the viewer's Compact), then shared to write a scan.
      engine->DefaultWorkspace().OpenDatabase(path_, /*exclusive=*/true)->Close();
      auto db = engine->DefaultWorkspace().OpenDatabase(path_);
      AddDir(*db, "R", "SCANNER", 1, p1_);
      return 0;
    } catch (const DbError& error) {
      out = std::to_string(error.Number()) + ": " + error.what();
      return 1;
    }
  });
  EXPECT_EQ(scanner.status, 0) << scanner.out;
  EXPECT_EQ(Count(*Open(), "Dirs"), 1);
}

TEST_P(DatabaseTest, SnapshotPositionAndRecordCount) {
  auto db = Open();
  for (int i = 0; i < 5; ++i) AddDir(*db, "R\\S1\\C:", "d" + std::to_string(i), i * 100, p1_);

  auto rs = db->OpenRecordset("select Dir, Brontal, pdate from Dirs order by dir",
                              RecordsetType::kSnapshot);
  EXPECT_FALSE(rs->Eof());
  EXPECT_FALSE(rs->Bof());
  EXPECT_EQ(rs->RecordCount(), 1);  // only the rows reached so far
  rs->MoveLast();
  EXPECT_EQ(rs->RecordCount(), 5);
  EXPECT_EQ(rs->Field("DIR").AsText(), "d4");
  EXPECT_EQ(rs->Field("brontal").AsInt64(), 400);
  EXPECT_EQ(rs->Field("PDATE").AsDate(), p1_);
  rs->MoveNext();
  EXPECT_TRUE(rs->Eof());
  ExpectError(kNoCurrentRecord, [&] { rs->Field("dir"); });
  ExpectError(kNoCurrentRecord, [&] { rs->MoveNext(); });
  rs->MoveFirst();
  EXPECT_EQ(rs->Field("dir").AsText(), "d0");
  rs->MovePrevious();
  EXPECT_TRUE(rs->Bof());
  ExpectError(kItemNotFound, [&] { rs->MoveFirst(), rs->Field("nosuchfield"); });
  ExpectError(kTypeMismatch, [&] { rs->Field("dir").AsInt64(); });

  auto none =
      db->OpenRecordset("select dir from dirs where dir = \"zz\"", RecordsetType::kSnapshot);
  EXPECT_TRUE(none->Eof());
  EXPECT_TRUE(none->Bof());
  EXPECT_EQ(none->RecordCount(), 0);
  ExpectError(kNoCurrentRecord, [&] { none->MoveFirst(); });
  ExpectError(kNoCurrentRecord, [&] { none->MoveLast(); });

  auto max = db->OpenRecordset("select max(pdate) as maxpdate from dirs where dir = \"zz\"",
                               RecordsetType::kSnapshot);
  EXPECT_TRUE(max->Field("maxpdate").IsNull());
}

TEST_P(DatabaseTest, SnapshotIsACopyAndActionQueriesAreRefused) {
  auto db = Open();
  AddDir(*db, "R", "SERVER1", 1, p1_);
  auto rs = db->OpenRecordset("select * from Dirs", RecordsetType::kSnapshot);
  db->Execute("delete * from dirs");
  EXPECT_EQ(db->RecordsAffected(), 1);
  EXPECT_EQ(rs->Field("dir").AsText(), "SERVER1");  // still the copy taken at opening

  AddDir(*db, "R", "SERVER1", 1, p1_);
  ExpectError(kActionQuery,
              [&] { db->OpenRecordset("delete * from dirs", RecordsetType::kSnapshot); });
  EXPECT_EQ(Count(*db, "Dirs"), 1);
  ExpectError(kSqlSyntax, [&] { db->Execute("select * from dirs"); });
  ExpectError(kSqlSyntax,
              [&] { db->OpenRecordset("select from where", RecordsetType::kSnapshot); });
  ExpectError(kNotSupported, [&] { rs->AddNew(); });
}

TEST_P(DatabaseTest, TableAppendRejectsWrongTypesAndKeepsTheRowForARetry) {
  auto db = Open();
  auto rs = db->OpenRecordset("Dirs", RecordsetType::kTable);
  rs->AddNew();
  rs->SetField("DirParent", "R");
  rs->SetField("Dir", "SERVER1");
  rs->SetField("Brontal", std::int64_t{5'000'000'000'000'000});  // 5 PB, beyond a 32-bit anything
  rs->SetField("pdate", "yesterday");
  ExpectError(kTypeMismatch, [&] { rs->Update(); });
  rs->SetField("pdate", p1_);
  rs->Update();  // the same row, mended
  EXPECT_EQ(Count(*db, "Dirs"), 1);
  auto back = db->OpenRecordset("select brontal from dirs", RecordsetType::kSnapshot);
  EXPECT_EQ(back->Field("Brontal").AsInt64(), 5'000'000'000'000'000);

  ExpectError(kUpdateWithoutAddNew, [&] { rs->Update(); });
  ExpectError(kItemNotFound, [&] { rs->AddNew(), rs->SetField("nosuch", 1); });
  rs->CancelUpdate();
  ExpectError(kItemNotFound, [&] { db->OpenRecordset("NoSuchTable", RecordsetType::kTable); });

  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  todo->AddNew();
  todo->SetField("Nodename", "S1");
  todo->SetField("DirParent", "R");
  todo->SetField("Levels", std::int64_t{1} << 40);
  ExpectError(kTypeMismatch, [&] { todo->Update(); });
  todo->SetField("Levels", 2);
  todo->SetField("Nodename", nullptr);
  ExpectError(kRequired, [&] { todo->Update(); });
}

TEST_P(DatabaseTest, TodoSeekEditUpdate) {
  auto db = Open();
  AddNode(*db, "<defaultnodename>", 3);
  AddNode(*db, "SERVER1", -1);
  AddNode(*db, "SERVER2", 4);

  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  ExpectError(kNoCurrentIndex, [&] { todo->Seek("=", {"SERVER1", "R"}); });
  ExpectError(kItemNotFound, [&] { todo->SetIndex("NoSuchIndex"); });
  todo->SetIndex("Todo");
  todo->Seek("=", {"server1", "r"});  // keys compare without regard to case
  ASSERT_FALSE(todo->NoMatch());
  EXPECT_EQ(todo->Field("Nodename").AsText(), "SERVER1");
  todo->Edit();
  todo->SetField("Levels", 5);
  todo->SetField("LogFile", "/opt/brontal/brontals.log");
  todo->Update();
  todo->MoveNext();  // index order goes on after the row found
  EXPECT_EQ(todo->Field("Nodename").AsText(), "SERVER2");

  todo->Seek("=", {"SERVER9", "R"});
  EXPECT_TRUE(todo->NoMatch());
  ExpectError(kNoCurrentRecord, [&] { todo->Edit(); });

  auto check = db->OpenRecordset("select Levels, LogFile from todo where nodename = \"SERVER1\"",
                                 RecordsetType::kSnapshot);
  EXPECT_EQ(check->Field("levels").AsInt64(), 5);
  EXPECT_EQ(check->Field("logfile").AsText(), "/opt/brontal/brontals.log");
  EXPECT_EQ(check->RecordCount(), 1);

  ExpectError(kDuplicateKey, [&] { AddNode(*db, "server1", 2); });
  EXPECT_EQ(Count(*db, "Todo"), 3);

  todo->MoveFirst();
  EXPECT_EQ(todo->Field("Nodename").AsText(), "<defaultnodename>");
  EXPECT_EQ(todo->RecordCount(), 3);
}

TEST_P(DatabaseTest, AMoveOrASeekGivesUpAPendingEditOrAdd) {
  auto db = Open();
  for (const char* node : {"S1", "S2", "S3"}) AddNode(*db, node, 1);
  const std::string before = TodoRows(*db);
  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  todo->SetIndex("Todo");
  auto to_s2 = [&] {
    todo->MoveFirst();
    todo->MoveNext();
  };
  auto seek = [&](const char* node) { todo->Seek("=", {node, "R"}); };
  const std::pair<const char*, std::function<void()>> moves[] = {
      {"MoveFirst", [&] { todo->MoveFirst(); }},
      {"MoveNext", [&] { todo->MoveNext(); }},
      {"MovePrevious", [&] { todo->MovePrevious(); }},
      {"MoveLast", [&] { todo->MoveLast(); }},
      {"Seek", [&] { seek("S3"); }},
      {"Seek without a match", [&] { seek("S9"); }},
  };
  for (const auto& [name, move] : moves) {
    SCOPED_TRACE(name);
    to_s2();
    todo->Edit();
    todo->SetField("Levels", 7);
    move();
    ExpectError(kUpdateWithoutAddNew, [&] { todo->Update(); });
    ExpectError(kUpdateWithoutAddNew, [&] { todo->SetField("Levels", 7); });

    to_s2();
    todo->AddNew();
    todo->SetField("Nodename", "S9");
    todo->SetField("DirParent", "R");
    move();
    ExpectError(kUpdateWithoutAddNew, [&] { todo->Update(); });
    ExpectError(kUpdateWithoutAddNew, [&] { todo->CancelUpdate(); });
    EXPECT_EQ(TodoRows(*db), before);
  }

  // Off the last row there is no row to write at all.
  todo->MoveLast();
  todo->Edit();
  todo->MoveNext();
  ASSERT_TRUE(todo->Eof());
  ExpectError(kUpdateWithoutAddNew, [&] { todo->Update(); });

  // An edit begun after the move changes the row moved to, and only that one.
  to_s2();
  todo->Edit();
  todo->MoveNext();
  todo->Edit();
  todo->SetField("Levels", 7);
  todo->Update();
  EXPECT_EQ(todo->Field("Levels").AsInt64(), 7);
  EXPECT_EQ(TodoRows(*db), "S1 1, S2 1, S3 7");
}

TEST_P(DatabaseTest, AnEditWritesTheRowItBeganOnEvenAfterANewIndexOrder) {
  auto db = Open();
  for (const char* node : {"S3", "S1", "S2"}) AddNode(*db, node, 1);
  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  todo->MoveFirst();  // in the order of writing
  ASSERT_EQ(todo->Field("Nodename").AsText(), "S3");
  todo->Edit();
  todo->SetField("Levels", 7);
  todo->SetIndex("Todo");  // the first row is now S1
  todo->Update();
  EXPECT_EQ(TodoRows(*db), "S1 1, S2 1, S3 7");
  todo->MoveFirst();
  EXPECT_EQ(todo->Field("Nodename").AsText(), "S1");
  EXPECT_EQ(todo->Field("Levels").AsInt64(), 1);
  todo->MoveLast();
  EXPECT_EQ(todo->Field("Levels").AsInt64(), 7);
}

TEST_P(DatabaseTest, RowsAppendedAtOnceKeepEveryByteAndAFailedBatchLeavesNoneOfIt) {
  auto db = Open();
  const std::string awkward = "tab\there\nline\\back\rslash \\N \\. \xff\xfe";
  db->AppendRows("Dirs", {"DirParent", "Dir", "Brontal", "pdate"},
                 {"R", awkward, std::int64_t{5'000'000'000'000'000}, p1_.ToIso(),  //
                  "R", "second", nullptr, p1_.ToIso()});
  auto back =
      db->OpenRecordset("select Dir, Brontal from Dirs order by Dir", RecordsetType::kSnapshot);
  EXPECT_EQ(back->Field(0).AsText(), "second");
  EXPECT_TRUE(back->Field(1).IsNull());
  back->MoveNext();
  EXPECT_EQ(back->Field(0).AsText(), awkward);
  EXPECT_EQ(back->Field(1).AsInt64(), 5'000'000'000'000'000);

  // Inside a transaction a batch that breaks a unique index leaves none of its rows, and the
  // transaction goes on with what came before it.
  Workspace& ws = engine_->DefaultWorkspace();
  AddNode(*db, "S1", 2);
  ws.BeginTrans();
  AddNode(*db, "S2", 2);
  ExpectError(kDuplicateKey, [&] {
    db->AppendRows("Todo", {"Nodename", "DirParent", "Levels"}, {"S3", "R", 1, "s1", "R", 1});
  });
  ExpectError(kGeneral, [&] { db->AppendRows("Todo", {"Nodename", "DirParent"}, {"S4"}); });
  ws.CommitTrans();
  EXPECT_EQ(TodoRows(*db), "S1 2, S2 2");
}

TEST_P(DatabaseTest, TransactionsNestAndRollBack) {
  auto db = Open();
  Workspace& ws = engine_->DefaultWorkspace();
  ws.BeginTrans();
  AddDir(*db, "R", "A", 1, p1_);
  ws.BeginTrans();
  AddDir(*db, "R", "B", 1, p1_);
  ws.Rollback();  // only B
  ws.CommitTrans();
  ws.BeginTrans();
  AddDir(*db, "R", "C", 1, p1_);
  ws.Rollback();
  auto rs = db->OpenRecordset("select dir from dirs", RecordsetType::kSnapshot);
  rs->MoveLast();
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Field("dir").AsText(), "A");
  ExpectError(kNoTransaction, [&] { ws.CommitTrans(); });
  ExpectError(kNoTransaction, [&] { ws.Rollback(); });
}

TEST_P(DatabaseFileTest, BusyFileFailsAtBeginTransWithNothingWritten) {
  auto other_engine = MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
  auto writer = other_engine->DefaultWorkspace().OpenDatabase(path_);
  other_engine->DefaultWorkspace().BeginTrans();
  AddDir(*writer, "R", "W", 1, p1_);

  auto db = Open();
  ExpectError(kLocked, [&] { engine_->DefaultWorkspace().BeginTrans(); });
  ExpectError(kNoTransaction, [&] { engine_->DefaultWorkspace().CommitTrans(); });

  other_engine->DefaultWorkspace().CommitTrans();
  engine_->DefaultWorkspace().BeginTrans();
  AddDir(*db, "R", "X", 1, p1_);
  engine_->DefaultWorkspace().CommitTrans();
  EXPECT_EQ(Count(*db, "Dirs"), 2);
}

// Another program's transaction holding a row: a write to it waits, then fails kLocked with
// nothing written, and succeeds once that transaction ends; an edit of a row that another
// program changed or deleted meanwhile fails kLocked rather than write nothing.
TEST_P(DatabaseTest, AWriteToARowAnotherTransactionHoldsReportsLocked) {
  auto db = Open();
  AddNode(*db, "S1", 1);
  auto other_engine = testing::MakeTestEngine(/*wait_ms=*/50, &clock_);
  auto other = other_engine->DefaultWorkspace().OpenDatabase(path_);
  other_engine->DefaultWorkspace().BeginTrans();
  other->Execute("update todo set levels = 9 where nodename = 'S1'");

  ExpectError(kLocked, [&] { db->Execute("update todo set levels = 2"); });
  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  todo->MoveFirst();
  todo->Edit();
  todo->SetField("Levels", 3);
  ExpectError(kLocked, [&] { todo->Update(); });
  EXPECT_EQ(TodoRows(*db), "S1 1");  // the other's change is not seen before its commit

  other_engine->DefaultWorkspace().CommitTrans();
  if (on_server()) {
    // The other's update moved the row: the edit, which names the row by its place, must not
    // be lost without a word. Read again, it goes through.
    ExpectError(kLocked, [&] { todo->Update(); });
    EXPECT_EQ(TodoRows(*db), "S1 9");
    todo->MoveFirst();
    todo->Edit();
    todo->SetField("Levels", 3);
  }
  todo->Update();  // the same edit, once the row is free
  EXPECT_EQ(TodoRows(*db), "S1 3");

  // A row another program deleted since the edit began is not written back either.
  todo->Edit();
  other->Execute("delete * from todo");
  ExpectError(kLocked, [&] { todo->Update(); });
  EXPECT_EQ(TodoRows(*db), "");
}

// Scanners retry a save only on kLocked and kInUse, so a busy file must never come back as any
// other error, wherever the engine meets it; and nothing may be half done when it does.
TEST_P(DatabaseFileTest, ACommitUnderWayMakesEveryReadReportLocked) {
  auto db = Open();
  AddDir(*db, "R", "A", 1, p1_);
  AddNode(*db, "S1", 3);
  auto dirs = db->OpenRecordset("Dirs", RecordsetType::kTable);
  auto todo = db->OpenRecordset("Todo", RecordsetType::kTable);
  todo->SetIndex("Todo");
  todo->MoveFirst();
  auto unindexed = db->OpenRecordset("Todo", RecordsetType::kTable);
  {
    testing::OtherProgram scanner(path_, /*exclusive=*/false, testing::Holding::kCommitLock);
    ASSERT_TRUE(scanner.opened());
    ExpectError(kLocked, [&] { Open(); });  // the first read of the schema
    ExpectError(kLocked,
                [&] { db->OpenRecordset("select * from dirs", RecordsetType::kSnapshot); });
    ExpectError(kLocked, [&] { db->OpenRecordset("Dirs", RecordsetType::kTable); });
    ExpectError(kLocked, [&] { dirs->RecordCount(); });
    ExpectError(kLocked, [&] { dirs->MoveFirst(); });
    ExpectError(kLocked, [&] { todo->Seek("=", {"S1", "R"}); });
    ExpectError(kLocked, [&] { unindexed->SetIndex("Todo"); });
    ExpectError(kLocked, [&] { db->Execute("delete * from dirs"); });
    ExpectError(kLocked, [&] { engine_->DefaultWorkspace().BeginTrans(); });
  }
  EXPECT_EQ(dirs->RecordCount(), 1);
  EXPECT_EQ(todo->Field("Nodename").AsText(), "S1");  // the failed seek moved nothing
  todo->MoveNext();
  EXPECT_TRUE(todo->Eof());
  todo->Seek("=", {"S1", "R"});
  EXPECT_FALSE(todo->NoMatch());
  unindexed->SetIndex("Todo");
  Open()->Close();
}

TEST_P(DatabaseFileTest, AWriteUnderWayMakesEveryWriteReportLockedAndKeepsTheRow) {
  auto db = Open();
  AddDir(*db, "R", "A", 1, p1_);
  auto dirs = db->OpenRecordset("Dirs", RecordsetType::kTable);
  {
    testing::OtherProgram scanner(path_, /*exclusive=*/false, testing::Holding::kWriteLock);
    ASSERT_TRUE(scanner.opened());
    EXPECT_EQ(Count(*db, "Dirs"), 1);  // reading goes on
    ExpectError(kLocked, [&] { db->Execute("delete * from dirs"); });
    dirs->AddNew();
    dirs->SetField("DirParent", "R");
    dirs->SetField("Dir", "B");
    dirs->SetField("pdate", p1_);
    ExpectError(kLocked, [&] { dirs->Update(); });
    ExpectError(kLocked, [&] { engine_->DefaultWorkspace().BeginTrans(); });
    EXPECT_EQ(Count(*db, "Dirs"), 1);
  }
  dirs->Update();  // the same row, once the file is free
  EXPECT_EQ(Count(*db, "Dirs"), 2);
}

TEST_P(DatabaseFileTest, ACommitThatMeetsAReaderReportsLockedAndCanBeRetried) {
  auto db = Open();
  auto reader = std::make_unique<testing::OtherProgram>(path_, /*exclusive=*/false,
                                                        testing::Holding::kReadLock);
  ASSERT_TRUE(reader->opened());
  ExpectError(kLocked, [&] { AddDir(*db, "R", "A", 1, p1_); });  // a statement's own commit
  Workspace& ws = engine_->DefaultWorkspace();
  ws.BeginTrans();
  AddDir(*db, "R", "B", 1, p1_);
  ExpectError(kLocked, [&] { ws.CommitTrans(); });
  reader.reset();
  ws.CommitTrans();  // the same transaction
  auto rs = db->OpenRecordset("select dir from dirs", RecordsetType::kSnapshot);
  rs->MoveLast();
  EXPECT_EQ(rs->RecordCount(), 1);
  EXPECT_EQ(rs->Field("dir").AsText(), "B");
}

TEST_P(DatabaseTest, ClosingTheDatabaseClosesItsRecordsets) {
  auto db = Open();
  AddDir(*db, "R", "A", 1, p1_);
  auto rs = db->OpenRecordset("select * from dirs", RecordsetType::kSnapshot);
  auto table = db->OpenRecordset("Dirs", RecordsetType::kTable);
  db->Close();
  ExpectError(kClosed, [&] { rs->Field("dir"); });
  ExpectError(kClosed, [&] { table->AddNew(); });
  ExpectError(kClosed, [&] { db->Execute("delete * from dirs"); });
  Open(true)->Close();  // the lock went with it
}

TEST_P(DatabaseTest, EveryMemberOfAClosedObjectSaysItIsClosed) {
  auto db = Open();
  AddNode(*db, "S1", 1);
  db->Execute("update todo set levels = 2");
  for (bool whole_database : {false, true}) {
    SCOPED_TRACE(whole_database ? "the database closed" : "the recordset closed");
    auto table = db->OpenRecordset("Todo", RecordsetType::kTable);
    table->SetIndex("Todo");
    table->MoveFirst();
    auto snapshot = db->OpenRecordset("select * from todo", RecordsetType::kSnapshot);
    if (whole_database) {
      db->Close();
    } else {
      table->Close();
      snapshot->Close();
    }
    for (Recordset* rs : {table.get(), snapshot.get()}) {
      ExpectError(kClosed, [&] { rs->RecordCount(); });
      ExpectError(kClosed, [&] { rs->Eof(); });
      ExpectError(kClosed, [&] { rs->Bof(); });
      ExpectError(kClosed, [&] { rs->MoveFirst(); });
      ExpectError(kClosed, [&] { rs->MoveNext(); });
      ExpectError(kClosed, [&] { rs->MovePrevious(); });
      ExpectError(kClosed, [&] { rs->MoveLast(); });
      ExpectError(kClosed, [&] { rs->Field("Nodename"); });
      ExpectError(kClosed, [&] { rs->Field(0); });
      ExpectError(kClosed, [&] { rs->FieldCount(); });
      ExpectError(kClosed, [&] { rs->FieldName(0); });
      ExpectError(kClosed, [&] { rs->AddNew(); });
      ExpectError(kClosed, [&] { rs->Edit(); });
      ExpectError(kClosed, [&] { rs->SetField("Levels", 3); });
      ExpectError(kClosed, [&] { rs->Update(); });
      ExpectError(kClosed, [&] { rs->CancelUpdate(); });
      ExpectError(kClosed, [&] { rs->SetIndex("Todo"); });
      ExpectError(kClosed, [&] { rs->Seek("=", {"S1", "R"}); });
      ExpectError(kClosed, [&] { rs->NoMatch(); });
      rs->Close();  // closing twice does nothing
    }
  }
  ExpectError(kClosed, [&] { db->OpenRecordset("Todo", RecordsetType::kTable); });
  ExpectError(kClosed, [&] { db->Execute("delete * from todo"); });
  ExpectError(kClosed, [&] { db->RecordsAffected(); });
  ExpectError(kClosed, [&] { db->Name(); });
  ExpectError(kClosed, [&] { db->Repair(); });
  ExpectError(kClosed, [&] { db->CompactInto(path_ + "1"); });
  db->Close();
  EXPECT_FALSE(fs::exists(path_ + "1"));
  auto again = Open(/*exclusive=*/true);  // nothing of the closed objects holds the file
  EXPECT_EQ(TodoRows(*again), "S1 2");
}

TEST_P(DatabaseFileTest, RepairFindsDamageAndCompactWritesAFreshCopy) {
  {
    auto db = Open();
    engine_->DefaultWorkspace().BeginTrans();
    for (int i = 0; i < 20000; ++i)
      AddDir(*db, "R\\S1\\C:\\" + std::to_string(i % 97), "some directory name", i, p1_);
    engine_->DefaultWorkspace().CommitTrans();
    db->Execute("delete * from dirs where brontal >= 100");
  }
  engine_->RepairDatabase(path_);  // sound: nothing to say

  std::string copy = path_ + "1";
  engine_->CompactDatabase(path_, copy);
  EXPECT_LT(fs::file_size(copy), fs::file_size(path_) / 4);
  ExpectError(kDatabaseExists, [&] { engine_->CompactDatabase(path_, copy); });
  auto compacted = engine_->DefaultWorkspace().OpenDatabase(copy);
  EXPECT_EQ(Count(*compacted, "Dirs"), 100);
  compacted->Close();

  // Overwrite the root pages of both tables, which no index can rebuild.
  {
    int fd = ::open(path_.c_str(), O_WRONLY);
    std::string garbage(8192, '\x5a');
    ASSERT_EQ(::pwrite(fd, garbage.data(), garbage.size(), 4096), 8192);
    ::close(fd);
  }
  ExpectError(kDamaged, [&] { engine_->RepairDatabase(path_); });
  ExpectError(kFileNotFound, [&] { engine_->RepairDatabase(path_ + "x"); });
}

TEST_P(DatabaseFileTest, ARepairThatMeetsAReaderOutsideTheSuiteReportsLockedNotDamaged) {
  {
    auto db = Open();
    for (int i = 0; i < 20; ++i) AddDir(*db, "R\\S" + std::to_string(i), "C:", i, p1_);
  }
  // Two cells of the index's only page made to overlap: damage a reindex mends.
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> reader(nullptr, sqlite3_close);
  {
    sqlite3* handle = nullptr;
    ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
    reader.reset(handle);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(handle,
                       "select rootpage, (select page_size from pragma_page_size) "
                       "from sqlite_schema where name = 'Dirs_ParentPeriod'",
                       -1, &statement, nullptr);
    off_t page = 0;
    if (sqlite3_step(statement) == SQLITE_ROW) {
      page = static_cast<off_t>(sqlite3_column_int(statement, 0) - 1) *
             sqlite3_column_int(statement, 1);
    }
    sqlite3_finalize(statement);
    ASSERT_GT(page, 0);
    int fd = ::open(path_.c_str(), O_RDWR);
    unsigned char header[12];
    ASSERT_EQ(::pread(fd, header, sizeof header, page), 12);
    ASSERT_EQ(header[0], 10) << "the index is no single leaf page";
    ASSERT_GE(header[3] << 8 | header[4], 2);
    ASSERT_EQ(::pwrite(fd, header + 8, 2, page + 10), 2);
    ::close(fd);
  }
  const std::string damaged = testing::ReadWholeFile(path_);

  // A program outside the suite (the sqlite3 shell, say) in the middle of a read: the check
  // can read, but the reindex cannot write.
  ASSERT_EQ(
      sqlite3_exec(reader.get(), "begin; select count(*) from Dirs", nullptr, nullptr, nullptr),
      SQLITE_OK);
  ExpectError(kLocked, [&] { engine_->RepairDatabase(path_); });
  EXPECT_TRUE(testing::ReadWholeFile(path_) == damaged);
  reader.reset();

  engine_->RepairDatabase(path_);
  EXPECT_FALSE(testing::ReadWholeFile(path_) == damaged);
  engine_->RepairDatabase(path_);  // sound now: nothing more to do
  auto db = Open();
  EXPECT_EQ(Count(*db, "Dirs"), 20);
}

TEST_P(DatabaseTest, AnExclusiveOpenRepairsAndCompactsItselfUnderItsLock) {
  {
    auto db = Open();
    for (int i = 0; i < 50; ++i) AddDir(*db, "R\\S1\\C:", "d" + std::to_string(i), i, p1_);
    db->Execute("delete * from dirs where brontal >= 10");
    ExpectError(kNotSupported, [&] { db->Repair(); });
    ExpectError(kNotSupported, [&] { db->CompactInto(path_ + "1"); });
    ExpectError(kNotSupported, [&] { db->CompactInPlace(); });
    EXPECT_EQ(db->CompactsInPlace(), on_server());
  }
  EXPECT_FALSE(fs::exists(path_ + "1"));

  auto exclusive = Open(/*exclusive=*/true);
  exclusive->Repair();
  std::string copy = path_ + "1";
  if (on_server()) {
    // A database on a server gives its space back where it is, and has no copy to write.
    ExpectError(kNotSupported, [&] { exclusive->CompactInto(copy); });
    exclusive->CompactInPlace();
    ExpectError(kInUse, [&] { Open(); });
    EXPECT_EQ(Count(*exclusive, "Dirs"), 10);
    exclusive->Close();
    EXPECT_EQ(Count(*Open(), "Dirs"), 10);
    ExpectError(kClosed, [&] { exclusive->Repair(); });
    return;
  }
  exclusive->CompactInto(copy);
  ExpectError(kInUse, [&] { Open(); });  // still held after the copy is written
  ExpectError(kDatabaseExists, [&] { exclusive->CompactInto(copy); });
  EXPECT_EQ(Count(*exclusive, "Dirs"), 10);  // the file itself is still open and whole
  exclusive->Close();

  auto compacted = engine_->DefaultWorkspace().OpenDatabase(copy);
  EXPECT_EQ(Count(*compacted, "Dirs"), 10);
  compacted->Close();
  ExpectError(kClosed, [&] { exclusive->Repair(); });
}

// The engine compares text with a faster version of SQLite's own NOCASE: a file it wrote must
// hold its indexes in the order every other program reading it expects.
TEST_P(DatabaseFileTest, IndexesKeepSqlitesOwnCaseInsensitiveOrder) {
  const std::string prefix = "R\\SERVER1\\D:\\Shares\\";  // longer than a machine word
  const std::string texts[] = {
      "b",
      "A",
      "ab",
      "aB",
      "a",
      "Ab",
      "[",
      "_",
      "@",
      "`",
      "{",
      prefix + "x",
      prefix + "Y",
      prefix + "X",
      prefix + "\\",
      prefix + "\xC3\xA9",
      prefix + "\xC3\x89",
      prefix + "\xff",
      prefix,
      std::string("nul\0b", 5),
      std::string("NUL\0a", 5),
      std::string("nul\0", 4),
      std::string("12345678\0z", 10),
      "12345678z",
      "12345678",
      "B",
      "",
  };
  {
    auto db = Open();
    for (const std::string& text : texts) AddDir(*db, text, "d", 1, p1_);
  }
  sqlite3* handle = nullptr;
  ASSERT_EQ(sqlite3_open_v2(path_.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  // The parents in the index's order, and sorted afresh by SQLite's NOCASE, letters lowered so
  // that texts equal to it may come in either order.
  auto parents = [&](const char* sql) {
    sqlite3_stmt* statement = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(handle, sql, -1, &statement, nullptr), SQLITE_OK);
    std::vector<std::string> values;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      std::string value(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                        sqlite3_column_bytes(statement, 0));
      for (char& c : value) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
      values.push_back(value);
    }
    sqlite3_finalize(statement);
    return values;
  };
  EXPECT_EQ(parents("select DirParent from Dirs indexed by Dirs_ParentPeriod order by DirParent"),
            parents("select DirParent from Dirs not indexed order by DirParent"));
  EXPECT_EQ(parents("pragma integrity_check"), std::vector<std::string>{"ok"});
  sqlite3_close(handle);
}

}  // namespace
}  // namespace brontal::db
