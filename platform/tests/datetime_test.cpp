// DateTime: the day numbers, the calendar and arithmetic in days.
#include "platform/datetime.h"

#include <gtest/gtest.h>

namespace brontal {
namespace {

TEST(DateTime, DayNumbersFollowTheCalendar) {
  EXPECT_EQ(DateTime().ToIso(), "1899-12-30 00:00:00");
  EXPECT_DOUBLE_EQ(DateTime::FromCivil(1900, 1, 1).Days(), 2.0);
  EXPECT_DOUBLE_EQ(DateTime::FromCivil(2026, 12, 7, 6).Days(), 46363.25);
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 29).ToIso(), "1899-12-29 00:00:00");
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 29, 18).Hour(), 18);  // before day 0
  EXPECT_EQ(DateTime::FromCivil(2028, 2, 29, 23, 59, 59).ToIso(), "2028-02-29 23:59:59");
  EXPECT_THROW(DateTime::FromCivil(2026, 2, 29), std::invalid_argument);
  EXPECT_THROW(DateTime::FromCivil(2026, 13, 1), std::invalid_argument);
  EXPECT_THROW(DateTime::FromCivil(2026, 1, 1, 24), std::invalid_argument);
}

TEST(DateTime, WeekdaysCountFromTheChosenFirstDay) {
  DateTime monday = DateTime::FromCivil(2026, 12, 7, 23, 30);
  EXPECT_EQ(monday.Weekday(2), 1);
  EXPECT_EQ(monday.Weekday(), 2);  // Sunday first
  EXPECT_EQ(DateTime::FromCivil(2026, 12, 6).Weekday(2), 7);
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 30).Weekday(), 7);  // a Saturday
  EXPECT_EQ(DateTime::FromCivil(1899, 12, 24).Weekday(2), 7);
}

TEST(DateTime, ArithmeticInDaysKeepsTheTimeOfDay) {
  DateTime p = DateTime::FromCivil(2026, 3, 31, 2);
  EXPECT_EQ((p - 730.0).ToIso(), "2024-03-31 02:00:00");
  EXPECT_EQ((p + 0.1).ToIso(), "2026-03-31 04:24:00");
  EXPECT_EQ((p - 6.9).ToIso(), "2026-03-24 04:24:00");
  // One month back, as the period pickers reckon it: P - Day(P) - 1, then forward.
  DateTime t1 = p - p.Day() - 1.0;
  EXPECT_EQ((t1 - t1.Day() + p.Day() + 0.1).ToIso(), "2026-03-03 04:24:00");
  EXPECT_DOUBLE_EQ(DateTime::FromCivil(2026, 12, 7) - DateTime::FromCivil(2026, 12, 6, 12), 0.5);
  EXPECT_EQ(DateTime::FromDays(46363.25).ToIso(), "2026-12-07 06:00:00");
}

TEST(DateTime, ParsesOnlyTheStoredForm) {
  EXPECT_EQ(DateTime::ParseIso("2026-12-06 22:04:05"), DateTime::FromCivil(2026, 12, 6, 22, 4, 5));
  EXPECT_EQ(DateTime::ParseIso("2026-12-06"), DateTime::FromCivil(2026, 12, 6));
  for (const char* bad : {"", "2026-12-06 22:04", "2026-13-06 00:00:00", "2026-02-30 00:00:00",
                          "12/6/26 22:4:5", "2026-12-06T22:04:05", "2026-12-06 22:04:05 "}) {
    EXPECT_FALSE(DateTime::ParseIso(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace brontal
