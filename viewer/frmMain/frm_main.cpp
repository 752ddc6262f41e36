// The main window. It only shows what the widget-free functions of tree_list.h and periods.h
// compute, and hands every shell, clipboard and database request to the Client.
#include "viewer/frmMain/frm_main.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "platform/qt_colour_dialog.h"
#include "report/report_builder.h"
#include "store/dbloc.h"
#include "store/text.h"
#include "viewer/frmDiskGraph/frm_disk_graph.h"
#include "viewer/frmDiskUsage/frm_disk_usage.h"
#include "viewer/frmGraph/frm_graph.h"
#include "viewer/frmOptions/frm_options.h"
#include "viewer/frmPrint/frm_print.h"
#include "viewer/frm_about.h"
#include "viewer/frm_startup.h"
#include "viewer/period_pickers.h"
#include "viewer/periods.h"
#include "viewer/window_geometry.h"

namespace brontal {
namespace {

constexpr char kWindowName[] = "frmMain";
// The window's size at start, before a saved placement applies, in pixels.
constexpr int kStartWidth = 590;
constexpr int kStartHeight = 380;
// The splitter bar is 60 twips wide.
constexpr int kSplitterBarWidth = 60 / kTwipsPerPixel;
// The narrowest the tree, or the gap right of the splitter's left edge, may become: just over
// the 300 twips that SplitterAccepts keeps clear on either side.
constexpr int kSplitterMarginPixels = 300 / kTwipsPerPixel + 1;
// The pickers lie over 1800-twip placeholders on the toolbar.
constexpr int kPickerWidth = 1800 / kTwipsPerPixel;

constexpr char kNothingToView[] =
    "There is nothing to view yet.  The Brontal server components must be installed, "
    "configured, scheduled and have been run before directory sizes can be analysed.  ";

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string ToUtf8(const QString& text) { return text.toStdString(); }

// Keys and paths are held in the items as their bytes: a name that is not valid UTF-8 would
// come back from a QString changed, and then name no stored row and no directory.
QVariant Bytes(std::string_view text) {
  return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}
std::string BytesOf(const QTreeWidgetItem& item, int role) {
  return item.data(0, role).toByteArray().toStdString();
}

// A menu caption that shows its text as it is: "&" would otherwise mark a mnemonic.
QString Literal(const std::string& text) { return FromUtf8(text).replace("&", "&&"); }

// A whole number with nothing else around it; nullopt for anything else.
std::optional<int> WholeNumber(const std::string& text) {
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

// A number cell as the list shows it: without the blanks that right-justify it for sorting,
// which a proportional font would turn into an elided cell in a narrow column. The column
// aligns it to the right, and the trailing blank or minus sign stays.
QString CellText(std::string_view cell) {
  return FromUtf8(cell.substr(std::min(cell.find_first_not_of(' '), cell.size())));
}

// A row of the list. It keeps the row as MakeL gave it, so that sorting compares the row's
// texts exactly as ListRowBefore does.
class ListItem : public QTreeWidgetItem {
 public:
  explicit ListItem(ListRow row) : QTreeWidgetItem(UserType), row_(std::move(row)) {}

  const ListRow& row() const { return row_; }

  // Qt sorts ascending with this and reverses it for descending order.
  bool operator<(const QTreeWidgetItem& other) const override {
    const auto* that = dynamic_cast<const ListItem*>(&other);
    if (that == nullptr || treeWidget() == nullptr) return QTreeWidgetItem::operator<(other);
    return ListRowBefore(row_, that->row_, {treeWidget()->sortColumn(), SortOrder::kAscending});
  }

 private:
  ListRow row_;
};

// The busy pointer for a scope; nested scopes keep it until the outermost one ends.
class BusyScope {
 public:
  BusyScope(BusyPointer& pointer, int& depth) : pointer_(pointer), depth_(depth) {
    if (depth_++ == 0) pointer_.Show();
  }
  ~BusyScope() {
    if (--depth_ == 0) pointer_.Restore();
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  BusyPointer& pointer_;
  int& depth_;
};

}  // namespace

FrmMain::FrmMain(Client& client, OptionsDialogs dialogs, std::string program_folder,
                 std::optional<PrintServices> printing, QWidget* parent)
    : QMainWindow(parent),
      client_(client),
      program_folder_(std::move(program_folder)),
      dialogs_(dialogs),
      printing_(std::move(printing)) {
  setObjectName(kWindowName);
  setWindowTitle("Brontal");
  BuildMenus();
  BuildToolbar();
  BuildBody();
}

FrmMain::~FrmMain() = default;

QAction* FrmMain::AddAction(QMenu* menu, const char* object_name, const QString& caption) {
  QAction* action = menu->addAction(caption);
  action->setObjectName(object_name);
  return action;
}

void FrmMain::BuildMenus() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("mnuFile");
  QAction* print = AddAction(file, "mnuFilePrint", "&Print...");
  print->setEnabled(printing_.has_value());
  connect(print, &QAction::triggered, this, &FrmMain::Print);
  file->addSeparator();
  connect(AddAction(file, "mnuFileExit", "E&xit"), &QAction::triggered, this, &QWidget::close);

  QMenu* edit = menuBar()->addMenu("&Edit");
  edit->setObjectName("mnuEdit");
  connect(AddAction(edit, "mnuEditCopy", "&Copy"), &QAction::triggered, this,
          &FrmMain::CopyFocusedControl);

  QMenu* tools = menuBar()->addMenu("&Tools");
  tools->setObjectName("mnuTools");
  connect(AddAction(tools, "mnuToolsGraph", "&Graph"), &QAction::triggered, this,
          [this] { GraphIt(current_key_); });
  connect(AddAction(tools, "mnuToolsChartFreeDiskSpace", "Chart &Free Disk Space"),
          &QAction::triggered, this, &FrmMain::ChartFreeDiskSpace);
  tools->addSeparator();
  connect(AddAction(tools, "mnuToolsOptions", "&Options..."), &QAction::triggered, this,
          &FrmMain::ShowOptions);

  QMenu* help = menuBar()->addMenu("&Help");
  help->setObjectName("mnuHelp");
  connect(AddAction(help, "mnuHelpHttp", Literal(WebPageAddress())), &QAction::triggered, this,
          [this] { client_.OpenWebPage(); });
  connect(AddAction(help, "mnuHelpMailto", Literal(MailAddress())), &QAction::triggered, this,
          [this] { client_.OpenMailTo(); });
  help->addSeparator();
  connect(AddAction(help, "mnuHelpAbout", "&About"), &QAction::triggered, this, [this] {
    FrmAbout about(client_, this);
    about.exec();
  });

  // The popups are menus of their own, never on the menu bar.
  auto* popups = new QMenu("&Popups", this);
  popups->setObjectName("mnuPopups");

  popup_t_ = popups->addMenu("T");
  popup_t_->setObjectName("mnuPopupsT");
  QAction* expand = AddAction(popup_t_, "mnuPopupsTExpand", "Expand");
  popup_t_->setDefaultAction(expand);
  connect(expand, &QAction::triggered, this, [this] {
    if (QTreeWidgetItem* item = t_->currentItem(); item && t_->topLevelItemCount() > 0)
      item->setExpanded(true);
  });
  connect(AddAction(popup_t_, "mnuPopupsTGraph", "&Graph"), &QAction::triggered, this,
          [this] { GraphIt(SelectedTreeKey()); });
  popup_t_log_ = AddAction(popup_t_, "mnuPopupsTViewLogFile", "&View log file");
  connect(popup_t_log_, &QAction::triggered, this,
          [this] { ActOnKey(SelectedTreeKey(), &Client::ViewLogFile); });
  popup_t_->addSeparator();
  connect(AddAction(popup_t_, "mnuPopupsTOpen", "&Open"), &QAction::triggered, this,
          [this] { ActOnKey(SelectedTreePath(), &Client::OpenKey); });
  connect(AddAction(popup_t_, "mnuPopupsTExplore", "&Explore"), &QAction::triggered, this,
          [this] { ActOnKey(SelectedTreePath(), &Client::ExploreKey); });

  popup_l_ = popups->addMenu("L");
  popup_l_->setObjectName("mnuPopupsL");
  QAction* drill = AddAction(popup_l_, "mnuPopupsLDrillDown", "&Drill down");
  popup_l_->setDefaultAction(drill);
  connect(drill, &QAction::triggered, this, &FrmMain::DrillDown);
  connect(AddAction(popup_l_, "mnuPopupsLGraph", "&Graph"), &QAction::triggered, this,
          [this] { GraphIt(SelectedRowKey()); });
  popup_l_log_ = AddAction(popup_l_, "mnuPopupsLViewLogFile", "&View log file");
  connect(popup_l_log_, &QAction::triggered, this,
          [this] { ActOnKey(SelectedRowKey(), &Client::ViewLogFile); });
  popup_l_->addSeparator();
  connect(AddAction(popup_l_, "mnuPopupsLCopyList", "&Copy list"), &QAction::triggered, this,
          &FrmMain::CopyFocusedControl);
  popup_l_->addSeparator();
  connect(AddAction(popup_l_, "mnuPopupsLOpen", "&Open"), &QAction::triggered, this,
          [this] { ActOnKey(SelectedRowPath(), &Client::OpenKey); });
  connect(AddAction(popup_l_, "mnuPopupsLExplore", "&Explore"), &QAction::triggered, this,
          [this] { ActOnKey(SelectedRowPath(), &Client::ExploreKey); });
}

void FrmMain::BuildToolbar() {
  tb_ = addToolBar("Toolbar");
  tb_->setObjectName("tb");
  tb_->setMovable(false);
  tb_->setIconSize(QSize(16, 16));

  auto add_button = [this](const char* key, const char* tooltip) {
    QAction* action = tb_->addAction(images_.ToolImage(key), tooltip);
    action->setObjectName(key);
    action->setToolTip(tooltip);
    return action;
  };
  auto add_picker = [this](const char* name, const char* tooltip) {
    auto* picker = new QComboBox(tb_);
    picker->setObjectName(name);
    picker->setToolTip(tooltip);
    picker->setMinimumWidth(kPickerWidth);
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    picker->installEventFilter(this);
    tb_->addWidget(picker)->setObjectName(QString(name) + "Placeholder");
    connect(picker, &QComboBox::currentIndexChanged, this, [this] { CheckPeriods(); });
    return picker;
  };

  QAction* print = add_button("Print", "Print...");
  print->setEnabled(printing_.has_value());
  connect(print, &QAction::triggered, this, &FrmMain::Print);
  p1_ = add_picker("p1", "Period 1");
  p2_ = add_picker("p2", "Period 2");
  connect(add_button("up1lvl", "Up One Level"), &QAction::triggered, this, &FrmMain::UpOneLevel);
  connect(add_button("Copy", "Copy"), &QAction::triggered, this, &FrmMain::CopyFocusedControl);
  connect(add_button("Graph", "Graph"), &QAction::triggered, this,
          [this] { GraphIt(current_key_); });
  connect(add_button("piedisk", "Chart Disk Space"), &QAction::triggered, this,
          &FrmMain::ChartFreeDiskSpace);
}

void FrmMain::BuildBody() {
  t_ = new QTreeWidget;
  t_->setObjectName("t");
  t_->setHeaderHidden(true);
  t_->setColumnCount(1);
  t_->setSelectionMode(QAbstractItemView::SingleSelection);
  t_->setContextMenuPolicy(Qt::CustomContextMenu);
  t_->setMinimumWidth(kSplitterMarginPixels);
  t_->installEventFilter(this);
  connect(t_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) { NodeClick(item); });
  connect(t_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (!quiet_) NodeClick(item);
  });
  connect(t_, &QWidget::customContextMenuRequested, this, &FrmMain::ShowTreePopup);

