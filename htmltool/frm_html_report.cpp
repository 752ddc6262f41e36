// The usage window of brontalh and its fallback on standard output.
#include "htmltool/frm_html_report.h"

#include "htmltool/usage.h"

namespace brontal {

// The example command is long: the window is wide enough to keep it on one line.
frmHtmlReport::frmHtmlReport(QWidget* parent)
    : UsageWindow("Brontal HTMLer", HtmlReportUsageLines(), 100, 16, parent) {}

int ShowHtmlReportUsage(int& argc, char** argv) {
  return ShowUsageWindow(argc, argv, HtmlReportUsageText("\n"),
                         [] { return std::make_unique<frmHtmlReport>(); });
}

}  // namespace brontal
