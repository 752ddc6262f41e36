// The Options dialog's logic: its settings and their defaults, the spin rules of the periods and
// the levels, the levels kept in Todo, and Do it now on a real database, where any failure must
// leave every row in place.
#include "viewer/options.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "maintenance/tests/maintenance_testing.h"
#include "platform/testing/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "report/levels_example.h"
#include "store/run_error.h"
#include "store/schema.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using testing::PeriodsIn;

// ---- Settings -------------------------------------------------------------------------------

TEST(OptionsSettingsTest, ValuesNoControlCanShowFallBackToTheirDefaults) {
  MemorySettings settings;
  settings.Set("Options", "CompareWhen", "6");
  settings.Set("Options", "ListSortKey", "two");
  settings.Set("Options", "ListSortOrder", "-1");
  settings.Set("Options", "ShowDiskAtStartup", "1");
  settings.Set("Archiving", "FirstDay", "7");
  settings.Set("Archiving", "Period0", "1 week");
  EXPECT_EQ(LoadViewerDefaults(settings), (ViewerDefaults{.show_disk_at_startup = true}));
  EXPECT_EQ(LoadPurgeRules(settings).first_day, 0);
  EXPECT_EQ(LoadPurgeRules(settings).periods[0], "1 week");

  settings.Set("Options", "ListSortKey", "3");
  settings.Set("Archiving", "FirstDay", "6");
  EXPECT_EQ(LoadViewerDefaults(settings).list_sort_key, 3);
  EXPECT_EQ(LoadPurgeRules(settings).first_day, 6);
}

// ---- Spin rules -----------------------------------------------------------------------------

TEST(PeriodSpinTest, StaysBetweenTwoAndFourThousandAndKeepsItsUnitWord) {
  struct Case {
    const char* text;
    int step;
    const char* spun;
  };
  for (const Case& c : std::vector<Case>{
           {"6 weeks", 1, "7 weeks"},
           {"3 weeks", -1, "2 weeks"},
           {"2 weeks", -1, "2 weeks"},  // the floor
           {"1 week", -1, "1 week"},    // below the floor, from the settings: stays
           {"1 week", 1, "2 weeks"},
           {"0 weeks", 1, "1 week"},  // singular for 1
           {"3999 days", 1, "4000 days"},
           {"4000 days", 1, "4000 days"},  // the ceiling
           {"5000 days", 1, "5000 days"},
           {"5000 days", -1, "4999 days"},
           {"12 months", -1, "11 months"},
           {"12 fortnights", 1, "13 fortnights"},  // the word stays whatever it is
           {"garbage", 1, "1 week"},               // no number and no word: the box's unit
       }) {
    EXPECT_EQ(SpinPeriod(c.text, c.step, "weeks"), c.spun) << c.text << " by " << c.step;
  }
}

TEST(LevelSpinTest, KeepsLevelsBetweenTwoAndNineAndShowsTheDefaultDepthAsDefault) {
  LevelRow node{"R\\SERVER1", "SERVER1", "<Default>"};
  const int default_depth = 3;
  std::vector<std::string> shown;
  for (int press = 0; press < 8; ++press) {
    node.levels = SpinLevel(node, 1, default_depth);
    shown.push_back(node.levels);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"4", "5", "6", "7", "8", "9", "9", "9"}));
  shown.clear();
  for (int press = 0; press < 9; ++press) {
    node.levels = SpinLevel(node, -1, default_depth);
    shown.push_back(node.levels);
  }
  EXPECT_EQ(shown, (std::vector<std::string>{"8", "7", "6", "5", "4", "<Default>", "2", "2", "2"}));

  // The default row always shows its number.
  LevelRow default_row{"R\\<Default>", "<Default>", "3"};
  EXPECT_EQ(SpinLevel(default_row, -1, 3), "2");
  EXPECT_EQ(SpinLevel(default_row, 1, 3), "4");
  EXPECT_EQ(DefaultDepthOf({node, {"R\\<Default>", "<Default>", "7"}}, 3), 7);
  EXPECT_EQ(DefaultDepthOf({node}, 3), 3);
}