  l_ = new QTreeWidget;
  l_->setObjectName("l");
  l_->setColumnCount(0);
  l_->setRootIsDecorated(false);
  l_->setItemsExpandable(false);
  l_->setUniformRowHeights(true);
  l_->setAllColumnsShowFocus(true);
  l_->setSelectionMode(QAbstractItemView::SingleSelection);
  l_->setContextMenuPolicy(Qt::CustomContextMenu);
  l_->setMinimumWidth(std::max(1, kSplitterMarginPixels - kSplitterBarWidth));
  l_->header()->setSectionsClickable(true);
  l_->header()->setSortIndicatorShown(true);
  l_->header()->setStretchLastSection(false);
  l_->installEventFilter(this);
  connect(l_, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* row) { ListClick(row); });
  connect(l_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* row) {
    if (!quiet_) ListClick(row);
  });
  connect(l_, &QTreeWidget::itemDoubleClicked, this, [this] { DrillDown(); });
  connect(l_->header(), &QHeaderView::sectionClicked, this, &FrmMain::HeaderClick);
  connect(l_, &QWidget::customContextMenuRequested, this, &FrmMain::ShowListPopup);

  splitter_ = new QSplitter(Qt::Horizontal);
  splitter_->setObjectName("picResizer");
  splitter_->setHandleWidth(kSplitterBarWidth);
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(t_);
  splitter_->addWidget(l_);
  // The tree keeps its width when the window is resized, as the bar's left edge stays put.
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  connect(splitter_, &QSplitter::splitterMoved, this, [this] { SizeListColumns(); });
  setCentralWidget(splitter_);

  statusBar()->setObjectName("sb");
  statusBar()->setSizeGripEnabled(true);
  // A label rather than the bar's own message, which hovering over a menu would wipe out.
  status_ = new QLabel(statusBar());
  status_->setObjectName("sbText");
  statusBar()->addWidget(status_, 1);
}

