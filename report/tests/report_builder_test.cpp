// HTML reports of a small database: the rows of lists and trees, their order and indentation,
// the total, periods present on one side only, the page as a whole, the log of an unattended
// run, progress and cancel in an interactive one, and the errors.
#include "report/report_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "report/tests/report_fixture.h"

namespace brontal {
namespace {

using testing::kMB;
using testing::kP1;
using testing::kP2;
using Rows = std::vector<std::string>;

class ReportBuilderTest : public testing::ReportFixture {
 protected:
  // The log's lines without their date stamps.
  Rows LogMessages(const std::string& path) {
    std::string stamp = locale_.GeneralDate(clock_.Now());
    stamp.resize((stamp.size() / 14 + 1) * 14, ' ');
    Rows lines;
    std::stringstream log(testing::ReadWholeFile(path));
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line.starts_with(stamp) ? line.substr(stamp.size()) : line);
    }
    return lines;
  }
};

TEST(ReportUncToKeyTest, DriveSharesBecomeDrivesAndEverythingElseStays) {
  EXPECT_EQ(UncToKey("\\"), "R");
  EXPECT_EQ(UncToKey("\\\\myserver\\d$\\users"), "R\\myserver\\d:\\users");
  EXPECT_EQ(UncToKey("\\\\myserver\\d$"), "R\\myserver\\d:");
  EXPECT_EQ(UncToKey("\\\\myserver\\share\\x"), "R\\myserver\\share\\x");
  EXPECT_EQ(UncToKey("\\\\myserver\\data$\\x"), "R\\myserver\\data$\\x");  // not a drive
  EXPECT_EQ(UncToKey("\\\\myserver"), "R\\myserver");
  EXPECT_EQ(UncToKey("\\\\vm\\/home"), "R\\vm\\/home");
}

TEST_F(ReportBuilderTest, ListSortedByChangeDescendingEndsWithTheYellowTotal) {
  EXPECT_EQ(Html("R\\SERVER1\\C:", false, kSortByChange, 1), ReportOutcome::kWritten);
  EXPECT_EQ(HtmlRows(), (Rows{"1|Old|-12||12", "1|New|10|10|", "1|Users|4|305|301", "1|.|0|10|10",
                              "1|users2|0|90|90", "1|WINNT|0|600|600", "*0|Total|2|1,015|1,013"}));
  // Ascending, the ties still come in ascending name order.
  Html("r\\server1\\c:", false, kSortByChange, 0);
  EXPECT_EQ(HtmlRows(),
            (Rows{"1|.|0|10|10", "1|users2|0|90|90", "1|WINNT|0|600|600", "1|Users|4|305|301",
                  "1|New|10|10|", "1|Old|-12||12", "*0|Total|2|1,015|1,013"}));
}

TEST_F(ReportBuilderTest, TheTotalStaysLastWhateverTheSort) {
  for (int field = 0; field <= 4; ++field) {
    for (int order : {0, 1}) {
      Html("r\\server1\\c:", false, field, order);
      Rows rows = HtmlRows();
      // Six when "." sorts just before the total, where it is left out.
      bool has_own_files = std::count(rows.begin(), rows.end(), "1|.|0|10|10") == 1;
      EXPECT_EQ(rows.size(), has_own_files ? 7u : 6u) << field << " " << order;
      EXPECT_EQ(rows.back(), "*0|Total|2|1,015|1,013") << field << " " << order;
      for (std::size_t i = 0; i + 1 < rows.size(); ++i) EXPECT_NE(rows[i][0], '*');
    }
  }
}

TEST_F(ReportBuilderTest, OwnFilesAreLeftOutOnlyWhereTheyCloseTheirParentsRun) {
  Html("r\\server1\\c:\\users", false, kSortByName, 0);
  EXPECT_EQ(HtmlRows(),
            (Rows{"1|.|0|1|1", "1|alice|4|300|296", "1|Bob|0|4|4", "*0|Total|4|305|301"}));
  Html("r\\server1\\c:\\users", false, kSortByName, 1);  // "." would come just before the total
  EXPECT_EQ(HtmlRows(), (Rows{"1|Bob|0|4|4", "1|alice|4|300|296", "*0|Total|4|305|301"}));
}

TEST_F(ReportBuilderTest, TreeListsEverythingBelowInPathOrderIndentedByDepth) {
  EXPECT_EQ(Html("R\\SERVER1\\C:", true), ReportOutcome::kWritten);
  EXPECT_EQ(HtmlRows(),
            (Rows{"1|.|0|10|10", "1|New|10|10|", "1|Old|-12||12", "1|Users|4|305|301", "2|.|0|1|1",
                  "2|alice|4|300|296", "2|Bob|0|4|4", "1|users2|0|90|90", "2|x|0|90|90",
                  "1|WINNT|0|600|600",  // its "." ends its run and is left out
                  "*0|Total|2|1,015|1,013"}));
}

