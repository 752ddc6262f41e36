// The two options every command-line program answers before reading its own arguments:
// --help prints its usage and --version the suite's version, both on standard output.
#pragma once

#include <string_view>

namespace brontal {

// The suite's version, "major.minor.revision" (the project version of the build).
std::string_view SuiteVersion();

// When the only argument is exactly "--help" or "--version", prints `usage` or
// "`program` VERSION" followed by a line end on standard output and returns true: the program
// then ends with status 0. Returns false for any other command line (none, several words, other
// spellings), which the program reads as it always has.
bool AnswerHelpOrVersion(int argc, const char* const* argv, std::string_view program,
                         std::string_view usage);

}  // namespace brontal
