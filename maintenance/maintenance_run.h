// One run of brontald with its four numbers: repair and compaction of the database named in
// dbloc.txt, then the purge of old periods, all of it logged to brontald.log beside the program.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/file_operations.h"
#include "platform/locale.h"

namespace brontal {

// What a run works with; the references must outlive the run.
struct MaintenanceServices {
  db::Engine& engine;
  FileOperations& files;
  const Clock& clock;
  // Writes the stamps of the log lines.
  const Locale& locale;
  // Native path of the folder that holds the program, dbloc.txt and the log.
  std::string program_folder;
  // The pause between the compaction and the purge.
  std::function<void(int milliseconds)> pause;
  // Where \\node\share paths of dbloc.txt resolve; a path without one is used as it stands.
  std::string unc_root = "/net";
};

// Exit statuses of a run, for schedulers.
enum MaintenanceStatus : int {
  kMaintenanceDone = 0,          // compacted and purged
  kMaintenanceRefused = 1,       // a parameter was 0: nothing was done
  kMaintenanceNoDatabase = 2,    // dbloc.txt gave no database path: nothing was done
  kMaintenanceNotCompacted = 3,  // the repair, the compaction or the swap failed; the purge ran
  kMaintenanceAborted = 4,       // the parameters, the exclusive open or a purge failed
  kMaintenanceNoLog = 5,         // the log could not be created: nothing was done
};

// Runs the maintenance with a non-empty command line (the program's arguments joined by
// blanks). Returns a MaintenanceStatus; a log that cannot be created is reported on standard
// error.
int RunMaintenance(std::string_view command_line, MaintenanceServices& services);

}  // namespace brontal
