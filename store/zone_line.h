// Text lines laid out in 14-column print zones, as the logs and HTML pages are written, and the
// file that receives them.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/datetime.h"
#include "platform/locale.h"

namespace brontal {

// The width of one print zone, in characters.
inline constexpr std::size_t kZoneWidth = 14;

// One output line built from items. Columns count characters (UTF-8 code points) from 0.
class ZoneLine {
 public:
  ZoneLine() = default;
  // A line whose first item starts in zone `zone`: zone 1 starts after 14 spaces, zone 2 after
  // 28; zone 0 or less is an empty line.
  static ZoneLine AtZone(int zone);

  // Appends text where the last item ended.
  ZoneLine& Text(std::string_view text);
  // Moves to the next multiple of 14 columns strictly after the current one (0 to 14, 14 to 28,
  // 44 to 56), so that a field ending on a zone boundary is still followed by a blank.
  ZoneLine& Zone();
  // Appends a number the line-printer way: a blank or "-", the digits, a trailing blank
  // (" 42 ", "-7 "). Whole numbers are exact over the whole 64-bit range.
  ZoneLine& Number(std::int64_t value);
  template <std::signed_integral Integer>
  ZoneLine& Number(Integer value) {
    return Number(static_cast<std::int64_t>(value));
  }
  // Fractions keep up to 15 significant digits, with "." as the decimal point (" 2.5 ").
  ZoneLine& Number(double value);
  // Appends a date-time in the locale's general date format.
  ZoneLine& Date(DateTime value, const Locale& locale);

  // The column where the next item starts.
  std::size_t Column() const { return column_; }
  // The line so far, without a line end.
  const std::string& Str() const { return text_; }

 private:
  std::string text_;
  std::size_t column_ = 0;
};

// The start of a timestamped log line: `now` in the general date format and a zone step; the
// caller appends the message.
ZoneLine StampedLine(DateTime now, const Locale& locale);

// A complete timestamped log line: `now`, a zone step, `message`.
std::string LogLine(DateTime now, std::string_view message, const Locale& locale);

// A text file written line by line, each line ending with CR LF. Every line reaches the
// operating system before WriteLine returns, so that a log survives a crash of its program.
class LineFile {
 public:
  // Creates the file or empties an existing one. Throws std::system_error naming the path when
  // it cannot be opened for writing.
  explicit LineFile(std::string path);
  ~LineFile();
  LineFile(LineFile&& other) noexcept;
  LineFile& operator=(LineFile&& other) noexcept;
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  // Writes `line` and CR LF. Throws std::system_error naming the path when the write fails or
  // the file is closed.
  void WriteLine(std::string_view line);
  void WriteLine(const ZoneLine& line) { WriteLine(line.Str()); }
  // Closes the file; later writes throw. Throws std::system_error if the close reports an
  // error; closing twice does nothing.
  void Close();

  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

}  // namespace brontal
