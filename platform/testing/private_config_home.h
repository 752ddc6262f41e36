// A configuration folder of the test program's own. Qt keeps per-user state there (the file
// dialog remembers its last folder in QtProject.conf, the programs their settings), which would
// otherwise carry one run's leftovers, such as a deleted temporary folder, into the next run.
#pragma once

#include <stdlib.h>

#include "platform/testing/temp_folder.h"

namespace brontal::testing {

// Points XDG_CONFIG_HOME at a fresh folder for the life of the object; create it before the
// QApplication, since Qt reads the variable once.
class PrivateConfigHome {
 public:
  PrivateConfigHome() { ::setenv("XDG_CONFIG_HOME", folder_.path().c_str(), 1); }

 private:
  TempFolder folder_;
};

}  // namespace brontal::testing
