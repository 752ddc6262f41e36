// The Options dialog's widgets; what they compute and store lives in viewer/options.
#include "viewer/frmOptions/frm_options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <exception>
#include <functional>
#include <optional>
#include <tuple>

#include "platform/open_file_dialog.h"
#include "platform/question_box.h"
#include "store/run_error.h"
#include "viewer/client.h"
#include "viewer/options_host.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string FromQt(const QString& text) { return text.toStdString(); }

// The busy pointer for as long as a piece of work runs; it goes before any message box of the
// error handler comes up, since the guard dies while the error unwinds.
class BusyWhile {
 public:
  explicit BusyWhile(BusyPointer& pointer) : pointer_(pointer) { pointer_.Show(); }
  ~BusyWhile() { pointer_.Restore(); }
  BusyWhile(const BusyWhile&) = delete;
  BusyWhile& operator=(const BusyWhile&) = delete;

 private:
  BusyPointer& pointer_;
};

// A spin button: a widget named `name` holding the arrow buttons "up" and "down", which call
// on_step with +1 and -1.
QWidget* MakeSpinButton(const QString& name, QWidget* parent,
                        const std::function<void(int step)>& on_step) {
  auto* spin = new QWidget(parent);
  spin->setObjectName(name);
  auto* layout = new QVBoxLayout(spin);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (auto [button_name, arrow, button_step] :
       {std::tuple{"up", Qt::UpArrow, 1}, std::tuple{"down", Qt::DownArrow, -1}}) {
    const int step = button_step;
    auto* button = new QToolButton(spin);
    button->setObjectName(button_name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFixedSize(18, 12);
    QObject::connect(button, &QToolButton::clicked, spin, [on_step, step] { on_step(step); });
    layout->addWidget(button);
  }
  return spin;
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
  widget->setObjectName(name);
  return widget;
}

constexpr std::string_view kNoDatabaseText =
    "You must now specify the location of the central Brontal database file.";
constexpr std::string_view kDatabaseNotAccessibleText =
    "Specified database file is not accessible.  OK to specify the database filename, Cancel to "
    "quit Brontal.";
constexpr std::string_view kOpenDatabaseNotAccessibleText =
    "Specified database file is not accessible.  OK to specify the database filename, Cancel to "
    "go on with the database open now.";
constexpr std::string_view kNoSuchFileText =
    "Specified database filename is not accessible.  OK to try again, Cancel to quit Brontal.";

}  // namespace

