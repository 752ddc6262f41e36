// The periods: picker texts both ways, the periods of a database, every compare choice with its
// fall-back to the oldest period, and the "last looked" date across closings.
#include "viewer/periods.h"

#include <gtest/gtest.h>

#include "platform/fixed_locale.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using Dates = std::vector<DateTime>;

DateTime At(int year, int month, int day, int hour = 2, int minute = 0) {
  return DateTime::FromCivil(year, month, day, hour, minute);
}

// Daily scans at 02:00, newest first: `count` days ending on `newest`.
Dates Daily(DateTime newest, int count) {
  Dates dates;
  for (int i = 0; i < count; ++i) dates.push_back(newest - static_cast<double>(i));
  return dates;
}

TEST(PeriodTextTest, WrittenAndReadBackInTheLocalesMonthNamesOrInEnglish) {
  const FixedLocale english;
  const FixedLocale german = FixedLocale::German();
  const DateTime value = At(2026, 3, 6, 14, 5);
  EXPECT_EQ(PeriodText(DateTime::FromCivil(2026, 3, 6, 14, 5, 59), english), "06-Mar-2026 14:05");
  EXPECT_EQ(PeriodText(value, german), "06-M\xC3\xA4r-2026 14:05");
  EXPECT_EQ(ParsePeriodText("06-M\xC3\xA4r-2026 14:05", german), value);
  EXPECT_EQ(ParsePeriodText("06-mar-2026 14:05", german), value);
  EXPECT_EQ(ParsePeriodText("6-MAR-2026 4:05", english), At(2026, 3, 6, 4, 5));
  for (const char* text :
       {"", "06-Mar-2026", "06-Mar-26 14:05", "31-Feb-2026 02:00", "06-Foo-2026 02:00",
        "06-Mar-2026 24:00", "06-Mar-2026 14:05:00", "x6-Mar-2026 14:05", "06-Mar-2026  14:05"}) {
    EXPECT_EQ(ParsePeriodText(text, english), std::nullopt) << text;
  }
}

TEST(LoadPeriodDatesTest, NewestFirstCutToTheMinuteEachOnce) {
  // A file made before a period was stored once only may also repeat one exactly.
  testing::ViewerDatabase fixture(RepeatedPeriodsSchema());
  db::Database& database = *fixture.database;
  EXPECT_EQ(LoadPeriodDates(database), (Dates{testing::kP1, testing::kP2, testing::kP0}));
  database.Execute("insert into Periods (pdate) values (#12/7/2026 03:00:30#)");
  database.Execute("insert into Periods (pdate) values (#12/7/2026 03:00:00#)");
  database.Execute("insert into Periods (pdate) values (#12/6/2026 02:00#)");
  EXPECT_EQ(LoadPeriodDates(database),
            (Dates{At(2026, 12, 7, 3), testing::kP1, testing::kP2, testing::kP0}));
  database.Execute("delete * from Periods");
  EXPECT_TRUE(LoadPeriodDates(database).empty());
}

TEST(ComparisonTest, LastLookedSecondAndOldestFallBackToTheOldest) {
  const Dates dates = Daily(At(2026, 12, 7), 10);
  EXPECT_EQ(ComparisonIndex(dates, "0", At(2026, 12, 7, 9, 30)), 0);
  EXPECT_EQ(ComparisonIndex(dates, "0", At(2026, 12, 5, 2)), 2);  // equal counts
  EXPECT_EQ(ComparisonIndex(dates, "0", At(2026, 12, 5, 1, 59)), 3);
  EXPECT_EQ(ComparisonIndex(dates, "0", At(2020, 1, 1)), 9);
  EXPECT_EQ(ComparisonIndex(dates, "1", At(2026, 12, 7)), 1);
  EXPECT_EQ(ComparisonIndex(dates, "5", At(2026, 12, 7)), 9);
  for (const char* choice : {"0", "1", "2", "3", "4", "5"}) {
    EXPECT_EQ(ComparisonIndex({At(2026, 12, 7)}, choice, At(2020, 1, 1)), 0) << choice;
  }
  for (const char* choice : {"6", "", " 1", "01"}) {
    EXPECT_EQ(ComparisonIndex(dates, choice, At(2026, 12, 7)), std::nullopt) << choice;
  }
  EXPECT_EQ(ComparisonIndex({}, "0", At(2026, 12, 7)), std::nullopt);
}

