// The usage window of brontald and its fallback on standard output.
#include "maintenance/frm_maintenance.h"

#include "maintenance/usage.h"

namespace brontal {

frmMaintenance::frmMaintenance(QWidget* parent)
    : UsageWindow(kUsageCaption, UsageLines(), 86, 24, parent) {}

int ShowUsage(int& argc, char** argv) {
  return ShowUsageWindow(argc, argv, UsageText("\n"),
                         [] { return std::make_unique<frmMaintenance>(); });
}

}  // namespace brontal
