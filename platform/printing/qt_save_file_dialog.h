// The save-file dialog of the Qt programs. Needs a QApplication.
#pragma once

#include <QString>
#include <QStringList>
#include <string_view>

#include "platform/printing/save_file_dialog.h"

class QWidget;

namespace brontal {

// A QFileDialog in save mode over `parent` (centred on the screen when null). A name that breaks
// the request's rules (a missing folder, a file that cannot be written) is refused with a
// warning and the dialog opens again.
class QtSaveFileDialog : public SaveFileDialog {
 public:
  explicit QtSaveFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
  // Throws DialogError when there is no QApplication.
  std::optional<std::string> Ask(const SaveFileRequest& request) override;

 private:
  QWidget* parent_;
};

}  // namespace brontal
