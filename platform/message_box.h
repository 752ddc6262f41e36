// Message boxes, which a program without a display writes to standard error instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brontal {

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows text under title with an OK button and waits for it.
  virtual void Show(std::string_view text, std::string_view title) = 0;
};

// Writes "title: text" to standard error and goes on.
class StderrMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, std::string_view title) override;
};

// Remembers what it was asked to show, for tests.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, std::string_view) override { shown.emplace_back(text); }
  std::vector<std::string> shown;
};

}  // namespace brontal
