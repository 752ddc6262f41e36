// Reading brontald's four numbers the way its command line has always been read.
#include "maintenance/parameters.h"

#include <cstdint>

namespace brontal {
namespace {

int WholeNumber(std::string_view text) {
  std::size_t i = text.empty() || (text[0] != '+' && text[0] != '-') ? 0 : 1;
  if (i == text.size()) {
    throw ParameterError(kTypeMismatch, "Type mismatch: '" + std::string(text) + "'");
  }
  const bool negative = text[0] == '-';
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') {
      throw ParameterError(kTypeMismatch, "Type mismatch: '" + std::string(text) + "'");
    }
    value = value * 10 + (text[i] - '0');
    if (value > std::int64_t{INT32_MAX} + (negative ? 1 : 0)) {
      throw ParameterError(kOverflow, "Overflow: '" + std::string(text) + "'");
    }
  }
  return static_cast<int>(negative ? -value : value);
}

void CheckReach(std::string_view name, int count, int days_each) {
  if (count < 1 || std::int64_t{count} * days_each > kMaxDaysBack) {
    throw ParameterError(kInvalidArgument,
                         "Invalid procedure call or argument: " + std::string(name) + " " +
                             std::to_string(count) + " is not 1 to " +
                             std::to_string(kMaxDaysBack / days_each));
  }
}

}  // namespace

std::string NormalizeCommandLine(std::string_view command_line) {
  const std::size_t first = command_line.find_first_not_of(' ');
  std::string normalized;
  if (first != std::string_view::npos) {
    command_line = command_line.substr(first, command_line.find_last_not_of(' ') - first + 1);
    for (char c : command_line) {
      if (c != ' ' || normalized.back() != ' ') normalized += c;
    }
  }
  return normalized + " ";
}

PurgeParameters TakeParameters(std::string_view normalized) {
  int numbers[4];
  for (int& number : numbers) {
    const std::size_t blank = normalized.find(' ');
    if (blank == std::string_view::npos) {
      throw ParameterError(kInvalidArgument,
                           "Invalid procedure call or argument: four numbers are needed");
    }
    number = WholeNumber(normalized.substr(0, blank));
    normalized.remove_prefix(blank + 1);
  }
  return {numbers[0], numbers[1], numbers[2], numbers[3]};
}

void CheckParameterRanges(const PurgeParameters& parameters) {
  if (parameters.dow < 1 || parameters.dow > 7) {
    throw ParameterError(kInvalidArgument, "Invalid procedure call or argument: dow " +
                                               std::to_string(parameters.dow) +
                                               " is not 1 (Monday) to 7 (Sunday)");
  }
  CheckReach("weeks", parameters.weeks, 7);
  CheckReach("months", parameters.months, 31);
  CheckReach("days", parameters.days, 1);
}

}  // namespace brontal