FrmOptions::FrmOptions(Client& client, OptionsHost* host, QuestionBox& questions,
                       OpenFileDialog& open_file, FileSystem& files, QWidget* parent)
    : QDialog(parent),
      client_(client),
      host_(host),
      questions_(questions),
      open_file_(open_file),
      files_(files) {
  setObjectName("frmOptions");
  setWindowTitle("Options");
  setModal(true);

  stab_ = Named(new QTabWidget(this), "stab");
  BuildDefaultsTab();
  BuildSchedulingTab();
  BuildPurgingTab();
  BuildLevelsTab();
  BuildDatabaseTab();

  auto* cmdOK = Named(new QPushButton("OK", this), "cmdOK");
  auto* cmdCancel = Named(new QPushButton("Cancel", this), "cmdCancel");
  cmdOK->setDefault(true);
  connect(cmdOK, &QPushButton::clicked, this, &FrmOptions::OkClicked);
  connect(cmdCancel, &QPushButton::clicked, this, &FrmOptions::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(cmdOK);
  buttons->addWidget(cmdCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(stab_);
  layout->addLayout(buttons);

  // Opening: the controls from the settings, each with its default.
  const Settings& settings = client_.services().settings;
  const ViewerDefaults defaults = LoadViewerDefaults(settings);
  cmbCompare_->setCurrentIndex(defaults.compare_when);
  cmbSorting_->setCurrentIndex(defaults.list_sort_key);
  optSortOrder_[static_cast<int>(defaults.list_sort_order)]->setChecked(true);
  chkDiskAtStartup_->setChecked(defaults.show_disk_at_startup);
  const PurgeRules rules = LoadPurgeRules(settings);
  for (int i = 0; i < 3; ++i) period_[i]->setText(ToQt(rules.periods[i]));
  cmbFirstDay_->setCurrentIndex(rules.first_day);
  txtdatabase_->setText(ToQt(client_.DbFilename()));
  stab_->setTabVisible(kSchedulingTab, false);

  if (!FileExists(client_.DbFilename())) {
    // ShowDatabaseTabOnly; its question waits until the dialog is on the screen.
    lblDatabaseChangeNote_->hide();
    database_only_ = true;
    stab_->setCurrentIndex(kDatabaseTab);
    for (int tab : {kDefaultsTab, kSchedulingTab, kPurgingTab, kLevelsTab}) {
      stab_->setTabEnabled(tab, false);
    }
    cmdCompact_->hide();
  } else {
    stab_->setCurrentIndex(kDefaultsTab);
  }
  UpdateDBSize();
  EnableCompact();
  connect(txtdatabase_, &QLineEdit::textChanged, this, &FrmOptions::EnableCompact);
  connect(stab_, &QTabWidget::currentChanged, this, [this](int tab) {
    if (tab == kLevelsTab) LoadLevels();
  });
}

void FrmOptions::BuildDefaultsTab() {
  auto* tab = new QWidget;
  auto* sorting = new QGroupBox("List sort field", tab);
  cmbSorting_ = Named(new QComboBox(sorting), "cmbSorting");
  for (std::string_view field : kSortFields) cmbSorting_->addItem(ToQt(field));
  optSortOrder_[0] = Named(new QRadioButton("Ascending", sorting), "optSortOrder0");
  optSortOrder_[1] = Named(new QRadioButton("Descending", sorting), "optSortOrder1");
  auto* sorting_layout = new QVBoxLayout(sorting);
  sorting_layout->addWidget(cmbSorting_);
  sorting_layout->addWidget(optSortOrder_[0]);
  sorting_layout->addWidget(optSortOrder_[1]);

  auto* compare = new QGroupBox("Compare most recent data with", tab);
  cmbCompare_ = Named(new QComboBox(compare), "cmbCompare");
  for (std::string_view choice : kCompareChoices) cmbCompare_->addItem(ToQt(choice));
  (new QVBoxLayout(compare))->addWidget(cmbCompare_);

  chkDiskAtStartup_ = Named(new QCheckBox("Show disk usage at startup", tab), "chkDiskAtStartup");
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(sorting);
  layout->addWidget(compare);
  layout->addWidget(chkDiskAtStartup_);
  layout->addStretch();
  stab_->addTab(tab, "Defaults");
}

void FrmOptions::BuildSchedulingTab() {
  // Never shown and never read: scheduling is left to the system's own scheduler.
  auto* tab = new QWidget;
  auto* days = new QGroupBox("Days of week", tab);
  auto* days_layout = new QVBoxLayout(days);
  for (int i = 0; i < 7; ++i) {
    auto* day = new QCheckBox(ToQt(kWeekdays[i]), days);
    day->setObjectName("chkDow" + QString::number(i));
    days_layout->addWidget(day);
  }
  auto* meTime = Named(new QLineEdit(tab), "meTime");
  meTime->setInputMask("99:99");
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(new QLabel("Schedule Brontal to run on all registered nodes on, at...", tab));
  layout->addWidget(days);
  layout->addWidget(new QLabel("Time (24-hour):", tab));
  layout->addWidget(meTime);
  layout->addWidget(new QLabel("This tab not yet implemented", tab));
  layout->addStretch();
  stab_->addTab(tab, "Scheduling");
}

void FrmOptions::BuildPurgingTab() {
  auto* tab = new QWidget;
  // A period box with its spin button in a frame; the box changes only through the button.
  auto period_frame = [&](int index, const char* title) {
    auto* frame = new QGroupBox(title, tab);
    period_[index] = new QLineEdit(frame);
    period_[index]->setObjectName("period" + QString::number(index));
    period_[index]->setReadOnly(true);
    QWidget* spin =
        MakeSpinButton("spnPeriod" + QString::number(index), frame, [this, index](int step) {
          period_[index]->setText(
              ToQt(SpinPeriod(FromQt(period_[index]->text()), step, kPeriodUnits[index])));
        });
    auto* row = new QHBoxLayout(frame);
    row->addWidget(period_[index]);
    row->addWidget(spin);
    return std::pair{frame, row};
  };
  auto [everything, everything_row] = period_frame(2, "Delete everything older than");
  auto [weekly, weekly_row] = period_frame(1, "Retain weekly data for");
  cmbFirstDay_ = Named(new QComboBox(weekly), "cmbFirstDay");
  for (std::string_view day : kWeekdays) cmbFirstDay_->addItem(ToQt(day));
  weekly_row->addWidget(new QLabel("Day of week to keep:", weekly));
  weekly_row->addWidget(cmbFirstDay_);
  auto [daily, daily_row] = period_frame(0, "Retain daily data for");
  (void)everything_row;
  (void)daily_row;

  cmdDoitnow_ = Named(new QPushButton("&Do it now", tab), "cmdDoitnow");
  connect(cmdDoitnow_, &QPushButton::clicked, this, &FrmOptions::DoItNowClicked);
  pbarchive_ = Named(new QProgressBar(tab), "pbarchive");
  pbarchive_->setRange(0, 100);
  pbarchive_->hide();
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(everything);
  layout->addWidget(weekly);
  layout->addWidget(daily);
  auto* now = new QHBoxLayout;
  now->addWidget(cmdDoitnow_);
  now->addWidget(pbarchive_, 1);
  layout->addLayout(now);
  layout->addStretch();
  stab_->addTab(tab, "Purging");
}

void FrmOptions::BuildLevelsTab() {
  auto* tab = new QWidget;
  lvDl_ = Named(new QTreeWidget(tab), "lvDl");
  lvDl_->setRootIsDecorated(false);
  lvDl_->setHeaderLabels({"Computer", "Levels"});
  connect(lvDl_, &QTreeWidget::currentItemChanged, this, [this] { ShowLevelExample(); });
  QWidget* spnDl = MakeSpinButton("spnDl", tab, [this](int step) { SpinLevelBy(step); });
  lblExample_ = Named(new QLabel(tab), "lblExample");
  auto* layout = new QGridLayout(tab);
  layout->addWidget(new QLabel("Depth of directories recorded:", tab), 0, 0, 1, 3);
  layout->addWidget(lvDl_, 1, 0, 1, 3);
  layout->addWidget(new QLabel("Level", tab), 2, 0);
  layout->addWidget(spnDl, 2, 1, Qt::AlignLeft);
  layout->addWidget(new QLabel("Example:", tab), 3, 0);
  layout->addWidget(lblExample_, 3, 1, 1, 2);
  layout->setColumnStretch(2, 1);
  stab_->addTab(tab, "Directory levels");
}

void FrmOptions::BuildDatabaseTab() {
  auto* tab = new QWidget;
  txtdatabase_ = Named(new QLineEdit(tab), "txtdatabase");
  auto* cmdBrowse = Named(new QPushButton("&Browse...", tab), "cmdBrowse");
  connect(cmdBrowse, &QPushButton::clicked, this, &FrmOptions::BrowseClicked);
  cmdCompact_ = Named(new QPushButton("&Compact and Repair Database", tab), "cmdCompact");
  connect(cmdCompact_, &QPushButton::clicked, this, &FrmOptions::CompactClicked);
  lblDBsize_ = Named(new QLabel(tab), "lblDBsize");
  lblDatabaseChangeNote_ = Named(
      new QLabel("To change the path to the database file, please edit dbloc.txt on all servers",
                 tab),
      "lblDatabaseChangeNote");
  lblDatabaseChangeNote_->setWordWrap(true);
  auto* file = new QHBoxLayout;
  file->addWidget(txtdatabase_, 1);
  file->addWidget(cmdBrowse);
  auto* layout = new QVBoxLayout(tab);
  layout->addWidget(new QLabel("Database file:", tab));
  layout->addLayout(file);
  layout->addWidget(cmdCompact_, 0, Qt::AlignLeft);
  layout->addWidget(lblDBsize_);
  layout->addWidget(lblDatabaseChangeNote_);
  layout->addStretch();
  stab_->addTab(tab, "Database");
}

ViewerDefaults FrmOptions::ShownDefaults() const {
  return {.compare_when = cmbCompare_->currentIndex(),
          .list_sort_key = cmbSorting_->currentIndex(),
          .list_sort_order =
              optSortOrder_[0]->isChecked() ? SortOrder::kAscending : SortOrder::kDescending,
          .show_disk_at_startup = chkDiskAtStartup_->isChecked()};
}

PurgeRules FrmOptions::ShownPurgeRules() const {
  PurgeRules rules;
  for (int i = 0; i < 3; ++i) rules.periods[i] = FromQt(period_[i]->text());
  rules.first_day = cmbFirstDay_->currentIndex();
  return rules;
}

void FrmOptions::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (database_only_ && !asked_for_database_) {
    asked_for_database_ = true;
    // Queued, so that the dialog is painted behind the question.
    QTimer::singleShot(0, this, &FrmOptions::AskForDatabase);
  }
}

void FrmOptions::AskForDatabase() {
  std::string_view text = kDatabaseNotAccessibleText;
  if (client_.DbFilename().empty()) text = kNoDatabaseText;
  if (host_) text = kOpenDatabaseNotAccessibleText;
  if (!questions_.OkCancel(text, kViewerTitle, MessageIcon::kCritical)) reject();
}

void FrmOptions::reject() {
  // Only at start-up does nothing chosen mean nothing to show: a running viewer keeps the
  // database it has open, even when the file has gone from where the settings say it is.
  if (database_only_ && !host_) quit_viewer_ = true;
  QDialog::reject();
}

void FrmOptions::QuitBrontal() {
  quit_viewer_ = true;
  QDialog::reject();
}

bool FrmOptions::FileExists(const std::string& path) const { return client_.FileExists(path); }

void FrmOptions::ShowError(const std::string& operation) {
  const std::string description = DescribeError(std::current_exception()).second;
  client_.services().message_box.Show(description + " in " + operation, kViewerTitle);
}

void FrmOptions::UpdateDBSize() {
  lblDBsize_->clear();
  lblDBsize_->setText(ToQt(DbSizeTextOf(files_, FromQt(txtdatabase_->text()))));
}

void FrmOptions::EnableCompact() {
  cmdCompact_->setEnabled(FromQt(txtdatabase_->text()) == client_.DbFilename());
}

void FrmOptions::LoadLevels() {
  if (levels_loaded_ || !client_.IsOpen()) return;
  lvDl_->header()->resizeSection(0, 160);
  lvDl_->header()->resizeSection(1, 80);
  lvDl_->clear();
  try {
    BusyWhile busy(client_.services().pointer);
    levels_ = ReadDirectoryLevels(client_.database());
  } catch (...) {
    levels_.clear();
    ShowError("stab_Click");
    return;
  }
  levels_loaded_ = true;
  levels_read_ = levels_;
  default_depth_ = DefaultDepthOf(levels_, 0);
  for (const LevelRow& row : levels_) {
    auto* item = new QTreeWidgetItem(lvDl_, {ToQt(row.computer), ToQt(row.levels)});
    item->setData(0, Qt::UserRole, ToQt(row.key));
  }
  if (lvDl_->topLevelItemCount() > 0) lvDl_->setCurrentItem(lvDl_->topLevelItem(0));
}

void FrmOptions::ShowLevelExample() {
  const int index = lvDl_->indexOfTopLevelItem(lvDl_->currentItem());
  if (index < 0 || index >= static_cast<int>(levels_.size())) return;
  default_depth_ = DefaultDepthOf(levels_, default_depth_);
  try {
    std::optional<std::string> example =
        LevelExample(levels_[index].levels, default_depth_, client_.services().settings);
    lblExample_->setText(example ? ToQt(*example) : QString());
  } catch (const std::exception&) {
    client_.services().message_box.Show("err in lvdl_click", kViewerTitle);
  }
}

void FrmOptions::SpinLevelBy(int step) {
  QTreeWidgetItem* item = lvDl_->currentItem();
  const int index = lvDl_->indexOfTopLevelItem(item);
  if (index < 0 || index >= static_cast<int>(levels_.size())) return;
  default_depth_ = DefaultDepthOf(levels_, default_depth_);
  levels_[index].levels = SpinLevel(levels_[index], step, default_depth_);
  item->setText(1, ToQt(levels_[index].levels));
  ShowLevelExample();
}

void FrmOptions::DoItNowClicked() {
  if (!client_.IsOpen()) return;
  pbarchive_->setValue(5);
  pbarchive_->show();
  cmdDoitnow_->hide();
  // Repaint the bar as the purge goes; user input waits, so nothing else starts meanwhile.
  auto progress = [this](int percent) {
    pbarchive_->setValue(percent);
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  };
  try {
    const ClientServices& services = client_.services();
    {
      BusyWhile busy(services.pointer);
      DoItNow(client_.workspace(), client_.database(), ShownPurgeRules(), services.clock,
              services.locale, services.settings, progress);
      client_.ReloadPeriodDates();
    }
    // The main window shows its own busy pointer while it rebuilds, and none over the message
    // it shows when no period is left.
    if (host_) host_->ReloadPeriods();
  } catch (...) {
    ShowError("cmdDoitnow_Click");
  }
  cmdDoitnow_->show();
  pbarchive_->hide();
}

void FrmOptions::BrowseClicked() {
  try {
    const std::string current = FromQt(txtdatabase_->text());
    std::optional<std::string> chosen =
        open_file_.Ask({.title = "Open Brontal Database",
                        .filter = "Access databases(*.mdb)|*.mdb",
                        .initial_name = current.empty() ? "brontal.mdb" : current,
                        .default_extension = ".mdb"});
    if (!chosen) return;
    if (!FileExists(*chosen)) {
      client_.services().message_box.Show("Specified database file does not exist", kViewerTitle);
      return;
    }
    txtdatabase_->setText(ToQt(*chosen));
    UpdateDBSize();
  } catch (...) {
    ShowError("cmdBrowse_Click");
  }
}

void FrmOptions::CompactClicked() {
  if (client_.DbFilename().empty()) return;
  Client::OpenOutcome outcome = Client::OpenOutcome::kFailed;
  try {
    outcome = client_.CompactAndReopen();
  } catch (...) {
    ShowError("cmdCompact_Click");
  }
  client_.services().pointer.Restore();
  // Without its database the viewer cannot go on.
  if (outcome != Client::OpenOutcome::kOpened || !client_.IsOpen()) {
    QuitBrontal();
    return;
  }
  UpdateDBSize();
}

void FrmOptions::OkClicked() {
  Settings& settings = client_.services().settings;
  try {
    if (stab_->isTabEnabled(kDefaultsTab)) {
      const ViewerDefaults defaults = ShownDefaults();
      if (SaveViewerDefaults(settings, defaults) && host_) host_->ReloadPeriods();
      if (host_ && host_->ListHasColumns()) {
        host_->SetListSort({defaults.list_sort_key, defaults.list_sort_order});
      }
    }
    if (stab_->isTabEnabled(kPurgingTab)) SavePurgeRules(settings, ShownPurgeRules());
    // Only the rows the user changed: the others may have been set meanwhile by another
    // program, and the rows read when the tab opened would undo that.
    const std::vector<LevelRow> changed = ChangedLevels(levels_read_, levels_);
    if (stab_->isTabEnabled(kLevelsTab) && levels_loaded_ && client_.IsOpen() && !changed.empty()) {
      BusyWhile busy(client_.services().pointer);
      SaveDirectoryLevels(client_.workspace(), client_.database(), changed);
      levels_read_ = levels_;
    }
  } catch (...) {
    // The dialog stays open, so that the user can try again or cancel.
    ShowError("cmdOK_Click");
    return;
  }

  const std::string path = FromQt(txtdatabase_->text());
  if (!FileExists(path)) {
    if (questions_.OkCancel(kNoSuchFileText, "No such file!", MessageIcon::kCritical)) {
      stab_->setCurrentIndex(kDatabaseTab);
    } else {
      QuitBrontal();
    }
    return;
  }
  if (client_.IsOpen()) {
    // The file the dialog shows and acts on is the one the viewer has open: another one is
    // taken only together with the connection, and the main window shows it at once.
    if (path != client_.DbFilename()) {
      if (client_.SwitchDatabase(path) != Client::OpenOutcome::kOpened) {
        // The client has said why; the viewer and the setting stay on the open database, and
        // the user may choose another file or cancel.
        stab_->setCurrentIndex(kDatabaseTab);
        return;
      }
      if (host_) host_->ShowNewDatabase();
    }
  } else {
    // Start-up: the viewer opens the file once the dialog has closed.
    client_.SetDbFilename(path);
    settings.Set("Options", "dbFilename", path);
  }
  accept();
}

}  // namespace brontal
