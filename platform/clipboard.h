// The desktop's clipboard as the viewer uses it: emptied, then given plain text or a picture.
#pragma once

#include <string>
#include <vector>

#include "platform/picture.h"

namespace brontal {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void Clear() = 0;
  virtual void SetText(const std::string& text) = 0;
  // Puts a picture on the clipboard, replacing what it held; an empty picture leaves it as it is.
  virtual void SetPicture(const Picture& picture) = 0;
};

// Holds what it was given, for tests.
class MemoryClipboard : public Clipboard {
 public:
  void Clear() override {
    text.clear();
    cleared = true;
  }
  void SetText(const std::string& value) override { text = value; }
  void SetPicture(const Picture& value) override { picture = value; }

  std::string text;
  Picture picture;
  bool cleared = false;
};

}  // namespace brontal
