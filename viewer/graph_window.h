// What the two graph windows (the size graph and the disk graph) share on top of the analysis
// frame: opening by key behind the overlay, the period and skip reactions, the list of period rows
// and its column widths, the chart view with its mouse reactions and axes, Print, and closing.
#pragma once

#include <QString>
#include <array>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "viewer/analysis_window.h"
#include "viewer/frmMain/frm_main.h"
#include "viewer/print_list.h"
#include "viewer/tree_list.h"

class QCategoryAxis;
class QChart;
class QChartView;
class QMenu;
class QValueAxis;

namespace brontal {

class GraphWindow : public AnalysisWindow {
  Q_OBJECT

 public:
  ~GraphWindow() override;

  // Shows the window for `key`. Nothing for an empty key. The first use after construction or
  // closing loads the window behind the overlay (labelled LoadingText(key)); another key, or a
  // hidden window, redraws list and chart; the same key on a visible window only brings it to
  // the front. A database error is shown as "<description> in MakeL", and leaves list and chart
  // as they were.
  void GraphIt(const std::string& key);
  // A new pick in p1 or p2: list and chart redrawn for GraphKey, database errors unreported;
  // nothing while GraphKey is empty.
  void CheckPeriods();
  // File > Print...: the print dialog (Tree disabled, Graph chosen), then the list titled with
  // the chart's title through PrintList, or the chart through PrintGraph; anything else "What
  // print what?". A page written whole opens in the browser when the dialog asked for it.
  void Print();

  // The key now shown; empty before the first GraphIt and after closing.
  const std::string& GraphKey() const { return graph_key_; }
  // The chart as it is drawn, for tests.
  QChart* ChartWidget() const;

 protected:
  // The menus File (Print, Close) and Edit (Copy), the empty popups "L" and "G", the toolbar's
  // "Print", pickers and "Copy", and the chart "g" right of the splitter. `start_top` is the
  // window's top at its first load, in pixels. Without `printing`, Print is disabled.
  GraphWindow(Client& client, MainWindowLink main_window, const char* window_name, int start_top,
              std::optional<PrintServices> printing, QWidget* parent);

  // ---- What each window does its own way ----
  // The overlay's label while `key` is loaded.
  virtual QString LoadingText(const std::string& key) const;
  // The window's own state from the settings (toolbar, chart style), with the rows forgotten.
  virtual void LoadToolbar() = 0;
  // The saved splitter position for a splitter `inner_width` twips wide.
  virtual int SavedSplitterLeft(int inner_width) const = 0;
  // The rows of `key` between the pickers' texts (period1_text the end), sorted by date and
  // shown. Throws the database's errors, with list and rows as they were.
  virtual void MakeL(const std::string& key, const std::string& period1_text,
                     const std::string& period2_text) = 0;
  // The caption and the chart for `key`, from the rows as listed.
  virtual void ShowCaptionAndChart(const std::string& key) = 0;
  // The thinning clause of a skip box text; nullopt for a text the window does not know.
  virtual std::optional<std::string> SkipClauseOf(const std::string& text) const = 0;
  // A click on the header of `column` (0-based): the rows sorted anew.
  virtual void HeaderClick(int column) = 0;
  // The column widths in twips, the hidden sort column last, for a list `list_width` wide.
  virtual std::vector<int> ColumnWidths(int list_width) const = 0;
  // The list as PrintList takes it.
  virtual PrintableList PrintableRows() const = 0;
  // Saves the window's own settings at closing; splitter_left is nullopt when minimized.
  virtual void SaveSettings(std::optional<int> splitter_left) = 0;
  // A double click on the chart.
  virtual void ChartDoubleClicked();

  // ---- Helpers for the windows ----
  // The skip box, last on the toolbar, thinning by SkipClauseOf.
  void AddGraphSkipBox();
  // A menu item named `name` that runs `action`.
  QAction* AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                       std::function<void()> action);

  // One list row as ShowList takes it.
  struct ListRow {
    const std::string* key;
    std::span<const std::string> cells;
  };
  // The list with the captions of `columns`, the rows' cells (the number columns right-aligned,
  // without the blanks that pad them for sorting), the last column hidden, and the sort
  // indicator on `sort_column`.
  void ShowList(std::span<const ListColumn> columns, const std::vector<ListRow>& rows,
                std::span<const int> number_columns, int sort_column, SortOrder order);
  template <typename Row, std::size_t N>
  void ShowRows(const std::array<ListColumn, N>& columns, const std::vector<Row>& rows,
                std::span<const int> number_columns, int sort_column, SortOrder order) {
    std::vector<ListRow> shown;
    shown.reserve(rows.size());
    for (const Row& row : rows) shown.push_back({&row.key, row.cells});
    ShowList(columns, shown, number_columns, sort_column, order);
  }
  void SizeColumns();

  // Empties the chart and gives it `title` in 120 % of the window's font.
  QChart* ResetChart(const std::string& title);
  // The axes of a chart of `labels.size()` points: the labels of every step-th point at the
  // bottom (each text once), whole megabytes from low to high at the left.
  std::pair<QCategoryAxis*, QValueAxis*> AddAxes(const std::vector<std::string>& labels, int step,
                                                 double low, double high);

  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  Picture ChartPicture() override;

  std::optional<PrintServices> printing_;
  QChartView* g_ = nullptr;
  QMenu* popup_l_ = nullptr;
  QMenu* popup_g_ = nullptr;

  bool loaded_ = false;
  std::string graph_key_;
  std::string skip_clause_;

 private:
  void Load();
  void SkipChosen();
  // Rows, caption and chart for `key`; with report_errors a database error is shown as
  // "<description> in MakeL", else ignored. Either way list and chart keep what they showed.
  void MakeGL(const std::string& key, bool report_errors);

  const int start_top_;
};

}  // namespace brontal
