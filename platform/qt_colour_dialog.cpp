#include "platform/qt_colour_dialog.h"

#include <QApplication>
#include <QColor>
#include <QColorDialog>

namespace brontal {

std::optional<std::uint32_t> QtColourDialog::Choose(std::uint32_t initial) {
  const QColor start(static_cast<int>(initial & 0xff), static_cast<int>((initial >> 8) & 0xff),
                     static_cast<int>((initial >> 16) & 0xff));
  QWidget* parent = parent_ != nullptr ? parent_ : QApplication::activeWindow();
  const QColor chosen = QColorDialog::getColor(start, parent);
  if (!chosen.isValid()) return std::nullopt;
  return static_cast<std::uint32_t>(chosen.red()) |
         static_cast<std::uint32_t>(chosen.green()) << 8 |
         static_cast<std::uint32_t>(chosen.blue()) << 16;
}

}  // namespace brontal
