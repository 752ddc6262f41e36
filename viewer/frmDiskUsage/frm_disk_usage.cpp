// The disk usage window. Rows, cells, sorting, pie angles and colours come from disk_model.h;
// this file draws the pies, shows the rows and passes the user's requests on.
#include "viewer/frmDiskUsage/frm_disk_usage.h"

#include <QAction>
#include <QCloseEvent>
#include <QColor>
#include <QComboBox>
#include <QCoreApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QTreeWidget>
#include <algorithm>
#include <exception>
#include <utility>

#include "report/print_state.h"

namespace brontal {
namespace {

// The window's size at start, in pixels.
constexpr int kStartWidth = 500;
constexpr int kStartHeight = 370;
// The pies are drawn at 32 pixels and shown a little smaller, which keeps the rows compact and
// the slices legible.
constexpr int kIconPixels = 24;
constexpr int kSwatchPixels = 16;
// The item data role that holds a row's stored path, for the shell.
constexpr int kPathRole = Qt::UserRole + 1;

QString FromUtf8(const std::string& text) { return QString::fromStdString(text); }

// A colour as the settings keep it, 0x00BBGGRR.
QColor ColourOf(std::uint32_t colour) {
  return QColor(static_cast<int>(colour & 0xff), static_cast<int>((colour >> 8) & 0xff),
                static_cast<int>((colour >> 16) & 0xff));
}

// The painter's angles are sixteenths of a degree, counterclockwise from 3 o'clock as the
// model's radians are; a full turn of the model's pi is a full turn here.
int Sixteenths(double radians) { return qRound(radians * 180.0 / disks::kPi * 16.0); }

}  // namespace

FrmDiskUsage::FrmDiskUsage(Client& client, MainWindowLink main_window, ColourDialog& colours,
                           KeyAction size_graph, KeyAction disk_graph,
                           std::optional<PrintServices> printing, QWidget* parent)
    : AnalysisWindow(client, std::move(main_window), disks::kUsageSection.data(), false, parent),
      colour_dialog_(colours),
      size_graph_(std::move(size_graph)),
      disk_graph_(std::move(disk_graph)),
      printing_(std::move(printing)) {
  setWindowTitle("Disk Usage");
  BuildMenus();
  BuildToolbar();
  BuildLegend();
  l_->setIconSize(QSize(kIconPixels, kIconPixels));
  connect(l_->header(), &QHeaderView::sectionClicked, this, &FrmDiskUsage::HeaderClick);
  connect(l_, &QTreeWidget::itemDoubleClicked, this, &FrmDiskUsage::DrillDown);
  SetListPopup(popup_l_);
}

FrmDiskUsage::~FrmDiskUsage() = default;

void FrmDiskUsage::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const QString& caption, auto action) {
    QAction* item = menu->addAction(caption);
    item->setObjectName(name);
    connect(item, &QAction::triggered, this, action);
    return item;
  };
  auto size_graph = [this] { ActOnSelected(size_graph_); };
  auto disk_graph = [this] { ActOnSelected(disk_graph_); };
  auto open = [this] {
    if (const std::string path = SelectedPath(); !path.empty()) client_.OpenKey(path);
  };
  auto explore = [this] {
    if (const std::string path = SelectedPath(); !path.empty()) client_.ExploreKey(path);
  };

  QMenu* file = menuBar()->addMenu("&File");
  add(file, "mnuFilePrint", "&Print...", [this] { Print(); })->setEnabled(printing_.has_value());
  add(file, "mnuFileClose", "&Close", [this] { close(); });

  QMenu* edit = menuBar()->addMenu("&Edit");
  add(edit, "mnuEditCopy", "&Copy", [this] { CopyFocusedControl(); });

  QMenu* tools = menuBar()->addMenu("&Tools");
  add(tools, "mnuToolsGraph", "&Graph", size_graph);
  add(tools, "mnuToolsDiskGraph", "Dis&k Graph", disk_graph);

  // The popup is a menu of its own, never on the menu bar.
  auto* popups = new QMenu("&Popups", this);
  popups->setObjectName("mnuPopups");
  popup_l_ = popups->addMenu("&L");
  popup_l_->setObjectName("mnuPopupsL");
  popup_l_->setDefaultAction(
      add(popup_l_, "mnuPopupsLDrillDown", "&Drill down", [this] { DrillDown(); }));
  add(popup_l_, "mnuPopupsLGraph", "&Graph", size_graph);
  add(popup_l_, "mnuPopupsLDiskGraph", "Dis&k Graph", disk_graph);
  add(popup_l_, "mnuPopupsLCopy", "&Copy", [this] { CopyFocusedControl(); });
  add(popup_l_, "mnuPopupsLOpen", "&Open", open);
  add(popup_l_, "mnuPopupsLExplore", "&Explore", explore);
}

