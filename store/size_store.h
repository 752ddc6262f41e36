// SizeStore: the scanner's and the monitor configuration's access to the size database. It fixes
// the period of a run, keeps each node's depth and log path in Todo, and appends a scan's rows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/message_box.h"
#include "platform/settings.h"

namespace brontal {

// What a SizeStore works with. The references must outlive the store.
struct SizeStoreServices {
  db::Engine& engine;
  // Read for "Dawn" in section "Options".
  Settings& settings;
  const Clock& clock;
  // Told once, at creation, when the database is not configured.
  MessageBox& message_box;
  // The folder that holds dbloc.txt.
  std::string program_folder;
  // Uniform in [0, 1); chooses the length of each pause before a retry.
  std::function<double()> random;
  // Waits the given time before a failed step is tried again, letting other work run.
  std::function<void(int milliseconds)> pause;
  // Where \\node\share paths of dbloc.txt resolve; a path without one is used as it stands.
  std::string unc_root = "/net";
};

// A uniform source in [0, 1) for SizeStoreServices::random, seeded from the system clock's
// nanoseconds and the system's entropy, so that scanners that the scheduler starts in the same
// second still pause for different times.
std::function<double()> MakeSeededRandom();

// Sleeps the calling thread; the pause of a program without an event loop.
void SleepMilliseconds(int milliseconds);

// The services of a program: MakeSeededRandom and SleepMilliseconds beside the given ones.
SizeStoreServices MakeSizeStoreServices(db::Engine& engine, Settings& settings, const Clock& clock,
                                        MessageBox& message_box, std::string program_folder);

class SizeStore {
 public:
  // Reads dbloc.txt, shows "Database must be configured, please review installation." when it
  // gives no path (every database operation then fails), and fixes pdate from the clock and the
  // Dawn setting. Throws std::system_error when dbloc.txt exists but cannot be read.
  explicit SizeStore(SizeStoreServices services);
  // Forgets an open scan that was not committed.
  ~SizeStore();
  SizeStore(const SizeStore&) = delete;
  SizeStore& operator=(const SizeStore&) = delete;

  // The period stamped on every row this store writes: today at a whole hour.
  DateTime pdate;
  // The Nodename and DirParent of the Todo row that holds the default depth.
  std::string defaultnodename;
  // A size that SaveDirs leaves out of Dirs (its parent still goes to Parents).
  std::int64_t SKIP;
  // The node whose rows and settings the operations handle; set it before any operation other
  // than GetDBFilename and DefaultDefaultLevel.
  std::string nodename;

  // The default depth: Levels of the default Todo row. Throws db::DbError when the database
  // cannot be opened or the row is missing (kNoCurrentRecord).
  int DefaultDefaultLevel();

  // The depth of nodename, the default when its Levels is -1. A node seen for the first time
  // gets a Todo row with Levels -1. A busy database, or one another program holds exclusively,
  // is paused for and tried again like the bulk appends; throws db::DbError as
  // DefaultDefaultLevel does, and at the 120th such failure.
  int DefaultLevel();

  // Reads dbloc.txt again; "" when it is absent. Throws std::system_error when it exists but
  // cannot be read.
  void GetDBFilename();

  // The database path last read from dbloc.txt, as it is written there.
  const std::string& dbloc() const { return dbloc_; }

  // Opens the database and begins the transaction that SaveFree, SaveDirs and AddPeriod join
  // until CommitScan, so that a node's disks, sizes, parents and period are stored whole or not
  // at all. Retried like the appends; throws db::DbError when it fails for good, with nothing
  // begun. Throws std::logic_error when a scan is open already.
  void BeginScan();
  // Stores what was saved since BeginScan; the commit is retried. Throws db::DbError when it
  // fails for good, having stored nothing; the scan is closed either way. When the scan added
  // a period, the database's statistics are then brought up to date, so that the readers'
  // plans follow the file as it grows; that step is skipped quietly when the file is busy or
  // it fails, since the scan is stored and the next period or compaction renews them.
  void CommitScan();
  // Forgets what was saved since BeginScan, if a scan is open; never fails. The store does it
  // too when it goes.
  void CancelScan();

  // Appends period to Periods unless it is stored already. A busy step is retried; a period
  // another scanner stored meanwhile passes quietly. Throws db::DbError for any other failure.
  void AddPeriod(DateTime period);

  // Replaces nodename's rows of this period in Dirs and Parents (left by an earlier run in the
  // same period) by names[1..count] with sizes[1..count] as tree paths under R\nodename, the
  // node row (R, nodename, nodetotal), and one Parents row per run of equal parents, in one
  // transaction (a savepoint of the open scan). Entries sized SKIP stay out of Dirs, and so do
  // entries whose name or parent is blank; returns the latter, as given in names, for the log.
  // A busy step is paused and retried; throws db::DbError when opening fails for good, at the
  // 120th failure or at once for an error no retry cures, with the transaction rolled back.
  // Throws std::out_of_range when the arrays hold fewer than count + 1 elements.
  std::vector<std::string> SaveDirs(const std::vector<std::string>& names,
                                    const std::vector<std::int64_t>& sizes, int count,
                                    std::int64_t nodetotal);

  // Replaces nodename's Disks rows of this period by drives[1..count] with their free and total
  // bytes, in one transaction; retries and errors as SaveDirs.
  void SaveFree(const std::vector<std::string>& drives, const std::vector<std::int64_t>& freebytes,
                const std::vector<std::int64_t>& totalbytes, int count);

  // Sets the Levels of nodename's Todo row, unless level equals the default level (-1 makes the
  // node follow the default). Throws db::DbError, kNoCurrentRecord when the node has no row.
  void SetDefaultLevel(int level);

  // Sets the LogFile of nodename's Todo row; retried as DefaultLevel. Throws db::DbError,
  // kNoCurrentRecord when the node has no row.
  void SetLogFile(const std::string& logfilename);

 private:
  SizeStoreServices services_;
  std::string dbloc_;
  std::string database_file_;  // dbloc_ as the system names the file
  // The connection and transaction between BeginScan and CommitScan; null outside them.
  struct OpenScan;
  std::unique_ptr<OpenScan> scan_;
};

}  // namespace brontal
