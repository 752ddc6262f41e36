// Timestamped print-zone lines of a program's log, with write failures kept rather than thrown.
#include "store/program_log.h"

#include <system_error>
#include <utility>

namespace brontal {

ProgramLog::ProgramLog(LineFile file, const Clock& clock, const Locale& locale)
    : file_(std::move(file)), clock_(clock), locale_(locale) {}

ZoneLine ProgramLog::Stamped() const { return StampedLine(clock_.Now(), locale_); }

void ProgramLog::Line(std::string_view message) { Raw(Stamped().Text(message)); }

void ProgramLog::Raw(const ZoneLine& line) { Raw(std::string_view(line.Str())); }

void ProgramLog::Raw(std::string_view text) {
  try {
    file_.WriteLine(text);
  } catch (const std::system_error& error) {
    if (write_error_.empty()) write_error_ = error.what();
  }
}

void ProgramLog::Close() {
  try {
    file_.Close();
  } catch (const std::system_error& error) {
    if (write_error_.empty()) write_error_ = error.what();
  }
}

}  // namespace brontal
