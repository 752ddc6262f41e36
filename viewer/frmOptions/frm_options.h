// frmOptions: the viewer's Options dialog. It edits the main window's defaults, the purge rules
// (and purges at once with "Do it now"), the directory depth of each node, and the database
// file, which it can also compact. When the viewer has no database at start-up it opens in a
// database-only mode in which the user can only choose the file or quit.
#pragma once

#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "viewer/options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QShowEvent;
class QTabWidget;
class QTreeWidget;

namespace brontal {

class Client;
class OpenFileDialog;
class OptionsHost;
class QuestionBox;

class FrmOptions : public QDialog {
  Q_OBJECT

 public:
  // The tabs of `stab`, by index.
  enum Tab {
    kDefaultsTab = 0,
    kSchedulingTab = 1,  // never shown
    kPurgingTab = 2,
    kLevelsTab = 3,
    kDatabaseTab = 4,
  };

  // Loads the controls from the settings and the client's database path, with the Defaults tab
  // selected. When that path is empty or names no file, the dialog is database-only: the
  // Database tab alone is enabled, Compact is hidden, and once the dialog shows, a question box
  // asks the user to choose the file or quit (or, with a host, to go on with the open
  // database). The disk-chart check box shows its setting and stays disabled, as the viewer has
  // no disk window to open at start. host is the main window, null at start-up;
  // questions and open_file are the boxes and the file dialog it shows; files measures the
  // database file. Every argument must outlive the dialog. Do it now, Compact and the levels
  // act on the client's open database; OK with another file moves the client to it and has the
  // host show it, while a file that cannot be opened leaves the client on its database and the
  // dialog open on the Database tab.
  FrmOptions(Client& client, OptionsHost* host, QuestionBox& questions, OpenFileDialog& open_file,
             FileSystem& files, QWidget* parent = nullptr);

  // After the dialog has closed: whether the user chose to quit Brontal (at start-up, Cancel in
  // the database-only question or the dialog; at any time, Cancel in OK's check of the path, or
  // a database that could not be opened again after compaction). Opened from a running viewer
  // (with a host), a database-only dialog asks whether to choose another file and its Cancel
  // leaves the viewer on the database it has open.
  bool QuitViewer() const { return quit_viewer_; }
  // Whether the dialog opened database-only.
  bool DatabaseOnly() const { return database_only_; }

 public slots:
  // Cancel, Escape and the close box: closes without saving. Database-only at start-up, nothing
  // has been chosen, so the viewer ends.
  void reject() override;

 protected:
  // The first show of a database-only dialog asks its question, once the dialog is painted.
  void showEvent(QShowEvent* event) override;

 private:
  // Each builds one tab of stab with its controls, in the order of the tabs.
  void BuildDefaultsTab();
  void BuildSchedulingTab();
  void BuildPurgingTab();
  void BuildLevelsTab();
  void BuildDatabaseTab();

  // The Defaults and Purging tabs as they stand now.
  ViewerDefaults ShownDefaults() const;
  PurgeRules ShownPurgeRules() const;

  // The database-only question; Cancel is the dialog's Cancel.
  void AskForDatabase();
  // lblDBsize for the file named in txtdatabase; empty when it cannot be measured.
  void UpdateDBSize();
  // Compact acts on the open database, so it is offered only while txtdatabase names that file:
  // a file chosen but not yet taken with OK is not what it would compact.
  void EnableCompact();
  // Fills lvDl from Todo the first time its tab is chosen, so that switching tabs keeps edits.
  void LoadLevels();
  // lblExample for the selected row of lvDl; "err in lvdl_click" when it cannot be made.
  void ShowLevelExample();
  // spnDl on the selected row of lvDl.
  void SpinLevelBy(int step);
  // The buttons. Each traps its errors and shows them, so that none ends the viewer.
  void DoItNowClicked();
  void BrowseClicked();
  void CompactClicked();
  void OkClicked();
  // Whether path names an existing file, as the client checks the database it opens.
  bool FileExists(const std::string& path) const;
  // The error being handled, in a message box as "<description> in <operation>".
  void ShowError(const std::string& operation);
  // Closes the dialog so that the viewer ends.
  void QuitBrontal();

  // What the dialog was given.
  Client& client_;
  OptionsHost* host_;
  QuestionBox& questions_;
  OpenFileDialog& open_file_;
  FileSystem& files_;

  // What the dialog has been through.
  bool database_only_ = false;
  bool asked_for_database_ = false;
  bool quit_viewer_ = false;
  bool levels_loaded_ = false;
  std::vector<LevelRow> levels_;       // the rows of lvDl, in its order
  std::vector<LevelRow> levels_read_;  // the rows as Todo held them when read or last saved
  int default_depth_ = 0;

  // The controls that the dialog reads or changes after building them.
  QTabWidget* stab_ = nullptr;
  QComboBox* cmbSorting_ = nullptr;
  QRadioButton* optSortOrder_[2] = {};
  QComboBox* cmbCompare_ = nullptr;
  QCheckBox* chkDiskAtStartup_ = nullptr;
  std::array<QLineEdit*, 3> period_ = {};
  QComboBox* cmbFirstDay_ = nullptr;
  QPushButton* cmdDoitnow_ = nullptr;
  QProgressBar* pbarchive_ = nullptr;
  QTreeWidget* lvDl_ = nullptr;
  QLabel* lblExample_ = nullptr;
  QLineEdit* txtdatabase_ = nullptr;
  QPushButton* cmdCompact_ = nullptr;
  QLabel* lblDBsize_ = nullptr;
  QLabel* lblDatabaseChangeNote_ = nullptr;
};

}  // namespace brontal
