// Printing a list as the viewer's windows show it (the directory list, the lists of the graph and
// disk windows): every row with all its columns, on the printer or as an HTML page.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/printing/printer.h"
#include "platform/printing/progress_window.h"
#include "platform/printing/save_file_dialog.h"
#include "report/print_state.h"
#include "report/report_builder.h"
#include "viewer/tree_list.h"

namespace brontal {

// Where a column's cells stand in an HTML table cell. On paper every column is a field of fixed
// width, so the cells' own blanks place them.
enum class CellAlignment { kLeft, kRight };

struct PrintableColumn {
  // The column's key as the list knows it ("name", "p06-Dec-2026 02:00"); the caption is made
  // from it (ListCaption).
  std::string key;
  CellAlignment alignment = CellAlignment::kRight;
};

struct PrintableRow {
  // One text per column, in column order; missing ones print as empty.
  std::vector<std::string> cells;
  // The row's small icon as the list shows it, in screen pixels; null for none. Rows share the
  // few pictures of a list, which the caller owns.
  const Picture* icon = nullptr;
};

// A list without its widget: what PrintList prints.
struct PrintableList {
  std::vector<PrintableColumn> columns;
  std::vector<PrintableRow> rows;
};

// The main window's directory list as PrintList takes it: Name aligned left, then Change and the
// sizes in the two periods keyed "p" + the pickers' texts, so that they print under the periods;
// the rows in the order given, each with the picture of its icon key in `icons` (none when the
// key is missing there). The list points into `icons`, which must outlive it.
PrintableList PrintableDirectoryList(std::string_view period1_text, std::string_view period2_text,
                                     const std::vector<ListRow>& rows,
                                     const std::map<std::string, Picture, std::less<>>& icons);

// What PrintList works with; everything must outlive the call.
struct ListPrintServices {
  const Clock& clock;
  const Locale& locale;
  // Where errors are shown.
  MessageBox& message_box;
  // print_cancelled is read every 20 rows; last_html_file is set by the HTML file dialog.
  PrintState& state;
  // Shown from the start to the end of the print; its Cancel sets state.print_cancelled.
  ProgressWindow& progress;
  // Null when the program has none: printing then fails with an error.
  Printer* printer = nullptr;
  // Asked for the HTML file; null when nobody can be asked, which writes nothing.
  SaveFileDialog* save_dialog = nullptr;
};

// The caption of a column key: trimmed, its first letter capitalised, and the "P" dropped from a
// period column's key, which is "P" followed by the period ("p06-Dec-2026 02:00" gives
// "06-Dec-2026 02:00"). A key that merely begins with P and holds a dash ("Pre-2020") keeps it.
std::string ListCaption(std::string_view key);

// The width in characters of every printed column: 76 shared among `columns`, rounded halves to
// even (3 give 25, 4 give 19, 5 give 15); 0 for no columns.
int ListColumnChars(int columns);

// Prints `list` under `title` ("\" for all servers), or writes it as an HTML page to a file asked
// for through the save dialog when `to_html`. With `with_icons`, each printed row takes two lines
// and shows its icon in a gutter to the left of the columns; an icon that cannot be drawn is left
// out and the print goes on. Every 20 rows the progress window lets events run and a cancel
// stops the run: a printed document is dropped, a page keeps the rows written so far without its
// footer. Returns kWritten, kNoFile (no file named: nothing done), kCancelled or kFailed. A
// failure is shown as "<description> in PrintList"; then no document is sent, and a page that
// was begun is removed and state.last_html_file cleared, so that nothing half written passes for
// a finished page. Never throws.
ReportOutcome PrintList(const PrintableList& list, std::string_view title, bool to_html,
                        bool with_icons, const ListPrintServices& services);

}  // namespace brontal
