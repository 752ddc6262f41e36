// The viewer's periods: the list of recorded periods, the choice of the two periods to compare
// by the user's compare setting, and the "last looked" date remembered between runs.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/locale.h"
#include "platform/settings.h"

namespace brontal {

// How a period is written in the pickers and the list's column keys: "07-Dec-2026 02:00".
inline constexpr std::string_view kPeriodPattern = "dd-mmm-yyyy hh:mm";
// How the remembered dates are written in section "Usage".
inline constexpr std::string_view kLastLookedPattern = "dd-mmm-yyyy hh:nn";

// The compare choices of setting Options/CompareWhen, in the order the Options dialog lists them.
enum class CompareWhen {
  kWhenLastLooked = 0,
  kSecondMostRecent = 1,
  kPreviousWeek = 2,
  kPreviousMonth = 3,
  kPreviousYear = 4,
  kOldestAvailable = 5,
};
inline constexpr std::string_view kCompareChoices[] = {"When last looked", "Second most recent",
                                                       "Previous week",    "Previous month",
                                                       "Previous year",    "Oldest available"};

// The message shown for a compare setting that is none of "0" to "5".
inline constexpr std::string_view kBadCompareMessage =
    "Incorect value for CompareField in LoadPeriods";

// `value` as the pickers write it.
std::string PeriodText(DateTime value, const Locale& locale);

// A text of the shape "dd-mmm-yyyy hh:mm" read back, the month by the locale's abbreviation or
// the English one in any letter case; nullopt for anything else.
std::optional<DateTime> ParsePeriodText(std::string_view text, const Locale& locale);

// The periods of the database, newest first, each cut to the whole minute and listed once (two
// stored times within one minute are one period); empty when there is none. Throws db::DbError.
std::vector<DateTime> LoadPeriodDates(db::Database& database);

// The index (0 = newest) of the newest period at or before target; the oldest when none is.
// -1 when `dates` is empty.
int NewestAtOrBefore(const std::vector<DateTime>& dates, DateTime target);

// The targets of "Previous month" and "Previous year" for a newest period P, 0.1 day included.
// The month before is counted in days, so a day it lacks runs on into P's month (31 March gives
// 3 March). 29 February, which has no date a year before, gives 28 February of the year before.
DateTime PreviousMonthTarget(DateTime newest);
DateTime PreviousYearTarget(DateTime newest);

// The index of the second picker's period for the compare setting text: nullopt when the
// setting is none of "0" to "5", or when `dates` is empty.
std::optional<int> ComparisonIndex(const std::vector<DateTime>& dates,
                                   std::string_view compare_when, DateTime last_looked);

// The date "When last looked" compares with: Usage/LastLooked1 when it lies before today,
// otherwise Usage/LastLooked2; a missing or unreadable value counts as now.
DateTime GetLastLooked(const Settings& settings, const Clock& clock, const Locale& locale);

// What the main window's shutdown writes: LastLooked1 = now, LastLooked2 = last_looked.
void SaveLastLooked(Settings& settings, DateTime now, DateTime last_looked, const Locale& locale);

}  // namespace brontal
