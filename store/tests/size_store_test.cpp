// SizeStore on real temporary databases: the period of a run, node settings in Todo, the rows of
// a scan, and how the bulk appends outwait another writer or give up.
#include "store/size_store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/sqlite_engine.h"
#include "platform/testing/other_program.h"
#include "platform/testing/temp_folder.h"
#include "store/schema.h"

namespace brontal {
namespace {

using db::RecordsetType;

// Forwards to a real engine, except that `failures` commits after the first `passing` ones fail
// with `number`.
class FailingCommitEngine : public db::Engine {
 public:
  FailingCommitEngine(db::Engine& real, int number, int failures, int passing = 0)
      : real_(real), workspace_(real.DefaultWorkspace(), number, failures, passing) {}
  db::Workspace& DefaultWorkspace() override { return workspace_; }
  std::unique_ptr<db::Database> CreateDatabase(const std::string& path,
                                               const db::Schema& schema) override {
    return real_.CreateDatabase(path, schema);
  }
  void RepairDatabase(const std::string& path) override { real_.RepairDatabase(path); }
  void CompactDatabase(const std::string& from, const std::string& to) override {
    real_.CompactDatabase(from, to);
  }

 private:
  struct Workspace : db::Workspace {
    Workspace(db::Workspace& real, int number, int failures, int passing)
        : real(real), number(number), failures(failures), passing(passing) {}
    std::unique_ptr<db::Database> OpenDatabase(const std::string& path, bool exclusive) override {
      return real.OpenDatabase(path, exclusive);
    }
    void BeginTrans() override { real.BeginTrans(); }
    void CommitTrans() override {
      if (passing-- <= 0 && failures-- > 0) throw db::DbError(number, "commit refused");
      real.CommitTrans();
    }
    void Rollback() override { real.Rollback(); }
    void Close() override { real.Close(); }
    db::Workspace& real;
    int number;
    int failures;
    int passing;
  };
  db::Engine& real_;
  Workspace workspace_;
};

class SizeStoreTest : public ::testing::Test {
 protected:
  SizeStoreTest() {
    CreateBrontalDatabase(*engine_, path_, 3);
    std::ofstream(folder_ / "dbloc.txt") << path_ << "\n";
  }

  // A store for node server1 on `engine`. Every pause is 40 seconds (r = 0.5) and is recorded.
  std::unique_ptr<SizeStore> Store(db::Engine* engine = nullptr) {
    auto store = std::make_unique<SizeStore>(SizeStoreServices{
        .engine = engine ? *engine : *engine_,
        .settings = settings_,
        .clock = clock_,
        .message_box = message_box_,
        .program_folder = folder_.path().string(),
        .random = [] { return 0.5; },
        .pause =
            [this](int milliseconds) {
              pauses_.push_back(milliseconds);
              if (on_pause_) on_pause_(static_cast<int>(pauses_.size()));
            },
    });
    store->nodename = "server1";
    return store;
  }

  // The rows of a query, fields joined by "|", sorted.
  std::vector<std::string> Rows(const std::string& sql) {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
    auto rs = database->OpenRecordset(sql, RecordsetType::kSnapshot);
    std::vector<std::string> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (int i = 0; i < rs->FieldCount(); ++i) row += (i ? "|" : "") + rs->Field(i).TextOr();
      rows.push_back(row);
    }
    database->Close();
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  // Another scanner's connection holding the write lock with a row of its own pending.
  void LockFromAnotherProgram() {
    other_database_ = other_engine_->DefaultWorkspace().OpenDatabase(path_);
    other_engine_->DefaultWorkspace().BeginTrans();
    other_database_->Execute("insert into Periods (pdate) values (#1/2/2026 " +
                             std::to_string(other_writes_++) + ":00:00#)");
  }
  void ReleaseOtherLock() {
    other_engine_->DefaultWorkspace().CommitTrans();
    other_database_->Close();
  }

  void SaveSmallScan(SizeStore& store) {
    store.SaveDirs({"", "C:", "C:\\."}, {0, 100, 10}, 2, 100);
  }

  FixedClock clock_{DateTime::FromCivil(2026, 3, 9, 2, 10)};
  MemorySettings settings_;
  RecordingMessageBox message_box_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 1, .clock = &clock_});
  std::unique_ptr<db::Engine> other_engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 1, .clock = &clock_});
  std::unique_ptr<db::Database> other_database_;
  int other_writes_ = 0;
  testing::TempFolder folder_;
  std::string path_ = folder_ / "brontal.mdb";
  std::vector<int> pauses_;
  std::function<void(int pause_count)> on_pause_;
};

