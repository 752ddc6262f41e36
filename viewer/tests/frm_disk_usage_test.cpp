// The disk usage window on a real database file: the rows of two periods and of one period with
// itself, pie colours chosen, saved and drawn, the selected disk handed to the other windows and
// the shell, a failed query, the list printed with its pies, and the placement kept across a
// close.
#include "viewer/frmDiskUsage/frm_disk_usage.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/colour_dialog.h"
#include "platform/printing/progress_window.h"
#include "platform/testing/recording_printer.h"
#include "platform/printing/save_file_dialog.h"
#include "platform/testing/qtest_main.h"
#include "viewer/tests/print_dialog_driver.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using testing::Click;
using testing::kMB;
using testing::WithPrintDialog;

// 0xAARRGGBB as a Picture holds them.
constexpr std::uint32_t kRedPixel = 0xFFFF0000;
constexpr std::uint32_t kBluePixel = 0xFF0000FF;
constexpr std::uint32_t kMagentaPixel = 0xFFFF00FF;
constexpr std::uint32_t kGreenPixel = 0xFF00FF00;
// Green as the settings and the colour dialog give it, 0x00BBGGRR.
constexpr std::uint32_t kGreen = 0x00FF00;

// A disk usage window over the fixture with two more disks: R\SERVER1\E:, half full in P1 and
// with 50 MB more free in P2, and R\SERVER2\F:, recorded in P1 only. Fakes stand in for the
// desktop and for the other windows.
struct Usage : testing::ClientOnFixture {
  Usage()
      : ClientOnFixture([](db::Database& database) {
          testing::AddDiskRow(database, "R\\SERVER1", "E:", 500 * kMB, 1000 * kMB, testing::kP1);
          testing::AddDiskRow(database, "R\\SERVER1", "E:", 550 * kMB, 1000 * kMB, testing::kP2);
          testing::AddDiskRow(database, "R\\SERVER2", "F:", 2 * kMB, 8 * kMB, testing::kP1);
        }) {}
  // The fixture as `change` leaves it.
  explicit Usage(const std::function<void(db::Database&)>& change) : ClientOnFixture(change) {}

  FrmDiskUsage& NewWindow() {
    MainWindowLink link{[this] { return newer_pick; }, [] { return std::string(); },
                        [this] { ++main_window_shown; }, [this] { return older_pick; },
                        [this](const std::string& key) { found_in_tree.push_back(key); }};
    window = std::make_unique<FrmDiskUsage>(
        client, std::move(link), colours,
        [this](const std::string& key) { size_graphs.push_back(key); },
        [this](const std::string& key) { disk_graphs.push_back(key); },
        PrintServices{printer, save_dialog, progress, print_state});
    return *window;
  }

  // The rows as Edit > Copy puts the list on the clipboard, "name|change|%full|free|size".
  QStringList Rows() {
    window->findChild<QAction*>("mnuEditCopy")->trigger();
    QStringList lines = QString::fromStdString(clipboard.text).split("\r\n", Qt::SkipEmptyParts);
    if (lines.isEmpty() || lines.takeFirst() != "Name\tChange MB\t%Full\tFree MB\tSize MB")
      return {"?"};
    return lines.replaceInStrings("\t", "|");
  }

  void Select(const QString& name) {
    auto* list = window->findChild<QTreeWidget*>("l");
    const auto found = list->findItems(name, Qt::MatchExactly, 0);
    QCOMPARE(found.size(), 1);
    list->setCurrentItem(found.front());
  }

  std::uint32_t PixelAt(const std::string& key, int x, int y) const {
    const Picture pie = window->PieOf(key);
    return pie.pixels.at(static_cast<std::size_t>(y * pie.width + x));
  }

  int PixelsOf(const std::string& key, std::uint32_t pixel) const {
    const Picture pie = window->PieOf(key);
    return static_cast<int>(std::count(pie.pixels.begin(), pie.pixels.end(), pixel));
  }

  ScriptedColourDialog colours;
  RecordingPrinter printer;
  ScriptedSaveFileDialog save_dialog;
  RecordingProgressWindow progress;
  PrintState print_state;
  // The main window's picks: P1 and P2.
  int newer_pick = 0;
  int older_pick = 1;
  int main_window_shown = 0;
  std::vector<std::string> found_in_tree;
  std::vector<std::string> size_graphs;
  std::vector<std::string> disk_graphs;
  std::unique_ptr<FrmDiskUsage> window;
};

void Trigger(QWidget& window, const char* name) {
  QAction* action = window.findChild<QAction*>(name);
  QVERIFY2(action != nullptr, name);
  action->trigger();
}

}  // namespace

class FrmDiskUsageTest : public QObject {
  Q_OBJECT

