// The copy of a size database: table by table, the tables with periods one period at a time,
// each in a transaction of its own, then the rows counted on both sides.
#include "store/copy_database.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "platform/db/file_lock.h"
#include "platform/fixed_locale.h"
#include "store/format.h"
#include "store/schema.h"
#include "store/sql_text.h"

namespace brontal {
namespace {

using db::RecordsetType;

// "1,234,567", whatever the user's locale: the lines go to a log as often as to a terminal.
std::string Grouped(std::int64_t count) {
  static const FixedLocale english;
  return FormatNumber(count, "#,##0", english);
}

std::string RowCount(std::int64_t count) {
  return Grouped(count) + (count == 1 ? " row" : " rows");
}

// The first field of every row of `sql`.
std::vector<db::Value> FirstColumn(db::Database& database, const std::string& sql) {
  std::vector<db::Value> values;
  auto rows = database.OpenRecordset(sql, RecordsetType::kSnapshot);
  for (; !rows->Eof(); rows->MoveNext()) values.push_back(rows->Field(0));
  return values;
}

std::int64_t CountRows(db::Database& database, const std::string& table) {
  return FirstColumn(database, "select count(*) as n from " + table).at(0).AsInt64();
}

bool HasPeriods(const db::TableDef& table) {
  return std::any_of(table.columns.begin(), table.columns.end(),
                     [](const db::ColumnDef& column) { return column.name == "pdate"; });
}

// Periods lists each period once in the new database, whose index over pdate is unique.
bool StoresPeriodsOnce(const db::TableDef& table) { return table.name == "Periods"; }

// The rows of `table` in the source that the copy must hold.
std::int64_t SourceRows(db::Database& source, const db::TableDef& table) {
  if (StoresPeriodsOnce(table)) {
    return static_cast<std::int64_t>(
        FirstColumn(source, "select distinct pdate from " + table.name).size());
  }
  return CountRows(source, table.name);
}

// Passes lines on at most four times a second, and the last line of a table always.
class Throttle {
 public:
  explicit Throttle(const CopyProgress& progress) : progress_(progress) {}

  void Line(const std::string& line, bool last) {
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - shown_ < std::chrono::milliseconds(250)) return;
    shown_ = now;
    if (progress_) progress_(line);
  }

 private:
  const CopyProgress& progress_;
  std::chrono::steady_clock::time_point shown_{};
};

class Copier {
 public:
  Copier(db::Database& source, db::Database& target, const CopyProgress& progress)
      : source_(source), target_(target), throttle_(progress) {}

  void CopyTable(const db::TableDef& table) {
    const std::string& into = table.name;
    std::int64_t rows = 0;
    if (StoresPeriodsOnce(table)) {
      rows = CopyRows("select distinct pdate from " + table.name, into, table.name);
      throttle_.Line(table.name + ": " + RowCount(rows), true);
    } else if (!HasPeriods(table)) {
      rows = CopyRows("select * from " + table.name, into, table.name);
      throttle_.Line(table.name + ": " + RowCount(rows), true);
    } else {
      // The periods of the table itself: a period missing from Periods is copied too.
      const auto periods =
          FirstColumn(source_, "select distinct pdate from " + table.name + " order by pdate");
      for (std::size_t i = 0; i < periods.size(); ++i) {
        const std::string where = periods[i].IsNull()
                                      ? " where pdate is null"
                                      : " where pdate = \"" + SqlText(periods[i].AsText()) + "\"";
        rows += CopyRows("select * from " + table.name + where, into,
                         table.name + ", period " + periods[i].TextOr("Null"));
        throttle_.Line(table.name + ": " + Grouped(static_cast<std::int64_t>(i) + 1) + " of " +
                           Grouped(static_cast<std::int64_t>(periods.size())) + " periods, " +
                           RowCount(rows),
                       i + 1 == periods.size());
      }
      if (periods.empty()) throttle_.Line(table.name + ": no periods, 0 rows", true);
    }
  }