TEST_F(SizeStoreTest, PeriodIsTheNearestHourOfTheSameDayOrMidnightBeforeDawn) {
  struct Case {
    int hour, minute;
    const char* dawn;
    int period_hour;
  };
  for (Case c : {Case{23, 50, "0", 23}, Case{10, 30, "0", 11}, Case{10, 29, "0", 10},
                 Case{5, 29, "6", 0}, Case{5, 30, "6", 6}, Case{0, 40, "2", 0}}) {
    clock_.Set(DateTime::FromCivil(2026, 12, 31, c.hour, c.minute, 59));
    settings_.Set("Options", "Dawn", c.dawn);
    EXPECT_EQ(Store()->pdate, DateTime::FromCivil(2026, 12, 31, c.period_hour))
        << c.hour << ":" << c.minute << " dawn " << c.dawn;
  }
  EXPECT_TRUE(message_box_.shown.empty());
}

TEST_F(SizeStoreTest, MissingDbLocIsShownOnceAndLaterOperationsFail) {
  std::filesystem::remove(folder_ / "dbloc.txt");
  auto store = Store();
  EXPECT_EQ(message_box_.shown,
            std::vector<std::string>{"Database must be configured, please review installation."});
  EXPECT_THROW(store->DefaultLevel(), db::DbError);
  EXPECT_THROW(SaveSmallScan(*store), db::DbError);
  EXPECT_THROW(store->AddPeriod(store->pdate), db::DbError);  // a run no picker lists is a failure
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(SizeStoreTest, NodeLevelsFollowTheDefaultUntilSetExplicitly) {
  auto store = Store();
  EXPECT_EQ(store->DefaultDefaultLevel(), 3);
  EXPECT_EQ(store->DefaultLevel(), 3);
  EXPECT_EQ(store->DefaultLevel(), 3);
  EXPECT_EQ(Rows("select Nodename, DirParent, Levels from Todo where Levels <> 3"),
            std::vector<std::string>{"server1|R|-1"});

  store->SetDefaultLevel(5);
  EXPECT_EQ(store->DefaultLevel(), 5);
  store->SetDefaultLevel(3);  // equal to the default: the explicit level stays
  EXPECT_EQ(Rows("select Levels from Todo where DirParent = \"R\""), std::vector<std::string>{"5"});
  store->SetDefaultLevel(-1);
  EXPECT_EQ(Rows("select Levels from Todo where DirParent = \"R\""),
            std::vector<std::string>{"-1"});

  store->SetLogFile("/opt/brontal/bin/brontals.log");
  EXPECT_EQ(Rows("select LogFile from Todo where DirParent = \"R\""),
            std::vector<std::string>{"/opt/brontal/bin/brontals.log"});
}

TEST_F(SizeStoreTest, MissingTodoRowsFailToTheCaller) {
  auto store = Store();
  store->nodename = "odd\"node";
  EXPECT_THROW(store->SetLogFile("x.log"), db::DbError);
  EXPECT_THROW(store->SetDefaultLevel(7), db::DbError);
  EXPECT_EQ(store->DefaultLevel(), 3);
  EXPECT_NO_THROW(store->SetLogFile("x.log"));

  auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
  database->Execute("delete * from Todo where Nodename = \"<defaultnodename>\"");
  database->Close();
  try {
    store->DefaultDefaultLevel();
    FAIL() << "no error without the default row";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kNoCurrentRecord);
  }
  EXPECT_THROW(store->DefaultLevel(), db::DbError);  // the node follows the missing default
}

