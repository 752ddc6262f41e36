#include "platform/testing/postgres.h"

#include <libpq-fe.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace brontal::testing {
namespace {

struct ConnectionCloser {
  void operator()(PGconn* connection) const { PQfinish(connection); }
};
using Connection = std::unique_ptr<PGconn, ConnectionCloser>;

Connection Connect(const std::string& uri) {
  Connection connection(PQconnectdb(uri.c_str()));
  if (PQstatus(connection.get()) != CONNECTION_OK) {
    throw std::runtime_error("cannot connect to " + uri + ": " + PQerrorMessage(connection.get()));
  }
  // "does not exist, skipping" and the like are no news in a test's output.
  PQsetNoticeProcessor(
      connection.get(), [](void*, const char*) {}, nullptr);
  return connection;
}

void Run(PGconn* connection, const std::string& sql) {
  PGresult* result = PQexec(connection, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  std::string error = PQresultErrorMessage(result);
  PQclear(result);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    throw std::runtime_error(sql + ": " + error);
  }
}

}  // namespace

std::optional<std::string> ScratchPostgres::ServerUri() {
  const char* uri = std::getenv("BRONTAL_TEST_POSTGRES");
  if (!uri || !*uri) return std::nullopt;
  return std::string(uri);
}

const char* ScratchPostgres::SkipMessage() {
  return "BRONTAL_TEST_POSTGRES is not set (tools/test sets it): no PostgreSQL server to test on";
}

std::string WithDatabase(const std::string& uri, const std::string& database) {
  const std::size_t scheme = uri.find("://");
  if (scheme == std::string::npos) throw std::runtime_error("not a URI: " + uri);
  const std::size_t path = uri.find('/', scheme + 3);
  const std::size_t query = uri.find('?', scheme + 3);
  if (path == std::string::npos || (query != std::string::npos && path > query)) {
    // No database in it yet: postgresql://host or postgresql://host?options.
    const std::size_t at = query == std::string::npos ? uri.size() : query;
    return uri.substr(0, at) + "/" + database + uri.substr(at);
  }
  const std::size_t end = query == std::string::npos ? uri.size() : query;
  return uri.substr(0, path + 1) + database + uri.substr(end);
}

ScratchPostgres::ScratchPostgres(const std::string& encoding) {
  const std::optional<std::string> server = ServerUri();
  if (!server) throw std::runtime_error(SkipMessage());
  static std::atomic<int> made{0};
  name_ = "brontal_test_" + std::to_string(::getpid()) + "_" + std::to_string(++made);
  Connection admin = Connect(*server);
  testing::Run(admin.get(), "drop database if exists " + name_ + " with (force)");
  testing::Run(admin.get(), "create database " + name_ + " template template0 encoding '" +
                                encoding + "' locale 'C'");
  uri_ = WithDatabase(*server, name_);
  Run("create extension if not exists citext");
}

ScratchPostgres::~ScratchPostgres() {
  try {
    Connection admin = Connect(*ServerUri());
    testing::Run(admin.get(), "drop database if exists " + name_ + " with (force)");
  } catch (const std::exception&) {
    // The server went away first: the cluster goes with its folder.
  }
}

void ScratchPostgres::Run(const std::string& sql) const {
  Connection connection = Connect(uri_);
  testing::Run(connection.get(), sql);
}

}  // namespace brontal::testing
