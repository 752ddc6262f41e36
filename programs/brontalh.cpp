// brontalh: the HTML report tool. Writes a list or tree report of a place comparing its newest
// period with one some days older, logging to brontalh.log beside itself (exit statuses in
// HtmlReportStatus); without parameters it shows what they are.
#include <string>
#include <vector>

#include "htmltool/frm_html_report.h"
#include "htmltool/html_report_run.h"
#include "htmltool/usage.h"
#include "platform/clock.h"
#include "platform/linux_filesystem.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/qt_locale.h"
#include "platform/db/program_engine.h"
#include "store/help_version.h"

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontalh", brontal::HtmlReportUsageText("\n"))) {
    return 0;
  }
  std::string command_line = brontal::CommandLine(std::vector<std::string>(argv + 1, argv + argc));
  if (brontal::IsHelpRequest(command_line)) return brontal::ShowHtmlReportUsage(argc, argv);

  auto engine = brontal::db::MakeProgramEngine();
  brontal::SystemClock clock;
  auto locale = brontal::MakeUserLocale();
  brontal::StderrMessageBox message_box;
  brontal::HtmlReportServices services{*engine,
                                       clock,
                                       *locale,
                                       message_box,
                                       brontal::ProgramFolder(),
                                       brontal::UncRootFromEnvironment()};
  return brontal::RunHtmlReport(command_line, services);
}