// ---- Start-up and shutdown ----

bool FrmMain::Start() {
  StoreDbLoc();
  // The default splitter position is one third of the start-up width.
  int splitter_left = kStartWidth / 3 * kTwipsPerPixel;
  if (auto saved = WholeNumber(client_.services().settings.Get(kWindowName, "picResizerLeft", "")))
    splitter_left = *saved;
  PlaceAtStart();
  RestorePlacement();
  show();

  auto splash = std::make_unique<FrmStartup>(client_);
  splash->show();
  QCoreApplication::processEvents();
  if (!SetSplitterLeft(splitter_left)) SetSplitterLeft(width() / 3 * kTwipsPerPixel);

  listed_key_.clear();
  current_key_.clear();
  const Client::OpenOutcome opened = client_.OpenSizeDatabase([this, &splash] {
    // The dialog must not open behind the splash.
    splash->ByeForm();
    return AskForDatabase();
  });
  if (opened != Client::OpenOutcome::kOpened) {
    splash.reset();
    shut_down_ = true;
    hide();
    return false;
  }
  started_ = true;
  tree_ready_ = false;

  const ClientServices& services = client_.services();
  last_looked_date_ = GetLastLooked(services.settings, services.clock, services.locale);
  Guarded("LoadPeriodDates", [this] { client_.ReloadPeriodDates(); });
  splash->ByeForm();  // a message box may follow, which the splash would hide
  ShowPeriods();
  QCoreApplication::processEvents();
  splash.reset();
  if (services.settings.Get("Options", "ShowDiskAtStartup", "") == "1") ChartFreeDiskSpace();
  return true;
}

