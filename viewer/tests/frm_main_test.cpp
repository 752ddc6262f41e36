// The main window on a real database file: start-up, tree and list, navigation, periods, copy,
// popups, splitter, placement, another database chosen in Options, a purge that leaves nothing,
// names that differ only in case, a database on a share, the disk usage window; the splash, the
// About box, the single-instance rule and the viewer's exit status.
#include "viewer/frmMain/frm_main.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/busy_pointer.h"
#include "platform/clipboard.h"
#include "platform/colour_dialog.h"
#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "platform/message_box.h"
#include "platform/printing/progress_window.h"
#include "platform/testing/recording_printer.h"
#include "platform/printing/save_file_dialog.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/qtest_main.h"
#include "platform/testing/temp_folder.h"
#include "report/report_builder.h"
#include "store/schema.h"
#include "viewer/client.h"
#include "viewer/frmDiskGraph/frm_disk_graph.h"
#include "viewer/frmDiskUsage/frm_disk_usage.h"
#include "viewer/frmGraph/frm_graph.h"
#include "viewer/frmOptions/frm_options.h"
#include "viewer/frm_about.h"
#include "viewer/frm_startup.h"
#include "viewer/period_pickers.h"
#include "viewer/periods.h"
#include "viewer/run_viewer.h"
#include "viewer/single_instance.h"
#include "viewer/tests/print_dialog_driver.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using testing::Click;
using testing::kP0;
using testing::kP1;
using testing::kP2;
using testing::WithPrintDialog;

// Everything a main window needs, fakes where the desktop would answer, a real database file.
struct Viewer {
  explicit Viewer(bool fill = true) {
    database_path = folder / "brontal.mdb";
    if (fill) {
      testing::CreateViewerDatabase(*engine, database_path);
    } else {
      CreateBrontalDatabase(*engine, database_path, 3);
    }
    settings.Set("Options", "dbFilename", database_path);
    // P2 is the second most recent period unless a test says otherwise.
    settings.Set("Options", "CompareWhen", "1");
  }

  // A fresh window over the same settings and database, as when the viewer starts again.
  FrmMain& NewWindow() {
    window = std::make_unique<FrmMain>(
        client, OptionsDialogs{questions, open_file, file_system, &colours}, folder.path().string(),
        PrintServices{printer, save_dialog, progress, print_state,
                      [this] { return printer.Sent().empty() ? std::string() : pdf_file; }});
    return *window;
  }

  template <typename T>
  T* Find(const char* name) {
    return window->findChild<T*>(name);
  }
  QTreeWidget* Tree() { return Find<QTreeWidget>("t"); }
  QTreeWidget* List() { return Find<QTreeWidget>("l"); }

  testing::TempFolder folder;
  // Where \\node\share paths resolve, as /net does on a real machine.
  std::string unc_root = folder / "net";
  std::string database_path;
  FixedClock clock{DateTime::FromCivil(2026, 12, 7, 9, 30)};
  std::unique_ptr<db::Engine> engine = db::MakeSqliteEngine({.clock = &clock});
  MemorySettings settings;
  FixedLocale locale;
  RecordingMessageBox messages;
  RecordingBusyPointer pointer;
  LinuxFileOperations file_operations;
  RecordingShell shell;
  MemoryClipboard clipboard;
  ScriptedQuestionBox questions;
  ScriptedOpenFileDialog open_file;
  ScriptedColourDialog colours;
  LinuxFileSystem file_system{unc_root};
  RecordingPrinter printer;
  ScriptedSaveFileDialog save_dialog;
  RecordingProgressWindow progress;
  PrintState print_state;
  // What the printer says it wrote once it has sent a document, as a printer without a device
  // writes PDF files.
  std::string pdf_file;
  // Wired as brontalc wires it.
  Client client{{*engine, settings, clock, locale, messages, pointer, file_operations, shell,
                 clipboard,
                 [](const std::string& path) { return std::filesystem::is_regular_file(path); },
                 [this](const std::string& path) { return NativePathOf(path, unc_root); }}};
  std::unique_ptr<FrmMain> window;
};

std::string Key(const QTreeWidgetItem* item) {
  return item->data(0, FrmMain::kKeyRole).toString().toStdString();
}

// The rows of a list as "name|change|size1|size2", blanks removed, in display order.
QStringList Rows(const QTreeWidget& list) {
  QStringList rows;
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    QStringList cells;
    for (int column = 0; column < list.columnCount(); ++column) {
      cells << list.topLevelItem(i)->text(column).trimmed();
    }
    rows << cells.join('|');
  }
  return rows;
}

QTreeWidgetItem* RowNamed(const QTreeWidget& list, const QString& name) {
  for (int i = 0; i < list.topLevelItemCount(); ++i) {
    if (list.topLevelItem(i)->text(0) == name) return list.topLevelItem(i);
  }
  return nullptr;
}

