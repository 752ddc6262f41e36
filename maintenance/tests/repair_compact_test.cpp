// RepairAndCompact on real database files: what a successful swap leaves, that the database is
// whole and locked at every step of the swap, that every failure leaves the database exactly
// as it was (or, when nothing else is possible, says so as the severe error), and that the
// compacted database keeps the owner and permissions that let the other accounts write it.
#include "maintenance/repair_compact.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "maintenance/tests/maintenance_testing.h"
#include "platform/testing/fake_file_operations.h"
#include "platform/db/file_lock.h"
#include "platform/linux_file_operations.h"
#include "platform/testing/file_access.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using Call = FakeFileOperations::Call;
using Lines = std::vector<std::string>;
using testing::ModeOf;
using testing::ReadWholeFile;

class RecordingReporter : public RepairReporter {
 public:
  void Begin() override { lines.push_back("<begin>"); }
  void Progress(std::string_view message) override { lines.emplace_back(message); }
  void Problem(Gravity gravity, std::string_view message) override {
    lines.emplace_back(message);
    gravities.push_back(gravity);
  }
  void End(RepairOutcome) override { lines.push_back("<end>"); }

  Lines lines;
  std::vector<Gravity> gravities;
};

// Rows of Dirs read without the database layer; -1 when there is no file or it fails SQLite's
// own check.
std::int64_t RawDirsCount(const std::string& path) {
  if (!fs::exists(path)) return -1;
  sqlite3* handle = nullptr;
  std::int64_t count = -1;
  if (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(handle,
                       "select (select count(*) from Dirs), "
                       "(select quick_check from pragma_quick_check)",
                       -1, &statement, nullptr);
    if (statement && sqlite3_step(statement) == SQLITE_ROW) {
      const unsigned char* check = sqlite3_column_text(statement, 1);
      if (check && std::string(reinterpret_cast<const char*>(check)) == "ok") {
        count = sqlite3_column_int64(statement, 0);
      }
    }
    sqlite3_finalize(statement);
  }
  sqlite3_close(handle);
  return count;
}

class RepairCompactTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeDatabase(path_);
    original_ = ReadWholeFile(path_);
    rows_ = RawDirsCount(path_);
    ASSERT_GT(rows_, 0);
  }

  void MakeDatabase(const std::string& path) {
    CreateBrontalDatabase(*engine_, path, 3);
    auto database = Workspace().OpenDatabase(path);
    Workspace().BeginTrans();
    for (int day = 0; day < 300; ++day) {
      testing::AddScan(*database, DateTime::FromCivil(2026, 1, 1, 2) + day);
    }
    Workspace().CommitTrans();
    // Free pages for the compaction to give back.
    database->Execute("delete * from dirs where pdate < #6/1/26#");
  }

  db::Workspace& Workspace() { return engine_->DefaultWorkspace(); }

  RepairOutcome Run(const std::string& path) {
    return RepairAndCompact(path, Workspace(), files_, reporter_);
  }
  RepairOutcome Run() { return Run(path_); }

  // The reports of a run that got as far as the final rename.
  Lines ProgressUpToTheSwap() const {
    return {"<begin>",
            "Beginning repair (if necessary)...",
            "Compacting database...",
            "Deleting old old one...(" + backup_ + ")",
            "Renaming " + path_ + " to " + backup_,
            "Renaming newly compacted" + copy_ + " to " + path_};
  }

  // What a second program of the suite gets when it opens the database now; 0 when it can.
  int OpenByAnotherProgram() {
    try {
      other_engine_->DefaultWorkspace().OpenDatabase(path_)->Close();
      return 0;
    } catch (const db::DbError& error) {
      return error.Number();
    }
  }

  // The database as SetUp left it, with nothing beside it.
  void PutTheDatabaseBack() {
    fs::remove(copy_);
    fs::remove(backup_);
    std::ofstream(path_, std::ios::binary | std::ios::trunc) << original_;
  }

  void ExpectDatabaseAsItWas() {
    EXPECT_TRUE(ReadWholeFile(path_) == original_) << "the database changed";
    EXPECT_EQ(OpenByAnotherProgram(), 0) << "the lock was not given up";
  }

  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine();
  std::unique_ptr<db::Engine> other_engine_ = db::MakeSqliteEngine();
  testing::TempFolder folder_;
  std::string path_ = folder_ / "brontal.mdb";
  std::string copy_ = folder_ / "brontal.md1";
  std::string backup_ = folder_ / "brontal.md2";
  std::string original_;
  std::int64_t rows_ = 0;
  FakeFileOperations files_;
  RecordingReporter reporter_;
};

