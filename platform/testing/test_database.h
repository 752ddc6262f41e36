// A place for a test's database on either backend: a file in a fresh folder for SQLite, a fresh
// database on the test server for PostgreSQL, so that one test body runs on both.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/db/engine.h"
#include "platform/db/postgres_backend.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/postgres.h"
#include "platform/testing/temp_folder.h"

namespace brontal::testing {

enum class TestBackend { kSqlite, kPostgres };

// Both backends, for INSTANTIATE_TEST_SUITE_P(..., BackendValues(), BackendName).
inline auto BackendValues() {
  return ::testing::Values(TestBackend::kSqlite, TestBackend::kPostgres);
}
inline std::string BackendName(const ::testing::TestParamInfo<TestBackend>& info) {
  return info.param == TestBackend::kSqlite ? "Sqlite" : "Postgres";
}

// Whether the tests of `backend` can run here; when not, the test skips with SkipMessage().
inline bool BackendAvailable(TestBackend backend) {
  return backend == TestBackend::kSqlite || ScratchPostgres::ServerUri().has_value();
}

// An engine of both backends (each location goes to the one that takes it), waiting `wait_ms`
// for a lock another connection holds before failing kLocked.
inline std::unique_ptr<db::Engine> MakeTestEngine(int wait_ms = 10000,
                                                  const Clock* clock = nullptr) {
  std::vector<std::unique_ptr<db::Backend>> backends;
  backends.push_back(db::MakePostgresBackend({.lock_timeout_ms = wait_ms}));
  backends.push_back(db::MakeSqliteBackend({.busy_timeout_ms = wait_ms, .clock = clock}));
  return db::MakeEngine(std::move(backends), {.clock = clock});
}

// A location where no database exists yet, removed with whatever was made there when this
// object goes. Needs BackendAvailable(backend); the folder exists on both backends, for the
// other files a test makes.
class TestDatabase {
 public:
  explicit TestDatabase(TestBackend backend) {
    if (backend == TestBackend::kPostgres) {
      server_.emplace();
      location_ = server_->uri();
    } else {
      location_ = folder_ / "brontal.mdb";
    }
  }

  const std::string& location() const { return location_; }
  bool on_server() const { return server_.has_value(); }
  const TempFolder& folder() const { return folder_; }

 private:
  TempFolder folder_;
  std::optional<ScratchPostgres> server_;
  std::string location_;
};

// For a fixture of its own on the test server: makes a fresh database there, kept in `server`,
// and gives its location; nullopt without a server, when the test skips with SkipMessage().
inline std::optional<std::string> ServerDatabase(std::optional<TestDatabase>& server) {
  if (!BackendAvailable(TestBackend::kPostgres)) return std::nullopt;
  server.emplace(TestBackend::kPostgres);
  return server->location();
}

// A fixture whose tests run once on each backend: SetUp skips the PostgreSQL run without a
// test server, and otherwise gives database() a fresh location.
class OnEachBackend : public ::testing::TestWithParam<TestBackend> {
 protected:
  void SetUp() override {
    if (!BackendAvailable(GetParam())) GTEST_SKIP() << ScratchPostgres::SkipMessage();
    database_.emplace(GetParam());
  }
  bool on_server() const { return GetParam() == TestBackend::kPostgres; }
  const TestDatabase& database() const { return *database_; }

 private:
  std::optional<TestDatabase> database_;
};

}  // namespace brontal::testing
