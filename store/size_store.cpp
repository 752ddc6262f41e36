// SizeStore: every operation opens the shared database, does its work and closes it again, so
// that many scanners can share the file; the bulk appends outwait one another's locks.
#include "store/size_store.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <memory>
#include <random>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <utility>

#include "platform/linux_filesystem.h"
#include "store/dbloc.h"
#include "store/format.h"
#include "store/schema.h"
#include "store/sql_text.h"
#include "store/text.h"

namespace brontal {
namespace {

using db::RecordsetType;

constexpr int kMaxFailures = 120;

// Closes the database however the operation ends; a failing close must not hide the error
// that ended the operation.
struct CloseDatabase {
  void operator()(db::Database* database) const {
    try {
      database->Close();
    } catch (const db::DbError&) {
    }
    delete database;
  }
};
using OpenedDatabase = std::unique_ptr<db::Database, CloseDatabase>;

OpenedDatabase Open(db::Engine& engine, const std::string& path) {
  return OpenedDatabase(engine.DefaultWorkspace().OpenDatabase(path).release());
}

bool IsPassing(const db::DbError& error) {
  return error.Number() == db::kLocked || error.Number() == db::kInUse;
}

// Runs the steps of an operation, repeating a step that fails for a reason that goes away
// (another connection writing, the maintenance tool holding the file) after a random pause.
// The failures of all steps of one operation count together.
class Retrier {
 public:
  explicit Retrier(const SizeStoreServices& services) : services_(services) {}

  template <typename Step>
  auto Run(Step&& step) {
    for (;;) {
      try {
        return step();
      } catch (const db::DbError& error) {
        if (!IsPassing(error)) throw;
        services_.pause(PauseMilliseconds());
        if (++failures_ >= kMaxFailures) {
          throw db::DbError(error.Number(), "Gave up after " + std::to_string(kMaxFailures) +
                                                " failures; the last: " + error.Description());
        }
      }
    }
  }

 private:
  // 20 to 60 seconds, spreading the scanners that met on the file apart.
  int PauseMilliseconds() const {
    return static_cast<int>(std::lround((services_.random() * 40 + 20) * 1000));
  }

  const SizeStoreServices& services_;
  int failures_ = 0;
};

// A workspace transaction that is rolled back unless it was committed, so that rows appended
// before a failure never reach the file.
class Transaction {
 public:
  explicit Transaction(db::Workspace& workspace) : workspace_(workspace) {}
  ~Transaction() {
    if (!open_) return;
    try {
      workspace_.Rollback();
    } catch (const db::DbError&) {
      // Closing the database rolls it back all the same.
    }
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  void Begin() {
    workspace_.BeginTrans();
    open_ = true;
  }
  // A commit that fails leaves the transaction open, to be committed again.
  void Commit() {
    workspace_.CommitTrans();
    open_ = false;
  }

 private:
  db::Workspace& workspace_;
  bool open_ = false;
};

using Fields = std::initializer_list<std::pair<std::string_view, db::Value>>;

// Appends one row, each step retried on its own so that a retry never repeats a step that
// succeeded.
void Append(Retrier& retry, db::Recordset& table, Fields fields) {
  retry.Run([&] { table.AddNew(); });
  // No structured binding here: clang 14, which builds the fuzz targets, cannot capture one.
  for (const auto& field : fields) {
    retry.Run([&] { table.SetField(field.first, field.second); });
  }
  retry.Run([&] { table.Update(); });
}

// Appends rows to a table in batches of at most kBatchRows, each appended at once and retried
// whole: a database on a server takes a batch many times faster than its rows one by one.
class BulkAppender {
 public:
  BulkAppender(Retrier& retry, db::Database& database, std::string table,
               std::vector<std::string> columns)
      : retry_(retry),
        database_(database),
        table_(std::move(table)),
        columns_(std::move(columns)) {}

  void Add(std::initializer_list<db::Value> row) {
    rows_.insert(rows_.end(), row.begin(), row.end());
    if (rows_.size() >= kBatchRows * columns_.size()) Flush();
  }
  void Flush() {
    if (rows_.empty()) return;
    retry_.Run([&] { database_.AppendRows(table_, columns_, rows_); });
    rows_.clear();
  }

