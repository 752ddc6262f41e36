// The desktop's clipboard as the viewer uses it: emptied, then given plain text or a picture.
#pragma once

#include <string>
#include <vector>

namespace brontal {

class Clipboard {
 public:
  virtual ~Clipboard() = default;
  virtual void Clear() = 0;
  virtual void SetText(const std::string& text) = 0;
};

// Holds what it was given, for tests.
class MemoryClipboard : public Clipboard {
 public:
  void Clear() override {
    text.clear();
    cleared = true;
  }
  void SetText(const std::string& value) override { text = value; }

  std::string text;
  bool cleared = false;
};

}  // namespace brontal
