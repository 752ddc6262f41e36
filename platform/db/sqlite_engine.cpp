// The SQLite backend: one file per database, its open mode held by a lock file beside it, the
// path collation and a faster NOCASE installed on every connection, repair by reindexing and
// compaction by VACUUM INTO.
#include "platform/db/sqlite_engine.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/db/engine.h"
#include "platform/db/file_lock.h"
#include "platform/db/jetsql/sqlite_dialect.h"

namespace brontal::db {
namespace {

// Text between quotes, a quote within it doubled.
std::string Quoted(std::string_view text, char quote) {
  std::string quoted(1, quote);
  for (char c : text) {
    quoted += c;
    if (c == quote) quoted += quote;
  }
  return quoted + quote;
}

std::string QuoteIdentifier(std::string_view name) { return Quoted(name, '"'); }
std::string QuoteText(std::string_view text) { return Quoted(text, '\''); }

int ErrorNumberFor(int extended_code) {
  switch (extended_code) {
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
      return kDuplicateKey;
    case SQLITE_CONSTRAINT_NOTNULL:
      return kRequired;
    case SQLITE_CONSTRAINT_DATATYPE:
    case SQLITE_CONSTRAINT_CHECK:
      return kTypeMismatch;
  }
  switch (extended_code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return kLocked;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
      return kDamaged;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_READONLY:
    case SQLITE_AUTH:
      return kCannotOpen;
  }
  return kGeneral;
}

[[noreturn]] void Fail(sqlite3* handle, int code, const std::string& context) {
  int extended = handle ? sqlite3_extended_errcode(handle) : code;
  if ((extended & 0xff) != (code & 0xff)) extended = code;
  std::string message = handle ? sqlite3_errmsg(handle) : sqlite3_errstr(code);
  if ((extended & 0xff) == SQLITE_BUSY) {
    message = "The database is locked by another program writing to it";
  }
  throw DbError(ErrorNumberFor(extended), context.empty() ? message : message + " " + context);
}

struct FileStatus {
  bool exists = false;
  bool regular = false;
  bool empty = false;
};

FileStatus StatusOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return {};
  return {true, S_ISREG(info.st_mode), info.st_size == 0};
}

// An existing, non-empty regular file: the engine would take an empty file for an empty
// database, but no database of the system is ever empty.
void RequireDatabaseFile(const std::string& path) {
  FileStatus status = StatusOf(path);
  if (!status.exists) throw DbError(kFileNotFound, "Could not find file '" + path + "'.");
  if (!status.regular) throw DbError(kCannotOpen, "'" + path + "' is not a database file.");
  if (status.empty) throw DbError(kDamaged, "Unrecognized database format '" + path + "'.");
}

// SQLite's NOCASE comparison, to the byte: ASCII letters folded, stopping at a NUL byte, the
// lengths deciding between texts equal that far. The stored paths share long prefixes (every
// row of a node starts with the same drive and folders), and this version passes equal bytes
// eight at a time instead of folding each, which is most of the cost of keeping the indexes
// on them. The order is SQLite's own, so files stay valid for any other program.
int CompareNoCase(void*, int left_size, const void* left, int right_size, const void* right) {
  auto* a = static_cast<const unsigned char*>(left);
  auto* b = static_cast<const unsigned char*>(right);
  const int common = std::min(left_size, right_size);
  int i = 0;
  for (; i + 8 <= common; i += 8) {
    std::uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    const bool has_nul = ((x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull) != 0;
    if (x != y || has_nul) break;
  }
  auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : static_cast<int>(c); };
  for (; i < common; ++i) {
    if (a[i] == 0 || fold(a[i]) != fold(b[i])) {
      if (int order = fold(a[i]) - fold(b[i])) return order;
      break;
    }
  }
  return left_size - right_size;
}

// A prepared statement. Text is bound as a copy, so that the caller's values may go.
class SqliteStatement final : public BackendStatement {
 public:
  SqliteStatement(sqlite3* handle, sqlite3_stmt* statement)
      : handle_(handle), statement_(statement) {}
  ~SqliteStatement() override { sqlite3_finalize(statement_); }