 private:
  static constexpr std::size_t kBatchRows = 10000;
  Retrier& retry_;
  db::Database& database_;
  std::string table_;
  std::vector<std::string> columns_;
  std::vector<db::Value> rows_;
};

std::unique_ptr<db::Recordset> OpenTable(Retrier& retry, db::Database& database,
                                         std::string_view name) {
  return retry.Run([&] { return database.OpenRecordset(name, RecordsetType::kTable); });
}

bool IsBlank(std::string_view text) {
  return text.find_first_not_of(' ') == std::string_view::npos;
}

// The leading whole number of a setting's text, 0 when it has none.
int WholeNumber(std::string_view text) {
  std::size_t start = text.find_first_not_of(' ');
  if (start == std::string_view::npos) return 0;
  text.remove_prefix(start);
  if (text.starts_with('+')) text.remove_prefix(1);
  int value = 0;
  if (std::from_chars(text.data(), text.data() + text.size(), value).ec != std::errc()) return 0;
  return value;
}

// The hour of a run: rounded to the nearest hour, but never to midnight of the next day, so that
// runs started within one half-hour window share a period; runs before dawn go to midnight.
DateTime PeriodOf(DateTime now, int dawn) {
  int hour = now.Hour();
  if (hour < 23 && now.Minute() > 29) ++hour;
  if (hour < dawn) hour = 0;
  return DateTime::FromCivil(now.Year(), now.Month(), now.Day(), hour);
}

// Tree paths of the entries of one node.
class TreePaths {
 public:
  explicit TreePaths(const std::string& nodename)
      : nodename_(nodename), share_prefix_(LowerCase("\\\\" + nodename + "\\")) {}

  // An administrative share of the node itself (\\server1\c$\winnt) is filed under its drive
  // (R\server1\c:\winnt), in the entry's own letter case, like the node's local drives.
  std::string Of(std::string_view entry) const {
    std::size_t length = share_prefix_.size();
    if (entry.size() >= length && LowerCase(entry.substr(0, length)) == share_prefix_) {
      std::string_view rest = entry.substr(length);
      std::string_view drive = FirstCharacters(rest, 1);
      rest.remove_prefix(drive.size());
      rest.remove_prefix(FirstCharacters(rest, 1).size());  // the "$"
      return "R" + std::string(entry.substr(1, length - 1)) + std::string(drive) + ":" +
             std::string(rest);
    }
    return "R\\" + nodename_ + "\\" + std::string(entry);
  }