TEST(LevelExampleTest, ShowsTheLevelCappedAtNineAndNothingBelowTwo) {
  MemorySettings settings;
  EXPECT_EQ(LevelExample("<Default>", 4, settings), LevelsExample(4, settings));
  EXPECT_EQ(LevelExample("2", 4, settings), "D:\\      Users");
  EXPECT_EQ(LevelExample("12", 4, settings), LevelsExample(9, settings));
  EXPECT_EQ(LevelExample("1", 4, settings), std::nullopt);
  EXPECT_EQ(LevelExample("<Default>", -1, settings), std::nullopt);

  settings.Set("Options", "DLevelsExample1", "C:\\short");
  EXPECT_THROW(LevelExample("5", 3, settings), std::invalid_argument);
}

// ---- Database size --------------------------------------------------------------------------

TEST(DbSizeTest, ShowsTheLengthInBytesAndNothingForWhatCannotBeMeasured) {
  FakeFileSystem files;
  files.AddFile("C:\\data\\brontal.mdb", 1234567);
  EXPECT_EQ(DbSizeTextOf(files, "C:\\data\\brontal.mdb"), "Database size:  1234567 bytes");
  EXPECT_EQ(DbSizeTextOf(files, "C:\\data\\missing.mdb"), "");
  EXPECT_EQ(DbSizeTextOf(files, "C:\\data"), "");
  EXPECT_EQ(DbSizeTextOf(files, ""), "");
}

// ---- Directory levels in Todo ---------------------------------------------------------------

class LevelsDatabaseTest : public ::testing::Test {
 protected:
  db::Workspace& workspace() { return data_.engine->DefaultWorkspace(); }

  // Nodename -> Levels, LogFile of every Todo row.
  std::map<std::string, std::pair<std::int64_t, std::string>> TodoRows() {
    auto rs = data_.database->OpenRecordset("select * from Todo", db::RecordsetType::kSnapshot);
    std::map<std::string, std::pair<std::int64_t, std::string>> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      rows[rs->Field("Nodename").AsText()] = {rs->Field("Levels").AsInt64(),
                                              rs->Field("LogFile").TextOr()};
    }
    return rows;
  }

  testing::ViewerDatabase data_;
};

TEST_F(LevelsDatabaseTest, ReadsEveryRowAndSavesDefaultAsMinusOne) {
  std::vector<LevelRow> rows = ReadDirectoryLevels(*data_.database);
  ASSERT_EQ(rows, (std::vector<LevelRow>{{"R\\<Default>", "<Default>", "3"},
                                         {"R\\SERVER1", "SERVER1", "<Default>"},
                                         {"R\\SERVER2", "SERVER2", "5"}}));
  rows[0].levels = "4";
  rows[1].levels = "6";
  rows[2].levels = SpinLevel(rows[2], -1, 4);  // 5 down to the new default depth
  ASSERT_EQ(rows[2].levels, "<Default>");
  rows.push_back({"R\\GONE", "GONE", "7"});  // deleted by somebody else meanwhile
  SaveDirectoryLevels(workspace(), *data_.database, rows);

  auto todo = TodoRows();
  EXPECT_EQ(todo.size(), 3u);
  EXPECT_EQ(todo[std::string(kDefaultNodeName)].first, 4);
  EXPECT_EQ(todo["SERVER1"], (std::pair<std::int64_t, std::string>{6, "C:\\tools\\scan.log"}));
  EXPECT_EQ(todo["SERVER2"].first, -1);
  EXPECT_EQ(ReadDirectoryLevels(*data_.database)[2].levels, "<Default>");
  // No transaction is left open.
  EXPECT_THROW(workspace().CommitTrans(), db::DbError);
}

// ---- Do it now ------------------------------------------------------------------------------

// A Tuesday, thirty seconds past 14:00; the cut-offs of the default rules fall on 1 Dec 2024
// (730 days), 24 Nov 2025 (12 x 31 days) and 20 Oct 2026 (6 weeks), all at 14:00.
const DateTime kNow = DateTime::FromCivil(2026, 12, 1, 14, 0, 30);