TEST_F(SizeStoreTest, SaveDirsStoresTreePathsAndOneParentPerRun) {
  const std::string wide_254 = [] {
    std::string s;
    for (int i = 0; i < 254; ++i) s += "\xC3\xA9";  // é: 254 characters in 508 bytes
    return s;
  }();
  const std::int64_t exabyte = 1'000'000'000'000'000'000;
  auto store = Store();
  const std::pair<std::string, std::int64_t> scan[] = {
      {"C:", 900},
      {"C:\\.", 10},
      {"C:\\WINNT", 500},
      {"C:\\Temp", -13},
      {"C:\\WINNT\\system32", 400},
      {"C:\\WINNT\\" + wide_254, 7},
      {"C:\\WINNT\\" + std::string(255, 'x'), 8},
      {"C:\\" + std::string(260, 'p') + "\\q", 9},
      {"\\\\SERVER1\\D$\\Data", exabyte},
      {"/home\\alice", 30},
      {"  ", 1},
      {"C:\\WINNT\\ ", 2},
  };
  std::vector<std::string> names{""};
  std::vector<std::int64_t> sizes{0};
  for (const auto& [name, size] : scan) {
    names.push_back(name);
    sizes.push_back(size);
  }
  EXPECT_EQ(store->SaveDirs(names, sizes, static_cast<int>(std::size(scan)), exabyte + 930),
            (std::vector<std::string>{"  ", "C:\\WINNT\\ "}));
  // Deep Linux trees reach 255 characters easily: long names and parents are stored whole.
  EXPECT_EQ(Rows("select DirParent, Dir, Brontal from Dirs"),
            (std::vector<std::string>{
                "R\\SERVER1\\D:|Data|" + std::to_string(exabyte),
                "R\\server1\\/home|alice|30",
                "R\\server1\\C:\\WINNT|system32|400",
                "R\\server1\\C:\\WINNT|" + std::string(255, 'x') + "|8",
                "R\\server1\\C:\\WINNT|" + wide_254 + "|7",
                "R\\server1\\C:\\" + std::string(260, 'p') + "|q|9",
                "R\\server1\\C:|.|10",
                "R\\server1\\C:|WINNT|500",
                "R\\server1|C:|900",
                "R|server1|" + std::to_string(exabyte + 930),
            }));
  // "  " has the parent R\server1 again, after other parents: written a second time; so has
  // the blank name in C:\WINNT.
  EXPECT_EQ(
      Rows("select DirParent from Parents"),
      (std::vector<std::string>{"R\\SERVER1\\D:", "R\\server1", "R\\server1", "R\\server1\\/home",
                                "R\\server1\\C:", "R\\server1\\C:\\WINNT", "R\\server1\\C:\\WINNT",
                                "R\\server1\\C:\\" + std::string(260, 'p')}));
  EXPECT_EQ(Rows("select distinct pdate from Dirs union select distinct pdate from Parents"),
            std::vector<std::string>{"2026-03-09 02:00:00"});
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(SizeStoreTest, SaveFreeStoresDrivesUnderTheNode) {
  auto store = Store();
  const std::string deep_mount = "/srv/" + std::string(255, 'm');
  store->SaveFree({"", "/", "/home", deep_mount}, {0, 5, 6, 7}, {0, 50, 60, 70}, 3);
  EXPECT_EQ(Rows("select DiskParent, Disk, DiskFree, DiskSize, pdate from Disks"),
            (std::vector<std::string>{"R\\server1|/home|6|60|2026-03-09 02:00:00",
                                      "R\\server1|" + deep_mount + "|7|70|2026-03-09 02:00:00",
                                      "R\\server1|/|5|50|2026-03-09 02:00:00"}));
}

// One node's scan as the scanner stores it: drives, sizes, parents and period in one
// transaction.
void SaveWholeScan(SizeStore& store, std::int64_t size) {
  store.BeginScan();
  store.SaveFree({"", "C:"}, {0, size / 2}, {0, size * 2}, 1);
  store.SaveDirs({"", "C:", "C:\\.", "C:\\Data"}, {0, size, 1, size - 1}, 3, size);
  store.AddPeriod(store.pdate);
  store.CommitScan();
}

TEST_F(SizeStoreTest, ARerunInTheSamePeriodReplacesOnlyThatNodesRows) {
  auto store = Store();
  store->nodename = "server10";  // a namesake whose paths begin like server1's
  SaveWholeScan(*store, 500);
  clock_.Set(DateTime::FromCivil(2026, 3, 8, 2, 10));
  auto yesterday = Store();
  SaveWholeScan(*yesterday, 300);
  store->nodename = "server1";
  SaveWholeScan(*store, 100);
  const std::vector<std::string> before = Rows("select pdate, DirParent, Dir from Dirs");

  SaveWholeScan(*store, 200);  // the rerun of the same hour
  EXPECT_EQ(Rows("select pdate, DirParent, Dir from Dirs"), before);
  EXPECT_EQ(Rows("select DirParent, Brontal from Dirs where pdate = #3/9/2026 2:00# and Dir = "
                 "\"server1\""),
            std::vector<std::string>{"R|200"});
  EXPECT_EQ(Rows("select Brontal from Dirs where pdate = #3/8/2026 2:00#"),
            (std::vector<std::string>{"1", "299", "300", "300"}));
  EXPECT_EQ(Rows("select DiskParent, DiskFree from Disks where pdate = #3/9/2026 2:00#"),
            (std::vector<std::string>{"R\\server10|250", "R\\server1|100"}));
  EXPECT_EQ(
      Rows("select DirParent from Parents where pdate = #3/9/2026 2:00#"),
      (std::vector<std::string>{"R\\server1", "R\\server10", "R\\server10\\C:", "R\\server1\\C:"}));
  EXPECT_EQ(Rows("select pdate from Periods"),
            (std::vector<std::string>{"2026-03-08 02:00:00", "2026-03-09 02:00:00"}));
}

// A new file's statistics describe a large file; the first scan of a period measures the file's
// own, after its commit, so that the readers' plans follow the file before any compaction.
TEST_F(SizeStoreTest, AScanOfANewPeriodMeasuresTheStatistics) {
  const std::string stat = "select stat from sqlite_stat1 where idx = \"Dirs_ParentPeriod\"";
  EXPECT_EQ(Rows(stat), std::vector<std::string>{"36500000 3650 10 noskipscan"});
  auto store = Store();
  SaveWholeScan(*store, 100);
  // Four rows under three parents (R, R\server1, R\server1\C:), all of one period.
  EXPECT_EQ(Rows(stat), std::vector<std::string>{"4 2 2"});
}

TEST_F(SizeStoreTest, AScanIsStoredWholeOrNotAtAll) {
  // A commit that never succeeds: nothing of the scan reaches the file.
  {
    // The savepoints of the three saves pass; the commit of the scan fails.
    FailingCommitEngine refusing(*engine_, db::kCannotOpen, 1, 3);
    auto store = Store(&refusing);
    store->BeginScan();
    store->SaveFree({"", "C:"}, {0, 1}, {0, 2}, 1);
    SaveSmallScan(*store);
    store->AddPeriod(store->pdate);
    EXPECT_THROW(store->CommitScan(), db::DbError);
  }
  // A store that goes before its commit, as a killed scanner's would.
  {
    auto store = Store();
    store->BeginScan();
    store->SaveFree({"", "C:"}, {0, 1}, {0, 2}, 1);
    SaveSmallScan(*store);
  }
  for (const char* table : {"Dirs", "Parents", "Disks", "Periods"}) {
    EXPECT_EQ(Rows(std::string("select count(*) from ") + table), std::vector<std::string>{"0"})
        << table;
  }
  // Disks that cannot be saved are left out; the sizes and the period are still stored.
  FailingCommitEngine disks_refused(*engine_, db::kCannotOpen, 1);
  auto store = Store(&disks_refused);
  store->BeginScan();
  EXPECT_THROW(store->SaveFree({"", "C:"}, {0, 1}, {0, 2}, 1), db::DbError);
  SaveSmallScan(*store);
  store->AddPeriod(store->pdate);
  store->CommitScan();
  EXPECT_EQ(Rows("select count(*) from Disks"), std::vector<std::string>{"0"});
  EXPECT_EQ(Rows("select Dir from Dirs"), (std::vector<std::string>{".", "C:", "server1"}));
  EXPECT_EQ(Rows("select pdate from Periods"), std::vector<std::string>{"2026-03-09 02:00:00"});
}

TEST_F(SizeStoreTest, TheScannerWaitsForTheMaintenanceToolInsteadOfLosingItsRun) {
  auto maintenance = std::make_unique<testing::OtherProgram>(path_, /*exclusive=*/true);
  ASSERT_TRUE(maintenance->opened());
  on_pause_ = [&](int count) {
    if (count == 3) maintenance.reset();
  };
  auto store = Store();
  EXPECT_EQ(store->DefaultLevel(), 3);
  EXPECT_EQ(pauses_.size(), 3u);

  pauses_.clear();
  maintenance = std::make_unique<testing::OtherProgram>(path_, true);
  store->SetLogFile("/opt/brontal/bin/brontals.log");
  EXPECT_EQ(pauses_.size(), 3u);

  pauses_.clear();
  maintenance = std::make_unique<testing::OtherProgram>(path_, true);
  SaveWholeScan(*store, 100);
  EXPECT_EQ(pauses_.size(), 3u);
  EXPECT_EQ(Rows("select count(*) from Dirs"), std::vector<std::string>{"4"});
}

TEST_F(SizeStoreTest, APeriodIsStoredOnceInNewAndOlderFiles) {
  for (bool older : {false, true}) {
    std::filesystem::remove(path_);
    CreateBrontalDatabase(*engine_, path_, 3, older ? RepeatedPeriodsSchema() : BrontalSchema());
    auto store = Store();
    store->AddPeriod(store->pdate);
    store->nodename = "server2";  // another node of the same hour
    EXPECT_NO_THROW(store->AddPeriod(store->pdate));
    EXPECT_EQ(Rows("select pdate from Periods"), std::vector<std::string>{"2026-03-09 02:00:00"})
        << (older ? "older file" : "new file");
  }
  // In a new file the unique index stops a second row however it is written.
  std::filesystem::remove(path_);
  CreateBrontalDatabase(*engine_, path_, 3);
  auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
  database->Execute("insert into Periods (pdate) values (#3/9/2026 2:00:00#)");
  try {
    database->Execute("insert into Periods (pdate) values (#3/9/2026 2:00:00#)");
    FAIL() << "a period stored twice";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kDuplicateKey);
  }
}

