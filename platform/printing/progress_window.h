// The small window that shows how far a print has got and offers Cancel, and a recording one for
// tests.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace brontal {

class ProgressWindow {
 public:
  virtual ~ProgressWindow() = default;
  // Shows the window modeless, centred and above the others, with `status`. Its Cancel button
  // calls `on_cancel` and closes the window.
  virtual void Open(std::string_view status, std::function<void()> on_cancel) = 0;
  // Replaces the status text and repaints it at once.
  virtual void SetStatus(std::string_view status) = 0;
  // Lets pending user-interface events run, so that Cancel can be pressed during a long loop.
  virtual void ProcessEvents() = 0;
  // Closes the window; nothing when it is not open.
  virtual void Close() = 0;
};

// Keeps every status it was shown; the user "presses Cancel" at a chosen ProcessEvents call.
class RecordingProgressWindow : public ProgressWindow {
 public:
  void Open(std::string_view status, std::function<void()> on_cancel) override {
    is_open = true;
    ++opened;
    on_cancel_ = std::move(on_cancel);
    statuses.emplace_back(status);
  }
  void SetStatus(std::string_view status) override { statuses.emplace_back(status); }
  void ProcessEvents() override {
    if (++events == cancel_at_events && is_open && on_cancel_) {
      on_cancel_();
      Close();
    }
  }
  void Close() override {
    if (is_open) ++closed;
    is_open = false;
  }

  std::vector<std::string> statuses;
  bool is_open = false;
  int opened = 0;
  int closed = 0;
  int events = 0;
  // The ProcessEvents call (from 1) during which Cancel is pressed; 0 never.
  int cancel_at_events = 0;

 private:
  std::function<void()> on_cancel_;
};

}  // namespace brontal