void FrmMain::ShowPeriods() {
  const ClientServices& services = client_.services();
  // The client keeps the periods it had when the database holds none; none are offered then.
  if (client_.PeriodCount() == 0) {
    services.message_box.Show(kNothingToView, kViewerTitle, MessageIcon::kInformation);
    return;
  }
  LoadPeriods(*p1_, *p2_, client_.PeriodDates(), services.settings, last_looked_date_,
              services.locale, services.message_box);
  QCoreApplication::processEvents();
  ShowFirstPick();
}

void FrmMain::ShowNewDatabase() {
  // The analysis windows' periods and places belong to the database left behind.
  if (graph_) graph_->close();
  if (disk_usage_) disk_usage_->close();
  if (disk_graph_) disk_graph_->close();
  ClearView();
  Guarded("LoadPeriodDates", [this] { client_.ReloadPeriodDates(); });
  ShowPeriods();
}

void FrmMain::ClearView() {
  // Nothing is shown until the pickers are filled again, so no emptied picker counts as a pick.
  tree_ready_ = false;
  has_columns_ = false;
  const bool was_quiet = std::exchange(quiet_, true);
  p1_->clear();
  p2_->clear();
  t_->clear();
  l_->clear();
  l_->setColumnCount(0);
  quiet_ = was_quiet;
  tree_items_.clear();
  listed_key_.clear();
  current_key_.clear();
  SetStatus(QString());
}

void FrmMain::StoreDbLoc() {
  if (program_folder_.empty()) return;
  try {
    // A missing file, or one with an empty first line, names no database: the setting keeps
    // the one chosen before.
    const std::string path = ReadDbLoc(program_folder_);
    if (!path.empty()) client_.services().settings.Set("Options", "dbFilename", path);
  } catch (const std::exception&) {
    // An unreadable dbloc.txt leaves the setting as it is; the database open reports the rest.
  }
}

void FrmMain::PlaceAtStart() {
  resize(kStartWidth, kStartHeight);
  QScreen* screen = this->screen();
  if (screen == nullptr) screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return;
  const QRect area = screen->availableGeometry();
  move(area.left() + (area.width() - kStartWidth) / 2,
       area.top() + (area.height() - kStartHeight) / 3);
}

Placement FrmMain::CurrentPlacement() const { return PlacementOf(*this); }

void FrmMain::RestorePlacement() {
  const Placement saved =
      ReadPlacement(client_.services().settings, kWindowName, CurrentPlacement());
  // A size of nothing would leave a window that cannot be seen or grabbed.
  if (saved.width > 0 && saved.height > 0) {
    setGeometry(saved.left / kTwipsPerPixel, saved.top / kTwipsPerPixel,
                saved.width / kTwipsPerPixel, saved.height / kTwipsPerPixel);
  }
  // Maximized on top of the normal geometry just set, which restoring the window brings back.
  if (saved.state == 2) setWindowState(windowState() | Qt::WindowMaximized);
}

bool FrmMain::AskForDatabase() {
  // No host: there are no pickers, tree or list yet for the dialog to refresh.
  FrmOptions dialog(client_, nullptr, dialogs_.questions, dialogs_.open_file, dialogs_.files, this);
  dialog.exec();
  return !dialog.QuitViewer();
}

void FrmMain::ShowOptions() {
  bool quit = false;
  {
    FrmOptions dialog(client_, this, dialogs_.questions, dialogs_.open_file, dialogs_.files, this);
    dialog.exec();
    quit = dialog.QuitViewer();
  }
  if (quit) close();
}

void FrmMain::closeEvent(QCloseEvent* event) {
  if (!shut_down_) {
    shut_down_ = true;
    client_.CloseSizeDatabase();
    if (started_) {
      Settings& settings = client_.services().settings;
      SavePlacement(settings, kWindowName, CurrentPlacement());
      if (!isMinimized()) {
        settings.Set(kWindowName, "picResizerLeft", std::to_string(SplitterLeft()));
      }
      SaveLastLooked(settings, client_.services().clock.Now(), last_looked_date_,
                     client_.services().locale);
    }
    // Closing the main window ends the program: every other window goes with it.
    for (QWidget* window : QApplication::topLevelWidgets()) {
      if (window != this && window->isVisible()) window->close();
    }
  }
  event->accept();
}

// ---- Tree and list ----

bool FrmMain::PeriodsPicked() const { return p1_->currentIndex() >= 0 && p2_->currentIndex() >= 0; }

