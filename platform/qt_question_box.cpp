// QMessageBox with OK and Cancel behind the QuestionBox interface.
#include "platform/qt_question_box.h"

#include <QApplication>
#include <QMessageBox>

#include "platform/qt_message_box.h"

namespace brontal {
namespace {}  // namespace

bool QtQuestionBox::OkCancel(std::string_view text, std::string_view title, MessageIcon icon) {
  // The box is often asked for by a dialog made after this object: it belongs over that one.
  QWidget* parent = parent_ ? parent_ : QApplication::activeModalWidget();
  QMessageBox box(QtMessageIcon(icon),
                  QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace brontal
