// The repair-and-compact routine. Its messages keep their wording and order whatever the file
// system offers; what changed is that the old file is never out of its place until the copy
// takes it, and that the exclusive open lasts until then.
#include "maintenance/repair_compact.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <utility>

#include "platform/db/db_error.h"

namespace brontal {
namespace {

// The text between the double quotes of a report: the description of the error being handled.
std::string Quoted(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return "\"" + std::string(e.what()) + "\"";
  } catch (...) {
    return "\"Unknown error\"";
  }
}

std::string FolderOf(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  return folder.empty() ? "." : folder;
}

class Compaction {
 public:
  Compaction(const std::string& path, db::Workspace& workspace, FileOperations& files,
             RepairReporter& reporter)
      : path_(path), workspace_(workspace), files_(files), reporter_(reporter) {}

  RepairOutcome Run();

 private:
  RepairOutcome Fail(RepairOutcome outcome, Gravity gravity, const std::string& message) {
    database_.reset();  // gives the lock up
    reporter_.Problem(gravity, message);
    return outcome;
  }

  void DeleteQuietly(const std::string& path) {
    try {
      files_.Delete(path);
    } catch (const std::exception&) {
      // Normally nothing is there; what cannot be deleted makes the next step fail.
    }
  }

  // Gives the copy the database's owner, group and permission bits. An owner this process may
  // not give is no reason to stop: members of the group, which it keeps where it can, still
  // write the copy. Returns that error, or null when everything was kept.
  std::exception_ptr KeepAccess(const std::string& copy) {
    std::exception_ptr owner_lost;
    try {
      files_.CopyOwner(path_, copy);
    } catch (const FsError& error) {
      if (error.Number() != kFsPermissionDenied) throw;
      owner_lost = std::current_exception();
    }
    // After the owner, which may clear set-id bits.
    files_.CopyMode(path_, copy);
    return owner_lost;
  }

  // Gives the old file the backup name while the database path keeps naming it; true when
  // that worked, false when the file had to be renamed away instead.
  bool KeepBackup(const std::string& backup) {
    try {
      files_.HardLink(path_, backup);
      return true;
    } catch (const FsError& error) {
      if (error.Number() != kFsNotSupported) throw;
    }
    files_.Rename(path_, backup);
    return false;
  }

  // A database on a server is compacted where it lies: there is no copy to put in its place.
  RepairOutcome CompactInPlace() {
    try {
      database_->CompactInPlace();
    } catch (const std::exception&) {
      return Fail(RepairOutcome::kCompactionFailed, Gravity::kWarning,
                  "Warning only: " + Quoted(std::current_exception()) + " compacting database");
    }
    database_.reset();
    reporter_.Progress("Compacted in place on its server: no copy, backup or renaming");
    return RepairOutcome::kCompacted;
  }