void FrmDiskUsage::BuildToolbar() {
  QAction* print = AddButton("Print", "Print", "Print");
  print->setEnabled(printing_.has_value());
  connect(print, &QAction::triggered, this, &FrmDiskUsage::Print);
  AddPeriodPickers([this] { CheckPeriods(); });
  connect(AddButton("Copy", "Copy", "Copy"), &QAction::triggered, this,
          &FrmDiskUsage::CopyFocusedControl);
  connect(AddButton("Graph", "Graph", "Graph"), &QAction::triggered, this,
          [this] { ActOnSelected(size_graph_); });
  connect(AddButton("Disk Area Graph", "Disk Graph", "Disk Area Graph"), &QAction::triggered, this,
          [this] { ActOnSelected(disk_graph_); });
}

void FrmDiskUsage::BuildLegend() {
  auto* legend = new QWidget;
  legend->setObjectName("picLegend");
  auto* layout = new QHBoxLayout(legend);
  for (int slot = 0; slot < static_cast<int>(swatches_.size()); ++slot) {
    auto* swatch = new QLabel;
    swatch->setObjectName(QString("picC%1").arg(slot));
    swatch->setFixedSize(kSwatchPixels, kSwatchPixels);
    swatch->setFrameShape(QFrame::Box);
    swatch->setAutoFillBackground(true);
    swatch->setToolTip("Double click to change the colour");
    swatch->installEventFilter(this);
    swatches_[slot] = swatch;
    auto* label = new QLabel(FromUtf8(std::string(disks::kColourLabels[slot])));
    label->setObjectName(QString("lblC%1").arg(slot));
    layout->addWidget(swatch);
    layout->addWidget(label);
  }
  layout->addStretch(1);
  SetLegend(legend);
  ShowSwatches();
}

// ---- Showing and closing ----

void FrmDiskUsage::ShowWindow() {
  if (loaded_) {
    showNormal();
    raise();
    activateWindow();
    return;
  }
  Load();
}

void FrmDiskUsage::Load() {
  PlaceCentredAtStart(kStartWidth, kStartHeight);
  ShowStartupPic();
  FocusOn(FocusTarget::kList);
  {
    BusyScope busy(client_.services().pointer);
    // The pickers' own selections draw nothing: FillPickers keeps them from CheckPeriods.
    FillPickers(SecondPick::kOlderPick);
    colours_ = disks::LoadColours(client_.services().settings);
    ShowSwatches();
    loaded_ = true;
    MakeLColumns();
  }
  QCoreApplication::processEvents();
  SizeColumns(true);
  HideStartupPic();
  MakeL();
  raise();
  activateWindow();
}

void FrmDiskUsage::closeEvent(QCloseEvent* event) {
  if (loaded_) SaveWindowPlacement();
  loaded_ = false;
  HideStartupPic();
  event->accept();
}

// ---- List and pies ----

void FrmDiskUsage::CheckPeriods() {
  if (!loaded_ || p1_->currentIndex() < 0 || p2_->currentIndex() < 0) return;
  MakeLColumns();
  MakeL();
}

