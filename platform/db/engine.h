// The engine the programs use, over one or more backends: SQL in the system's dialect
// translated for the backend that holds the database, snapshots copied out at once so that no
// idle reader holds up a writer, table recordsets with prepared statements reused for every
// row, nested transactions over savepoints.
#pragma once

#include <memory>
#include <vector>

#include "platform/clock.h"
#include "platform/db/backend.h"
#include "platform/db/database.h"

namespace brontal::db {

struct EngineOptions {
  // The current date, which decides the century of two-digit years in date literals; the
  // machine's clock when null.
  const Clock* clock = nullptr;
};

// An engine whose databases are each opened by the first of `backends` that handles their
// location. Each engine has its own default workspace, whose transactions span the databases
// it opened, whatever their backends.
std::unique_ptr<Engine> MakeEngine(std::vector<std::unique_ptr<Backend>> backends,
                                   const EngineOptions& options = {});

}  // namespace brontal::db