void FrmMain::ShowFirstPick() {
  if (!PeriodsPicked()) return;
  BusyScope busy(client_.services().pointer, busy_depth_);
  MakeLColumns();
  const Settings& settings = client_.services().settings;
  // A sort column or order that the list does not have counts as never set.
  const std::optional<int> column = WholeNumber(settings.Get("Options", "ListSortKey", "1"));
  sort_.column = column && *column >= 0 && *column <= 3 ? *column : 1;
  sort_.order = settings.Get("Options", "ListSortOrder", "1") == "0" ? SortOrder::kAscending
                                                                     : SortOrder::kDescending;
  TreeAllParents();
  if (QTreeWidgetItem* root = t_->topLevelItem(0)) {
    SelectQuietly(*t_, root);
    root->setExpanded(true);
    NodeClick(root);
  }
}

void FrmMain::TreeAllParents() {
  tree_ready_ = true;
  {
    const bool was_quiet = std::exchange(quiet_, true);
    t_->clear();
    quiet_ = was_quiet;
  }
  tree_items_.clear();
  auto* root = new QTreeWidgetItem;
  root->setText(0, FromUtf8(kRootText));
  root->setData(0, kKeyRole, Bytes(kRootKey));
  root->setData(0, kPathRole, Bytes("R"));
  root->setData(0, kImageRole, "masterroot");
  root->setData(0, kSelectedImageRole, "masterroot");
  root->setIcon(0, images_.TreeIcon("masterroot", "masterroot"));
  t_->addTopLevelItem(root);
  root->setExpanded(true);
  tree_items_[std::string(kRootKey)] = root;

  SetStatus("Issuing Tree SQL query...");
  const Locale& locale = client_.services().locale;
  const std::optional<DateTime> period1 = ParsePeriodText(ToUtf8(p1_->currentText()), locale);
  const std::optional<DateTime> period2 = ParsePeriodText(ToUtf8(p2_->currentText()), locale);
  if (!period1 || !period2) return;
  std::vector<brontal::TreeItem> items;
  Guarded("TreeAllParents",
          [&] { items = brontal::TreeAllParents(client_.database(), *period1, *period2); });

  SetStatus("Loading tree...");
  for (const brontal::TreeItem& item : items) {
    auto parent = tree_items_.find(item.parent_key);
    QTreeWidgetItem* parent_item = parent == tree_items_.end() ? root : parent->second;
    auto* child = new QTreeWidgetItem(parent_item);
    const std::string closed = ImageKey(item.backslashes, false);
    const std::string open = ImageKey(item.backslashes, true);
    child->setText(0, FromUtf8(item.text));
    child->setData(0, kKeyRole, Bytes(item.key));
    child->setData(0, kPathRole, Bytes(item.path));
    child->setData(0, kImageRole, FromUtf8(closed));
    child->setData(0, kSelectedImageRole, FromUtf8(open));
    child->setIcon(0, images_.TreeIcon(closed, open));
    tree_items_[item.key] = child;
    // Nodes appear one by one, so that a long load shows it is under way.
    if (item.backslashes == 1) t_->repaint();
  }
}

void FrmMain::MakeLColumns() {
  const ListSort kept = sort_;
  l_->clear();
  l_->repaint();
  const auto columns = ListColumns(ToUtf8(p1_->currentText()), ToUtf8(p2_->currentText()));
  QStringList captions;
  for (const ListColumn& column : columns) captions << FromUtf8(column.caption);
  l_->setColumnCount(static_cast<int>(captions.size()));
  l_->setHeaderLabels(captions);
  for (int column = 1; column < l_->columnCount(); ++column) {
    l_->headerItem()->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
  }
  has_columns_ = true;
  SizeListColumns();
  sort_ = kept;
  l_->header()->setSortIndicator(sort_.column, sort_.order == SortOrder::kDescending
                                                   ? Qt::DescendingOrder
                                                   : Qt::AscendingOrder);
}

void FrmMain::MakeL(const std::string& key) {
  {
    const bool was_quiet = std::exchange(quiet_, true);
    l_->clear();
    quiet_ = was_quiet;
  }
  if (!has_columns_ || !PeriodsPicked()) return;
  BusyScope busy(client_.services().pointer, busy_depth_);
  SetStatus("Issuing List SQL query ...");
  std::vector<ListRow> rows;
  Guarded("MakeL", [&] {
    rows = brontal::MakeL(client_.database(), key, ToUtf8(p1_->currentText()),
                          ToUtf8(p2_->currentText()), client_.services().locale,
                          [this](int counter) { SetStatus(QString::number(counter)); });
  });
  if (rows.empty()) return;

  SetStatus("Loading list...");
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(rows.size()));
  for (ListRow& row : rows) {
    auto* item = new ListItem(std::move(row));
    const ListRow& kept = item->row();
    item->setText(0, FromUtf8(kept.cells[0]));
    item->setText(2, CellText(kept.cells[2]));
    item->setText(3, CellText(kept.cells[3]));
    for (int column = 1; column < 4; ++column) {
      item->setTextAlignment(column, Qt::AlignRight | Qt::AlignVCenter);
    }
    item->setData(0, kKeyRole, Bytes(kept.key));
    item->setData(0, kIconRole, FromUtf8(kept.icon));
    item->setIcon(0, images_.Image(kept.icon));
    items.append(item);
  }
  {
    const bool was_quiet = std::exchange(quiet_, true);
    l_->addTopLevelItems(items);
    quiet_ = was_quiet;
  }

  SetStatus("Calculating change...");
  for (QTreeWidgetItem* item : items) {
    item->setText(1, CellText(static_cast<ListItem*>(item)->row().cells[1]));
  }
  SetStatus("Sorting...");
  SortList();
}

