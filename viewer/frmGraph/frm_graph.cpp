// The size graph window. Rows, chart values, sorting, button states and caption come from
// graph_model.h; this file only shows them and passes the user's requests on.
#include "viewer/frmGraph/frm_graph.h"

#include <QAction>
#include <QApplication>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QHeaderView>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QValueAxis>
#include <algorithm>
#include <exception>
#include <set>

#include "report/print_page.h"
#include "viewer/frmPrint/frm_print.h"
#include "viewer/print_list.h"

namespace brontal {
namespace {

// The window's size and top at start, in pixels.
constexpr int kStartWidth = 580;
constexpr int kStartHeight = 330;
constexpr int kStartTop = 60;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// A number cell without the blanks that right-justify it for sorting; the column aligns it.
QString CellText(const std::string& cell) {
  return FromUtf8(cell.substr(std::min(cell.find_first_not_of(' '), cell.size())));
}

// The busy pointer for the length of a scope.
class BusyScope {
 public:
  explicit BusyScope(BusyPointer& pointer) : pointer_(pointer) { pointer_.Show(); }
  ~BusyScope() { pointer_.Restore(); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  BusyPointer& pointer_;
};

}  // namespace

FrmGraph::FrmGraph(Client& client, MainWindowLink main_window,
                   std::optional<PrintServices> printing, QWidget* parent)
    : AnalysisWindow(client, std::move(main_window), graph::kSection.data(), true, parent),
      printing_(std::move(printing)) {
  BuildMenus();
  BuildToolbar();
  BuildChart();
  connect(l_->header(), &QHeaderView::sectionClicked, this, &FrmGraph::HeaderClick);
  connect(l_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { popup_l_->popup(l_->viewport()->mapToGlobal(at)); });
}

FrmGraph::~FrmGraph() = default;

void FrmGraph::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const QString& caption, auto action) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, action);
    return item;
  };
  QMenu* file = menuBar()->addMenu("&File");
  add(file, "mnuFilePrint", "&Print...", [this] { Print(); })->setEnabled(printing_.has_value());
  add(file, "mnuFileClose", "&Close", [this] { close(); });

  QMenu* edit = menuBar()->addMenu("&Edit");
  add(edit, "mnuEditCopy", "&Copy", [this] { CopyFocusedControl(); });

  QMenu* graph = menuBar()->addMenu("&Graph");
  add(graph, "mnuGraphBar", "&Bar", [this] { SetChartType(graph::ChartType::kBar); });
  add(graph, "mnuGraphLine", "&Line", [this] { SetChartType(graph::ChartType::kLine); });
  mnu_graph_grid_ = add(graph, "mnuGraphGrid", "&Grid", [this] { ToggleGrid(); });
  mnu_graph_grid_->setCheckable(true);
  add(graph, "mnuGraphSize", "&Size", [this] { SetGraphColumn(graph::GraphColumn::kSize); });
  add(graph, "mnuGraphChange", "&Change", [this] { SetGraphColumn(graph::GraphColumn::kChange); });

  // The popups are menus of their own, never on the menu bar.
  auto* popups = new QMenu("&Popups", this);
  popups->setObjectName("mnuPopups");
  popup_l_ = popups->addMenu("L");
  popup_l_->setObjectName("mnuPopupsL");
  add(popup_l_, "mnuPopupsLCopyList", "&Copy list", [this] { CopyFocusedControl(); });
  popup_g_ = popups->addMenu("G");
  popup_g_->setObjectName("mnuPopupsG");
  add(popup_g_, "mnuPopupsGCopy", "&Copy", [this] { CopyFocusedControl(); });
  add(popup_g_, "mnuPopupsGbar", "&Bar Graph", [this] { SetChartType(graph::ChartType::kBar); });
  add(popup_g_, "mnuPopupsGline", "&Line Graph", [this] { SetChartType(graph::ChartType::kLine); });
  mnu_popups_g_grid_ = add(popup_g_, "mnuPopupsGgrid", "&Grid", [this] { ToggleGrid(); });
  mnu_popups_g_grid_->setCheckable(true);
  add(popup_g_, "mnuPopupsGsize", "&Size", [this] { SetGraphColumn(graph::GraphColumn::kSize); });
  add(popup_g_, "mnuPopupsGChange", "&Change",
      [this] { SetGraphColumn(graph::GraphColumn::kChange); });
}

void FrmGraph::BuildToolbar() {
  QAction* print = AddButton("Print", "Print", "Print");
  print->setEnabled(printing_.has_value());
  connect(print, &QAction::triggered, this, &FrmGraph::Print);
  AddPeriodPickers([this] { CheckPeriods(); });
  connect(AddButton("Copy", "Copy", "Copy"), &QAction::triggered, this,
          &FrmGraph::CopyFocusedControl);
  for (auto [key, text, tip] :
       {std::tuple{"lingraph", "Line", "Line graph"}, std::tuple{"bargraph", "Bar", "Bar graph"},
        std::tuple{"Grid", "Grid", "Toggle Grid"},
        std::tuple{"sigma", "\u03a3", "Total directory size"},
        std::tuple{"delta", "\u0394", "Change in directory size"}}) {
    connect(AddCheckButton(key, QString::fromUtf8(text), tip), &QAction::triggered, this,
            [this, key] { ButtonClicked(key); });
  }
  AddSkipBox([this] { SkipChosen(); });
}

