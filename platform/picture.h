// A picture as the programs hand it to the printer and the clipboard: plain pixels, no toolkit.
#pragma once

#include <cstdint>
#include <vector>

namespace brontal {

// width × height pixels, row by row from the top, each pixel 0xAARRGGBB. Empty when either
// dimension is 0.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> pixels;
};

}  // namespace brontal
