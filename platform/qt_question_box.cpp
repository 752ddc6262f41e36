// QMessageBox with OK and Cancel behind the QuestionBox interface.
#include "platform/qt_question_box.h"

#include <QApplication>
#include <QMessageBox>

namespace brontal {
namespace {

QMessageBox::Icon QtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return QMessageBox::Information;
    case MessageIcon::kWarning:
      return QMessageBox::Warning;
    case MessageIcon::kCritical:
      return QMessageBox::Critical;
    case MessageIcon::kNone:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

bool QtQuestionBox::OkCancel(std::string_view text, std::string_view title, MessageIcon icon) {
  // The box is often asked for by a dialog made after this object: it belongs over that one.
  QWidget* parent = parent_ ? parent_ : QApplication::activeModalWidget();
  QMessageBox box(QtIcon(icon),
                  QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())),
                  QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())),
                  QMessageBox::Ok | QMessageBox::Cancel, parent);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return box.exec() == QMessageBox::Ok;
}

}  // namespace brontal
