// The size graph window on a real database file: opening by key and its caption, the buttons'
// states kept across a close, Copy of the chart, and the list printed as an HTML page.
#include "viewer/frmGraph/frm_graph.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QDialog>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "platform/busy_pointer.h"
#include "platform/clipboard.h"
#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/message_box.h"
#include "platform/printing/progress_window.h"
#include "platform/testing/recording_printer.h"
#include "platform/printing/save_file_dialog.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/qtest_main.h"
#include "viewer/client.h"
#include "viewer/tests/print_dialog_driver.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using testing::Click;
using testing::WithPrintDialog;

// A graph window over the fixture, with fakes where the desktop would answer.
struct Graph : testing::ClientOnFixture {
  FrmGraph& NewWindow() {
    window = std::make_unique<FrmGraph>(
        client,
        MainWindowLink{[] { return 0; }, [] { return std::string("r\\server1"); },
                       [this] { ++main_window_shown; }},
        PrintServices{printer, save_dialog, progress, print_state});
    return *window;
  }

  QStringList Rows() const {
    auto* list = window->findChild<QTreeWidget*>("l");
    QStringList rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* row = list->topLevelItem(i);
      rows << row->text(0) + "|" + row->text(1).trimmed() + "|" + row->text(2).trimmed();
    }
    return rows;
  }

  RecordingPrinter printer;
  ScriptedSaveFileDialog save_dialog;
  RecordingProgressWindow progress;
  PrintState print_state;
  int main_window_shown = 0;
  std::unique_ptr<FrmGraph> window;
};

void Trigger(FrmGraph& window, const char* name) {
  QAction* action = window.findChild<QAction*>(name);
  QVERIFY2(action != nullptr, name);
  action->trigger();
}

}  // namespace

class FrmGraphTest : public QObject {
  Q_OBJECT

 private slots:
  void graphItNamesThePlaceAndListsItsPeriods() {
    Graph graph;
    FrmGraph& window = graph.NewWindow();
    window.GraphIt("");
    QVERIFY(!window.isVisible());
    QVERIFY(window.GraphKey().empty());

    window.GraphIt("r");
    QVERIFY(window.isVisible());
    QVERIFY(!window.StartupPicVisible());
    QCOMPARE(window.windowTitle(), QString("Graph - All Servers"));
    QCOMPARE(window.ChartWidget()->title(), QString("All Servers"));
    // Both servers summed, oldest first; P0 holds one byte per row.
    QCOMPARE(graph.Rows(), QStringList({"22-Nov-2026 02:00|0|0", "29-Nov-2026 02:00|3,013|3,013",
                                        "06-Dec-2026 02:00|3,015|2"}));
    QVERIFY(!graph.pointer.busy);

    // A drive the fixture does not hold still names its place; the same window is redrawn.
    window.GraphIt("R\\SERVER1\\D:");
    QCOMPARE(window.windowTitle(), QString("Graph - \\\\SERVER1\\D$"));
    QVERIFY(graph.Rows().isEmpty());
    QCOMPARE(window.ChartData().points.size(), std::size_t{2});

    // A key in lower case, as the disk usage window hands it over, finds the drive's rows.
    window.GraphIt("r\\server1\\c:");
    QCOMPARE(window.windowTitle(), QString("Graph - \\\\server1\\c$"));
    QCOMPARE(graph.Rows().size(), 3);
    QVERIFY(graph.messages.shown.empty());
  }

  void buttonStatesSurviveCloseAndReopen() {
    Graph graph;
    {
      FrmGraph& window = graph.NewWindow();
      window.GraphIt("r");
      QCOMPARE(window.Style().type, graph::ChartType::kBar);
      QVERIFY(window.SetSplitterLeft(3000));
      QVERIFY(!window.SetSplitterLeft(200));
      Trigger(window, "lingraph");
      Trigger(window, "delta");
      Trigger(window, "Grid");
      QVERIFY(!window.findChild<QAction*>("bargraph")->isChecked());
      QCOMPARE(window.Style().type, graph::ChartType::kLine);
      QCOMPARE(window.Style().column, graph::GraphColumn::kChange);
      // The chart now plots the changes.
      QCOMPARE(window.ChartData().points.back().value.value_or(-1), 2.0);
      window.close();
      QVERIFY(window.GraphKey().empty());
    }
    QCOMPARE(graph.settings.Get("frmGraph", "LinGraph", ""), std::string("1"));
    QCOMPARE(graph.settings.Get("frmGraph", "BarGraph", ""), std::string("0"));

    FrmGraph& window = graph.NewWindow();
    window.GraphIt("r");
    for (const char* pressed : {"lingraph", "delta", "Grid"})
      QVERIFY2(window.findChild<QAction*>(pressed)->isChecked(), pressed);
    for (const char* released : {"bargraph", "sigma"})
      QVERIFY2(!window.findChild<QAction*>(released)->isChecked(), released);
    QCOMPARE(window.Style().type, graph::ChartType::kLine);
    QVERIFY(window.Style().grid_checked);
    QCOMPARE(window.SplitterLeft(), 3000);
    QVERIFY(window.findChild<QAction*>("mnuGraphGrid")->isChecked());
  }