TEST_F(ReportBuilderTest, TreeTakesInThePlacesBesideItWhoseNamesBeginTheSame) {
  Html("r\\server1\\c:\\users", true);
  EXPECT_EQ(HtmlRows(), (Rows{"1|.|0|1|1", "1|alice|4|300|296", "1|Bob|0|4|4", "1|x|0|90|90",
                              "*0|Total|4|305|301"}));
}

TEST_F(ReportBuilderTest, RootListsTheNodesWithTheirSumAsTotalIndentedAlike) {
  Html("r", false, kSortByName, 0);
  EXPECT_EQ(HtmlRows(),
            (Rows{"1|SERVER1|2|1,015|1,013", "1|SERVER2|0|2,000|2,000", "*1|Total|2|3,015|3,013"}));
  Html("R", true);
  Rows tree = HtmlRows();
  ASSERT_EQ(tree.size(), 15u);
  EXPECT_EQ(tree[0], "1|SERVER1|2|1,015|1,013");
  EXPECT_EQ(tree[1], "2|C:|2|1,015|1,013");
  EXPECT_EQ(tree[2], "3|.|0|10|10");
  EXPECT_EQ(tree[13], "2|D:|0|2,000|2,000");
  EXPECT_EQ(tree[14], "*1|Total|2|3,015|3,013");
}

TEST_F(ReportBuilderTest, SamePeriodTwiceShowsNoChange) {
  Html("r\\server1\\c:", false, kSortByName, 0, kP1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|.|0|10|10", "1|New|0|10|10", "1|Users|0|305|305",
                              "1|users2|0|90|90", "1|WINNT|0|600|600", "*0|Total|0|1,015|1,015"}));
}

TEST_F(ReportBuilderTest, APlaceWithoutASizeOfItsOwnGetsABlankTotal) {
  AddDir("R\\SERVER3\\E:", "orphan", 3 * kMB, kP1);
  AddDir("R\\SERVER3\\E:", "orphan", 1 * kMB, kP2);
  AddDir("R\\SERVER3\\E:", "second", 5 * kMB, kP1);
  Html("r\\server3\\e:", false, kSortByChange, 1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|second|5|5|", "1|orphan|2|3|1", "*0|Total|||"}));
}

TEST_F(ReportBuilderTest, LongNamesAreCutTo30CharactersAndMarkupIsShownAsText) {
  AddDir("R\\SERVER1\\C:\\Users", "abcdefghijklmnopqrstuvwxyz0123456789", 0, kP1);
  AddDir("R\\SERVER1\\C:\\Users",
         "\xc3\xa9t\xc3\xa9 d\xc3\xa9j\xc3\xa0 vu et encore une fois de plus", 0, kP1);
  AddDir("R\\SERVER1\\C:\\Users", "<script>alert('x')</script>", 0, kP1);
  AddDir("R\\SERVER1\\C:\\Users", std::string(29, 'q') + "&amp;", 0, kP1);
  Html("r\\server1\\c:\\users", false, kSortByName, 0);
  Rows rows = HtmlRows();
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[1], "1|&lt;script&gt;alert('x')&lt;/script&gt;|0|0|");
  EXPECT_EQ(rows[2], "1|abcdefghijklmnopqrstuvwxyz0123|0|0|");
  EXPECT_EQ(rows[5], "1|" + std::string(29, 'q') + "&amp;|0|0|");  // cut, then escaped
  EXPECT_EQ(rows[6], "1|\xc3\xa9t\xc3\xa9 d\xc3\xa9j\xc3\xa0 vu et encore une fois|0|0|");
  EXPECT_EQ(Page().find("<script"), std::string::npos);
}

