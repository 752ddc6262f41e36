// The progress window of a running print.
#include "viewer/frmPrinting/frm_printing.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "viewer/frm_startup.h"

namespace brontal {

FrmPrinting::FrmPrinting()
    : window_(std::make_unique<QDialog>(nullptr, Qt::Dialog | Qt::WindowTitleHint |
                                                     Qt::WindowCloseButtonHint |
                                                     Qt::WindowStaysOnTopHint)) {
  window_->setObjectName("frmPrinting");
  window_->setWindowTitle("Printing");
  window_->setWindowModality(Qt::ApplicationModal);

  lbl_status_ = new QLabel(window_.get());
  lbl_status_->setObjectName("lblStatus");
  // Wide enough for the longest status, so that the window does not change size as it runs.
  lbl_status_->setMinimumWidth(
      lbl_status_->fontMetrics().horizontalAdvance("Issuing Tree SQL query ...") * 3 / 2);
  auto* cancel = new QPushButton("&Cancel", window_.get());
  cancel->setObjectName("cmdCancel");
  QObject::connect(cancel, &QPushButton::clicked, window_.get(), &QDialog::reject);
  // Escape and the close box reject the dialog too.
  QObject::connect(window_.get(), &QDialog::rejected, [this] { Cancel(); });

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cancel);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(window_.get());
  layout->addWidget(lbl_status_);
  layout->addLayout(buttons);
}

FrmPrinting::~FrmPrinting() = default;

void FrmPrinting::Open(std::string_view status, std::function<void()> on_cancel) {
  on_cancel_ = std::move(on_cancel);
  lbl_status_->setText(QString::fromUtf8(status.data(), static_cast<qsizetype>(status.size())));
  window_->adjustSize();
  CentreOnScreen(*window_);
  window_->show();
  window_->raise();
  window_->repaint();
}

void FrmPrinting::SetStatus(std::string_view status) {
  lbl_status_->setText(QString::fromUtf8(status.data(), static_cast<qsizetype>(status.size())));
  lbl_status_->repaint();
}

void FrmPrinting::ProcessEvents() { QCoreApplication::processEvents(); }

void FrmPrinting::Close() {
  // The callback refers to the state of a run that is ending.
  on_cancel_ = nullptr;
  window_->hide();
}

void FrmPrinting::Cancel() {
  if (on_cancel_) on_cancel_();
  Close();
}

}  // namespace brontal
