// frmPrint: the print dialog, in which the user chooses what to print (list, tree or graph) and
// where (the printer or an HTML file), for every window of the viewer that prints.
#pragma once

#include <QDialog>
#include <array>
#include <string>

#include "report/print_state.h"

class QCheckBox;
class QRadioButton;

namespace brontal {

// Modal. Opening it clears state.print_cancelled; OK writes print_what, print_to and
// view_in_browser; Cancel, Escape and the window's close box set print_cancelled. It starts on
// the choices of the previous OK. Graph forces the printer: the HTML choice and "View results in
// browser" are disabled while it is chosen, and the box is enabled only while HTML is chosen.
class FrmPrint : public QDialog {
  Q_OBJECT

 public:
  // `printer_name` is what the printer choice's caption names: the printer's device name, or
  // where its PDF files go. The state must outlive the dialog.
  FrmPrint(PrintState& state, const std::string& printer_name, QWidget* parent = nullptr);

  // Disables a "Print What" choice (PrintWhat code) this window cannot print; a disabled choice
  // that was selected gives way to the first one still enabled.
  void DisableWhat(int what);
  // Selects a "Print What" choice, with its effect on the "Print to" choices.
  void SelectWhat(int what);

  void accept() override;
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Which "Print What" and "Print to" options are selected; the first when none is.
  int SelectedWhat() const;
  int SelectedTo() const;
  // The rules tying the "Print to" choices and the browser box to the selection.
  void WhatChosen(int what);
  void ToChosen(int to);

  PrintState& state_;
  std::array<QRadioButton*, 3> opt_what_{};
  std::array<QRadioButton*, 2> opt_print_to_{};
  QCheckBox* chk_browser_ = nullptr;
};

}  // namespace brontal
