// The disk graph window on a real database file: opening by disk key, the list and the stacked
// areas, Spin Areas and Grid kept across a close, and the list printed as an HTML page.
#include "viewer/frmDiskGraph/frm_disk_graph.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QAreaSeries>
#include <QChart>
#include <QComboBox>
#include <QDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineSeries>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <memory>
#include <string>

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

// A disk graph window over the fixture, with fakes where the desktop would answer. The fixture
// gains a 100 MB drive R\SERVER1\E: with 30 MB free: 60 MB of files in P2 (10 MB lost) and
// 75 MB in P1, more than the drive holds besides its free space.
struct DiskGraph : testing::ClientOnFixture {
  DiskGraph()
      : ClientOnFixture([](db::Database& database) {
          for (auto [pdate, files_mb] :
               {std::pair{testing::kP2, 60}, std::pair{testing::kP1, 75}}) {
            testing::AddDiskRow(database, "R\\SERVER1", "E:", 30 * kMB, 100 * kMB, pdate);
            testing::AddDirRow(database, "R\\SERVER1", "E:", files_mb * kMB, pdate);
          }
        }) {}

  FrmDiskGraph& NewWindow() {
    window = std::make_unique<FrmDiskGraph>(
        client,
        MainWindowLink{.newer_pick_index = [] { return 0; },
                       .current_key = [] { return std::string("r\\server1\\c:"); },
                       .show = [this] { shown.push_back("show"); },
                       .find_in_tree = [this](const std::string& key) { shown.push_back(key); }},
        PrintServices{printer, save_dialog, progress, print_state});
    return *window;
  }

  QStringList Rows() const {
    auto* list = window->findChild<QTreeWidget*>("l");
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      QStringList cells;
      for (int column = 0; column < 4; ++column) cells << list->topLevelItem(i)->text(column);
      rows << cells.join("|");
    }
    return rows;
  }

  // The area series bottom to top.
  QList<QAreaSeries*> Areas() const {
    QList<QAreaSeries*> areas;
    for (QAbstractSeries* series : window->ChartWidget()->series()) {
      if (auto* area = qobject_cast<QAreaSeries*>(series)) areas << area;
    }
    return areas;
  }

  QStringList AreaNames() const {
    QStringList names;
    for (QAreaSeries* area : Areas()) names << area->name();
    return names;
  }

  RecordingPrinter printer;
  ScriptedSaveFileDialog save_dialog;
  RecordingProgressWindow progress;
  PrintState print_state;
  std::vector<std::string> shown;
  std::unique_ptr<FrmDiskGraph> window;
};

void Trigger(QWidget& window, const char* name) {
  QAction* action = window.findChild<QAction*>(name);
  QVERIFY2(action != nullptr, name);
  action->trigger();
}

}  // namespace

class FrmDiskGraphTest : public QObject {
  Q_OBJECT

 private slots:
  void graphItNamesTheDriveAndListsItsPeriods() {
    DiskGraph graph;
    FrmDiskGraph& window = graph.NewWindow();
    window.GraphIt("r\\server1\\c:");
    QVERIFY(window.isVisible());
    QVERIFY(!window.StartupPicVisible());
    QCOMPARE(window.findChild<QLabel*>("lblLoading")->text(), QString("Loading \\\\server1\\c$"));
    QCOMPARE(window.windowTitle(), QString("Disk Graph - \\\\server1\\c$"));
    QCOMPARE(window.ChartWidget()->title(), QString("\\\\server1\\c$"));
    // Oldest first; P0 holds one byte of files.
    QCOMPARE(graph.Rows(),
             QStringList({"22-Nov-2026 02:00|4,096|0|3,000", "29-Nov-2026 02:00|4,096|1,013|3,000",
                          "06-Dec-2026 02:00|4,096|1,015|3,000"}));
    QCOMPARE(window.findChild<QLabel*>("lblC1")->text(), QString("Lost space"));
    // "Dir Size" sorts descending first; "Period" then sorts by the hidden date, oldest first.
    QHeaderView* header = window.findChild<QTreeWidget*>("l")->header();
    emit header->sectionClicked(disks::kDirSizeColumn);
    QCOMPARE(graph.Rows().first(), QString("06-Dec-2026 02:00|4,096|1,015|3,000"));
    emit header->sectionClicked(disks::kPeriodColumn);
    QCOMPARE(graph.Rows().first(), QString("22-Nov-2026 02:00|4,096|0|3,000"));
    QVERIFY(graph.messages.shown.empty());
    QVERIFY(!graph.pointer.busy);

    // A click on the chart makes it the control Copy acts on; a double click finds the disk
    // usage window's disk, then shows the main window.
    auto* list = window.findChild<QTreeWidget*>("l");
    list->setFocus();
    QCOMPARE(window.FocusControl(), AnalysisWindow::FocusTarget::kList);
    auto* chart = static_cast<QAbstractScrollArea*>(window.findChild<QWidget*>("g"));
    QTest::mouseClick(chart->viewport(), Qt::LeftButton);
    QCOMPARE(window.FocusControl(), AnalysisWindow::FocusTarget::kChart);
    QTest::mouseDClick(chart->viewport(), Qt::LeftButton);
    QCOMPARE(graph.shown, (std::vector<std::string>{"r\\server1\\c:", "show"}));
    // Releasing the right button over the list opens the list's popup.
    QTest::mouseRelease(list->viewport(), Qt::RightButton);
    auto* popup = window.findChild<QMenu*>("mnuPopupsL");
    QVERIFY(popup && popup->isVisible());
    popup->close();

    // A period text that cannot be read fails the query: unreported after a pick, shown when the
    // skip box asks; either way the list keeps its rows.
    auto* p1 = window.findChild<QComboBox*>("p1");
    p1->addItem("no period");
    p1->setCurrentIndex(p1->count() - 1);
    QVERIFY(graph.messages.shown.empty());
    window.findChild<QComboBox*>("cmbSkip")->setCurrentIndex(1);
    QCOMPARE(graph.messages.shown.size(), std::size_t{1});
    QVERIFY2(graph.messages.shown[0].ends_with(" in MakeL"), graph.messages.shown[0].c_str());
    QCOMPARE(graph.Rows().size(), 3);
  }

