// QDesktopServices behind the shell interface.
#include "platform/qt_shell.h"

#include <QByteArray>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QString>
#include <QUrl>
#include <filesystem>
#include <system_error>

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
  // The path's bytes percent-encoded: a URL keeps an encoded byte that is not UTF-8 as it is,
  // where a QString would turn it into U+FFFD and name another file.
  const QByteArray bytes(native_path.data(), static_cast<qsizetype>(native_path.size()));
  return QDesktopServices::openUrl(QUrl::fromEncoded("file://" + bytes.toPercentEncoding("/")));
}

bool QtShell::Open(const std::string& logical_path) {
  if (logical_path.empty()) return false;
  return OpenNative(NativePathOf(logical_path, unc_root_));
}

bool QtShell::Explore(const std::string& logical_path) {
  if (logical_path.empty()) return false;
  std::string native = NativePathOf(logical_path, unc_root_);
  // A file manager shows folders; a file is shown by the folder that holds it.
  std::error_code error;
  if (std::filesystem::exists(native, error) && !std::filesystem::is_directory(native, error)) {
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
