// QClipboard behind the clipboard interface.
#include "platform/qt_clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
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

void QtClipboard::SetPicture(const Picture& picture) {
  QClipboard* clipboard = SystemClipboard();
  if (clipboard == nullptr || picture.width <= 0 || picture.height <= 0) return;
  if (picture.pixels.size() < static_cast<std::size_t>(picture.width) * picture.height) return;
  // The image only borrows the pixels; the clipboard keeps a copy of its own.
  const QImage image(reinterpret_cast<const uchar*>(picture.pixels.data()), picture.width,
                     picture.height, picture.width * 4, QImage::Format_ARGB32);
  clipboard->setImage(image.copy());
}

}  // namespace brontal
