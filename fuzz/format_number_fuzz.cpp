// Fuzzes the numeric pattern interpreter: a byte choosing the locale's thousands separator,
// eight bytes of value, and the rest as the pattern. A pattern it cannot read must give
// std::invalid_argument; a whole value must come out the same whether given as a whole number
// or as a double, since the two take different roads through the interpreter.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/fixed_locale.h"
#include "store/format.h"

namespace {

const brontal::FixedLocale& LocaleFor(std::uint8_t choice) {
  static const brontal::FixedLocale kLocales[] = {
      brontal::FixedLocale(),
      brontal::FixedLocale({.thousands_separator = "."}),
      brontal::FixedLocale({.thousands_separator = "\xc2\xa0"}),
      brontal::FixedLocale({.thousands_separator = ""}),
  };
  return kLocales[choice % 4];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 9) return 0;
  const brontal::FixedLocale& locale = LocaleFor(data[0]);
  std::int64_t whole;
  double real;
  std::memcpy(&whole, data + 1, sizeof whole);
  std::memcpy(&real, data + 1, sizeof real);
  const std::string_view pattern(reinterpret_cast<const char*>(data) + 9, size - 9);
  try {
    brontal::FormatNumber(real, pattern, locale);
    brontal::FormatNumber(whole, pattern, locale);
    // Small enough that the double holds it, and a hundred times it, exactly.
    const std::int64_t small = whole % (std::int64_t{1} << 40);
    if (brontal::FormatNumber(small, pattern, locale) !=
        brontal::FormatNumber(static_cast<double>(small), pattern, locale)) {
      std::abort();
    }
  } catch (const std::invalid_argument&) {
  }
  return 0;
}
