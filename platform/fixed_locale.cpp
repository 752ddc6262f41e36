// The general date of a FixedLocale, built from its settings without any system locale data.
#include "platform/fixed_locale.h"

#include <stdexcept>
#include <utility>

namespace brontal {
namespace {

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (digits.size() < static_cast<std::size_t>(width)) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return digits;
}

}  // namespace

FixedLocale::FixedLocale() = default;

FixedLocale::FixedLocale(Settings settings) : settings_(std::move(settings)) {}

FixedLocale FixedLocale::German() {
  return FixedLocale({.thousands_separator = ".",
                      .date_separator = ".",
                      .month_abbreviations = {"Jan", "Feb", "Mär", "Apr", "Mai", "Jun", "Jul",
                                              "Aug", "Sep", "Okt", "Nov", "Dez"},
                      .date_order = DateOrder::kDayMonthYear,
                      .leading_zeros = true,
                      .twelve_hour_clock = false});
}

std::string FixedLocale::MonthAbbreviation(int month) const {
  if (month < 1 || month > 12) {
    throw std::out_of_range("month " + std::to_string(month) + " is not 1 to 12");
  }
  return settings_.month_abbreviations[static_cast<std::size_t>(month - 1)];
}

std::string FixedLocale::GeneralDate(DateTime value) const {
  const int field_width = settings_.leading_zeros ? 2 : 1;
  const std::string day = Padded(value.Day(), field_width);
  const std::string month = Padded(value.Month(), field_width);
  const std::string year = Padded(value.Year(), 4);
  const std::string& sep = settings_.date_separator;
  std::string text;
  switch (settings_.date_order) {
    case DateOrder::kMonthDayYear:
      text = month + sep + day + sep + year;
      break;
    case DateOrder::kDayMonthYear:
      text = day + sep + month + sep + year;
      break;
    case DateOrder::kYearMonthDay:
      text = year + sep + month + sep + day;
      break;
  }
  if (value == value.DateOnly()) return text;

  int hour = value.Hour();
  if (settings_.twelve_hour_clock) hour = hour % 12 == 0 ? 12 : hour % 12;
  text += " " + Padded(hour, field_width) + ":" + Padded(value.Minute(), 2) + ":" +
          Padded(value.Second(), 2);
  if (settings_.twelve_hour_clock) text += value.Hour() < 12 ? " AM" : " PM";
  return text;
}

}  // namespace brontal