// Gives a control the focus, whether or not the offscreen window is the active one.
void Focus(QWidget* widget) {
  widget->setFocus();
  if (!widget->hasFocus()) {
    QFocusEvent event(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(widget, &event);
  }
}

// A click on a row as the user makes it: selected, then reported as clicked.
void ClickRow(QTreeWidget& view, QTreeWidgetItem* item) {
  view.setCurrentItem(item);
  emit view.itemClicked(item, 0);
}

// Tools > Options... with `step` run on the dialog once it is up; a dialog the step leaves open
// is cancelled, so that the test goes on.
void WithOptions(FrmMain& window, const std::function<void(FrmOptions&)>& step) {
  QTimer::singleShot(0, &window, [&window, &step] {
    auto* dialog = window.findChild<FrmOptions*>("frmOptions");
    QVERIFY(dialog && dialog->isVisible());
    step(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  window.findChild<QAction*>("mnuToolsOptions")->trigger();
}

// The periods stored in a database file, read through a connection of their own.
std::vector<DateTime> PeriodsOf(const std::string& path) {
  auto engine = db::MakeSqliteEngine();
  auto database = engine->DefaultWorkspace().OpenDatabase(path);
  std::vector<DateTime> periods = LoadPeriodDates(*database);
  database->Close();
  return periods;
}

// The texts of the root's children in the tree, in order.
QStringList Nodes(const QTreeWidget& tree) {
  QStringList nodes;
  if (tree.topLevelItemCount() == 0) return nodes;
  for (int i = 0; i < tree.topLevelItem(0)->childCount(); ++i) {
    nodes << tree.topLevelItem(0)->child(i)->text(0);
  }
  nodes.sort();
  return nodes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void ClickHeader(QTreeWidget& list, int column) {
  QHeaderView* header = list.header();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

}  // namespace

class FrmMainTest : public QObject {
  Q_OBJECT

 private slots:
  void startShowsTreeOfBothPeriodsAndListsRoot() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QVERIFY(viewer.messages.shown.empty());
    QVERIFY(!viewer.pointer.busy);
    for (QWidget* top : QApplication::topLevelWidgets()) {
      QVERIFY(!(qobject_cast<FrmStartup*>(top) && top->isVisible()));
    }

    QTreeWidget* tree = viewer.Tree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QString("All"));
    QCOMPARE(Key(root), std::string("r"));
    QCOMPARE(root->data(0, FrmMain::kImageRole).toString(), QString("masterroot"));
    QVERIFY(root->isExpanded());
    QVERIFY(root->isSelected());
    QCOMPARE(root->childCount(), 2);
    QTreeWidgetItem* server1 =
        root->child(0)->text(0) == "SERVER1" ? root->child(0) : root->child(1);
    QCOMPARE(Key(server1), std::string("r\\server1"));
    QCOMPARE(server1->data(0, FrmMain::kImageRole).toString(), QString("cclosed"));
    QCOMPARE(server1->data(0, FrmMain::kSelectedImageRole).toString(), QString("copen"));
    QVERIFY(!server1->icon(0).isNull());
    QCOMPARE(server1->childCount(), 1);
    QTreeWidgetItem* drive = server1->child(0);
    QCOMPARE(drive->text(0), QString("C:"));
    QCOMPARE(drive->data(0, FrmMain::kImageRole).toString(), QString("dclosed"));
    // New lies in P1 only and Old in P2 only: the tree holds the parents of either period.
    QStringList directories;
    for (int i = 0; i < drive->childCount(); ++i) {
      directories << drive->child(i)->text(0);
      QCOMPARE(drive->child(i)->data(0, FrmMain::kImageRole).toString(), QString("fclosed"));
      QCOMPARE(drive->child(i)->data(0, FrmMain::kSelectedImageRole).toString(), QString("fopen"));
    }
    directories.sort(Qt::CaseInsensitive);
    QCOMPARE(directories, QStringList({"New", "Old", "Users", "WINNT"}));

    // The root's list: one row per node with its total, computer icons, sorted by change
    // descending as the settings' defaults say.
    QTreeWidget* list = viewer.List();
    QCOMPARE(window.ListedKey(), std::string("r"));
    QCOMPARE(window.StatusText(), QString());
    QCOMPARE(list->headerItem()->text(0), QString("Name"));
    QCOMPARE(list->headerItem()->text(1), QString("Change MB"));
    QCOMPARE(list->headerItem()->text(2), QString("Size MB (P1)"));
    QCOMPARE(list->headerItem()->text(3), QString("Size MB (P2)"));
    QCOMPARE(Rows(*list), QStringList({"SERVER1|2|1,015|1,013", "SERVER2|0|2,000|2,000"}));
    QCOMPARE(list->topLevelItem(0)->text(2), QString("1,015"));
    QCOMPARE(list->topLevelItem(0)->data(0, FrmMain::kIconRole).toString(), QString("cclosed"));
    QCOMPARE(window.ListSortState(), (ListSort{1, SortOrder::kDescending}));
    QCOMPARE(viewer.Find<QComboBox>("p1")->currentIndex(), 0);
    QCOMPARE(viewer.Find<QComboBox>("p2")->currentIndex(), 1);
  }

  void nodeListsDrivesAndDirectoriesOfOnePeriod() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QTreeWidget* list = viewer.List();

    window.FindT("R\\SERVER1");
    QCOMPARE(window.ListedKey(), std::string("r\\server1"));
    QCOMPARE(window.StatusText(), QString("server1"));
    QCOMPARE(Rows(*list), QStringList({"C:|2|1,015|1,013"}));
    QCOMPARE(Key(list->topLevelItem(0)), std::string("r\\server1\\c:"));
    QCOMPARE(list->topLevelItem(0)->data(0, FrmMain::kIconRole).toString(), QString("dclosed"));
    QCOMPARE(Key(viewer.Tree()->currentItem()), std::string("r\\server1"));

    window.FindT("r\\server1\\c:");
    QTreeWidgetItem* added = RowNamed(*list, "New");
    QTreeWidgetItem* removed = RowNamed(*list, "Old");
    QVERIFY(added && removed);
    QCOMPARE(added->data(0, FrmMain::kIconRole).toString(), QString("fclosed"));
    // Present only in P1: the whole size is growth; only in P2: all of it is lost.
    QCOMPARE(added->text(1), QString("10 "));
    QCOMPARE(added->text(3), QString());
    QCOMPARE(removed->text(1), QString("12-"));
    QCOMPARE(removed->text(2), QString());
    QVERIFY(RowNamed(*list, "."));

    // A place the tree does not hold changes nothing.
    window.FindT("r\\server9");
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:"));
  }

  void bothPickersOnOnePeriodShowNoChange() {
    Viewer viewer;
    // First run: "When last looked" is now, which picks the newest period for P2 as well.
    viewer.settings.Set("Options", "CompareWhen", "0");
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QCOMPARE(viewer.Find<QComboBox>("p2")->currentIndex(), 0);
    window.FindT("r\\server1\\c:");
    QTreeWidget* list = viewer.List();
    QCOMPARE(list->headerItem()->text(3), QString("Size MB (P2)"));
    QVERIFY(list->topLevelItemCount() >= 4);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QTreeWidgetItem* row = list->topLevelItem(i);
      QCOMPARE(row->text(1), QString("0 "));
      QCOMPARE(row->text(2), row->text(3));
    }
  }

  void headerClicksSortSizesDescendingFirst() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QTreeWidget* list = viewer.List();

    ClickHeader(*list, 2);
    QCOMPARE(window.ListSortState(), (ListSort{2, SortOrder::kDescending}));
    QCOMPARE(list->topLevelItem(0)->text(0), QString("SERVER2"));
    ClickHeader(*list, 2);
    QCOMPARE(window.ListSortState(), (ListSort{2, SortOrder::kAscending}));
    QCOMPARE(list->topLevelItem(0)->text(0), QString("SERVER1"));
    ClickHeader(*list, 0);
    QCOMPARE(window.ListSortState(), (ListSort{0, SortOrder::kAscending}));
    QCOMPARE(list->topLevelItem(0)->text(0), QString("SERVER1"));

    // Names sort without regard to case: Bob before alice descending.
    window.FindT("r\\server1\\c:\\users");
    ClickHeader(*list, 0);
    QCOMPARE(Rows(*list).first(), QString("Bob|0|4|4"));
    QCOMPARE(Rows(*list).last(), QString(".|0|1|1"));

    // The Options dialog's sort applies at once.
    window.SetListSort({0, SortOrder::kAscending});
    QCOMPARE(Rows(*list).first(), QString(".|0|1|1"));
  }

  void upOneLevelAndDrillDown() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QTreeWidget* list = viewer.List();
    QAction* up = viewer.Find<QAction>("up1lvl");
    QAction* drill = viewer.Find<QAction>("mnuPopupsLDrillDown");

    // At the root there is nothing above: the list is not even rebuilt.
    const auto pointer_changes = viewer.pointer.changes.size();
    up->trigger();
    QCOMPARE(window.ListedKey(), std::string("r"));
    QCOMPARE(viewer.pointer.changes.size(), pointer_changes);

    window.FindT("r\\server1\\c:");
    ClickRow(*list, RowNamed(*list, "WINNT"));
    QCOMPARE(window.CurrentKey(), std::string("r\\server1\\c:\\winnt"));
    QCOMPARE(window.StatusText(), QString("server1\\c:\\winnt"));
    drill->trigger();
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:\\winnt"));
    QCOMPARE(Key(viewer.Tree()->currentItem()), std::string("r\\server1\\c:\\winnt"));

    // alice holds no recorded directories: she has no tree item to drill into.
    window.FindT("r\\server1\\c:\\users");
    ClickRow(*list, RowNamed(*list, "alice"));
    drill->trigger();
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:\\users"));

    up->trigger();
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:"));
    QCOMPARE(Key(viewer.Tree()->currentItem()), std::string("r\\server1\\c:"));
    up->trigger();
    up->trigger();
    QCOMPARE(window.ListedKey(), std::string("r"));
  }

  void viewLogFileOnlyForNodes() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QTreeWidget* tree = viewer.Tree();
    QTreeWidget* list = viewer.List();
    QAction* list_log = viewer.Find<QAction>("mnuPopupsLViewLogFile");
    QAction* tree_log = viewer.Find<QAction>("mnuPopupsTViewLogFile");
    auto list_popup = [&] {
      emit list->customContextMenuRequested(QPoint(5, 5));
      viewer.Find<QMenu>("mnuPopupsL")->close();
      return list_log->isVisible();
    };
    auto tree_popup = [&] {
      emit tree->customContextMenuRequested(QPoint(5, 5));
      viewer.Find<QMenu>("mnuPopupsT")->close();
      return tree_log->isVisible();
    };

    QVERIFY(!tree_popup());  // the root
    ClickRow(*list, RowNamed(*list, "SERVER1"));
    QVERIFY(list_popup());
    list_log->trigger();
    QCOMPARE(viewer.shell.requests.size(), std::size_t{1});
    QVERIFY(viewer.shell.requests[0].starts_with("edit "));
    QVERIFY(viewer.shell.requests[0].ends_with("\\tools\\scan.log"));

    window.FindT("r\\server2");
    QVERIFY(tree_popup());
    window.FindT("r\\server2\\d:");
    QVERIFY(!tree_popup());
    ClickRow(*list, list->topLevelItem(0));
    QVERIFY(!list_popup());

    viewer.shell.requests.clear();
    viewer.Find<QAction>("mnuPopupsLExplore")->trigger();
    viewer.Find<QAction>("mnuPopupsTOpen")->trigger();
    QCOMPARE(viewer.shell.requests.size(), std::size_t{2});
    QVERIFY(viewer.shell.requests[0].starts_with("explore "));
    QVERIFY(viewer.shell.requests[1].starts_with("open "));
  }

  void namesThatDifferOnlyInCaseKeepTheirOwnRows() {
    Viewer viewer;
    {
      auto database = viewer.engine->DefaultWorkspace().OpenDatabase(viewer.database_path);
      testing::AddCaseTwins(*database);
      database->Close();
    }
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1\\c:\\users");
    QTreeWidget* list = viewer.List();
    window.SetListSort({0, SortOrder::kAscending});
    QCOMPARE(Rows(*list), QStringList({".|0|1|1", "alice|4|300|296", "Bob|0|4|4", "Data|10|50|40",
                                       "data|2-|7|9", "LOGS|3-||3", "logs|2|2|"}));
    window.SetListSort({0, SortOrder::kDescending});
    QCOMPARE(Rows(*list).mid(0, 4),
             QStringList({"logs|2|2|", "LOGS|3-||3", "data|2-|7|9", "Data|10|50|40"}));

    // A new pick selects the row the user chose again, not its twin of the same key.
    ClickRow(*list, RowNamed(*list, "data"));
    QCOMPARE(window.CurrentKey(), std::string("r\\server1\\c:\\users\\data"));
    viewer.Find<QComboBox>("p2")->setCurrentIndex(2);  // P0, which knows neither
    QVERIFY(list->currentItem());
    QCOMPARE(list->currentItem()->text(0), QString("data"));
    QCOMPARE(RowNamed(*list, "Data")->text(1).trimmed(), QString("50"));
    QCOMPARE(RowNamed(*list, "data")->text(1).trimmed(), QString("7"));
  }

  void copyTakesTheFocusedControl() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QAction* copy = viewer.Find<QAction>("mnuEditCopy");

    Focus(viewer.List());
    QCOMPARE(window.FocusControl(), FrmMain::FocusedControl::kList);
    copy->trigger();
    QCOMPARE(viewer.clipboard.text, std::string("Name\tChange MB\tSize MB (P1)\tSize MB (P2)\r\n"
                                                "SERVER1\t2\t1,015\t1,013\r\n"
                                                "SERVER2\t0\t2,000\t2,000\r\n"));

    Focus(viewer.Find<QComboBox>("p2"));
    viewer.Find<QAction>("Copy")->trigger();
    QCOMPARE(viewer.clipboard.text, std::string("29-Nov-2026 02:00"));

    Focus(viewer.Tree());
    QCOMPARE(window.FocusControl(), FrmMain::FocusedControl::kTree);
    viewer.clipboard.cleared = false;
    copy->trigger();
    QVERIFY(viewer.clipboard.cleared);
    QCOMPARE(viewer.clipboard.text, std::string());
  }

  void newPickKeepsTheSelectedPlaces() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QTreeWidget* list = viewer.List();
    window.FindT("r\\server1\\c:\\users");
    ClickRow(*list, RowNamed(*list, "alice"));

    QComboBox* p2 = viewer.Find<QComboBox>("p2");
    p2->setCurrentIndex(2);  // P0, where every size is 1 byte
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:\\users"));
    QCOMPARE(Key(viewer.Tree()->currentItem()), std::string("r\\server1\\c:\\users"));
    QCOMPARE(Key(list->currentItem()), std::string("r\\server1\\c:\\users\\alice"));
    QCOMPARE(RowNamed(*list, "alice")->text(3).trimmed(), QString("0"));
    QCOMPARE(RowNamed(*list, "alice")->text(1).trimmed(), QString("300"));

    // A place the new pick does not hold is dropped quietly: New lies in P1 only.
    window.FindT("r\\server1\\c:\\new");
    QComboBox* p1 = viewer.Find<QComboBox>("p1");
    p1->setCurrentIndex(1);
    p2->setCurrentIndex(1);
    QVERIFY(viewer.messages.shown.empty());
    QCOMPARE(list->topLevelItemCount(), 0);
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 1);

    // The Options dialog's reload chooses P2 again by the new setting, without a message, and
    // rebuilds once: the selections made while the pickers fill are not the user's picks.
    window.FindT("r\\server1");
    viewer.settings.Set("Options", "CompareWhen", "5");
    viewer.pointer.changes.clear();
    window.ReloadPeriods();
    QCOMPARE(viewer.pointer.changes, (std::vector<std::string>{"show", "restore"}));
    QCOMPARE(p1->currentIndex(), 0);
    QCOMPARE(p2->currentIndex(), 2);
    QCOMPARE(window.ListedKey(), std::string("r\\server1"));
    QCOMPARE(Rows(*list), QStringList({"C:|1,015|1,015|0"}));
    QVERIFY(viewer.messages.shown.empty());
  }

  void anotherDatabaseChosenInOptionsIsShownAndPurged() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1\\c:");
    const std::string other = viewer.folder / "other.mdb";
    testing::CreateViewerDatabase(*viewer.engine, other, "SERVER3");

    WithOptions(window, [&](FrmOptions& dialog) {
      dialog.findChild<QLineEdit*>("txtdatabase")->setText(QString::fromStdString(other));
      dialog.findChild<QPushButton*>("cmdOK")->click();
    });
    QVERIFY(viewer.messages.shown.empty());
    QCOMPARE(viewer.client.DbFilename(), other);
    QCOMPARE(Nodes(*viewer.Tree()), QStringList({"SERVER1", "SERVER3"}));
    QCOMPARE(window.ListedKey(), std::string("r"));
    QCOMPARE(Rows(*viewer.List()), QStringList({"SERVER1|2|1,015|1,013", "SERVER3|0|2,000|2,000"}));
    QCOMPARE(viewer.Find<QComboBox>("p1")->count(), 3);
    QCOMPARE(viewer.Find<QComboBox>("p2")->currentIndex(), 1);

    // Do it now purges the file shown; ten days keep P1 and P2 but not P0.
    viewer.settings.Set("Archiving", "Period2", "0 days");
    WithOptions(window, [&](FrmOptions& dialog) {
      QCOMPARE(dialog.findChild<QLineEdit*>("txtdatabase")->text(), QString::fromStdString(other));
      auto* up = dialog.findChild<QWidget*>("spnPeriod2")->findChild<QToolButton*>("up");
      for (int press = 0; press < 10; ++press) up->click();
      dialog.findChild<QPushButton*>("cmdDoitnow")->click();
    });
    QVERIFY(viewer.messages.shown.empty());
    QCOMPARE(PeriodsOf(other), (std::vector<DateTime>{kP1, kP2}));
    QCOMPARE(PeriodsOf(viewer.database_path), (std::vector<DateTime>{kP1, kP2, kP0}));
    QCOMPARE(viewer.Find<QComboBox>("p1")->count(), 2);

    // A file without a period: nothing of the one before stays on the screen.
    const std::string empty = viewer.folder / "empty.mdb";
    CreateBrontalDatabase(*viewer.engine, empty, 3);
    WithOptions(window, [&](FrmOptions& dialog) {
      dialog.findChild<QLineEdit*>("txtdatabase")->setText(QString::fromStdString(empty));
      dialog.findChild<QPushButton*>("cmdOK")->click();
    });
    QCOMPARE(viewer.messages.icons, std::vector<MessageIcon>{MessageIcon::kInformation});
    QVERIFY(viewer.messages.shown.at(0).starts_with("There is nothing to view yet."));
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 0);
    QCOMPARE(viewer.List()->topLevelItemCount(), 0);
    QVERIFY(!window.ListHasColumns());
    QCOMPARE(viewer.Find<QComboBox>("p1")->count(), 0);
    QCOMPARE(viewer.Find<QComboBox>("p2")->count(), 0);
    QCOMPARE(window.ListedKey(), std::string());
    QVERIFY(!viewer.pointer.busy);
  }

  void aPurgeThatLeavesNoPeriodShowsNothingToView() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1\\c:");
    // A day back from 7 December 09:30 reaches past every period.
    viewer.settings.Set("Archiving", "Period2", "1 days");
    WithOptions(window, [&](FrmOptions& dialog) {
      dialog.findChild<QPushButton*>("cmdDoitnow")->click();
      QVERIFY(dialog.isVisible());
    });
    QVERIFY(PeriodsOf(viewer.database_path).empty());
    QCOMPARE(viewer.messages.icons, std::vector<MessageIcon>{MessageIcon::kInformation});
    QVERIFY(viewer.messages.shown.at(0).starts_with("There is nothing to view yet."));
    QCOMPARE(viewer.Find<QComboBox>("p1")->count(), 0);
    QCOMPARE(viewer.Find<QComboBox>("p2")->count(), 0);
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 0);
    QCOMPARE(viewer.List()->topLevelItemCount(), 0);
    QVERIFY(!window.ListHasColumns());
    QCOMPARE(window.ListedKey(), std::string());
    QCOMPARE(window.StatusText(), QString());
    QVERIFY(!viewer.pointer.busy);

    // Nothing is left to take back: another reload says nothing more.
    window.ReloadPeriods();
    QCOMPARE(viewer.messages.shown.size(), std::size_t{1});
  }

  void cancelInOptionsNeverEndsARunningViewer() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    // The file is moved away while the viewer has it open: the dialog is database-only.
    std::filesystem::rename(viewer.database_path, viewer.folder / "moved.mdb");
    viewer.questions.answers = {false, true};
    WithOptions(window, [&](FrmOptions& dialog) {
      QVERIFY(dialog.DatabaseOnly());
      QTRY_VERIFY(!dialog.isVisible());  // Cancel in its question
      QVERIFY(!dialog.QuitViewer());
    });
    QCOMPARE(viewer.questions.asked.size(), std::size_t{1});
    QVERIFY(
        viewer.questions.asked[0].text.ends_with("Cancel to go on with the database open now."));
    QVERIFY(window.isVisible());

    // OK to the question, then the dialog's own Cancel.
    WithOptions(window, [&](FrmOptions& dialog) {
      QTRY_COMPARE(viewer.questions.asked.size(), std::size_t{2});
      QVERIFY(dialog.isVisible());
    });
    QVERIFY(window.isVisible());
    QVERIFY(viewer.client.IsOpen());
    QCOMPARE(Rows(*viewer.List()), QStringList({"SERVER1|2|1,015|1,013", "SERVER2|0|2,000|2,000"}));
  }

  void startOpensAShareNamedInDbLocWhereItLies() {
    Viewer viewer;
    const std::string share_folder = viewer.unc_root + "/server1/brontal";
    std::filesystem::create_directories(share_folder);
    std::filesystem::rename(viewer.database_path, share_folder + "/brontal.mdb");
    const std::string share = "\\\\server1\\brontal\\brontal.mdb";
    std::ofstream(viewer.folder / "dbloc.txt") << share << "\n";
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QVERIFY(viewer.questions.asked.empty());
    QVERIFY(viewer.messages.shown.empty());
    // Shown and kept as written.
    QCOMPARE(viewer.settings.Get("Options", "dbFilename", ""), share);
    QCOMPARE(viewer.client.DbFilename(), share);
    QCOMPARE(Nodes(*viewer.Tree()), QStringList({"SERVER1", "SERVER2"}));
    WithOptions(window, [&](FrmOptions& dialog) {
      QVERIFY(!dialog.DatabaseOnly());
      QCOMPARE(dialog.findChild<QLineEdit*>("txtdatabase")->text(), QString::fromStdString(share));
      QVERIFY(dialog.findChild<QLabel*>("lblDBsize")->text().startsWith("Database size:"));
    });
  }

  void runViewerEndsWithAStatusThatSaysWhetherADatabaseOpened() {
    const QString name =
        SingleInstanceName() + "-run-" + QString::number(QCoreApplication::applicationPid());
    Viewer viewer;
    viewer.settings.Set("Options", "dbFilename", viewer.folder / "gone.mdb");
    {
      // The database-only dialog's question is cancelled.
      SingleInstance instance(name);
      QCOMPARE(RunViewer(viewer.NewWindow(), instance, viewer.settings), kViewerNoDatabase);
      QVERIFY(!viewer.window->isVisible());
      QCOMPARE(viewer.questions.asked.size(), std::size_t{1});

      // A copy already running is brought forward; this one shows nothing.
      FrmMain second(viewer.client,
                     OptionsDialogs{viewer.questions, viewer.open_file, viewer.file_system},
                     viewer.folder.path().string());
      SingleInstance second_instance(name);
      viewer.settings.Set("Options", "dbFilename", viewer.database_path);
      QCOMPARE(RunViewer(second, second_instance, viewer.settings), kViewerClosed);
      QVERIFY(!second.isVisible());
      QVERIFY(!viewer.client.IsOpen());
    }

    SingleInstance instance(name);
    FrmMain& window = viewer.NewWindow();
    // The user closes the window once the event loop runs; a loop that never ends fails.
    QTimer closer;
    connect(&closer, &QTimer::timeout, &window, [&] {
      if (QThread::currentThread()->loopLevel() == 0) return;
      closer.stop();
      window.close();
    });
    closer.start(10);
    QTimer::singleShot(20000, &window, [] { QCoreApplication::exit(99); });
    QCOMPARE(RunViewer(window, instance, viewer.settings), kViewerClosed);
    QVERIFY(!viewer.client.IsOpen());
    QCOMPARE(viewer.settings.Get("Usage", "LastLooked1", ""), std::string("07-Dec-2026 09:30"));
  }

  void loadPeriodsFillsPickersQuietly() {
    MemorySettings settings;
    FixedLocale locale;
    RecordingMessageBox messages;
    QComboBox first;
    QComboBox second;
    first.addItem("kept");
    LoadPeriods(first, second, {}, settings, kP1, locale, messages);
    QCOMPARE(first.count(), 1);  // no periods: the pickers keep what they hold

    int picks_while_loading = 0;
    int other_picks = 0;
    for (QComboBox* picker : {&first, &second}) {
      connect(picker, &QComboBox::currentIndexChanged, picker,
              [&, picker] { ++(LoadingPeriods(*picker) ? picks_while_loading : other_picks); });
    }
    settings.Set("Options", "CompareWhen", "2");  // a week before P1: P2
    LoadPeriods(first, second, {kP1, kP2, kP0}, settings, kP1, locale, messages);
    QVERIFY(picks_while_loading > 0);
    QCOMPARE(other_picks, 0);
    QVERIFY(!LoadingPeriods(first) && !LoadingPeriods(second));
    QCOMPARE(first.count(), 3);
    QCOMPARE(second.itemText(2), QString("22-Nov-2026 02:00"));
    QCOMPARE(first.currentIndex(), 0);
    QCOMPARE(second.currentIndex(), 1);
    QVERIFY(messages.shown.empty());
  }

  void badCompareSettingLeavesSecondPickerEmpty() {
    Viewer viewer;
    viewer.settings.Set("Options", "CompareWhen", "9");
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QCOMPARE(viewer.messages.shown,
             std::vector<std::string>{"Incorect value for CompareField in LoadPeriods"});
    QCOMPARE(viewer.Find<QComboBox>("p2")->currentIndex(), -1);
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 0);
    // The user's pick shows the tree and the root's list.
    viewer.Find<QComboBox>("p2")->setCurrentIndex(1);
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 1);
    QCOMPARE(window.ListedKey(), std::string("r"));
    QCOMPARE(viewer.List()->topLevelItemCount(), 2);
  }

  void emptyDatabaseHasNothingToView() {
    Viewer viewer(/*fill=*/false);
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QCOMPARE(viewer.messages.shown,
             std::vector<std::string>{
                 "There is nothing to view yet.  The Brontal server components must be "
                 "installed, configured, scheduled and have been run before directory sizes can "
                 "be analysed.  "});
    QCOMPARE(viewer.messages.icons, std::vector<MessageIcon>{MessageIcon::kInformation});
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 0);
    QVERIFY(!window.ListHasColumns());
    // Nothing to copy, nothing to go up to.
    viewer.Find<QAction>("mnuEditCopy")->trigger();
    QCOMPARE(viewer.clipboard.text, std::string());
    viewer.Find<QAction>("up1lvl")->trigger();
    QCOMPARE(window.ListedKey(), std::string());
  }

  void startTakesDbLocAndEndsWithoutDatabase() {
    Viewer viewer;
    // dbloc.txt beside the program names the database; the setting follows it.
    viewer.settings.Set("Options", "dbFilename", viewer.folder / "gone.mdb");
    std::ofstream(viewer.folder / "dbloc.txt") << viewer.database_path << "\r\nsecond line\r\n";
    QVERIFY(viewer.NewWindow().Start());
    QCOMPARE(viewer.settings.Get("Options", "dbFilename", ""), viewer.database_path);
    viewer.window->close();

    // No file where the settings point: the Options dialog asks, and a Cancel ends the viewer.
    std::filesystem::remove(viewer.folder / "dbloc.txt");
    viewer.settings.Set("Options", "dbFilename", viewer.folder / "gone.mdb");
    FrmMain& window = viewer.NewWindow();
    QVERIFY(!window.Start());
    QCOMPARE(viewer.questions.asked.size(), std::size_t{1});
    QVERIFY(!window.isVisible());
    QCOMPARE(viewer.Tree()->topLevelItemCount(), 0);
  }

  void splitterStaysClearOfBothSides() {
    Viewer viewer;
    viewer.settings.Set("frmMain", "picResizerLeft", "3000");
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QCOMPARE(window.SplitterLeft(), 3000);

    const int inner = viewer.Find<QSplitter>("picResizer")->width() * kTwipsPerPixel;
    QVERIFY(!window.SetSplitterLeft(300));
    QVERIFY(window.SetSplitterLeft(315));
    QCOMPARE(window.SplitterLeft(), 315);
    QVERIFY(!window.SetSplitterLeft(inner - 300));
    QVERIFY(window.SetSplitterLeft(inner - 315));

    // Dragging beyond the limits stops at them.
    QSplitter* splitter = viewer.Find<QSplitter>("picResizer");
    splitter->setSizes({0, inner / kTwipsPerPixel});
    QVERIFY(SplitterAccepts(window.SplitterLeft(), inner));
    splitter->setSizes({inner / kTwipsPerPixel, 0});
    QVERIFY(SplitterAccepts(window.SplitterLeft(), inner));
  }

  void shutdownSavesPlacementAndLastLooked() {
    Viewer viewer;
    {
      FrmMain& window = viewer.NewWindow();
      QVERIFY(window.Start());
      window.setGeometry(100, 120, 500, 300);
      QVERIFY(window.SetSplitterLeft(2250));
      window.close();
    }
    QCOMPARE(viewer.settings.Get("frmMain", "WindowLeft", ""), std::string("1500"));
    QCOMPARE(viewer.settings.Get("frmMain", "WindowWidth", ""), std::string("7500"));
    QCOMPARE(viewer.settings.Get("frmMain", "picResizerLeft", ""), std::string("2250"));
    QCOMPARE(viewer.settings.Get("Usage", "LastLooked1", ""), std::string("07-Dec-2026 09:30"));
    QVERIFY(!viewer.client.IsOpen());

    // Closed maximized: the next start is maximized and restores to the same normal place.
    {
      FrmMain& window = viewer.NewWindow();
      QVERIFY(window.Start());
      QCOMPARE(window.normalGeometry(), QRect(100, 120, 500, 300));
      window.showMaximized();
      window.close();
    }
    QCOMPARE(viewer.settings.Get("frmMain", "WindowState", ""), std::string("2"));
    QCOMPARE(viewer.settings.Get("frmMain", "WindowLeft", ""), std::string("1500"));
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    QVERIFY(window.windowState() & Qt::WindowMaximized);
    QCOMPARE(window.normalGeometry(), QRect(100, 120, 500, 300));
  }

  void printsTheListToHtmlInTheListsSortAsTheReportEngineWritesIt() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1\\c:");
    window.SetListSort({2, SortOrder::kAscending});
    const std::string page = viewer.folder / "list.htm";
    viewer.save_dialog.answers.push_back(page);
    WithPrintDialog(window, [](QDialog& dialog) {
      QVERIFY(!dialog.findChild<QAbstractButton*>("optWhat2")->isEnabled());
      Click(dialog, "optWhat0");
      Click(dialog, "optPrintTo1");
      dialog.findChild<QAbstractButton*>("chkBrowser")->setChecked(true);
      Click(dialog, "cmdOK");
    });
    QVERIFY(viewer.messages.shown.empty());
    QCOMPARE(viewer.progress.opened, 1);
    QVERIFY(!viewer.progress.is_open);

    // The engine's own page of the place, sorted by the newer size, ascending.
    PrintState state;
    ReportBuilder engine(
        {viewer.client.database(), viewer.clock, viewer.locale, viewer.messages, state});
    std::string path = "R\\SERVER1\\C:";
    const std::string expected = viewer.folder / "expected.htm";
    QCOMPARE(engine.PrintTreeExpanded2(path, "\\\\server1\\c$", true, kP1, kP2, expected, nullptr,
                                       false, kSortBySize1, 0),
             ReportOutcome::kWritten);
    QCOMPARE(ReadFile(page), ReadFile(expected));
    QVERIFY(ReadFile(page).find("Users") != std::string::npos);
    QCOMPARE(viewer.shell.requests, std::vector<std::string>{"open " + page});
  }

  void printsTheTreeOnThePrinterWithoutABrowser() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1\\c:");
    // An HTML page of an earlier print, to be viewed: the printer's print must not open it.
    viewer.print_state.last_html_file = "/earlier.htm";
    viewer.print_state.print_to = kPrintToHtml;
    viewer.print_state.view_in_browser = true;
    viewer.pdf_file = "/docs/brontal-20261207-093000.pdf";
    WithPrintDialog(window, [](QDialog& dialog) {
      Click(dialog, "optWhat1");
      Click(dialog, "optPrintTo0");
      Click(dialog, "cmdOK");
    });
    QVERIFY(viewer.messages.shown.empty());
    QVERIFY(viewer.shell.requests.empty());
    QVERIFY(viewer.save_dialog.requests.empty());
    QCOMPARE(viewer.printer.Sent().size(), std::size_t{1});
    // The tree reaches below the place's children.
    bool grandchild = false;
    for (const auto& printed : viewer.printer.Sent()[0].pages) {
      for (const auto& line : printed.lines)
        grandchild |= line.Text().find("alice") != std::string::npos;
    }
    QVERIFY(grandchild);
    QCOMPARE(window.StatusText(), QString("Printed to /docs/brontal-20261207-093000.pdf"));
  }

  void cancelledDialogPrintsNothingAndAFailedPageIsNotOpened() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1");
    WithPrintDialog(window, [](QDialog& dialog) { Click(dialog, "cmdCancel"); });
    QVERIFY(viewer.print_state.print_cancelled);
    QVERIFY(viewer.save_dialog.requests.empty());
    QCOMPARE(viewer.progress.opened, 0);
    QVERIFY(viewer.printer.Sent().empty() && viewer.printer.Pending().empty());

    // A page in a folder that does not exist cannot be written.
    const std::string page = (viewer.folder / "missing") + "/list.htm";
    viewer.save_dialog.answers.push_back(page);
    WithPrintDialog(window, [](QDialog& dialog) {
      Click(dialog, "optPrintTo1");
      dialog.findChild<QAbstractButton*>("chkBrowser")->setChecked(true);
      Click(dialog, "cmdOK");
    });
    QCOMPARE(viewer.messages.shown.size(), std::size_t{1});
    QVERIFY(viewer.shell.requests.empty());
    QVERIFY(viewer.print_state.last_html_file.empty());
    QVERIFY(!viewer.progress.is_open);
  }

  void graphEntriesOpenTheGraphOfTheClickedPlace() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    window.FindT("r\\server1");
    viewer.Find<QAction>("mnuToolsGraph")->trigger();
    FrmGraph* graph = window.GraphWindow();
    QVERIFY(graph && graph->isVisible());
    QCOMPARE(graph->windowTitle(), QString("Graph - \\\\server1"));
    // The graph's range ends at the main window's more recent period and starts at the oldest.
    QCOMPARE(graph->findChild<QComboBox*>("p1")->currentText(),
             QString::fromStdString(PeriodText(kP1, viewer.locale)));
    QCOMPARE(graph->findChild<QComboBox*>("p2")->currentText(),
             QString::fromStdString(PeriodText(kP0, viewer.locale)));

    ClickRow(*viewer.List(), RowNamed(*viewer.List(), "C:"));
    viewer.Find<QAction>("mnuPopupsLGraph")->trigger();
    QCOMPARE(window.GraphWindow(), graph);
    QCOMPARE(graph->windowTitle(), QString("Graph - \\\\server1\\c$"));
    QCOMPARE(graph->findChild<QTreeWidget*>("l")->topLevelItemCount(), 3);
    QVERIFY(viewer.messages.shown.empty());
  }

  void diskEntriesOpenTheDiskUsageWindowOnceThereArePeriods() {
    Viewer viewer;
    FrmMain& window = viewer.NewWindow();
    QVERIFY(viewer.Find<QAction>("mnuFilePrint")->isEnabled());
    QVERIFY(viewer.Find<QAction>("Print")->isEnabled());
    // Before start-up the pickers hold no period, and there is nothing to chart.
    viewer.Find<QAction>("piedisk")->trigger();
    QVERIFY(window.DiskUsageWindow() == nullptr);
    QVERIFY(window.Start());
    QVERIFY(window.DiskUsageWindow() == nullptr);
    viewer.Find<QAction>("piedisk")->trigger();
    FrmDiskUsage* disks = window.DiskUsageWindow();
    QVERIFY(disks && disks->isVisible());
    QCOMPARE(disks->Rows().size(), std::size_t{2});
    QCOMPARE(disks->findChild<QComboBox*>("p1")->currentText(),
             viewer.Find<QComboBox>("p1")->currentText());
    QCOMPARE(disks->findChild<QComboBox*>("p2")->currentText(),
             viewer.Find<QComboBox>("p2")->currentText());
    viewer.Find<QAction>("mnuToolsChartFreeDiskSpace")->trigger();
    QCOMPARE(window.DiskUsageWindow(), disks);

    // A disk drilled down into is selected in the tree; its size graph opens in the graph window.
    auto* disk_list = disks->findChild<QTreeWidget*>("l");
    disk_list->setCurrentItem(disk_list->findItems("SERVER1\\C:", Qt::MatchExactly).front());
    disks->findChild<QAction*>("mnuPopupsLDrillDown")->trigger();
    QCOMPARE(window.ListedKey(), std::string("r\\server1\\c:"));
    disks->findChild<QAction*>("mnuToolsGraph")->trigger();
    QVERIFY(window.GraphWindow() && window.GraphWindow()->isVisible());
    QCOMPARE(window.GraphWindow()->windowTitle(), QString("Graph - \\\\server1\\c$"));
    disks->findChild<QAction*>("mnuToolsDiskGraph")->trigger();
    QVERIFY(window.DiskGraphWindow() && window.DiskGraphWindow()->isVisible());

    QCOMPARE(viewer.Find<QAction>("up1lvl")->toolTip(), QString("Up One Level"));
    QCOMPARE(viewer.Find<QAction>("piedisk")->toolTip(), QString("Chart Disk Space"));
    for (QAction* menu : window.menuBar()->actions()) {
      QVERIFY(menu->text() != "&Popups");
    }

    // Help's addresses go to the shell.
    viewer.Find<QAction>("mnuHelpHttp")->trigger();
    viewer.Find<QAction>("mnuHelpMailto")->trigger();
    QCOMPARE(viewer.shell.requests.size(), std::size_t{2});
    QVERIFY(viewer.shell.requests[1].starts_with("url mailto:"));
  }

  void showDiskAtStartupOpensTheDiskWindowAndAnotherDatabaseClosesIt() {
    Viewer viewer;
    viewer.settings.Set("Options", "ShowDiskAtStartup", "1");
    FrmMain& window = viewer.NewWindow();
    QVERIFY(window.Start());
    FrmDiskUsage* disks = window.DiskUsageWindow();
    QVERIFY(disks && disks->isVisible());
    QCOMPARE(disks->Rows().size(), std::size_t{2});
    window.ShowNewDatabase();
    QVERIFY(!disks->isVisible() && !disks->IsLoaded());
    QVERIFY(viewer.messages.shown.empty());
  }

  void splashAndAboutBox() {
    Viewer viewer;
    FrmStartup splash(viewer.client);
    splash.show();
    QCOMPARE(splash.findChild<QLabel*>("lblVersion")->text(), QString("Version 1.3.910"));
    emit splash.findChild<QLabel*>("lblWeb")->linkActivated("address");
    QCOMPARE(viewer.shell.requests, std::vector<std::string>{"url " + WebPageAddress()});
    QTest::mouseClick(&splash, Qt::LeftButton);
    QVERIFY(!splash.isVisible());

    FrmAbout about(viewer.client);
    QCOMPARE(about.windowTitle(), QString("About Brontal"));
    QCOMPARE(about.findChild<QLabel*>("lblVersion")->text(), QString("Version 1.3.910"));
    emit about.findChild<QLabel*>("lblMail")->linkActivated("address");
    QCOMPARE(viewer.shell.requests.back(), "url " + MailAddress());
    QTimer::singleShot(0, &about, [&] { about.findChild<QPushButton*>("cmdOK")->click(); });
    QCOMPARE(about.exec(), int(QDialog::Accepted));
  }

  void secondCopyBringsTheFirstForward() {
    const QString name =
        SingleInstanceName() + "-test-" + QString::number(QCoreApplication::applicationPid());
    MemorySettings settings;
    QWidget first_window;
    first_window.showMinimized();
    QVERIFY(first_window.isMinimized());
    SingleInstance first(name);
    QVERIFY(!first.ActivatePreviousInstanceIfThereIsOne(first_window, settings));
    QVERIFY(first.IsListening());
    QCOMPARE(settings.Get("Options", "FirstInstance", ""), std::to_string(first_window.winId()));

    QSignalSpy activated(&first, &SingleInstance::Activated);
    QWidget second_window;
    MemorySettings second_settings;
    SingleInstance second(name);
    QVERIFY(second.ActivatePreviousInstanceIfThereIsOne(second_window, second_settings));
    QVERIFY(!second.IsListening());
    QVERIFY(!second_window.isVisible());
    QCOMPARE(second_settings.Get("Options", "FirstInstance", "none"), std::string("none"));
    QTRY_COMPARE(activated.count(), 1);
    QVERIFY(!first_window.isMinimized());
  }

  void socketOfACrashedCopyIsTakenOver() {
    const QString name =
        SingleInstanceName() + "-stale-" + QString::number(QCoreApplication::applicationPid());
    // What a crashed copy leaves: a name in the folder that nobody answers under.
    QFile stale(QDir::tempPath() + "/" + name);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.close();
    MemorySettings settings;
    QWidget window;
    SingleInstance instance(name);
    QVERIFY(!instance.ActivatePreviousInstanceIfThereIsOne(window, settings));
    QVERIFY(instance.IsListening());
  }
};

}  // namespace brontal

// The test's own configuration folder, made before the application reads it.
int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmMainTest>(argc, argv);
}
#include "frm_main_test.moc"