void FrmMain::SizeListColumns() {
  if (isMinimized() || !has_columns_) return;
  const int columns = l_->columnCount();
  if (columns == 0) return;
  const int width = ListColumnWidth(l_->width() * kTwipsPerPixel, columns) / kTwipsPerPixel;
  // A window narrower than the columns' margins would give them no width at all.
  const int pixels = std::max(width, l_->header()->minimumSectionSize());
  for (int column = 0; column < columns; ++column) l_->setColumnWidth(column, pixels);
}

void FrmMain::SortList() {
  if (!has_columns_) return;
  const bool was_quiet = std::exchange(quiet_, true);
  l_->sortItems(sort_.column,
                sort_.order == SortOrder::kDescending ? Qt::DescendingOrder : Qt::AscendingOrder);
  quiet_ = was_quiet;
}

void FrmMain::SetListSort(ListSort sort) {
  sort_ = sort;
  SortList();
}

void FrmMain::HeaderClick(int column) {
  if (!has_columns_) return;
  sort_ = SortAfterHeaderClick(sort_, column, ToUtf8(l_->headerItem()->text(column)));
  SortList();
}

// ---- Clicks and navigation ----

void FrmMain::NodeClick(QTreeWidgetItem* item) {
  if (!tree_ready_ || item == nullptr) return;
  const std::string key = BytesOf(*item, kKeyRole);
  current_key_ = key;
  if (key == listed_key_) return;
  listed_key_ = key;
  MakeL(key);
  SelectQuietly(*t_, item);
  ShowKeyInStatus(key);
}

void FrmMain::ListClick(QTreeWidgetItem* row) {
  if (row == nullptr || l_->topLevelItemCount() == 0) return;
  const std::string key = SelectedRowKey();
  if (key.empty()) return;
  current_key_ = key;
  ShowKeyInStatus(key);
}

void FrmMain::FindT(const std::string& key) {
  QTreeWidgetItem* item = TreeItem(LowerCase(key));
  if (item == nullptr) return;
  for (QTreeWidgetItem* parent = item->parent(); parent != nullptr; parent = parent->parent()) {
    parent->setExpanded(true);
  }
  t_->scrollToItem(item);
  NodeClick(item);
  SelectQuietly(*t_, item);
}

void FrmMain::UpOneLevel() {
  if (t_->topLevelItemCount() == 0 || listed_key_.empty() || listed_key_ == kRootKey) return;
  if (listed_key_.find('\\') == std::string::npos) return;
  QTreeWidgetItem* parent = TreeItem(LowerCase(ParentPath(listed_key_)));
  if (parent == nullptr) return;
  t_->clearSelection();
  SelectQuietly(*t_, parent);
  NodeClick(parent);
}

void FrmMain::DrillDown() {
  const std::string key = SelectedRowKey();
  if (!key.empty()) FindT(key);
}

void FrmMain::CheckPeriods() {
  if (LoadingPeriods(*p1_) || LoadingPeriods(*p2_)) return;
  RebuildForPick();
}

void FrmMain::ReloadPeriods() {
  if (client_.PeriodCount() == 0) {
    // A purge has deleted every period: what the window shows belongs to none of them, and the
    // pickers must not offer them again. A window that shows nothing has nothing to take back.
    if (tree_ready_ || p1_->count() > 0 || p2_->count() > 0) {
      ClearView();
      ShowPeriods();
    }
    return;
  }
  const ClientServices& services = client_.services();
  LoadPeriods(*p1_, *p2_, client_.PeriodDates(), services.settings, last_looked_date_,
              services.locale, services.message_box);
  RebuildForPick();
}

void FrmMain::RebuildForPick() {
  if (!PeriodsPicked() || !client_.IsOpen()) return;
  // Until both periods were picked once there is no tree to keep a place in.
  if (!tree_ready_) {
    ShowFirstPick();
    return;
  }
  const std::string tree_key = SelectedTreeKey();
  const std::string row_key = SelectedRowKey();
  const QString row_name = row_key.empty() ? QString() : l_->currentItem()->text(0);
  const bool row_clicked_last = !row_key.empty() && row_key == current_key_;

  BusyScope busy(client_.services().pointer, busy_depth_);
  TreeAllParents();
  MakeLColumns();
  MakeL(listed_key_);
  // Places that the new periods do not hold are simply not found again.
  if (QTreeWidgetItem* item = TreeItem(tree_key)) {
    SelectQuietly(*t_, item);
    NodeClick(item);
  }
  if (QTreeWidgetItem* row = ListRowItem(row_key, row_name)) SelectQuietly(*l_, row);
  (row_clicked_last ? l_ : t_)->setFocus();
}

