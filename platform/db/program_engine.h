// The engine the programs open their database with: a database on a PostgreSQL server for a
// postgresql:// or postgres:// location, an SQLite file for any other.
#pragma once

#include <memory>

#include "platform/db/database.h"

namespace brontal::db {

std::unique_ptr<Engine> MakeProgramEngine();

}  // namespace brontal::db
