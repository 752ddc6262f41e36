// The save-file dialog on QFileDialog, with the checks Qt's dialog does not make itself.
#include "platform/printing/qt_save_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <stdexcept>

#include "platform/qt_file_filters.h"

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Why `path` may not be chosen under the request's rules; empty when it may.
QString Refusal(const QString& path, const SaveFileRequest& request) {
  QFileInfo file(path);
  QFileInfo folder(file.absolutePath());
  if (request.path_must_exist && !folder.isDir()) {
    return "The folder " + folder.filePath() + " does not exist.";
  }
  if (request.no_read_only_return) {
    if (file.exists() && !file.isWritable()) return path + " is read-only.";
    if (!file.exists() && folder.isDir() && !folder.isWritable()) {
      return "The folder " + folder.filePath() + " cannot be written.";
    }
  }
  return {};
}

}  // namespace

std::optional<std::string> QtSaveFileDialog::Ask(const SaveFileRequest& request) {
  QStringList filters = QtNameFilters(request.filter);
  if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
    throw DialogError("No application to show the dialog in");
  }
  QFileDialog dialog(parent_, ToQt(request.title));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(filters);
  QString suffix = ToQt(request.default_extension);
  if (suffix.startsWith('.')) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.overwrite_prompt);
  dialog.selectFile(ToQt(request.initial_name));
  while (dialog.exec() == QDialog::Accepted) {
    QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    QString refusal = Refusal(chosen.front(), request);
    if (refusal.isEmpty()) return chosen.front().toStdString();
    QMessageBox::warning(&dialog, dialog.windowTitle(), refusal);
  }
  return std::nullopt;
}

}  // namespace brontal
