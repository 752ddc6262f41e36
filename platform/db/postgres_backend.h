// The PostgreSQL backend over libpq: a database on a server, named by a postgresql:// URI, whose
// open modes are advisory locks held for a connection's life.
#pragma once

#include <memory>
#include <string>

#include "platform/db/backend.h"

namespace brontal::db {

struct PostgresOptions {
  // How long a statement waits for a row lock another connection holds before failing kLocked.
  int lock_timeout_ms = 10000;
};

// The backend. Its connections speak jetsql::PostgresDialect(), take parameters as $1, $2 ...
// and name rows by ctid, which an update changes. Opening a database that does not exist is
// kFileNotFound; one not made UTF-8 with locale C kCannotOpen; one without tables kDamaged;
// an open mode refused kInUse. Its connections compact in place (CompactInPlace, not inside a
// transaction) and say in LastRepairNote when Repair could not check the indexes.
std::unique_ptr<Backend> MakePostgresBackend(const PostgresOptions& options = {});

}  // namespace brontal::db
