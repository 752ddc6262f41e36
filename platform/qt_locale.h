// The user's regional settings as Qt reports them, for the programs that write dates and
// numbers the way the user reads them.
#pragma once

#include <QLocale>
#include <array>
#include <memory>
#include <string>

#include "platform/locale.h"

namespace brontal {

class QtLocale : public Locale {
 public:
  // The locale of the user's session (QLocale::system()).
  QtLocale();
  // A given locale, so that tests do not depend on the machine they run on.
  explicit QtLocale(const QLocale& locale);

  // The locale's group separator.
  std::string ThousandsSeparator() const override;
  // The first character of 1 February 1999 in the short date format that is neither a digit
  // (of any script) nor an invisible direction mark; "/" if there is none.
  std::string DateSeparator() const override;
  // The locale's stand-alone short month name without its trailing abbreviation mark ("Dez."
  // gives "Dez"), cut to three characters unless that would make two months alike ("juin" and
  // "juil" stay whole). Throws std::out_of_range for a month outside 1 to 12.
  std::string MonthAbbreviation(int month) const override;
  // The short date with a four-digit year, a space and the locale's time with seconds (its long
  // time format without the time zone): "12/7/2026 10:25:21 PM", "07.12.2026 22:25:21". Only
  // the date at exactly midnight.
  std::string GeneralDate(DateTime value) const override;

 private:
  QLocale locale_;
  std::string date_separator_;
  std::array<std::string, 12> months_;
  QString date_format_;
  QString time_format_;
};

// The locale the programs write with: the user's, or United States English (a FixedLocale)
// when the session runs under the plain "C"/POSIX locale, whose Qt formats ("1 Feb 1999") are
// no regional convention at all.
std::unique_ptr<Locale> MakeUserLocale();

}  // namespace brontal
