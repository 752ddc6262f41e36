// The PostgreSQL backend over libpq: statements prepared on the server and run with their values
// as text, connections that hold their open mode as an advisory lock, and the making of a
// database's tables.
#include "platform/db/postgres_backend.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/db/jetsql/postgres_dialect.h"
#include "platform/db/postgres_session.h"

namespace brontal::db {
namespace {

using Session = PostgresSession;
using Result = PostgresResult;
using Command = PostgresCommand;

// The built-in types whose values are numbers; their OIDs are fixed in every server version.
constexpr Oid kBoolOid = 16, kInt8Oid = 20, kInt2Oid = 21, kInt4Oid = 23, kOidOid = 26,
              kFloat4Oid = 700, kFloat8Oid = 701, kNumericOid = 1700;

// The advisory lock whose holders are the open modes of a database: shared by shared opens,
// held alone by the exclusive one.
constexpr char kOpenModeKey[] = "7165064483209644";

// A value as the text a parameter takes; nullopt for null.
std::optional<std::string> ParameterText(const Value& value) {
  return std::visit(
      [](const auto& v) -> std::optional<std::string> {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return std::nullopt;
        } else if constexpr (std::is_same_v<T, std::int64_t>) {
          return std::to_string(v);
        } else if constexpr (std::is_same_v<T, double>) {
          if (std::isnan(v)) return "NaN";
          if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
          char text[32];
          auto end = std::to_chars(text, text + sizeof text, v).ptr;  // shortest round trip
          return std::string(text, end);
        } else {
          // Parameters travel as C strings: a NUL would silently cut the text short.
          if (v.find('\0') != std::string::npos) {
            throw DbError(kTypeMismatch, "A text holding a NUL character cannot be stored.");
          }
          return v;
        }
      },
      value.data());
}

// A whole number written in decimal, as numeric gives a sum of integers.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
  std::int64_t number = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

double RealNumber(std::string_view text) {
  double number = 0;
  std::from_chars(text.data(), text.data() + text.size(), number);
  return number;
}

class PgStatement : public BackendStatement {
 public:
  PgStatement(std::shared_ptr<Session> session, std::string name, Result description)
      : session_(std::move(session)),
        name_(std::move(name)),
        description_(std::move(description)),
        parameters_(PQnparams(description_.get())) {}

  ~PgStatement() override {
    // A transaction that failed on its own refuses every statement until its rollback; the
    // prepared statement then stays until the connection ends.
    if (session_->closed() || PQtransactionStatus(session_->Live()) == PQTRANS_INERROR) return;
    PQclear(PQexec(session_->Live(), ("deallocate " + name_).c_str()));
  }

  int ColumnCount() const override { return PQnfields(description_.get()); }

  std::string ColumnName(int index) const override {
    RequireColumn(index);
    return PQfname(description_.get(), index);
  }

  void Bind(int index, const Value& value) override {
    if (index < 1 || index > static_cast<int>(parameters_.size())) {
      throw DbError(kGeneral, "The statement has no parameter " + std::to_string(index) + ".");
    }
    parameters_[index - 1] = ParameterText(value);
  }

  bool Step() override {
    if (result_) return ++row_ < PQntuples(result_.get());
    std::vector<const char*> values;
    for (const auto& p : parameters_) values.push_back(p ? p->c_str() : nullptr);
    Command execute = [&](PGconn* connection) {
      return PQsendQueryPrepared(connection, name_.c_str(), static_cast<int>(values.size()),
                                 values.data(), nullptr, nullptr, 0) == 1;
    };
    result_ = std::move(session_->Run({execute}).front());
    row_ = 0;
    changes_ = WholeNumber(PQcmdTuples(result_.get())).value_or(0);
    return row_ < PQntuples(result_.get());
  }

  Value Column(int index) const override {
    RequireColumn(index);
    if (!result_ || row_ >= PQntuples(result_.get())) {
      throw DbError(kNoCurrentRecord, "No current record.");
    }
    if (PQgetisnull(result_.get(), row_, index)) return Value();
    const std::string_view text(PQgetvalue(result_.get(), row_, index),
                                PQgetlength(result_.get(), row_, index));
    switch (PQftype(result_.get(), index)) {
      case kInt2Oid:
      case kInt4Oid:
      case kInt8Oid:
      case kOidOid:
        return WholeNumber(text).value_or(0);
      case kBoolOid:
        return Value(text == "t" ? 1 : 0);
      case kNumericOid:
        // A sum or product of integers is numeric; it stays a whole number, as elsewhere.
        if (auto whole = WholeNumber(text)) return *whole;
        return RealNumber(text);
      case kFloat4Oid:
      case kFloat8Oid:
        return RealNumber(text);
      default:
        return Value(text);
    }
  }

