// The analysis windows' shared frame. The windows add their own buttons, chart and reactions;
// everything here behaves alike in each of them.
#include "viewer/analysis_window.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QWindowStateChangeEvent>
#include <algorithm>
#include <utility>
#include <vector>

#include "viewer/frmMain/frm_main.h"
#include "viewer/frmPrint/frm_print.h"
#include "viewer/period_pickers.h"
#include "viewer/print_list.h"
#include "viewer/tree_list.h"
#include "viewer/window_geometry.h"

namespace brontal {
namespace {

// The splitter bar is 60 twips wide.
constexpr int kSplitterBarWidth = 60 / kTwipsPerPixel;
// Just over the 300 twips that SplitterAccepts keeps clear on either side of the bar.
constexpr int kSplitterMarginPixels = 300 / kTwipsPerPixel + 1;
constexpr int kPickerTwips = 1800;
constexpr int kSkipTwips = 1000;

}  // namespace

AnalysisWindow::AnalysisWindow(Client& client, MainWindowLink main_window, const char* window_name,
                               bool with_splitter, QWidget* parent)
    : QMainWindow(parent),
      client_(client),
      main_window_(std::move(main_window)),
      window_name_(window_name) {
  setObjectName(window_name);

  tb_ = addToolBar("Toolbar");
  tb_->setObjectName("tb");
  tb_->setMovable(false);
  tb_->setIconSize(QSize(16, 16));

  l_ = new QTreeWidget;
  l_->setObjectName("l");
  l_->setRootIsDecorated(false);
  l_->setItemsExpandable(false);
  l_->setUniformRowHeights(true);
  l_->setAllColumnsShowFocus(true);
  l_->setSelectionMode(QAbstractItemView::SingleSelection);
  l_->setContextMenuPolicy(Qt::CustomContextMenu);
  l_->header()->setSectionsClickable(true);
  l_->header()->setSortIndicatorShown(true);
  l_->header()->setStretchLastSection(false);
  l_->installEventFilter(this);

  if (with_splitter) {
    splitter_ = new QSplitter(Qt::Horizontal);
    splitter_->setObjectName("picResizer");
    splitter_->setHandleWidth(kSplitterBarWidth);
    splitter_->setChildrenCollapsible(false);
    l_->setMinimumWidth(kSplitterMarginPixels);
    splitter_->addWidget(l_);
    splitter_->setStretchFactor(0, 0);
    setCentralWidget(splitter_);
  } else {
    setCentralWidget(l_);
  }

  // The overlay is a child of the window, not of the layout, so that it can cover everything.
  auto* startup = new QWidget(this);
  startup->setObjectName("picStartup");
  startup->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(startup);
  lbl_loading_ = new QLabel("Loading...", startup);
  lbl_loading_->setObjectName("lblLoading");
  lbl_loading_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  layout->addWidget(lbl_loading_);
  startup->hide();
}

AnalysisWindow::~AnalysisWindow() = default;

QAction* AnalysisWindow::AddButton(const char* key, const QString& text, const QString& tip) {
  QAction* action = tb_->addAction(text);
  action->setObjectName(key);
  action->setToolTip(tip);
  return action;
}

QAction* AnalysisWindow::AddCheckButton(const char* key, const QString& text, const QString& tip,
                                        QActionGroup* group) {
  QAction* action = AddButton(key, text, tip);
  action->setCheckable(true);
  if (group != nullptr) group->addAction(action);
  return action;
}

QComboBox* AnalysisWindow::AddPicker(const char* name, const char* tip, int width_twips) {
  auto* box = new QComboBox(tb_);
  box->setObjectName(name);
  box->setToolTip(tip);
  box->setMinimumWidth(width_twips / kTwipsPerPixel);
  box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  box->installEventFilter(this);
  tb_->addWidget(box)->setObjectName(QString(name) + "Placeholder");
  return box;
}

void AnalysisWindow::AddPeriodPickers(std::function<void()> on_pick) {
  p1_ = AddPicker("p1", "Period 1", kPickerTwips);
  p2_ = AddPicker("p2", "Period 2", kPickerTwips);
  auto picked = [this, on_pick = std::move(on_pick)] {
    if (!LoadingPeriods(*p1_) && !LoadingPeriods(*p2_)) on_pick();
  };
  connect(p1_, &QComboBox::currentIndexChanged, this, picked);
  connect(p2_, &QComboBox::currentIndexChanged, this, picked);
}

void AnalysisWindow::AddSkipBox(std::function<void()> on_skip) {
  cmb_skip_ = AddPicker("cmbSkip", "Skip", kSkipTwips);
  cmb_skip_->addItems({kSkipAll, kSkipWeekly, kSkipMonthly});
  connect(cmb_skip_, &QComboBox::currentIndexChanged, this, std::move(on_skip));
}

void AnalysisWindow::SetChart(QWidget* chart) {
  if (splitter_ == nullptr) return;
  chart_ = chart;
  chart->setMinimumWidth(kSplitterMarginPixels);
  splitter_->addWidget(chart);
  splitter_->setStretchFactor(1, 1);
  chart->installEventFilter(this);
}

void AnalysisWindow::FillPickers(SecondPick second) {
  const int newer = main_window_.newer_pick_index();
  const int last = client_.PeriodCount() - 1;
  int older = last;
  if (second == SecondPick::kOlderPick && main_window_.older_pick_index) {
    if (const int pick = main_window_.older_pick_index(); pick >= 0) older = std::min(pick, last);
  }
  FillPeriods(*p1_, *p2_, client_.PeriodDates(), client_.services().locale, std::max(newer, 0),
              older);
}

void AnalysisWindow::SetLegend(QWidget* legend) {
  // The list (or splitter) keeps its place above; takeCentralWidget keeps it alive.
  QWidget* body = takeCentralWidget();
  auto* frame = new QWidget;
  auto* layout = new QVBoxLayout(frame);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(30 / kTwipsPerPixel);
  layout->addWidget(body, 1);
  layout->addWidget(legend, 0);
  setCentralWidget(frame);
}

void AnalysisWindow::SetListPopup(QMenu* popup) {
  list_popup_ = popup;
  l_->viewport()->installEventFilter(this);
  connect(l_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { list_popup_->popup(l_->viewport()->mapToGlobal(at)); });
}

// ---- Overlay ----

void AnalysisWindow::ShowStartupPic() {
  QWidget* startup = lbl_loading_->parentWidget();
  QSize size = this->size();
  if (QScreen* screen = this->screen()) size = size.expandedTo(screen->size());
  startup->setGeometry(0, 0, size.width(), size.height());
  startup->raise();
  startup->show();
  show();
  lbl_loading_->repaint();
}

void AnalysisWindow::HideStartupPic() { lbl_loading_->parentWidget()->hide(); }

void AnalysisWindow::SetLoadingText(const QString& text) { lbl_loading_->setText(text); }

bool AnalysisWindow::StartupPicVisible() const {
  return lbl_loading_->parentWidget()->isVisibleTo(this);
}

// ---- Placement and splitter ----

void AnalysisWindow::PlaceAtStart(int width, int height, int top) {
  const QSize screen = ScreenSize({width, height});
  PlaceAt(QRect((screen.width() - width) * 4 / 5, top, width, height));
}

void AnalysisWindow::PlaceCentredAtStart(int width, int height) {
  const QSize screen = ScreenSize({width, height});
  PlaceAt(QRect((screen.width() - width) / 2, (screen.height() - height) / 5, width, height));
}

QSize AnalysisWindow::ScreenSize(QSize fallback) const {
  QScreen* screen = this->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  return screen == nullptr ? fallback : screen->geometry().size();
}

void AnalysisWindow::PlaceAt(const QRect& start) {
  resize(start.size());
  move(start.topLeft());

  Placement current;
  current.left = x() * kTwipsPerPixel;
  current.top = y() * kTwipsPerPixel;
  current.width = start.width() * kTwipsPerPixel;
  current.height = start.height() * kTwipsPerPixel;
  const Placement saved = ReadPlacement(client_.services().settings, window_name_, current);
  // A size of nothing would leave a window that cannot be seen or grabbed.
  if (saved.width > 0 && saved.height > 0) {
    setGeometry(saved.left / kTwipsPerPixel, saved.top / kTwipsPerPixel,
                saved.width / kTwipsPerPixel, saved.height / kTwipsPerPixel);
  }
  if (saved.state == 2) setWindowState(windowState() | Qt::WindowMaximized);
}

void AnalysisWindow::RestoreSplitter(int twips) {
  if (!SetSplitterLeft(twips)) SetSplitterLeft(SplitterInnerWidth() / 2);
}

int AnalysisWindow::SplitterInnerWidth() const {
  return splitter_ == nullptr ? 0 : splitter_->width() * kTwipsPerPixel;
}

void AnalysisWindow::SaveWindowPlacement() {
  SavePlacement(client_.services().settings, window_name_, PlacementOf(*this));
}

bool AnalysisWindow::SetSplitterLeft(int twips) {
  return splitter_ != nullptr && MoveSplitterLeft(*splitter_, twips);
}

int AnalysisWindow::SplitterLeft() const {
  return splitter_ == nullptr ? 0 : SplitterLeftOf(*splitter_);
}

// ---- Print ----

std::optional<int> AnalysisWindow::AskWhatToPrint(PrintServices& printing,
                                                  std::initializer_list<int> disabled,
                                                  std::optional<int> chosen) {
  PrintState& state = printing.state;
  {
    FrmPrint dialog(state, printing.printer.DeviceName(), this);
    for (int what : disabled) dialog.DisableWhat(what);
    if (chosen) dialog.SelectWhat(*chosen);
    dialog.exec();
  }
  if (state.print_cancelled) return std::nullopt;
  return state.print_what;
}

void AnalysisWindow::PrintListAndView(PrintServices& printing, const PrintableList& list,
                                      std::string_view title, bool with_icons) {
  PrintState& state = printing.state;
  const ClientServices& services = client_.services();
  const bool to_html = state.print_to == kPrintToHtml;
  const ReportOutcome outcome =
      PrintList(list, title, to_html, with_icons,
                {services.clock, services.locale, services.message_box, state, printing.progress,
                 &printing.printer, &printing.save_dialog});
  // A page cancelled half-way, or broken off, is not what the user asked to see.
  if (to_html && outcome == ReportOutcome::kWritten && state.view_in_browser &&
      !state.last_html_file.empty()) {
    services.shell.Open(state.last_html_file);
  }
}

// ---- Focus and copy ----

bool AnalysisWindow::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (watched == l_) focus_control_ = FocusTarget::kList;
    if (watched == chart_) focus_control_ = FocusTarget::kChart;
    if (watched == p1_) focus_control_ = FocusTarget::kPeriod1;
    if (watched == p2_) focus_control_ = FocusTarget::kPeriod2;
    if (watched == cmb_skip_) focus_control_ = FocusTarget::kSkip;
  }
  if (list_popup_ != nullptr && watched == l_->viewport()) {
    // The mouse's context menu request comes with the press; the release opens the popup.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Mouse) {
      return true;
    }
    if (PopupOnRightRelease(event, *list_popup_)) return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

