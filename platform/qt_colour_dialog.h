// The colour chooser of the Qt programs. Needs a QApplication.
#pragma once

#include "platform/colour_dialog.h"

class QWidget;

namespace brontal {

// QColorDialog, modal over `parent` (the active window when null).
class QtColourDialog : public ColourDialog {
 public:
  explicit QtColourDialog(QWidget* parent = nullptr) : parent_(parent) {}
  std::optional<std::uint32_t> Choose(std::uint32_t initial) override;

 private:
  QWidget* parent_;
};

}  // namespace brontal
