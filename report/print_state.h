// What the windows that start a print and the code that prints share for the length of a run:
// the Cancel flag and the last HTML file chosen.
#pragma once

#include <string>

namespace brontal {

struct PrintState {
  // Set by the Cancel buttons of the print dialog and the progress window; the print loops read
  // it at their check points and never clear it.
  bool print_cancelled = false;
  // The file last chosen in the HTML save dialog, empty after a cancel; the viewer opens it in
  // the browser after the print.
  std::string last_html_file;
};

}  // namespace brontal