 private:
  std::string nodename_;
  std::string share_prefix_;
};

void RequireEntries(std::size_t size, int count, const char* what) {
  if (count < 0 || size < static_cast<std::size_t>(count) + 1) {
    throw std::out_of_range(std::string(what) + " holds " + std::to_string(size) +
                            " elements, fewer than " + std::to_string(count) + " + 1");
  }
}

int LevelsOf(db::Database& database, const std::string& sql) {
  auto rows = database.OpenRecordset(sql, RecordsetType::kSnapshot);
  return static_cast<int>(rows->Field("Levels").AsInt64());
}

std::string DefaultLevelQuery(const std::string& defaultnodename) {
  return std::string("select levels from todo") + " where nodename = " + '"' +
         SqlText(defaultnodename) + '"';
}

// The Todo table standing on nodename's row, ready to edit; throws kNoCurrentRecord on Edit
// when the node has no row.
std::unique_ptr<db::Recordset> SeekNode(db::Database& database, const std::string& nodename) {
  auto todo = database.OpenRecordset("Todo", RecordsetType::kTable);
  todo->SetIndex("Todo");
  todo->Seek("=", {nodename, "R"});
  return todo;
}

// The period as a literal of the database's SQL, to the second.
std::string PeriodLiteral(DateTime period) {
  return "#" + SqlDateText(period, "m/d/yyyy hh:nn:ss") + "#";
}

bool HasRows(db::Database& database, const std::string& sql) {
  return !database.OpenRecordset(sql, RecordsetType::kSnapshot)->Eof();
}

// Deletes what an earlier run of the node stored in Dirs and Parents for the same period, so that
// a rerun replaces it rather than counting the node twice. The node row, which every save
// writes, tells whether there is anything to delete.
void ForgetEarlierRun(Retrier& retry, db::Database& database, const std::string& nodename,
                      DateTime period) {
  const std::string when = " where pdate = " + PeriodLiteral(period);
  const std::string node = "R\\" + nodename;
  if (!retry.Run([&] {
        return HasRows(database, "select Dir from Dirs" + when +
                                     " and DirParent = \"R\" and Dir = \"" + SqlText(nodename) +
                                     "\"");
      })) {
    return;
  }
  const std::string subtree = " and (DirParent = \"" + SqlText(node) + "\" or DirParent like \"" +
                              SqlLikeText(node + "\\") + "*\")";
  retry.Run([&] {
    database.Execute("delete * from Dirs" + when + subtree);
    database.Execute("delete * from Dirs" + when + " and DirParent = \"R\" and Dir = \"" +
                     SqlText(nodename) + "\"");
    database.Execute("delete * from Parents" + when + subtree);
  });
}

// Runs save(database) in a transaction: a savepoint of the scan's transaction when a scan is
// open on `scan_database`, otherwise a transaction of its own on a database opened for it.
template <typename Save>
void Transacted(Retrier& retry, db::Engine& engine, const std::string& path,
                db::Database* scan_database, Save&& save) {
  OpenedDatabase own;
  if (!scan_database) {
    own = retry.Run([&] { return Open(engine, path); });
    scan_database = own.get();
  }
  Transaction transaction(engine.DefaultWorkspace());
  retry.Run([&] { transaction.Begin(); });
  save(*scan_database);
  retry.Run([&] { transaction.Commit(); });
}

}  // namespace

// The scan's one connection and its transaction, rolled back unless it was committed.
struct SizeStore::OpenScan {
  OpenedDatabase database;
  Transaction transaction;
  bool added_period = false;
};

std::function<double()> MakeSeededRandom() {
  std::random_device entropy;
  auto nanoseconds =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count());
  std::seed_seq seed{static_cast<std::uint32_t>(nanoseconds),
                     static_cast<std::uint32_t>(nanoseconds >> 32), entropy()};
  auto generator = std::make_shared<std::mt19937>(seed);
  return [generator] { return std::uniform_real_distribution<double>(0.0, 1.0)(*generator); };
}

void SleepMilliseconds(int milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

SizeStoreServices MakeSizeStoreServices(db::Engine& engine, Settings& settings, const Clock& clock,
                                        MessageBox& message_box, std::string program_folder) {
  return {.engine = engine,
          .settings = settings,
          .clock = clock,
          .message_box = message_box,
          .program_folder = std::move(program_folder),
          .random = MakeSeededRandom(),
          .pause = SleepMilliseconds,
          .unc_root = UncRootFromEnvironment()};
}

SizeStore::SizeStore(SizeStoreServices services)
    : defaultnodename(kDefaultNodeName), SKIP(-13), services_(std::move(services)) {
  GetDBFilename();
  if (dbloc_.empty()) {
    services_.message_box.Show("Database must be configured, please review installation.",
                               "Brontal");
  }
  int dawn = WholeNumber(services_.settings.Get("Options", "Dawn", "0"));
  pdate = PeriodOf(services_.clock.Now(), dawn);
}

SizeStore::~SizeStore() { CancelScan(); }

int SizeStore::DefaultDefaultLevel() {
  OpenedDatabase database = Open(services_.engine, database_file_);
  return LevelsOf(*database, DefaultLevelQuery(defaultnodename));
}

int SizeStore::DefaultLevel() {
  const std::string query = std::string("select Levels from todo") + " where nodename = " + '"' +
                            SqlText(nodename) + '"' + " and dirparent=" + '"' + "R" + '"';
  // A scanner that meets the maintenance tool waits for it rather than sizing at another depth.
  Retrier retry(services_);
  return retry.Run([&] {
    OpenedDatabase database = Open(services_.engine, database_file_);
    int level = -1;
    auto rows = database->OpenRecordset(query, RecordsetType::kSnapshot);
    if (rows->Eof()) {
      auto todo = database->OpenRecordset("Todo", RecordsetType::kTable);
      todo->AddNew();
      todo->SetField("Nodename", nodename);
      todo->SetField("DirParent", "R");
      todo->SetField("Levels", -1);
      try {
        todo->Update();
      } catch (const db::DbError& error) {
        // Another scanner of the same node made the row a moment ago: read it.
        if (error.Number() != db::kDuplicateKey) throw;
        todo->CancelUpdate();
        level = LevelsOf(*database, query);
      }
    } else {
      level = static_cast<int>(rows->Field("Levels").AsInt64());
    }
    if (level == -1) level = LevelsOf(*database, DefaultLevelQuery(defaultnodename));
    return level;
  });
}

void SizeStore::GetDBFilename() {
  dbloc_.clear();  // a dbloc.txt that cannot be read leaves no stale path behind
  database_file_.clear();
  dbloc_ = ReadDbLoc(services_.program_folder);
  if (!dbloc_.empty()) database_file_ = NativePathOf(dbloc_, services_.unc_root);
}

void SizeStore::BeginScan() {
  if (scan_) throw std::logic_error("BeginScan with a scan open already");
  Retrier retry(services_);
  OpenedDatabase database = retry.Run([&] { return Open(services_.engine, database_file_); });
  auto scan = std::unique_ptr<OpenScan>(
      new OpenScan{std::move(database), Transaction(services_.engine.DefaultWorkspace())});
  retry.Run([&] { scan->transaction.Begin(); });
  scan_ = std::move(scan);
}

void SizeStore::CommitScan() {
  if (!scan_) throw std::logic_error("CommitScan without BeginScan");
  std::unique_ptr<OpenScan> scan = std::move(scan_);
  Retrier retry(services_);
  retry.Run([&] { scan->transaction.Commit(); });
  if (!scan->added_period) return;
  try {
    scan->database->UpdateStatistics();
  } catch (const db::DbError&) {
  }
}

void SizeStore::CancelScan() { scan_.reset(); }

void SizeStore::AddPeriod(DateTime period) {
  Retrier retry(services_);
  Transacted(retry, services_.engine, database_file_, scan_ ? scan_->database.get() : nullptr,
             [&](db::Database& database) {
               // Another node of the same hour may have stored it; a unique index, where the
               // file has one, catches a race the check could not see.
               if (retry.Run([&] {
                     return HasRows(database, "select pdate from Periods where pdate = " +
                                                  PeriodLiteral(period));
                   })) {
                 return;
               }
               auto periods = OpenTable(retry, database, "Periods");
               try {
                 Append(retry, *periods, {{"pdate", period}});
                 if (scan_) scan_->added_period = true;
               } catch (const db::DbError& error) {
                 if (error.Number() != db::kDuplicateKey) throw;
                 periods->CancelUpdate();
               }
             });
}

std::vector<std::string> SizeStore::SaveDirs(const std::vector<std::string>& names,
                                             const std::vector<std::int64_t>& sizes, int count,
                                             std::int64_t nodetotal) {
  RequireEntries(names.size(), count, "names");
  RequireEntries(sizes.size(), count, "sizes");
  Retrier retry(services_);
  TreePaths tree_paths(nodename);
  std::vector<std::string> blank;
  const db::Value period(pdate);  // its text made once, not for every row
  Transacted(retry, services_.engine, database_file_, scan_ ? scan_->database.get() : nullptr,
             [&](db::Database& database) {
               blank.clear();  // a retried transaction lists them again
               ForgetEarlierRun(retry, database, nodename, pdate);
               BulkAppender dirs(retry, database, "Dirs", {"pdate", "Dir", "DirParent", "Brontal"});
               for (int i = 1; i <= count; ++i) {
                 std::string path = tree_paths.Of(names[i]);
                 std::string dir = LastPathPart(path);
                 std::string parent = ParentPath(path);
                 if (IsBlank(dir) || IsBlank(parent)) {
                   blank.push_back(names[i]);
                   continue;
                 }
                 if (sizes[i] == SKIP) continue;
                 dirs.Add({period, std::move(dir), std::move(parent), sizes[i]});
               }
               dirs.Add({period, nodename, "R", nodetotal});
               dirs.Flush();
               // The readers build their tree from Parents; the sizing engine lists the
               // children of one directory together, so comparing with the last parent
               // written keeps the table small.
               BulkAppender parents(retry, database, "Parents", {"pdate", "DirParent"});
               std::string last_parent;
               for (int i = 1; i <= count; ++i) {
                 std::string parent = ParentPath(tree_paths.Of(names[i]));
                 if (IsBlank(parent) || parent == last_parent) continue;
                 parents.Add({period, parent});
                 last_parent = std::move(parent);
               }
               parents.Flush();
             });
  return blank;
}

void SizeStore::SaveFree(const std::vector<std::string>& drives,
                         const std::vector<std::int64_t>& freebytes,
                         const std::vector<std::int64_t>& totalbytes, int count) {
  RequireEntries(drives.size(), count, "drives");
  RequireEntries(freebytes.size(), count, "freebytes");
  RequireEntries(totalbytes.size(), count, "totalbytes");
  Retrier retry(services_);
  const std::string disk_parent = "R\\" + nodename;
  Transacted(retry, services_.engine, database_file_, scan_ ? scan_->database.get() : nullptr,
             [&](db::Database& database) {
               retry.Run([&] {
                 database.Execute("delete * from Disks where pdate = " + PeriodLiteral(pdate) +
                                  " and DiskParent = \"" + SqlText(disk_parent) + "\"");
               });
               auto disks = OpenTable(retry, database, "Disks");
               for (int i = 1; i <= count; ++i) {
                 Append(retry, *disks,
                        {{"pdate", pdate},
                         {"Disk", drives[i]},
                         {"DiskParent", disk_parent},
                         {"DiskFree", freebytes[i]},
                         {"DiskSize", totalbytes[i]}});
               }
             });
}

void SizeStore::SetDefaultLevel(int level) {
  OpenedDatabase database = Open(services_.engine, database_file_);
  if (level == LevelsOf(*database, DefaultLevelQuery(defaultnodename))) return;
  auto todo = SeekNode(*database, nodename);
  todo->Edit();
  todo->SetField("Levels", level);
  todo->Update();
}

void SizeStore::SetLogFile(const std::string& logfilename) {
  Retrier retry(services_);
  retry.Run([&] {
    OpenedDatabase database = Open(services_.engine, database_file_);
    auto todo = SeekNode(*database, nodename);
    todo->Edit();
    todo->SetField("LogFile", logfilename);
    todo->Update();
  });
}

}  // namespace brontal