bool AnalysisWindow::PopupOnRightRelease(QEvent* event, QMenu& popup) {
  if (event->type() != QEvent::MouseButtonRelease) return false;
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::RightButton) return false;
  popup.popup(mouse->globalPosition().toPoint());
  return true;
}

void AnalysisWindow::changeEvent(QEvent* event) {
  // A minimized window that is activated comes back at its normal size.
  if (event->type() == QEvent::ActivationChange && isActiveWindow() && isMinimized()) {
    showNormal();
  }
  QMainWindow::changeEvent(event);
}

void AnalysisWindow::FocusOn(FocusTarget target) {
  QWidget* control = nullptr;
  switch (target) {
    case FocusTarget::kList:
      control = l_;
      break;
    case FocusTarget::kChart:
      control = chart_;
      break;
    case FocusTarget::kPeriod1:
      control = p1_;
      break;
    case FocusTarget::kPeriod2:
      control = p2_;
      break;
    case FocusTarget::kSkip:
      control = cmb_skip_;
      break;
  }
  if (control == nullptr) return;
  focus_control_ = target;
  control->setFocus();
}

void AnalysisWindow::CopyFocusedControl() {
  switch (focus_control_) {
    case FocusTarget::kList: {
      std::vector<int> shown;
      std::vector<std::string> captions;
      for (int column = 0; column < l_->columnCount(); ++column) {
        // The hidden sort columns are no part of what the user sees.
        if (l_->isColumnHidden(column)) continue;
        shown.push_back(column);
        captions.push_back(l_->headerItem()->text(column).toStdString());
      }
      std::vector<std::vector<std::string>> rows;
      for (int i = 0; i < l_->topLevelItemCount(); ++i) {
        std::vector<std::string> cells;
        for (int column : shown) cells.push_back(l_->topLevelItem(i)->text(column).toStdString());
        rows.push_back(std::move(cells));
      }
      client_.CopyText(ListCopyText(captions, rows));
      return;
    }
    case FocusTarget::kChart:
      client_.CopyPicture(ChartPicture());
      return;
    case FocusTarget::kPeriod1:
      client_.CopyText(p1_ ? p1_->currentText().toStdString() : std::string());
      return;
    case FocusTarget::kPeriod2:
      client_.CopyText(p2_ ? p2_->currentText().toStdString() : std::string());
      return;
    case FocusTarget::kSkip:
      client_.CopyText(cmb_skip_ ? cmb_skip_->currentText().toStdString() : std::string());
      return;
  }
}

Picture PictureOfWidget(QWidget& widget) { return PictureOfImage(widget.grab().toImage()); }

Picture PictureOfImage(const QImage& source) {
  const QImage image = source.convertToFormat(QImage::Format_ARGB32);
  Picture picture;
  if (image.isNull()) return picture;
  picture.width = image.width();
  picture.height = image.height();
  picture.pixels.reserve(static_cast<std::size_t>(picture.width) * picture.height);
  for (int y = 0; y < image.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    picture.pixels.insert(picture.pixels.end(), line, line + image.width());
  }
  return picture;
}

}  // namespace brontal
