// The database engine as the programs see it: a workspace that opens database files shared or
// exclusive and runs transactions, table recordsets that append, seek and edit rows, snapshot
// recordsets over SQL text in the system's own dialect, executed statements, and repair and
// compaction of closed files. Every failure is a DbError.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/datetime.h"
#include "platform/db/db_error.h"

namespace brontal::db {

// A field value: null, a whole number, a floating-point number or text. Dates travel as text
// in the stored form "YYYY-MM-DD HH:MM:SS".
class Value {
 public:
  Value() = default;
  Value(std::nullptr_t) {}
  Value(int v) : data_(static_cast<std::int64_t>(v)) {}
  Value(std::int64_t v) : data_(v) {}
  Value(double v) : data_(v) {}
  Value(std::string v) : data_(std::move(v)) {}
  Value(std::string_view v) : data_(std::string(v)) {}
  Value(const char* v) : data_(std::string(v)) {}
  Value(DateTime v) : data_(v.ToIso()) {}

  bool IsNull() const { return std::holds_alternative<std::monostate>(data_); }
  bool IsInteger() const { return std::holds_alternative<std::int64_t>(data_); }
  bool IsReal() const { return std::holds_alternative<double>(data_); }
  bool IsText() const { return std::holds_alternative<std::string>(data_); }

  // The value as a whole number: integers as they are, whole reals, and text holding a whole
  // number. Throws DbError kTypeMismatch for null and anything else.
  std::int64_t AsInt64() const;
  // The value as a real number; throws kTypeMismatch for null and non-numeric text.
  double AsDouble() const;
  // The value as text: numbers in decimal; throws kTypeMismatch for null.
  std::string AsText() const;
  // Text in the stored date form; throws kTypeMismatch for anything else.
  DateTime AsDate() const;
  // AsText, or the empty text for null.
  std::string TextOr(std::string_view fallback = "") const;

  friend bool operator==(const Value&, const Value&) = default;

  using Data = std::variant<std::monostate, std::int64_t, double, std::string>;
  const Data& data() const { return data_; }

 private:
  Data data_;
};

// How a recordset is opened: a whole table, or a static copy of the rows of SQL text.
enum class RecordsetType { kTable = 1, kSnapshot = 4 };

// Execute option: any failure while deleting or updating rows is an error.
inline constexpr int kFailOnError = 128;

class Recordset {
 public:
  virtual ~Recordset() = default;

  // Position. A fresh recordset stands on its first row; an empty one is at both ends.
  virtual bool Eof() const = 0;
  virtual bool Bof() const = 0;
  virtual void MoveFirst() = 0;
  virtual void MoveNext() = 0;
  virtual void MovePrevious() = 0;
  virtual void MoveLast() = 0;
  // Snapshots: the rows reached so far, all of them after MoveLast. Tables: the rows in the
  // table.
  virtual std::int64_t RecordCount() = 0;

  // A field of the current row, found by name in any letter case. Throws kItemNotFound for an
  // unknown name and kNoCurrentRecord at either end.
  virtual Value Field(std::string_view name) const = 0;
  virtual int FieldCount() const = 0;
  virtual std::string FieldName(int index) const = 0;
  virtual Value Field(int index) const = 0;

  // Table recordsets only (kNotSupported on snapshots): AddNew starts a new row whose fields
  // are null, Edit a change of the current row; SetField assigns a field of that row; Update
  // writes it; CancelUpdate forgets it.
  virtual void AddNew() = 0;
  virtual void Edit() = 0;
  virtual void SetField(std::string_view name, Value value) = 0;
  virtual void Update() = 0;
  virtual void CancelUpdate() = 0;

  // Table recordsets only: chooses the index that Seek searches and the order of the rows.
  // Throws kItemNotFound for an index the table does not have.
  virtual void SetIndex(std::string_view name) = 0;
  // Makes the first row whose index key compares to `key` by comparison ("=", "<", "<=", ">",
  // ">=") the current row; NoMatch tells whether there was none.
  virtual void Seek(std::string_view comparison, std::initializer_list<Value> key) = 0;
  virtual bool NoMatch() const = 0;

