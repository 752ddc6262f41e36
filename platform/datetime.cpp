// Civil calendar arithmetic for DateTime (proleptic Gregorian calendar).
#include "platform/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

namespace brontal {
namespace {

using std::chrono::day;
using std::chrono::days;
using std::chrono::month;
using std::chrono::sys_days;
using std::chrono::year;
using std::chrono::year_month_day;

// Day 0 of the system's day numbers.
constexpr sys_days kEpoch = sys_days(year(1899) / 12 / 30);

year_month_day CivilOf(std::int64_t day_number) {
  return year_month_day(kEpoch + days(day_number));
}

// Parses exactly `width` decimal digits.
bool Digits(std::string_view text, std::size_t pos, std::size_t width, int& out) {
  if (pos + width > text.size()) return false;
  int value = 0;
  for (std::size_t i = pos; i < pos + width; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  out = value;
  return true;
}

}  // namespace

bool DateTime::IsValidCivil(int y, int m, int d, int hour, int minute, int second) {
  if (m < 1 || m > 12 || d < 1 || y < -9999 || y > 9999) return false;
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59) {
    return false;
  }
  return year_month_day(year(y), month(m), day(d)).ok();
}

DateTime DateTime::FromCivil(int y, int m, int d, int hour, int minute, int second) {
  if (!IsValidCivil(y, m, d, hour, minute, second)) {
    throw std::invalid_argument("invalid date or time");
  }
  std::int64_t day_number =
      (sys_days(year(y) / month(m) / day(d)) - kEpoch).count();
  return DateTime(day_number * kSecondsPerDay + hour * 3600 + minute * 60 + second);
}

DateTime DateTime::FromDays(double value) {
  return DateTime(static_cast<std::int64_t>(std::llround(value * kSecondsPerDay)));
}

DateTime operator+(DateTime t, double value) {
  return DateTime(t.seconds_ +
                  static_cast<std::int64_t>(std::llround(value * DateTime::kSecondsPerDay)));
}

std::optional<DateTime> DateTime::ParseIso(std::string_view text) {
  int y, m, d, hh = 0, mm = 0, ss = 0;
  if (text.size() != 10 && text.size() != 19) return std::nullopt;
  if (!Digits(text, 0, 4, y) || text[4] != '-' || !Digits(text, 5, 2, m) || text[7] != '-' ||
      !Digits(text, 8, 2, d)) {
    return std::nullopt;
  }
  if (text.size() == 19 &&
      (text[10] != ' ' || !Digits(text, 11, 2, hh) || text[13] != ':' ||
       !Digits(text, 14, 2, mm) || text[16] != ':' || !Digits(text, 17, 2, ss))) {
    return std::nullopt;
  }
  if (!IsValidCivil(y, m, d, hh, mm, ss)) return std::nullopt;
  return FromCivil(y, m, d, hh, mm, ss);
}

std::string DateTime::ToIso() const {
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", Year(), Month(), Day(),
                Hour(), Minute(), Second());
  return text;
}

std::int64_t DateTime::DayNumber() const {
  std::int64_t d = seconds_ / kSecondsPerDay;
  return seconds_ % kSecondsPerDay < 0 ? d - 1 : d;
}

int DateTime::Year() const { return static_cast<int>(CivilOf(DayNumber()).year()); }
int DateTime::Month() const {
  return static_cast<int>(static_cast<unsigned>(CivilOf(DayNumber()).month()));
}
int DateTime::Day() const {
  return static_cast<int>(static_cast<unsigned>(CivilOf(DayNumber()).day()));
}

int DateTime::Weekday(int first_day) const {
  if (first_day < 1 || first_day > 7) first_day = 1;
  // Day 0, 30 December 1899, was a Saturday (7 when Sunday is 1).
  std::int64_t sunday_based = ((DayNumber() + 6) % 7 + 7) % 7;  // 0 = Sunday
  return static_cast<int>((sunday_based - (first_day - 1) + 7) % 7) + 1;
}

}  // namespace brontal