TEST(CompactionNamesTest, ReplaceTheLastCharacterWhateverItIs) {
  EXPECT_EQ(CompactionNamesOf("/srv/brontal.mdb").copy, "/srv/brontal.md1");
  EXPECT_EQ(CompactionNamesOf("/srv/brontal.mdb").backup, "/srv/brontal.md2");
  EXPECT_EQ(CompactionNamesOf("sizes.sqlite").copy, "sizes.sqlit1");
  EXPECT_EQ(CompactionNamesOf("x").backup, "2");
  EXPECT_EQ(CompactionNamesOf("").copy, "");
}

TEST_F(RepairCompactTest, SwapsInTheCompactedCopyAndKeepsTheFileAsItWasAsBackup) {
  EXPECT_EQ(Run(), RepairOutcome::kCompacted);
  Lines expected = ProgressUpToTheSwap();
  expected.push_back("<end>");
  EXPECT_EQ(reporter_.lines, expected);
  EXPECT_EQ(files_.Calls(),
            (Lines{"delete " + copy_, "copy-owner " + path_ + " " + copy_,
                   "copy-mode " + path_ + " " + copy_, "delete " + backup_,
                   "link " + path_ + " " + backup_, "rename-over " + copy_ + " " + path_,
                   "flush " + folder_.path().string()}));
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
  EXPECT_FALSE(fs::exists(copy_));
  EXPECT_FALSE(fs::equivalent(path_, backup_));
  EXPECT_LT(fs::file_size(path_), original_.size());
  EXPECT_EQ(RawDirsCount(path_), rows_);
  EXPECT_EQ(OpenByAnotherProgram(), 0);

  // The next run deletes the backup of this one first.
  EXPECT_EQ(Run(), RepairOutcome::kCompacted);
  EXPECT_EQ(RawDirsCount(backup_), rows_);
}

TEST_F(RepairCompactTest, TheDatabaseIsWholeAndLockedAtEveryStepOfTheSwap) {
  for (bool hard_links : {true, false}) {
    SCOPED_TRACE(hard_links ? "with hard links" : "without hard links");
    FakeFileOperations files;
    if (!hard_links) files.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
    Lines seen;
    files.BeforeEachCall([&](const std::string& call) {
      // Where there are no hard links, the path is empty between the two renames; nothing
      // else may ever show there but the whole old file or the whole copy.
      std::int64_t rows = RawDirsCount(path_);
      int other = OpenByAnotherProgram();
      seen.push_back(call + ": " + std::to_string(rows) + " rows, open " + std::to_string(other));
    });
    ASSERT_EQ(RepairAndCompact(path_, Workspace(), files, reporter_), RepairOutcome::kCompacted);
    const std::string held = std::to_string(rows_) + " rows, open " + std::to_string(db::kInUse);
    Lines expected = {
        "delete " + copy_ + ": " + held, "copy-owner " + path_ + " " + copy_ + ": " + held,
        "copy-mode " + path_ + " " + copy_ + ": " + held, "delete " + backup_ + ": " + held,
        "link " + path_ + " " + backup_ + ": " + held};
    if (hard_links) {
      expected.push_back("rename-over " + copy_ + " " + path_ + ": " + held);
    } else {
      expected.push_back("rename " + path_ + " " + backup_ + ": " + held);
      expected.push_back("rename-over " + copy_ + " " + path_ + ": -1 rows, open " +
                         std::to_string(db::kFileNotFound));
    }
    expected.push_back("flush " + folder_.path().string() + ": " + held);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(RawDirsCount(path_), rows_);
    EXPECT_EQ(RawDirsCount(backup_), rows_);
    EXPECT_EQ(OpenByAnotherProgram(), 0);
  }
}

