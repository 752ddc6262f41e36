// Fuzzes the SQL translator: any bytes are tokenized and translated, and what translates is
// prepared against the size database's tables. Text that is no statement of the dialect must
// fail with DbError; anything else escaping, or a crash, is a fault.
#include <sqlite3.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/db/db_error.h"
#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/db/jetsql/tokenizer.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "store/schema.h"

namespace {

// A read-only connection to an empty size database, opened once: preparing a statement
// never runs it, so no input can change the file or reach another one.
sqlite3* SchemaConnection() {
  static sqlite3* handle = [] {
    static brontal::testing::TempFolder folder;
    const std::string path = folder / "brontal.mdb";
    auto engine = brontal::db::MakeSqliteEngine();
    brontal::CreateBrontalDatabase(*engine, path, brontal::kInitialDefaultLevel);
    sqlite3* opened = nullptr;
    if (sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        brontal::jetsql::InstallSqliteCollations(opened) != SQLITE_OK) {
      std::abort();
    }
    return opened;
  }();
  return handle;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view sql(reinterpret_cast<const char*>(data), size);
  std::string translated;
  try {
    brontal::jetsql::Tokenize(sql);
    translated =
        brontal::jetsql::Translate(sql, brontal::jetsql::SqliteDialect(), {.reference_year = 2026});
  } catch (const brontal::db::DbError&) {
    return 0;
  }
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(SchemaConnection(), translated.data(), static_cast<int>(translated.size()),
                     &statement, nullptr);
  sqlite3_finalize(statement);
  return 0;
}
