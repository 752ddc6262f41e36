// QMessageBox and QGuiApplication's override cursor behind the platform's interfaces.
#include "platform/qt_message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace brontal {
namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QMessageBox::Icon QtMessageIcon(MessageIcon icon) {
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

void QtMessageBox::Show(std::string_view text, std::string_view title) {
  Show(text, title, MessageIcon::kNone);
}

void QtMessageBox::Show(std::string_view text, std::string_view title, MessageIcon icon) {
  QMessageBox box(QtMessageIcon(icon), FromUtf8(title), FromUtf8(text), QMessageBox::Ok, parent_);
  box.exec();
}

void QtBusyPointer::Show() {
  if (busy_) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  busy_ = true;
}

void QtBusyPointer::Restore() {
  if (!busy_) return;
  QApplication::restoreOverrideCursor();
  busy_ = false;
}

}  // namespace brontal