// A database that fails the Nth statement it is asked to execute, as a busy or broken file
// would, and otherwise passes everything to the real one.
class FailingDatabase : public db::Database {
 public:
  FailingDatabase(db::Database& real, int fail_at) : real_(real), fail_at_(fail_at) {}
  std::unique_ptr<db::Recordset> OpenRecordset(std::string_view source,
                                               db::RecordsetType type) override {
    return real_.OpenRecordset(source, type);
  }
  void Execute(std::string_view sql, int options) override {
    if (++executed_ == fail_at_) throw db::DbError(db::kGeneral, "Disk or network error.");
    real_.Execute(sql, options);
  }
  std::int64_t RecordsAffected() const override { return real_.RecordsAffected(); }
  std::string Name() const override { return real_.Name(); }
  void Repair() override { real_.Repair(); }
  void CompactInto(const std::string& destination) override { real_.CompactInto(destination); }
  void Close() override { real_.Close(); }

 private:
  db::Database& real_;
  int fail_at_;
  int executed_ = 0;
};

class DoItNowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, path_, 3);
    database_ = workspace().OpenDatabase(path_);
    workspace().BeginTrans();
    for (int day = 0; day <= 800; ++day) {
      DateTime period = kNow.DateOnly() - static_cast<double>(day) + 2 / 24.0;
      testing::AddScan(*database_, period);
      all_.insert(period.ToIso());
    }
    workspace().CommitTrans();
  }
  db::Workspace& workspace() { return engine_->DefaultWorkspace(); }

  // Runs Do it now, noting the progress it reports.
  void Run(db::Database& database, const PurgeRules& rules) {
    DoItNow(workspace(), database, rules, clock_, locale_, settings_,
            [this](int percent) { progress_.push_back(percent); });
  }

  // The rule on dates, computed apart from the statements: a cut-off is `days` before now, to
  // the minute as the date literals write it.
  std::set<std::string> Kept(int weeks, int months, int days, int weekday) const {
    auto before = [](DateTime period, int days_back) {
      DateTime cutoff = kNow - static_cast<double>(days_back);
      return period < cutoff - cutoff.Second() / 86400.0;
    };
    std::set<std::string> kept;
    for (const std::string& text : all_) {
      DateTime period = *DateTime::ParseIso(text);
      if (before(period, days)) continue;
      if (before(period, 31 * months) && period.Day() != 1) continue;
      if (before(period, 7 * weeks) && period.Weekday(2) != weekday && period.Day() != 1) {
        continue;
      }
      kept.insert(text);
    }
    return kept;
  }

  void ExpectEveryTableHolds(const std::set<std::string>& periods) {
    for (std::string_view table : {"Periods", "Dirs", "Parents", "Disks"}) {
      EXPECT_EQ(PeriodsIn(*database_, table), periods) << table;
    }
  }

  FixedClock clock_{kNow};
  FixedLocale locale_;
  MemorySettings settings_;
  std::vector<int> progress_;
  // A short wait for another program's lock, so that a busy file fails soon.
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 200, .clock = &clock_});
  testing::TempFolder folder_;
  std::string path_ = folder_ / "brontal.mdb";
  std::unique_ptr<db::Database> database_;
  std::set<std::string> all_;
};

TEST_F(DoItNowTest, WithMondayKeptKeepsMondaysAndFirstsBeyondTheDailySpan) {
  Run(*database_, PurgeRules{});
  std::set<std::string> kept = Kept(6, 12, 730, 1);
  ExpectEveryTableHolds(kept);
  EXPECT_EQ(progress_, (std::vector<int>{5, 20, 50, 95, 100}));
  EXPECT_EQ(settings_.Get("Archiving", "LastDone", ""), locale_.GeneralDate(kNow));

  // Named periods, against a calendar: the day after the daily cut-off kept, the Tuesday of it
  // and the one before gone; Mondays kept up to the weekly cut-off (a Monday at 02:00 of that day
  // already gone); beyond it only the 1st of the month, up to 730 days back; nothing older, not
  // even a Monday on the 1st (1 Jul 2024).
  for (const char* period : {"2026-10-21 02:00:00", "2026-10-26 02:00:00", "2025-12-08 02:00:00",
                             "2025-03-01 02:00:00", "2025-01-01 02:00:00"}) {
    EXPECT_TRUE(kept.contains(period)) << period;
  }
  for (const char* period :
       {"2026-10-20 02:00:00", "2026-10-13 02:00:00", "2025-11-24 02:00:00", "2025-03-03 02:00:00",
        "2024-12-02 02:00:00", "2024-12-01 02:00:00", "2024-07-01 02:00:00"}) {
    EXPECT_FALSE(kept.contains(period)) << period;
  }
}

