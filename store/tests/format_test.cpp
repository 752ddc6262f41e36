// Rounding, megabyte conversion and the number and date patterns the programs write with.
#include "store/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "platform/fixed_locale.h"

namespace brontal {
namespace {

constexpr std::int64_t kMegabyte = 1024 * 1024;
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();

TEST(CIntTest, RoundsHalvesToEven) {
  EXPECT_EQ(CInt(2.5), 2);
  EXPECT_EQ(CInt(3.5), 4);
  EXPECT_EQ(CInt(-2.5), -2);
  EXPECT_EQ(CInt(-3.5), -4);
  EXPECT_EQ(CInt(0.5), 0);
  EXPECT_EQ(CInt(1.5), 2);
  EXPECT_EQ(CInt(2.4999999), 2);
  EXPECT_EQ(CInt(2.5000001), 3);
  EXPECT_EQ(CInt(-0.2), 0);
  EXPECT_EQ(CInt(9007199254740993.0), 9007199254740992);  // beyond 2^53 doubles are whole
}

TEST(CIntTest, RejectsWhatNoWholeNumberHolds) {
  EXPECT_EQ(CInt(-9223372036854775808.0), kInt64Min);
  EXPECT_THROW(CInt(9223372036854775808.0), std::overflow_error);
  EXPECT_THROW(CInt(-9223372036854777856.0), std::overflow_error);  // next double below -2^63
  EXPECT_THROW(CInt(std::nan("")), std::overflow_error);
  EXPECT_THROW(CInt(std::numeric_limits<double>::infinity()), std::overflow_error);
}

TEST(MegabytesTest, WholeMegabytesRoundHalvesToEven) {
  EXPECT_EQ(ToMegabytes(0), 0);
  EXPECT_EQ(ToMegabytes(kMegabyte), 1);
  EXPECT_EQ(ToMegabytes(kMegabyte / 2), 0);
  EXPECT_EQ(ToMegabytes(kMegabyte / 2 + 1), 1);
  EXPECT_EQ(ToMegabytes(kMegabyte * 3 / 2), 2);
  EXPECT_EQ(ToMegabytes(kMegabyte * 5 / 2), 2);
  EXPECT_EQ(ToMegabytes(-kMegabyte * 3 / 2), -2);
  EXPECT_EQ(ToMegabytes(-kMegabyte * 5 / 2), -2);
  EXPECT_EQ(ToMegabytes(-kMegabyte / 2 - 1), -1);
  // Far beyond what a four-decimal fixed-point value could hold.
  EXPECT_EQ(ToMegabytes(kInt64Max), 8796093022208);
  EXPECT_EQ(ToMegabytes(kInt64Min), -8796093022208);
  EXPECT_EQ(ToMegabytes(1000LL * 1024 * kMegabyte * 1024), 1000LL * 1024 * 1024);  // 1000 TB
}

TEST(MegabytesTest, ExactMegabytesKeepFourDecimals) {
  EXPECT_DOUBLE_EQ(MegabytesExact(kMegabyte * 3 / 2), 1.5);
  EXPECT_DOUBLE_EQ(MegabytesExact(-kMegabyte * 3 / 2), -1.5);
  EXPECT_DOUBLE_EQ(MegabytesExact(52), 0.0);     // 0.0000496
  EXPECT_DOUBLE_EQ(MegabytesExact(53), 0.0001);  // 0.0000505
  EXPECT_DOUBLE_EQ(MegabytesExact(-53), -0.0001);
  EXPECT_DOUBLE_EQ(MegabytesExact(kMegabyte + 123456), 1.1177);  // 1.117736...
  EXPECT_DOUBLE_EQ(MegabytesExact(kInt64Max), 8796093022208.0);
}

class FormatNumberTest : public ::testing::Test {
 protected:
  FixedLocale english_;
  FixedLocale german_ = FixedLocale::German();
};

TEST_F(FormatNumberTest, GroupedWholeNumbers) {
  EXPECT_EQ(FormatNumber(1234567, "#,##0", english_), "1,234,567");
  EXPECT_EQ(FormatNumber(1234567, "#,##0", german_), "1.234.567");
  EXPECT_EQ(FormatNumber(-1234, "#,##0", english_), "-1,234");
  EXPECT_EQ(FormatNumber(0, "#,##0", english_), "0");
  EXPECT_EQ(FormatNumber(999, "#,##0", english_), "999");
  EXPECT_EQ(FormatNumber(1000, "#,##0", english_), "1,000");
  EXPECT_EQ(FormatNumber(1234567, "0", english_), "1234567");
  EXPECT_EQ(FormatNumber(7, "000", english_), "007");
  EXPECT_EQ(FormatNumber(0, "#,###", english_), "");
}

TEST_F(FormatNumberTest, WholeNumbersStayExactOverSixtyFourBits) {
  EXPECT_EQ(FormatNumber(kInt64Max, "#,##0", english_), "9,223,372,036,854,775,807");
  EXPECT_EQ(FormatNumber(kInt64Min, "#,##0", english_), "-9,223,372,036,854,775,808");
  EXPECT_EQ(FormatNumber(kInt64Min, "#,##0 ;#,##0-", english_), "9,223,372,036,854,775,808-");
  EXPECT_EQ(FormatNumber(kInt64Max, "#,##0%", english_), "922,337,203,685,477,580,700%");
}

TEST_F(FormatNumberTest, FractionsRoundHalfAwayFromZero) {
  EXPECT_EQ(FormatNumber(2.5, "#,##0", english_), "3");
  EXPECT_EQ(FormatNumber(-2.5, "#,##0", english_), "-3");
  EXPECT_EQ(FormatNumber(2.4999, "#,##0", english_), "2");
  EXPECT_EQ(FormatNumber(999999.5, "#,##0", english_), "1,000,000");
  EXPECT_EQ(FormatNumber(0.125, "0.00", english_), "0.13");
  // 1.005 is 1.00499999999999989... as a double; written as the user sees it, it rounds up.
  EXPECT_EQ(FormatNumber(1.005, "0.00", english_), "1.01");
  EXPECT_EQ(FormatNumber(9.995, "0.00", english_), "10.00");
  EXPECT_EQ(FormatNumber(1e20, "#,##0", english_), "100,000,000,000,000,000,000");
  EXPECT_EQ(FormatNumber(1e-20, "0.00", english_), "0.00");
  // Rounded to nothing, a negative value loses its sign.
  EXPECT_EQ(FormatNumber(-0.4, "#,##0", english_), "0");
  EXPECT_EQ(FormatNumber(-0.0, "#,##0", english_), "0");
}

TEST_F(FormatNumberTest, Decimals) {
  EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", english_), "1,234.50");
  EXPECT_EQ(FormatNumber(1234.5, "#,##0.00", german_), "1.234,50");
  EXPECT_EQ(FormatNumber(0.5, "0.00", english_), "0.50");
  EXPECT_EQ(FormatNumber(0.5, "#.##", english_), ".5");
  EXPECT_EQ(FormatNumber(2.0, "0.##", english_), "2");
  EXPECT_EQ(FormatNumber(2.25, "0.0#", english_), "2.25");
  EXPECT_EQ(FormatNumber(2.0, "0.0#", english_), "2.0");
  EXPECT_EQ(FormatNumber(12, "0.00", english_), "12.00");
}

TEST_F(FormatNumberTest, ChangeSections) {
  const char* change = "#,##0 ;#,##0-";
  EXPECT_EQ(FormatNumber(1234, change, english_), "1,234 ");
  EXPECT_EQ(FormatNumber(-1234, change, english_), "1,234-");
  EXPECT_EQ(FormatNumber(0, change, english_), "0 ");
  EXPECT_EQ(FormatNumber(-0.3, change, english_), "0 ");
  EXPECT_EQ(FormatNumber(-1234567.6, change, german_), "1.234.568-");
}

TEST_F(FormatNumberTest, ZeroSectionQuotesAndEscapes) {
  const char* pattern = "#,##0;(#,##0);\"nil\"";
  EXPECT_EQ(FormatNumber(5, pattern, english_), "5");
  EXPECT_EQ(FormatNumber(-5, pattern, english_), "(5)");
  EXPECT_EQ(FormatNumber(0, pattern, english_), "nil");
  EXPECT_EQ(FormatNumber(0.2, pattern, english_), "nil");
  EXPECT_EQ(FormatNumber(-5, "#,##0;", english_), "-5");  // an empty section falls back
  EXPECT_EQ(FormatNumber(42, "\"#;\"0\\# MB", english_), "#;42# MB");
}

TEST_F(FormatNumberTest, Percent) {
  EXPECT_EQ(FormatNumber(0.756, "#,##0%", english_), "76%");
  EXPECT_EQ(FormatNumber(0.005, "#,##0%", english_), "1%");
  EXPECT_EQ(FormatNumber(1.0, "#,##0%", english_), "100%");
  EXPECT_EQ(FormatNumber(12.3456, "#,##0%", english_), "1,235%");
  EXPECT_EQ(FormatNumber(-0.25, "#,##0%", english_), "-25%");
  EXPECT_EQ(FormatNumber(3, "#,##0%", english_), "300%");
}

TEST_F(FormatNumberTest, MultiByteSeparator) {
  FixedLocale french({.thousands_separator = "\u202F"});
  EXPECT_EQ(FormatNumber(1234567, "#,##0", french), "1\u202F234\u202F567");
}

// Whole numbers (and whole doubles under 10^15) take a shorter way than fractions; both must
// write the same text, whichever patterns were used before.
TEST_F(FormatNumberTest, WholeNumbersWriteAsFractionsDo) {
  const char* change = "#,##0 ;#,##0-";
  for (int round = 0; round < 2; ++round) {
    EXPECT_EQ(FormatNumber(999999999999999.0, "#,##0", german_), "999.999.999.999.999");
    EXPECT_EQ(FormatNumber(999999999999999.2, "#,##0", english_), "999,999,999,999,999");
    // From 10^15 a double is written to 15 significant digits.
    EXPECT_EQ(FormatNumber(1234567890123456.0, "#,##0", english_), "1,234,567,890,123,460");
    EXPECT_EQ(FormatNumber(-1000.0, change, english_), "1,000-");
    EXPECT_EQ(FormatNumber(-999.6, change, english_), "1,000-");
    EXPECT_EQ(FormatNumber(std::int64_t{-1}, "#,##0;;\"zero\"", english_), "-1");
    EXPECT_EQ(FormatNumber(std::int64_t{0}, "#,##0;;\"zero\"", english_), "zero");
    EXPECT_EQ(FormatNumber(-12.0, "0000 MB;(0,000)", english_), "(0,012)");
    EXPECT_EQ(FormatNumber(-12.0, "#,##0.0", english_), "-12.0");
  }
}

TEST_F(FormatNumberTest, NonFiniteValues) {
  EXPECT_EQ(FormatNumber(std::nan(""), "#,##0", english_), "NaN");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity(), "#,##0", english_), "-Infinity");
}

