// Message boxes, which a program without a display writes to standard error instead.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brontal {

// The icon beside a message box's text.
enum class MessageIcon { kNone, kInformation, kWarning, kCritical };

class MessageBox {
 public:
  virtual ~MessageBox() = default;
  // Shows text under title with an OK button and waits for it.
  virtual void Show(std::string_view text, std::string_view title) = 0;
  // The same with an icon beside the text. Boxes that have no icons show it as the plain Show
  // does, so a box written before icons existed needs nothing new.
  virtual void Show(std::string_view text, std::string_view title, MessageIcon /*icon*/) {
    Show(text, title);
  }
};

// Writes "title: text" to standard error and goes on.
class StderrMessageBox : public MessageBox {
 public:
  using MessageBox::Show;
  void Show(std::string_view text, std::string_view title) override;
};

// Remembers what it was asked to show, for tests.
class RecordingMessageBox : public MessageBox {
 public:
  void Show(std::string_view text, std::string_view) override {
    shown.emplace_back(text);
    icons.push_back(MessageIcon::kNone);
  }
  void Show(std::string_view text, std::string_view, MessageIcon icon) override {
    shown.emplace_back(text);
    icons.push_back(icon);
  }
  std::vector<std::string> shown;
  std::vector<MessageIcon> icons;  // one per entry of shown
};

}  // namespace brontal
