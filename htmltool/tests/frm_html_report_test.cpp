// The usage window on the offscreen platform: its text and its OK button.
#include "htmltool/frm_html_report.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdlib>

#include "htmltool/usage.h"
#include "platform/testing/qt_test_main.h"

namespace brontal {
namespace {

TEST(BrontalhWindowTest, ShowsTheUsageTextAndOkClosesIt) {
  frmHtmlReport window;
  auto* text = window.findChild<QPlainTextEdit*>("Text1");
  auto* ok = window.findChild<QPushButton*>("cmdOK");
  ASSERT_NE(text, nullptr);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(ok->text(), "OK");
  QStringList lines = text->toPlainText().split('\n');
  ASSERT_EQ(lines.size(), static_cast<qsizetype>(HtmlReportUsageLines().size()));
  for (qsizetype i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].toStdString(), HtmlReportUsageLines()[static_cast<std::size_t>(i)]);
  }
  window.show();
  ok->click();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) { return brontal::testing::RunAllTestsInApplication(argc, argv); }
