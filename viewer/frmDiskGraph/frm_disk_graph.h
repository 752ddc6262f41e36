// frmDiskGraph: the disk graph window. One drive of one node over a range of periods: its size,
// the sum of its file lengths and its free space as a list, and as stacked areas whose top is the
// drive size.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "viewer/disk_model.h"
#include "viewer/graph_window.h"

namespace brontal {

class FrmDiskGraph : public GraphWindow {
  Q_OBJECT

 public:
  // The window with its controls, hidden until the first GraphIt. The client, the link's
  // functions and the print services must outlive the window. Without `printing`, Print is
  // disabled. The link's current_key gives the disk usage window's selected disk, and
  // find_in_tree (when set) selects it in the main window.
  FrmDiskGraph(Client& client, MainWindowLink main_window,
               std::optional<PrintServices> printing = std::nullopt, QWidget* parent = nullptr);
  ~FrmDiskGraph() override;

  // GraphIt(key) shows the window for a disk key (r\server1\c:, any case). Nothing for an empty
  // key. The first use after construction or closing loads the window behind the
  // "Loading <path>" overlay; another key, or a hidden window, redraws list and chart; the same
  // key on a visible window only brings it to the front.
  using GraphWindow::GraphIt;

  // The chart's title and areas as last drawn, the stacking order and whether the grid is on.
  const disks::AreaChart& ChartData() const { return chart_data_; }
  const disks::Stacking& AreaStacking() const { return stacking_; }
  bool GridChecked() const { return grid_; }

  // Spin Areas: every area one place up the stack, the top one to the bottom; chart redrawn.
  void SpinGraph();
  // Grid: the grid lines on or off, the button and both menu items showing it; chart redrawn.
  void ToggleGrid();

 protected:
  QString LoadingText(const std::string& key) const override;
  // The stacking and the grid from the settings.
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
  // Selects the disk usage window's selected disk in the main window's tree and shows it.
  void ChartDoubleClicked() override;

 private:
  void BuildMenus();
  void BuildToolbar();
  // The swatches and labels of the three areas below list and chart.
  void BuildLegend();
  void ShowGrid();
  void ShowRows();
  // The chart from the list as it now stands.
  void MakeG(const std::string& title);
  // Draws chart_data_: each area from the top of the one below it (the lowest from 0) to the
  // running sum, in the stack's order.
  void Redraw();

  QAction* grid_button_ = nullptr;
  QAction* mnu_graph_grid_ = nullptr;
  QAction* mnu_popups_g_grid_ = nullptr;
  // Owns the areas' line series, which the area series only point to; replaced after the old
  // areas are gone.
  std::unique_ptr<QObject> area_lines_;

  std::vector<disks::GraphRow> rows_;
  disks::GraphSort sort_;
  disks::Stacking stacking_;
  bool grid_ = false;
  disks::AreaChart chart_data_;
};

}  // namespace brontal