void FrmDiskUsage::MakeLColumns() {
  // The sort column and order stay as they were; only the rows go.
  l_->clear();
  QStringList captions;
  for (const ListColumn& column : disks::UsageColumns()) captions << FromUtf8(column.caption);
  l_->setColumnCount(static_cast<int>(captions.size()));
  l_->setHeaderLabels(captions);
  for (int column = disks::kChangeColumn; column <= disks::kSizeColumn; ++column) {
    l_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  }
  SizeColumns(true);
}

void FrmDiskUsage::MakeL() {
  BusyScope busy(client_.services().pointer);
  MessageBox& messages = client_.services().message_box;
  const Locale& locale = client_.services().locale;
  std::vector<disks::UsageRow> rows;
  try {
    rows = disks::MakeUsageL(
        client_.database(), p1_->currentText().toStdString(), p2_->currentText().toStdString(),
        locale, [&messages](const std::string& message) { messages.Show(message, kViewerTitle); });
  } catch (const std::exception& error) {
    // Only a database that is no longer open gets here; the model reports everything else.
    messages.Show(std::string(error.what()) + " in MakeL", kViewerTitle);
  }
  rows_ = std::move(rows);
  disks::SortUsageRows(rows_, sort_, locale);
  DrawPies();
  ShowRows();
}

void FrmDiskUsage::ShowRows() {
  const QString selected = FromUtf8(SelectedKey());
  l_->clear();
  QTreeWidgetItem* reselect = nullptr;
  QList<QTreeWidgetItem*> items;
  for (const disks::UsageRow& row : rows_) {
    auto* item = new QTreeWidgetItem;
    for (int column = 0; column < static_cast<int>(row.cells.size()); ++column) {
      // Without the blanks that right-justify the numbers for sorting; the column aligns them.
      item->setText(column, FromUtf8(row.cells[column]).trimmed());
      if (column != disks::kNameColumn) {
        item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
      }
    }
    const QString key = FromUtf8(row.key);
    item->setData(0, Qt::UserRole, key);
    item->setData(0, kPathRole, FromUtf8(row.path));
    if (auto pie = pie_images_.find(row.key); pie != pie_images_.end()) {
      item->setIcon(0, QPixmap::fromImage(pie->second));
    }
    if (key == selected) reselect = item;
    items.append(item);
  }
  l_->addTopLevelItems(items);
  if (reselect == nullptr && !items.isEmpty()) reselect = items.front();
  if (reselect != nullptr) l_->setCurrentItem(reselect);
  l_->header()->setSortIndicator(sort_.column, sort_.order == SortOrder::kDescending
                                                   ? Qt::DescendingOrder
                                                   : Qt::AscendingOrder);
}

void FrmDiskUsage::SizeColumns(bool first_layout) {
  if (isMinimized() || l_->columnCount() < 5) return;
  const std::array<int, 5> widths =
      disks::UsageColumnWidths(l_->width() * kTwipsPerPixel, first_layout);
  const int least = l_->header()->minimumSectionSize();
  for (int column = 0; column < static_cast<int>(widths.size()); ++column) {
    // A window narrower than the fixed allowance would give the columns no width at all.
    l_->setColumnWidth(column, std::max(widths[column] / kTwipsPerPixel, least));
  }
}

void FrmDiskUsage::HeaderClick(int column) {
  if (l_->columnCount() < 5) return;
  sort_ = disks::UsageSortAfterHeaderClick(sort_, column);
  disks::SortUsageRows(rows_, sort_, client_.services().locale);
  ShowRows();
}

void FrmDiskUsage::DrawPies() {
  pie_images_.clear();
  pies_.clear();
  for (const disks::UsageRow& row : rows_) {
    QImage image = DrawPie(disks::PieOfRow(row, client_.services().locale));
    pies_[row.key] = PictureOfImage(image);
    pie_images_[row.key] = std::move(image);
  }
}

