// A program's log (brontals.log, brontald.log, brontalh.log): print-zone lines, most of them
// stamped with the current date and time, to a file that every line reaches at once.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/locale.h"
#include "store/zone_line.h"

namespace brontal {

// One run's log; lines reach the file as they are written, so a crashed run leaves its trace.
class ProgramLog {
 public:
  // Writes to `file`, which it owns; stamps come from `clock` in the general date format of
  // `locale`, both of which must outlive the log.
  ProgramLog(LineFile file, const Clock& clock, const Locale& locale);

  // The start of a stamped line: the current date and time and a zone step, for the caller to
  // append fields to and pass to Raw.
  ZoneLine Stamped() const;
  // Writes the current date and time, then `message` in the next zone.
  void Line(std::string_view message);
  // Writes a line as it is, without a date.
  void Raw(const ZoneLine& line);
  void Raw(std::string_view text);
  // Writes an empty line.
  void Blank() { Raw(std::string_view()); }

  // The description of the first line that could not be written, empty while all were. A log
  // that stops taking lines must not stop the sizes from being recorded, so writing never
  // throws; later lines are still tried.
  const std::string& WriteError() const { return write_error_; }
  // The path of the log file.
  const std::string& Path() const { return file_.Path(); }
  // Closes the file; later lines fail as write errors. Closing twice does nothing.
  void Close();

 private:
  LineFile file_;
  const Clock& clock_;
  const Locale& locale_;
  std::string write_error_;
};

}  // namespace brontal
