// brontal-initdb PATH|URI [LEVEL]: creates an empty size database with the default depth LEVEL:
// a new file at PATH, or the tables in the existing, empty PostgreSQL database of URI.
#include <charconv>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/db/program_engine.h"
#include "store/help_version.h"
#include "store/schema.h"

namespace {

std::string Usage() {
  return "usage: brontal-initdb PATH|URI [LEVEL]\n"
         "Creates an empty Brontal database at PATH, or its tables in the existing, empty\n"
         "PostgreSQL database of URI (postgresql://host/dbname); LEVEL is the default\n"
         "number of directory levels recorded per node (default " +
         std::to_string(brontal::kInitialDefaultLevel) + ").\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontal-initdb", Usage())) return 0;
  if (argc < 2 || argc > 3) {
    std::fputs(Usage().c_str(), stderr);
    return 2;
  }
  int level = brontal::kInitialDefaultLevel;
  if (argc == 3) {
    std::string_view text = argv[2];
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), level);
    if (error != std::errc() || end != text.data() + text.size() || level < 1 || level > 99) {
      std::fprintf(stderr, "brontal-initdb: LEVEL must be a whole number from 1 to 99, not '%s'\n",
                   argv[2]);
      return 2;
    }
  }
  try {
    auto engine = brontal::db::MakeProgramEngine();
    brontal::CreateBrontalDatabase(*engine, argv[1], level);
  } catch (const brontal::db::DbError& error) {
    std::fprintf(stderr, "brontal-initdb: error %d: %s\n", error.Number(), error.what());
    return 1;
  }
  std::printf("Created %s with default level %d\n", argv[1], level);
  return 0;
}