TEST_F(RepairCompactTest, EveryFailingStepLeavesTheCompactedDatabaseOrTheOneAsItWas) {
  // What each step's failure ends in: a failed deletion is no reason to stop (what is left makes
  // a later step fail), the copy's owner and mode are part of making it, and the flush comes
  // after the swap.
  const std::map<std::string, RepairOutcome> outcome_of = {
      {"delete", RepairOutcome::kCompacted},
      {"copy-owner", RepairOutcome::kCompactionFailed},
      {"copy-mode", RepairOutcome::kCompactionFailed},
      {"link", RepairOutcome::kNotReplaced},
      {"rename", RepairOutcome::kNotReplaced},
      {"rename-over", RepairOutcome::kNotReplaced},
      {"flush", RepairOutcome::kCompacted}};
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  for (bool hard_links : {true, false}) {
    int steps = 0;
    for (int nth = 1;; ++nth) {
      SCOPED_TRACE((hard_links ? "with hard links, step " : "without hard links, step ") +
                   std::to_string(nth));
      PutTheDatabaseBack();
      FakeFileOperations files;
      if (!hard_links) files.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
      files.FailCall(nth, kFsDeviceIo, "Device I/O error");
      RecordingReporter reporter;
      const RepairOutcome outcome = RepairAndCompact(path_, Workspace(), files, reporter);
      if (files.Calls().size() < static_cast<std::size_t>(nth)) break;  // nothing failed
      ++steps;
      const std::string& failed = files.Calls()[nth - 1];
      SCOPED_TRACE(failed);
      ASSERT_EQ(outcome, outcome_of.at(failed.substr(0, failed.find(' '))));
      if (outcome == RepairOutcome::kCompacted) {
        EXPECT_EQ(RawDirsCount(path_), rows_);
        EXPECT_LT(fs::file_size(path_), original_.size());
        EXPECT_EQ(ModeOf(path_), 0660);
        EXPECT_TRUE(ReadWholeFile(backup_) == original_);
        EXPECT_EQ(OpenByAnotherProgram(), 0);
        EXPECT_EQ(reporter.gravities.size(), failed.starts_with("flush") ? 1u : 0u);
      } else {
        ExpectDatabaseAsItWas();
        EXPECT_EQ(ModeOf(path_), 0660);
        EXPECT_EQ(reporter.gravities, std::vector<Gravity>{Gravity::kWarning});
        EXPECT_FALSE(fs::exists(backup_));
        EXPECT_EQ(fs::exists(copy_), outcome == RepairOutcome::kNotReplaced);
      }
    }
    EXPECT_EQ(steps, hard_links ? 7 : 8);
  }
}

TEST_F(RepairCompactTest, TheCompactedDatabaseKeepsThePermissionBitsWhateverTheUmask) {
  testing::ScopedUmask strict(077);  // SQLite's copy would be 0600
  for (int mode : {0660, 0664, 0640, 0604}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(::chmod(path_.c_str(), mode), 0);
    RecordingReporter reporter;
    EXPECT_EQ(RepairAndCompact(path_, Workspace(), files_, reporter), RepairOutcome::kCompacted);
    EXPECT_TRUE(reporter.gravities.empty());
    EXPECT_EQ(ModeOf(path_), mode);
    EXPECT_EQ(ModeOf(backup_), mode);
    EXPECT_EQ(RawDirsCount(path_), rows_);
  }
}

TEST_F(RepairCompactTest, RunAsRootTheCompactedDatabaseKeepsItsOwnerAndGroup) {
  if (!testing::RunningAsRoot()) {
    GTEST_SKIP() << "needs root, to give the database to another account";
  }
  ASSERT_EQ(::chown(path_.c_str(), 1234, 2345), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  testing::ScopedUmask usual(022);
  EXPECT_EQ(Run(), RepairOutcome::kCompacted);
  EXPECT_TRUE(reporter_.gravities.empty());
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0660u);
  EXPECT_EQ(info.st_uid, 1234u);
  EXPECT_EQ(info.st_gid, 2345u);
  EXPECT_EQ(RawDirsCount(path_), rows_);
}

TEST_F(RepairCompactTest, AnOwnerThatCannotBeKeptIsAWarningOnceTheCopyIsInPlace) {
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  const std::string denied =
      "Permission denied: could not give '" + copy_ + "' the owner 1234:2345 of '" + path_ + "'";
  files_.FailOn(Call::kCopyOwner, copy_, kFsPermissionDenied, denied);
  EXPECT_EQ(Run(), RepairOutcome::kCompacted);
  Lines expected = ProgressUpToTheSwap();
  expected.push_back("Warning only: \"" + denied + "\" keeping the owner of " + path_);
  expected.push_back("<end>");
  EXPECT_EQ(reporter_.lines, expected);
  EXPECT_EQ(reporter_.gravities, std::vector<Gravity>{Gravity::kWarning});
  EXPECT_EQ(ModeOf(path_), 0660);  // the mode is kept all the same
  EXPECT_EQ(RawDirsCount(path_), rows_);
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
}