QTreeWidgetItem* FrmMain::TreeItem(const std::string& key) const {
  auto found = tree_items_.find(key);
  return found == tree_items_.end() ? nullptr : found->second;
}

QTreeWidgetItem* FrmMain::ListRowItem(const std::string& key, const QString& name) const {
  if (key.empty()) return nullptr;
  QTreeWidgetItem* first = nullptr;
  for (int i = 0; i < l_->topLevelItemCount(); ++i) {
    QTreeWidgetItem* row = l_->topLevelItem(i);
    if (BytesOf(*row, kKeyRole) != key) continue;
    // Names that differ only in case share their key; the name tells their rows apart.
    if (row->text(0) == name) return row;
    if (first == nullptr) first = row;
  }
  return first;
}

std::string FrmMain::SelectedTreeKey() const {
  QTreeWidgetItem* item = t_->currentItem();
  return item == nullptr ? std::string() : BytesOf(*item, kKeyRole);
}

std::string FrmMain::SelectedRowKey() const {
  QTreeWidgetItem* row = l_->currentItem();
  if (row == nullptr || !row->isSelected()) return {};
  return BytesOf(*row, kKeyRole);
}

std::string FrmMain::SelectedTreePath() const {
  QTreeWidgetItem* item = t_->currentItem();
  return item == nullptr ? std::string() : BytesOf(*item, kPathRole);
}

std::string FrmMain::SelectedRowPath() const {
  if (SelectedRowKey().empty()) return {};
  // A row is a child of the listed place: its name in the place's path.
  const auto* row = dynamic_cast<const ListItem*>(l_->currentItem());
  const QTreeWidgetItem* place = TreeItem(listed_key_);
  if (row == nullptr || place == nullptr) return SelectedRowKey();
  return BytesOf(*place, kPathRole) + "\\" + row->row().cells[0];
}

void FrmMain::SelectQuietly(QTreeWidget& view, QTreeWidgetItem* item) {
  const bool was_quiet = std::exchange(quiet_, true);
  view.setCurrentItem(item);
  quiet_ = was_quiet;
}

// ---- Popups, copy and shell ----

void FrmMain::ShowTreePopup(const QPoint& position) {
  const std::string key = SelectedTreeKey();
  // Only a node has a log file: its key holds exactly one "\".
  popup_t_log_->setVisible(CountOccurrences(key, "\\") == 1);
  popup_t_->popup(t_->viewport()->mapToGlobal(position));
}

void FrmMain::ShowListPopup(const QPoint& position) {
  const std::string key = SelectedRowKey();
  popup_l_log_->setVisible(CountOccurrences(key, "\\") == 1);
  popup_l_->popup(l_->viewport()->mapToGlobal(position));
}

void FrmMain::Print() {
  if (!printing_) return;
  PrintServices& printing = *printing_;
  PrintState& state = printing.state;
  const ClientServices& services = client_.services();
  {
    FrmPrint dialog(state, printing.printer.DeviceName(), this);
    dialog.DisableWhat(kPrintGraph);
    dialog.exec();
  }
  if (state.print_cancelled) return;
  if (state.print_what != kPrintList && state.print_what != kPrintTree) {
    services.message_box.Show("What print what?", kViewerTitle);
    return;
  }
  const std::string key = SelectedTreeKey();
  if (key.empty() || !PeriodsPicked()) return;
  const std::optional<DateTime> period1 =
      ParsePeriodText(ToUtf8(p1_->currentText()), services.locale);
  const std::optional<DateTime> period2 =
      ParsePeriodText(ToUtf8(p2_->currentText()), services.locale);
  if (!period1 || !period2) return;

  const bool to_html = state.print_to == kPrintToHtml;
  const std::string pdf_before = printing.last_pdf_file ? printing.last_pdf_file() : "";
  ReportOutcome outcome = ReportOutcome::kFailed;
  Guarded("Print", [&] {
    ReportBuilder builder({client_.database(), services.clock, services.locale,
                           services.message_box, state, &printing.printer, &printing.save_dialog,
                           &printing.progress});
    std::string path = key;
    // The list's columns (name, change, size in P1, size in P2) are numbered as the builder's
    // sort fields, and its order codes are the builder's too.
    outcome = builder.PrintTreeExpanded2(path, KeyToUnc(key), to_html, *period1, *period2, "",
                                         nullptr, state.print_what == kPrintTree, sort_.column,
                                         static_cast<int>(sort_.order));
  });

  if (to_html) {
    // The builder has shown why the page broke off; what is left of it is no report to open.
    if (outcome == ReportOutcome::kFailed) state.last_html_file.clear();
    // A page cancelled half-way is not what the user asked to see.
    const bool whole_page = outcome == ReportOutcome::kWritten || outcome == ReportOutcome::kNoRows;
    if (whole_page && state.view_in_browser && !state.last_html_file.empty()) {
      services.shell.Open(state.last_html_file);
    }
  } else if (outcome == ReportOutcome::kWritten && printing.last_pdf_file) {
    const std::string pdf = printing.last_pdf_file();
    if (!pdf.empty() && pdf != pdf_before) SetStatus("Printed to " + FromUtf8(pdf));
  }
}

