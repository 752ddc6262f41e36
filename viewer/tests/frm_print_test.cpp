// The print dialog's choices and the progress window of a running print, on the offscreen
// platform.
#include "viewer/frmPrint/frm_print.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QtTest>
#include <functional>

#include "platform/testing/qtest_main.h"
#include "report/print_state.h"
#include "viewer/frmPrinting/frm_printing.h"

namespace brontal {
namespace {

// The dialog's controls by the names the windows and tests know them by.
struct PrintControls {
  explicit PrintControls(FrmPrint& dialog)
      : list(dialog.findChild<QRadioButton*>("optWhat0")),
        tree(dialog.findChild<QRadioButton*>("optWhat1")),
        graph(dialog.findChild<QRadioButton*>("optWhat2")),
        printer(dialog.findChild<QRadioButton*>("optPrintTo0")),
        html(dialog.findChild<QRadioButton*>("optPrintTo1")),
        browser(dialog.findChild<QCheckBox*>("chkBrowser")),
        ok(dialog.findChild<QPushButton*>("cmdOK")),
        cancel(dialog.findChild<QPushButton*>("cmdCancel")) {}
  QRadioButton* list;
  QRadioButton* tree;
  QRadioButton* graph;
  QRadioButton* printer;
  QRadioButton* html;
  QCheckBox* browser;
  QPushButton* ok;
  QPushButton* cancel;
};

// Shows the dialog modally as a window's print command does, runs `step` on it once it is up.
void RunDialog(FrmPrint& dialog, const std::function<void(PrintControls&)>& step) {
  QTimer::singleShot(0, &dialog, [&dialog, &step] {
    PrintControls controls(dialog);
    step(controls);
    if (dialog.isVisible()) dialog.reject();
  });
  dialog.exec();
}

}  // namespace

class FrmPrintTest : public QObject {
  Q_OBJECT

 private slots:
  void graphForcesPrinterAndListGivesHtmlBackWithoutTheBrowserBox() {
    PrintState state;
    FrmPrint dialog(state, "laser & co");
    PrintControls c(dialog);
    QCOMPARE(c.printer->text(), QString("&Printer (laser && co)"));
    QVERIFY(c.list->isChecked() && c.printer->isChecked());
    QVERIFY(c.html->isEnabled() && !c.browser->isEnabled());

    c.html->click();
    QVERIFY(c.browser->isEnabled());
    c.browser->setChecked(true);
    c.graph->click();
    QVERIFY(c.printer->isChecked());
    QVERIFY(!c.html->isEnabled() && !c.browser->isEnabled());

    c.list->click();
    QVERIFY(c.html->isEnabled());
    QVERIFY(c.printer->isChecked() && !c.browser->isEnabled());
    c.html->click();
    QVERIFY(c.browser->isEnabled() && c.browser->isChecked());
    c.printer->click();
    QVERIFY(!c.browser->isEnabled());
  }

  void okWritesTheChoicesAndTheBrowserOnlyForHtml() {
    PrintState state;
    state.print_cancelled = true;
    FrmPrint dialog(state, "lp");
    RunDialog(dialog, [&state](PrintControls& c) {
      QVERIFY(!state.print_cancelled);  // cleared as the dialog opens
      c.tree->click();
      c.html->click();
      c.browser->setChecked(true);
      c.ok->click();
    });
    QCOMPARE(state.print_what, int{kPrintTree});
    QCOMPARE(state.print_to, int{kPrintToHtml});
    QVERIFY(state.view_in_browser && !state.print_cancelled);

    // The next dialog starts on these choices; the box ticked stays so, but counts only for HTML.
    FrmPrint again(state, "lp");
    RunDialog(again, [](PrintControls& c) {
      QVERIFY(c.tree->isChecked() && c.html->isChecked() && c.browser->isChecked());
      c.printer->click();
      c.ok->click();
    });
    QCOMPARE(state.print_to, int{kPrintToPrinter});
    QVERIFY(!state.view_in_browser);
  }

  void cancelEscapeAndTheCloseBoxAllCancel() {
    PrintState state;
    state.print_what = kPrintTree;
    FrmPrint dialog(state, "lp");
    RunDialog(dialog, [](PrintControls& c) {
      c.list->click();
      c.cancel->click();
    });
    QVERIFY(state.print_cancelled);
    QCOMPARE(state.print_what, int{kPrintTree});  // Cancel keeps the previous choices

    FrmPrint escaped(state, "lp");
    RunDialog(escaped, [&state, &escaped](PrintControls&) {
      QVERIFY(!state.print_cancelled);
      QTest::keyClick(&escaped, Qt::Key_Escape);
    });
    QVERIFY(state.print_cancelled);

    FrmPrint closed(state, "lp");
    RunDialog(closed, [&closed](PrintControls&) { closed.close(); });
    QVERIFY(state.print_cancelled);
  }

  void aDisabledChoiceGivesWayAndGraphCanBeChosenByTheCaller() {
    PrintState state;
    state.print_what = kPrintGraph;
    FrmPrint dialog(state, "lp");
    PrintControls c(dialog);
    QVERIFY(!c.html->isEnabled());
    dialog.DisableWhat(kPrintGraph);
    QVERIFY(c.list->isChecked() && !c.graph->isEnabled());
    QVERIFY(c.html->isEnabled());

    PrintState graph_state;
    graph_state.print_to = kPrintToHtml;
    FrmPrint graph_window(graph_state, "lp");
    graph_window.DisableWhat(kPrintTree);
    graph_window.SelectWhat(kPrintGraph);
    PrintControls g(graph_window);
    QVERIFY(g.graph->isChecked() && g.printer->isChecked() && !g.tree->isEnabled());
    graph_window.accept();
    QCOMPARE(graph_state.print_what, int{kPrintGraph});
    QCOMPARE(graph_state.print_to, int{kPrintToPrinter});
  }

  void progressWindowShowsStatusOnTopAndCancelsWhileTheLoopRuns() {
    FrmPrinting progress;
    int cancels = 0;
    progress.Open("Initialising...", [&cancels] { ++cancels; });
    QDialog& window = progress.Window();
    auto* status = window.findChild<QLabel*>("lblStatus");
    QVERIFY(window.isVisible());
    QVERIFY(window.windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(status->text(), QString("Initialising..."));
    progress.SetStatus("50% complete");
    QCOMPARE(status->text(), QString("50% complete"));

    // The press waits in the queue until the print loop lets events run.
    QTimer::singleShot(0, &window,
                       [&window] { window.findChild<QPushButton*>("cmdCancel")->click(); });
    QCOMPARE(cancels, 0);
    progress.ProcessEvents();
    QCOMPARE(cancels, 1);
    QVERIFY(!window.isVisible());

    // Closed by the print at its end: no cancel, and a late Escape reaches nobody's state.
    progress.Open("Printing...", [&cancels] { ++cancels; });
    progress.Close();
    QVERIFY(!window.isVisible());
    window.reject();
    QCOMPARE(cancels, 1);

    progress.Open("Printing...", [&cancels] { ++cancels; });
    window.close();
    QCOMPARE(cancels, 2);
  }
};

}  // namespace brontal

int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmPrintTest>(argc, argv);
}
#include "frm_print_test.moc"