TEST_F(RepairCompactTest, AnotherAccountCompactingKeepsTheGroupAndSaysTheOwnerIsLost) {
  if (!testing::RunningAsRoot()) {
    GTEST_SKIP() << "needs root, to own the database by another account than the one compacting";
  }
  // Account 1234 owns the database; 1235, of the same group, compacts it from the viewer.
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0777), 0);
  ASSERT_EQ(::chown(path_.c_str(), 1234, 2345), 0);
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  fs::remove(db::FileLock::LockPathFor(path_));  // made by root in SetUp, before the chown
  testing::AccountRun viewer = testing::RunAsAccount(1235, 2345, [&](std::string& out) {
    auto engine = db::MakeSqliteEngine();
    LinuxFileOperations files;
    RecordingReporter reporter;
    RepairOutcome outcome = RepairAndCompact(path_, engine->DefaultWorkspace(), files, reporter);
    for (const std::string& line : reporter.lines) out += line + "\n";
    return static_cast<int>(outcome);
  });
  ASSERT_EQ(viewer.status, static_cast<int>(RepairOutcome::kCompacted)) << viewer.out;
  std::string expected;
  for (const std::string& line : ProgressUpToTheSwap()) expected += line + "\n";
  expected += "Warning only: \"Permission denied: could not give '" + copy_ +
              "' the owner 1234:2345 of '" + path_ + "'\" keeping the owner of " + path_ +
              "\n<end>\n";
  EXPECT_EQ(viewer.out, expected);
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0660u);
  EXPECT_EQ(info.st_uid, 1235u);
  EXPECT_EQ(info.st_gid, 2345u);  // so the owner, of the group, can still write it
  EXPECT_EQ(RawDirsCount(path_), rows_);
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
}

TEST_F(RepairCompactTest, AnotherProgramHoldingTheDatabaseStopsItWithAWarning) {
  testing::OtherProgram viewer(path_);
  ASSERT_TRUE(viewer.opened());
  EXPECT_EQ(Run(), RepairOutcome::kCompactionFailed);
  EXPECT_EQ(reporter_.lines,
            (Lines{"<begin>", "Beginning repair (if necessary)...", "Compacting database...",
                   "Warning only: \"Could not use '" + path_ +
                       "'; file already in use.\" compacting database",
                   "<end>"}));
  EXPECT_EQ(reporter_.gravities, std::vector<Gravity>{Gravity::kWarning});
  EXPECT_TRUE(files_.Calls().empty());
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
  EXPECT_FALSE(fs::exists(copy_));
  EXPECT_FALSE(fs::exists(backup_));
}

TEST_F(RepairCompactTest, ACopyThatCannotTakeTheDatabasesAccessIsNeverSwappedIn) {
  const std::pair<Call, int> faults[] = {{Call::kCopyOwner, kFsDeviceIo},
                                         {Call::kCopyMode, kFsPermissionDenied}};
  ASSERT_EQ(::chmod(path_.c_str(), 0660), 0);
  for (const auto& [call, number] : faults) {
    SCOPED_TRACE(number);
    FakeFileOperations files;
    files.FailOn(call, copy_, number, "could not");
    RecordingReporter reporter;
    EXPECT_EQ(RepairAndCompact(path_, Workspace(), files, reporter),
              RepairOutcome::kCompactionFailed);
    EXPECT_EQ(reporter.lines,
              (Lines{"<begin>", "Beginning repair (if necessary)...", "Compacting database...",
                     "Warning only: \"could not\" compacting database", "<end>"}));
    ExpectDatabaseAsItWas();
    EXPECT_EQ(ModeOf(path_), 0660);
    EXPECT_EQ(files.Calls().back(), "delete " + copy_);
    EXPECT_FALSE(fs::exists(copy_));
    EXPECT_FALSE(fs::exists(backup_));
  }
}