TEST_F(FormatNumberTest, RejectsPatternsItCannotFollow) {
  EXPECT_THROW(FormatNumber(1, "", english_), std::invalid_argument);
  EXPECT_THROW(FormatNumber(1, "#x#", english_), std::invalid_argument);
}

class FormatDateTest : public ::testing::Test {
 protected:
  FixedLocale english_;
  FixedLocale german_ = FixedLocale::German();
  DateTime evening_ = DateTime::FromCivil(2026, 12, 6, 22, 4, 5);
  DateTime morning_ = DateTime::FromCivil(2005, 1, 2, 0, 30, 9);
};

TEST_F(FormatDateTest, PeriodPatterns) {
  EXPECT_EQ(FormatDate(evening_, "dd-mmm-yyyy hh:nn", english_), "06-Dec-2026 22:04");
  EXPECT_EQ(FormatDate(evening_, "dd-mmm-yyyy hh:mm", english_), "06-Dec-2026 22:04");
  EXPECT_EQ(FormatDate(evening_, "dd-mmm-yyyy hh:nn", german_), "06-Dez-2026 22:04");
  EXPECT_EQ(FormatDate(evening_, "yyyy-mm-dd hh:mm", english_), "2026-12-06 22:04");
  EXPECT_EQ(FormatDate(morning_, "dd-mmm-yyyy hh:nn", english_), "02-Jan-2005 00:30");
}

