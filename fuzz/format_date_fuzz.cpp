// Fuzzes the date pattern interpreter: eight bytes choosing an instant between the years 1 and
// 9999, the range of stored dates, and the rest as the pattern, written in the user's way and in
// the database's. A pattern it cannot read must give std::invalid_argument.
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "platform/fixed_locale.h"
#include "store/format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const brontal::FixedLocale kLocales[] = {
      brontal::FixedLocale(),
      brontal::FixedLocale({.date_separator = ".",
                            .date_order = brontal::FixedLocale::DateOrder::kDayMonthYear,
                            .leading_zeros = true,
                            .twelve_hour_clock = false}),
  };
  if (size < 8) return 0;
  std::uint64_t chosen;
  std::memcpy(&chosen, data, sizeof chosen);
  const std::int64_t first = brontal::DateTime::FromCivil(1, 1, 1).Seconds();
  const std::int64_t last = brontal::DateTime::FromCivil(9999, 12, 31, 23, 59, 59).Seconds();
  const auto span = static_cast<std::uint64_t>(last - first + 1);
  const brontal::DateTime value =
      brontal::DateTime::FromSeconds(first + static_cast<std::int64_t>(chosen % span));
  const std::string_view pattern(reinterpret_cast<const char*>(data) + 8, size - 8);
  try {
    brontal::FormatDate(value, pattern, kLocales[chosen % 2]);
    brontal::SqlDateText(value, pattern);
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