TEST_F(RepairCompactTest, ABackupThatCannotBeDeletedLeavesTheDatabaseUncompacted) {
  for (bool hard_links : {true, false}) {
    SCOPED_TRACE(hard_links ? "with hard links" : "without hard links");
    FakeFileOperations files;
    if (!hard_links) files.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
    fs::create_directories(fs::path(backup_) / "kept");  // no file operation removes it
    RecordingReporter reporter;
    EXPECT_EQ(RepairAndCompact(path_, Workspace(), files, reporter), RepairOutcome::kNotReplaced);
    ASSERT_EQ(reporter.lines.size(), 7u);
    EXPECT_EQ(reporter.lines[5], "Warning only: \"File already exists: could not " +
                                     std::string(hard_links ? "link '" : "rename '") + path_ +
                                     (hard_links ? "' as '" : "' to '") + backup_ +
                                     "'\" renaming " + path_ + " to " + backup_);
    ExpectDatabaseAsItWas();
    EXPECT_EQ(RawDirsCount(copy_), rows_);  // the copy stays beside it
    fs::remove_all(backup_);
  }
  // A later run takes the copy left behind for the leftover it is.
  EXPECT_EQ(Run(), RepairOutcome::kCompacted);
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
}

TEST_F(RepairCompactTest, ACopyThatCannotBeWrittenLeavesTheDatabaseAsItWas) {
  fs::create_directories(fs::path(copy_) / "kept");
  EXPECT_EQ(Run(), RepairOutcome::kCompactionFailed);
  EXPECT_EQ(reporter_.lines.at(3),
            "Warning only: \"Database '" + copy_ + "' already exists.\" compacting database");
  ExpectDatabaseAsItWas();
  EXPECT_FALSE(fs::exists(backup_));
}

TEST_F(RepairCompactTest, AFailedFinalRenameLeavesTheDatabaseInPlace) {
  for (bool hard_links : {true, false}) {
    SCOPED_TRACE(hard_links ? "with hard links" : "without hard links");
    FakeFileOperations files;
    if (!hard_links) files.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
    files.FailOn(Call::kRenameOver, path_, kFsPermissionDenied, "Permission denied");
    RecordingReporter reporter;
    EXPECT_EQ(RepairAndCompact(path_, Workspace(), files, reporter), RepairOutcome::kNotReplaced);
    Lines expected = ProgressUpToTheSwap();
    expected.push_back("Warning only: \"Permission denied\" renaming compacted database " + copy_ +
                       " to " + path_);
    expected.push_back("<end>");
    EXPECT_EQ(reporter.lines, expected);
    ExpectDatabaseAsItWas();
    EXPECT_FALSE(fs::exists(backup_));  // no second name of the live file posing as a backup
    EXPECT_EQ(RawDirsCount(copy_), rows_);
    fs::remove(copy_);
  }
}

TEST_F(RepairCompactTest, WhenNothingPutsTheDatabaseBackTheSevereErrorSaysSo) {
  files_.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
  files_.FailOn(Call::kRenameOver, path_, kFsDeviceIo, "Device I/O error");
  files_.FailOn(Call::kRename, path_, kFsDeviceIo, "Device I/O error");
  EXPECT_EQ(Run(), RepairOutcome::kDatabaseMissing);
  EXPECT_EQ(reporter_.lines.at(6),
            "Severe error: \"Device I/O error\" renaming compacted database " + copy_ + " to " +
                path_ + ".  Please try to do this manually.");
  EXPECT_EQ(reporter_.gravities, std::vector<Gravity>{Gravity::kSevere});
  EXPECT_FALSE(fs::exists(path_));
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
  EXPECT_EQ(RawDirsCount(copy_), rows_);
}

TEST_F(RepairCompactTest, FailingToKeepTheBackupOrToFlushIsAWarning) {
  files_.FailOn(Call::kHardLink, backup_, kFsPermissionDenied, "Permission denied");
  EXPECT_EQ(Run(), RepairOutcome::kNotReplaced);
  EXPECT_EQ(reporter_.lines.at(5),
            "Warning only: \"Permission denied\" renaming " + path_ + " to " + backup_);
  ExpectDatabaseAsItWas();

  FakeFileOperations files;
  files.FailOn(Call::kFlushFolder, "", kFsDeviceIo, "Device I/O error");
  RecordingReporter reporter;
  EXPECT_EQ(RepairAndCompact(path_, Workspace(), files, reporter), RepairOutcome::kCompacted);
  EXPECT_EQ(reporter.lines.at(6),
            "Warning only: \"Device I/O error\" flushing folder " + folder_.path().string());
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);
}