  void Reset() override {
    result_.reset();
    std::fill(parameters_.begin(), parameters_.end(), std::nullopt);
  }

  std::int64_t Changes() const override { return changes_; }

 private:
  void RequireColumn(int index) const {
    if (index < 0 || index >= ColumnCount()) {
      throw DbError(kItemNotFound,
                    "Item not found in this collection: '" + std::to_string(index) + "'.");
    }
  }

  std::shared_ptr<Session> session_;
  std::string name_;
  Result description_;
  std::vector<std::optional<std::string>> parameters_;
  Result result_;
  int row_ = 0;
  std::int64_t changes_ = 0;
};

// A value in COPY's text format: \N for null, and in text a backslash before each backslash
// and the control characters that would end a field or a row.
void AppendCopyValue(const Value& value, std::string& data) {
  if (value.IsNull()) {
    data += "\\N";
  } else if (value.IsText()) {
    for (char c : std::get<std::string>(value.data())) {
      switch (c) {
        case '\\':
          data += "\\\\";
          break;
        case '\n':
          data += "\\n";
          break;
        case '\r':
          data += "\\r";
          break;
        case '\t':
          data += "\\t";
          break;
        default:
          data += c;
      }
    }
  } else if (value.IsReal()) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value.AsDouble());
    data += text;
  } else {
    data += std::to_string(value.AsInt64());
  }
}

class PgConnection : public BackendConnection {
 public:
  PgConnection(std::shared_ptr<Session> session, bool exclusive)
      : session_(std::move(session)), exclusive_(exclusive) {}
  ~PgConnection() override { Close(); }

  Session& session() { return *session_; }

  const std::string& Name() const override { return session_->uri(); }
  bool Exclusive() const override { return exclusive_; }
  bool Closed() const override { return session_->closed(); }
  void Close() override { session_->Finish(); }

  const jetsql::Dialect& Dialect() const override { return jetsql::PostgresDialect(); }
  std::string Parameter(int index) const override { return "$" + std::to_string(index); }
  std::string RowIdColumn() const override { return "ctid"; }
  std::string ReturningRowId() const override { return " returning ctid"; }

  std::unique_ptr<BackendStatement> Prepare(std::string_view sql) override {
    const std::string text(sql);
    std::string name = session_->NextStatementName();
    Command prepare = [&](PGconn* connection) {
      return PQsendPrepare(connection, name.c_str(), text.c_str(), 0, nullptr) == 1;
    };
    Command describe = [&](PGconn* connection) {
      return PQsendDescribePrepared(connection, name.c_str()) == 1;
    };
    try {
      std::vector<Result> results = session_->Run({prepare, describe}, "in '" + text + "'");
      return std::make_unique<PgStatement>(session_, std::move(name), std::move(results.back()));
    } catch (const DbError& error) {
      if (error.Number() != kGeneral) throw;
      throw DbError(kSqlSyntax, error.Description());
    }
  }

  void Exec(const std::string& sql) override { session_->Exec(sql); }

