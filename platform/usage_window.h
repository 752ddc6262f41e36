// The usage window of a command-line program started without its parameters, and the choice
// between it and standard output.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brontal {

// Whether a desktop can show windows: DISPLAY or WAYLAND_DISPLAY set, and Qt not told to draw
// offscreen or on the minimal platform. `getenv` reads the environment (std::getenv).
bool DesktopAvailable(const std::function<const char*(const char*)>& getenv);

// A window with the caption, the lines in the read-only multi-line box "Text1" in a fixed
// font, and the button "cmdOK", which closes it. It is sized for `columns` x `rows`
// characters.
class UsageWindow : public QDialog {
 public:
  UsageWindow(std::string_view caption, std::span<const std::string_view> lines, int columns,
              int rows, QWidget* parent = nullptr);
};

// Shows `window` modally, centred on the screen, when a desktop is available, and writes
// `text` to standard output otherwise. `make_window` is called only when there is a desktop,
// after the QApplication (made from argc and argv) exists. Returns the exit status, 0.
int ShowUsageWindow(int& argc, char** argv, const std::string& text,
                    const std::function<std::unique_ptr<QDialog>()>& make_window);

}  // namespace brontal