  virtual void Close() = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  // A table (kTable, by table name) or the rows of SQL text in the system's dialect
  // (kSnapshot). Throws kItemNotFound for an unknown table and kSqlSyntax for bad SQL.
  virtual std::unique_ptr<Recordset> OpenRecordset(std::string_view source, RecordsetType type) = 0;
  // Appends `rows` to `table` at once: row-major, a value for each of `columns` a row. All of
  // them or, after a failure, none: inside a transaction the rows wait for its commit, outside
  // one they commit together. Much faster on a server than a table recordset's row by row.
  virtual void AppendRows(std::string_view table, const std::vector<std::string>& columns,
                          const std::vector<Value>& rows) {
    (void)table, (void)columns, (void)rows;
    throw DbError(kNotSupported, "Rows cannot be appended at once here.");
  }
  // Runs one statement of the dialect that returns no rows. With kFailOnError a failure while
  // changing rows is an error and changes nothing.
  virtual void Execute(std::string_view sql, int options = 0) = 0;
  // Rows changed by the last Execute.
  virtual std::int64_t RecordsAffected() const = 0;
  // The path the database was opened with.
  virtual std::string Name() const = 0;
  // Checks the structure of every page of the file and rebuilds damaged indexes from their
  // tables, which loses no row; a sound file is left as it is. Needs the exclusive open
  // (kNotSupported on a shared one); throws kDamaged when the file stays damaged.
  virtual void Repair() = 0;
  // Writes a compacted copy of the file to destination and flushes it to disk, while the file
  // stays open, unchanged and locked, so that nobody can write to it before the copy takes its
  // place. Needs the exclusive open (kNotSupported on a shared one). Throws kDatabaseExists when
  // anything exists at destination; after any other failure nothing is left there.
  virtual void CompactInto(const std::string& destination) = 0;
  // Whether the database is compacted where it lies (a database on a server), rather than
  // copied by CompactInto to a new file that then takes the old one's place.
  virtual bool CompactsInPlace() const { return false; }
  // Gives the space of deleted rows back and measures the tables again, in place. Needs the
  // exclusive open; kNotSupported where CompactsInPlace is false.
  virtual void CompactInPlace() {
    throw DbError(kNotSupported, "This database is compacted into a copy.");
  }
  // What the last Repair could not check, for the log ("not checked: ..."); empty when it
  // checked everything.
  virtual std::string RepairNote() const { return ""; }
  // Brings the statistics the query planner chooses its indexes by up to date with the rows the
  // file holds now. They are measured on a sample of each index, which costs little even on a
  // large file. An engine that keeps its statistics current by itself does nothing.
  virtual void UpdateStatistics() {}
  // Closes the recordsets still open on it, then the file.
  virtual void Close() = 0;
};

// Whether `location` (a dbloc.txt line) names a database on a server, by a postgresql:// or
// postgres:// URI, rather than a file.
bool IsServerLocation(std::string_view location);

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Opens an existing database file, or a database on a server; never creates one. Shared opens
  // (exclusive false) may be held by many programs at once; an exclusive open fails with kInUse
  // while any other open is held, and every other open fails while it is held. A missing file is
  // kFileNotFound, a file that is no database kDamaged.
  virtual std::unique_ptr<Database> OpenDatabase(const std::string& path,
                                                 bool exclusive = false) = 0;
  // Transactions over the databases this workspace opened; they nest. BeginTrans takes the
  // write lock at once, so a busy file fails here (kLocked) before any row is written.
  virtual void BeginTrans() = 0;
  virtual void CommitTrans() = 0;
  virtual void Rollback() = 0;
  // Closes the databases still open in it.
  virtual void Close() = 0;
};

// A description of a database's tables and indexes, from which a new file is made.
enum class ColumnType { kText, kDateTime, kCurrency, kLong };

struct ColumnDef {
  std::string name;
  ColumnType type;
  bool required = false;
};

struct TableDef {
  std::string name;
  std::vector<ColumnDef> columns;
};

struct IndexDef {
  std::string name;  // as SetIndex knows it
  std::string table;
  std::vector<std::string> columns;
  bool unique = false;
  // The statistics a new file starts with, until its own rows are measured: the rows of the
  // table in a typical large file, then how many of them one value of the first column
  // matches, one value of the first two columns, and so on. Empty: none.
  std::vector<std::int64_t> typical_rows = {};
};

struct Schema {
  std::vector<TableDef> tables;
  std::vector<IndexDef> indexes;
};

class Engine {
 public:
  virtual ~Engine() = default;
  // The default workspace, which lives as long as the engine.
  virtual Workspace& DefaultWorkspace() = 0;
  // Creates a new database file with the given tables and indexes and opens it exclusively.
  // Throws kDatabaseExists when anything exists at the path.
  virtual std::unique_ptr<Database> CreateDatabase(const std::string& path,
                                                   const Schema& schema) = 0;
  // Checks a closed database file and mends what can be rebuilt (its indexes), as
  // Database::Repair. Throws kDamaged when the file stays damaged, kInUse while it is open
  // anywhere, kFileNotFound.
  virtual void RepairDatabase(const std::string& path) = 0;
  // Writes a compacted copy of a closed database to destination, which must not exist, as
  // Database::CompactInto.
  virtual void CompactDatabase(const std::string& source, const std::string& destination) = 0;
};

}  // namespace brontal::db
