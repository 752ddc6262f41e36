// How the programs turn sizes, counts and dates into text: megabyte conversions, rounding,
// numeric patterns such as "#,##0" and date patterns such as "dd-mmm-yyyy hh:nn".
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"
#include "platform/locale.h"

namespace brontal {

// `value` rounded to the nearest whole number, halves to the even one: CInt(2.5) is 2,
// CInt(3.5) is 4, CInt(-2.5) is -2. Throws std::overflow_error for NaN and for values outside
// the 64-bit range.
std::int64_t CInt(double value);

// Whole megabytes of a byte count (bytes / 1024 / 1024), halves rounded to even. Sizes stay whole
// bytes in 64 bits rather than a four-decimal fixed-point value, which would overflow near 922 TB,
// a total that the summed sizes of many servers can reach.
std::int64_t ToMegabytes(std::int64_t bytes);

// Megabytes of a byte count rounded to four decimals (halves to even), for the places that
// compute with fractional megabytes.
double MegabytesExact(std::int64_t bytes);

// `value` written with a numeric pattern:
// - up to three sections split by ";": positive (and zero), negative, zero. With a single
//   section a negative value gets a leading "-"; the negative section shows the magnitude only,
//   so "#,##0 ;#,##0-" writes "1,234 ", "1,234-" and "0 ". An empty section falls back on the
//   first, and a value that rounds to zero is written as zero, without a sign.
// - "0" is a digit always shown, "#" a digit shown when significant; a "," among the integer
//   digits groups thousands with the locale's separator; "." starts the decimals, rounded half
//   away from zero to as many places as follow it.
// - "%" multiplies by 100 and is written as it stands; any other character, text in double
//   quotes and a character after "\" are written as they stand.
// The locale offers no decimal separator: decimals are written after "," when it groups
// thousands with "." and after "." otherwise. Throws std::invalid_argument for an empty pattern
// or a section holding two separate runs of digit placeholders. NaN and infinities are written
// "NaN", "Infinity" and "-Infinity".
std::string FormatNumber(double value, std::string_view pattern, const Locale& locale);
// The same for whole numbers, exact over the whole 64-bit range.
std::string FormatNumber(std::int64_t value, std::string_view pattern, const Locale& locale);
template <std::signed_integral Integer>
std::string FormatNumber(Integer value, std::string_view pattern, const Locale& locale) {
  return FormatNumber(static_cast<std::int64_t>(value), pattern, locale);
}

// `value` written with a date pattern. Tokens, letters in either case: d dd (day), m mm (month,
// or minutes right after an h/hh token or right before an s/ss token, literals between not
// counting), mmm and mmmm (the locale's month abbreviation: the locale offers no full names),
// yy yyyy, h hh (12-hour when AM/PM is present), n nn (minutes), s ss, AM/PM or am/pm. "/" is
// the locale's date separator; every other character, text in double quotes and a character
// after "\" are written as they stand. "dd-mmm-yyyy hh:nn" gives "06-Dec-2026 22:04". Throws
// std::invalid_argument for a run of pattern letters it does not know, such as "ddd" or "y".
std::string FormatDate(DateTime value, std::string_view pattern, const Locale& locale);

// `value` as a date literal of the database's SQL (the text between the "#" marks): the pattern
// formatted with "/" as the date separator whatever the user's locale, English month names.
// 6 Dec 2026 22:04:05 gives "12/6/26 22:4:5" with "m/d/yy h:m:s" and "12/6/26 22:04" with
// "m/d/yy hh:nn".
std::string SqlDateText(DateTime value, std::string_view pattern = "m/d/yy hh:mm");

}  // namespace brontal