 private:
  // Appends the rows of `sql` on the source to the table `into` at once, all or none; `where`
  // names them in an error.
  std::int64_t CopyRows(const std::string& sql, const std::string& into, const std::string& where) {
    std::int64_t count = 0;
    try {
      auto rows = source_.OpenRecordset(sql, RecordsetType::kSnapshot);
      std::vector<std::string> columns;
      for (int i = 0; i < rows->FieldCount(); ++i) columns.push_back(rows->FieldName(i));
      std::vector<db::Value> values;
      for (; !rows->Eof(); rows->MoveNext(), ++count) {
        for (int i = 0; i < rows->FieldCount(); ++i) values.push_back(rows->Field(i));
      }
      rows->Close();
      target_.AppendRows(into, columns, values);
    } catch (const db::DbError& error) {
      throw db::DbError(error.Number(), where + ": " + error.Description());
    }
    return count;
  }

  db::Database& source_;
  db::Database& target_;
  Throttle throttle_;
};

// The tables of the schema, named as the programs name them, for a message.
std::string TableList() {
  std::string list;
  for (const auto& table : BrontalSchema().tables) list += (list.empty() ? "" : ", ") + table.name;
  return list;
}

// Takes a failed copy away again: the new file with its journal and the lock file this copy
// made, or the tables made on a server, dropped in one transaction. Returns the sentence that
// the error message ends with.
std::string RemoveCopy(db::Engine& engine, std::unique_ptr<db::Database>& target,
                       const std::string& to, bool lock_file_existed) {
  if (!db::IsServerLocation(to)) {
    if (target) target->Close();
    ::unlink(to.c_str());
    ::unlink((to + "-journal").c_str());
    if (!lock_file_existed) ::unlink(db::FileLock::LockPathFor(to).c_str());
    return " Nothing was left at '" + to + "'.";
  }
  db::Workspace& workspace = engine.DefaultWorkspace();
  try {
    if (!target) target = workspace.OpenDatabase(to, /*exclusive=*/true);
    workspace.BeginTrans();
    try {
      for (const auto& table : BrontalSchema().tables) target->Execute("drop table " + table.name);
      workspace.CommitTrans();
    } catch (...) {
      workspace.Rollback();
      throw;
    }
    target->Close();
    return " The tables made in '" + to + "' were dropped again.";
  } catch (const db::DbError&) {
    if (target) target->Close();
    return " The database '" + to + "' holds a partial copy: drop its tables (" + TableList() +
           ") before trying again.";
  }
}

}  // namespace

std::vector<TableRows> CopyDatabase(db::Engine& from_engine, const std::string& from,
                                    db::Engine& to_engine, const std::string& to,
                                    const CopyProgress& progress) {
  auto source = from_engine.DefaultWorkspace().OpenDatabase(from);
  const bool lock_file_existed =
      !db::IsServerLocation(to) && ::access(db::FileLock::LockPathFor(to).c_str(), F_OK) == 0;
  // Opened again, exclusively, so that nothing else writes to it while it fills; each period's
  // rows are appended at once, all or none.
  to_engine.CreateDatabase(to, BrontalSchema())->Close();
  std::unique_ptr<db::Database> target;
  try {
    target = to_engine.DefaultWorkspace().OpenDatabase(to, /*exclusive=*/true);
    Copier copier(*source, *target, progress);
    for (const auto& table : BrontalSchema().tables) copier.CopyTable(table);
    // The planner chooses its indexes by the rows the copy holds now, not by those of an empty
    // or typical database.
    target->UpdateStatistics();

    std::vector<TableRows> counts;
    std::string mismatches;
    for (const auto& table : BrontalSchema().tables) {
      counts.push_back({table.name, SourceRows(*source, table), CountRows(*target, table.name)});
      if (counts.back().source != counts.back().copied) {
        mismatches += " " + table.name + ": " + Grouped(counts.back().source) + " rows in '" +
                      from + "', " + Grouped(counts.back().copied) + " in the copy.";
      }
    }
    if (!mismatches.empty()) {
      throw db::DbError(db::kGeneral,
                        "The copy does not hold the rows of its source; was it "
                        "written to meanwhile?" +
                            mismatches);
    }
    target->Close();
    source->Close();
    return counts;
  } catch (const db::DbError& error) {
    source->Close();
    // The server's messages end without a full stop; the note after it is a sentence.
    std::string description = error.Description();
    if (!description.empty() && description.back() != '.') description += '.';
    throw db::DbError(error.Number(),
                      description + RemoveCopy(to_engine, target, to, lock_file_existed));
  } catch (...) {
    source->Close();
    RemoveCopy(to_engine, target, to, lock_file_existed);
    throw;
  }
}

}  // namespace brontal