TEST_F(FormatDateTest, MonthOrMinutes) {
  EXPECT_EQ(FormatDate(evening_, "m/d/yy h:m:s", english_), "12/6/26 22:4:5");
  EXPECT_EQ(FormatDate(evening_, "m/d/yy hh:nn", english_), "12/6/26 22:04");
  EXPECT_EQ(FormatDate(evening_, "mm:ss", english_), "04:05");
  EXPECT_EQ(FormatDate(evening_, "mm", english_), "12");
  EXPECT_EQ(FormatDate(evening_, "hh mm", english_), "22 04");
  EXPECT_EQ(FormatDate(evening_, "mm hh", english_), "12 22");
  EXPECT_EQ(FormatDate(evening_, "DD-MMM-YYYY HH:NN", english_), "06-Dec-2026 22:04");
}

TEST_F(FormatDateTest, DateSeparatorIsTheLocales) {
  EXPECT_EQ(FormatDate(evening_, "d/m/yyyy", german_), "6.12.2026");
  EXPECT_EQ(FormatDate(evening_, "m/d/yy h:m:s", german_), "12.6.26 22:4:5");
  EXPECT_EQ(FormatDate(evening_, "m/d/yy h:m:s", FixedLocale({.date_separator = "\u2215"})),
            "12\u22156\u221526 22:4:5");
}

