// The open-file dialog of the Qt programs. Needs a QApplication.
#pragma once

#include <QStringList>
#include <string_view>

#include "platform/open_file_dialog.h"

class QWidget;

namespace brontal {

// A QFileDialog in open mode over `parent`, or over the window that is modal at the time of
// asking when parent is null. Any name may be chosen, an existing file or not.
class QtOpenFileDialog : public OpenFileDialog {
 public:
  explicit QtOpenFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
  // Throws DialogError when there is no QApplication.
  std::optional<std::string> Ask(const OpenFileRequest& request) override;

 private:
  QWidget* parent_;
};

}  // namespace brontal
