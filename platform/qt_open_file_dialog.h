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

// The request's filter in Qt's form, one entry per pair: "Access databases(*.mdb)|*.mdb" gives
// "Access databases (*.mdb)". Throws std::invalid_argument when the parts do not pair up.
QStringList QtOpenNameFilters(std::string_view filter);

}  // namespace brontal
