// The purge on a real database with three periods a day over 800 days: the periods left in every
// table against the retention rule computed here on dates, the statements as logged, and date
// literals that stay month first with "/" whatever the locale writes.
#include "maintenance/purge.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include "maintenance/tests/maintenance_testing.h"
#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "store/schema.h"

namespace brontal {
namespace {

using testing::PeriodsIn;

// A Tuesday, thirty seconds past the hour: the cut-offs fall on 2024-12-01 14:00 (a Sunday and
// the 1st), 2025-11-24 14:00 (a Monday) and 2026-10-20 14:00 (a Tuesday).
const DateTime kNow = DateTime::FromCivil(2026, 12, 1, 14, 0, 30);

class PurgeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, path_, 3);
    auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
    engine_->DefaultWorkspace().BeginTrans();
    // Periods an hour before, at and after the time of day of the cut-offs.
    for (int day = 0; day <= 800; ++day) {
      for (int hour : {13, 14, 15}) {
        DateTime period = kNow.DateOnly() - static_cast<double>(day) + hour / 24.0;
        testing::AddScan(*database, period);
        all_.insert(period.ToIso());
      }
    }
    engine_->DefaultWorkspace().CommitTrans();
  }

  // Runs the purge with a log written in `locale`; returns the log's lines without stamps.
  std::vector<std::string> PurgeWith(const PurgeParameters& parameters, const Locale& locale) {
    {
      ProgramLog log(LineFile(log_path_), clock_, locale);
      auto database = engine_->DefaultWorkspace().OpenDatabase(path_, /*exclusive=*/true);
      PurgeOldPeriods(engine_->DefaultWorkspace(), *database, parameters, clock_, log);
    }
    return testing::LogMessages(log_path_, locale.GeneralDate(kNow));
  }

  // The rule, on dates: a cut-off is `days` before now to the minute, as the literals write it.
  static bool Kept(DateTime period, const PurgeParameters& p) {
    auto cutoff = [](int days) {
      DateTime t = kNow - static_cast<double>(days);
      return t - t.Second() / 86400.0;
    };
    if (period < cutoff(p.days)) return false;
    if (period < cutoff(31 * p.months) && period.Day() != 1) return false;
    if (period < cutoff(7 * p.weeks) && period.Weekday(2) != p.dow && period.Day() != 1) {
      return false;
    }
    return true;
  }

  std::set<std::string> Expected(const PurgeParameters& p) const {
    std::set<std::string> kept;
    for (const std::string& period : all_) {
      if (Kept(*DateTime::ParseIso(period), p)) kept.insert(period);
    }
    return kept;
  }

  void ExpectEveryTableHolds(const std::set<std::string>& periods) {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
    for (std::string_view table : {"Periods", "Dirs", "Parents", "Disks"}) {
      EXPECT_EQ(PeriodsIn(*database, table), periods) << table;
    }
  }

  FixedClock clock_{kNow};
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine({.clock = &clock_});
  testing::TempFolder folder_;
  std::string path_ = folder_ / "brontal.mdb";
  std::string log_path_ = folder_ / "brontald.log";
  std::set<std::string> all_;
};

TEST_F(PurgeTest, KeepsWhatTheRetentionRuleKeepsInEveryTable) {
  const PurgeParameters p{.dow = 1, .weeks = 6, .months = 12, .days = 730};
  PurgeWith(p, FixedLocale());
  std::set<std::string> expected = Expected(p);
  ExpectEveryTableHolds(expected);

  // The edges and overlaps, named: nothing beyond the maximum age, not even a Monday on the
  // 1st; the 1st and the Monday kept by both rules; the hour at each cut-off.
  for (const char* gone :
       {"2024-07-01 14:00:00", "2024-11-30 15:00:00", "2024-12-01 13:00:00", "2025-06-02 14:00:00",
        "2025-11-24 13:00:00", "2025-12-09 14:00:00", "2026-10-20 13:00:00"}) {
    EXPECT_FALSE(expected.contains(gone)) << gone;
  }
  for (const char* kept : {"2024-12-01 14:00:00", "2025-06-01 13:00:00", "2025-09-01 13:00:00",
                           "2025-11-24 14:00:00", "2025-12-08 13:00:00", "2026-10-20 14:00:00",
                           "2026-10-21 13:00:00", "2026-12-01 15:00:00"}) {
    EXPECT_TRUE(expected.contains(kept)) << kept;
  }
  // The count a calendar computation outside this code gave for the same periods.
  EXPECT_EQ(expected.size(), 333u);
}