void FrmMain::ActOnKey(const std::string& key, void (Client::*action)(std::string_view)) {
  if (key.empty()) return;
  (client_.*action)(key);
}

void FrmMain::CopyFocusedControl() {
  switch (focus_control_) {
    case FocusedControl::kList: {
      std::vector<std::string> captions;
      std::vector<std::vector<std::string>> rows;
      if (has_columns_) {
        for (int column = 0; column < l_->columnCount(); ++column) {
          captions.push_back(ToUtf8(l_->headerItem()->text(column)));
        }
        for (int i = 0; i < l_->topLevelItemCount(); ++i) {
          QTreeWidgetItem* row = l_->topLevelItem(i);
          std::vector<std::string> cells;
          for (int column = 0; column < l_->columnCount(); ++column) {
            cells.push_back(ToUtf8(row->text(column)));
          }
          rows.push_back(std::move(cells));
        }
      }
      client_.CopyText(ListCopyText(captions, rows));
      return;
    }
    case FocusedControl::kPeriod1:
      client_.CopyText(ToUtf8(p1_->currentText()));
      return;
    case FocusedControl::kPeriod2:
      client_.CopyText(ToUtf8(p2_->currentText()));
      return;
    case FocusedControl::kTree:
      // The tree has no text of its own to give: the clipboard is only emptied.
      client_.CopyText("");
      return;
  }
}

MainWindowLink FrmMain::Link() {
  return {
      .newer_pick_index = [this] { return NewerPickIndex(); },
      .current_key = [this] { return current_key_; },
      .show =
          [this] {
            showNormal();
            raise();
            activateWindow();
          },
      .older_pick_index = [this] { return OlderPickIndex(); },
      .find_in_tree = [this](const std::string& key) { FindT(key); },
  };
}

void FrmMain::GraphIt(const std::string& key) {
  if (key.empty()) return;
  if (!graph_) graph_ = std::make_unique<FrmGraph>(client_, Link(), printing_);
  graph_->GraphIt(key);
}

void FrmMain::ChartFreeDiskSpace() {
  if (p1_->count() == 0) return;
  if (!disk_usage_) {
    ColourDialog* colours = dialogs_.colours;
    if (colours == nullptr) {
      if (!own_colours_) own_colours_ = std::make_unique<QtColourDialog>();
      colours = own_colours_.get();
    }
    disk_usage_ = std::make_unique<FrmDiskUsage>(
        client_, Link(), *colours, [this](const std::string& key) { GraphIt(key); },
        [this](const std::string& key) { DiskGraphIt(key); }, printing_);
  }
  disk_usage_->ShowWindow();
}

void FrmMain::DiskGraphIt(const std::string& key) {
  if (key.empty()) return;
  if (!disk_graph_) {
    MainWindowLink link = Link();
    // The disk graph's place is the disk selected in the disk usage window.
    link.current_key = [this] { return disk_usage_ ? disk_usage_->SelectedKey() : std::string(); };
    disk_graph_ = std::make_unique<FrmDiskGraph>(client_, std::move(link), printing_);
  }
  disk_graph_->GraphIt(key);
}

int FrmMain::NewerPickIndex() const {
  const int first = p1_->currentIndex();
  const int second = p2_->currentIndex();
  if (first < 0 || second < 0) return std::max(first, second);
  return std::min(first, second);
}

int FrmMain::OlderPickIndex() const {
  const int first = p1_->currentIndex();
  const int second = p2_->currentIndex();
  if (first < 0 || second < 0) return -1;
  return std::max(first, second);
}

// ---- Splitter, layout and status ----

bool FrmMain::SetSplitterLeft(int twips) {
  if (!MoveSplitterLeft(*splitter_, twips)) return false;
  SizeListColumns();
  return true;
}

int FrmMain::SplitterLeft() const { return SplitterLeftOf(*splitter_); }

bool FrmMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (watched == t_) focus_control_ = FocusedControl::kTree;
    if (watched == l_) focus_control_ = FocusedControl::kList;
    if (watched == p1_) focus_control_ = FocusedControl::kPeriod1;
    if (watched == p2_) focus_control_ = FocusedControl::kPeriod2;
  } else if (event->type() == QEvent::Resize && watched == l_) {
    SizeListColumns();
  }
  return QMainWindow::eventFilter(watched, event);
}

QString FrmMain::StatusText() const { return status_->text(); }

void FrmMain::SetStatus(const QString& text) {
  status_->setText(text);
  status_->repaint();
}

void FrmMain::ShowKeyInStatus(const std::string& key) {
  // The status shows the place without the root's "r\".
  SetStatus(FromUtf8(key.size() > 2 ? std::string_view(key).substr(2) : std::string_view()));
}

void FrmMain::Guarded(const char* operation, const std::function<void()>& step) {
  try {
    step();
  } catch (const std::exception& error) {
    client_.services().message_box.Show(std::string(error.what()) + " in " + operation,
                                        kViewerTitle);
  }
}

}  // namespace brontal
