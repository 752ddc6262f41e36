// The graph windows' shared behaviour. Each window supplies its query, its rows and its chart;
// opening, the pickers, the skip box, the list's layout, the chart's frame, Print and closing
// behave alike in both.
#include "viewer/graph_window.h"

#include <QAction>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QValueAxis>
#include <algorithm>
#include <exception>
#include <set>

#include "report/print_page.h"
#include "viewer/graph_model.h"

namespace brontal {
namespace {

// The window's size at start, in pixels.
constexpr int kStartWidth = 580;
constexpr int kStartHeight = 330;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// A number cell without the blanks that right-justify it for sorting; the column aligns it.
QString CellText(const std::string& cell) {
  return FromUtf8(cell.substr(std::min(cell.find_first_not_of(' '), cell.size())));
}

}  // namespace

GraphWindow::GraphWindow(Client& client, MainWindowLink main_window, const char* window_name,
                         int start_top, std::optional<PrintServices> printing, QWidget* parent)
    : AnalysisWindow(client, std::move(main_window), window_name, true, parent),
      printing_(std::move(printing)),
      start_top_(start_top) {
  QMenu* file = menuBar()->addMenu("&File");
  AddMenuItem(file, "mnuFilePrint", "&Print...", [this] {
    Print();
  })->setEnabled(printing_.has_value());
  AddMenuItem(file, "mnuFileClose", "&Close", [this] { close(); });
  QMenu* edit = menuBar()->addMenu("&Edit");
  AddMenuItem(edit, "mnuEditCopy", "&Copy", [this] { CopyFocusedControl(); });

  // The popups are menus of their own, never on the menu bar.
  auto* popups = new QMenu("&Popups", this);
  popups->setObjectName("mnuPopups");
  popup_l_ = popups->addMenu("L");
  popup_l_->setObjectName("mnuPopupsL");
  popup_g_ = popups->addMenu("G");
  popup_g_->setObjectName("mnuPopupsG");

  QAction* print = AddButton("Print", "Print", "Print");
  print->setEnabled(printing_.has_value());
  connect(print, &QAction::triggered, this, &GraphWindow::Print);
  AddPeriodPickers([this] { CheckPeriods(); });
  connect(AddButton("Copy", "Copy", "Copy"), &QAction::triggered, this,
          &GraphWindow::CopyFocusedControl);

  g_ = new QChartView;
  g_->setObjectName("g");
  g_->setFocusPolicy(Qt::StrongFocus);
  g_->setRenderHint(QPainter::Antialiasing);
  g_->chart()->legend()->hide();
  g_->viewport()->installEventFilter(this);
  SetChart(g_);

  connect(l_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
    if (l_->columnCount() > 0) HeaderClick(column);
  });
  SetListPopup(popup_l_);
}

GraphWindow::~GraphWindow() = default;

void GraphWindow::AddGraphSkipBox() {
  AddSkipBox([this] { SkipChosen(); });
}

QAction* GraphWindow::AddMenuItem(QMenu* menu, const char* name, const QString& caption,
                                  std::function<void()> action) {
  QAction* item = menu->addAction(caption);
  item->setObjectName(name);
  connect(item, &QAction::triggered, this, std::move(action));
  return item;
}

QChart* GraphWindow::ChartWidget() const { return g_->chart(); }

QString GraphWindow::LoadingText(const std::string&) const { return "Loading..."; }

void GraphWindow::ChartDoubleClicked() { main_window_.show(); }

// ---- Opening and closing ----

