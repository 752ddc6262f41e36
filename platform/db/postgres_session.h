// One libpq connection of the PostgreSQL backend: connecting with the errors the programs tell
// apart, and running commands in one round trip, each inside a transaction under a savepoint
// of its own so that a command that fails leaves the transaction going on without it.
#pragma once

#include <libpq-fe.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/db_error.h"

namespace brontal::db {

struct PostgresResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PostgresResult = std::unique_ptr<PGresult, PostgresResultDeleter>;

// Queues one command on a connection in pipeline mode; false when it could not.
using PostgresCommand = std::function<bool(PGconn*)>;

// Shared by a backend connection and its statements, so that a statement that outlives the
// connection's Close finds the session finished rather than freed.
class PostgresSession {
 public:
  // Connects to `uri`. Throws kFileNotFound when the server has no such database, kCannotOpen
  // when it cannot be reached or refuses the user.
  explicit PostgresSession(std::string uri);
  ~PostgresSession() { Finish(); }
  PostgresSession(const PostgresSession&) = delete;
  PostgresSession& operator=(const PostgresSession&) = delete;

  const std::string& uri() const { return uri_; }
  bool closed() const { return connection_ == nullptr; }
  // The connection; kClosed after Finish.
  PGconn* Live() const;
  // Ends the connection, which rolls back an open transaction and releases its locks.
  void Finish();

  // Whether a transaction is open, a failed one included (it waits for its rollback).
  bool InTransaction() const;
  // Prepares the statements that set and release a command's savepoint; needed before the
  // first command inside a transaction.
  void PrepareSavepoints();
  // A name for a prepared statement that no other statement of the session has.
  std::string NextStatementName() { return "brontal_" + std::to_string(++statements_); }

  // Runs `commands` in one round trip and returns their results in order. Throws the first
  // failure as a DbError, its description the server's message followed by `context`.
  std::vector<PostgresResult> Run(std::vector<PostgresCommand> commands,
                                  std::string_view context = {});
  // The result of one statement with text parameters, run as Run runs it.
  PostgresResult Query(const std::string& sql, const std::vector<std::string>& parameters = {});
  // Runs `copy_sql` (COPY ... FROM STDIN) with `data` in COPY's text format: inside a
  // transaction under a savepoint of its own, like any command.
  void Copy(const std::string& copy_sql, std::string_view data);
  // Runs statements separated by ";" that return no rows; transaction control (begin, commit,
  // savepoints) runs as it is, everything else as Run runs it.
  void Exec(const std::string& sql);

 private:
  PGconn* connection_;
  std::string uri_;
  int statements_ = 0;
};

}  // namespace brontal::db