TEST_F(DoItNowTest, KeepsTheWeekdayChosenAsFirstDay) {
  Run(*database_, PurgeRules{.periods = {"2 weeks", "3 months", "400 days"}, .first_day = 2});
  std::set<std::string> kept = Kept(2, 3, 400, 3);
  ExpectEveryTableHolds(kept);
  EXPECT_TRUE(kept.contains("2026-10-28 02:00:00"));   // a Wednesday
  EXPECT_FALSE(kept.contains("2026-10-26 02:00:00"));  // a Monday
}

TEST_F(DoItNowTest, RefusesPeriodsThatWouldDeleteNearlyEverything) {
  // 0 days would delete every period; 4000 weeks reach back so far that the two-digit year of
  // the cut-off reads as a year to come.
  for (const PurgeRules& rules : {PurgeRules{.periods = {"6 weeks", "12 months", "0 days"}},
                                  PurgeRules{.periods = {"4000 weeks", "12 months", "730 days"}},
                                  PurgeRules{.periods = {"6 weeks", "none", "730 days"}}}) {
    try {
      Run(*database_, rules);
      ADD_FAILURE() << "purged with " << rules.periods[0] << ", " << rules.periods[1] << ", "
                    << rules.periods[2];
    } catch (const RunError& error) {
      EXPECT_EQ(error.Number(), kInvalidArgument);
    }
  }
  ExpectEveryTableHolds(all_);
  EXPECT_TRUE(progress_.empty());
}

TEST_F(DoItNowTest, AFailureAtAnyStatementLeavesEveryRowInPlace) {
  // Twelve statements: four per rule. The outer transaction is what undoes the rules that
  // finished before the one that failed.
  for (int fail_at = 1; fail_at <= 12; ++fail_at) {
    SCOPED_TRACE("statement " + std::to_string(fail_at));
    FailingDatabase failing(*database_, fail_at);
    progress_.clear();
    try {
      Run(failing, PurgeRules{});
      ADD_FAILURE() << "no error";
    } catch (const db::DbError& error) {
      EXPECT_EQ(error.Description(), "Disk or network error.");
    }
    ExpectEveryTableHolds(all_);
    EXPECT_EQ(progress_.back(), (std::vector<int>{5, 20, 50})[(fail_at - 1) / 4]);
    EXPECT_EQ(settings_.Get("Archiving", "LastDone", "never"), "never");
    EXPECT_THROW(workspace().CommitTrans(), db::DbError) << "a transaction was left open";
  }
}

TEST_F(DoItNowTest, AReaderHoldingTheFileAtCommitLeavesEveryRowInPlace) {
  // Another program in the middle of reading: the commit cannot take the file.
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &reader), SQLITE_OK);
  sqlite3_stmt* read = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(reader, "select pdate from Periods", -1, &read, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(read), SQLITE_ROW);

  try {
    Run(*database_, PurgeRules{});
    ADD_FAILURE() << "no error";
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kLocked);
  }
  sqlite3_finalize(read);
  sqlite3_close(reader);
  ExpectEveryTableHolds(all_);
  EXPECT_EQ(settings_.Get("Archiving", "LastDone", "never"), "never");

  // Once the reader is done, the same purge goes through.
  Run(*database_, PurgeRules{});
  ExpectEveryTableHolds(Kept(6, 12, 730, 1));
}

}  // namespace
}  // namespace brontal
