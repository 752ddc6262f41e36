// The report builder: the directories below one place with their sizes in two periods and the
// change between them, closed by the place's total, as an HTML page or on the printer.
#pragma once

#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/printing/printer.h"
#include "platform/printing/progress_window.h"
#include "platform/printing/save_file_dialog.h"
#include "report/print_state.h"
#include "report/report_sort.h"
#include "store/program_log.h"

namespace brontal {

// The tree path of a place written as a UNC path: "\" gives "R", "\\myserver\d$\users" gives
// "R\myserver\d:\users" (an administrative drive share names the drive), "\\myserver\share\x"
// gives "R\myserver\share\x". Letter case is kept.
std::string UncToKey(std::string_view unc);

// What a run of the builder did.
enum class ReportOutcome {
  kWritten,    // the whole report, footer included
  kNoFile,     // no HTML file was named: nothing written
  kNoRows,     // the place has no rows in either period: the page holds its heading only and a
               // printed document is dropped
  kCancelled,  // printCancelled stopped it: the page got its footer, a printed document was
               // dropped
  kFailed,     // an error ended it, reported in the log or a message box
};

// What the builder works with; everything must outlive the builder.
struct ReportServices {
  db::Database& database;
  const Clock& clock;
  const Locale& locale;
  // Where interactive runs report their errors.
  MessageBox& message_box;
  PrintState& state;
  // The printer; null in programs that only write HTML, where printing fails.
  Printer* printer = nullptr;
  // Asked for the HTML file when none is given; null when nobody can be asked.
  SaveFileDialog* save_dialog = nullptr;
  // The window of interactive runs, which also lets pending events run; may be null.
  ProgressWindow* progress = nullptr;
};

class ReportBuilder {
 public:
  explicit ReportBuilder(ReportServices services) : services_(services) {}

  // Writes the report of `path` (a tree path: "R" for all servers, "R\node\c:" ...), which it
  // normalises in place (lowercase, leading "R"), comparing period1 (newer) with period2 (older,
  // or the same). `title` heads the page ("\" for all servers). Writes html_file, or asks for a
  // file when it is empty, or prints when to_html is false. A tree lists everything below the
  // place in path order (TreeOrder), indented by depth; a list the direct children sorted by
  // sort_field and sort_order (SortSettings codes). Paths match without regard to case, as the
  // database compares them, but names that differ only in case keep a row each. Printed pages
  // break early enough for every footer to stay on the paper. With `log_file`, progress goes to
  // the log and errors as "ERROR: ..." lines; without it, to the progress window and a message
  // box. Never throws.
  ReportOutcome PrintTreeExpanded2(std::string& path, std::string_view title, bool to_html,
                                   DateTime period1, DateTime period2, std::string_view html_file,
                                   ProgramLog* log_file, bool tree_mode, int sort_field,
                                   int sort_order);

  // The sort settings of the last list report; they stay set after it.
  const SortSettings& CurrentSort() const { return sort_; }

 private:
  ReportServices services_;
  SortSettings sort_;
};

}  // namespace brontal