TEST(ComparisonTest, PreviousWeekAllowsAScanUpTo2Hours24MinutesLaterInTheDay) {
  Dates dates = Daily(At(2026, 12, 14), 10);
  EXPECT_EQ(ComparisonIndex(dates, "2", At(2026, 12, 14)), 7);
  dates[7] = At(2026, 12, 7, 4, 24);
  EXPECT_EQ(ComparisonIndex(dates, "2", At(2026, 12, 14)), 7);
  dates[7] = At(2026, 12, 7, 4, 25);
  EXPECT_EQ(ComparisonIndex(dates, "2", At(2026, 12, 14)), 8);
  EXPECT_EQ(ComparisonIndex(Daily(At(2026, 12, 14), 3), "2", At(2026, 12, 14)), 2);
}

TEST(ComparisonTest, PreviousMonthAndYear) {
  EXPECT_EQ(PreviousMonthTarget(At(2027, 3, 15)), At(2027, 2, 15, 4, 24));
  EXPECT_EQ(PreviousMonthTarget(At(2027, 1, 31)), At(2026, 12, 31, 4, 24));
  // A day the previous month lacks runs on into this month.
  EXPECT_EQ(PreviousMonthTarget(At(2027, 3, 31)), At(2027, 3, 3, 4, 24));
  EXPECT_EQ(PreviousMonthTarget(At(2028, 3, 31)), At(2028, 3, 2, 4, 24));
  const Dates month = {At(2027, 3, 15), At(2027, 2, 16), At(2027, 2, 15, 3), At(2027, 2, 14)};
  EXPECT_EQ(ComparisonIndex(month, "3", At(2027, 3, 15)), 2);

  EXPECT_EQ(PreviousYearTarget(At(2027, 6, 15, 2, 30)), At(2026, 6, 15, 4, 54));
  EXPECT_EQ(PreviousYearTarget(At(2028, 2, 29)), At(2027, 2, 28, 4, 24));
  const Dates year = {At(2028, 2, 29), At(2027, 3, 1), At(2027, 2, 28), At(2027, 2, 27)};
  EXPECT_EQ(ComparisonIndex(year, "4", At(2028, 2, 29)), 2);
  EXPECT_EQ(ComparisonIndex(Dates{At(2028, 2, 29), At(2028, 1, 1)}, "4", At(2028, 2, 29)), 1);
}

TEST(LastLookedTest, AnEarlierDaysClosingCountsUntilTheViewerIsClosedToday) {
  MemorySettings settings;
  FixedClock clock(At(2026, 12, 7, 9, 30));
  const FixedLocale locale;
  EXPECT_EQ(GetLastLooked(settings, clock, locale), clock.Now());  // first run

  SaveLastLooked(settings, At(2026, 12, 1, 17, 45), At(2026, 11, 20, 8), locale);
  EXPECT_EQ(settings.Get("Usage", "LastLooked1", ""), "01-Dec-2026 17:45");
  EXPECT_EQ(settings.Get("Usage", "LastLooked2", ""), "20-Nov-2026 08:00");
  const DateTime looked = GetLastLooked(settings, clock, locale);
  EXPECT_EQ(looked, At(2026, 12, 1, 17, 45));
  SaveLastLooked(settings, clock.Now(), looked, locale);  // closed and opened again today
  clock.Set(At(2026, 12, 7, 23, 59));
  EXPECT_EQ(GetLastLooked(settings, clock, locale), At(2026, 12, 1, 17, 45));
  clock.Set(At(2026, 12, 8, 0, 0));
  EXPECT_EQ(GetLastLooked(settings, clock, locale), At(2026, 12, 7, 9, 30));
}

TEST(LastLookedTest, UnreadableValuesCountAsNow) {
  MemorySettings settings;
  const FixedClock clock(At(2026, 12, 7, 9, 30));
  const FixedLocale german = FixedLocale::German();
  settings.Set("Usage", "LastLooked1", "yesterday");  // now, so today: LastLooked2 decides
  settings.Set("Usage", "LastLooked2", "01-M\xC3\xA4r-2026 17:45");
  EXPECT_EQ(GetLastLooked(settings, clock, german), At(2026, 3, 1, 17, 45));
  settings.Set("Usage", "LastLooked2", "32-Dec-2026 17:45");
  EXPECT_EQ(GetLastLooked(settings, clock, german), clock.Now());
}

}  // namespace
}  // namespace brontal
