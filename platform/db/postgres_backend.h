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

// What a PostgreSQL connection does beyond BackendConnection, for the maintenance program,
// which reaches it by a dynamic_cast of the connection Open returns.
class PostgresConnection : public BackendConnection {
 public:
  // What the last Repair left unchecked, for the log: empty when it checked every index, else
  // a line such as "not checked: amcheck is not installed".
  virtual std::string LastRepairNote() const = 0;
  // True: there is no copy to put in the database's place.
  virtual bool CompactsInPlace() const = 0;
  // Gives the space of deleted rows back and measures the tables again (VACUUM (ANALYZE) of
  // every table), while others go on reading and writing. Not inside a transaction
  // (kGeneral).
  virtual void CompactInPlace() = 0;
};

// The backend. Its connections speak jetsql::PostgresDialect(), take parameters as $1, $2 ...
// and name rows by ctid, which an update changes. Opening a database that does not exist is
// kFileNotFound; one not made UTF-8 with locale C kCannotOpen; one without tables kDamaged;
// an open mode refused kInUse.
std::unique_ptr<Backend> MakePostgresBackend(const PostgresOptions& options = {});

}  // namespace brontal::db
