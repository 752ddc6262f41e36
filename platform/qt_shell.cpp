// QDesktopServices behind the shell interface.
#include "platform/qt_shell.h"

#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QString>
#include <QUrl>

namespace brontal {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// QDesktopServices needs the application's platform integration.
bool HasDesktop() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()); }

}  // namespace

bool QtShell::OpenNative(const std::string& native_path) {
  if (!HasDesktop() || native_path.empty()) return false;
  // decodeName keeps file names that are not valid UTF-8 as the file system has them.
  return QDesktopServices::openUrl(QUrl::fromLocalFile(QFile::decodeName(native_path.c_str())));
}

bool QtShell::Open(const std::string& logical_path) {
  if (logical_path.empty()) return false;
  return OpenNative(NativePathOf(logical_path, unc_root_));
}

bool QtShell::Explore(const std::string& logical_path) {
  if (logical_path.empty()) return false;
  std::string native = NativePathOf(logical_path, unc_root_);
  const QFileInfo info(QFile::decodeName(native.c_str()));
  // A file manager shows folders; a file is shown by the folder that holds it.
  if (info.exists() && !info.isDir()) {
    const std::size_t slash = native.rfind('/');
    if (slash != std::string::npos) native = slash == 0 ? "/" : native.substr(0, slash);
  }
  return OpenNative(native);
}

bool QtShell::Edit(const std::string& logical_path) { return Open(logical_path); }

bool QtShell::OpenUrl(const std::string& url) {
  if (!HasDesktop()) return false;
  const QUrl address(FromUtf8(url), QUrl::StrictMode);
  const QString scheme = address.scheme().toLower();
  if (!address.isValid() ||
      (scheme != QLatin1String("http") && scheme != QLatin1String("https") &&
       scheme != QLatin1String("mailto") && scheme != QLatin1String("file"))) {
    return false;
  }
  return QDesktopServices::openUrl(address);
}

}  // namespace brontal
