// brontalc's run, apart from the program's objects, so that its statuses can be tested.
#include "viewer/run_viewer.h"

#include <QApplication>

namespace brontal {

int RunViewer(FrmMain& window, SingleInstance& instance, Settings& settings) {
  if (instance.ActivatePreviousInstanceIfThereIsOne(window, settings)) return kViewerClosed;
  // Whoever started the viewer (a script, a desktop entry) learns that it could not show
  // anything.
  if (!window.Start()) return kViewerNoDatabase;
  return QApplication::exec();
}

}  // namespace brontal
