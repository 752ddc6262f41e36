// frmDiskUsage: the disk usage window. Every recorded disk of every node compared between two
// periods, one row per disk with the change in used space, its fullness, free space and size,
// and a small pie of used, free, recently used and recently freed space as the row's icon.
#pragma once

#include <QImage>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/colour_dialog.h"
#include "viewer/analysis_window.h"
#include "viewer/disk_model.h"
#include "viewer/frmMain/frm_main.h"

class QLabel;
class QMenu;

namespace brontal {

class FrmDiskUsage : public AnalysisWindow {
  Q_OBJECT

 public:
  // What the window asks another window to do with a disk key (r\server1\c:).
  using KeyAction = std::function<void(const std::string& key)>;

  // The window with its controls, hidden until the first ShowWindow. The client, the link's
  // functions, the colour dialog, the two actions and the print services must outlive the
  // window. size_graph and disk_graph open the size graph and the disk graph of a key. Without
  // `printing`, Print is disabled.
  FrmDiskUsage(Client& client, MainWindowLink main_window, ColourDialog& colours,
               KeyAction size_graph, KeyAction disk_graph,
               std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmDiskUsage() override;

  // Shows the window. The first show after construction or closing loads it behind the
  // "Loading..." overlay: placement, pickers on the main window's two picks, colours, list and
  // pies. A show while it is loaded only brings it to the front.
  void ShowWindow();
  // A new pick in p1 or p2, or a new colour: the list and every pie rebuilt; nothing before the
  // window is loaded or while a picker is empty.
  void CheckPeriods();
  // Asks the colour dialog for slot's colour (0 to 4), starting from the one in use; a cancel
  // changes nothing, a colour is saved as "Colour<slot>" and every pie is drawn in it.
  void ChangeColour(int slot);
  // File > Print...: the print dialog (Tree and Graph disabled), then the list titled "All Disks"
  // with each row's pie through PrintList; anything else "What print what?". A page written
  // whole opens in the browser when the dialog asked for it.
  void Print();
  // Selects the selected disk in the main window's tree and brings the main window forward;
  // nothing without a selected row.
  void DrillDown();

  // The key of the selected row; empty when no row is selected.
  std::string SelectedKey() const;
  // Whether the window is loaded (shown once and not closed since).
  bool IsLoaded() const { return loaded_; }
  // The rows in the list's order.
  const std::vector<disks::UsageRow>& Rows() const { return rows_; }
  // The colours the pies and the swatches are drawn in.
  const disks::Colours& PieColours() const { return colours_; }
  // The pie of a row's key as drawn; empty when the key has none.
  Picture PieOf(const std::string& key) const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildLegend();
  void Load();

  // The list's columns, sized as at the first layout.
  void MakeLColumns();
  // Rows, pies and list from the database for the pickers' periods.
  void MakeL();
  // The list's items for rows_, the previously selected key selected again (else the first row).
  void ShowRows();
  // Column widths from the list's width; first_layout for freshly built columns.
  void SizeColumns(bool first_layout);
  void HeaderClick(int column);
  // A pie for every row, in the colours in use.
  void DrawPies();
  QImage DrawPie(const disks::Pie& pie) const;
  // The swatches in the colours in use.
  void ShowSwatches();

  // The selected row's stored path, for the shell; empty when none is selected.
  std::string SelectedPath() const;
  // Runs `action` with the selected key, when the list has rows.
  void ActOnSelected(const KeyAction& action);

  ColourDialog& colour_dialog_;
  KeyAction size_graph_;
  KeyAction disk_graph_;
  std::optional<PrintServices> printing_;
  QMenu* popup_l_ = nullptr;
  std::array<QLabel*, 5> swatches_{};

  bool loaded_ = false;
  std::vector<disks::UsageRow> rows_;
  disks::UsageSort sort_;
  disks::Colours colours_ = disks::kDefaultColours;
  // Each row's pie by its key: as the list shows it, and as Print takes it.
  std::map<std::string, QImage, std::less<>> pie_images_;
  std::map<std::string, Picture, std::less<>> pies_;
};

}  // namespace brontal
