// The Options dialog on the offscreen platform, over a real database: what it shows with nothing
// stored, its spin buttons, the levels it stores, the database-only mode, OK's path check and
// what OK saves, another database taken with OK, Do it now, Browse and Compact.
#include "viewer/frmOptions/frm_options.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "platform/open_file_dialog.h"
#include "platform/qt_file_filters.h"
#include "platform/qt_open_file_dialog.h"
#include "platform/qt_question_box.h"
#include "platform/question_box.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/qtest_main.h"
#include "report/levels_example.h"
#include "viewer/client.h"
#include "viewer/options_host.h"
#include "viewer/periods.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

// The main window as the dialog sees it.
class RecordingHost : public OptionsHost {
 public:
  explicit RecordingHost(const RecordingBusyPointer& pointer) : pointer_(pointer) {}

  void ReloadPeriods() override {
    ++reloads;
    busy_at_reload.push_back(pointer_.busy);
  }
  void ShowNewDatabase() override { ++new_databases; }
  bool ListHasColumns() const override { return has_columns; }
  void SetListSort(ListSort sort) override { sorts.push_back(sort); }

  int reloads = 0;
  std::vector<bool> busy_at_reload;  // whether the busy pointer showed, at each reload
  int new_databases = 0;
  bool has_columns = true;
  std::vector<ListSort> sorts;

 private:
  const RecordingBusyPointer& pointer_;
};

// The viewer around the fixture database, with recording services.
struct Viewer {
  Viewer() {
    data.database->Close();
    data.database.reset();
    settings.Set("Options", "dbFilename", data.path);
  }
  // Opens the database as the viewer's start-up does.
  void Open() { QCOMPARE(client.OpenSizeDatabase({}), Client::OpenOutcome::kOpened); }

  testing::ViewerDatabase data;
  MemorySettings settings;
  FixedLocale locale;
  RecordingMessageBox message_box;
  RecordingBusyPointer pointer;
  LinuxFileOperations file_operations;
  RecordingShell shell;
  MemoryClipboard clipboard;
  Client client{{*data.engine, settings, data.clock, locale, message_box, pointer, file_operations,
                 shell, clipboard,
                 [](const std::string& path) { return std::filesystem::is_regular_file(path); }}};
  ScriptedQuestionBox questions;
  ScriptedOpenFileDialog open_file;
  LinuxFileSystem files;
  RecordingHost host{pointer};
};

template <typename Widget = QWidget>
Widget* Find(QWidget& dialog, const char* name) {
  auto* widget = dialog.findChild<Widget*>(name);
  if (!widget) qFatal("no control %s", name);
  return widget;
}

void Spin(QWidget& dialog, const char* spin, const char* direction) {
  Find(dialog, spin)->findChild<QToolButton*>(direction)->click();
}

QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Whether a program could now open the file exclusively, as the maintenance tool does: false
// while any connection, the viewer's included, holds it.
bool NobodyHolds(const std::string& path) {
  auto engine = db::MakeSqliteEngine();
  try {
    engine->DefaultWorkspace().OpenDatabase(path, /*exclusive=*/true)->Close();
    return true;
  } catch (const db::DbError&) {
    return false;
  }
}

// Each node's Levels in Todo, the default row under kDefaultNodeName.
std::map<std::string, std::int64_t> StoredLevels(db::Database& database) {
  std::map<std::string, std::int64_t> levels;
  auto todo =
      database.OpenRecordset("select Nodename, Levels from Todo", db::RecordsetType::kSnapshot);
  for (; !todo->Eof(); todo->MoveNext()) {
    levels[todo->Field("Nodename").AsText()] = todo->Field("Levels").AsInt64();
  }
  return levels;
}

}  // namespace

class FrmOptionsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    viewer_ = std::make_unique<Viewer>();
    viewer_->Open();
  }
  void cleanup() {
    dialog_.reset();
    viewer_.reset();
  }

  void opensOnTheDefaultsWithNothingStored() {
    FrmOptions& dialog = Make();
    QCOMPARE(dialog.windowTitle(), QString("Options"));
    auto* stab = Find<QTabWidget>(dialog, "stab");
    QCOMPARE(stab->currentIndex(), 0);
    QVERIFY(!stab->isTabVisible(FrmOptions::kSchedulingTab));
    QCOMPARE(stab->tabText(3), QString("Directory levels"));
    QCOMPARE(Find<QComboBox>(dialog, "cmbCompare")->currentText(), QString("When last looked"));
    QCOMPARE(Find<QComboBox>(dialog, "cmbSorting")->currentText(), QString("Change"));
    QVERIFY(Find<QRadioButton>(dialog, "optSortOrder1")->isChecked());
    QVERIFY(!Find<QCheckBox>(dialog, "chkDiskAtStartup")->isChecked());
    QCOMPARE(Find<QLineEdit>(dialog, "period0")->text(), QString("6 weeks"));
    QCOMPARE(Find<QLineEdit>(dialog, "period1")->text(), QString("12 months"));
    QCOMPARE(Find<QLineEdit>(dialog, "period2")->text(), QString("730 days"));
    QCOMPARE(Find<QComboBox>(dialog, "cmbFirstDay")->currentText(), QString("Monday"));
    QVERIFY(Find<QProgressBar>(dialog, "pbarchive")->isHidden());
    QCOMPARE(Find<QLineEdit>(dialog, "txtdatabase")->text(), ToQt(viewer_->data.path));
    QCOMPARE(Find<QLabel>(dialog, "lblDBsize")->text(),
             ToQt(DbSizeText(
                 static_cast<std::int64_t>(std::filesystem::file_size(viewer_->data.path)))));
    QVERIFY(!Find(dialog, "lblDatabaseChangeNote")->isHidden());
  }

  void levelsSpinBetweenTwoAndNineAndStoreTheDefaultAsMinusOne() {
    FrmOptions& dialog = Make();
    Find<QTabWidget>(dialog, "stab")->setCurrentIndex(FrmOptions::kLevelsTab);
    auto* lvDl = Find<QTreeWidget>(dialog, "lvDl");
    auto* example = Find<QLabel>(dialog, "lblExample");
    QCOMPARE(lvDl->topLevelItemCount(), 3);
    QCOMPARE(lvDl->currentItem()->text(0), QString("<Default>"));
    QCOMPARE(example->text(), ToQt(LevelsExample(3, viewer_->settings)));

    QTreeWidgetItem* server2 = lvDl->topLevelItem(2);
    QCOMPARE(server2->text(1), QString("5"));
    lvDl->setCurrentItem(server2);
    for (const char* shown : {"4", "<Default>", "2", "2"}) {
      Spin(dialog, "spnDl", "down");
      QCOMPARE(server2->text(1), QString(shown));
    }
    QCOMPARE(example->text(), ToQt(LevelsExample(2, viewer_->settings)));
    Spin(dialog, "spnDl", "up");
    QCOMPARE(server2->text(1), QString("<Default>"));
    QCOMPARE(example->text(), ToQt(LevelsExample(3, viewer_->settings)));

    // Another tab and back keeps what was changed; OK stores it.
    Find<QTabWidget>(dialog, "stab")->setCurrentIndex(FrmOptions::kPurgingTab);
    Find<QTabWidget>(dialog, "stab")->setCurrentIndex(FrmOptions::kLevelsTab);
    QCOMPARE(lvDl->topLevelItem(2)->text(1), QString("<Default>"));
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    std::vector<LevelRow> stored = ReadDirectoryLevels(viewer_->client.database());
    QCOMPARE(stored[2].levels, std::string("<Default>"));
    auto todo = viewer_->client.database().OpenRecordset(
        "select Levels from Todo where Nodename='SERVER2'", db::RecordsetType::kSnapshot);
    QCOMPARE(todo->Field("Levels").AsInt64(), std::int64_t{-1});
  }

  void okWritesOnlyTheLevelsTheUserChanged() {
    FrmOptions& dialog = Make();
    Find<QTabWidget>(dialog, "stab")->setCurrentIndex(FrmOptions::kLevelsTab);
    auto* lvDl = Find<QTreeWidget>(dialog, "lvDl");
    // Up and down again on the default row is no change; SERVER1 goes from the default to 4.
    Spin(dialog, "spnDl", "up");
    Spin(dialog, "spnDl", "down");
    lvDl->setCurrentItem(lvDl->topLevelItem(1));
    Spin(dialog, "spnDl", "up");
    QCOMPARE(lvDl->topLevelItem(1)->text(1), QString("4"));

    // Meanwhile the configuration dialog sets the default and SERVER2, and a scanner of a new
    // node writes its row.
    {
      auto engine = db::MakeSqliteEngine();
      auto other = engine->DefaultWorkspace().OpenDatabase(viewer_->data.path);
      other->Execute("update Todo set Levels = 6 where Nodename = '" +
                     std::string(kDefaultNodeName) + "'");
      other->Execute("update Todo set Levels = 7 where Nodename = 'SERVER2'");
      other->Execute("insert into Todo (Nodename, DirParent, Levels) values ('SERVER3', 'R', -1)");
      other->Close();
    }
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(
        StoredLevels(viewer_->client.database()),
        (std::map<std::string, std::int64_t>{
            {std::string(kDefaultNodeName), 6}, {"SERVER1", 4}, {"SERVER2", 7}, {"SERVER3", -1}}));
  }

  void aLevelsExampleThatFailsIsReported() {
    viewer_->settings.Set("Options", "DLevelsExample1", "C:\\short");
    FrmOptions& dialog = Make();
    Find<QTabWidget>(dialog, "stab")->setCurrentIndex(FrmOptions::kLevelsTab);
    QCOMPARE(viewer_->message_box.shown, std::vector<std::string>{"err in lvdl_click"});
  }

  void databaseOnlyOffersTheDatabaseTabAndCancelQuits() {
    viewer_->client.CloseSizeDatabase();
    viewer_->client.SetDbFilename("");  // no dbloc.txt and nothing stored
    FrmOptions& dialog = Make(nullptr);
    auto* stab = Find<QTabWidget>(dialog, "stab");
    QVERIFY(dialog.DatabaseOnly());
    QCOMPARE(stab->currentIndex(), int(FrmOptions::kDatabaseTab));
    for (int tab = 0; tab < 4; ++tab) QVERIFY(!stab->isTabEnabled(tab));
    QVERIFY(Find(dialog, "cmdCompact")->isHidden());
    QVERIFY(Find(dialog, "lblDatabaseChangeNote")->isHidden());

    QCOMPARE(dialog.exec(), int(QDialog::Rejected));  // the script answers Cancel
    QVERIFY(dialog.QuitViewer());
    QCOMPARE(viewer_->questions.asked.size(), std::size_t{1});
    QCOMPARE(viewer_->questions.asked[0].text,
             std::string("You must now specify the location of the central Brontal database "
                         "file."));
    QCOMPARE(viewer_->questions.asked[0].icon, MessageIcon::kCritical);
  }

  void databaseOnlyInARunningViewerNeverQuits() {
    // The file has been moved away since the viewer opened it.
    const std::string moved = viewer_->data.folder / "moved.mdb";
    std::filesystem::rename(viewer_->data.path, moved);
    FrmOptions& dialog = Make();
    QVERIFY(dialog.DatabaseOnly());
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));  // the script answers Cancel
    QVERIFY(!dialog.QuitViewer());
    QCOMPARE(viewer_->questions.asked.at(0).text,
             std::string("Specified database file is not accessible.  OK to specify the database "
                         "filename, Cancel to go on with the database open now."));

    viewer_->questions.answers = {true};
    FrmOptions& again = Make();
    again.show();
    QTRY_COMPARE(viewer_->questions.asked.size(), std::size_t{2});
    QVERIFY(again.isVisible());
    Find<QPushButton>(again, "cmdCancel")->click();
    QVERIFY(!again.isVisible());
    QVERIFY(!again.QuitViewer());
    QVERIFY(viewer_->client.IsOpen());

    // Choosing the file where it lies now moves the viewer there.
    FrmOptions& chosen = Make();
    chosen.show();
    QTRY_COMPARE(viewer_->questions.asked.size(), std::size_t{3});
    Find<QLineEdit>(chosen, "txtdatabase")->setText(ToQt(moved));
    Find<QPushButton>(chosen, "cmdOK")->click();
    QCOMPARE(chosen.result(), int(QDialog::Accepted));
    QVERIFY(!chosen.QuitViewer());
    QCOMPARE(viewer_->client.DbFilename(), moved);
    QCOMPARE(viewer_->host.new_databases, 1);
  }

  void theDiskChartCheckBoxShowsItsSettingAndClearsIt() {
    viewer_->settings.Set("Options", "ShowDiskAtStartup", "1");
    FrmOptions& dialog = Make();
    auto* check = Find<QCheckBox>(dialog, "chkDiskAtStartup");
    QVERIFY(check->isChecked());
    check->click();
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(viewer_->settings.Get("Options", "ShowDiskAtStartup", ""), std::string("0"));
  }

  void databaseOnlyOkSavesOnlyThePath() {
    viewer_->client.CloseSizeDatabase();
    viewer_->client.SetDbFilename(viewer_->data.folder / "moved.mdb");
    viewer_->questions.answers = {true};
    FrmOptions& dialog = Make(nullptr);
    dialog.show();
    QTRY_COMPARE(viewer_->questions.asked.size(), std::size_t{1});
    QVERIFY(viewer_->questions.asked[0].text.starts_with(
        "Specified database file is not accessible.  OK to specify the database filename"));
    QVERIFY(dialog.isVisible());

    Find<QComboBox>(dialog, "cmbCompare")->setCurrentIndex(4);  // on a disabled tab
    Find<QLineEdit>(dialog, "txtdatabase")->setText(ToQt(viewer_->data.path));
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.QuitViewer());
    QCOMPARE(viewer_->client.DbFilename(), viewer_->data.path);
    QCOMPARE(viewer_->settings.Get("Options", "dbFilename", ""), viewer_->data.path);
    QCOMPARE(viewer_->settings.Get("Options", "CompareWhen", "unset"), std::string("unset"));
    QCOMPARE(viewer_->settings.Get("Archiving", "Period0", "unset"), std::string("unset"));
  }

  void okChecksThePathAndCancelQuits() {
    FrmOptions& dialog = Make();
    dialog.show();
    Find<QLineEdit>(dialog, "txtdatabase")->setText("/nowhere/brontal.mdb");
    viewer_->questions.answers = {true, false};
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(viewer_->questions.asked.at(0).title, std::string("No such file!"));
    QCOMPARE(viewer_->questions.asked.at(0).text,
             std::string("Specified database filename is not accessible.  OK to try again, "
                         "Cancel to quit Brontal."));
    QVERIFY(dialog.isVisible());
    QCOMPARE(Find<QTabWidget>(dialog, "stab")->currentIndex(), int(FrmOptions::kDatabaseTab));
    QVERIFY(!dialog.QuitViewer());

    Find<QPushButton>(dialog, "cmdOK")->click();
    QVERIFY(!dialog.isVisible());
    QVERIFY(dialog.QuitViewer());
    QCOMPARE(viewer_->settings.Get("Options", "dbFilename", ""), viewer_->data.path);
  }

  void okWithAnotherFileMovesTheViewerThereWithItsCompact() {
    const std::string other = viewer_->data.folder / "other.mdb";
    testing::CreateViewerDatabase(*viewer_->data.engine, other, "SERVER3");
    FrmOptions& dialog = Make();
    Find<QLineEdit>(dialog, "txtdatabase")->setText(ToQt(other));
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(viewer_->message_box.shown.empty());
    QCOMPARE(viewer_->client.DbFilename(), other);
    QCOMPARE(viewer_->settings.Get("Options", "dbFilename", ""), other);
    QCOMPARE(ReadDirectoryLevels(viewer_->client.database()).back().computer,
             std::string("SERVER3"));
    QCOMPARE(viewer_->host.new_databases, 1);
    QVERIFY(NobodyHolds(viewer_->data.path));
    QVERIFY(!NobodyHolds(other));

    // Opened again, the dialog shows the file in use, and Compact compacts that one.
    FrmOptions& again = Make();
    QCOMPARE(Find<QLineEdit>(again, "txtdatabase")->text(), ToQt(other));
    QCOMPARE(Find<QLabel>(again, "lblDBsize")->text(),
             ToQt(DbSizeText(static_cast<std::int64_t>(std::filesystem::file_size(other)))));
    Find<QPushButton>(again, "cmdCompact")->click();
    QVERIFY(std::filesystem::exists(viewer_->data.folder / "other.md2"));
    QVERIFY(!std::filesystem::exists(viewer_->data.folder / "brontal.md2"));
    QCOMPARE(viewer_->client.DbFilename(), other);
    QVERIFY(viewer_->client.IsOpen());
    QCOMPARE(viewer_->host.new_databases, 1);
  }

  void okWithAFileThatCannotBeOpenedKeepsTheDatabaseInUse() {
    const std::string damaged = viewer_->data.folder / "damaged.mdb";
    std::ofstream(damaged) << "no database at all";
    FrmOptions& dialog = Make();
    dialog.show();
    auto* txtdatabase = Find<QLineEdit>(dialog, "txtdatabase");
    txtdatabase->setText(ToQt(damaged));
    Find<QPushButton>(dialog, "cmdOK")->click();
    // The file got its one repair, then the message of start-up.
    QVERIFY(!viewer_->message_box.shown.empty());
    QVERIFY(viewer_->message_box.shown.back().ends_with(
        ".  Unable to open database, please try a compact/repair"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.QuitViewer());
    QCOMPARE(Find<QTabWidget>(dialog, "stab")->currentIndex(), int(FrmOptions::kDatabaseTab));
    QCOMPARE(viewer_->client.DbFilename(), viewer_->data.path);
    QCOMPARE(viewer_->settings.Get("Options", "dbFilename", ""), viewer_->data.path);
    QCOMPARE(ReadDirectoryLevels(viewer_->client.database()).size(), std::size_t{3});
    QCOMPARE(viewer_->host.new_databases, 0);
    QCOMPARE(testing::ReadWholeFile(damaged), std::string("no database at all"));
    QVERIFY(!viewer_->pointer.busy);
    // Compact would act on the open file, not on the one named.
    auto* compact = Find<QPushButton>(dialog, "cmdCompact");
    QVERIFY(!compact->isEnabled());

    // Back on the file in use, OK closes the dialog and leaves the connection as it is.
    txtdatabase->setText(ToQt(viewer_->data.path));
    QVERIFY(compact->isEnabled());
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(viewer_->host.new_databases, 0);
    QVERIFY(!NobodyHolds(viewer_->data.path));
  }

  void okSavesTheDefaultsAndTellsTheMainWindow() {
    FrmOptions& dialog = Make();
    Find<QComboBox>(dialog, "cmbCompare")->setCurrentIndex(2);
    Find<QComboBox>(dialog, "cmbSorting")->setCurrentIndex(3);
    Find<QRadioButton>(dialog, "optSortOrder0")->setChecked(true);
    Find<QCheckBox>(dialog, "chkDiskAtStartup")->setChecked(true);
    Spin(dialog, "spnPeriod1", "up");
    Find<QComboBox>(dialog, "cmbFirstDay")->setCurrentIndex(4);
    Find<QPushButton>(dialog, "cmdOK")->click();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    const Settings& settings = viewer_->settings;
    QCOMPARE(settings.Get("Options", "CompareWhen", ""), std::string("2"));
    QCOMPARE(settings.Get("Options", "ListSortKey", ""), std::string("3"));
    QCOMPARE(settings.Get("Options", "ListSortOrder", ""), std::string("0"));
    QCOMPARE(settings.Get("Options", "ShowDiskAtStartup", ""), std::string("1"));
    QCOMPARE(settings.Get("Archiving", "Period1", ""), std::string("13 months"));
    QCOMPARE(settings.Get("Archiving", "FirstDay", ""), std::string("4"));
    QCOMPARE(viewer_->host.reloads, 1);
    QCOMPARE(viewer_->host.sorts, (std::vector<ListSort>{{3, SortOrder::kAscending}}));

    // Unchanged, the comparison stays; a list without columns is left alone.
    viewer_->host.has_columns = false;
    FrmOptions& again = Make();
    Find<QPushButton>(again, "cmdOK")->click();
    QCOMPARE(viewer_->host.reloads, 1);
    QCOMPARE(viewer_->host.sorts.size(), std::size_t{1});
  }

  void doItNowPurgesAndReloadsThePeriods() {
    // Today is 7 Dec 2026: ten days keep P1 (6 Dec) and P2 (29 Nov) but not P0 (22 Nov).
    viewer_->settings.Set("Archiving", "Period2", "0 days");
    FrmOptions& dialog = Make();
    auto* period2 = Find<QLineEdit>(dialog, "period2");
    auto* button = Find<QPushButton>(dialog, "cmdDoitnow");
    button->click();  // refused: it would delete everything
    QCOMPARE(viewer_->message_box.shown.size(), std::size_t{1});
    QVERIFY(viewer_->message_box.shown[0].ends_with(" in cmdDoitnow_Click"));
    QCOMPARE(LoadPeriodDates(viewer_->client.database()).size(), std::size_t{3});
    QVERIFY(!button->isHidden());
    QVERIFY(Find(dialog, "pbarchive")->isHidden());

    for (int press = 0; press < 10; ++press) Spin(dialog, "spnPeriod2", "up");
    QCOMPARE(period2->text(), QString("10 days"));
    button->click();
    QCOMPARE(viewer_->message_box.shown.size(), std::size_t{1});
    QCOMPARE(LoadPeriodDates(viewer_->client.database()),
             (std::vector<DateTime>{testing::kP1, testing::kP2}));
    QCOMPARE(viewer_->client.PeriodCount(), 2);
    QCOMPARE(viewer_->host.reloads, 1);
    // The main window may show a message then: not under the purge's busy pointer.
    QCOMPARE(viewer_->host.busy_at_reload, std::vector<bool>{false});
    QVERIFY(!viewer_->settings.Get("Archiving", "LastDone", "").empty());
    QVERIFY(!button->isHidden());
    QVERIFY(Find(dialog, "pbarchive")->isHidden());
    QVERIFY(!viewer_->pointer.busy);
  }

  void browseTakesOnlyAFileThatExists() {
    FrmOptions& dialog = Make();
    auto* txtdatabase = Find<QLineEdit>(dialog, "txtdatabase");
    const std::string other = viewer_->data.folder / "other.mdb";
    std::filesystem::copy_file(viewer_->data.path, other);
    viewer_->open_file.answers = {viewer_->data.folder / "missing.mdb", other};
    Find<QPushButton>(dialog, "cmdBrowse")->click();
    QCOMPARE(viewer_->message_box.shown,
             std::vector<std::string>{"Specified database file does not exist"});
    QCOMPARE(txtdatabase->text(), ToQt(viewer_->data.path));
    const OpenFileRequest& request = viewer_->open_file.requests.at(0);
    QCOMPARE(request.title, std::string("Open Brontal Database"));
    QCOMPARE(request.filter, std::string("Access databases(*.mdb)|*.mdb"));
    QCOMPARE(request.initial_name, viewer_->data.path);
    QCOMPARE(request.default_extension, std::string(".mdb"));

    Find<QPushButton>(dialog, "cmdBrowse")->click();
    QCOMPARE(txtdatabase->text(), ToQt(other));
    QCOMPARE(Find<QLabel>(dialog, "lblDBsize")->text(),
             ToQt(DbSizeText(static_cast<std::int64_t>(std::filesystem::file_size(other)))));

    txtdatabase->clear();
    Find<QPushButton>(dialog, "cmdBrowse")->click();  // cancelled
    QCOMPARE(viewer_->open_file.requests.at(2).initial_name, std::string("brontal.mdb"));
    QVERIFY(txtdatabase->text().isEmpty());
  }

  void compactReopensTheDatabaseOrEndsTheViewer() {
    FrmOptions& dialog = Make();
    dialog.show();
    Find<QPushButton>(dialog, "cmdCompact")->click();
    QVERIFY(viewer_->client.IsOpen());
    QVERIFY(std::filesystem::exists(viewer_->data.folder / "brontal.md2"));  // the backup
    QVERIFY(!viewer_->pointer.busy);
    QVERIFY(dialog.isVisible());

    // The file has gone from under the viewer: nothing can be opened again.
    std::filesystem::remove(viewer_->data.path);
    Find<QPushButton>(dialog, "cmdCompact")->click();
    QVERIFY(!viewer_->client.IsOpen());
    QVERIFY(dialog.QuitViewer());
    QVERIFY(!dialog.isVisible());
  }

  void qtQuestionBoxAnswersOkOrCancel() {
    QtQuestionBox box;
    for (auto [answer, expected] :
         {std::pair{QMessageBox::Ok, true}, std::pair{QMessageBox::Cancel, false}}) {
      const QMessageBox::StandardButton button = answer;
      QString title;
      QTimer::singleShot(0, [&title, button] {
        auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!shown) return;
        title = shown->windowTitle();
        shown->button(button)->click();
      });
      QCOMPARE(box.OkCancel("Go on?", "Brontal", MessageIcon::kCritical), expected);
      QCOMPARE(title, QString("Brontal"));
    }
    QCOMPARE(QtNameFilters("Access databases(*.mdb)|*.mdb"),
             QStringList{"Access databases (*.mdb)"});
    QVERIFY_THROWS_EXCEPTION(std::invalid_argument, QtNameFilters("Access databases"));
  }

 private:
  // A fresh dialog over the viewer; host null for the one of start-up.
  FrmOptions& Make(OptionsHost* host) {
    dialog_ = std::make_unique<FrmOptions>(viewer_->client, host, viewer_->questions,
                                           viewer_->open_file, viewer_->files);
    return *dialog_;
  }
  FrmOptions& Make() { return Make(&viewer_->host); }

  std::unique_ptr<Viewer> viewer_;
  std::unique_ptr<FrmOptions> dialog_;
};

}  // namespace brontal

// The test's own configuration folder, made before the application reads it.
int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmOptionsTest>(argc, argv);
}
#include "frm_options_test.moc"
