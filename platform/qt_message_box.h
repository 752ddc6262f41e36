// Message boxes and the busy pointer of the Qt programs. They need a QApplication, which the
// program creates before using them.
#pragma once

#include <QMessageBox>
#include <QWidget>
#include <string_view>

#include "platform/busy_pointer.h"
#include "platform/message_box.h"

namespace brontal {

// Qt's icon for a message box icon.
QMessageBox::Icon QtMessageIcon(MessageIcon icon);

// A modal QMessageBox with an OK button, centred on `parent` (on the screen when null, which
// must then outlive the box object).
class QtMessageBox : public MessageBox {
 public:
  explicit QtMessageBox(QWidget* parent = nullptr) : parent_(parent) {}
  void Show(std::string_view text, std::string_view title) override;
  void Show(std::string_view text, std::string_view title, MessageIcon icon) override;

 private:
  QWidget* parent_;
};

// The wait cursor as the application's override cursor. Qt stacks override cursors, so this
// keeps count of its own and restores at most what it set, also when destroyed.
class QtBusyPointer : public BusyPointer {
 public:
  QtBusyPointer() = default;
  QtBusyPointer(const QtBusyPointer&) = delete;
  QtBusyPointer& operator=(const QtBusyPointer&) = delete;
  ~QtBusyPointer() override { Restore(); }

  void Show() override;
  void Restore() override;

 private:
  bool busy_ = false;
};

}  // namespace brontal
