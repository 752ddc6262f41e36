// brontald: the maintenance tool. With four numbers it repairs and compacts the database named
// in dbloc.txt and purges old periods, logging to brontald.log beside itself (exit statuses in
// MaintenanceStatus); without them it shows what the numbers mean.
#include <string>

#include "maintenance/frm_maintenance.h"
#include "maintenance/maintenance_run.h"
#include "maintenance/usage.h"
#include "platform/clock.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "platform/program_folder.h"
#include "platform/qt_locale.h"
#include "platform/db/program_engine.h"
#include "store/help_version.h"
#include "store/size_store.h"

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontald", brontal::UsageText("\n"))) return 0;
  std::string command_line;
  for (int i = 1; i < argc; ++i) command_line += std::string(i > 1 ? " " : "") + argv[i];
  if (command_line.empty()) return brontal::ShowUsage(argc, argv);

  auto engine = brontal::db::MakeProgramEngine();
  brontal::LinuxFileOperations files;
  brontal::SystemClock clock;
  auto locale = brontal::MakeUserLocale();
  brontal::MaintenanceServices services{.engine = *engine,
                                        .files = files,
                                        .clock = clock,
                                        .locale = *locale,
                                        .program_folder = brontal::ProgramFolder(),
                                        .pause = brontal::SleepMilliseconds,
                                        .unc_root = brontal::UncRootFromEnvironment()};
  return brontal::RunMaintenance(command_line, services);
}