TEST_F(SizeStoreTest, APeriodThatCannotBeStoredIsReportedAfterItsRetries) {
  LockFromAnotherProgram();
  auto store = Store();
  EXPECT_THROW(store->AddPeriod(store->pdate), db::DbError);
  EXPECT_EQ(pauses_.size(), 120u);
  ReleaseOtherLock();

  pauses_.clear();
  FailingCommitEngine read_only(*engine_, db::kCannotOpen, 1);
  EXPECT_THROW(Store(&read_only)->AddPeriod(store->pdate), db::DbError);
  EXPECT_TRUE(pauses_.empty());
  EXPECT_EQ(Rows("select pdate from Periods where pdate = #3/9/2026 2:00#"),
            std::vector<std::string>{});
}

TEST_F(SizeStoreTest, BulkAppendsOutwaitAnotherWriterFor119Failures) {
  LockFromAnotherProgram();
  on_pause_ = [this](int count) {
    if (count == 119) ReleaseOtherLock();
  };
  auto store = Store();
  SaveSmallScan(*store);
  EXPECT_EQ(pauses_, std::vector<int>(119, 40000));
  EXPECT_EQ(Rows("select Dir from Dirs"), (std::vector<std::string>{".", "C:", "server1"}));
  EXPECT_EQ(Rows("select DirParent from Parents"),
            (std::vector<std::string>{"R\\server1", "R\\server1\\C:"}));

  pauses_.clear();
  LockFromAnotherProgram();
  on_pause_ = [this](int count) {
    if (count == 3) ReleaseOtherLock();
  };
  store->SaveFree({"", "/"}, {0, 1}, {0, 2}, 1);
  EXPECT_EQ(pauses_.size(), 3u);
  EXPECT_EQ(Rows("select Disk from Disks"), std::vector<std::string>{"/"});
}