 private slots:
  void rowsCompareTheMainWindowsPicksOrOnePeriodWithItself() {
    Usage usage;
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    QVERIFY(window.isVisible() && !window.StartupPicVisible());
    QCOMPARE(window.findChild<QComboBox*>("p1")->currentIndex(), 0);
    QCOMPARE(window.findChild<QComboBox*>("p2")->currentIndex(), 1);
    // E: has 50 MB less free than a week before; F: was not recorded then.
    QCOMPARE(usage.Rows(),
             QStringList({"SERVER1\\C:|0|27%|3,000|4,096", "SERVER1\\E:|50|50%|500|1,000",
                          "SERVER2\\D:|0|67%|1,000|3,072", "SERVER2\\F:||75%|2|8"}));
    // E: is half free: the free slice runs counterclockwise from 3 o'clock over the top, the
    // used half lies below the centre.
    QCOMPARE(usage.PixelAt("r\\server1\\e:", 15, 5), kBluePixel);
    QCOMPARE(usage.PixelAt("r\\server1\\e:", 15, 25), kRedPixel);
    // Only the disk whose used space grew has a "Recently used" slice.
    QVERIFY(usage.PixelsOf("r\\server1\\e:", kMagentaPixel) > 0);
    QCOMPARE(usage.PixelsOf("r\\server1\\c:", kMagentaPixel), 0);
    QCOMPARE(usage.PixelsOf("r\\server2\\f:", kMagentaPixel), 0);
    QVERIFY(!window.findChild<QTreeWidget*>("l")->topLevelItem(1)->icon(0).isNull());

    // "%Full" sorts descending at its first click, then ascending.
    auto* header = window.findChild<QTreeWidget*>("l")->header();
    emit header->sectionClicked(disks::kFullColumn);
    QVERIFY(usage.Rows().front().startsWith("SERVER2\\F:"));
    emit header->sectionClicked(disks::kFullColumn);
    QVERIFY(usage.Rows().front().startsWith("SERVER1\\C:"));

    // Both pickers on P2: every disk of that period, each without change and without a slice.
    window.findChild<QComboBox*>("p1")->setCurrentIndex(1);
    QCOMPARE(usage.Rows(),
             QStringList({"SERVER1\\C:|0|27%|3,000|4,096", "SERVER1\\E:|0|45%|550|1,000",
                          "SERVER2\\D:|0|67%|1,000|3,072"}));
    QCOMPARE(usage.PixelsOf("r\\server1\\e:", kMagentaPixel), 0);
    QVERIFY(usage.messages.shown.empty());
    QVERIFY(!usage.pointer.busy);
  }

  void aChosenColourIsSavedAndRedrawsEveryPie() {
    Usage usage;
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    auto* swatch = window.findChild<QLabel*>("picC2");
    QVERIFY(swatch != nullptr);
    QCOMPARE(window.findChild<QLabel*>("lblC2")->text(), QString("Recently used"));

    // The dialog starts from the swatch's colour; a cancel changes nothing.
    QTest::mouseDClick(swatch, Qt::LeftButton);
    QCOMPARE(usage.colours.Asked(), std::vector<std::uint32_t>{16711935});
    QCOMPARE(usage.settings.Get("frmDiskUsage", "Colour2", "unset"), std::string("unset"));
    QVERIFY(usage.PixelsOf("r\\server1\\e:", kMagentaPixel) > 0);

    usage.colours.Answer(kGreen);
    QTest::mouseDClick(swatch, Qt::LeftButton);
    QCOMPARE(usage.settings.Get("frmDiskUsage", "Colour2", ""), std::to_string(kGreen));
    QCOMPARE(swatch->palette().color(QPalette::Window), QColor(0, 255, 0));
    QCOMPARE(usage.PixelsOf("r\\server1\\e:", kMagentaPixel), 0);
    QVERIFY(usage.PixelsOf("r\\server1\\e:", kGreenPixel) > 0);
    QCOMPARE(usage.Rows().size(), 4);

    // The next window starts in the saved colour.
    window.close();
    FrmDiskUsage& again = usage.NewWindow();
    again.ShowWindow();
    QCOMPARE(again.PieColours()[disks::kRecentlyUsedColour], kGreen);
    QVERIFY(usage.PixelsOf("r\\server1\\e:", kGreenPixel) > 0);
  }