  // One COPY, which the server takes many times faster than inserts of a row each.
  void AppendRows(std::string_view table, const std::vector<std::string>& columns,
                  const std::vector<Value>& rows, BackendStatement&) override {
    std::string sql = "copy " + Dialect().Identifier(table) + " (";
    for (std::size_t i = 0; i < columns.size(); ++i) {
      sql += (i ? ", " : "") + Dialect().Identifier(columns[i]);
    }
    std::string data;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      AppendCopyValue(rows[i], data);
      data += (i + 1) % columns.size() == 0 ? '\n' : '\t';
    }
    session_->Copy(sql + ") from stdin", data);
  }

  std::vector<std::string> TableColumns(std::string_view table) override {
    return FirstColumn(session_->Query(
        "select attname from pg_attribute where attrelid = to_regclass($1) and attnum > 0 "
        "and not attisdropped order by attnum",
        {Dialect().Identifier(table)}));
  }

  std::vector<std::string> IndexColumns(std::string_view table, std::string_view index) override {
    return FirstColumn(session_->Query(
        "select a.attname from pg_index i cross join unnest(i.indkey::int2[]) with ordinality "
        "as k(attnum, position) join pg_attribute a on a.attrelid = i.indrelid and "
        "a.attnum = k.attnum where i.indexrelid = to_regclass($1) and i.indrelid = "
        "to_regclass($2) order by k.position",
        {Dialect().Identifier(std::string(table) + "_" + std::string(index)),
         Dialect().Identifier(table)}));
  }

  void Begin() override { session_->Exec("begin"); }

  void Commit() override {
    // A transaction that failed on its own takes a commit for a rollback, silently.
    if (PQtransactionStatus(session_->Live()) == PQTRANS_INERROR) {
      session_->Exec("rollback");
      throw DbError(kGeneral,
                    "The transaction on '" + Name() + "' was rolled back after an earlier error.");
    }
    session_->Exec("commit");
  }

  void Rollback() override { session_->Exec("rollback"); }
  bool InTransaction() override { return session_->InTransaction(); }

  std::string SavepointSql(const std::string& name) const override { return "savepoint " + name; }
  std::string ReleaseSql(const std::string& name) const override {
    return "release savepoint " + name;
  }
  std::string RollbackToSql(const std::string& name) const override {
    return "rollback to savepoint " + name;
  }

  void Repair() override {
    repair_note_.clear();
    if (!HasAmcheck()) {
      // Nothing can check the indexes; reading every row at least finds a damaged table.
      for (const std::string& table : RelationsOfSchema("r")) {
        session_->Query("select count(*) from " + table);
      }
      repair_note_ = "not checked: amcheck is not installed";
      return;
    }
    // The structure of each index, as the file engine's quick check: whether every row has
    // its entries would cost a pass over the table per index.
    for (const std::string& index : RelationsOfSchema("i", "btree")) {
      if (IndexProblem(index).empty()) continue;
      session_->Exec("reindex index " + index);
      if (std::string problem = IndexProblem(index); !problem.empty()) {
        throw DbError(kDamaged, "The database '" + Name() + "' is damaged: " + problem);
      }
    }
  }

  void CompactInto(const std::string&) override {
    throw DbError(kNotSupported, "A PostgreSQL database is compacted in place.");
  }

  void UpdateStatistics() override { session_->Exec("analyze"); }

  std::string LastRepairNote() const override { return repair_note_; }
  bool CompactsInPlace() const override { return true; }

  void CompactInPlace() override {
    if (session_->InTransaction()) {
      throw DbError(kGeneral,
                    "The database '" + Name() + "' cannot be compacted inside a transaction.");
    }
    for (const std::string& table : RelationsOfSchema("r")) {
      session_->Exec("vacuum (analyze) " + table);
    }
  }

 private:
  static std::vector<std::string> FirstColumn(const Result& result) {
    std::vector<std::string> values;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      values.emplace_back(PQgetvalue(result.get(), row, 0));
    }
    return values;
  }

  // The quoted names of the relations of `kind` (pg_class.relkind) in the schema the tables
  // are made in, with `method` their access method when given.
  std::vector<std::string> RelationsOfSchema(const std::string& kind,
                                             const std::string& method = "") {
    return FirstColumn(session_->Query(
        "select c.oid::regclass::text from pg_class c left join pg_am m on m.oid = c.relam "
        "where c.relkind = $1 and c.relnamespace = to_regnamespace(current_schema()) and "
        "($2 = '' or m.amname = $2) order by 1",
        {kind, method}));
  }

  // Whether the amcheck extension is there, made now if this user may.
  bool HasAmcheck() {
    if (PQntuples(session_->Query("select 1 from pg_extension where extname = 'amcheck'").get())) {
      return true;
    }
    try {
      session_->Exec("create extension if not exists amcheck");
      return true;
    } catch (const DbError&) {
      return false;
    }
  }

  // What amcheck finds wrong with an index; empty when it is sound.
  std::string IndexProblem(const std::string& index) {
    try {
      session_->Query("select bt_index_check($1::regclass)", {index});
      return "";
    } catch (const DbError& error) {
      if (error.Number() != kDamaged) throw;
      return error.Description();
    }
  }

  std::shared_ptr<Session> session_;
  bool exclusive_;
  std::string repair_note_;
};

class PgBackend : public Backend {
 public:
  explicit PgBackend(const PostgresOptions& options) : options_(options) {}

  bool Handles(const std::string& location) const override { return IsServerLocation(location); }

  std::unique_ptr<BackendConnection> Open(const std::string& location, bool exclusive) override {
    auto connection = Connect(location, exclusive);
    if (!HoldsTables(connection->session())) {
      throw DbError(kDamaged, "The database '" + location + "' holds no Brontal tables.");
    }
    return connection;
  }

