// brontald's runs: the whole log of a run, every way a run ends and its exit status, what each
// leaves of the database, and the real program run the way a scheduler runs it.
#include "maintenance/maintenance_run.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "maintenance/repair_compact.h"
#include "maintenance/tests/maintenance_testing.h"
#include "maintenance/usage.h"
#include "platform/db/program_engine.h"
#include "platform/testing/fake_file_operations.h"
#include "platform/testing/test_database.h"
#include "platform/fixed_locale.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;
using testing::ReadWholeFile;

const DateTime kNow = DateTime::FromCivil(2026, 12, 1, 14, 0, 30);

// One scan a day at 02:00 for 800 days up to `today`.
void AddDailyScans(db::Engine& engine, const std::string& path, DateTime today) {
  auto& workspace = engine.DefaultWorkspace();
  auto database = workspace.OpenDatabase(path);
  workspace.BeginTrans();
  for (int day = 0; day < 800; ++day) {
    testing::AddScan(*database, today.DateOnly() - static_cast<double>(day) + 2 / 24.0);
  }
  workspace.CommitTrans();
}

class MaintenanceRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, path_, 3);
    AddDailyScans(*engine_, path_, kNow);
    std::ofstream(folder_ / "dbloc.txt") << path_ << "\r\n";
    original_ = ReadWholeFile(path_);
  }

  int Run(std::string_view command_line) {
    MaintenanceServices services{
        *engine_, files_, clock_, locale_, folder_.path().string(), [this](int milliseconds) {
          pauses_.push_back(milliseconds);
        }};
    return RunMaintenance(command_line, services);
  }

  Lines Log() { return testing::LogMessages(folder_ / "brontald.log", locale_.GeneralDate(kNow)); }

  std::size_t Periods(const std::string& path) {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path);
    return testing::PeriodsIn(*database, "Periods").size();
  }

  static Lines Statements(const std::string& condition) {
    Lines lines;
    for (const char* table : {"periods", "dirs", "parents", "disks"}) {
      lines.push_back(std::string("delete * from ") + table + " " + condition);
    }
    return lines;
  }

  // The log lines of a run up to the repair and compaction.
  Lines Start(const std::string& normalized, const std::string& parameters) {
    return {"Parsing command line: ",
            normalized,
            parameters,
            "Getting database path",
            "Repairing (if necessary) and Compacting Database...",
            "Beginning repair (if necessary)...",
            "Compacting database..."};
  }

  FixedClock clock_{kNow};
  FixedLocale locale_;
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine({.clock = &clock_});
  FakeFileOperations files_;
  testing::TempFolder folder_;
  std::string path_ = folder_ / "brontal.mdb";
  std::string backup_ = folder_ / "brontal.md2";
  std::string original_;
  std::vector<int> pauses_;
};

TEST_F(MaintenanceRunTest, ARunCompactsThenPurgesAndLogsEveryStep) {
  EXPECT_EQ(Run("  1   6  12 730 "), kMaintenanceDone);
  Lines expected = Start("1 6 12 730 ", "dow: 1, weeks: 6, months: 12, days: 730");
  for (const std::string& line :
       {"Deleting old old one...(" + backup_ + ")", "Renaming " + path_ + " to " + backup_,
        "Renaming newly compacted" + (folder_ / "brontal.md1") + " to " + path_,
        std::string("Sleeping for a second..."), std::string("Opening database"),
        std::string("Purging everything prior to 730 days ago...")}) {
    expected.push_back(line);
  }
  auto append = [&](const Lines& lines) {
    expected.insert(expected.end(), lines.begin(), lines.end());
  };
  append(Statements("where pdate < #12/1/24 14:00#"));
  expected.push_back("Purging weekly (keep 1st of month) prior to 12 months ago...");
  append(Statements("where pdate < #11/24/25 14:00# and day(pdate)<>1"));
  expected.push_back("Purging daily (keep day 1) prior to 6 weeks ago...");
  append(Statements("where pdate < #10/20/26 14:00# and weekday(pdate,2)<>1 and day(pdate)<>1"));
  expected.push_back("Closing database");
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(pauses_, std::vector<int>{1000});

  // 42 days; 47 Mondays and 9 other 1sts up to 372 days back; 11 1sts beyond, 1 Dec 2024
  // 02:00 lying before the 14:00 cut-off.
  EXPECT_EQ(Periods(path_), 42u + 47 + 9 + 11);
  EXPECT_TRUE(ReadWholeFile(backup_) == original_);  // compacted before the purge
  EXPECT_EQ(Periods(backup_), 800u);
}

