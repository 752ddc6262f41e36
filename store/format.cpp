// Number and date formatting: a small interpreter of the numeric and date patterns the programs
// use, working on decimal digit strings so that rounding is exact and 64-bit values never
// pass through a double.
#include "store/format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/fixed_locale.h"

namespace brontal {
namespace {

constexpr std::int64_t kBytesPerMegabyte = 1024 * 1024;

// Rounds numerator / denominator (denominator > 0) to the nearest whole number, halves to even.
std::int64_t DivideHalfEven(std::int64_t numerator, std::int64_t denominator) {
  std::int64_t quotient = numerator / denominator;
  std::int64_t remainder = numerator % denominator;  // carries the numerator's sign
  std::int64_t twice = remainder < 0 ? -remainder * 2 : remainder * 2;
  if (twice > denominator || (twice == denominator && quotient % 2 != 0)) {
    quotient += numerator < 0 ? -1 : 1;
  }
  return quotient;
}

// ---- Numbers ---------------------------------------------------------------------------------

// A number as decimal digits: its magnitude is digits × 10^exponent; "" means zero.
struct Decimal {
  bool negative = false;
  std::string digits;
  int exponent = 0;
};

void StripLeadingZeros(std::string& digits) {
  std::size_t first = digits.find_first_not_of('0');
  digits.erase(0, first == std::string::npos ? digits.size() : first);
}

Decimal FromInteger(std::int64_t value) {
  Decimal number;
  number.negative = value < 0;
  std::uint64_t magnitude =
      number.negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  number.digits = magnitude == 0 ? "" : std::to_string(magnitude);
  return number;
}

// The double to 15 significant digits, as far as a double's value is meaningful; rounding then
// works on what the user would see (1.005 rounds up to 1.01, not down from 1.00499999...).
Decimal FromDouble(double value) {
  Decimal number;
  number.negative = std::signbit(value);
  char text[32];
  std::snprintf(text, sizeof text, "%.14e", std::fabs(value));  // d.dddddddddddddde±XX
  std::string_view view(text);
  std::size_t e = view.find('e');
  number.digits = std::string(1, view[0]) + std::string(view.substr(2, e - 2));
  number.exponent = std::atoi(text + e + 1) - static_cast<int>(number.digits.size() - 1);
  StripLeadingZeros(number.digits);
  while (!number.digits.empty() && number.digits.back() == '0') {
    number.digits.pop_back();
    ++number.exponent;
  }
  return number;
}

// Rounds to `decimals` places, halves away from zero.
Decimal Rounded(Decimal number, int decimals) {
  if (number.exponent >= -decimals) return number;
  std::size_t dropped = static_cast<std::size_t>(-decimals - number.exponent);
  std::string kept;
  bool round_up = false;
  if (dropped <= number.digits.size()) {
    kept = number.digits.substr(0, number.digits.size() - dropped);
    round_up = number.digits[number.digits.size() - dropped] >= '5';
  }
  if (round_up) {
    std::size_t i = kept.size();
    while (i > 0 && kept[i - 1] == '9') kept[--i] = '0';
    if (i == 0) {
      kept.insert(kept.begin(), '1');
    } else {
      ++kept[i - 1];
    }
  }
  StripLeadingZeros(kept);
  number.digits = kept;
  number.exponent = -decimals;
  return number;
}

// One section of a numeric pattern, parsed.
struct NumberSection {
  std::string prefix;
  std::string suffix;
  bool has_digits = false;
  int min_integer_digits = 0;
  bool grouped = false;
  int min_decimals = 0;
  int max_decimals = 0;
  int percent_signs = 0;
};

bool IsPlaceholder(char c) { return c == '#' || c == '0' || c == ',' || c == '.'; }

NumberSection ParseNumberSection(std::string_view pattern) {
  NumberSection section;
  enum { kBefore, kInside, kAfter } state = kBefore;
  bool in_decimals = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    if (IsPlaceholder(c)) {
      if (state == kAfter) {
        throw std::invalid_argument("number pattern with two digit runs: " + std::string(pattern));
      }
      state = kInside;
      section.has_digits = true;
      if (c == '.') {
        in_decimals = true;
      } else if (c == ',') {
        if (!in_decimals) section.grouped = true;
      } else if (in_decimals) {
        ++section.max_decimals;
        if (c == '0') section.min_decimals = section.max_decimals;
      } else if (c == '0') {
        ++section.min_integer_digits;
      }
      continue;
    }
    if (state == kInside) state = kAfter;
    std::string& literal = state == kBefore ? section.prefix : section.suffix;
    if (c == '"') {
      std::size_t close = pattern.find('"', i + 1);
      if (close == std::string_view::npos) close = pattern.size();
      literal.append(pattern.substr(i + 1, close - i - 1));
      i = close;
    } else if (c == '\\' && i + 1 < pattern.size()) {
      literal += pattern[++i];
    } else {
      if (c == '%') ++section.percent_signs;
      literal += c;
    }
  }
  return section;
}

// Splits a pattern at the ";" that are not quoted or escaped.
std::vector<std::string_view> SplitSections(std::string_view pattern) {
  std::vector<std::string_view> sections;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '"') {
      quoted = !quoted;
    } else if (pattern[i] == '\\' && !quoted) {
      ++i;
    } else if (pattern[i] == ';' && !quoted) {
      sections.push_back(pattern.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(pattern.substr(start));
  return sections;
}

Decimal ScaledAndRounded(Decimal number, const NumberSection& section) {
  if (!number.digits.empty()) number.exponent += 2 * section.percent_signs;
  return Rounded(number, section.max_decimals);
}

// Writes the magnitude of an already rounded number with a section, no sign.
std::string WriteSection(const Decimal& number, const NumberSection& section,
                         const Locale& locale) {
  if (!section.has_digits) return section.prefix + section.suffix;
  std::string integer;
  std::string fraction;
  int point = static_cast<int>(number.digits.size()) + number.exponent;
  if (number.exponent >= 0) {
    integer = number.digits + std::string(static_cast<std::size_t>(number.exponent), '0');
  } else if (point <= 0) {
    fraction = std::string(static_cast<std::size_t>(-point), '0') + number.digits;
  } else {
    integer = number.digits.substr(0, static_cast<std::size_t>(point));
    fraction = number.digits.substr(static_cast<std::size_t>(point));
  }
  if (integer.size() < static_cast<std::size_t>(section.min_integer_digits)) {
    integer.insert(0, static_cast<std::size_t>(section.min_integer_digits) - integer.size(), '0');
  }
  fraction.resize(static_cast<std::size_t>(section.max_decimals), '0');
  while (fraction.size() > static_cast<std::size_t>(section.min_decimals) &&
         fraction.back() == '0') {
    fraction.pop_back();
  }

  const std::string separator = locale.ThousandsSeparator();
  std::string text = section.prefix;
  for (std::size_t i = 0; i < integer.size(); ++i) {
    if (section.grouped && i > 0 && (integer.size() - i) % 3 == 0) text += separator;
    text += integer[i];
  }
  if (section.max_decimals > 0) {
    if (!fraction.empty()) text += separator == "." ? "," : ".";
    text += fraction;
  }
  return text + section.suffix;
}

// A pattern cut into its sections and parsed. An empty negative or zero section is absent, so
// that it falls back on the positive one.
struct ParsedPattern {
  std::string text;
  NumberSection positive;
  std::optional<NumberSection> negative;
  std::optional<NumberSection> zero;
};

// The parsed form of `pattern`. A list writes thousands of cells with one or two patterns, so the
// last few parsed are kept, one set a thread.
const ParsedPattern& Parsed(std::string_view pattern) {
  constexpr std::size_t kKept = 8;
  thread_local std::vector<ParsedPattern> kept;
  for (const ParsedPattern& parsed : kept) {
    if (parsed.text == pattern) return parsed;
  }
  if (pattern.empty()) throw std::invalid_argument("empty number pattern");
  std::vector<std::string_view> parts = SplitSections(pattern);
  ParsedPattern parsed{std::string(pattern), ParseNumberSection(parts[0]), {}, {}};
  if (parts.size() >= 2 && !parts[1].empty()) parsed.negative = ParseNumberSection(parts[1]);
  if (parts.size() >= 3 && !parts[2].empty()) parsed.zero = ParseNumberSection(parts[2]);
  if (kept.size() == kKept) kept.erase(kept.begin());
  kept.push_back(std::move(parsed));
  return kept.back();
}

std::string FormatDecimal(const Decimal& number, std::string_view pattern, const Locale& locale) {
  const ParsedPattern& parsed = Parsed(pattern);
  Decimal rounded = ScaledAndRounded(number, parsed.positive);
  if (rounded.digits.empty()) {
    if (parsed.zero)
      return WriteSection(ScaledAndRounded(Decimal{}, *parsed.zero), *parsed.zero, locale);
    return WriteSection(rounded, parsed.positive, locale);
  }
  if (!number.negative) return WriteSection(rounded, parsed.positive, locale);
  if (parsed.negative) {
    return WriteSection(ScaledAndRounded(number, *parsed.negative), *parsed.negative, locale);
  }
  return "-" + WriteSection(rounded, parsed.positive, locale);
}

// Whether WriteSection would write a whole number with `section` as it stands: no decimals and
// no percent scaling, so that nothing is rounded.
bool WritesWholeAsIs(const NumberSection& section) {
  return section.has_digits && section.max_decimals == 0 && section.percent_signs == 0;
}

// WriteSection for the magnitude of a whole number, without building a Decimal: the size and
// change cells of the lists, thousands a list.
std::string WriteWhole(std::uint64_t magnitude, const NumberSection& section,
                       const std::string& separator) {
  char digits[24];
  char* first = std::end(digits);
  for (; magnitude != 0; magnitude /= 10) *--first = static_cast<char>('0' + magnitude % 10);
  const auto length = static_cast<std::size_t>(std::end(digits) - first);
  const std::size_t padding = length < static_cast<std::size_t>(section.min_integer_digits)
                                  ? static_cast<std::size_t>(section.min_integer_digits) - length
                                  : 0;
  const std::size_t width = length + padding;
  std::string text;
  text.reserve(section.prefix.size() + width + width / 3 * separator.size() +
               section.suffix.size());
  text += section.prefix;
  for (std::size_t i = 0; i < width; ++i) {
    if (section.grouped && i > 0 && (width - i) % 3 == 0) text += separator;
    text += i < padding ? '0' : first[i - padding];
  }
  return text += section.suffix;
}

// FormatDecimal for a whole number when the section that writes it keeps it as it stands;
// nullopt otherwise.
std::optional<std::string> FormatWhole(std::int64_t value, std::string_view pattern,
                                       const Locale& locale) {
  const ParsedPattern& parsed = Parsed(pattern);
  const bool negative = value < 0;
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  const NumberSection& section = magnitude == 0 && parsed.zero ? *parsed.zero
                                 : negative && parsed.negative ? *parsed.negative
                                                               : parsed.positive;
  if (!WritesWholeAsIs(section)) return std::nullopt;
  const std::string text = WriteWhole(magnitude, section, locale.ThousandsSeparator());
  return negative && !parsed.negative ? "-" + text : text;
}

// ---- Dates -----------------------------------------------------------------------------------

struct DateToken {
  enum Kind {
    kLiteral,
    kDateSeparator,
    kDay,
    kMonthOrMinute,
    kMonthName,
    kYear,
    kHour,
    kMinute,
    kSecond,
    kAmPm
  };
  Kind kind = kLiteral;
  int width = 0;
  std::string text;  // a literal's characters; for kAmPm, "AM" or "am" as the pattern wrote it
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool StartsWithAmPm(std::string_view text) {
  if (text.size() < 5) return false;
  std::string_view expected = "am/pm";
  for (std::size_t i = 0; i < 5; ++i) {
    if (Lower(text[i]) != expected[i]) return false;
  }
  return true;
}

void AppendLiteral(std::vector<DateToken>& tokens, std::string_view text) {
  if (tokens.empty() || tokens.back().kind != DateToken::kLiteral) tokens.push_back({});
  tokens.back().text.append(text);
}

DateToken LetterToken(char letter, int width, std::string_view pattern) {
  auto fail = [&] {
    throw std::invalid_argument("unsupported date pattern token \"" +
                                std::string(static_cast<std::size_t>(width), letter) + "\" in \"" +
                                std::string(pattern) + "\"");
  };
  switch (letter) {
    case 'd':
      if (width > 2) fail();
      return {DateToken::kDay, width, ""};
    case 'm':
      if (width > 4) fail();
      return {width >= 3 ? DateToken::kMonthName : DateToken::kMonthOrMinute, width, ""};
    case 'y':
      if (width != 2 && width != 4) fail();
      return {DateToken::kYear, width, ""};
    case 'h':
      if (width > 2) fail();
      return {DateToken::kHour, width, ""};
    case 'n':
      if (width > 2) fail();
      return {DateToken::kMinute, width, ""};
    default:  // 's'
      if (width > 2) fail();
      return {DateToken::kSecond, width, ""};
  }
}

std::vector<DateToken> ParseDatePattern(std::string_view pattern) {
  std::vector<DateToken> tokens;
  for (std::size_t i = 0; i < pattern.size();) {
    char c = pattern[i];
    char letter = Lower(c);
    if (c == '"') {
      std::size_t close = pattern.find('"', i + 1);
      if (close == std::string_view::npos) close = pattern.size();
      AppendLiteral(tokens, pattern.substr(i + 1, close - i - 1));
      i = close + 1;
    } else if (c == '\\' && i + 1 < pattern.size()) {
      AppendLiteral(tokens, pattern.substr(i + 1, 1));
      i += 2;
    } else if (StartsWithAmPm(pattern.substr(i))) {
      tokens.push_back({DateToken::kAmPm, 0, c == 'A' ? "AM" : "am"});
      i += 5;
    } else if (c == '/') {
      tokens.push_back({DateToken::kDateSeparator, 0, ""});
      ++i;
    } else if (letter == 'd' || letter == 'm' || letter == 'y' || letter == 'h' || letter == 'n' ||
               letter == 's') {
      std::size_t end = i;
      while (end < pattern.size() && Lower(pattern[end]) == letter) ++end;
      tokens.push_back(LetterToken(letter, static_cast<int>(end - i), pattern));
      i = end;
    } else {
      AppendLiteral(tokens, pattern.substr(i, 1));
      ++i;
    }
  }

  // An "m" or "mm" is minutes next to the hour or the seconds, the month everywhere else.
  auto is_field = [](const DateToken& token) {
    return token.kind != DateToken::kLiteral && token.kind != DateToken::kDateSeparator;
  };
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != DateToken::kMonthOrMinute) continue;
    const DateToken* previous = nullptr;
    for (std::size_t j = i; j > 0; --j) {
      if (is_field(tokens[j - 1])) {
        previous = &tokens[j - 1];
        break;
      }
    }
    const DateToken* next = nullptr;
    for (std::size_t j = i + 1; j < tokens.size(); ++j) {
      if (is_field(tokens[j])) {
        next = &tokens[j];
        break;
      }
    }
    bool minutes = (previous != nullptr && previous->kind == DateToken::kHour) ||
                   (next != nullptr && next->kind == DateToken::kSecond);
    tokens[i].kind = minutes ? DateToken::kMinute : DateToken::kMonthOrMinute;
  }
  return tokens;
}

std::string Padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (digits.size() < static_cast<std::size_t>(width)) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  return digits;
}

