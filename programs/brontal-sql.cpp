// brontal-sql PATH|URI STATEMENT: runs one statement of the system's SQL dialect against a size
// database (a file, or a PostgreSQL database) opened shared, and prints the rows tab-separated under a header line.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/db/program_engine.h"
#include "store/help_version.h"

namespace {

constexpr std::string_view kUsage =
    "usage: brontal-sql PATH|URI STATEMENT\n"
    "Runs one statement against the Brontal database at PATH (or the PostgreSQL\n"
    "database of URI, postgresql://host/dbname) and prints its rows.\n";

// Control characters would break the rows apart; they are shown as \xHH.
std::string Printable(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7f) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace brontal::db;
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontal-sql", kUsage)) return 0;
  if (argc != 3) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return 2;
  }
  try {
    auto engine = MakeProgramEngine();
    auto database = engine->DefaultWorkspace().OpenDatabase(argv[1]);
    std::unique_ptr<Recordset> rows;
    try {
      rows = database->OpenRecordset(argv[2], RecordsetType::kSnapshot);
    } catch (const DbError& error) {
      if (error.Number() != kActionQuery) throw;
      database->Execute(argv[2], kFailOnError);
      std::printf("%lld rows affected\n", static_cast<long long>(database->RecordsAffected()));
      return 0;
    }
    std::string line;
    for (int i = 0; i < rows->FieldCount(); ++i) line += (i ? "\t" : "") + rows->FieldName(i);
    std::puts(line.c_str());
    for (; !rows->Eof(); rows->MoveNext()) {
      line.clear();
      for (int i = 0; i < rows->FieldCount(); ++i) {
        line += (i ? "\t" : "") + Printable(rows->Field(i).TextOr());
      }
      std::puts(line.c_str());
    }
  } catch (const DbError& error) {
    std::fprintf(stderr, "brontal-sql: error %d: %s\n", error.Number(), error.what());
    return 1;
  }
  return 0;
}
