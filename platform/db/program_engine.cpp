#include "platform/db/program_engine.h"

#include "platform/db/engine.h"
#include "platform/db/postgres_backend.h"
#include "platform/db/sqlite_engine.h"

namespace brontal::db {

std::unique_ptr<Engine> MakeProgramEngine() {
  std::vector<std::unique_ptr<Backend>> backends;
  backends.push_back(MakePostgresBackend());
  backends.push_back(MakeSqliteBackend());  // last: it takes every location
  return MakeEngine(std::move(backends));
}

}  // namespace brontal::db