TEST_F(ReportBuilderTest, PageIsWrittenLineByLineInPrintZones) {
  const std::string z1(14, ' '), z2(28, ' '),
      right = z2 + "<td align=right>" + std::string(12, ' ');
  auto size = [](std::string value) { return value + std::string(19 - value.size(), ' '); };
  Html("r\\server1\\c:\\users", false, kSortByName, 0);
  Rows expected = {"<html>",
                   "",
                   "<head>",
                   z1 + "<title>Title</title>",
                   "</head>",
                   "",
                   "<body bgcolor=#ffffff>",
                   "<ul>",
                   "",
                   z1 + "<h1><font color=#990099>Title</font></h1>",
                   "",
                   z1 + "<p><i>All figures are in megabytes</i></p>",
                   z1 + "<table cellpadding=5>",
                   "",
                   z1 + "<tr>",
                   z1 + "<tr bgcolor=#ffffdd>",
                   z1 + " ",
                   z2 + "<td><font color=#770077><b>Name</font></b>",
                   z2 + "<td align=right><font color=#770077><b>Change</font></b>",
                   z2 + "<td align=right><b><font color=#770077>06-Dec-2026 02:00</font></b>",
                   z2 + "<td align=right><b><font color=#770077>29-Nov-2026 02:00</font></b>",
                   z1 + " </font>",
                   z1 + "</tr>"};
  for (auto [name, change, s1, s2] : std::vector<std::array<std::string, 4>>{
           {".", "0", "1", "1"}, {"alice", "4", "300", "296"}, {"Bob", "0", "4", "4"}}) {
    Rows row = {z1 + "<tr>",      z2 + "<td>&nbsp;&nbsp;&nbsp;" + name,
                right + change,   right + size(s1),
                right + size(s2), z1 + "</tr>"};
    expected.insert(expected.end(), row.begin(), row.end());
  }
  Rows total = {z1 + "<tr>",
                z1 + "<tr bgcolor=#ffffdd>",
                z2 + "<td>Total",
                right + "4",
                right + size("305"),
                right + size("301"),
                z1 + "</tr>",
                z1,
                z1 + "</table>",
                z1,
                z1 + "<br>",
                z1 + "<hr>",
                z1 + "<i>Created with Brontal at 07-Dec-2026 09:30</i>",
                z1,
                "</ul>",
                "</body>",
                "</html>"};
  expected.insert(expected.end(), total.begin(), total.end());
  EXPECT_EQ(PageLines(), expected);
  EXPECT_NE(Page().find("</html>\r\n"), std::string::npos);
}

TEST_F(ReportBuilderTest, UnattendedRunLogsItsStepsAndTheQuery) {
  std::string log_path = folder_ / "brontalh.log";
  ProgramLog log(LineFile(log_path), clock_, locale_);
  EXPECT_EQ(Html("R\\SERVER1\\C:\\Users", false, 1, 1, kP2, &log), ReportOutcome::kWritten);
  EXPECT_EQ(LogMessages(log_path),
            (Rows{"Opening " + page_path_ + "...",
                  "Issuing List SQL query: select DirParent, Dir, Brontal, pdate from Dirs where "
                  "DirParent = \"r\\server1\\c:\\users\" and (pdate=#12/6/26 2:0:0# or "
                  "pdate=#11/29/26 2:0:0#) order by dirparent & \"\\\" & dir, pdate;",
                  "Reading...", "Retrieving Total...", "Calculating Change...", "Sorting...",
                  "Writing...", "Writing footer", "Closing HTML file..."}));
  EXPECT_EQ(progress_.opened, 0);
  EXPECT_TRUE(progress_.statuses.empty());

  ProgramLog tree_log(LineFile(log_path), clock_, locale_);
  Html("r\\server1\\c:\\users", true, 0, 0, kP2, &tree_log);
  Rows messages = LogMessages(log_path);
  ASSERT_GE(messages.size(), 2u);
  EXPECT_TRUE(
      messages[1].starts_with("Issuing Tree SQL query: select DirParent, Dir, Brontal, "
                              "pdate from Dirs where DirParent like "
                              "\"r\\server1\\c:\\users*\""));
  EXPECT_EQ(std::count(messages.begin(), messages.end(), "Sorting..."), 0);
}

TEST_F(ReportBuilderTest, AnErrorEndsTheRunWithoutAFooterAndIsLoggedPlain) {
  std::string log_path = folder_ / "brontalh.log";
  ProgramLog log(LineFile(log_path), clock_, locale_);
  // "x" becomes the bare "R", whose list has rows but whose total needs a parent it lacks.
  EXPECT_EQ(Html("x", false, 0, 0, kP2, &log), ReportOutcome::kFailed);
  Rows messages = LogMessages(log_path);
  EXPECT_EQ(messages.back(), "ERROR: path has no parent (no \"\\\"): \"R\" in PrintTreeExpanded2");
  EXPECT_EQ(Page().find("</html>"), std::string::npos);
  EXPECT_TRUE(message_box_.shown.empty());

  Html("x", false);  // interactive: a message box, and the window closed
  EXPECT_EQ(message_box_.shown,
            Rows{"path has no parent (no \"\\\"): \"R\" in PrintTreeExpanded2"});
  EXPECT_FALSE(progress_.is_open);
}

