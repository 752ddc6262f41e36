// What the user's regional settings decide about how numbers and dates are written.
#pragma once

#include <string>

#include "platform/datetime.h"

namespace brontal {

class Locale {
 public:
  virtual ~Locale() = default;
  // The thousands separator, "," in English; may be several bytes (U+00A0, U+202F).
  virtual std::string ThousandsSeparator() const = 0;
  // The date separator: the first character that is not a digit in 1 February 1999 written
  // the way the locale writes short dates ("/", ".", "-").
  virtual std::string DateSeparator() const = 0;
  // The three-letter abbreviation of month 1 to 12 ("Jan" ... "Dec" in English).
  virtual std::string MonthAbbreviation(int month) const = 0;
  // The system's general date format: the short date, then the time with seconds; the time is
  // left out at midnight.
  virtual std::string GeneralDate(DateTime value) const = 0;
};

}  // namespace brontal
