#include "platform/qt_file_filters.h"

#include <stdexcept>
#include <string>

namespace brontal {

QStringList QtNameFilters(std::string_view filter) {
  QStringList parts =
      QString::fromUtf8(filter.data(), static_cast<qsizetype>(filter.size())).split('|');
  if (filter.empty() || parts.size() % 2 != 0) {
    throw std::invalid_argument("Invalid filter \"" + std::string(filter) + "\"");
  }
  QStringList filters;
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    // Qt reads the patterns from the last parentheses, separated by blanks, not by ";".
    QString label = parts[i];
    qsizetype open = label.lastIndexOf('(');
    if (open > 0 && label.endsWith(')')) label.truncate(open);
    filters << label.trimmed() + " (" + parts[i + 1].split(';', Qt::SkipEmptyParts).join(' ') + ")";
  }
  return filters;
}

}  // namespace brontal