  void theSelectedDiskGoesToTheOtherWindowsAndTheShell() {
    Usage usage;
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    usage.Select("SERVER1\\E:");
    QCOMPARE(window.SelectedKey(), std::string("r\\server1\\e:"));
    // Releasing the right button over the list opens its popup, Drill down the default entry.
    auto* list = window.findChild<QTreeWidget*>("l");
    QTest::mouseRelease(list->viewport(), Qt::RightButton);
    auto* popup = window.findChild<QMenu*>("mnuPopupsL");
    QVERIFY(popup && popup->isVisible());
    QCOMPARE(popup->defaultAction()->objectName(), QString("mnuPopupsLDrillDown"));
    popup->close();
    Trigger(window, "mnuPopupsLDrillDown");
    QCOMPARE(usage.found_in_tree, std::vector<std::string>{"r\\server1\\e:"});
    QCOMPARE(usage.main_window_shown, 1);
    Trigger(window, "Graph");
    Trigger(window, "mnuPopupsLDiskGraph");
    QCOMPARE(usage.size_graphs, std::vector<std::string>{"r\\server1\\e:"});
    QCOMPARE(usage.disk_graphs, std::vector<std::string>{"r\\server1\\e:"});
    // The shell takes the path as it was recorded: Linux names are case-sensitive.
    Trigger(window, "mnuPopupsLOpen");
    Trigger(window, "mnuPopupsLExplore");
    QCOMPARE(usage.shell.requests,
             std::vector<std::string>({"open \\\\SERVER1\\E$", "explore \\\\SERVER1\\E$"}));
    // A new sort keeps the selected disk.
    emit window.findChild<QTreeWidget*>("l")->header()->sectionClicked(disks::kNameColumn);
    QCOMPARE(window.SelectedKey(), std::string("r\\server1\\e:"));
  }

  void aFailedQueryIsShownAndLeavesNothingToActOn() {
    Usage usage([](db::Database& database) { database.Execute("drop table Disks"); });
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    QCOMPARE(usage.messages.shown.size(), std::size_t{1});
    QVERIFY(usage.messages.shown.front().starts_with("Error in fduMakeL/sql: "));
    QVERIFY(window.Rows().empty());
    for (const char* name : {"Graph", "Disk Area Graph", "mnuPopupsLOpen", "mnuPopupsLExplore",
                             "mnuPopupsLDrillDown"}) {
      Trigger(window, name);
    }
    QVERIFY(usage.size_graphs.empty() && usage.disk_graphs.empty());
    QVERIFY(usage.shell.requests.empty() && usage.found_in_tree.empty());
    QCOMPARE(usage.main_window_shown, 0);
  }

  void printWritesTheDiskListWithItsPies() {
    Usage usage;
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    const std::string page = usage.fixture.folder / "disks.htm";
    usage.save_dialog.answers.push_back(page);
    WithPrintDialog(window, [](QDialog& dialog) {
      // Only the list can be printed.
      QVERIFY(dialog.findChild<QAbstractButton*>("optWhat0")->isChecked());
      QVERIFY(!dialog.findChild<QAbstractButton*>("optWhat1")->isEnabled());
      QVERIFY(!dialog.findChild<QAbstractButton*>("optWhat2")->isEnabled());
      Click(dialog, "optPrintTo1");
      dialog.findChild<QAbstractButton*>("chkBrowser")->setChecked(true);
      Click(dialog, "cmdOK");
    });
    QVERIFY(usage.messages.shown.empty());
    std::ifstream file(page);
    const std::string html{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (const char* text : {"All Disks", "SERVER1\\E:", "SERVER2\\F:", "4,096", "75%"}) {
      QVERIFY2(html.find(text) != std::string::npos, text);
    }
    QCOMPARE(usage.shell.requests, std::vector<std::string>{"open " + page});

    // On paper every row has its pie.
    WithPrintDialog(
        window,
        [](QDialog& dialog) {
          Click(dialog, "optPrintTo0");
          Click(dialog, "cmdOK");
        },
        "Print");
    QCOMPARE(usage.printer.Sent().size(), std::size_t{1});
    std::size_t pies = 0;
    for (const auto& sheet : usage.printer.Sent().front().pages) {
      for (const auto& picture : sheet.pictures) {
        pies += picture.pixel_width == disks::kPieSize ? 1 : 0;
      }
    }
    QCOMPARE(pies, std::size_t{4});
  }

  void placementAndPeriodsAcrossShowsAndCloses() {
    Usage usage;
    FrmDiskUsage& window = usage.NewWindow();
    window.ShowWindow();
    // Centred across the screen, its top at a fifth of the free height.
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(window.geometry(),
             QRect((screen.width() - 500) / 2, (screen.height() - 370) / 5, 500, 370));
    window.setGeometry(40, 60, 620, 410);

    // A show while loaded only brings the window forward: the pickers stay.
    usage.newer_pick = 1;
    usage.older_pick = 2;
    window.ShowWindow();
    QCOMPARE(window.findChild<QComboBox*>("p1")->currentIndex(), 0);

    window.close();
    QVERIFY(!window.IsLoaded());
    window.ShowWindow();
    QCOMPARE(window.geometry(), QRect(40, 60, 620, 410));
    QCOMPARE(window.findChild<QComboBox*>("p1")->currentIndex(), 1);
    QCOMPARE(window.findChild<QComboBox*>("p2")->currentIndex(), 2);
    // P2 against P0: E: was recorded in P2 only.
    QCOMPARE(usage.Rows().size(), 3);
    QCOMPARE(usage.Rows()[1], QString("SERVER1\\E:||45%|550|1,000"));
  }
};

}  // namespace brontal

// The test's own configuration folder, made before the application reads it.
int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmDiskUsageTest>(argc, argv);
}
#include "frm_disk_usage_test.moc"