  std::unique_ptr<BackendConnection> Create(const std::string& location,
                                            const Schema& schema) override {
    auto connection = Connect(location, /*exclusive=*/true);
    connection->Begin();
    const jetsql::Dialect& dialect = connection->Dialect();
    std::string sql = "create extension if not exists citext;\n";
    for (const TableDef& table : schema.tables) {
      if (!connection->TableColumns(table.name).empty()) {
        throw DbError(kDatabaseExists,
                      "The database '" + location + "' holds Brontal's tables already.");
      }
      sql += "create table " + dialect.Identifier(table.name) + " (";
      for (std::size_t i = 0; i < table.columns.size(); ++i) {
        sql += (i ? ", " : "") + ColumnSql(dialect, table.columns[i]);
      }
      sql += ");\n";
    }
    // The planner measures the tables itself as they fill: the typical statistics a new file
    // starts with are not needed here.
    for (const IndexDef& index : schema.indexes) {
      sql += std::string("create ") + (index.unique ? "unique " : "") + "index " +
             dialect.Identifier(index.table + "_" + index.name) + " on " +
             dialect.Identifier(index.table) + " (";
      for (std::size_t i = 0; i < index.columns.size(); ++i) {
        sql += (i ? ", " : "") + dialect.Identifier(index.columns[i]);
      }
      sql += ");\n";
    }
    connection->Exec(sql + jetsql::PostgresSupportSql());
    connection->Commit();
    return connection;
  }

  void RequireDatabase(const std::string& location) override { Session session(location); }

  void RequireNoDatabase(const std::string& location) override {
    try {
      Session session(location);
      if (!HoldsTables(session)) return;
    } catch (const DbError& error) {
      if (error.Number() == kFileNotFound) return;
      throw;
    }
    throw DbError(kDatabaseExists, "Database '" + location + "' already exists.");
  }

 private:
  static std::string ColumnSql(const jetsql::Dialect& dialect, const ColumnDef& column) {
    const std::string name = dialect.Identifier(column.name);
    std::string sql = name;
    switch (column.type) {
      case ColumnType::kText:
        sql += " citext";
        break;
      case ColumnType::kDateTime:
        sql += " text collate \"C\" check (" + name +
               " ~ '^[0-9]{4}-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]$')";
        break;
      case ColumnType::kCurrency:
        sql += " bigint";
        break;
      case ColumnType::kLong:
        sql += " integer";
        break;
    }
    if (column.required) sql += " not null";
    return sql;
  }

  // Whether the schema the tables are made in holds any.
  static bool HoldsTables(Session& session) {
    const Result tables = session.Query(
        "select 1 from pg_class where relkind = 'r' and "
        "relnamespace = to_regnamespace(current_schema()) limit 1");
    return PQntuples(tables.get()) > 0;
  }

  // A connection to `location` set up for the programs' SQL, holding the open mode asked for.
  std::unique_ptr<PgConnection> Connect(const std::string& location, bool exclusive) {
    auto session = std::make_shared<Session>(location);
    auto connection = std::make_unique<PgConnection>(session, exclusive);
    const std::string encoding = RequireCLocale(*session);
    // The client speaks the database's encoding, so that no name is converted on the way: in
    // an SQL_ASCII database every name is stored byte for byte, as in a file.
    session->Exec("set client_encoding = '" + encoding +
                  "'; set datestyle = 'ISO'; "
                  "set standard_conforming_strings = on; set lock_timeout = " +
                  std::to_string(options_.lock_timeout_ms));
    session->PrepareSavepoints();
    const Result locked =
        session->Query(std::string("select ") +
                       (exclusive ? "pg_try_advisory_lock(" : "pg_try_advisory_lock_shared(") +
                       kOpenModeKey + ")");
    if (std::string_view(PQgetvalue(locked.get(), 0, 0)) != "t") {
      throw DbError(kInUse, "The database '" + location + "' is in use by another program.");
    }
    return connection;
  }

  // Names compare as the file engine compares them only where the database sorts bytes and
  // folds ASCII letters alone. SQL_ASCII keeps every name's bytes, as a file does; UTF8 refuses
  // names that are not UTF-8. Returns the encoding.
  static std::string RequireCLocale(Session& session) {
    const bool has_provider = PQserverVersion(session.Live()) >= 150000;
    const Result locale = session.Query(
        std::string("select pg_encoding_to_char(encoding) from pg_database "
                    "where datname = current_database() and datcollate in ('C', 'POSIX') "
                    "and datctype in ('C', 'POSIX')") +
        (has_provider ? " and datlocprovider = 'c'" : ""));
    if (PQntuples(locale.get()) == 1) {
      const std::string encoding = PQgetvalue(locale.get(), 0, 0);
      if (encoding == "SQL_ASCII" || encoding == "UTF8") return encoding;
    }
    throw DbError(kCannotOpen,
                  "The database '" + session.uri() +
                      "' does not have locale C with encoding SQL_ASCII (or UTF8), which Brontal "
                      "needs to store and compare names: create it with "
                      "createdb -T template0 -E SQL_ASCII --locale=C NAME.");
  }

  PostgresOptions options_;
};

}  // namespace

std::unique_ptr<Backend> MakePostgresBackend(const PostgresOptions& options) {
  return std::make_unique<PgBackend>(options);
}

}  // namespace brontal::db