TEST_F(FormatDateTest, TwelveHourClock) {
  EXPECT_EQ(FormatDate(evening_, "h:nn AM/PM", english_), "10:04 PM");
  EXPECT_EQ(FormatDate(morning_, "hh:nn am/pm", english_), "12:30 am");
  EXPECT_EQ(FormatDate(DateTime::FromCivil(2026, 1, 1, 12), "h AM/PM", english_), "12 PM");
}

TEST_F(FormatDateTest, Literals) {
  EXPECT_EQ(FormatDate(evening_, "\"day\" d, \\h\\h hh", english_), "day 6, hh 22");
  EXPECT_EQ(FormatDate(evening_, "yyyy_mm_dd T", english_), "2026_12_06 T");
}

TEST_F(FormatDateTest, RejectsUnknownTokens) {
  EXPECT_THROW(FormatDate(evening_, "ddd", english_), std::invalid_argument);
  EXPECT_THROW(FormatDate(evening_, "y", english_), std::invalid_argument);
  EXPECT_THROW(FormatDate(evening_, "yyy", english_), std::invalid_argument);
  EXPECT_THROW(FormatDate(evening_, "hhh", english_), std::invalid_argument);
}

TEST(SqlDateTextTest, AlwaysSlashesMonthFirst) {
  DateTime evening = DateTime::FromCivil(2026, 12, 6, 22, 4, 5);
  EXPECT_EQ(SqlDateText(evening, "m/d/yy h:m:s"), "12/6/26 22:4:5");
  EXPECT_EQ(SqlDateText(evening, "m/d/yy hh:nn"), "12/6/26 22:04");
  EXPECT_EQ(SqlDateText(evening), "12/6/26 22:04");
  EXPECT_EQ(SqlDateText(DateTime::FromCivil(2005, 1, 2, 3)), "1/2/05 03:00");
  EXPECT_EQ(SqlDateText(evening, "dd-mmm-yyyy"), "06-Dec-2026");
}

}  // namespace
}  // namespace brontal