void FrmGraph::BuildChart() {
  g_ = new QChartView;
  g_->setObjectName("g");
  g_->setFocusPolicy(Qt::StrongFocus);
  g_->setRenderHint(QPainter::Antialiasing);
  g_->chart()->legend()->hide();
  g_->viewport()->installEventFilter(this);
  SetChart(g_);
}

QChart* FrmGraph::ChartWidget() const { return g_->chart(); }

// ---- Opening and closing ----

void FrmGraph::GraphIt(const std::string& key) {
  if (key.empty()) return;
  if (!loaded_) Load();
  if (key == graph_key_ && isVisible()) {
    showNormal();
    raise();
    activateWindow();
    HideStartupPic();
    return;
  }
  {
    BusyScope busy(client_.services().pointer);
    if (!StartupPicVisible()) ShowStartupPic();
    show();
    graph_key_ = key;
    MakeGL(key, true);
  }
  QCoreApplication::processEvents();
  SizeColumns();
  HideStartupPic();
  raise();
  activateWindow();
}

void FrmGraph::Load() {
  PlaceAtStart(kStartWidth, kStartHeight, kStartTop);
  ShowStartupPic();
  FocusOn(FocusTarget::kChart);
  BusyScope busy(client_.services().pointer);
  skip_clause_.clear();
  graph_key_.clear();
  rows_.clear();
  RestoreSplitter(graph::LoadSplitterLeft(client_.services().settings, SplitterInnerWidth()));
  LoadToolbar();
  // The overlay is up, so this choice is the window's own and draws nothing.
  cmb_skip_->setCurrentIndex(0);
  FillPickers();
  loaded_ = true;
}