  int ColumnCount() const override { return sqlite3_column_count(statement_); }
  std::string ColumnName(int index) const override {
    return sqlite3_column_name(statement_, index);
  }

  void Bind(int index, const Value& value) override {
    int rc = std::visit(
        [&](const auto& v) -> int {
          using T = std::decay_t<decltype(v)>;
          if constexpr (std::is_same_v<T, std::monostate>) {
            return sqlite3_bind_null(statement_, index);
          } else if constexpr (std::is_same_v<T, std::int64_t>) {
            return sqlite3_bind_int64(statement_, index, v);
          } else if constexpr (std::is_same_v<T, double>) {
            return sqlite3_bind_double(statement_, index, v);
          } else {
            return sqlite3_bind_text(statement_, index, v.data(), static_cast<int>(v.size()),
                                     SQLITE_TRANSIENT);
          }
        },
        value.data());
    if (rc != SQLITE_OK) Fail(handle_, rc, "");
  }

  bool Step() override {
    int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc != SQLITE_DONE) Fail(handle_, rc, "");
    changes_ = sqlite3_changes64(handle_);
    return false;
  }

  Value Column(int index) const override {
    switch (sqlite3_column_type(statement_, index)) {
      case SQLITE_INTEGER:
        return static_cast<std::int64_t>(sqlite3_column_int64(statement_, index));
      case SQLITE_FLOAT:
        return sqlite3_column_double(statement_, index);
      case SQLITE_NULL:
        return Value();
      default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement_, index));
        return std::string_view(text, sqlite3_column_bytes(statement_, index));
      }
    }
  }

  void Reset() override {
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
  }

  std::int64_t Changes() const override { return changes_; }

 private:
  sqlite3* handle_;
  sqlite3_stmt* statement_;
  std::int64_t changes_ = 0;
};

void FsyncFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || ::fsync(fd) != 0) {
    int error = errno;
    if (fd >= 0) ::close(fd);
    throw DbError(kGeneral, "Could not write '" + path + "': " + std::strerror(error));
  }
  ::close(fd);
}

// Deletes a copy that failed, with the journal its analysis may have left when the failure came
// at its commit.
void RemoveCopy(const std::string& path) {
  ::unlink(path.c_str());
  ::unlink((path + "-journal").c_str());
}

// Measures the statistics of every index on about a thousand of its rows: enough for the
// planner's choices, and a matter of milliseconds on a file of many gigabytes.
constexpr char kSampledAnalysis[] =
    "pragma analysis_limit = 1000; analyze; pragma analysis_limit = 0";

// Gives a fresh compacted copy, which nobody else can know of yet, its planner statistics.
// Without them the planner cannot know that a parent's rows span hundreds of periods, and
// answers "children of one parent in two periods" from the (parent, name) index, reading every
// period of the parent instead of the two asked for. A sampled analysis costs little even on a
// large file. The file being compacted stays as it was.
void AnalyzeCopy(const std::string& path) {
  sqlite3* handle = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
  if (rc == SQLITE_OK) rc = sqlite3_exec(handle, kSampledAnalysis, nullptr, nullptr, nullptr);
  std::string message = handle ? sqlite3_errmsg(handle) : "out of memory";
  int extended = handle ? sqlite3_extended_errcode(handle) : rc;
  sqlite3_close(handle);
  if (rc != SQLITE_OK) {
    throw DbError(ErrorNumberFor(extended), "Could not analyse '" + path + "': " + message);
  }
}

// One open database file: the SQLite handle and the lock that stands for its open mode.
class SqliteConnection final : public BackendConnection {
 public:
  SqliteConnection(std::string path, FileLock lock, bool exclusive, sqlite3* handle)
      : path_(std::move(path)), lock_(std::move(lock)), exclusive_(exclusive), handle_(handle) {}
  ~SqliteConnection() override { Close(); }

