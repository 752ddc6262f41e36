// The monitor configuration form on the offscreen platform over real database files: a typed
// path connected, the switch to the levels tab registering the node, a path that does not
// connect keeping the database tab, and OK saving the spun level and ending the dialog.
#include "monconfig/frm_monitor_config.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>
#include <memory>
#include <string>
#include <vector>

#include "monconfig/tests/monconfig_fixture.h"
#include "platform/testing/qtest_main.h"
#include "store/schema.h"

namespace brontal {

class FrmMonitorConfigTest : public QObject {
  Q_OBJECT

 private:
  // A form over a fresh program folder holding the database "brontal.mdb" (default level 3)
  // and no dbloc.txt.
  struct Run : testing::MonitorConfigRig {
    Run() {
      CreateBrontalDatabase(*engine, database, 3);
      form = std::make_unique<FrmMonitorConfig>(config);
    }
    template <typename Widget>
    Widget* Find(const char* name) {
      auto* widget = form->findChild<Widget*>(name);
      if (!widget) qFatal("no widget %s", name);
      return widget;
    }
    std::vector<std::string> Node1Levels() { return MonitorConfigRig::Node1Levels(database); }

    std::string database = folder / "brontal.mdb";
    MonitorConfig config{Services()};
    std::unique_ptr<FrmMonitorConfig> form;
  };

 private slots:
  void TypedPathConnectsAndTheLevelsTabRegistersTheNode() {
    Run run;
    run.form->show();
    QCOMPARE(run.form->windowTitle(), QString("Brontal Monitor Configuration NODE1"));
    auto* stab = run.Find<QTabWidget>("stab");
    QCOMPARE(stab->currentIndex(), 0);
    QVERIFY(!stab->isTabEnabled(1));
    QCOMPARE(run.Find<QLabel>("sb")->text(), QString("Specified database not found"));

    QTest::keyClicks(run.Find<QLineEdit>("txtdatabase"), QString::fromStdString(run.database));
    QTest::mouseClick(run.Find<QPushButton>("cmdConnect"), Qt::LeftButton);
    QVERIFY(stab->isTabEnabled(1));
    QCOMPARE(testing::ReadWholeFile(run.folder / "dbloc.txt"), run.database + "\r\n");

    stab->setCurrentIndex(1);
    QCOMPARE(stab->currentIndex(), 1);
    QCOMPARE(run.Node1Levels(), std::vector<std::string>{"-1"});
    QCOMPARE(run.Find<QLineEdit>("txtLevels")->text(), QString("3"));
    QCOMPARE(run.Find<QLabel>("lblDefaultLevels")->text(), QString("(Default 3)"));
    QCOMPARE(run.Find<QLabel>("sb")->text(), QString("Connection OK"));

    // Closing the window saves nothing.
    auto* levels = run.Find<QLineEdit>("txtLevels");
    levels->clear();
    QTest::keyClicks(levels, "6");
    run.form->close();
    QCOMPARE(run.Node1Levels(), std::vector<std::string>{"-1"});
  }

  void PathThatDoesNotConnectKeepsTheDatabaseTab() {
    Run run;
    testing::TempFolder other;
    run.form->show();
    auto* stab = run.Find<QTabWidget>("stab");
    auto* box = run.Find<QLineEdit>("txtdatabase");
    QTest::keyClicks(box, QString::fromStdString(run.database));
    QTest::mouseClick(run.Find<QPushButton>("cmdConnect"), Qt::LeftButton);

    box->clear();
    QTest::keyClicks(box, QString::fromStdString(other / "gone.mdb"));
    run.questions.answers = {true};
    stab->setCurrentIndex(1);
    QCOMPARE(stab->currentIndex(), 0);
    QCOMPARE(box->text(), QString::fromStdString(run.database));  // the held path, back
    QVERIFY(run.Node1Levels().empty());
    QVERIFY(run.form->isVisible());
  }

  void OkSavesTheSpunLevelAndEnds() {
    Run run;
    run.form->show();
    QTest::keyClicks(run.Find<QLineEdit>("txtdatabase"), QString::fromStdString(run.database));
    QTest::mouseClick(run.Find<QPushButton>("cmdConnect"), Qt::LeftButton);
    run.Find<QTabWidget>("stab")->setCurrentIndex(1);
    QCOMPARE(run.Node1Levels(), std::vector<std::string>{"-1"});

    auto* up = run.Find<QWidget>("spnDl")->findChild<QToolButton*>("up");
    QTest::mouseClick(up, Qt::LeftButton);
    QTest::mouseClick(up, Qt::LeftButton);
    QCOMPARE(run.Find<QLineEdit>("txtLevels")->text(), QString("5"));
    QTest::mouseClick(run.Find<QPushButton>("cmdOK"), Qt::LeftButton);
    QCOMPARE(run.Node1Levels(), std::vector<std::string>{"5"});
    QCOMPARE(run.Find<QLabel>("sb")->text(), QString("Level setting saved"));
    QVERIFY(!run.form->isVisible());
    QCOMPARE(run.form->result(), int(QDialog::Accepted));
    QVERIFY(run.messages.shown.empty());
  }
};

}  // namespace brontal

int main(int argc, char** argv) {
  return brontal::testing::RunQtTest<brontal::FrmMonitorConfigTest>(argc, argv);
}
#include "frm_monitor_config_test.moc"
