// The desktop's clipboard through QGuiApplication. Needs a QGuiApplication, which the program
// creates first; without one the clipboard is left alone.
#pragma once

#include <string>

#include "platform/clipboard.h"

namespace brontal {

class QtClipboard : public Clipboard {
 public:
  // Empties the system clipboard.
  void Clear() override;
  // Puts UTF-8 text on the clipboard as plain text, replacing what it held.
  void SetText(const std::string& text) override;
  // Puts the picture on the clipboard as an image.
  void SetPicture(const Picture& picture) override;
};

}  // namespace brontal
