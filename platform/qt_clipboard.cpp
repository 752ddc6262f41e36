// QClipboard behind the clipboard interface.
#include "platform/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QString>

namespace brontal {
namespace {

// The application's clipboard; null without a QGuiApplication.
QClipboard* SystemClipboard() {
  if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return nullptr;
  return QGuiApplication::clipboard();
}

}  // namespace

void QtClipboard::Clear() {
  if (QClipboard* clipboard = SystemClipboard()) clipboard->clear();
}

void QtClipboard::SetText(const std::string& text) {
  if (QClipboard* clipboard = SystemClipboard()) {
    clipboard->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }
}

}  // namespace brontal
