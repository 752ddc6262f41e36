// The four numbers of brontald's command line: the kept weekday, and how many weeks, months and
// days of history the purge keeps.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "store/run_error.h"

namespace brontal {

// Error numbers of a command line that gives no four numbers, as the abort line reports them.
inline constexpr int kInvalidArgument = 5;  // a number missing, or outside what it may mean
inline constexpr int kOverflow = 6;         // a number too large for a whole number
inline constexpr int kTypeMismatch = 13;    // a part that is not a whole number

// A command line that cannot be taken as the four numbers.
using ParameterError = RunError;

struct PurgeParameters {
  int dow = 0;     // the weekday whose periods are kept as weeklies, Monday 1 to Sunday 7
  int weeks = 0;   // every period younger than this many weeks is kept
  int months = 0;  // weeklies are kept for this many months of 31 days
  int days = 0;    // nothing older than this many days is kept

  bool HasZero() const { return dow == 0 || weeks == 0 || months == 0 || days == 0; }
};

// The command line as the run logs and reads it: blanks trimmed from both ends, one blank
// appended, every run of blanks made one ("1   6  12 730 " gives "1 6 12 730 ").
std::string NormalizeCommandLine(std::string_view command_line);

// The first four blank-ended numbers of a normalized command line; anything after them is
// ignored. Throws ParameterError kInvalidArgument when fewer than four are given,
// kTypeMismatch for a part that is not a whole number (an optional sign and digits), kOverflow
// for one beyond 32 bits. Zeros are taken as they are.
PurgeParameters TakeParameters(std::string_view normalized);

// The longest history, in days, that a cut-off may reach back: the purge writes years with two
// digits, which name only the fifty years before the current one, so a longer reach would come
// out as a date in the future and purge everything.
inline constexpr int kMaxDaysBack = 18000;

// Throws ParameterError kInvalidArgument unless dow is 1 to 7 and every count is positive and
// reaches back at most kMaxDaysBack days (weeks of 7, months of 31 days).
void CheckParameterRanges(const PurgeParameters& parameters);

}  // namespace brontal
