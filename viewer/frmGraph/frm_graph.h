// frmGraph: the size graph window. The sizes of one place (a directory, a drive, a node or all
// servers) over a range of periods, as a list with the change from row to row and as a chart.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "viewer/graph_model.h"
#include "viewer/graph_window.h"

namespace brontal {

class FrmGraph : public GraphWindow {
  Q_OBJECT

 public:
  // The window with its controls, hidden until the first GraphIt (for "r", all servers, or any
  // place's key in any case). The client, the link's functions and the print services must
  // outlive the window. Without `printing`, Print is disabled.
  FrmGraph(Client& client, MainWindowLink main_window,
           std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmGraph() override;

  // The chart's title and what it shows.
  const graph::Chart& ChartData() const { return chart_data_; }
  const graph::ChartStyle& Style() const { return style_; }

 protected:
  // Toolbar states from the settings, and the chart style they give.
  void LoadToolbar() override;
  int SavedSplitterLeft(int inner_width) const override;
  void MakeL(const std::string& key, const std::string& period1_text,
             const std::string& period2_text) override;
  void ShowCaptionAndChart(const std::string& key) override;
  std::optional<std::string> SkipClauseOf(const std::string& text) const override;
  void HeaderClick(int column) override;
  std::vector<int> ColumnWidths(int list_width) const override;
  PrintableList PrintableRows() const override;
  void SaveSettings(std::optional<int> splitter_left) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  // The buttons' pressed states as buttons_ holds them.
  void ShowButtons();
  // A click on a two-state button: the model's new states, then the button's action.
  void ButtonClicked(const char* key);

  // The list's columns and the rows in their current order.
  void ShowRows();
  // The chart from the list as it now stands.
  void MakeG(const std::string& title);
  // Draws chart_data_ in style_.
  void Redraw();

  void SetChartType(graph::ChartType type);
  void ToggleGrid();
  void SetGraphColumn(graph::GraphColumn column);

  QAction* mnu_graph_grid_ = nullptr;
  QAction* mnu_popups_g_grid_ = nullptr;

  std::vector<graph::Row> rows_;
  graph::Sort sort_;
  graph::Buttons buttons_;
  graph::ChartStyle style_;
  graph::Chart chart_data_;
};

}  // namespace brontal
