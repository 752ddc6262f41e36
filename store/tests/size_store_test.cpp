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

#include "platform/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "store/schema.h"

namespace brontal {
namespace {

using db::RecordsetType;

// Forwards to a real engine, except that the first `failures` commits fail with `number`.
class FailingCommitEngine : public db::Engine {
 public:
  FailingCommitEngine(db::Engine& real, int number, int failures)
      : real_(real), workspace_(real.DefaultWorkspace(), number, failures) {}
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
    Workspace(db::Workspace& real, int number, int failures)
        : real(real), number(number), failures(failures) {}
    std::unique_ptr<db::Database> OpenDatabase(const std::string& path, bool exclusive) override {
      return real.OpenDatabase(path, exclusive);
    }
    void BeginTrans() override { real.BeginTrans(); }
    void CommitTrans() override {
      if (failures-- > 0) throw db::DbError(number, "commit refused");
      real.CommitTrans();
    }
    void Rollback() override { real.Rollback(); }
    void Close() override { real.Close(); }
    db::Workspace& real;
    int number;
    int failures;
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
    other_database_->Execute("insert into Periods (pdate) values (#1/2/2026 3:00:00#)");
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
  EXPECT_NO_THROW(store->AddPeriod(store->pdate));
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
  };
  std::vector<std::string> names{""};
  std::vector<std::int64_t> sizes{0};
  for (const auto& [name, size] : scan) {
    names.push_back(name);
    sizes.push_back(size);
  }
  store->SaveDirs(names, sizes, static_cast<int>(std::size(scan)), exabyte + 930);
  EXPECT_EQ(Rows("select DirParent, Dir, Brontal from Dirs"),
            (std::vector<std::string>{
                "R\\SERVER1\\D:|Data|" + std::to_string(exabyte),
                "R\\server1\\/home|alice|30",
                "R\\server1\\C:\\WINNT|system32|400",
                "R\\server1\\C:\\WINNT|" + wide_254 + "|7",
                "R\\server1\\C:|.|10",
                "R\\server1\\C:|WINNT|500",
                "R\\server1|C:|900",
                "R|server1|" + std::to_string(exabyte + 930),
            }));
  // "  " has the parent R\server1 again, after other parents: written a second time.
  EXPECT_EQ(
      Rows("select DirParent from Parents"),
      (std::vector<std::string>{"R\\SERVER1\\D:", "R\\server1", "R\\server1", "R\\server1\\/home",
                                "R\\server1\\C:", "R\\server1\\C:\\WINNT"}));
  EXPECT_EQ(Rows("select distinct pdate from Dirs union select distinct pdate from Parents"),
            std::vector<std::string>{"2026-03-09 02:00:00"});
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(SizeStoreTest, SaveFreeStoresDrivesUnderTheNode) {
  auto store = Store();
  store->SaveFree({"", "/", "/home", std::string(255, 'm')}, {0, 5, 6, 7}, {0, 50, 60, 70}, 3);
  EXPECT_EQ(Rows("select DiskParent, Disk, DiskFree, DiskSize, pdate from Disks"),
            (std::vector<std::string>{"R\\server1|/home|6|60|2026-03-09 02:00:00",
                                      "R\\server1|/|5|50|2026-03-09 02:00:00"}));
}

TEST_F(SizeStoreTest, AddPeriodStoredAlreadyIsQuiet) {
  db::Schema unique_periods = BrontalSchema();
  for (auto& index : unique_periods.indexes) index.unique |= index.table == "Periods";
  std::filesystem::remove(path_);
  engine_->CreateDatabase(path_, unique_periods)->Close();
  auto store = Store();
  store->AddPeriod(store->pdate);
  EXPECT_NO_THROW(store->AddPeriod(store->pdate));
  EXPECT_EQ(Rows("select pdate from Periods"), std::vector<std::string>{"2026-03-09 02:00:00"});
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
