// Where the running program lies: dbloc.txt, extras.txt and the logs live beside it.
#pragma once

#include <string>

namespace brontal {

// The absolute folder of the running executable, without a trailing "/" ("/" itself for a
// program in the root). Throws std::system_error when /proc/self/exe cannot be read.
std::string ProgramFolder();

}  // namespace brontal