std::string FormatDateWith(DateTime value, std::string_view pattern,
                           std::string_view date_separator, const Locale& months) {
  std::vector<DateToken> tokens = ParseDatePattern(pattern);
  bool twelve_hour = false;
  for (const DateToken& token : tokens) twelve_hour |= token.kind == DateToken::kAmPm;

  std::string text;
  for (const DateToken& token : tokens) {
    switch (token.kind) {
      case DateToken::kLiteral:
        text += token.text;
        break;
      case DateToken::kDateSeparator:
        text += date_separator;
        break;
      case DateToken::kDay:
        text += Padded(value.Day(), token.width);
        break;
      case DateToken::kMonthOrMinute:  // resolved to the month
        text += Padded(value.Month(), token.width);
        break;
      case DateToken::kMonthName:
        text += months.MonthAbbreviation(value.Month());
        break;
      case DateToken::kYear:
        text += token.width == 2 ? Padded(value.Year() % 100, 2) : Padded(value.Year(), 4);
        break;
      case DateToken::kHour: {
        int hour = value.Hour();
        if (twelve_hour) hour = hour % 12 == 0 ? 12 : hour % 12;
        text += Padded(hour, token.width);
        break;
      }
      case DateToken::kMinute:
        text += Padded(value.Minute(), token.width);
        break;
      case DateToken::kSecond:
        text += Padded(value.Second(), token.width);
        break;
      case DateToken::kAmPm: {
        bool morning = value.Hour() < 12;
        if (token.text == "AM") {
          text += morning ? "AM" : "PM";
        } else {
          text += morning ? "am" : "pm";
        }
        break;
      }
    }
  }
  return text;
}

}  // namespace

