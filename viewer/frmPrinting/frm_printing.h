// frmPrinting: the small window that shows how far a print has got and lets the user cancel it,
// as the report builder and the list printer drive it through ProgressWindow.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/printing/progress_window.h"

class QLabel;

namespace brontal {

// The window is application-modal while it is open, though shown without waiting: the print
// loop keeps running and lets events through, so the window repaints and its Cancel works, but
// the windows behind it cannot start another print or close the database under the running one.
// It is kept above the others and centred on the screen. Cancel, Escape and its close box all
// cancel: on_cancel runs and the window closes.
class FrmPrinting : public ProgressWindow {
 public:
  FrmPrinting();
  ~FrmPrinting() override;
  FrmPrinting(const FrmPrinting&) = delete;
  FrmPrinting& operator=(const FrmPrinting&) = delete;

  void Open(std::string_view status, std::function<void()> on_cancel) override;
  void SetStatus(std::string_view status) override;
  void ProcessEvents() override;
  // Closes the window without calling on_cancel, which is then forgotten.
  void Close() override;

  // The window itself ("frmPrinting", with "lblStatus" and "cmdCancel"); it lives as long as
  // this object.
  QDialog& Window() { return *window_; }

 private:
  void Cancel();

  std::unique_ptr<QDialog> window_;
  QLabel* lbl_status_ = nullptr;
  std::function<void()> on_cancel_;
};

}  // namespace brontal
