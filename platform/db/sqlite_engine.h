// The SQLite backend: one file per database, dates as text, sizes as 64-bit integers, a
// rollback journal.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/db/backend.h"
#include "platform/db/database.h"

namespace brontal::db {

struct SqliteOptions {
  // How long a statement waits for another connection's write lock before failing kLocked.
  int busy_timeout_ms = 10000;
  // The current date, which decides the century of two-digit years in date literals; the
  // machine's clock when null.
  const Clock* clock = nullptr;
};

// The backend, for an engine of several (engine.h): it takes every location that is no URI.
std::unique_ptr<Backend> MakeSqliteBackend(const SqliteOptions& options = {});

// An engine over SQLite alone. Each engine has its own default workspace.
std::unique_ptr<Engine> MakeSqliteEngine(const SqliteOptions& options = {});

}  // namespace brontal::db
