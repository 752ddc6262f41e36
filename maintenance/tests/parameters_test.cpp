// Reading the four numbers: blanks, missing and extra parts, words, zeros, and the ranges that
// keep a typing error from purging everything.
#include "maintenance/parameters.h"

#include <gtest/gtest.h>

namespace brontal {
namespace {

// The number of the ParameterError that taking the numbers of `command_line` throws; 0 for
// none.
int ErrorOf(std::string_view command_line) {
  try {
    PurgeParameters parameters = TakeParameters(NormalizeCommandLine(command_line));
    CheckParameterRanges(parameters);
  } catch (const ParameterError& error) {
    return error.Number();
  }
  return 0;
}

void ExpectParameters(std::string_view command_line, int dow, int weeks, int months, int days) {
  PurgeParameters p = TakeParameters(NormalizeCommandLine(command_line));
  EXPECT_EQ(p.dow, dow) << command_line;
  EXPECT_EQ(p.weeks, weeks) << command_line;
  EXPECT_EQ(p.months, months) << command_line;
  EXPECT_EQ(p.days, days) << command_line;
}

TEST(ParametersTest, BlanksAroundAndBetweenCountAsOne) {
  EXPECT_EQ(NormalizeCommandLine("1 6 12 730"), "1 6 12 730 ");
  EXPECT_EQ(NormalizeCommandLine("  1   6  12 730 "), "1 6 12 730 ");
  EXPECT_EQ(NormalizeCommandLine("    "), " ");
  ExpectParameters("1 6 12 730", 1, 6, 12, 730);
  ExpectParameters("1   6  12 730 ", 1, 6, 12, 730);
  ExpectParameters("7 1 1 1 and anything after the fourth", 7, 1, 1, 1);
  ExpectParameters("+2 06 12 730", 2, 6, 12, 730);
}

TEST(ParametersTest, MissingNumbersWordsAndHugeNumbersAreErrors) {
  EXPECT_EQ(ErrorOf("1 6 12"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1 six 12 730"), kTypeMismatch);
  EXPECT_EQ(ErrorOf("1 6 12 730days"), kTypeMismatch);
  EXPECT_EQ(ErrorOf("1 6 12 7.5"), kTypeMismatch);
  EXPECT_EQ(ErrorOf("1 6 - 730"), kTypeMismatch);
  EXPECT_EQ(ErrorOf("1 6 12 99999999999"), kOverflow);
  EXPECT_EQ(ErrorOf("1 6 12 730"), 0);
}

TEST(ParametersTest, ZerosAreTakenForTheRunToRefuse) {
  PurgeParameters p = TakeParameters(NormalizeCommandLine("0 6 12 730"));
  EXPECT_TRUE(p.HasZero());
  EXPECT_TRUE(TakeParameters("1 6 0 730 ").HasZero());
  EXPECT_FALSE(TakeParameters("1 6 12 730 ").HasZero());
}

TEST(ParametersTest, RangesStopWhatWouldPurgeTooMuch) {
  EXPECT_EQ(ErrorOf("8 6 12 730"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("-1 6 12 730"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1 6 12 -730"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1 -6 12 730"), kInvalidArgument);
  // The farthest reaches a two-digit year still names rightly, and one day beyond.
  EXPECT_EQ(ErrorOf("7 2571 580 18000"), 0);
  EXPECT_EQ(ErrorOf("1 6 12 18001"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1 6 581 730"), kInvalidArgument);
  EXPECT_EQ(ErrorOf("1 2572 12 730"), kInvalidArgument);
}

}  // namespace
}  // namespace brontal
