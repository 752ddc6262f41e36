// What brontalc does once it has made its objects: the single-instance rule, start-up, the
// event loop, and the status the program ends with.
#pragma once

#include "platform/settings.h"
#include "viewer/frmMain/frm_main.h"
#include "viewer/single_instance.h"

namespace brontal {

// The exit statuses of brontalc.
inline constexpr int kViewerClosed = 0;      // the user closed it, or a running copy came forward
inline constexpr int kViewerNoDatabase = 1;  // no database was chosen, or it could not be opened

// When another copy of the viewer runs, brings it forward and returns kViewerClosed. Otherwise
// starts `window` and runs the application's event loop until the window closes, returning the
// loop's status (kViewerClosed when the window was closed); kViewerNoDatabase, without running
// the loop, when start-up opened no database. Needs a QApplication.
int RunViewer(FrmMain& window, SingleInstance& instance, Settings& settings);

}  // namespace brontal
