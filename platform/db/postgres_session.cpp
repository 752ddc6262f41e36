// One libpq connection of the PostgreSQL backend: connecting, errors, and commands sent in
// one round trip under a savepoint of their own inside a transaction.
#include "platform/db/postgres_session.h"

#include <poll.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>

namespace brontal::db {
namespace {

using Result = PostgresResult;
using Command = PostgresCommand;

// The savepoint each command inside a transaction runs under, set and released by statements
// prepared once per connection, which spares parsing them for every command.
constexpr char kStatementSavepoint[] = "brontal_statement";
constexpr char kSetSavepoint[] = "brontal_set_savepoint";
constexpr char kReleaseSavepoint[] = "brontal_release_savepoint";

int ErrorNumberFor(std::string_view state) {
  static constexpr std::pair<std::string_view, ErrorNumber> kExact[] = {
      {"23505", kDuplicateKey}, {"23502", kRequired},     {"22P02", kTypeMismatch},
      {"22003", kTypeMismatch}, {"22007", kTypeMismatch}, {"22008", kTypeMismatch},
      {"23514", kTypeMismatch}, {"55P03", kLocked},       {"40P01", kLocked},
      {"40001", kLocked},       {"57014", kLocked},       {"3D000", kFileNotFound},
      {"42501", kCannotOpen},  // permission denied
      {"XX001", kDamaged},      {"XX002", kDamaged},
  };
  for (const auto& [exact, number] : kExact) {
    if (state == exact) return number;
  }
  if (state.starts_with("42")) return kSqlSyntax;
  if (state.starts_with("28") || state.starts_with("08")) return kCannotOpen;
  return kGeneral;
}

std::string OneLine(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

bool Succeeded(const PGresult* result) {
  const ExecStatusType status = PQresultStatus(result);
  return result && (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK);
}

// The error of a failed result (null: one that never came), with the server's primary message.
DbError ErrorOf(PGconn* connection, const PGresult* result, std::string_view context = {}) {
  const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string message = OneLine(primary ? primary : PQerrorMessage(connection));
  int number = state ? ErrorNumberFor(state) : kGeneral;
  if (!state && PQstatus(connection) == CONNECTION_BAD) number = kCannotOpen;
  if (!context.empty()) message += " " + std::string(context);
  return DbError(number, message);
}

// The error of a connection that failed. libpq gives no SQLSTATE for it, but its verbose
// report holds one ("FATAL:  3D000: database "x" does not exist"), whatever language the server
// speaks; every failure to connect that is not a missing database keeps the program out.
DbError ConnectError(const std::string& uri, const std::string& report) {
  for (std::size_t at = report.find(":  "); at != std::string::npos;
       at = report.find(":  ", at + 1)) {
    const std::string_view rest = std::string_view(report).substr(at + 3);
    if (rest.size() < 7 || rest.substr(5, 2) != ": ") continue;
    const std::string_view state = rest.substr(0, 5);
    if (!std::all_of(state.begin(), state.end(),
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); })) {
      continue;
    }
    const int number = ErrorNumberFor(state);
    const std::string_view message = rest.substr(7, rest.find('\n') - 7);
    return DbError(number == kFileNotFound ? kFileNotFound : kCannotOpen,
                   "Could not open '" + uri + "': " + std::string(message));
  }
  return DbError(kCannotOpen, "Could not open '" + uri + "': " + OneLine(report));
}

// The connect_timeout of a connection's options in seconds; 0 for none.
int ConnectTimeout(PGconn* connection) {
  std::unique_ptr<PQconninfoOption, decltype(&PQconninfoFree)> options(PQconninfo(connection),
                                                                       &PQconninfoFree);
  for (const PQconninfoOption* o = options.get(); o && o->keyword; ++o) {
    if (std::string_view(o->keyword) == "connect_timeout" && o->val) {
      const int seconds = std::atoi(o->val);
      return seconds > 0 ? std::max(seconds, 2) : 0;  // libpq's own minimum
    }
  }
  return 0;
}

// Connects to `uri`, telling a database that does not exist (kFileNotFound) from a server that
// cannot be reached or refuses the user (kCannotOpen).
PGconn* ConnectTo(const std::string& uri) {
  PGconn* connection = PQconnectStart(uri.c_str());
  if (!connection) throw DbError(kCannotOpen, "Could not open '" + uri + "': out of memory");
  PQsetErrorVerbosity(connection, PQERRORS_VERBOSE);
  // Notices ("extension exists, skipping") are no concern of the programs' users.
  PQsetNoticeProcessor(
      connection, [](void*, const char*) {}, nullptr);
  using Clock = std::chrono::steady_clock;
  const int timeout = ConnectTimeout(connection);
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(timeout);
  PostgresPollingStatusType state =
      PQstatus(connection) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
  while (state == PGRES_POLLING_READING || state == PGRES_POLLING_WRITING) {
    pollfd socket{PQsocket(connection),
                  static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
    int wait_ms = -1;
    if (timeout > 0) {
      wait_ms = static_cast<int>(std::max<std::int64_t>(
          0,
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
    }
    const int ready = ::poll(&socket, 1, wait_ms);
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) break;
    state = PQconnectPoll(connection);
  }
  if (PQstatus(connection) != CONNECTION_OK) {
    const std::string report = state == PGRES_POLLING_FAILED || PQerrorMessage(connection)[0]
                                   ? PQerrorMessage(connection)
                                   : "timeout expired";
    PQfinish(connection);
    throw ConnectError(uri, report);
  }
  PQsetErrorVerbosity(connection, PQERRORS_DEFAULT);
  return connection;
}

bool IsTransactionControl(std::string_view sql) {
  const std::size_t start = sql.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return false;
  std::string word;
  for (char c : sql.substr(start)) {
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return word == "begin" || word == "commit" || word == "rollback" || word == "savepoint" ||
         word == "release" || word == "end" || word == "start";
}

PostgresCommand SendPrepared(const char* name) {
  return [name](PGconn* connection) {
    return PQsendQueryPrepared(connection, name, 0, nullptr, nullptr, nullptr, 0) == 1;
  };
}

std::string RollbackToStatementSql() {
  return std::string("rollback to savepoint ") + kStatementSavepoint + "; release savepoint " +
         kStatementSavepoint;
}

// Sends `commands` and a sync, then reads one result per command (null for one that never
// came, when the connection broke). A command after a failed one is answered "aborted".
std::vector<Result> Pipeline(PGconn* connection, const std::vector<Command>& commands) {
  std::vector<Result> results;
  if (PQenterPipelineMode(connection) == 1) {
    bool sent = std::all_of(commands.begin(), commands.end(),
                            [&](const Command& c) { return c(connection); });
    if (sent && PQpipelineSync(connection) == 1) {
      for (std::size_t i = 0; i < commands.size(); ++i) {
        Result first;
        while (PGresult* r = PQgetResult(connection)) {
          if (first) {
            PQclear(r);
          } else {
            first.reset(r);
          }
        }
        results.push_back(std::move(first));
      }
      Result sync(PQgetResult(connection));
    }
    PQexitPipelineMode(connection);
  }
  results.resize(commands.size());
  return results;
}

}  // namespace

PostgresSession::PostgresSession(std::string uri)
    : connection_(ConnectTo(uri)), uri_(std::move(uri)) {}

PGconn* PostgresSession::Live() const {
  if (!connection_) {
    throw DbError(kClosed, "Object invalid or no longer set: the database is closed.");
  }
  return connection_;
}

void PostgresSession::Finish() {
  if (connection_) PQfinish(connection_);
  connection_ = nullptr;
}

bool PostgresSession::InTransaction() const {
  const PGTransactionStatusType status = PQtransactionStatus(Live());
  return status == PQTRANS_INTRANS || status == PQTRANS_INERROR;
}

void PostgresSession::PrepareSavepoints() {
  const std::string name(kStatementSavepoint);
  for (const auto& [statement, sql] : {std::pair{kSetSavepoint, "savepoint " + name},
                                       std::pair{kReleaseSavepoint, "release savepoint " + name}}) {
    Result prepared(PQprepare(Live(), statement, sql.c_str(), 0, nullptr));
    if (!Succeeded(prepared.get())) throw ErrorOf(connection_, prepared.get());
  }
}

std::vector<Result> PostgresSession::Run(std::vector<Command> commands, std::string_view context) {
  PGconn* connection = Live();
  const bool guarded = InTransaction();
  if (guarded) {
    commands.insert(commands.begin(), SendPrepared(kSetSavepoint));
    commands.push_back(SendPrepared(kReleaseSavepoint));
  }
  std::vector<Result> results = Pipeline(connection, commands);
  auto failed = std::find_if(results.begin(), results.end(),
                             [](const Result& r) { return !Succeeded(r.get()); });
  if (failed != results.end()) {
    DbError error = ErrorOf(connection, failed->get(), context);
    if (guarded) PQclear(PQexec(connection, RollbackToStatementSql().c_str()));
    throw error;
  }
  if (guarded) {
    results.erase(results.begin());
    results.pop_back();
  }
  return results;
}

Result PostgresSession::Query(const std::string& sql, const std::vector<std::string>& parameters) {
  std::vector<const char*> values;
  for (const std::string& p : parameters) values.push_back(p.c_str());
  Command query = [&](PGconn* connection) {
    return PQsendQueryParams(connection, sql.c_str(), static_cast<int>(values.size()), nullptr,
                             values.data(), nullptr, nullptr, 0) == 1;
  };
  return std::move(Run({query}).front());
}

void PostgresSession::Copy(const std::string& copy_sql, std::string_view data) {
  PGconn* connection = Live();
  const bool guarded = InTransaction();
  if (guarded) {
    Result set(PQexecPrepared(connection, kSetSavepoint, 0, nullptr, nullptr, nullptr, 0));
    if (!Succeeded(set.get())) throw ErrorOf(connection, set.get());
  }
  Result started(PQexec(connection, copy_sql.c_str()));
  Result ended;
  if (PQresultStatus(started.get()) == PGRES_COPY_IN) {
    // In pieces of a megabyte, which libpq sends as they come.
    constexpr std::size_t kPiece = 1 << 20;
    bool sent = true;
    for (std::size_t at = 0; sent && at < data.size(); at += kPiece) {
      const std::string_view piece = data.substr(at, kPiece);
      sent = PQputCopyData(connection, piece.data(), static_cast<int>(piece.size())) == 1;
    }
    PQputCopyEnd(connection, sent ? nullptr : "the rows could not be sent");
    ended.reset(PQgetResult(connection));
    while (PGresult* more = PQgetResult(connection)) PQclear(more);
  } else {
    ended = std::move(started);
  }
  if (!Succeeded(ended.get())) {
    DbError error = ErrorOf(connection, ended.get());
    if (guarded) PQclear(PQexec(connection, RollbackToStatementSql().c_str()));
    throw error;
  }
  if (guarded) {
    Result released(PQexecPrepared(connection, kReleaseSavepoint, 0, nullptr, nullptr, nullptr, 0));
    if (!Succeeded(released.get())) throw ErrorOf(connection, released.get());
  }
}

// The simple protocol takes several statements at once, but parses them all before it runs any:
// the savepoint is set beforehand, so that it is there to return to when one does not parse.
void PostgresSession::Exec(const std::string& sql) {
  PGconn* connection = Live();
  const bool guarded = InTransaction() && !IsTransactionControl(sql);
  if (guarded) {
    Result set(PQexecPrepared(connection, kSetSavepoint, 0, nullptr, nullptr, nullptr, 0));
    if (!Succeeded(set.get())) throw ErrorOf(connection, set.get());
  }
  const std::string text =
      guarded ? sql + ";\nrelease savepoint " + std::string(kStatementSavepoint) : sql;
  Result result(PQexec(connection, text.c_str()));
  if (!Succeeded(result.get())) {
    DbError error = ErrorOf(connection, result.get());
    if (guarded) PQclear(PQexec(connection, RollbackToStatementSql().c_str()));
    throw error;
  }
}

}  // namespace brontal::db
