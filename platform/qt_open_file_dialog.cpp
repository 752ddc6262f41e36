// The open-file dialog on QFileDialog.
#include "platform/qt_open_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <stdexcept>

#include "platform/qt_file_filters.h"

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::optional<std::string> QtOpenFileDialog::Ask(const OpenFileRequest& request) {
  QStringList filters = QtNameFilters(request.filter);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw DialogError("No application to show the dialog in");
  }
  QFileDialog dialog(parent_ ? parent_ : QApplication::activeModalWidget(), ToQt(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // A name that does not exist is the caller's to refuse, with its own message.
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  QString suffix = ToQt(request.default_extension);
  if (suffix.startsWith('.')) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  dialog.selectFile(ToQt(request.initial_name));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  return chosen.front().toStdString();
}

}  // namespace brontal
