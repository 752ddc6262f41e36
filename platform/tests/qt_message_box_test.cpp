// The Qt message box and busy pointer on the offscreen platform: what the box shows, that OK
// closes it, and that the pointer restores exactly what it set.
#include "platform/qt_message_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>

#include "platform/testing/qt_test_main.h"

namespace brontal {
namespace {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool found = false;
};

// Answers the next modal message box with OK once it is up, noting what it showed.
void PressOkOnNextBox(SeenBox& seen) {
  QTimer::singleShot(0, [&seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = {box->windowTitle(), box->text(), box->icon(), true};
    box->button(QMessageBox::Ok)->click();
  });
}

TEST(QtMessageBoxTest, ShowsTitleTextAndIconAndOkClosesIt) {
  QtMessageBox message_box;
  SeenBox seen;
  PressOkOnNextBox(seen);
  message_box.Show("Severe error: \"x\" renaming", "Brontal", MessageIcon::kCritical);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, "Brontal");
  EXPECT_EQ(seen.text, "Severe error: \"x\" renaming");
  EXPECT_EQ(seen.icon, QMessageBox::Critical);

  PressOkOnNextBox(seen);
  message_box.Show("Warning only: \xc3\xa9", "Brontal");
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.text, QString::fromUtf8("Warning only: \xc3\xa9"));
  EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
}

TEST(QtBusyPointerTest, RestoresOnlyWhatItSet) {
  QApplication::setOverrideCursor(Qt::CrossCursor);  // somebody else's
  {
    QtBusyPointer pointer;
    pointer.Show();
    pointer.Show();
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    pointer.Restore();
    pointer.Restore();
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
    pointer.Show();
  }  // destroyed while busy
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
  QApplication::restoreOverrideCursor();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) { return brontal::testing::RunAllTestsInApplication(argc, argv); }
