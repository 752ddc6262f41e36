// The benchmarks' raw PostgreSQL connection through libpq, beside the programs' own: the
// baseline of the PostgreSQL figures, as RawDatabase is SQLite's.
#pragma once

#include <libpq-fe.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace brontal::bench {

// `server` (a postgresql:// URI naming any database of a server) naming database `name` instead.
inline std::string DatabaseUri(const std::string& server, const std::string& name) {
  static const std::regex kDatabase("^(postgres(ql)?://[^/?]*)/?[^?]*");
  return std::regex_replace(server, kDatabase, "$1/" + name,
                            std::regex_constants::format_first_only);
}

class RawPostgres {
 public:
  explicit RawPostgres(const std::string& uri) : connection_(PQconnectdb(uri.c_str())) {
    if (PQstatus(connection_) != CONNECTION_OK) Fail("connecting to " + uri);
    Exec("set client_min_messages = warning");
  }
  ~RawPostgres() { PQfinish(connection_); }
  RawPostgres(const RawPostgres&) = delete;
  RawPostgres& operator=(const RawPostgres&) = delete;

  // Runs sql, which gives no rows.
  void Exec(const std::string& sql) {
    PGresult* result = PQexec(connection_, sql.c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) Fail(sql, result);
    PQclear(result);
  }

  // Runs sql and reads every value of every row out, as the backend receives them: the whole
  // result at once, in text. Returns the row count.
  std::int64_t ReadAll(const std::string& sql) {
    PGresult* result = PQexec(connection_, sql.c_str());
    if (PQresultStatus(result) != PGRES_TUPLES_OK) Fail(sql, result);
    const int rows = PQntuples(result), columns = PQnfields(result);
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        if (!PQgetisnull(result, row, column)) {
          (void)PQgetvalue(result, row, column);
          (void)PQgetlength(result, row, column);
        }
      }
    }
    PQclear(result);
    return rows;
  }

  // How the server runs sql: the lines of its plan without costs, trimmed, joined by "; ".
  std::string Plan(const std::string& sql) {
    PGresult* result = PQexec(connection_, ("explain (costs off) " + sql).c_str());
    if (PQresultStatus(result) != PGRES_TUPLES_OK) Fail(sql, result);
    std::string plan;
    for (int row = 0; row < PQntuples(result); ++row) {
      std::string line = PQgetvalue(result, row, 0);
      line.erase(0, line.find_first_not_of(" ->"));
      if (line.starts_with("Recheck Cond")) continue;  // repeats the index conditions
      plan += (plan.empty() ? "" : "; ") + line;
    }
    PQclear(result);
    return plan;
  }

  // The first column of the first row of sql as text; empty when there is none.
  std::string Text(const std::string& sql) {
    PGresult* result = PQexec(connection_, sql.c_str());
    if (PQresultStatus(result) != PGRES_TUPLES_OK) Fail(sql, result);
    std::string text = PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    PQclear(result);
    return text;
  }

  // COPY sql (a "copy ... from stdin" statement) fed by `produce`, which calls its argument with
  // each chunk of the copy's text in turn.
  template <typename Producer>
  void Copy(const std::string& sql, Producer&& produce) {
    PGresult* result = PQexec(connection_, sql.c_str());
    if (PQresultStatus(result) != PGRES_COPY_IN) Fail(sql, result);
    PQclear(result);
    produce([&](const std::string& chunk) {
      if (PQputCopyData(connection_, chunk.data(), static_cast<int>(chunk.size())) != 1) {
        Fail(sql);
      }
    });
    if (PQputCopyEnd(connection_, nullptr) != 1) Fail(sql);
    result = PQgetResult(connection_);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) Fail(sql, result);
    PQclear(result);
    while ((result = PQgetResult(connection_)) != nullptr) PQclear(result);
  }

  // Makes database `name` afresh (SQL_ASCII, locale C, as Brontal's are made) on the server of
  // this connection and returns its URI, `server` naming it instead.
  std::string FreshDatabase(const std::string& server, const std::string& name) {
    Exec("drop database if exists \"" + name + "\"");
    Exec("create database \"" + name + "\" template template0 encoding 'SQL_ASCII' locale 'C'");
    return DatabaseUri(server, name);
  }

 private:
  [[noreturn]] void Fail(const std::string& what, PGresult* result = nullptr) {
    std::fprintf(stderr, "%s: %s\n", what.c_str(),
                 result ? PQresultErrorMessage(result) : PQerrorMessage(connection_));
    std::exit(1);
  }

  PGconn* connection_;
};

}  // namespace brontal::bench