TEST_F(PurgeTest, OtherParametersFollowTheSameRule) {
  const PurgeParameters p{.dow = 7, .weeks = 1, .months = 3, .days = 400};
  PurgeWith(p, FixedLocale());
  ExpectEveryTableHolds(Expected(p));
}

// A purge that fails after deleting periods, here at its delete of Dirs, as a program killed
// there would: every table keeps every period, none is left without its rows.
TEST_F(PurgeTest, APurgeFailingPartWayLeavesEveryPeriodWhole) {
  sqlite3* raw = nullptr;
  ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(raw,
                         "create trigger fail before delete on Dirs begin "
                         "select raise(abort, 'the disk failed'); end",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(raw);
  EXPECT_THROW(PurgeWith({.dow = 1, .weeks = 6, .months = 12, .days = 730}, FixedLocale()),
               db::DbError);
  ExpectEveryTableHolds(all_);
}

TEST_F(PurgeTest, LogsEachStatementBeforeItRunsWithSlashLiteralsInAnyLocale) {
  const PurgeParameters p{.dow = 1, .weeks = 6, .months = 12, .days = 730};
  FixedLocale dashes({.date_separator = "-", .date_order = FixedLocale::DateOrder::kYearMonthDay});
  std::vector<std::string> german = PurgeWith(p, FixedLocale::German());
  std::vector<std::string> expected = {
      "Purging everything prior to 730 days ago...",
      "delete * from periods where pdate < #12/1/24 14:00#",
      "delete * from dirs where pdate < #12/1/24 14:00#",
      "delete * from parents where pdate < #12/1/24 14:00#",
      "delete * from disks where pdate < #12/1/24 14:00#",
      "Purging weekly (keep 1st of month) prior to 12 months ago...",
      "delete * from periods where pdate < #11/24/25 14:00# and day(pdate)<>1",
      "delete * from dirs where pdate < #11/24/25 14:00# and day(pdate)<>1",
      "delete * from parents where pdate < #11/24/25 14:00# and day(pdate)<>1",
      "delete * from disks where pdate < #11/24/25 14:00# and day(pdate)<>1",
      "Purging daily (keep day 1) prior to 6 weeks ago...",
      "delete * from periods where pdate < #10/20/26 14:00# and weekday(pdate,2)<>1 and "
      "day(pdate)<>1",
      "delete * from dirs where pdate < #10/20/26 14:00# and weekday(pdate,2)<>1 and "
      "day(pdate)<>1",
      "delete * from parents where pdate < #10/20/26 14:00# and weekday(pdate,2)<>1 and "
      "day(pdate)<>1",
      "delete * from disks where pdate < #10/20/26 14:00# and weekday(pdate,2)<>1 and "
      "day(pdate)<>1",
  };
  EXPECT_EQ(german, expected);
  // The stamps are the locale's own: "01.12.2026 14:00:30".
  EXPECT_EQ(testing::ReadWholeFile(log_path_).substr(0, 19), "01.12.2026 14:00:30");

  // A second purge under a locale writing "2026-12-01" deletes nothing more and says the same.
  EXPECT_EQ(PurgeWith(p, dashes), expected);
  ExpectEveryTableHolds(Expected(p));
}

TEST_F(PurgeTest, WithoutALogTheSameConditionsDeleteTheSameRows) {
  const PurgeParameters p{.dow = 3, .weeks = 2, .months = 5, .days = 500};
  {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
    Purge(*database, PurgeEverythingCondition(kNow, p.days));
    Purge(*database, PurgeWeeklyCondition(kNow, p.months));
    Purge(*database, PurgeDailyCondition(kNow, p.weeks, p.dow));
  }
  ExpectEveryTableHolds(Expected(p));
}

}  // namespace
}  // namespace brontal
