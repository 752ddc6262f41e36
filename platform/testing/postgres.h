// A fresh, empty PostgreSQL database for one test, on the server whose URI the variable
// BRONTAL_TEST_POSTGRES holds (tools/test starts a throwaway cluster and sets it). Without the
// variable the tests that need a server are skipped with a message.
#pragma once

#include <optional>
#include <string>

namespace brontal::testing {

class ScratchPostgres {
 public:
  // The server's URI, or nullopt when the variable is not set.
  static std::optional<std::string> ServerUri();
  // Why the PostgreSQL tests do not run, for GTEST_SKIP.
  static const char* SkipMessage();

  // Creates a database of its own (locale C, the "citext" extension, SQL_ASCII or the encoding
  // given) on that server; throws std::runtime_error when it cannot.
  explicit ScratchPostgres(const std::string& encoding = "SQL_ASCII");
  ~ScratchPostgres();  // drops it, disconnecting whoever is still connected
  ScratchPostgres(const ScratchPostgres&) = delete;
  ScratchPostgres& operator=(const ScratchPostgres&) = delete;

  // The URI that connects to it, as dbloc.txt would hold it.
  const std::string& uri() const { return uri_; }
  const std::string& name() const { return name_; }

  // Runs SQL on it through a connection of its own; throws std::runtime_error on failure.
  void Run(const std::string& sql) const;

 private:
  std::string name_;
  std::string uri_;
};

// `uri` with its database name replaced by `database`.
std::string WithDatabase(const std::string& uri, const std::string& database);

}  // namespace brontal::testing