TEST_F(ReportBuilderTest, DatabaseAndFileErrorsGoThroughTheSameHandler) {
  ReportBuilder builder(Services());
  std::string path = "r\\server1\\c:";
  EXPECT_EQ(
      builder.PrintTreeExpanded2(path, "T", true, kP1, kP2, "/dev/full", nullptr, false, 0, 0),
      ReportOutcome::kFailed);
  ASSERT_EQ(message_box_.shown.size(), 1u);
  EXPECT_TRUE(
      message_box_.shown[0].ends_with("\"/dev/full\": No space left on device in "
                                      "PrintTreeExpanded2"))
      << message_box_.shown[0];

  dirs_->Close();
  dirs_.reset();
  db_->Close();
  EXPECT_EQ(Html("r\\server1\\c:", false), ReportOutcome::kFailed);
  EXPECT_EQ(message_box_.shown.size(), 2u);
  EXPECT_TRUE(message_box_.shown[1].ends_with(" in PrintTreeExpanded2"));
  EXPECT_EQ(PageLines().size(), 15u);  // heading and "<tr>", no footer
}

TEST_F(ReportBuilderTest, NoRowsLeaveTheHeadingOnly) {
  EXPECT_EQ(Html("r\\nowhere", false), ReportOutcome::kNoRows);
  Rows lines = PageLines();
  ASSERT_EQ(lines.size(), 15u);
  EXPECT_EQ(lines.back(), std::string(14, ' ') + "<tr>");
  EXPECT_FALSE(progress_.is_open);
}

TEST_F(ReportBuilderTest, AnEmptyFileNameAsksForOneAndACancelWritesNothing) {
  ReportBuilder builder(Services());
  std::string path = "r\\server1\\c:";
  dialog_.answers.push_back(std::nullopt);
  EXPECT_EQ(builder.PrintTreeExpanded2(path, "T", true, kP1, kP2, "", nullptr, false, 0, 0),
            ReportOutcome::kNoFile);
  EXPECT_EQ(progress_.opened, 0);
  EXPECT_EQ(dialog_.requests.size(), 1u);

  dialog_.answers.push_back(page_path_);
  EXPECT_EQ(builder.PrintTreeExpanded2(path, "T", true, kP1, kP2, "", nullptr, false, 0, 0),
            ReportOutcome::kWritten);
  EXPECT_EQ(state_.last_html_file, page_path_);
  EXPECT_EQ(HtmlRows().size(), 7u);
}

TEST_F(ReportBuilderTest, InteractiveRunShowsProgressEveryFiftyEntries) {
  for (int i = 0; i < 120; ++i) {
    std::string name = "d" + std::to_string(1000 + i);
    AddDir("R\\BIG", name, i * kMB, kP1);
    AddDir("R\\BIG", name, 0, kP2);
  }
  ReportBuilder builder(Services());
  std::string path = "r\\big";
  builder.PrintTreeExpanded2(path, "\\\\big", true, kP1, kP2, page_path_, nullptr, false,
                             kSortBySize1, 1);
  EXPECT_EQ(path, "r\\big");
  EXPECT_EQ(progress_.statuses,
            (Rows{"Initialising...", "Issuing Tree SQL query ...", "10% (Retrieving)",
                  "21% (Retrieving)", "Retrieving Total...", "Calculating Change...", "Sorting...",
                  "Printing...", "71% (Writing)", "91% (Writing)"}));
  EXPECT_EQ(progress_.events, 4);
  EXPECT_EQ(progress_.closed, 1);
  EXPECT_FALSE(progress_.is_open);
  EXPECT_EQ(builder.CurrentSort().field, kSortBySize1);
  EXPECT_EQ(builder.CurrentSort().order, 1);
  Rows rows = HtmlRows();
  ASSERT_EQ(rows.size(), 121u);
  EXPECT_EQ(rows[0], "1|d1119|119|119|0");
  EXPECT_EQ(rows[119], "1|d1000|0|0|0");
  EXPECT_EQ(rows[120], "*0|Total|||");
}

TEST_F(ReportBuilderTest, CancelStopsAtTheNextCheckAndThePageStillGetsItsFooter) {
  for (int i = 0; i < 60; ++i) AddDir("R\\BIG", "d" + std::to_string(i), kMB, kP1);
  progress_.cancel_at_events = 1;  // while reading
  EXPECT_EQ(Html("r\\big", false), ReportOutcome::kCancelled);
  EXPECT_TRUE(state_.print_cancelled);
  EXPECT_TRUE(HtmlRows().empty());
  EXPECT_EQ(PageLines().back(), "</html>");
  EXPECT_EQ(progress_.statuses.back(), "Issuing Tree SQL query ...");

  // The builder never clears the flag: the next run stops at its first check too.
  EXPECT_EQ(Html("r\\big", true), ReportOutcome::kCancelled);
  EXPECT_EQ(Html("r\\server1\\c:", true), ReportOutcome::kWritten);  // too few for a check
}

}  // namespace
}  // namespace brontal
