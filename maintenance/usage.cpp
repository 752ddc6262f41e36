// The usage text and the choice between the window and standard output.
#include "maintenance/usage.h"

#include <array>

namespace brontal {

std::span<const std::string_view> UsageLines() {
  static constexpr std::array<std::string_view, 19> kLines = {
      "BRONTALD purges old data and repairs/compresses the ",
      "database.  ",
      "",
      "It takes 4 parameters:",
      "",
      "1  The day of the week to keep for weekies - Monday is 1, ",
      "Tuesday is 2...",
      "",
      "2  The number of weeks to keep all daily information for, i.e. daily information ",
      "older than this is deleted keeping only weeklies and monthlies, e.g. 6 weeks",
      "",
      "3  The number of months to keep weeklies.  Only the 1st of the month is keep ",
      "after this, e.g. 12 months",
      "",
      "4  The number of days to keep any information.  All data older than this is ",
      "deleted, e.g. 730 days",
      "",
      "Example:",
      "  BRONTALD 1 6 12 730",
  };
  return kLines;
}

std::string UsageText(std::string_view line_end) {
  std::string text;
  for (std::string_view line : UsageLines()) {
    text += line;
    text += line_end;
  }
  return text;
}


}  // namespace brontal
