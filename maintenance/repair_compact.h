// RepairAndCompact: checks the database file, writes a compacted copy and puts it in the file's
// place, keeping the file as it was under a backup name. brontald reports through its log, the
// viewer's Options dialog through message boxes under the busy pointer.
#pragma once

#include <string>
#include <string_view>

#include "platform/busy_pointer.h"
#include "platform/db/database.h"
#include "platform/file_operations.h"
#include "platform/message_box.h"
#include "store/program_log.h"

namespace brontal {

// The compacted copy and the backup of a database: its path with the last character replaced
// by "1" and by "2" (brontal.mdb gives brontal.md1 and brontal.md2). An empty path gives two
// empty names.
struct CompactionNames {
  std::string copy;
  std::string backup;
};
CompactionNames CompactionNamesOf(const std::string& database_path);

// How a run of RepairAndCompact ended, and what it left.
enum class RepairOutcome {
  kCompacted,         // the path holds the compacted copy, the backup the file as it was
  kRepairFailed,      // damaged or not to be opened: nothing was done
  kCompactionFailed,  // in use, or no copy could be written or given the file's permissions:
                      // the file is as it was and no copy is left
  kNotReplaced,       // the copy could not take the file's place: the file is as it was and
                      // the copy lies beside it
  kDatabaseMissing,   // no file under the database's name; the backup holds the data as it
                      // was, the copy the compacted data
};

// How grave a reported problem is.
enum class Gravity { kWarning, kError, kSevere };

// Where RepairAndCompact reports.
class RepairReporter {
 public:
  virtual ~RepairReporter() = default;
  // Before the first step.
  virtual void Begin() = 0;
  // A step is about to start ("Compacting database...").
  virtual void Progress(std::string_view message) = 0;
  // A step failed; `message` is the whole text to show.
  virtual void Problem(Gravity gravity, std::string_view message) = 0;
  // After the last step, with the outcome that RepairAndCompact returns.
  virtual void End(RepairOutcome outcome) = 0;
};

// brontald's reporting: progress and problems as stamped lines of its log, which must outlive
// the reporter.
class LogRepairReporter : public RepairReporter {
 public:
  explicit LogRepairReporter(ProgramLog& log) : log_(log) {}
  void Begin() override {}
  void Progress(std::string_view message) override { log_.Line(message); }
  void Problem(Gravity, std::string_view message) override { log_.Line(message); }
  void End(RepairOutcome) override {}

 private:
  ProgramLog& log_;
};

// The viewer's reporting: the busy pointer while the routine works, no progress, and each
// problem in a message box titled "Brontal" with an OK button, a severe one with the critical
// icon. The pointer is restored before a box is shown, so that nobody is asked to press OK
// under an hourglass, and at the end in any case. Both must outlive the reporter.
class MessageBoxRepairReporter : public RepairReporter {
 public:
  MessageBoxRepairReporter(MessageBox& message_box, BusyPointer& pointer)
      : message_box_(message_box), pointer_(pointer) {}
  void Begin() override { pointer_.Show(); }
  void Progress(std::string_view) override {}
  void Problem(Gravity gravity, std::string_view message) override;
  void End(RepairOutcome) override { pointer_.Restore(); }

 private:
  MessageBox& message_box_;
  BusyPointer& pointer_;
};

// Repairs (checks) the database at database_path, compacts it into its copy name and swaps the
// copy in, keeping the file as it was under the backup name; returns how that ended. The file
// is opened exclusively in `workspace` from the check until the copy is in place, so that no
// other program opens it meanwhile: while another program has it open nothing is done and the
// compaction is reported in use. The database path never holds a partial file and, where the
// file system has hard links, is never missing: the backup is a second name of the old file
// and the copy replaces the file in one atomic rename. Elsewhere the old file is renamed to the
// backup name, and the path is empty for a moment that the lock hides from the other programs;
// a failed swap renames it back. A leftover copy of an earlier run is deleted before
// compacting. The copy takes the file's permission bits, and its owner and group where this
// process may give them, before it takes the file's place, so that the accounts that wrote the
// file can write the copy; an owner that cannot be kept (the routine runs as another user than
// root) is reported as a warning once the copy is in place. Never throws: every other failure
// is reported and ends the routine.
RepairOutcome RepairAndCompact(const std::string& database_path, db::Workspace& workspace,
                               FileOperations& files, RepairReporter& reporter);

}  // namespace brontal