  const std::string& path_;
  db::Workspace& workspace_;
  FileOperations& files_;
  RepairReporter& reporter_;
  std::unique_ptr<db::Database> database_;
};

RepairOutcome Compaction::Run() {
  reporter_.Progress("Beginning repair (if necessary)...");
  std::exception_ptr in_use;
  try {
    database_ = workspace_.OpenDatabase(path_, /*exclusive=*/true);
    database_->Repair();
  } catch (const db::DbError& error) {
    // Another program has it open: nothing can be checked, and the compaction says why.
    if (error.Number() != db::kInUse) {
      return Fail(RepairOutcome::kRepairFailed, Gravity::kError,
                  "Error: " + Quoted(std::current_exception()) + " repairing database");
    }
    in_use = std::current_exception();
  } catch (const std::exception&) {
    return Fail(RepairOutcome::kRepairFailed, Gravity::kError,
                "Error: " + Quoted(std::current_exception()) + " repairing database");
  }

  if (!in_use && !database_->RepairNote().empty()) reporter_.Progress(database_->RepairNote());
  const CompactionNames names = CompactionNamesOf(path_);
  reporter_.Progress("Compacting database...");
  if (!in_use && database_->CompactsInPlace()) return CompactInPlace();
  try {
    if (in_use) std::rethrow_exception(in_use);
    if (names.copy == path_ || names.backup == path_) {
      // Deleting the "backup" would delete the database itself.
      throw db::DbError(db::kGeneral, "The database name '" + path_ +
                                          "' ends in 1 or 2, which its copy and backup take");
    }
    DeleteQuietly(names.copy);  // left by an earlier run whose swap failed
    database_->CompactInto(names.copy);
  } catch (const std::exception&) {
    return Fail(RepairOutcome::kCompactionFailed, Gravity::kWarning,
                "Warning only: " + Quoted(std::current_exception()) + " compacting database");
  }

  // The copy belongs to whoever runs this (root, for the nightly run) and has SQLite's own
  // permissions under its umask; the scanners of other accounts must go on writing the
  // database, so the copy takes the file's access before it takes the file's place.
  std::exception_ptr owner_lost;
  try {
    owner_lost = KeepAccess(names.copy);
  } catch (const std::exception&) {
    const std::exception_ptr error = std::current_exception();
    DeleteQuietly(names.copy);  // a copy that would shut the other accounts out is no copy
    return Fail(RepairOutcome::kCompactionFailed, Gravity::kWarning,
                "Warning only: " + Quoted(error) + " compacting database");
  }

  reporter_.Progress("Deleting old old one...(" + names.backup + ")");
  DeleteQuietly(names.backup);

  reporter_.Progress("Renaming " + path_ + " to " + names.backup);
  bool linked = false;
  try {
    linked = KeepBackup(names.backup);
  } catch (const std::exception&) {
    return Fail(RepairOutcome::kNotReplaced, Gravity::kWarning,
                "Warning only: " + Quoted(std::current_exception()) + " renaming " + path_ +
                    " to " + names.backup);
  }

  reporter_.Progress("Renaming newly compacted" + names.copy + " to " + path_);
  try {
    files_.RenameOver(names.copy, path_);
  } catch (const std::exception&) {
    const std::string error = Quoted(std::current_exception());
    try {
      // Back to where the routine started: the old file in place, the copy beside it.
      if (linked) {
        files_.Delete(names.backup);
      } else {
        files_.Rename(names.backup, path_);
      }
    } catch (const std::exception&) {
      if (!linked) {
        return Fail(RepairOutcome::kDatabaseMissing, Gravity::kSevere,
                    "Severe error: " + error + " renaming compacted database " + names.copy +
                        " to " + path_ + ".  Please try to do this manually.");
      }
      // A backup that is a second name of the database harms nobody.
    }
    return Fail(
        RepairOutcome::kNotReplaced, Gravity::kWarning,
        "Warning only: " + error + " renaming compacted database " + names.copy + " to " + path_);
  }

  if (owner_lost) {
    reporter_.Problem(Gravity::kWarning,
                      "Warning only: " + Quoted(owner_lost) + " keeping the owner of " + path_);
  }

  // The swap is done; a crash before the folder reaches the disk could still undo it.
  const std::string folder = FolderOf(path_);
  try {
    files_.FlushFolder(folder);
  } catch (const std::exception&) {
    reporter_.Problem(Gravity::kWarning, "Warning only: " + Quoted(std::current_exception()) +
                                             " flushing folder " + folder);
  }
  database_.reset();
  return RepairOutcome::kCompacted;
}

}  // namespace

CompactionNames CompactionNamesOf(const std::string& database_path) {
  if (database_path.empty()) return {};
  const std::string stem = database_path.substr(0, database_path.size() - 1);
  return {stem + "1", stem + "2"};
}

void MessageBoxRepairReporter::Problem(Gravity gravity, std::string_view message) {
  pointer_.Restore();
  message_box_.Show(message, "Brontal",
                    gravity == Gravity::kSevere ? MessageIcon::kCritical : MessageIcon::kNone);
}

RepairOutcome RepairAndCompact(const std::string& database_path, db::Workspace& workspace,
                               FileOperations& files, RepairReporter& reporter) {
  reporter.Begin();
  RepairOutcome outcome = Compaction(database_path, workspace, files, reporter).Run();
  reporter.End(outcome);
  return outcome;
}

}  // namespace brontal