void GraphWindow::GraphIt(const std::string& key) {
  if (key.empty()) return;
  SetLoadingText(LoadingText(key));
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

void GraphWindow::Load() {
  PlaceAtStart(kStartWidth, kStartHeight, start_top_);
  ShowStartupPic();
  FocusOn(FocusTarget::kChart);
  BusyScope busy(client_.services().pointer);
  skip_clause_.clear();
  graph_key_.clear();
  RestoreSplitter(SavedSplitterLeft(SplitterInnerWidth()));
  LoadToolbar();
  // The overlay is up, so this choice is the window's own and draws nothing.
  cmb_skip_->setCurrentIndex(0);
  FillPickers();
  loaded_ = true;
}

void GraphWindow::closeEvent(QCloseEvent* event) {
  if (loaded_) {
    SaveWindowPlacement();
    std::optional<int> splitter;
    if (!isMinimized()) splitter = SplitterLeft();
    SaveSettings(splitter);
  }
  loaded_ = false;
  graph_key_.clear();
  HideStartupPic();
  event->accept();
}

// ---- List ----

void GraphWindow::CheckPeriods() {
  if (graph_key_.empty() || !loaded_) return;
  BusyScope busy(client_.services().pointer);
  MakeGL(graph_key_, false);
}

void GraphWindow::SkipChosen() {
  if (StartupPicVisible() || !loaded_) return;
  std::optional<std::string> clause = SkipClauseOf(cmb_skip_->currentText().toStdString());
  if (!clause) {
    client_.services().message_box.Show(graph::kUnknownSkipMessage, "");
    clause = "";
  }
  skip_clause_ = *clause;
  if (graph_key_.empty()) return;
  BusyScope busy(client_.services().pointer);
  MakeGL(graph_key_, true);
}

void GraphWindow::MakeGL(const std::string& key, bool report_errors) {
  try {
    MakeL(key, p1_->currentText().toStdString(), p2_->currentText().toStdString());
  } catch (const std::exception& error) {
    if (report_errors) {
      client_.services().message_box.Show(std::string(error.what()) + " in MakeL", kViewerTitle);
    }
    return;
  }
  ShowCaptionAndChart(key);
}

void GraphWindow::ShowList(std::span<const ListColumn> columns, const std::vector<ListRow>& rows,
                           std::span<const int> number_columns, int sort_column, SortOrder order) {
  l_->clear();
  QStringList captions;
  for (const ListColumn& column : columns) captions << FromUtf8(column.caption);
  l_->setColumnCount(static_cast<int>(captions.size()));
  l_->setHeaderLabels(captions);
  for (int column : number_columns) {
    l_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  }
  const int hidden = static_cast<int>(columns.size()) - 1;
  l_->setColumnHidden(hidden, true);
  QList<QTreeWidgetItem*> items;
  for (const ListRow& row : rows) {
    auto* item = new QTreeWidgetItem;
    for (int column = 0; column < static_cast<int>(row.cells.size()); ++column) {
      item->setText(column, FromUtf8(row.cells[column]));
    }
    for (int column : number_columns) {
      item->setText(column, CellText(row.cells[column]));
      item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setData(0, Qt::UserRole, FromUtf8(*row.key));
    items.append(item);
  }
  l_->addTopLevelItems(items);
  l_->header()->setSortIndicator(
      sort_column, order == SortOrder::kDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  SizeColumns();
}

void GraphWindow::SizeColumns() {
  if (isMinimized() || l_->columnCount() == 0) return;
  const std::vector<int> widths = ColumnWidths(l_->width() * kTwipsPerPixel);
  const int least = l_->header()->minimumSectionSize();
  // The last width is the hidden sort column's.
  const int shown = std::min(static_cast<int>(widths.size()), l_->columnCount()) - 1;
  for (int column = 0; column < shown; ++column) {
    // A window narrower than the fixed allowance would give the columns no width at all.
    l_->setColumnWidth(column, std::max(widths[column] / kTwipsPerPixel, least));
  }
}

// ---- Chart ----

QChart* GraphWindow::ResetChart(const std::string& title) {
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
  chart->setTitle(FromUtf8(title));
  return chart;
}

std::pair<QCategoryAxis*, QValueAxis*> GraphWindow::AddAxes(const std::vector<std::string>& labels,
                                                            int step, double low, double high) {
  auto* x_axis = new QCategoryAxis;
  x_axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
  x_axis->setRange(-0.5, std::max<double>(0.5, static_cast<double>(labels.size()) - 0.5));
  std::set<QString> labelled;
  step = std::max(1, step);
  for (std::size_t i = 0; i < labels.size(); i += static_cast<std::size_t>(step)) {
    const QString label = FromUtf8(labels[i]);
    // The axis takes each label once; two periods of one day share theirs.
    if (label.isEmpty() || !labelled.insert(label).second) continue;
    x_axis->append(label, static_cast<double>(i));
  }
  auto* y_axis = new QValueAxis;
  if (low == high) high = low + 1;
  y_axis->setRange(low, high);
  y_axis->applyNiceNumbers();
  // Whole megabytes, as the list shows them; the axis's own default adds a decimal.
  y_axis->setLabelFormat("%.0f");
  g_->chart()->addAxis(x_axis, Qt::AlignBottom);
  g_->chart()->addAxis(y_axis, Qt::AlignLeft);
  return {x_axis, y_axis};
}

Picture GraphWindow::ChartPicture() { return PictureOfWidget(*g_); }

// ---- Mouse and print ----

bool GraphWindow::eventFilter(QObject* watched, QEvent* event) {
  if (g_ != nullptr && watched == g_->viewport()) {
    if (event->type() == QEvent::MouseButtonDblClick) {
      ChartDoubleClicked();
      return true;
    }
    if (PopupOnRightRelease(event, *popup_g_)) return true;
  } else if (watched == l_ && event->type() == QEvent::Resize) {
    SizeColumns();
  }
  return AnalysisWindow::eventFilter(watched, event);
}

void GraphWindow::Print() {
  if (!printing_) return;
  const std::optional<int> what = AskWhatToPrint(*printing_, {kPrintTree}, kPrintGraph);
  if (!what) return;
  if (*what == kPrintGraph) {
    PrintGraph(printing_->printer, ChartPicture(), client_.services().message_box);
  } else if (*what == kPrintList) {
    PrintListAndView(*printing_, PrintableRows(), g_->chart()->title().toStdString(), false);
  } else {
    client_.services().message_box.Show("What print what?", kViewerTitle);
  }
}

}  // namespace brontal
