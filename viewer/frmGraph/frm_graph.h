// frmGraph: the size graph window. The sizes of one place (a directory, a drive, a node or all
// servers) over a range of periods, as a list with the change from row to row and as a chart.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer/analysis_window.h"
#include "viewer/frmMain/frm_main.h"
#include "viewer/graph_model.h"

class QChart;
class QChartView;
class QMenu;

namespace brontal {

class FrmGraph : public AnalysisWindow {
  Q_OBJECT

 public:
  // The window with its controls, hidden until the first GraphIt. The client, the link's
  // functions and the print services must outlive the window. Without `printing`, Print is
  // disabled.
  FrmGraph(Client& client, MainWindowLink main_window,
           std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmGraph() override;

  // Shows the window for `key` (any case; "r" for all servers). Nothing for an empty key. The
  // first use after construction or closing loads the window behind the "Loading..." overlay;
  // another key, or a hidden window, redraws list and chart; the same key on a visible window
  // only brings it to the front. A database error is shown as "<description> in MakeL", and
  // leaves list and chart as they were.
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
  // The chart's title and what it shows.
  const graph::Chart& ChartData() const { return chart_data_; }
  const graph::ChartStyle& Style() const { return style_; }
  // The chart as it is drawn, for tests.
  QChart* ChartWidget() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  Picture ChartPicture() override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildChart();
  // The window's state from the settings and the client's periods, behind the overlay.
  void Load();
  // Toolbar states from the settings, and the chart style they give.
  void LoadToolbar();
  // The buttons' pressed states as buttons_ holds them.
  void ShowButtons();
  // A click on a two-state button: the model's new states, then the button's action.
  void ButtonClicked(const char* key);

  // Columns, rows, caption and chart for `key`; with report_errors a database error is shown,
  // else ignored. Either way list and chart keep what they showed.
  void MakeGL(const std::string& key, bool report_errors);
  // The list's columns and the rows in their current order.
  void ShowRows();
  void SizeColumns();
  void HeaderClick(int column);
  // The chart from the list as it now stands.
  void MakeG(const std::string& title);
  // Draws chart_data_ in style_.
  void Redraw();
  void SkipChosen();

  void SetChartType(graph::ChartType type);
  void ToggleGrid();
  void SetGraphColumn(graph::GraphColumn column);

  std::optional<PrintServices> printing_;
  QChartView* g_ = nullptr;
  QMenu* popup_l_ = nullptr;
  QMenu* popup_g_ = nullptr;
  QAction* mnu_graph_grid_ = nullptr;
  QAction* mnu_popups_g_grid_ = nullptr;

  bool loaded_ = false;
  std::string graph_key_;
  std::string skip_clause_;
  std::vector<graph::Row> rows_;
  graph::Sort sort_;
  graph::Buttons buttons_;
  graph::ChartStyle style_;
  graph::Chart chart_data_;
};

}  // namespace brontal
