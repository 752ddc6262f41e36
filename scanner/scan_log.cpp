// Timestamped print-zone lines of the scanner's log, with write failures kept rather than thrown.
#include "scanner/scan_log.h"

#include <system_error>
#include <utility>

namespace brontal {

ScanLog::ScanLog(LineFile file, const Clock& clock, const Locale& locale)
    : file_(std::move(file)), clock_(clock), locale_(locale) {}

ZoneLine ScanLog::Stamped() const { return StampedLine(clock_.Now(), locale_); }

void ScanLog::Line(std::string_view message) { Raw(Stamped().Text(message)); }

void ScanLog::Raw(const ZoneLine& line) { Raw(std::string_view(line.Str())); }

void ScanLog::Raw(std::string_view text) {
  try {
    file_.WriteLine(text);
  } catch (const std::system_error& error) {
    if (write_error_.empty()) write_error_ = error.what();
  }
}

void ScanLog::Close() {
  try {
    file_.Close();
  } catch (const std::system_error& error) {
    if (write_error_.empty()) write_error_ = error.what();
  }
}

}  // namespace brontal
