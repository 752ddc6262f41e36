// The database engine over SQLite: one file per database, SQL in the system's dialect
// translated on the way in, dates as text, sizes as 64-bit integers, a rollback journal.
#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/db/database.h"

namespace brontal::db {

struct SqliteOptions {
  // How long a statement waits for another connection's write lock before failing kLocked.
  int busy_timeout_ms = 10000;
  // The current date, which decides the century of two-digit years in date literals; the
  // machine's clock when null.
  const Clock* clock = nullptr;
};

// A new engine. Each engine has its own default workspace.
std::unique_ptr<Engine> MakeSqliteEngine(const SqliteOptions& options = {});

}  // namespace brontal::db
