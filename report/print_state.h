// What the windows that start a print and the code that prints share for the length of a run:
// the choices of the print dialog, the Cancel flag and the last HTML file chosen.
#pragma once

#include <string>

namespace brontal {

// The "Print What" choices, as indexes of the print dialog's options.
enum PrintWhat : int { kPrintList = 0, kPrintTree = 1, kPrintGraph = 2 };
// The "Print to" choices.
enum PrintTo : int { kPrintToPrinter = 0, kPrintToHtml = 1 };

// One set for the viewer, kept while it runs and never saved: the print dialog writes it and the
// window that opened the dialog reads it.
struct PrintState {
  // Set by the Cancel buttons of the print dialog and the progress window; the print loops read
  // it at their check points and never clear it. Opening the print dialog clears it.
  bool print_cancelled = false;
  // The file last chosen in the HTML save dialog, empty after a cancel; the viewer opens it in
  // the browser after the print.
  std::string last_html_file;
  // What the dialog's OK chose (PrintWhat, PrintTo codes).
  int print_what = kPrintList;
  int print_to = kPrintToPrinter;
  // True only when the choice was HTML and "View results in browser" was ticked.
  bool view_in_browser = false;
};

}  // namespace brontal
