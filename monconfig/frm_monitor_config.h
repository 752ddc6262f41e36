// frmMonitorConfig: the dialog with which an administrator points this node at the shared
// database and sets how many directory levels the scanner records for it. The procedures live
// in MonitorConfig; the form shows its texts and passes the user's actions on.
#pragma once

#include <QDialog>

#include "monconfig/monitor_config.h"

class QLabel;
class QLineEdit;
class QTabWidget;

namespace brontal {

class FrmMonitorConfig : public QDialog {
  Q_OBJECT

 public:
  // What exec() returns when the dialog ended on an error.
  static constexpr int kFailedResult = 2;

  // Builds the controls and runs the form's start (MonitorConfig::Start), opening on the
  // database tab, centred on the screen. The dialog may have ended already (config.Ended()), in
  // which case it is not to be shown. config must outlive the form.
  explicit FrmMonitorConfig(MonitorConfig& config, QWidget* parent = nullptr);
  // Stops config from reporting its status to the form.
  ~FrmMonitorConfig() override;

 private:
  void BuildDatabaseTab();
  void BuildLevelsTab();
  // The tab handler, with the index of the tab now shown.
  void TabChanged(int index);
  // Shows what config holds now, and closes the dialog once it has ended.
  void Refresh();

  MonitorConfig& config_;
  int shown_tab_ = MonitorConfig::kDatabaseTab;

  QTabWidget* stab_ = nullptr;
  QLineEdit* txtdatabase_ = nullptr;
  QLineEdit* txtLevels_ = nullptr;
  QLabel* lblDefaultLevels_ = nullptr;
  QLabel* sb_ = nullptr;
};

}  // namespace brontal