  const std::string& Name() const override { return path_; }
  bool Exclusive() const override { return exclusive_; }
  bool Closed() const override { return handle_ == nullptr; }
  void Close() override {
    if (handle_) {
      sqlite3_close_v2(handle_);  // rolls back an open transaction
      handle_ = nullptr;
    }
    lock_.Release();
  }

  const jetsql::Dialect& Dialect() const override { return jetsql::SqliteDialect(); }
  std::string Parameter(int index) const override { return "?" + std::to_string(index); }
  std::string RowIdColumn() const override { return "rowid"; }
  std::string ReturningRowId() const override { return ""; }

  std::unique_ptr<BackendStatement> Prepare(std::string_view sql) override {
    sqlite3_stmt* statement = nullptr;
    const char* tail = nullptr;
    int rc =
        sqlite3_prepare_v2(handle(), sql.data(), static_cast<int>(sql.size()), &statement, &tail);
    auto prepared = std::make_unique<SqliteStatement>(handle_, statement);
    if (rc != SQLITE_OK) {
      int number = ErrorNumberFor(sqlite3_extended_errcode(handle_));
      throw DbError(number == kGeneral ? kSqlSyntax : number,
                    std::string(sqlite3_errmsg(handle_)) + " in '" + std::string(sql) + "'");
    }
    if (!statement) throw DbError(kSqlSyntax, "The statement is empty.");
    return prepared;
  }

