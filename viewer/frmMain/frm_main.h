// frmMain: the viewer's main window. A tree of every node, drive and parent directory recorded
// in either of two chosen periods, and beside it the list of the clicked place's children with
// their sizes in both periods and the change between them.
#pragma once

#include <QMainWindow>
#include <QTreeWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/colour_dialog.h"
#include "platform/datetime.h"
#include "platform/filesystem.h"
#include "platform/open_file_dialog.h"
#include "platform/printing/printer.h"
#include "platform/printing/progress_window.h"
#include "platform/printing/save_file_dialog.h"
#include "platform/question_box.h"
#include "report/print_state.h"
#include "viewer/client.h"
#include "viewer/images.h"
#include "viewer/options_host.h"
#include "viewer/tree_list.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace brontal {

class FrmDiskGraph;
class FrmDiskUsage;
class FrmGraph;
struct MainWindowLink;

// What the Options dialog asks the user through and looks at; all must outlive the window.
struct OptionsDialogs {
  QuestionBox& questions;
  OpenFileDialog& open_file;
  FileSystem& files;
  // Asks for the disk usage window's pie colours; the window's own Qt dialog when null.
  ColourDialog* colours = nullptr;
};

// What printing works with; all must outlive the window.
struct PrintServices {
  Printer& printer;
  // Asks for the HTML file of a print to HTML.
  SaveFileDialog& save_dialog;
  ProgressWindow& progress;
  // The print settings the viewer's windows share while it runs.
  PrintState& state;
  // The PDF file the printer wrote for its last document, empty when documents go to a real
  // printer; unset when the printer writes no files.
  std::function<std::string()> last_pdf_file = {};
};

class FrmMain : public QMainWindow, public OptionsHost {
  Q_OBJECT

 public:
  // The item data role that holds a tree item's or a list row's path key.
  static constexpr int kKeyRole = Qt::UserRole;
  // The roles that hold a tree item's image keys: closed (normal) and open (selected).
  static constexpr int kImageRole = Qt::UserRole + 1;
  static constexpr int kSelectedImageRole = Qt::UserRole + 2;
  // The role that holds a list row's small icon key.
  static constexpr int kIconRole = Qt::UserRole + 1;
  // The role that holds a tree item's stored path in the case the scanner found it.
  static constexpr int kPathRole = Qt::UserRole + 3;

  // Which control Edit > Copy acts on.
  enum class FocusedControl { kTree, kList, kPeriod1, kPeriod2 };

