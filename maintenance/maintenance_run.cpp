// brontald's main procedure. Everything after the log is created runs under one handler that
// logs "Aborting due to error N: text" and ends the run; RepairAndCompact traps its own errors,
// so a failed compaction still leaves the purge to run.
#include "maintenance/maintenance_run.h"

#include <cstdio>
#include <exception>
#include <optional>
#include <system_error>
#include <utility>

#include "maintenance/parameters.h"
#include "maintenance/purge.h"
#include "maintenance/repair_compact.h"
#include "platform/db/db_error.h"
#include "platform/filesystem.h"
#include "platform/linux_filesystem.h"
#include "store/dbloc.h"
#include "store/program_log.h"
#include "store/run_error.h"

namespace brontal {
namespace {

int Run(std::string_view command_line, MaintenanceServices& services, ProgramLog& log) {
  db::Workspace& workspace = services.engine.DefaultWorkspace();
  int status = kMaintenanceDone;
  try {
    log.Line("Parsing command line: ");
    const std::string normalized = NormalizeCommandLine(command_line);
    log.Line(normalized);
    const PurgeParameters parameters = TakeParameters(normalized);
    if (parameters.HasZero()) {
      log.Line("BrontalD does not accept 0 value parameters");
      return kMaintenanceRefused;
    }
    log.Line("dow: " + std::to_string(parameters.dow) + ", weeks: " +
             std::to_string(parameters.weeks) + ", months: " + std::to_string(parameters.months) +
             ", days: " + std::to_string(parameters.days));
    CheckParameterRanges(parameters);

    log.Line("Getting database path");
    const std::string stored = ReadDbLoc(services.program_folder);
    if (stored.empty()) {
      log.Line("Couldn't establish database path - check for dbloc.txt");
      return kMaintenanceNoDatabase;
    }
    const std::string path = NativePathOf(stored, services.unc_root);

    log.Line("Repairing (if necessary) and Compacting Database...");
    LogRepairReporter reporter(log);
    if (RepairAndCompact(path, workspace, services.files, reporter) != RepairOutcome::kCompacted) {
      status = kMaintenanceNotCompacted;
    }

    // Nothing is pending in a program without an event loop, so the pause is all that is left
    // of letting other work run.
    log.Line("Sleeping for a second...");
    services.pause(1000);

    log.Line("Opening database");
    auto database = workspace.OpenDatabase(path, /*exclusive=*/true);
    PurgeOldPeriods(workspace, *database, parameters, services.clock, log);

    log.Line("Closing database");
    database->Close();
    workspace.Close();
  } catch (const std::exception&) {
    auto [number, text] = DescribeError(std::current_exception());
    log.Line("Aborting due to error " + std::to_string(number) + ": " + text);
    workspace.Close();
    return kMaintenanceAborted;
  }
  return status;
}

}  // namespace

int RunMaintenance(std::string_view command_line, MaintenanceServices& services) {
  std::optional<ProgramLog> log;
  const std::string log_path = services.program_folder + "/brontald.log";
  try {
    log.emplace(LineFile(log_path), services.clock, services.locale);
  } catch (const std::system_error& error) {
    std::fprintf(stderr, "brontald: cannot create %s: %s\n", log_path.c_str(), error.what());
    return kMaintenanceNoLog;
  }
  const int status = Run(command_line, services, *log);
  log->Close();
  return status;
}

}  // namespace brontal
