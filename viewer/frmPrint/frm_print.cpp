// The print dialog. It only writes the shared print settings; the window that opened it prints.
#include "viewer/frmPrint/frm_print.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "viewer/frm_startup.h"

namespace brontal {
namespace {

// A caption that shows its text as it is: "&" would otherwise mark a mnemonic.
QString Literal(const std::string& text) { return QString::fromStdString(text).replace("&", "&&"); }

}  // namespace

FrmPrint::FrmPrint(PrintState& state, const std::string& printer_name, QWidget* parent)
    : QDialog(parent), state_(state) {
  setObjectName("frmPrint");
  setWindowTitle("Print");
  setModal(true);

  auto* frame1 = new QGroupBox("Print What", this);
  frame1->setObjectName("Frame1");
  auto* what_layout = new QVBoxLayout(frame1);
  const char* what_captions[] = {"&List", "&Tree (fully expanded from selected node)", "&Graph"};
  for (int i = 0; i < 3; ++i) {
    opt_what_[i] = new QRadioButton(what_captions[i], frame1);
    opt_what_[i]->setObjectName(QString("optWhat%1").arg(i));
    what_layout->addWidget(opt_what_[i]);
    connect(opt_what_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) WhatChosen(i);
    });
  }

  auto* frame2 = new QGroupBox("Print to", this);
  frame2->setObjectName("Frame2");
  auto* to_layout = new QVBoxLayout(frame2);
  opt_print_to_[0] = new QRadioButton("&Printer (" + Literal(printer_name) + ")", frame2);
  opt_print_to_[1] = new QRadioButton("&HTML...", frame2);
  for (int i = 0; i < 2; ++i) {
    opt_print_to_[i]->setObjectName(QString("optPrintTo%1").arg(i));
    to_layout->addWidget(opt_print_to_[i]);
    connect(opt_print_to_[i], &QRadioButton::toggled, this, [this, i](bool on) {
      if (on) ToChosen(i);
    });
  }
  chk_browser_ = new QCheckBox("View results in browser", frame2);
  chk_browser_->setObjectName("chkBrowser");
  to_layout->addWidget(chk_browser_);

  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("cmdOK");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &FrmPrint::accept);
  auto* cancel = new QPushButton("&Cancel", this);
  cancel->setObjectName("cmdCancel");
  connect(cancel, &QPushButton::clicked, this, &FrmPrint::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(frame1);
  layout->addWidget(frame2);
  layout->addLayout(buttons);

  // The box keeps the previous answer, though it counts only once HTML is chosen again.
  chk_browser_->setChecked(state_.view_in_browser);
  const bool to_known = state_.print_to == kPrintToPrinter || state_.print_to == kPrintToHtml;
  opt_print_to_[to_known ? state_.print_to : kPrintToPrinter]->setChecked(true);
  ToChosen(SelectedTo());
  const bool what_known = state_.print_what >= kPrintList && state_.print_what <= kPrintGraph;
  SelectWhat(what_known ? state_.print_what : kPrintList);
}

void FrmPrint::DisableWhat(int what) {
  if (what < 0 || what >= static_cast<int>(opt_what_.size())) return;
  opt_what_[what]->setEnabled(false);
  if (!opt_what_[what]->isChecked()) return;
  for (int i = 0; i < static_cast<int>(opt_what_.size()); ++i) {
    if (opt_what_[i]->isEnabled()) {
      SelectWhat(i);
      return;
    }
  }
}

void FrmPrint::SelectWhat(int what) {
  if (what < 0 || what >= static_cast<int>(opt_what_.size())) return;
  opt_what_[what]->setChecked(true);
  // An option already selected sends no signal, and the rules must hold from the start.
  WhatChosen(what);
}

void FrmPrint::WhatChosen(int what) {
  if (what == kPrintGraph) {
    opt_print_to_[kPrintToHtml]->setEnabled(false);
    chk_browser_->setEnabled(false);
    opt_print_to_[kPrintToPrinter]->setChecked(true);
  } else {
    opt_print_to_[kPrintToHtml]->setEnabled(true);
  }
}

void FrmPrint::ToChosen(int to) { chk_browser_->setEnabled(to == kPrintToHtml); }

int FrmPrint::SelectedWhat() const {
  for (int i = 0; i < static_cast<int>(opt_what_.size()); ++i) {
    if (opt_what_[i]->isChecked()) return i;
  }
  return kPrintList;
}

int FrmPrint::SelectedTo() const {
  for (int i = 0; i < static_cast<int>(opt_print_to_.size()); ++i) {
    if (opt_print_to_[i]->isChecked()) return i;
  }
  return kPrintToPrinter;
}

void FrmPrint::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  state_.print_cancelled = false;
  CentreOnScreen(*this);
}

void FrmPrint::accept() {
  state_.print_what = SelectedWhat();
  state_.print_to = SelectedTo();
  state_.view_in_browser = state_.print_to == kPrintToHtml && chk_browser_->isChecked();
  QDialog::accept();
}

void FrmPrint::reject() {
  // Escape and the close box leave the dialog as Cancel does: the caller must not print on the
  // previous choices.
  state_.print_cancelled = true;
  QDialog::reject();
}

}  // namespace brontal
