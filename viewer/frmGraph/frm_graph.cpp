// The size graph window. Rows, chart values, sorting, button states and caption come from
// graph_model.h; this file only shows them and passes the user's requests on.
#include "viewer/frmGraph/frm_graph.h"

#include <QAction>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QValueAxis>
#include <algorithm>
#include <tuple>

namespace brontal {
namespace {

// The window's top at start, in pixels.
constexpr int kStartTop = 60;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

FrmGraph::FrmGraph(Client& client, MainWindowLink main_window,
                   std::optional<PrintServices> printing, QWidget* parent)
    : GraphWindow(client, std::move(main_window), graph::kSection.data(), kStartTop,
                  std::move(printing), parent) {
  BuildMenus();
  BuildToolbar();
}

FrmGraph::~FrmGraph() = default;

void FrmGraph::BuildMenus() {
  QMenu* graph = menuBar()->addMenu("&Graph");
  AddMenuItem(graph, "mnuGraphBar", "&Bar", [this] { SetChartType(graph::ChartType::kBar); });
  AddMenuItem(graph, "mnuGraphLine", "&Line", [this] { SetChartType(graph::ChartType::kLine); });
  mnu_graph_grid_ = AddMenuItem(graph, "mnuGraphGrid", "&Grid", [this] { ToggleGrid(); });
  mnu_graph_grid_->setCheckable(true);
  AddMenuItem(graph, "mnuGraphSize", "&Size",
              [this] { SetGraphColumn(graph::GraphColumn::kSize); });
  AddMenuItem(graph, "mnuGraphChange", "&Change",
              [this] { SetGraphColumn(graph::GraphColumn::kChange); });

  AddMenuItem(popup_l_, "mnuPopupsLCopyList", "&Copy list", [this] { CopyFocusedControl(); });
  AddMenuItem(popup_g_, "mnuPopupsGCopy", "&Copy", [this] { CopyFocusedControl(); });
  AddMenuItem(popup_g_, "mnuPopupsGbar", "&Bar Graph",
              [this] { SetChartType(graph::ChartType::kBar); });
  AddMenuItem(popup_g_, "mnuPopupsGline", "&Line Graph",
              [this] { SetChartType(graph::ChartType::kLine); });
  mnu_popups_g_grid_ = AddMenuItem(popup_g_, "mnuPopupsGgrid", "&Grid", [this] { ToggleGrid(); });
  mnu_popups_g_grid_->setCheckable(true);
  AddMenuItem(popup_g_, "mnuPopupsGsize", "&Size",
              [this] { SetGraphColumn(graph::GraphColumn::kSize); });
  AddMenuItem(popup_g_, "mnuPopupsGChange", "&Change",
              [this] { SetGraphColumn(graph::GraphColumn::kChange); });
}

void FrmGraph::BuildToolbar() {
  for (auto [key, text, tip] :
       {std::tuple{"lingraph", "Line", "Line graph"}, std::tuple{"bargraph", "Bar", "Bar graph"},
        std::tuple{"Grid", "Grid", "Toggle Grid"},
        std::tuple{"sigma", "\u03a3", "Total directory size"},
        std::tuple{"delta", "\u0394", "Change in directory size"}}) {
    connect(AddCheckButton(key, QString::fromUtf8(text), tip), &QAction::triggered, this,
            [this, key] { ButtonClicked(key); });
  }
  AddGraphSkipBox();
}

// ---- Settings ----

void FrmGraph::LoadToolbar() {
  rows_.clear();
  buttons_ = graph::LoadButtons(client_.services().settings);
  ShowButtons();
  style_ = graph::StyleOfButtons(buttons_);
  mnu_graph_grid_->setChecked(style_.grid_checked);
  mnu_popups_g_grid_->setChecked(style_.grid_checked);
  Redraw();
}

int FrmGraph::SavedSplitterLeft(int inner_width) const {
  return graph::LoadSplitterLeft(client_.services().settings, inner_width);
}

void FrmGraph::SaveSettings(std::optional<int> splitter_left) {
  graph::SaveGraphSettings(client_.services().settings, buttons_, splitter_left);
}

void FrmGraph::ShowButtons() {
  auto set = [this](const char* key, bool pressed) {
    if (QAction* action = tb_->findChild<QAction*>(key)) action->setChecked(pressed);
  };
  set("bargraph", buttons_.bar_graph);
  set("lingraph", buttons_.line_graph);
  set("sigma", buttons_.sigma);
  set("delta", buttons_.delta);
  set("Grid", buttons_.grid);
}

void FrmGraph::ButtonClicked(const char* key) {
  buttons_ = graph::ButtonsAfterClick(buttons_, key);
  // A pressed group button that is clicked again stays pressed, as the model says.
  ShowButtons();
  const std::string_view clicked = key;
  if (clicked == "lingraph") SetChartType(graph::ChartType::kLine);
  if (clicked == "bargraph") SetChartType(graph::ChartType::kBar);
  if (clicked == "Grid") ToggleGrid();
  if (clicked == "sigma") SetGraphColumn(graph::GraphColumn::kSize);
  if (clicked == "delta") SetGraphColumn(graph::GraphColumn::kChange);
}

// ---- List and chart ----

std::optional<std::string> FrmGraph::SkipClauseOf(const std::string& text) const {
  return graph::SkipClause(text, client_.services().settings);
}

void FrmGraph::MakeL(const std::string& key, const std::string& period1_text,
                     const std::string& period2_text) {
  rows_ = graph::MakeL(client_.database(), key, period1_text, period2_text, skip_clause_,
                       client_.services().locale);
  sort_ = graph::Sort{};
  graph::SortRows(rows_, sort_);
  ShowRows();
}

void FrmGraph::ShowCaptionAndChart(const std::string& key) {
  setWindowTitle(FromUtf8(graph::Caption(key)));
  MakeG(graph::Title(key));
}

void FrmGraph::ShowRows() {
  static constexpr int kNumberColumns[] = {graph::kSizeColumn, graph::kChangeColumn};
  GraphWindow::ShowRows(graph::Columns(), rows_, kNumberColumns, sort_.column, sort_.order);
}

std::vector<int> FrmGraph::ColumnWidths(int list_width) const {
  const std::array<int, 4> widths = graph::ColumnWidths(list_width);
  return {widths.begin(), widths.end()};
}

void FrmGraph::HeaderClick(int column) {
  sort_ = graph::SortAfterHeaderClick(sort_, column, l_->headerItem()->text(column).toStdString());
  graph::SortRows(rows_, sort_);
  ShowRows();
}

PrintableList FrmGraph::PrintableRows() const { return graph::PrintableGraphList(rows_); }

void FrmGraph::MakeG(const std::string& title) {
  chart_data_ = graph::MakeG(rows_, style_.column, title, client_.services().locale);
  Redraw();
}

void FrmGraph::Redraw() {
  QChart* chart = ResetChart(chart_data_.title);
  const auto& points = chart_data_.points;
  std::vector<std::string> labels;
  double low = 0;
  double high = 0;
  for (const graph::ChartPoint& point : points) {
    labels.push_back(point.label);
    if (!point.value) continue;
    low = std::min(low, *point.value);
    high = std::max(high, *point.value);
  }
  auto [x_axis, y_axis] = AddAxes(labels, chart_data_.label_step, low, high);

  QAbstractSeries* series = nullptr;
  if (style_.type == graph::ChartType::kBar) {
    auto* set = new QBarSet(FromUtf8(chart_data_.title));
    for (const graph::ChartPoint& point : points) set->append(point.value.value_or(0));
    auto* bars = new QBarSeries;
    bars->append(set);
    series = bars;
  } else {
    auto* line = new QLineSeries;
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (points[i].value) line->append(static_cast<double>(i), *points[i].value);
    }
    series = line;
  }
  chart->addSeries(series);
  series->attachAxis(x_axis);
  series->attachAxis(y_axis);

  const graph::GridLines grid = graph::GridLinesOf(style_);
  y_axis->setGridLineVisible(grid != graph::GridLines::kNone);
  x_axis->setGridLineVisible(grid == graph::GridLines::kBoth);
}

void FrmGraph::SetChartType(graph::ChartType type) {
  style_.type = type;
  Redraw();
}

void FrmGraph::ToggleGrid() {
  style_.grid_checked = !style_.grid_checked;
  mnu_graph_grid_->setChecked(style_.grid_checked);
  mnu_popups_g_grid_->setChecked(style_.grid_checked);
  Redraw();
}

void FrmGraph::SetGraphColumn(graph::GraphColumn column) {
  style_.column = column;
  MakeG(chart_data_.title);
}

}  // namespace brontal
