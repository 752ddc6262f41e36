// brontal-copydb FROM TO: copies every row of the size database at FROM into a new database at
// TO, between a file and a PostgreSQL database either way, showing its progress on standard
// output.
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/db/program_engine.h"
#include "store/copy_database.h"
#include "store/help_version.h"

namespace {

constexpr std::string_view kUsage =
    "usage: brontal-copydb FROM TO\n"
    "Copies every row of the Brontal database FROM (a file, or a PostgreSQL URI such as\n"
    "postgresql://host/dbname) into a new database TO: a file that does not exist yet, or an\n"
    "existing, empty PostgreSQL database. TO is removed again when the copy fails.\n";

}  // namespace

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontal-copydb", kUsage)) return 0;
  if (argc != 3) {
    std::fwrite(kUsage.data(), 1, kUsage.size(), stderr);
    return 2;
  }
  try {
    // An engine for each side: the copy's transactions then take no lock on the source.
    auto from_engine = brontal::db::MakeProgramEngine();
    auto to_engine = brontal::db::MakeProgramEngine();
    const auto counts = brontal::CopyDatabase(*from_engine, argv[1], *to_engine, argv[2],
                                              [](const std::string& line) {
                                                std::puts(line.c_str());
                                                std::fflush(stdout);
                                              });
    std::printf("Copied %s to %s. Rows in each table, source and copy:\n", argv[1], argv[2]);
    for (const auto& table : counts) {
      std::printf("  %-8s %lld %lld\n", table.table.c_str(), static_cast<long long>(table.source),
                  static_cast<long long>(table.copied));
    }
  } catch (const brontal::db::DbError& error) {
    std::fflush(stdout);
    std::fprintf(stderr, "brontal-copydb: error %d: %s\n", error.Number(), error.what());
    return 1;
  }
  return 0;
}
