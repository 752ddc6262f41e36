// Driving the print dialog of a viewer window from a widget test: the print action is triggered
// and a step runs on the dialog once it is up.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <QtTest>
#include <functional>

namespace brontal::testing {

// Triggers the action named `action` of `window` with `step` run on the print dialog once it is
// up; a dialog the step leaves open is cancelled, so that the test goes on.
inline void WithPrintDialog(QWidget& window, const std::function<void(QDialog&)>& step,
                            const char* action = "mnuFilePrint") {
  QTimer::singleShot(0, &window, [&window, &step] {
    auto* dialog = window.findChild<QDialog*>("frmPrint");
    QVERIFY(dialog && dialog->isVisible());
    step(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  window.findChild<QAction*>(action)->trigger();
}

// Clicks the dialog's enabled button named `name`.
inline void Click(QDialog& dialog, const char* name) {
  auto* button = dialog.findChild<QAbstractButton*>(name);
  QVERIFY2(button && button->isEnabled(), name);
  button->click();
}

}  // namespace brontal::testing
