// The example that explains what a scan depth means, taken from a sample path.
#pragma once

#include <string>

#include "platform/settings.h"

namespace brontal {

// The sample path's part above `depth`, six blanks and the directory at that depth, from the
// setting Options/DLevelsExample1 (a built-in sample path by default): depth 2 gives "D:\" and
// "Users", depth 3 "D:\Users" and "Quenby". Throws std::invalid_argument for a depth below 2 or
// a sample path with fewer than `depth` "\".
std::string LevelsExample(int depth, const Settings& settings);

}  // namespace brontal