TEST_F(RepairCompactTest, NamesFollowTheLastCharacterAndNeverTakeTheDatabasesOwn) {
  const std::string db = folder_ / "sizes.db";
  MakeDatabase(db);
  EXPECT_EQ(Run(db), RepairOutcome::kCompacted);
  EXPECT_TRUE(fs::exists(folder_ / "sizes.d2"));
  EXPECT_FALSE(fs::exists(folder_ / "sizes.d1"));

  // Its "backup" would be the database itself, and deleting it would lose everything.
  for (const char* name : {"old.md2", "old.md1"}) {
    const std::string own = folder_ / name;
    MakeDatabase(own);
    const std::string before = ReadWholeFile(own);
    RecordingReporter reporter;
    EXPECT_EQ(RepairAndCompact(own, Workspace(), files_, reporter),
              RepairOutcome::kCompactionFailed);
    EXPECT_EQ(reporter.lines.at(3), "Warning only: \"The database name '" + own +
                                        "' ends in 1 or 2, which its copy and backup take\" "
                                        "compacting database");
    EXPECT_TRUE(ReadWholeFile(own) == before);
  }
}

TEST_F(RepairCompactTest, ADamagedDatabaseIsNeverCompacted) {
  {
    // The root pages of the tables, which no index can rebuild.
    int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string garbage(8192, '\x5a');
    ASSERT_EQ(::pwrite(fd, garbage.data(), garbage.size(), 4096), 8192);
    ::close(fd);
  }
  EXPECT_EQ(Run(), RepairOutcome::kRepairFailed);
  ASSERT_EQ(reporter_.lines.size(), 4u);
  EXPECT_TRUE(reporter_.lines[2].starts_with("Error: \"The database '" + path_ + "' is damaged: "))
      << reporter_.lines[2];
  EXPECT_TRUE(reporter_.lines[2].ends_with("\" repairing database")) << reporter_.lines[2];
  EXPECT_EQ(reporter_.gravities, std::vector<Gravity>{Gravity::kError});
  EXPECT_TRUE(files_.Calls().empty());
  EXPECT_FALSE(fs::exists(copy_));

  RecordingReporter missing;
  EXPECT_EQ(RepairAndCompact(folder_ / "none.mdb", Workspace(), files_, missing),
            RepairOutcome::kRepairFailed);
  EXPECT_EQ(missing.lines.at(2),
            "Error: \"Could not find file '" + (folder_ / "none.mdb") + "'.\" repairing database");
}

// The viewer's reporting of the same routine.
class PointerCheckingMessageBox : public MessageBox {
 public:
  explicit PointerCheckingMessageBox(const RecordingBusyPointer& pointer) : pointer_(pointer) {}
  void Show(std::string_view text, std::string_view title) override {
    Show(text, title, MessageIcon::kNone);
  }
  void Show(std::string_view text, std::string_view title, MessageIcon icon) override {
    shown.push_back(std::string(title) + "|" + std::string(text) +
                    (icon == MessageIcon::kCritical ? "|critical" : "") +
                    (pointer_.busy ? "|under the busy pointer" : ""));
  }
  Lines shown;

 private:
  const RecordingBusyPointer& pointer_;
};

TEST_F(RepairCompactTest, TheViewerGetsTheSameTextsInMessageBoxes) {
  RecordingBusyPointer pointer;
  PointerCheckingMessageBox boxes(pointer);
  MessageBoxRepairReporter reporter(boxes, pointer);
  EXPECT_EQ(RepairAndCompact(path_, Workspace(), files_, reporter), RepairOutcome::kCompacted);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_EQ(pointer.changes, (Lines{"show", "restore"}));

  {
    testing::OtherProgram viewer(path_);
    ASSERT_TRUE(viewer.opened());
    EXPECT_EQ(RepairAndCompact(path_, Workspace(), files_, reporter),
              RepairOutcome::kCompactionFailed);
  }
  files_.FailOn(Call::kHardLink, "", kFsNotSupported, "no hard links");
  files_.FailOn(Call::kRenameOver, path_, kFsDeviceIo, "Device I/O error");
  files_.FailOn(Call::kRename, path_, kFsDeviceIo, "Device I/O error");
  EXPECT_EQ(RepairAndCompact(path_, Workspace(), files_, reporter),
            RepairOutcome::kDatabaseMissing);
  EXPECT_EQ(boxes.shown,
            (Lines{"Brontal|Warning only: \"Could not use '" + path_ +
                       "'; file already in use.\" compacting database",
                   "Brontal|Severe error: \"Device I/O error\" renaming compacted database " +
                       copy_ + " to " + path_ + ".  Please try to do this manually.|critical"}));
  EXPECT_FALSE(pointer.busy);
}

}  // namespace
}  // namespace brontal
