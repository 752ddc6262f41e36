// frmMaintenance: the window that explains brontald's four numbers, and the choice between it
// and standard output when the program is started without them.
#pragma once

#include "platform/usage_window.h"

namespace brontal {

// The usage window: caption kUsageCaption, the usage text in the read-only multi-line box
// "Text1" and the button "cmdOK", which closes the window (accepts the dialog).
class frmMaintenance : public UsageWindow {
 public:
  explicit frmMaintenance(QWidget* parent = nullptr);
};

// Shows frmMaintenance modally, centred on the screen, when a desktop is available (see
// DesktopAvailable), and writes the usage text to standard output otherwise. argc and argv go
// to the QApplication that the window needs. Returns the exit status, 0.
int ShowUsage(int& argc, char** argv);

}  // namespace brontal