  void copyOfTheChartIsAPictureAndOfTheListItsText() {
    Graph graph;
    FrmGraph& window = graph.NewWindow();
    window.GraphIt("r");
    // The chart has the focus when the window is loaded.
    QCOMPARE(window.FocusControl(), AnalysisWindow::FocusTarget::kChart);
    Trigger(window, "mnuEditCopy");
    const Picture& picture = graph.clipboard.picture;
    QVERIFY(picture.width > 0 && picture.height > 0);
    QCOMPARE(picture.pixels.size(), static_cast<std::size_t>(picture.width) * picture.height);
    // A chart, not an empty area: more than one colour.
    bool varied = false;
    for (std::uint32_t pixel : picture.pixels) varied |= pixel != picture.pixels.front();
    QVERIFY(varied);
    QVERIFY(graph.clipboard.text.empty());

    // A double click on the chart shows the main window; the right button opens Popups G.
    auto* chart = window.findChild<QWidget*>("g");
    QWidget* area = static_cast<QAbstractScrollArea*>(chart)->viewport();
    QTest::mouseDClick(area, Qt::LeftButton);
    QCOMPARE(graph.main_window_shown, 1);
    QTest::mouseRelease(area, Qt::RightButton);
    auto* popup = window.findChild<QMenu*>("mnuPopupsG");
    QVERIFY(popup && popup->isVisible());
    popup->close();

    auto* list = window.findChild<QTreeWidget*>("l");
    QFocusEvent focus(QEvent::FocusIn, Qt::OtherFocusReason);
    QApplication::sendEvent(list, &focus);
    Trigger(window, "mnuPopupsLCopyList");
    QCOMPARE(graph.clipboard.text,
             std::string("Period\tSize MB\tChange MB\r\n22-Nov-2026 02:00\t0\t0\r\n"
                         "29-Nov-2026 02:00\t3,013\t3,013\r\n06-Dec-2026 02:00\t3,015\t2\r\n"));
  }

  void printOfTheListWritesAnHtmlPageTitledWithTheChart() {
    Graph graph;
    FrmGraph& window = graph.NewWindow();
    window.GraphIt("r\\server1\\c:");
    const std::string page = graph.fixture.folder / "graph.htm";
    graph.save_dialog.answers.push_back(page);
    WithPrintDialog(window, [](QDialog& dialog) {
      // Graph comes chosen and Tree cannot be.
      QVERIFY(dialog.findChild<QAbstractButton*>("optWhat2")->isChecked());
      QVERIFY(!dialog.findChild<QAbstractButton*>("optWhat1")->isEnabled());
      Click(dialog, "optWhat0");
      Click(dialog, "optPrintTo1");
      dialog.findChild<QAbstractButton*>("chkBrowser")->setChecked(true);
      Click(dialog, "cmdOK");
    });
    QVERIFY(graph.messages.shown.empty());
    std::ifstream file(page);
    const std::string html{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    QVERIFY(html.find("\\\\server1\\c$") != std::string::npos);
    QVERIFY(html.find("06-Dec-2026 02:00") != std::string::npos);
    QVERIFY(html.find("1,015") != std::string::npos);
    QCOMPARE(graph.shell.requests, std::vector<std::string>{"open " + page});
    QVERIFY(graph.printer.Sent().empty());
  }
};

}  // namespace brontal

// The test's own configuration folder, made before the application reads it.
int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmGraphTest>(argc, argv);
}
#include "frm_graph_test.moc"
