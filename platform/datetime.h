// The date-time value of the system: a calendar date and a time of day to the second.
// It counts in days from 30 December 1899, like the day numbers the periods are reckoned in,
// so that "now - 7 days" or "P + 0.1 day" read as they are written.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brontal {

class DateTime {
 public:
  // 30 December 1899, 00:00:00: day 0.
  constexpr DateTime() = default;

  // The given civil date and time. Throws std::invalid_argument when a field is out of range
  // (month 1-12, day within the month, hour 0-23, minute and second 0-59).
  static DateTime FromCivil(int year, int month, int day, int hour = 0, int minute = 0,
                            int second = 0);
  // Whether FromCivil would accept these fields.
  static bool IsValidCivil(int year, int month, int day, int hour = 0, int minute = 0,
                           int second = 0);
  // A day number with its fraction, rounded to the nearest second.
  static DateTime FromDays(double days);
  // Seconds since day 0.
  static constexpr DateTime FromSeconds(std::int64_t seconds) { return DateTime(seconds); }
  // Reads the stored form "YYYY-MM-DD HH:MM:SS" or a bare "YYYY-MM-DD"; nullopt for anything else.
  static std::optional<DateTime> ParseIso(std::string_view text);

  // The stored form "YYYY-MM-DD HH:MM:SS".
  std::string ToIso() const;

  int Year() const;
  int Month() const;  // 1 to 12
  int Day() const;    // 1 to 31
  int Hour() const { return static_cast<int>(SecondOfDay() / 3600); }
  int Minute() const { return static_cast<int>(SecondOfDay() / 60 % 60); }
  int Second() const { return static_cast<int>(SecondOfDay() % 60); }
  // Day of the week counted from first_day (1 = Sunday ... 7 = Saturday) as 1 to 7:
  // Weekday(2) gives Monday 1 to Sunday 7.
  int Weekday(int first_day = 1) const;

  // The same day at 00:00:00.
  DateTime DateOnly() const { return DateTime(seconds_ - SecondOfDay()); }
  // Days since day 0 with the time of day as a fraction.
  double Days() const { return static_cast<double>(seconds_) / kSecondsPerDay; }
  constexpr std::int64_t Seconds() const { return seconds_; }

  // Adds a number of days, fractions included, rounded to the nearest second.
  friend DateTime operator+(DateTime t, double days);
  friend DateTime operator-(DateTime t, double days) { return t + (-days); }
  // The distance between two instants in days.
  friend double operator-(DateTime a, DateTime b) {
    return static_cast<double>(a.seconds_ - b.seconds_) / kSecondsPerDay;
  }
  friend constexpr auto operator<=>(DateTime, DateTime) = default;

  static constexpr std::int64_t kSecondsPerDay = 86400;

 private:
  constexpr explicit DateTime(std::int64_t seconds) : seconds_(seconds) {}
  std::int64_t SecondOfDay() const {
    std::int64_t s = seconds_ % kSecondsPerDay;
    return s < 0 ? s + kSecondsPerDay : s;
  }
  std::int64_t DayNumber() const;

  std::int64_t seconds_ = 0;
};

}  // namespace brontal
