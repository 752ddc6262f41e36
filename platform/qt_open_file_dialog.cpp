// The open-file dialog on QFileDialog.
#include "platform/qt_open_file_dialog.h"

#include <QApplication>
#include <QFileDialog>
#include <stdexcept>

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

QStringList QtOpenNameFilters(std::string_view filter) {
  QStringList parts = ToQt(filter).split('|');
  if (filter.empty() || parts.size() % 2 != 0) {
    throw std::invalid_argument("Invalid filter \"" + std::string(filter) + "\"");
  }
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    // Qt reads the patterns from the last parentheses, separated by blanks, not by ";": the
    // description's own "(*.mdb)" is replaced by the pattern part.
    QString label = parts[i];
    qsizetype open = label.lastIndexOf('(');
    if (open > 0 && label.endsWith(')')) label.truncate(open);
    filters << label.trimmed() + " (" + parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ') + ")";
  }
  return filters;
}

std::optional<std::string> QtOpenFileDialog::Ask(const OpenFileRequest& request) {
  QStringList filters = QtOpenNameFilters(request.filter);
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