  void areasStackToTheDriveSizeAndLostSpaceNeverBelowZero() {
    DiskGraph graph;
    FrmDiskGraph& window = graph.NewWindow();
    window.GraphIt("R\\SERVER1\\E:");
    QCOMPARE(graph.Rows(),
             QStringList({"29-Nov-2026 02:00|100|60|30", "06-Dec-2026 02:00|100|75|30"}));
    const QList<QAreaSeries*> areas = graph.Areas();
    QCOMPARE(graph.AreaNames(), QStringList({"Sum of file lengths", "Lost space", "Free space"}));
    QCOMPARE(areas[0]->color(), QColor(128, 0, 128));
    QVERIFY(areas[0]->lowerSeries() == nullptr);
    QVERIFY(areas[1]->lowerSeries() == areas[0]->upperSeries());
    QVERIFY(areas[2]->lowerSeries() == areas[1]->upperSeries());
    // Two periods make three points, the third drawn as nothing.
    QCOMPARE(window.ChartData().points.size(), std::size_t{3});
    QCOMPARE(areas[2]->upperSeries()->points(),
             (QList<QPointF>{{0, 100}, {1, 105}}));  // files, lost and free stacked
    QCOMPARE(areas[1]->upperSeries()->points(), (QList<QPointF>{{0, 70}, {1, 75}}));
  }

  void spinAndGridSurviveCloseAndReopen() {
    DiskGraph graph;
    {
      FrmDiskGraph& window = graph.NewWindow();
      window.GraphIt("r\\server1\\c:");
      const QStringList start = graph.AreaNames();
      for (int spin = 0; spin < 3; ++spin) Trigger(window, "Spin Areas");
      QCOMPARE(graph.AreaNames(), start);
      QCOMPARE(window.AreaStacking(), disks::Stacking{});

      // The top area, free space, goes to the bottom.
      Trigger(window, "mnuGraphSpinAreas");
      QCOMPARE(graph.AreaNames(), QStringList({"Free space", "Sum of file lengths", "Lost space"}));
      Trigger(window, "Grid");
      QVERIFY(window.GridChecked());
      QVERIFY(window.findChild<QAction*>("mnuPopupsGgrid")->isChecked());
      window.close();
      QVERIFY(window.GraphKey().empty());
    }
    QCOMPARE(graph.settings.Get("frmDiskGraph", "SetUsed", ""), std::string("2"));
    QCOMPARE(graph.settings.Get("frmDiskGraph", "SetLost", ""), std::string("3"));
    QCOMPARE(graph.settings.Get("frmDiskGraph", "SetFree", ""), std::string("1"));
    QCOMPARE(graph.settings.Get("frmDiskGraph", "Grid", ""), std::string("1"));

    FrmDiskGraph& window = graph.NewWindow();
    window.GraphIt("r\\server1\\c:");
    QCOMPARE(graph.AreaNames(), QStringList({"Free space", "Sum of file lengths", "Lost space"}));
    for (const char* grid : {"Grid", "mnuGraphGrid", "mnuPopupsGgrid"})
      QVERIFY2(window.findChild<QAction*>(grid)->isChecked(), grid);
    // The grid's menu item turns it off again, the button with it.
    Trigger(window, "mnuGraphGrid");
    QVERIFY(!window.findChild<QAction*>("Grid")->isChecked());
  }

  void printOfTheListWritesAnHtmlPageTitledWithTheChart() {
    DiskGraph graph;
    FrmDiskGraph& window = graph.NewWindow();
    window.GraphIt("r\\server1\\c:");
    const std::string page = graph.fixture.folder / "disk.htm";
    graph.save_dialog.answers.push_back(page);
    WithPrintDialog(window, [](QDialog& dialog) {
      QVERIFY(dialog.findChild<QAbstractButton*>("optWhat2")->isChecked());
      QVERIFY(!dialog.findChild<QAbstractButton*>("optWhat1")->isEnabled());
      Click(dialog, "optWhat0");
      Click(dialog, "optPrintTo1");
      Click(dialog, "cmdOK");
    });
    QVERIFY(graph.messages.shown.empty());
    std::ifstream file(page);
    const std::string html{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    for (const char* text : {"\\\\server1\\c$", "29-Nov-2026 02:00", "1,013", "4,096"})
      QVERIFY2(html.find(text) != std::string::npos, text);
    // The hidden date column is not printed.
    QVERIFY(html.find("2026-11-29") == std::string::npos);
    QVERIFY(graph.printer.Sent().empty());
  }
};

}  // namespace brontal

// The test's own configuration folder, made before the application reads it.
int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmDiskGraphTest>(argc, argv);
}
#include "frm_disk_graph_test.moc"
