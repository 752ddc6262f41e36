// Fuzzes the reading of dbloc.txt: any bytes as the file give the bytes before its first line
// end, whole, and nothing past it.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/testing/temp_folder.h"
#include "store/dbloc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static brontal::testing::TempFolder folder;
  const std::string content(reinterpret_cast<const char*>(data), size);
  std::ofstream(folder / "dbloc.txt", std::ios::binary | std::ios::trunc) << content;
  const std::string path = brontal::ReadDbLoc(folder.path().string());
  const bool whole_line =
      path.size() == content.size() || content[path.size()] == '\r' || content[path.size()] == '\n';
  if (!content.starts_with(path) || path.find_first_of("\r\n") != std::string::npos ||
      !whole_line) {
    std::abort();
  }
  return 0;
}
