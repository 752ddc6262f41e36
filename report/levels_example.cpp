// The depth example of the options and configuration dialogs.
#include "report/levels_example.h"

#include <stdexcept>

namespace brontal {

std::string LevelsExample(int depth, const Settings& settings) {
  std::string sample =
      settings.Get("Options", "DLevelsExample1",
                   "D:\\Users\\Quenby\\Personal\\Letters\\Home\\Mum and Dad\\95\\Sent\\t\\t\\t");
  if (depth < 2) throw std::invalid_argument("Depth " + std::to_string(depth) + " is below 2");
  std::size_t p = std::string::npos;
  for (int found = 0; found < depth - 1; ++found) {
    p = sample.find('\\', p == std::string::npos ? 0 : p + 1);
    if (p == std::string::npos) break;
  }
  std::size_t next = p == std::string::npos ? p : sample.find('\\', p + 1);
  if (next == std::string::npos) {
    throw std::invalid_argument("The sample path \"" + sample + "\" has fewer than " +
                                std::to_string(depth) + " \"\\\"");
  }
  std::string above = sample.substr(0, p);
  if (above.size() == 2) above += '\\';  // so that a drive reads "D:\"
  return above + std::string(6, ' ') + sample.substr(p + 1, next - p - 1);
}

}  // namespace brontal