TEST_F(MaintenanceRunTest, AZeroParameterIsRefusedAndNothingIsTouched) {
  EXPECT_EQ(Run("0 6 12 730"), kMaintenanceRefused);
  EXPECT_EQ(Log(), (Lines{"Parsing command line: ", "0 6 12 730 ",
                          "BrontalD does not accept 0 value parameters"}));
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
  EXPECT_TRUE(files_.Calls().empty());
  EXPECT_TRUE(pauses_.empty());
}

TEST_F(MaintenanceRunTest, ACommandLineThatGivesNoFourNumbersAborts) {
  struct Case {
    const char* command_line;
    Lines log;
  };
  const Case cases[] = {
      {"1 6 12",
       {"Parsing command line: ", "1 6 12 ",
        "Aborting due to error 5: Invalid procedure call or argument: four numbers are needed"}},
      {"1 six 12 730",
       {"Parsing command line: ", "1 six 12 730 ",
        "Aborting due to error 13: Type mismatch: 'six'"}},
      {"1 6 12 -730",
       {"Parsing command line: ", "1 6 12 -730 ", "dow: 1, weeks: 6, months: 12, days: -730",
        "Aborting due to error 5: Invalid procedure call or argument: days -730 is not 1 to "
        "18000"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.command_line), kMaintenanceAborted) << c.command_line;
    EXPECT_EQ(Log(), c.log);
  }
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
  EXPECT_TRUE(files_.Calls().empty());
}

TEST_F(MaintenanceRunTest, WithoutDblocTheRunEndsBeforeTheDatabase) {
  fs::remove(folder_ / "dbloc.txt");
  EXPECT_EQ(Run("1 6 12 730"), kMaintenanceNoDatabase);
  EXPECT_EQ(Log().back(), "Couldn't establish database path - check for dbloc.txt");
  EXPECT_EQ(Log().size(), 5u);
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
}

TEST_F(MaintenanceRunTest, ADatabaseInUseIsLeftExactlyAsItWas) {
  testing::OtherProgram viewer(path_);
  ASSERT_TRUE(viewer.opened());
  EXPECT_EQ(Run("1 6 12 730"), kMaintenanceAborted);
  Lines expected = Start("1 6 12 730 ", "dow: 1, weeks: 6, months: 12, days: 730");
  const std::string in_use = "Could not use '" + path_ + "'; file already in use.";
  expected.push_back("Warning only: \"" + in_use + "\" compacting database");
  expected.push_back("Sleeping for a second...");
  expected.push_back("Opening database");
  expected.push_back("Aborting due to error 3045: " + in_use);
  EXPECT_EQ(Log(), expected);
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
  EXPECT_FALSE(fs::exists(backup_));
}

TEST_F(MaintenanceRunTest, AFailedCompactionStepStillPurgesButSaysSoInTheStatus) {
  files_.FailOn(FakeFileOperations::Call::kRenameOver, path_, kFsPermissionDenied,
                "Permission denied");
  EXPECT_EQ(Run("1 6 12 730"), kMaintenanceNotCompacted);
  Lines log = Log();
  EXPECT_NE(std::find(log.begin(), log.end(),
                      "Warning only: \"Permission denied\" renaming compacted database " +
                          (folder_ / "brontal.md1") + " to " + path_),
            log.end());
  EXPECT_EQ(log.back(), "Closing database");
  EXPECT_EQ(Periods(path_), 109u);
}

