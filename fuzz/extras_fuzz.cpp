// Fuzzes the scanner's reading of extras.txt: any bytes as the file, read and acted on by a
// whole scanner run over an in-memory file system into a real database.
#include <cstdint>
#include <string>

#include "fuzz/scan_fixture.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static brontal::fuzz::ScanFixture fixture;
  const std::string extras(reinterpret_cast<const char*>(data), size);
  fixture.Scan("", &extras);
  return 0;
}
