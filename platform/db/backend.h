// What a database server or file format gives the engine: connections that prepare and run
// statements in their own SQL, transactions, the schema of a table, and repair, compaction and
// statistics. The engine (engine.h) builds the programs' API on top: the translation of their
// dialect, recordsets that navigate, append, seek and edit, nested transactions over
// savepoints, the open modes. A backend reports every failure as a DbError with the numbers
// of db_error.h, so that the programs tell a busy database from a damaged one on any of them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/db/jetsql/translate.h"

namespace brontal::db {

// A statement prepared in the backend's SQL, its parameters written as the connection's
// Parameter(i) spells them.
class BackendStatement {
 public:
  virtual ~BackendStatement() = default;
  // The columns of its rows; 0 for a statement that returns none.
  virtual int ColumnCount() const = 0;
  virtual std::string ColumnName(int index) const = 0;
  // Binds parameter `index` (from 1) until the next Reset. The value is copied.
  virtual void Bind(int index, const Value& value) = 0;
  // Runs the statement (the first call after Reset) or moves to its next row: true while on a
  // row. A statement that returns no rows is carried out whole by the first call.
  virtual bool Step() = 0;
  // A column of the current row: integers, reals, text or null.
  virtual Value Column(int index) const = 0;
  // Appends the columns of the current row from `first` on to `row`; a backend may do it
  // faster than column by column.
  virtual void AppendColumns(int first, std::vector<Value>& row) const {
    for (int i = first; i < ColumnCount(); ++i) row.push_back(Column(i));
  }
  // Ends the run, releasing whatever it holds, and forgets the bindings.
  virtual void Reset() = 0;
  // Rows inserted, updated or deleted by its last run.
  virtual std::int64_t Changes() const = 0;
};

class BackendConnection {
 public:
  virtual ~BackendConnection() = default;

  // The path or URI the database was opened with.
  virtual const std::string& Name() const = 0;
  virtual bool Exclusive() const = 0;
  virtual bool Closed() const = 0;
  // Closes the connection, rolling back a transaction left open; releases its open mode.
  virtual void Close() = 0;

  // How the backend spells the programs' dialect, and parameter `index` (from 1) of a
  // prepared statement.
  virtual const jetsql::Dialect& Dialect() const = 0;
  virtual std::string Parameter(int index) const = 0;
  // The column that names a row of any table for an update, and what an update appends to
  // give the row's name afterwards when an update changes it (empty when it does not).
  virtual std::string RowIdColumn() const = 0;
  virtual std::string ReturningRowId() const = 0;

  // Prepares one statement: kSqlSyntax for bad SQL, the failure's own number otherwise.
  virtual std::unique_ptr<BackendStatement> Prepare(std::string_view sql) = 0;
  // Runs statements that return no rows, separated by ";".
  virtual void Exec(const std::string& sql) = 0;

  // The columns of `table` in their order; empty when there is no such table.
  virtual std::vector<std::string> TableColumns(std::string_view table) = 0;
  // The columns of the index that SetIndex knows as `index` on `table`, in key order; empty
  // when the table has no such index.
  virtual std::vector<std::string> IndexColumns(std::string_view table, std::string_view index) = 0;

  // Begins a transaction that holds the right to write at once, so that a busy database fails
  // here (kLocked) rather than at the first row. Nested levels are the engine's savepoints.
  virtual void Begin() = 0;
  // A commit that finds the database busy leaves the transaction open, to be tried again.
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  // Whether a transaction is open: false when the backend rolled it back on its own after a
  // failure (a full disk, say), savepoints and all.
  virtual bool InTransaction() = 0;
  // Statements that set, release and return to a savepoint.
  virtual std::string SavepointSql(const std::string& name) const = 0;
  virtual std::string ReleaseSql(const std::string& name) const = 0;
  virtual std::string RollbackToSql(const std::string& name) const = 0;

  // The exclusive open's maintenance, as Database describes it; the engine has checked that
  // this connection is the exclusive one.
  virtual void Repair() = 0;
  virtual void CompactInto(const std::string& destination) = 0;
  virtual void UpdateStatistics() = 0;
  // Appends rows as Database::AppendRows describes, the engine having checked their shape; the
  // statements to run them are given: `insert` with a parameter per column, and the SQL that
  // sets, releases and returns to a savepoint, which keeps a failed append from leaving part of
  // its rows. A backend with a faster way (PostgreSQL's COPY) overrides it.
  virtual void AppendRows(std::string_view table, const std::vector<std::string>& columns,
                          const std::vector<Value>& rows, BackendStatement& insert);
  // In-place compaction and the repair's note, as Database describes them.
  virtual bool CompactsInPlace() const { return false; }
  virtual void CompactInPlace() {
    throw DbError(kNotSupported, "This database is compacted into a copy.");
  }
  virtual std::string LastRepairNote() const { return ""; }
};

class Backend {
 public:
  virtual ~Backend() = default;
  // Whether `location` (a dbloc.txt line) names a database of this backend.
  virtual bool Handles(const std::string& location) const = 0;
  // Opens an existing database shared or exclusive, as Workspace::OpenDatabase describes.
  virtual std::unique_ptr<BackendConnection> Open(const std::string& location, bool exclusive) = 0;
  // Makes the tables and indexes of `schema` in a new database and opens it exclusively.
  virtual std::unique_ptr<BackendConnection> Create(const std::string& location,
                                                    const Schema& schema) = 0;
  // Checks that `location` exists as a database before an exclusive open for maintenance
  // (kFileNotFound when it does not); and that a compaction's destination does not exist
  // (kDatabaseExists).
  virtual void RequireDatabase(const std::string& location) = 0;
  virtual void RequireNoDatabase(const std::string& location) = 0;
};

}  // namespace brontal::db
