// The OK/Cancel question box of the Qt programs. Needs a QApplication.
#pragma once

#include <string_view>

#include "platform/question_box.h"

class QWidget;

namespace brontal {

// A modal QMessageBox with OK and Cancel, centred on `parent`, or on the window that is modal
// at the time of asking when parent is null (on the screen when there is none).
class QtQuestionBox : public QuestionBox {
 public:
  explicit QtQuestionBox(QWidget* parent = nullptr) : parent_(parent) {}
  bool OkCancel(std::string_view text, std::string_view title, MessageIcon icon) override;

 private:
  QWidget* parent_;
};

}  // namespace brontal
