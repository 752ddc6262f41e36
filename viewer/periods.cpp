// The viewer's periods: reading them from the database, writing and reading the pickers' texts,
// and choosing the period to compare with.
#include "viewer/periods.h"

#include <array>

#include "store/format.h"
#include "store/text.h"

namespace brontal {
namespace {

constexpr std::array<std::string_view, 12> kEnglishMonths = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

// One or two decimal digits, the whole of `text`.
std::optional<int> SmallNumber(std::string_view text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The month a name stands for: the locale's abbreviation or the English one, case ignored the
// way the database ignores it (ASCII letters only).
std::optional<int> MonthOf(std::string_view name, const Locale& locale) {
  const std::string folded = LowerCase(name);
  for (int month = 1; month <= 12; ++month) {
    if (folded == LowerCase(locale.MonthAbbreviation(month))) return month;
  }
  for (int month = 1; month <= 12; ++month) {
    if (folded == kEnglishMonths[static_cast<std::size_t>(month - 1)]) return month;
  }
  return std::nullopt;
}

// The value as the pickers show it: the seconds dropped.
DateTime CutToMinute(DateTime value) {
  return DateTime::FromSeconds(value.Seconds() - value.Second());
}

}  // namespace

std::string PeriodText(DateTime value, const Locale& locale) {
  return FormatDate(value, kPeriodPattern, locale);
}

std::optional<DateTime> ParsePeriodText(std::string_view text, const Locale& locale) {
  // dd-mmm-yyyy hh:mm; the month is found between the first two "-".
  const std::size_t dash1 = text.find('-');
  if (dash1 == std::string_view::npos) return std::nullopt;
  const std::size_t dash2 = text.find('-', dash1 + 1);
  if (dash2 == std::string_view::npos) return std::nullopt;
  const std::size_t blank = text.find(' ', dash2 + 1);
  if (blank == std::string_view::npos) return std::nullopt;
  const std::size_t colon = text.find(':', blank + 1);
  if (colon == std::string_view::npos) return std::nullopt;

  const std::string_view year_text = text.substr(dash2 + 1, blank - dash2 - 1);
  if (year_text.size() != 4) return std::nullopt;
  int year = 0;
  for (char c : year_text) {
    if (c < '0' || c > '9') return std::nullopt;
    year = year * 10 + (c - '0');
  }
  const std::optional<int> day = SmallNumber(text.substr(0, dash1));
  const std::optional<int> month = MonthOf(text.substr(dash1 + 1, dash2 - dash1 - 1), locale);
  const std::optional<int> hour = SmallNumber(text.substr(blank + 1, colon - blank - 1));
  const std::optional<int> minute = SmallNumber(text.substr(colon + 1));
  if (!day || !month || !hour || !minute) return std::nullopt;
  if (!DateTime::IsValidCivil(year, *month, *day, *hour, *minute)) return std::nullopt;
  return DateTime::FromCivil(year, *month, *day, *hour, *minute);
}

std::vector<DateTime> LoadPeriodDates(db::Database& database) {
  auto periods = database.OpenRecordset("Select distinct pdate from Periods order by pdate desc",
                                        db::RecordsetType::kSnapshot);
  std::vector<DateTime> dates;
  if (periods->Eof() && periods->Bof()) {
    periods->Close();
    return dates;
  }
  periods->MoveLast();
  dates.reserve(static_cast<std::size_t>(periods->RecordCount()));
  periods->MoveFirst();
  for (; !periods->Eof(); periods->MoveNext()) {
    const DateTime period = CutToMinute(periods->Field("pdate").AsDate());
    // Two stored times within one minute would show as the same picker entry twice, and
    // "Second most recent" would then compare a period with itself.
    if (dates.empty() || dates.back() != period) dates.push_back(period);
  }
  periods->Close();
  return dates;
}

int NewestAtOrBefore(const std::vector<DateTime>& dates, DateTime target) {
  if (dates.empty()) return -1;
  const int last = static_cast<int>(dates.size()) - 1;
  int i = 0;
  while (dates[static_cast<std::size_t>(i)] > target && i < last) ++i;
  return i;
}

DateTime PreviousMonthTarget(DateTime newest) {
  // Counted in days: back into the month before, to the end of the month before that, then
  // forward by the newest period's day of the month. A day the previous month lacks runs on into
  // the newest period's month (31 March gives 3 March).
  const DateTime in_previous_month = newest - static_cast<double>(newest.Day() + 1);
  return in_previous_month - static_cast<double>(in_previous_month.Day()) +
         static_cast<double>(newest.Day()) + 0.1;
}

DateTime PreviousYearTarget(DateTime newest) {
  int day = newest.Day();
  // 29 February has no date a year before; the last day of that February stands in.
  if (newest.Month() == 2 && day == 29) day = 28;
  return DateTime::FromCivil(newest.Year() - 1, newest.Month(), day, newest.Hour(),
                             newest.Minute()) +
         0.1;
}

std::optional<int> ComparisonIndex(const std::vector<DateTime>& dates,
                                   std::string_view compare_when, DateTime last_looked) {
  if (dates.empty()) return std::nullopt;
  const DateTime newest = dates.front();
  if (compare_when == "0") return NewestAtOrBefore(dates, last_looked);
  if (compare_when == "1") return dates.size() == 1 ? 0 : 1;
  // 6.9 days rather than 7, and 0.1 day on the targets below, so that a scan written up to
  // 2 hours 24 minutes later in the day than the exact target still counts.
  if (compare_when == "2") return NewestAtOrBefore(dates, newest - 6.9);
  if (compare_when == "3") return NewestAtOrBefore(dates, PreviousMonthTarget(newest));
  if (compare_when == "4") return NewestAtOrBefore(dates, PreviousYearTarget(newest));
  if (compare_when == "5") return static_cast<int>(dates.size()) - 1;
  return std::nullopt;
}

DateTime GetLastLooked(const Settings& settings, const Clock& clock, const Locale& locale) {
  const DateTime now = clock.Now();
  auto read = [&](std::string_view key) {
    return ParsePeriodText(settings.Get("Usage", key, ""), locale).value_or(now);
  };
  // LastLooked1 is the last closing. Once the viewer has been closed today it is today's, and
  // the date that session compared with (LastLooked2, an earlier day's closing) still counts.
  const DateTime last_closed = read("LastLooked1");
  if (last_closed < now.DateOnly()) return last_closed;
  return read("LastLooked2");
}

void SaveLastLooked(Settings& settings, DateTime now, DateTime last_looked, const Locale& locale) {
  settings.Set("Usage", "LastLooked1", FormatDate(now, kLastLookedPattern, locale));
  settings.Set("Usage", "LastLooked2", FormatDate(last_looked, kLastLookedPattern, locale));
}

}  // namespace brontal
