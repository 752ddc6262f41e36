// The usage window on the offscreen platform: its caption, its text line by line, and that OK
// closes it; and when a window is shown at all.
#include "maintenance/frm_maintenance.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdlib>
#include <map>

#include "maintenance/usage.h"
#include "platform/testing/qt_test_main.h"
#include "platform/usage_window.h"

namespace brontal {
namespace {

TEST(FrmMaintenanceTest, ShowsCaptionAndUsageTextAndOkClosesIt) {
  frmMaintenance window;
  EXPECT_EQ(window.windowTitle(), "Brontal Database Purge and Compression");
  auto* text = window.findChild<QPlainTextEdit*>("Text1");
  ASSERT_NE(text, nullptr);
  QStringList lines = text->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), 19);
  EXPECT_EQ(lines[0], "BRONTALD purges old data and repairs/compresses the ");
  EXPECT_EQ(lines[1], "database.  ");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[11],
            "3  The number of months to keep weeklies.  Only the 1st of the month is keep ");
  EXPECT_EQ(lines[18], "  BRONTALD 1 6 12 730");
  EXPECT_TRUE(text->isReadOnly());

  auto* ok = window.findChild<QPushButton*>("cmdOK");
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  QTimer::singleShot(0, ok, [ok] { ok->click(); });
  EXPECT_EQ(window.exec(), QDialog::Accepted);
  EXPECT_FALSE(window.isVisible());
}

TEST(UsageTest, TextEndsEveryLineAndWindowsNeedADisplay) {
  std::string text = UsageText();
  EXPECT_TRUE(
      text.starts_with("BRONTALD purges old data and repairs/compresses the \r\n"
                       "database.  \r\n\r\nIt takes 4 parameters:\r\n"));
  EXPECT_TRUE(text.ends_with("Example:\r\n  BRONTALD 1 6 12 730\r\n"));

  auto with = [](std::map<std::string, std::string> environment) {
    return DesktopAvailable([environment](const char* name) -> const char* {
      auto found = environment.find(name);
      return found == environment.end() ? nullptr : found->second.c_str();
    });
  };
  EXPECT_TRUE(with({{"DISPLAY", ":0"}}));
  EXPECT_TRUE(with({{"WAYLAND_DISPLAY", "wayland-0"}, {"QT_QPA_PLATFORM", "wayland"}}));
  EXPECT_FALSE(with({}));
  EXPECT_FALSE(with({{"DISPLAY", ""}}));
  EXPECT_FALSE(with({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}}));
  EXPECT_FALSE(with({{"WAYLAND_DISPLAY", "w"}, {"QT_QPA_PLATFORM", "minimal"}}));
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) { return brontal::testing::RunAllTestsInApplication(argc, argv); }