TEST_F(MaintenanceRunTest, ADamagedDatabaseIsNotCompactedAndItsPurgeAborts) {
  {
    int fd = ::open(path_.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    std::string garbage(8192, '\x5a');
    ASSERT_EQ(::pwrite(fd, garbage.data(), garbage.size(), 4096), 8192);
    ::close(fd);
  }
  EXPECT_EQ(Run("1 6 12 730"), kMaintenanceAborted);
  Lines log = Log();
  ASSERT_GE(log.size(), 7u);
  EXPECT_TRUE(log[6].starts_with("Error: \"The database '" + path_ + "' is damaged: ")) << log[6];
  EXPECT_EQ(log[7], "Sleeping for a second...");
  EXPECT_TRUE(log.back().starts_with("Aborting due to error 3049: ")) << log.back();
  EXPECT_TRUE(files_.Calls().empty());
}

TEST_F(MaintenanceRunTest, AFailingDeleteAbortsWithItsPurgeRolledBack) {
  // A database without Disks: the fourth delete of the first purge fails.
  const std::string path = folder_ / "nodisks.mdb";
  db::Schema schema = BrontalSchema();
  std::erase_if(schema.tables, [](const db::TableDef& t) { return t.name == "Disks"; });
  std::erase_if(schema.indexes, [](const db::IndexDef& i) { return i.table == "Disks"; });
  engine_->CreateDatabase(path, schema)->Close();
  {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path);
    auto periods = database->OpenRecordset("Periods", db::RecordsetType::kTable);
    for (int day : {0, 1000}) {
      periods->AddNew();
      periods->SetField("pdate", kNow.DateOnly() - static_cast<double>(day));
      periods->Update();
    }
  }
  std::ofstream(folder_ / "dbloc.txt") << path << "\r\n";
  EXPECT_EQ(Run("1 6 12 730"), kMaintenanceAborted);
  Lines log = Log();
  EXPECT_EQ(log[log.size() - 2], "delete * from disks where pdate < #12/1/24 14:00#");
  EXPECT_TRUE(log.back().starts_with("Aborting due to error ")) << log.back();
  EXPECT_EQ(Periods(path), 2u);  // the periods delete before it undone with it
}

TEST_F(MaintenanceRunTest, ALogThatCannotBeCreatedEndsTheRunAtOnce) {
  MaintenanceServices services{*engine_, files_, clock_, locale_, folder_ / "none", [](int) {}};
  EXPECT_EQ(RunMaintenance("1 6 12 730", services), kMaintenanceNoLog);
  EXPECT_TRUE(ReadWholeFile(path_) == original_);
}