std::int64_t CInt(double value) {
  // Doubles this close to 2^63 are whole already, so a value inside the range stays inside it
  // after rounding.
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (!(value >= -kLimit && value < kLimit)) {
    throw std::overflow_error("value out of range for a whole number");
  }
  double floor = std::floor(value);
  double fraction = value - floor;  // exact: the fraction needs no more bits than value
  if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0)) floor += 1.0;
  return static_cast<std::int64_t>(floor);
}

std::int64_t ToMegabytes(std::int64_t bytes) { return DivideHalfEven(bytes, kBytesPerMegabyte); }

double MegabytesExact(std::int64_t bytes) {
  std::int64_t whole = bytes / kBytesPerMegabyte;
  std::int64_t ten_thousandths =
      DivideHalfEven(bytes % kBytesPerMegabyte * 10000, kBytesPerMegabyte);
  return static_cast<double>(whole) + static_cast<double>(ten_thousandths) / 10000.0;
}

std::string FormatNumber(double value, std::string_view pattern, const Locale& locale) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  // A whole double of up to 15 digits is exactly what its 15 significant digits say, so it is
  // written as the whole number it is (the change cells: differences of whole megabytes).
  constexpr double kWholeDigitsLimit = 1e15;
  if (std::fabs(value) < kWholeDigitsLimit && std::trunc(value) == value) {
    return FormatNumber(static_cast<std::int64_t>(value), pattern, locale);
  }
  return FormatDecimal(FromDouble(value), pattern, locale);
}

std::string FormatNumber(std::int64_t value, std::string_view pattern, const Locale& locale) {
  if (auto text = FormatWhole(value, pattern, locale)) return *std::move(text);
  return FormatDecimal(FromInteger(value), pattern, locale);
}

std::string FormatDate(DateTime value, std::string_view pattern, const Locale& locale) {
  return FormatDateWith(value, pattern, locale.DateSeparator(), locale);
}

std::string SqlDateText(DateTime value, std::string_view pattern) {
  static const FixedLocale& english = *new FixedLocale();
  return FormatDateWith(value, pattern, "/", english);
}

}  // namespace brontal
