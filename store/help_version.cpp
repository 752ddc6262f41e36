// --help and --version, answered the same way by every command-line program.
#include "store/help_version.h"

#include <cstdio>
#include <string>

#ifndef BRONTAL_VERSION
#define BRONTAL_VERSION "0.0.0"
#endif

namespace brontal {

std::string_view SuiteVersion() { return BRONTAL_VERSION; }

bool AnswerHelpOrVersion(int argc, const char* const* argv, std::string_view program,
                         std::string_view usage) {
  if (argc != 2) return false;
  const std::string_view option = argv[1];
  std::string text;
  if (option == "--help") {
    text = usage;
    if (!text.ends_with('\n')) text += '\n';
  } else if (option == "--version") {
    text = std::string(program) + " " + std::string(SuiteVersion()) + "\n";
  } else {
    return false;
  }
  std::fwrite(text.data(), 1, text.size(), stdout);
  return true;
}

}  // namespace brontal
