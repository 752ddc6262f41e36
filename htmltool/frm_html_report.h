// frmHtmlReport: the window that explains brontalh's parameters, and the choice between it and
// standard output when there is no desktop to show it on.
#pragma once

#include "platform/usage_window.h"

namespace brontal {

// The usage window: the usage text in the read-only multi-line box "Text1" and the button
// "cmdOK", which closes the window (accepts the dialog).
class frmHtmlReport : public UsageWindow {
 public:
  explicit frmHtmlReport(QWidget* parent = nullptr);
};

// Shows frmHtmlReport modally, centred on the screen, when a desktop is available (see
// DesktopAvailable), and writes the usage text to standard output otherwise. argc and
// argv go to the QApplication that the window needs. Returns the exit status, 0.
int ShowHtmlReportUsage(int& argc, char** argv);

}  // namespace brontal