TEST_F(SizeStoreTest, The120thFailureRaisesAndStoresNothing) {
  LockFromAnotherProgram();
  auto store = Store();
  try {
    SaveSmallScan(*store);
    FAIL() << "no error after 120 failures";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kLocked);
    EXPECT_NE(error.Description().find("120 failures"), std::string::npos) << error.what();
  }
  EXPECT_EQ(pauses_.size(), 120u);
  ReleaseOtherLock();
  EXPECT_TRUE(Rows("select Dir from Dirs").empty());
}

TEST_F(SizeStoreTest, GivingUpDiscardsTheRowsOfTheOpenTransaction) {
  FailingCommitEngine refusing(*engine_, db::kInUse, 120);
  EXPECT_THROW(SaveSmallScan(*Store(&refusing)), db::DbError);
  EXPECT_EQ(pauses_.size(), 120u);
  EXPECT_TRUE(Rows("select Dir from Dirs").empty());

  pauses_.clear();
  FailingCommitEngine slow(*engine_, db::kInUse, 119);
  SaveSmallScan(*Store(&slow));
  EXPECT_EQ(pauses_.size(), 119u);
  EXPECT_EQ(Rows("select Dir from Dirs"), (std::vector<std::string>{".", "C:", "server1"}));
}

TEST_F(SizeStoreTest, FailuresOfAllStepsCountTogether) {
  FailingCommitEngine refusing(*engine_, db::kLocked, 60);
  LockFromAnotherProgram();
  on_pause_ = [this](int count) {
    if (count == 60) ReleaseOtherLock();
  };
  EXPECT_THROW(SaveSmallScan(*Store(&refusing)), db::DbError);
  EXPECT_EQ(pauses_.size(), 120u);
  EXPECT_TRUE(Rows("select Dir from Dirs").empty());
}

TEST_F(SizeStoreTest, ErrorsNoRetryCuresFailAtOnce) {
  FailingCommitEngine read_only(*engine_, db::kCannotOpen, 1);
  try {
    SaveSmallScan(*Store(&read_only));
    FAIL() << "no error from a read-only file";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kCannotOpen);
  }
  EXPECT_TRUE(Rows("select Dir from Dirs").empty());

  std::filesystem::remove(path_);
  std::ofstream(path_) << "not a database, but long enough to be taken for a damaged one";
  EXPECT_THROW(SaveSmallScan(*Store()), db::DbError);
  EXPECT_TRUE(pauses_.empty());
}

}  // namespace
}  // namespace brontal