  // The window with its controls, empty until Start. dbloc.txt is read from program_folder
  // (none when empty). The client and the dialogs must outlive the window. Without `printing`,
  // Print stays disabled.
  FrmMain(Client& client, OptionsDialogs dialogs, std::string program_folder,
          std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmMain() override;

  // Start-up: the database path from dbloc.txt into Options/dbFilename, the splitter and the
  // placement, the splash, the database, the periods and the tree with the root listed, or the
  // "nothing to view" message when there is no period. Returns false when the database could
  // not be opened or none was chosen: the viewer then ends, and the window stays hidden.
  bool Start();

  // Makes the tree item with this key visible, selects it and lists its children as a click
  // does; nothing when no item has the key (any case).
  void FindT(const std::string& key);
  // Lists the parent of the listed place; nothing at the root or before the tree exists.
  void UpOneLevel();
  // FindT of the selected list row; nothing without a selected row or when the row's place has
  // no tree item.
  void DrillDown();
  // The reaction to a new pick in either period picker: the tree and list rebuilt for the two
  // periods, the selected tree item and list row selected again when they still exist. Nothing
  // while the pickers are being filled.
  void CheckPeriods();
  // Shows the Options dialog modally (Tools > Options...); the viewer ends when the user chose
  // to quit there.
  void ShowOptions();
  // File > Print...: the print dialog (Graph disabled), then the report of the selected tree
  // item for the two picked periods through the report builder: List gives the list report in
  // the list's sort, Tree the whole tree below the item; anything else "What print what?". A
  // page written whole is opened in the browser when the dialog asked for it; a PDF file written
  // in place of a printer is named in the status bar. Nothing without a selected tree item.
  void Print();
  // Puts FocusControl's content on the clipboard: the list's captions and rows, a picker's
  // text; for the tree the clipboard is left empty.
  void CopyFocusedControl();
  // Shows the size graph window for `key` (its GraphIt); nothing for an empty key. The window is
  // made on first use and kept, one for the viewer, until the main window goes.
  void GraphIt(const std::string& key);
  // The size graph window; null before the first GraphIt.
  FrmGraph* GraphWindow() const { return graph_.get(); }
  // Tools > Chart Free Disk Space: shows the disk usage window when the pickers hold a period;
  // nothing before. The window is made on first use and kept, one for the viewer.
  void ChartFreeDiskSpace();
  // The disk usage window; null before the first ChartFreeDiskSpace.
  FrmDiskUsage* DiskUsageWindow() const { return disk_usage_.get(); }
  // Shows the disk graph window for a disk key (its GraphIt); nothing for an empty key. Made on
  // first use and kept like the size graph window.
  void DiskGraphIt(const std::string& key);
  // The disk graph window; null before the first DiskGraphIt.
  FrmDiskGraph* DiskGraphWindow() const { return disk_graph_.get(); }
  // The index of the more recent of the two picked periods (the smaller index); -1 when neither
  // picker has a pick.
  int NewerPickIndex() const;
  // The index of the older of the two picked periods (the larger index); -1 unless both pickers
  // have a pick.
  int OlderPickIndex() const;

  // Moves the splitter's left edge to `twips` when SplitterAccepts it; returns whether it moved.
  bool SetSplitterLeft(int twips);
  // The splitter's left edge in twips.
  int SplitterLeft() const;

  // The key whose children the list shows; empty before the first listing.
  const std::string& ListedKey() const { return listed_key_; }
  // The key of the tree item or list row clicked last; what Graph acts on.
  const std::string& CurrentKey() const { return current_key_; }
  // The date "When last looked" compares with, fixed at start-up.
  DateTime LastLookedDate() const { return last_looked_date_; }
  // The control that last received the focus among tree, list and pickers; the list at start.
  FocusedControl FocusControl() const { return focus_control_; }
  // The status bar's text.
  QString StatusText() const;
  // The list's sort column and order.
  ListSort ListSortState() const { return sort_; }

  // OptionsHost.
  void ReloadPeriods() override;
  void ShowNewDatabase() override;
  bool ListHasColumns() const override { return has_columns_; }
  void SetListSort(ListSort sort) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The menus with the popups, the toolbar with the pickers, and tree, splitter, list and
  // status bar.
  void BuildMenus();
  void BuildToolbar();
  void BuildBody();
  // A menu item with an object name, for the tests to find.
  QAction* AddAction(QMenu* menu, const char* object_name, const QString& caption);

  // dbloc.txt's first line into Options/dbFilename when the file names a database.
  void StoreDbLoc();
  // 590 x 380 pixels, centred across the screen, its top at a third of the free height.
  void PlaceAtStart();
  // The saved placement of frmMain; a saved maximized window keeps the normal geometry below.
  void RestorePlacement();
  // The state and normal geometry in twips, as the settings keep them.
  Placement CurrentPlacement() const;
  // The Options dialog at start-up, when there is no database to open: false when the user
  // chose to quit.
  bool AskForDatabase();

  // The client's periods in the pickers and, for the pick, the tree with the root listed; the
  // "nothing to view" message, pickers untouched, when the database holds no period.
  void ShowPeriods();
  // Empties pickers, tree, list and status and forgets the places shown, as before start-up.
  void ClearView();
  // Builds tree and list for the pickers' periods as start-up does: columns, the saved sort,
  // the tree, and the root listed.
  void ShowFirstPick();
  // The reaction to a new pick, also after the Options dialog refilled the pickers.
  void RebuildForPick();
  // Whether both pickers have a period.
  bool PeriodsPicked() const;
  // The tree of every parent of the two periods under the root "All".
  void TreeAllParents();
  // The list's four columns for the two periods, keeping the sort.
  void MakeLColumns();
  // The list of the children of `key`, sorted.
  void MakeL(const std::string& key);
  // Every column gets its share of the list's width.
  void SizeListColumns();
  // Sorts the list's rows by sort_.
  void SortList();

  // A click on a tree item: it becomes CurrentKey and, when new, the listed place.
  void NodeClick(QTreeWidgetItem* item);
  // A click on a list row: it becomes CurrentKey.
  void ListClick(QTreeWidgetItem* row);
  // A click on a column header sorts by it (SortAfterHeaderClick).
  void HeaderClick(int column);
  // The tree item of a key; null when there is none.
  QTreeWidgetItem* TreeItem(const std::string& key) const;
  // The list row of a key named `name`, else the first row of the key (names that differ only
  // in case share one); null when there is none.
  QTreeWidgetItem* ListRowItem(const std::string& key, const QString& name) const;
  // The keys of the selected tree item and list row; empty when nothing is selected.
  std::string SelectedTreeKey() const;
  std::string SelectedRowKey() const;
  // The stored paths, in stored case, of the selected tree item and list row, which Open and
  // Explore hand the shell: a key is lower-cased, and Linux tells Data from data. Empty when
  // nothing is selected.
  std::string SelectedTreePath() const;
  std::string SelectedRowPath() const;
  // Selects without the selection counting as the user's click.
  void SelectQuietly(QTreeWidget& view, QTreeWidgetItem* item);

  // The popups at a position of the control's viewport, "&View log file" only for a node.
  void ShowTreePopup(const QPoint& position);
  void ShowListPopup(const QPoint& position);
  // A shell action of the client on a key; nothing for an empty key.
  void ActOnKey(const std::string& key, void (Client::*action)(std::string_view));

  // The status bar's text, painted at once so that long loads show their progress.
  void SetStatus(const QString& text);
  // The key without the root's "r\".
  void ShowKeyInStatus(const std::string& key);
  // Runs a database step, showing a failure as "<description> in <operation>".
  void Guarded(const char* operation, const std::function<void()>& step);
  // What the analysis windows ask of this window.
  MainWindowLink Link();

  Client& client_;
  std::string program_folder_;
  OptionsDialogs dialogs_;
  std::optional<PrintServices> printing_;
  ImageList images_;

  QToolBar* tb_ = nullptr;
  QComboBox* p1_ = nullptr;
  QComboBox* p2_ = nullptr;
  QTreeWidget* t_ = nullptr;
  QSplitter* splitter_ = nullptr;
  QTreeWidget* l_ = nullptr;
  QLabel* status_ = nullptr;
  QMenu* popup_t_ = nullptr;
  QMenu* popup_l_ = nullptr;
  QAction* popup_t_log_ = nullptr;
  QAction* popup_l_log_ = nullptr;

  std::string listed_key_;
  std::string current_key_;
  DateTime last_looked_date_;
  FocusedControl focus_control_ = FocusedControl::kList;
  ListSort sort_;
  bool tree_ready_ = false;  // the tree was built once; clicks before are ignored
  bool has_columns_ = false;
  bool quiet_ = false;    // selections made by the window itself, not clicks
  bool started_ = false;  // the database was opened: shutdown has settings to save
  bool shut_down_ = false;
  int busy_depth_ = 0;
  std::unordered_map<std::string, QTreeWidgetItem*> tree_items_;  // by key
  // The colour dialog of the Options dialogs, or this window's own.
  std::unique_ptr<ColourDialog> own_colours_;
  std::unique_ptr<FrmGraph> graph_;
  std::unique_ptr<FrmDiskUsage> disk_usage_;
  std::unique_ptr<FrmDiskGraph> disk_graph_;
};

}  // namespace brontal
