// The disk graph window. Rows, areas, sorting, the stacking order and the caption come from
// disk_model.h; this file shows them as a list and stacked areas and passes the user's requests
// on.
#include "viewer/frmDiskGraph/frm_disk_graph.h"

#include <QAction>
#include <QAreaSeries>
#include <QCategoryAxis>
#include <QChart>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <QValueAxis>
#include <algorithm>

namespace brontal {
namespace {

// The window's top at start, in pixels.
constexpr int kStartTop = 40;
// The side of a legend swatch, in pixels.
constexpr int kSwatchSize = 12;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

FrmDiskGraph::FrmDiskGraph(Client& client, MainWindowLink main_window,
                           std::optional<PrintServices> printing, QWidget* parent)
    : GraphWindow(client, std::move(main_window), disks::kGraphSection.data(), kStartTop,
                  std::move(printing), parent) {
  BuildMenus();
  BuildToolbar();
  BuildLegend();
}

FrmDiskGraph::~FrmDiskGraph() {
  // The areas go before the line series they point to.
  ChartWidget()->removeAllSeries();
}

void FrmDiskGraph::BuildMenus() {
  QMenu* graph = menuBar()->addMenu("&Graph");
  mnu_graph_grid_ = AddMenuItem(graph, "mnuGraphGrid", "&Grid", [this] { ToggleGrid(); });
  mnu_graph_grid_->setCheckable(true);
  AddMenuItem(graph, "mnuGraphSpinAreas", "&Spin Areas", [this] { SpinGraph(); });

  AddMenuItem(popup_l_, "mnuPopupsLcopyList", "&Copy List", [this] { CopyFocusedControl(); });
  AddMenuItem(popup_g_, "mnuPopulsGcopy", "&Copy", [this] { CopyFocusedControl(); });
  mnu_popups_g_grid_ = AddMenuItem(popup_g_, "mnuPopupsGgrid", "&Grid", [this] { ToggleGrid(); });
  mnu_popups_g_grid_->setCheckable(true);
  AddMenuItem(popup_g_, "mnuPopupsGspinAreas", "&Spin Areas", [this] { SpinGraph(); });
}

void FrmDiskGraph::BuildToolbar() {
  grid_button_ = AddCheckButton("Grid", "Grid", "Show Grid");
  connect(grid_button_, &QAction::triggered, this, &FrmDiskGraph::ToggleGrid);
  connect(AddButton("Spin Areas", "Spin", "Spin Areas"), &QAction::triggered, this,
          &FrmDiskGraph::SpinGraph);
  AddGraphSkipBox();
}

void FrmDiskGraph::BuildLegend() {
  auto* legend = new QWidget;
  legend->setObjectName("picLegend");
  auto* layout = new QHBoxLayout(legend);
  layout->setContentsMargins(0, 0, 0, 0);
  for (int area = 0; area < static_cast<int>(disks::kAreaLabels.size()); ++area) {
    auto* swatch = new QLabel;
    swatch->setObjectName(QString("picC%1").arg(area));
    swatch->setFixedSize(kSwatchSize, kSwatchSize);
    swatch->setStyleSheet(QString("background-color: %1; border: 1px solid black;")
                              .arg(QColor::fromRgb(disks::kAreaColours[area]).name()));
    auto* label = new QLabel(FromUtf8(disks::kAreaLabels[area]));
    label->setObjectName(QString("lblC%1").arg(area));
    layout->addWidget(swatch);
    layout->addWidget(label);
    layout->addSpacing(2 * kSwatchSize);
  }
  layout->addStretch(1);
  SetLegend(legend);
}

QString FrmDiskGraph::LoadingText(const std::string& key) const {
  return "Loading " + FromUtf8(disks::GraphTitle(key));
}

// ---- Settings ----

void FrmDiskGraph::LoadToolbar() {
  rows_.clear();
  stacking_ = disks::LoadStacking(client_.services().settings);
  grid_ = disks::LoadGrid(client_.services().settings);
  ShowGrid();
  Redraw();
}

int FrmDiskGraph::SavedSplitterLeft(int inner_width) const {
  return disks::LoadSplitterLeft(client_.services().settings, inner_width);
}

void FrmDiskGraph::SaveSettings(std::optional<int> splitter_left) {
  disks::SaveGraphSettings(client_.services().settings, stacking_, grid_, splitter_left);
}

void FrmDiskGraph::ShowGrid() {
  for (QAction* check : {grid_button_, mnu_graph_grid_, mnu_popups_g_grid_})
    check->setChecked(grid_);
}

void FrmDiskGraph::ToggleGrid() {
  grid_ = !grid_;
  ShowGrid();
  Redraw();
}

void FrmDiskGraph::SpinGraph() {
  stacking_ = disks::Spin(stacking_);
  MakeG(chart_data_.title);
}

void FrmDiskGraph::ChartDoubleClicked() {
  if (main_window_.find_in_tree) main_window_.find_in_tree(main_window_.current_key());
  main_window_.show();
}

// ---- List and chart ----

std::optional<std::string> FrmDiskGraph::SkipClauseOf(const std::string& text) const {
  return disks::GraphSkipClause(text, client_.services().settings);
}

void FrmDiskGraph::MakeL(const std::string& key, const std::string& period1_text,
                         const std::string& period2_text) {
  rows_ = disks::MakeGraphL(client_.database(), key, period1_text, period2_text, skip_clause_,
                            client_.services().locale);
  sort_ = disks::GraphSort{};
  disks::SortGraphRows(rows_, sort_);
  ShowRows();
}

void FrmDiskGraph::ShowCaptionAndChart(const std::string& key) {
  setWindowTitle(FromUtf8(disks::GraphCaption(key)));
  MakeG(disks::GraphTitle(key));
}

void FrmDiskGraph::ShowRows() {
  static constexpr int kNumberColumns[] = {disks::kDiskSizeColumn, disks::kDirSizeColumn,
                                           disks::kDiskFreeColumn};
  GraphWindow::ShowRows(disks::GraphColumns(), rows_, kNumberColumns, sort_.column, sort_.order);
}

std::vector<int> FrmDiskGraph::ColumnWidths(int list_width) const {
  const std::array<int, 5> widths = disks::GraphColumnWidths(list_width);
  return {widths.begin(), widths.end()};
}

void FrmDiskGraph::HeaderClick(int column) {
  sort_ =
      disks::GraphSortAfterHeaderClick(sort_, column, l_->headerItem()->text(column).toStdString());
  disks::SortGraphRows(rows_, sort_);
  ShowRows();
}

PrintableList FrmDiskGraph::PrintableRows() const { return disks::PrintableGraphList(rows_); }

void FrmDiskGraph::MakeG(const std::string& title) {
  chart_data_ = disks::MakeDiskG(rows_, title, stacking_, client_.services().locale);
  Redraw();
}

void FrmDiskGraph::Redraw() {
  QChart* chart = ResetChart(chart_data_.title);
  const std::vector<disks::AreaPoint>& points = chart_data_.points;
  std::vector<std::string> labels;
  double high = 0;
  for (const disks::AreaPoint& point : points) {
    labels.push_back(point.label);
    if (!point.values) continue;
    const auto& values = *point.values;
    high = std::max(high, values[0] + values[1] + values[2]);
  }
  auto [x_axis, y_axis] = AddAxes(labels, chart_data_.label_step, 0, high);
  x_axis->setGridLineVisible(grid_);
  y_axis->setGridLineVisible(grid_);

  auto lines = std::make_unique<QObject>();
  // The running sum of the areas drawn so far, per point; filler points get no line points.
  std::vector<double> top(points.size(), 0);
  QLineSeries* lower = nullptr;
  for (disks::Area area : chart_data_.stack) {
    auto* upper = new QLineSeries(lines.get());
    for (std::size_t i = 0; i < points.size(); ++i) {
      if (!points[i].values) continue;
      top[i] += (*points[i].values)[area];
      upper->append(static_cast<double>(i), top[i]);
    }
    auto* series = new QAreaSeries(upper, lower);
    series->setName(FromUtf8(disks::kAreaLabels[area]));
    const QColor colour = QColor::fromRgb(disks::kAreaColours[area]);
    series->setColor(colour);
    series->setBorderColor(colour);
    chart->addSeries(series);
    series->attachAxis(x_axis);
    series->attachAxis(y_axis);
    lower = upper;
  }
  // The old areas went with ResetChart, so their lines may go now.
  area_lines_ = std::move(lines);
}

}  // namespace brontal
