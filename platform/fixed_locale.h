// A locale whose settings are given rather than read from the system: the tests' locale, and
// the one the programs fall back on when the user runs under the plain "C"/POSIX locale.
#pragma once

#include <array>
#include <string>

#include "platform/locale.h"

namespace brontal {

class FixedLocale : public Locale {
 public:
  // The order of day, month and year in the general date.
  enum class DateOrder { kMonthDayYear, kDayMonthYear, kYearMonthDay };

  // Everything the locale decides; the defaults are those of United States English.
  struct Settings {
    std::string thousands_separator = ",";
    std::string date_separator = "/";
    std::array<std::string, 12> month_abbreviations = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    DateOrder date_order = DateOrder::kMonthDayYear;
    // Two-digit day, month and hour ("07.02.2026 09:05:03") instead of "2/7/2026 9:05:03 AM".
    bool leading_zeros = false;
    // "10:25:21 PM" instead of "22:25:21".
    bool twelve_hour_clock = true;
  };

  // United States English: "1,234", "12/7/2026 10:25:21 PM", months "Jan" to "Dec".
  FixedLocale();
  // The locale with the given settings; FixedLocale({.thousands_separator = "."}) changes one.
  explicit FixedLocale(Settings settings);
  // German as the tests use it: "1.234", "07.12.2026 22:25:21", months "Jan", "Mär", "Dez".
  static FixedLocale German();

  std::string ThousandsSeparator() const override { return settings_.thousands_separator; }
  std::string DateSeparator() const override { return settings_.date_separator; }
  // Throws std::out_of_range for a month outside 1 to 12.
  std::string MonthAbbreviation(int month) const override;
  std::string GeneralDate(DateTime value) const override;

 private:
  Settings settings_;
};

}  // namespace brontal