  void Exec(const std::string& sql) override {
    int rc = sqlite3_exec(handle(), sql.c_str(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(handle_, rc, "");
  }

  std::vector<std::string> TableColumns(std::string_view table) override {
    auto info = Prepare("select name from pragma_table_info(?1)");
    info->Bind(1, Value(table));
    return TextColumn(*info, "reading the schema of " + std::string(table));
  }

  std::vector<std::string> IndexColumns(std::string_view table, std::string_view index) override {
    auto list = Prepare(
        "select i.name from pragma_index_list(?1) l join pragma_index_info(l.name) i "
        "where l.name = ?2 collate nocase order by i.seqno");
    list->Bind(1, Value(table));
    list->Bind(2, Value(std::string(table) + "_" + std::string(index)));
    return TextColumn(*list, "reading the indexes of " + std::string(table));
  }

  void Begin() override {
    int rc = sqlite3_exec(handle(), "begin immediate", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) Fail(handle_, rc, "while beginning a transaction on '" + path_ + "'");
  }
  void Commit() override { Exec("commit"); }
  void Rollback() override { Exec("rollback"); }
  bool InTransaction() override { return !sqlite3_get_autocommit(handle()); }
  std::string SavepointSql(const std::string& name) const override { return "savepoint " + name; }
  std::string ReleaseSql(const std::string& name) const override { return "release " + name; }
  std::string RollbackToSql(const std::string& name) const override {
    return "rollback to " + name;
  }

  void Repair() override {
    std::string problem = IntegrityProblem();
    if (problem.empty()) return;
    // Damaged indexes can be rebuilt from their tables; anything else is beyond repair here.
    // A reindex that fails rolls back, and the check that follows says what is wrong, unless
    // it failed only because a program outside the suite had the file busy.
    int rc = sqlite3_exec(handle(), "reindex", nullptr, nullptr, nullptr);
    if (ErrorNumberFor(rc) == kLocked) Fail(handle_, rc, "repairing '" + path_ + "'");
    problem = IntegrityProblem();
    if (!problem.empty()) {
      throw DbError(kDamaged, "The database '" + path_ + "' is damaged: " + problem);
    }
  }

  void CompactInto(const std::string& destination) override {
    if (StatusOf(destination).exists) {
      throw DbError(kDatabaseExists, "Database '" + destination + "' already exists.");
    }
    auto vacuum = Prepare("vacuum into ?1");
    vacuum->Bind(1, Value(destination));
    try {
      vacuum->Step();
    } catch (const DbError& error) {
      RemoveCopy(destination);
      throw DbError(error.Number(),
                    error.Description() + " compacting '" + path_ + "' into '" + destination + "'");
    }
    // The copy is written without syncs; it must be on the disk before it replaces anything.
    try {
      AnalyzeCopy(destination);
      FsyncFile(destination);
    } catch (const DbError&) {
      RemoveCopy(destination);
      throw;
    }
  }

  void UpdateStatistics() override { Exec(kSampledAnalysis); }

  sqlite3* handle() const {
    if (!handle_) {
      throw DbError(kClosed, "Object invalid or no longer set: the database is closed.");
    }
    return handle_;
  }

 private:
  // The first column of every row of a statement, as text.
  static std::vector<std::string> TextColumn(BackendStatement& statement,
                                             const std::string& context) {
    std::vector<std::string> values;
    try {
      while (statement.Step()) values.push_back(statement.Column(0).AsText());
    } catch (const DbError& error) {
      throw DbError(error.Number(), error.Description() + " " + context);
    }
    return values;
  }

  // The first problem a structural check of every page finds; empty for a sound file. The
  // check leaves out whether index entries match their rows: a compaction rebuilds every index
  // from its table anyway, and the full check costs several times the compaction on a large
  // file.
  std::string IntegrityProblem() {
    auto check = Prepare("pragma quick_check(1)");
    std::string result;
    try {
      if (check->Step()) result = check->Column(0).AsText();
    } catch (const DbError& error) {
      if (error.Number() == kDamaged) return sqlite3_errmsg(handle_);
      throw DbError(error.Number(), error.Description() + " checking '" + path_ + "'");
    }
    if (result == "ok") return "";
    // The report spans lines ("*** in database main ***" first); an error text must not.
    std::replace(result.begin(), result.end(), '\n', ' ');
    return result;
  }

  std::string path_;
  FileLock lock_;
  bool exclusive_;
  sqlite3* handle_;
};

// Opens the SQLite handle of a database file under its lock and checks that it is one.
std::unique_ptr<SqliteConnection> Connect(const std::string& path, bool exclusive,
                                          const SqliteOptions& options) {
  FileLock lock =
      FileLock::Acquire(path, exclusive ? FileLock::Mode::kExclusive : FileLock::Mode::kShared);
  sqlite3* handle = nullptr;
  int rc =
      sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  auto connection = std::make_unique<SqliteConnection>(path, std::move(lock), exclusive, handle);
  if (rc != SQLITE_OK) Fail(handle, rc, "opening '" + path + "'");
  sqlite3_extended_result_codes(handle, 1);
  sqlite3_busy_timeout(handle, options.busy_timeout_ms);
  rc = jetsql::InstallSqliteCollations(handle);
  if (rc == SQLITE_OK) {
    rc =
        sqlite3_create_collation_v2(handle, "NOCASE", SQLITE_UTF8, nullptr, CompareNoCase, nullptr);
  }
  if (rc != SQLITE_OK) Fail(handle, rc, "opening '" + path + "'");
  // The first read notices a file that is no database at all; opening alone does not.
  rc = sqlite3_exec(handle, "select count(*) from sqlite_schema", nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) {
    if (ErrorNumberFor(rc) == kDamaged) {
      throw DbError(kDamaged, "Unrecognized database format '" + path + "'.");
    }
    Fail(handle, rc, "opening '" + path + "'");
  }
  // A rollback journal, since write-ahead logging does not work on network shares; synchronous
  // writes so that a committed scan survives a crash of the node.
  connection->Exec("pragma synchronous = full");
  if (sqlite3_exec(handle, "pragma journal_mode = delete", nullptr, nullptr, nullptr) !=
      SQLITE_OK) {
    // Another connection has the file open in another journal mode; it keeps its own.
  }
  return connection;
}

std::string ColumnSql(const ColumnDef& column) {
  std::string name = QuoteIdentifier(column.name);
  std::string sql = name;
  switch (column.type) {
    case ColumnType::kText:
      sql += " text collate nocase";
      break;
    case ColumnType::kDateTime:
      sql += " text check (" + name +
             " glob '[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]')";
      break;
    case ColumnType::kCurrency:
      sql += " integer";
      break;
    case ColumnType::kLong:
      sql += " integer check (" + name + " between -2147483648 and 2147483647)";
      break;
  }
  if (column.required) sql += " not null";
  return sql;
}

// Statements that give a new file the typical statistics of its indexes, so that its planner
// chooses as it would on a large file from the start rather than guessing until the file is
// first measured. Analysing the empty tables makes the table the statistics live in; reading
// it back makes the planner take them up. Typical figures are no measure of how many values a
// leading column really holds, so they never let the planner skip through an index on its
// leading column (the tree of a large file took ten times longer so).
std::string TypicalStatisticsSql(const Schema& schema) {
  std::string rows;
  for (const IndexDef& index : schema.indexes) {
    if (index.typical_rows.empty()) continue;
    std::string stat;
    for (std::int64_t count : index.typical_rows)
      stat += (stat.empty() ? "" : " ") + std::to_string(count);
    rows += std::string(rows.empty() ? "" : ", ") + "(" + QuoteText(index.table) + ", " +
            QuoteText(index.table + "_" + index.name) + ", " + QuoteText(stat + " noskipscan") +
            ")";
  }
  if (rows.empty()) return "";
  return "analyze;\ninsert into sqlite_stat1 (tbl, idx, stat) values " + rows +
         ";\nanalyze sqlite_schema;\n";
}

class SqliteBackend final : public Backend {
 public:
  explicit SqliteBackend(const SqliteOptions& options) : options_(options) {}

  // Every location that is no URI is a file path.
  bool Handles(const std::string& location) const override {
    return location.find("://") == std::string::npos;
  }

  std::unique_ptr<BackendConnection> Open(const std::string& path, bool exclusive) override {
    RequireDatabaseFile(path);
    return Connect(path, exclusive, options_);
  }

  std::unique_ptr<BackendConnection> Create(const std::string& path,
                                            const Schema& schema) override {
    // Creating the file first, exclusively, refuses to overwrite even a file that appears
    // between a check and the write.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST)
        throw DbError(kDatabaseExists, "Database '" + path + "' already exists.");
      throw DbError(kCannotOpen, "Could not create '" + path + "': " + std::strerror(errno));
    }
    ::close(fd);
    try {
      auto connection = Connect(path, /*exclusive=*/true, options_);
      std::string sql = "begin;\n";
      for (const TableDef& table : schema.tables) {
        sql += "create table " + QuoteIdentifier(table.name) + " (";
        for (std::size_t i = 0; i < table.columns.size(); ++i) {
          sql += (i ? ", " : "") + ColumnSql(table.columns[i]);
        }
        sql += ") strict;\n";
      }
      for (const IndexDef& index : schema.indexes) {
        sql += std::string("create ") + (index.unique ? "unique " : "") + "index " +
               QuoteIdentifier(index.table + "_" + index.name) + " on " +
               QuoteIdentifier(index.table) + " (";
        for (std::size_t i = 0; i < index.columns.size(); ++i) {
          sql += (i ? ", " : "") + QuoteIdentifier(index.columns[i]);
        }
        sql += ");\n";
      }
      connection->Exec(sql + TypicalStatisticsSql(schema) + "commit;");
      return connection;
    } catch (...) {
      ::unlink(path.c_str());
      ::unlink(FileLock::LockPathFor(path).c_str());
      throw;
    }
  }

  void RequireDatabase(const std::string& path) override { RequireDatabaseFile(path); }
  void RequireNoDatabase(const std::string& path) override {
    if (StatusOf(path).exists) {
      throw DbError(kDatabaseExists, "Database '" + path + "' already exists.");
    }
  }

 private:
  SqliteOptions options_;
};

}  // namespace

std::unique_ptr<Backend> MakeSqliteBackend(const SqliteOptions& options) {
  return std::make_unique<SqliteBackend>(options);
}

std::unique_ptr<Engine> MakeSqliteEngine(const SqliteOptions& options) {
  std::vector<std::unique_ptr<Backend>> backends;
  backends.push_back(MakeSqliteBackend(options));
  return MakeEngine(std::move(backends), {options.clock});
}

}  // namespace brontal::db