void FrmGraph::LoadToolbar() {
  buttons_ = graph::LoadButtons(client_.services().settings);
  ShowButtons();
  style_ = graph::StyleOfButtons(buttons_);
  mnu_graph_grid_->setChecked(style_.grid_checked);
  mnu_popups_g_grid_->setChecked(style_.grid_checked);
  Redraw();
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

void FrmGraph::closeEvent(QCloseEvent* event) {
  if (loaded_) {
    SaveWindowPlacement();
    std::optional<int> splitter;
    if (!isMinimized()) splitter = SplitterLeft();
    graph::SaveGraphSettings(client_.services().settings, buttons_, splitter);
  }
  loaded_ = false;
  graph_key_.clear();
  HideStartupPic();
  event->accept();
}

// ---- List and chart ----

void FrmGraph::CheckPeriods() {
  if (graph_key_.empty() || !loaded_) return;
  BusyScope busy(client_.services().pointer);
  MakeGL(graph_key_, false);
}

void FrmGraph::SkipChosen() {
  if (StartupPicVisible() || !loaded_) return;
  const std::string text = cmb_skip_->currentText().toStdString();
  std::optional<std::string> clause = graph::SkipClause(text, client_.services().settings);
  if (!clause) {
    client_.services().message_box.Show(graph::kUnknownSkipMessage, "");
    clause = "";
  }
  skip_clause_ = *clause;
  if (graph_key_.empty()) return;
  BusyScope busy(client_.services().pointer);
  MakeGL(graph_key_, true);
}

void FrmGraph::MakeGL(const std::string& key, bool report_errors) {
  std::vector<graph::Row> rows;
  try {
    rows = graph::MakeL(client_.database(), key, p1_->currentText().toStdString(),
                        p2_->currentText().toStdString(), skip_clause_, client_.services().locale);
  } catch (const std::exception& error) {
    if (report_errors) {
      client_.services().message_box.Show(std::string(error.what()) + " in MakeL", kViewerTitle);
    }
    return;
  }
  rows_ = std::move(rows);
  sort_ = graph::Sort{};
  graph::SortRows(rows_, sort_);
  ShowRows();
  setWindowTitle(FromUtf8(graph::Caption(key)));
  MakeG(graph::Title(key));
}

void FrmGraph::ShowRows() {
  l_->clear();
  QStringList captions;
  for (const ListColumn& column : graph::Columns()) captions << FromUtf8(column.caption);
  l_->setColumnCount(static_cast<int>(captions.size()));
  l_->setHeaderLabels(captions);
  for (int column : {graph::kSizeColumn, graph::kChangeColumn}) {
    l_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  }
  l_->setColumnHidden(graph::kSortDateColumn, true);
  QList<QTreeWidgetItem*> items;
  for (const graph::Row& row : rows_) {
    auto* item = new QTreeWidgetItem;
    item->setText(graph::kPeriodColumn, FromUtf8(row.cells[graph::kPeriodColumn]));
    for (int column : {graph::kSizeColumn, graph::kChangeColumn}) {
      item->setText(column, CellText(row.cells[column]));
      item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setText(graph::kSortDateColumn, FromUtf8(row.cells[graph::kSortDateColumn]));
    item->setData(0, Qt::UserRole, FromUtf8(row.key));
    items.append(item);
  }
  l_->addTopLevelItems(items);
  l_->header()->setSortIndicator(sort_.column, sort_.order == SortOrder::kDescending
                                                   ? Qt::DescendingOrder
                                                   : Qt::AscendingOrder);
  SizeColumns();
}

void FrmGraph::SizeColumns() {
  if (isMinimized() || l_->columnCount() < 4) return;
  const std::array<int, 4> widths = graph::ColumnWidths(l_->width() * kTwipsPerPixel);
  const int least = l_->header()->minimumSectionSize();
  for (int column = 0; column < graph::kSortDateColumn; ++column) {
    // A window narrower than the fixed allowance would give the columns no width at all.
    l_->setColumnWidth(column, std::max(widths[column] / kTwipsPerPixel, least));
  }
}

void FrmGraph::HeaderClick(int column) {
  if (l_->columnCount() < 4) return;
  sort_ = graph::SortAfterHeaderClick(sort_, column, l_->headerItem()->text(column).toStdString());
  graph::SortRows(rows_, sort_);
  ShowRows();
}

void FrmGraph::MakeG(const std::string& title) {
  chart_data_ = graph::MakeG(rows_, style_.column, title, client_.services().locale);
  Redraw();
}

void FrmGraph::Redraw() {
  QChart* chart = g_->chart();
  chart->removeAllSeries();
  for (QAbstractAxis* axis : chart->axes()) {
    chart->removeAxis(axis);
    delete axis;
  }
  // 120 % of the window's normal font, however often the chart is redrawn; a font given in
  // pixels has no point size.
  QFont font = this->font();
  if (font.pointSizeF() > 0) {
    font.setPointSizeF(font.pointSizeF() * 1.2);
  } else if (font.pixelSize() > 0) {
    font.setPixelSize(font.pixelSize() * 6 / 5);
  }
  chart->setTitleFont(font);
  chart->setTitle(FromUtf8(chart_data_.title));

  const auto& points = chart_data_.points;
  auto* x_axis = new QCategoryAxis;
  x_axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  x_axis->setRange(-0.5, std::max<double>(0.5, static_cast<double>(points.size()) - 0.5));
  std::set<QString> labelled;
  const int step = std::max(1, chart_data_.label_step);
  for (std::size_t i = 0; i < points.size(); i += static_cast<std::size_t>(step)) {
    const QString label = FromUtf8(points[i].label);
    // The axis takes each label once; two periods of one day share theirs.
    if (label.isEmpty() || !labelled.insert(label).second) continue;
    x_axis->append(label, static_cast<double>(i));
  }
  auto* y_axis = new QValueAxis;
  double low = 0;
  double high = 0;
  for (const graph::ChartPoint& point : points) {
    if (!point.value) continue;
    low = std::min(low, *point.value);
    high = std::max(high, *point.value);
  }
  if (low == high) high = low + 1;
  y_axis->setRange(low, high);
  y_axis->applyNiceNumbers();
  // Whole megabytes, as the list shows them; the axis's own default adds a decimal.
  y_axis->setLabelFormat("%.0f");
  chart->addAxis(x_axis, Qt::AlignBottom);
  chart->addAxis(y_axis, Qt::AlignLeft);

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

Picture FrmGraph::ChartPicture() { return PictureOfWidget(*g_); }

// ---- Mouse and print ----

bool FrmGraph::eventFilter(QObject* watched, QEvent* event) {
  if (g_ != nullptr && watched == g_->viewport()) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      main_window_.show();
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
      auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouse->button() == Qt::RightButton) {
        popup_g_->popup(mouse->globalPosition().toPoint());
        return true;
      }
    }
  } else if (watched == l_ && event->type() == QEvent::Resize) {
    SizeColumns();
  }
  return AnalysisWindow::eventFilter(watched, event);
}

void FrmGraph::Print() {
  if (!printing_) return;
  PrintServices& printing = *printing_;
  PrintState& state = printing.state;
  const ClientServices& services = client_.services();
  {
    FrmPrint dialog(state, printing.printer.DeviceName(), this);
    dialog.DisableWhat(kPrintTree);
    dialog.SelectWhat(kPrintGraph);
    dialog.exec();
  }
  if (state.print_cancelled) return;
  if (state.print_what == kPrintGraph) {
    PrintGraph(printing.printer, ChartPicture(), services.message_box);
    return;
  }
  if (state.print_what != kPrintList) {
    services.message_box.Show("What print what?", kViewerTitle);
    return;
  }
  const bool to_html = state.print_to == kPrintToHtml;
  const ReportOutcome outcome =
      PrintList(graph::PrintableGraphList(rows_), chart_data_.title, to_html, false,
                {services.clock, services.locale, services.message_box, state, printing.progress,
                 &printing.printer, &printing.save_dialog});
  // A page cancelled half-way, or broken off, is not what the user asked to see.
  if (to_html && outcome == ReportOutcome::kWritten && state.view_in_browser &&
      !state.last_html_file.empty()) {
    services.shell.Open(state.last_html_file);
  }
}

}  // namespace brontal
