// The fixed and Qt-backed locales, checked against given locales so that the machine's own
// settings never matter, and the program folder lookup.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <stdexcept>

#include "platform/fixed_locale.h"
#include "platform/program_folder.h"
#include "platform/qt_locale.h"

namespace brontal {
namespace {

const DateTime kEvening = DateTime::FromCivil(2026, 12, 7, 22, 25, 21);
const DateTime kMidnight = DateTime::FromCivil(2026, 12, 7);

TEST(FixedLocaleTest, EnglishByDefault) {
  FixedLocale locale;
  EXPECT_EQ(locale.ThousandsSeparator(), ",");
  EXPECT_EQ(locale.DateSeparator(), "/");
  EXPECT_EQ(locale.MonthAbbreviation(1), "Jan");
  EXPECT_EQ(locale.MonthAbbreviation(12), "Dec");
  EXPECT_EQ(locale.GeneralDate(kEvening), "12/7/2026 10:25:21 PM");
  EXPECT_EQ(locale.GeneralDate(kMidnight), "12/7/2026");
  EXPECT_EQ(locale.GeneralDate(kMidnight + 1.0 / 86400), "12/7/2026 12:00:01 AM");
  EXPECT_EQ(locale.GeneralDate(DateTime::FromCivil(2026, 2, 3, 12, 0, 0)), "2/3/2026 12:00:00 PM");
  EXPECT_EQ(locale.GeneralDate(DateTime::FromCivil(2026, 2, 3, 9, 5, 3)), "2/3/2026 9:05:03 AM");
}

TEST(FixedLocaleTest, GivenSettings) {
  FixedLocale german = FixedLocale::German();
  EXPECT_EQ(german.ThousandsSeparator(), ".");
  EXPECT_EQ(german.DateSeparator(), ".");
  EXPECT_EQ(german.MonthAbbreviation(3), "Mär");
  EXPECT_EQ(german.GeneralDate(kEvening), "07.12.2026 22:25:21");
  EXPECT_EQ(german.GeneralDate(DateTime::FromCivil(2026, 2, 3, 9, 5, 3)), "03.02.2026 09:05:03");
  EXPECT_EQ(german.GeneralDate(kMidnight), "07.12.2026");

  FixedLocale iso({.date_separator = "-",
                   .date_order = FixedLocale::DateOrder::kYearMonthDay,
                   .leading_zeros = true,
                   .twelve_hour_clock = false});
  EXPECT_EQ(iso.ThousandsSeparator(), ",");  // unchanged settings keep their defaults
  EXPECT_EQ(iso.GeneralDate(DateTime::FromCivil(2026, 2, 3, 9, 5, 3)), "2026-02-03 09:05:03");
}

TEST(FixedLocaleTest, MonthOutOfRange) {
  FixedLocale locale;
  EXPECT_THROW(locale.MonthAbbreviation(0), std::out_of_range);
  EXPECT_THROW(locale.MonthAbbreviation(13), std::out_of_range);
}

TEST(QtLocaleTest, German) {
  QtLocale locale(QLocale(QLocale::German, QLocale::Germany));
  EXPECT_EQ(locale.ThousandsSeparator(), ".");
  EXPECT_EQ(locale.DateSeparator(), ".");
  EXPECT_EQ(locale.MonthAbbreviation(1), "Jan");
  EXPECT_EQ(locale.MonthAbbreviation(3), "Mär");
  EXPECT_EQ(locale.MonthAbbreviation(9), "Sep");
  EXPECT_EQ(locale.MonthAbbreviation(12), "Dez");  // "Dez." without the abbreviation mark
  EXPECT_EQ(locale.GeneralDate(kEvening), "07.12.2026 22:25:21");
  EXPECT_EQ(locale.GeneralDate(kMidnight), "07.12.2026");
}

TEST(QtLocaleTest, UnitedStatesMatchesTheFixedDefault) {
  QtLocale locale(QLocale(QLocale::English, QLocale::UnitedStates));
  FixedLocale fixed;
  EXPECT_EQ(locale.ThousandsSeparator(), fixed.ThousandsSeparator());
  EXPECT_EQ(locale.DateSeparator(), fixed.DateSeparator());
  for (int month = 1; month <= 12; ++month) {
    EXPECT_EQ(locale.MonthAbbreviation(month), fixed.MonthAbbreviation(month)) << month;
  }
  EXPECT_EQ(locale.GeneralDate(kEvening), fixed.GeneralDate(kEvening));
  EXPECT_EQ(locale.GeneralDate(kMidnight), fixed.GeneralDate(kMidnight));
  EXPECT_EQ(locale.GeneralDate(DateTime::FromCivil(2026, 2, 3, 9, 5, 3)), "2/3/2026 9:05:03 AM");
}

TEST(QtLocaleTest, MonthsStayDistinct) {
  // Cut to three letters, "juin" and "juillet" would read alike.
  QtLocale locale(QLocale(QLocale::French, QLocale::France));
  std::set<std::string> months;
  for (int month = 1; month <= 12; ++month) months.insert(locale.MonthAbbreviation(month));
  EXPECT_EQ(months.size(), 12u);
  EXPECT_EQ(locale.MonthAbbreviation(6), "juin");
  EXPECT_EQ(locale.MonthAbbreviation(7), "juil");
  EXPECT_THROW(locale.MonthAbbreviation(13), std::out_of_range);
}

TEST(QtLocaleTest, SeparatorsOfOtherLocales) {
  // French groups with a no-break space: several bytes in UTF-8.
  std::string french = QtLocale(QLocale(QLocale::French, QLocale::France)).ThousandsSeparator();
  EXPECT_GT(french.size(), 1u);
  EXPECT_TRUE(french == "\u00A0" || french == "\u202F") << french;
  EXPECT_EQ(QtLocale(QLocale(QLocale::Swedish, QLocale::Sweden)).DateSeparator(), "-");
  EXPECT_EQ(QtLocale(QLocale(QLocale::Dutch, QLocale::Netherlands)).DateSeparator(), "-");
  // Arabic-Indic digits and right-to-left marks surround the separator.
  EXPECT_EQ(QtLocale(QLocale(QLocale::Arabic, QLocale::Egypt)).DateSeparator(), "/");
}

TEST(QtLocaleTest, TimeWithoutTimeZone) {
  // Catalan writes its zone in parentheses, Chinese before the time.
  EXPECT_EQ(QtLocale(QLocale(QLocale::Catalan, QLocale::Spain)).GeneralDate(kEvening),
            "7/12/2026 22:25:21");
  EXPECT_EQ(QtLocale(QLocale(QLocale::Chinese, QLocale::China)).GeneralDate(kEvening),
            "2026/12/7 22:25:21");
}

TEST(ProgramFolderTest, HoldsTheRunningProgram) {
  std::string folder = ProgramFolder();
  EXPECT_TRUE(std::filesystem::path(folder).is_absolute()) << folder;
  EXPECT_NE(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::equivalent(
      folder, std::filesystem::canonical("/proc/self/exe").parent_path()));
}

}  // namespace
}  // namespace brontal
