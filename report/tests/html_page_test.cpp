// The HTML page frame line by line, the escaping of data and of bytes that are not UTF-8, the
// buffered page file and the HTML file dialog's answers.
#include "report/html_page.h"

#include <gtest/gtest.h>

#include "platform/fixed_locale.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

const std::string kZone1(14, ' ');
const std::string kReplacement = "\xef\xbf\xbd";  // U+FFFD

// Keeps the lines it is given.
struct Lines : LineWriter {
  using LineWriter::WriteLine;
  void WriteLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

TEST(HtmlPageTest, HeaderFramesThePageAndNamesAllServersForBackslash) {
  Lines page;
  HtmlHeader(page, "\\");
  EXPECT_EQ(page.lines,
            (std::vector<std::string>{
                "<html>", "", "<head>",
                kZone1 + "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
                kZone1 + "<title>All Servers</title>", "</head>", "", "<body bgcolor=#ffffff>",
                "<ul>", "", kZone1 + "<h1><font color=#990099>All Servers</font></h1>", "",
                kZone1 + "<p><i>All figures are in megabytes</i></p>",
                kZone1 + "<table cellpadding=5>", ""}));
  Lines other;
  HtmlHeader(other, "\\\\myserver\\d$\\users");
  EXPECT_EQ(other.lines[4], kZone1 + "<title>\\\\myserver\\d$\\users</title>");
}

TEST(HtmlPageTest, TitlesFromParametersCannotOpenTags) {
  Lines page;
  HtmlHeader(page, "\\\\srv\\<script>alert(1)</script> & co");
  EXPECT_EQ(page.lines[4],
            kZone1 + "<title>\\\\srv\\&lt;script&gt;alert(1)&lt;/script&gt; &amp; co</title>");
  EXPECT_EQ(page.lines[10], kZone1 +
                                "<h1><font color=#990099>\\\\srv\\&lt;script&gt;alert(1)&lt;/"
                                "script&gt; &amp; co</font></h1>");
}

TEST(HtmlPageTest, EscapingTouchesOnlyTheThreeMarkupCharacters) {
  EXPECT_EQ(HtmlText("a<b>&c"), "a&lt;b&gt;&amp;c");
  std::string plain = "Program Files (x86) \"it's\" 50% caf\xc3\xa9 \xe6\x97\xa5 \xf0\x9f\x93\x81";
  EXPECT_EQ(HtmlText(plain), plain);
  EXPECT_EQ(HtmlText("&amp;"), "&amp;amp;");
}

TEST(HtmlPageTest, BytesThatAreNotUtf8BecomeOneReplacementPerBrokenPiece) {
  const std::string& r = kReplacement;
  EXPECT_EQ(HtmlText("caf\xe9"), "caf" + r);               // Latin-1, not UTF-8
  EXPECT_EQ(HtmlText("\x80x"), r + "x");                   // a stray continuation byte
  EXPECT_EQ(HtmlText("a\xc3"), "a" + r);                   // cut off at the end
  EXPECT_EQ(HtmlText("\xe2\x82x"), r + "x");               // cut off before an ASCII byte
  EXPECT_EQ(HtmlText("\xc3<b>"), r + "&lt;b&gt;");         // never swallows markup
  EXPECT_EQ(HtmlText("\xc0\xaf"), r + r);                  // "/" in an overlong form
  EXPECT_EQ(HtmlText("\xe0\x80\xaf"), r + r + r);          // the same in three bytes
  EXPECT_EQ(HtmlText("\xed\xa0\x80"), r + r + r);          // a surrogate
  EXPECT_EQ(HtmlText("\xf4\x90\x80\x80"), r + r + r + r);  // past U+10FFFF
  EXPECT_EQ(HtmlText("\xf5\xff"), r + r);
  // The first and last character of each length and of the ranges around the holes.
  for (std::string kept :
       {"\x7f", "\xc2\x80", "\xdf\xbf", "\xe0\xa0\x80", "\xed\x9f\xbf", "\xee\x80\x80",
        "\xef\xbf\xbf", "\xf0\x90\x80\x80", "\xf4\x8f\xbf\xbf"}) {
    EXPECT_EQ(HtmlText(kept), kept);
  }
  Lines page;
  HtmlHeader(page, "\\\\srv\\caf\xe9");
  EXPECT_EQ(page.lines[4], kZone1 + "<title>\\\\srv\\caf" + r + "</title>");
}

TEST(HtmlPageTest, FooterCarriesTheTimeOfWriting) {
  Lines page;
  HtmlFooter(page, DateTime::FromCivil(2026, 12, 7, 9, 5, 59), FixedLocale());
  EXPECT_EQ(page.lines, (std::vector<std::string>{
                            kZone1, kZone1 + "</table>", kZone1, kZone1 + "<br>", kZone1 + "<hr>",
                            kZone1 + "<i>Created with Brontal at 07-Dec-2026 09:05</i>", kZone1,
                            "</ul>", "</body>", "</html>"}));
  Lines german;
  HtmlFooter(german, DateTime::FromCivil(2026, 3, 1, 23, 0), FixedLocale::German());
  EXPECT_EQ(german.lines[5], kZone1 + "<i>Created with Brontal at 01-M\xc3\xa4r-2026 23:00</i>");
}

TEST(HtmlPageTest, FileWritesCrLfLinesThroughItsBufferAndReplacesOldContent) {
  testing::TempFolder folder;
  std::string path = folder / "page.htm";
  {
    HtmlFile old_page(path);
    old_page.WriteLine(std::string(100, 'x'));
  }
  HtmlFile file(path);
  std::string long_line(1000, 'y');
  for (int i = 0; i < 200; ++i) file.WriteLine(long_line);  // past the buffer several times
  file.WriteLine(ZoneLine::AtZone(1).Text("end"));
  file.Close();
  file.Close();
  std::string expected;
  for (int i = 0; i < 200; ++i) expected += long_line + "\r\n";
  expected += kZone1 + "end\r\n";
  EXPECT_EQ(testing::ReadWholeFile(path), expected);
  EXPECT_THROW(file.WriteLine("late"), std::system_error);
  EXPECT_THROW(HtmlFile(folder / "missing/page.htm"), std::system_error);
}

TEST(HtmlPageTest, AFullDiskIsReportedWhenTheBufferIsWritten) {
  HtmlFile file("/dev/full");
  file.WriteLine("<html>");
  EXPECT_THROW(file.Close(), std::system_error);
}

class AskHtmlFileNameTest : public ::testing::Test {
 protected:
  ScriptedSaveFileDialog dialog_;
  PrintState state_{.print_cancelled = false, .last_html_file = "/old.htm"};
  RecordingMessageBox box_;
};

TEST_F(AskHtmlFileNameTest, AnAnswerIsReturnedAndRemembered) {
  dialog_.answers.push_back("/srv/www/users.htm");
  EXPECT_EQ(AskHtmlFileName(&dialog_, state_, box_), "/srv/www/users.htm");
  EXPECT_EQ(state_.last_html_file, "/srv/www/users.htm");
  ASSERT_EQ(dialog_.requests.size(), 1u);
  const SaveFileRequest& request = dialog_.requests[0];
  EXPECT_EQ(request.title, "Print to HTML file...");
  EXPECT_EQ(request.filter, "HTML (*.htm;*.html)|*.htm;*.html");
  EXPECT_EQ(request.initial_name, "brontal.htm");
  EXPECT_EQ(request.default_extension, ".htm");
  EXPECT_TRUE(request.overwrite_prompt && request.hide_read_only && request.path_must_exist &&
              request.no_read_only_return);
}

TEST_F(AskHtmlFileNameTest, CancelAFailingDialogOrNoDialogClearTheLastFile) {
  dialog_.answers.push_back(std::nullopt);
  EXPECT_EQ(AskHtmlFileName(&dialog_, state_, box_), "");
  EXPECT_EQ(state_.last_html_file, "");

  state_.last_html_file = "/old.htm";
  dialog_.FailCall(2);
  dialog_.answers.push_back("/never.htm");
  EXPECT_EQ(AskHtmlFileName(&dialog_, state_, box_), "");
  EXPECT_EQ(state_.last_html_file, "");

  state_.last_html_file = "/old.htm";
  EXPECT_EQ(AskHtmlFileName(nullptr, state_, box_), "");
  EXPECT_EQ(state_.last_html_file, "");
  EXPECT_TRUE(box_.shown.empty());
}

TEST_F(AskHtmlFileNameTest, ADialogThatCannotBeSetUpIsReportedAndChangesNothing) {
  dialog_.FailCall(1, /*while_preparing=*/true);
  EXPECT_EQ(AskHtmlFileName(&dialog_, state_, box_), "");
  EXPECT_EQ(box_.shown, std::vector<std::string>{"Invalid filter"});
  EXPECT_EQ(state_.last_html_file, "/old.htm");
}

}  // namespace
}  // namespace brontal
