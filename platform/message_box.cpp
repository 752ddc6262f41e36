// The message box of programs without a display.
#include "platform/message_box.h"

#include <cstdio>

namespace brontal {

void StderrMessageBox::Show(std::string_view text, std::string_view title) {
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
               static_cast<int>(text.size()), text.data());
}

}  // namespace brontal