// The real program, copied into a folder of its own with its dbloc.txt.
class MaintenanceProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(bin_);
    fs::copy_file(std::string(BRONTAL_BIN_DIR) + "/brontald", bin_ / "brontald");
    CreateBrontalDatabase(*engine_, path_, 3);
    AddDailyScans(*engine_, path_, today_);
    std::ofstream(bin_ / "dbloc.txt") << path_ << "\r\n";
  }

  // Runs brontald with `arguments` and no display; returns its exit status and keeps what it
  // wrote to standard output.
  int RunProgram(std::vector<std::string> arguments) {
    int out[2];
    if (::pipe(out) != 0) return -1;
    pid_t pid = ::fork();
    if (pid == 0) {
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      ::close(out[1]);
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      std::string program = (bin_ / "brontald").string();
      std::vector<char*> argv = {program.data()};
      for (std::string& argument : arguments) argv.push_back(argument.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    output_.clear();
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) output_.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::string LogText() { return ReadWholeFile(bin_ / "brontald.log"); }

  testing::TempFolder temp_;
  fs::path bin_ = temp_.path() / "bin";
  std::string path_ = temp_ / "brontal.mdb";
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine();
  DateTime today_ = SystemClock().Now();
  std::string output_;
};

TEST_F(MaintenanceProgramTest, PurgesAndCompactsARealDatabase) {
  ASSERT_EQ(RunProgram({"1", "6", "12", "730"}), kMaintenanceDone) << LogText();
  EXPECT_TRUE(LogText().ends_with("Closing database\r\n")) << LogText();
  EXPECT_TRUE(fs::exists(temp_ / "brontal.md2"));
  EXPECT_FALSE(fs::exists(temp_ / "brontal.md1"));

  auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
  std::set<std::string> kept = testing::PeriodsIn(*database, "Dirs");
  // Every day but those next to a cut-off, whose fate depends on the minute of the run.
  for (int day = 0; day < 800; ++day) {
    if (day == 42 || day == 43 || day == 372 || day == 373 || day == 730 || day == 731) continue;
    DateTime period = today_.DateOnly() - static_cast<double>(day) + 2 / 24.0;
    bool expected = day < 42 || (day < 372 && (period.Weekday(2) == 1 || period.Day() == 1)) ||
                    (day < 730 && period.Day() == 1);
    EXPECT_EQ(kept.contains(period.ToIso()), expected) << period.ToIso();
  }
  EXPECT_TRUE(output_.empty());
}

TEST_F(MaintenanceProgramTest, WithoutArgumentsOrDisplayItPrintsTheUsage) {
  EXPECT_EQ(RunProgram({}), 0);
  EXPECT_EQ(output_, UsageText("\n"));
  EXPECT_FALSE(fs::exists(bin_ / "brontald.log"));
}

TEST_F(MaintenanceProgramTest, ExitStatusesTellTheSchedulerWhatHappened) {
  EXPECT_EQ(RunProgram({"0", "6", "12", "730"}), kMaintenanceRefused);
  EXPECT_EQ(RunProgram({"1", "6", "12"}), kMaintenanceAborted);
  fs::remove(bin_ / "dbloc.txt");
  EXPECT_EQ(RunProgram({"1", "6", "12", "730"}), kMaintenanceNoDatabase);
}

// brontald on a database on the test server, beside another program.
class MaintenanceOnServerTest : public MaintenanceProgramTest {
 protected:
  void SetUp() override {
    const std::optional<std::string> location = testing::ServerDatabase(server_);
    if (!location) GTEST_SKIP() << testing::ScratchPostgres::SkipMessage();
    path_ = *location;
    engine_ = db::MakeProgramEngine();
    MaintenanceProgramTest::SetUp();
  }

  std::optional<testing::TestDatabase> server_;
};

TEST_F(MaintenanceOnServerTest, ItsExclusiveOpenAndAProgramsSharedOneRefuseEachOther) {
  {
    auto viewer = engine_->DefaultWorkspace().OpenDatabase(path_);
    EXPECT_EQ(RunProgram({"1", "6", "12", "730"}), kMaintenanceAborted);
    EXPECT_NE(LogText().find("Aborting due to error 3045"), std::string::npos) << LogText();
  }

  // A session outside the suite (psql, say) holds a table, so that brontald, once it holds
  // the database, waits on it for a while.
  PGconn* psql = PQconnectdb(path_.c_str());
  ASSERT_EQ(PQstatus(psql), CONNECTION_OK) << PQerrorMessage(psql);
  auto run = [&](const char* sql) {
    PGresult* result = PQexec(psql, sql);
    std::string value = PQresultStatus(result) == PGRES_TUPLES_OK ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    return value;
  };
  run("begin; lock table periods in share mode");
  int status = -1;
  std::thread brontald([&] { status = RunProgram({"1", "6", "12", "730"}); });
  bool held = false;
  for (int i = 0; i < 500 && !held; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    held = run("select count(*) from pg_locks where locktype = 'advisory' and "
               "mode = 'ExclusiveLock' and granted") == "1";
  }
  EXPECT_TRUE(held);
  try {
    engine_->DefaultWorkspace().OpenDatabase(path_)->Close();
    ADD_FAILURE() << "a shared open while brontald holds the database";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kInUse) << error.what();
  }
  run("commit");
  PQfinish(psql);
  brontald.join();
  EXPECT_EQ(status, kMaintenanceDone) << LogText();
}

}  // namespace
}  // namespace brontal