QImage FrmDiskUsage::DrawPie(const disks::Pie& pie) const {
  QPixmap pixmap(disks::kPieSize, disks::kPieSize);
  pixmap.fill(palette().color(QPalette::Window));
  {
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(ColourOf(colours_[disks::kOutlineColour]));
    const double diameter = 2 * disks::kPieRadius;
    const QRectF disc(disks::kPieCentre - disks::kPieRadius, disks::kPieCentre - disks::kPieRadius,
                      diameter, diameter);
    auto sector = [&](const disks::Sector& sector, disks::ColourSlot slot) {
      painter.setBrush(ColourOf(colours_[slot]));
      painter.drawPie(disc, Sixteenths(sector.start), Sixteenths(sector.end - sector.start));
    };
    painter.setBrush(ColourOf(colours_[disks::kUsedColour]));
    painter.drawEllipse(disc);
    sector(pie.free, disks::kFreeColour);
    if (pie.change_kind == disks::ChangeKind::kRecentlyUsed) {
      sector(pie.change, disks::kRecentlyUsedColour);
    } else if (pie.change_kind == disks::ChangeKind::kRecentlyFreed) {
      sector(pie.change, disks::kRecentlyFreedColour);
    }
  }
  return pixmap.toImage();
}

Picture FrmDiskUsage::PieOf(const std::string& key) const {
  auto pie = pies_.find(key);
  return pie == pies_.end() ? Picture{} : pie->second;
}

// ---- Colours ----

void FrmDiskUsage::ShowSwatches() {
  for (int slot = 0; slot < static_cast<int>(swatches_.size()); ++slot) {
    QPalette palette = swatches_[slot]->palette();
    palette.setColor(QPalette::Window, ColourOf(colours_[slot]));
    swatches_[slot]->setPalette(palette);
  }
}

void FrmDiskUsage::ChangeColour(int slot) {
  if (slot < 0 || slot >= static_cast<int>(colours_.size())) return;
  const std::optional<std::uint32_t> chosen = colour_dialog_.Choose(colours_[slot]);
  if (!chosen) return;
  Settings& settings = client_.services().settings;
  disks::SaveColour(settings, slot, *chosen);
  // What the settings now hold, so that the pies show what the next start will.
  colours_ = disks::LoadColours(settings);
  ShowSwatches();
  CheckPeriods();
}

// ---- Selection and actions ----

std::string FrmDiskUsage::SelectedKey() const {
  QTreeWidgetItem* row = l_->currentItem();
  if (row == nullptr || !row->isSelected()) return {};
  return row->data(0, Qt::UserRole).toString().toStdString();
}

std::string FrmDiskUsage::SelectedPath() const {
  QTreeWidgetItem* row = l_->currentItem();
  if (row == nullptr || !row->isSelected()) return {};
  return row->data(0, kPathRole).toString().toStdString();
}

void FrmDiskUsage::ActOnSelected(const KeyAction& action) {
  if (l_->topLevelItemCount() == 0 || !action) return;
  if (const std::string key = SelectedKey(); !key.empty()) action(key);
}

void FrmDiskUsage::DrillDown() {
  const std::string key = SelectedKey();
  if (key.empty()) return;
  if (main_window_.find_in_tree) main_window_.find_in_tree(key);
  main_window_.show();
}

bool FrmDiskUsage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == l_ && event->type() == QEvent::Resize) {
    SizeColumns(false);
  } else if (event->type() == QEvent::MouseButtonDblClick) {
    auto swatch = std::find(swatches_.begin(), swatches_.end(), watched);
    if (swatch != swatches_.end()) {
      ChangeColour(static_cast<int>(swatch - swatches_.begin()));
      return true;
    }
  }
  return AnalysisWindow::eventFilter(watched, event);
}

// ---- Print ----

void FrmDiskUsage::Print() {
  if (!printing_) return;
  const std::optional<int> what = AskWhatToPrint(*printing_, {kPrintTree, kPrintGraph});
  if (!what) return;
  if (*what != kPrintList) {
    client_.services().message_box.Show("What print what?", kViewerTitle);
    return;
  }
  PrintListAndView(*printing_, disks::PrintableUsageList(rows_, pies_), disks::kAllDisks, true);
}

}  // namespace brontal
