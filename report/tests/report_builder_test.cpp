// HTML reports of a small database: the rows of lists and trees, their order and indentation,
// names that differ only in case, the total, periods present on one side only, the rounding of
// sizes and changes, the page as a whole and its character set, the log of an unattended run,
// progress and cancel in an interactive one, and the errors.
#include "report/report_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "report/tests/report_fixture.h"

namespace brontal {
namespace {

using testing::kMB;
using testing::kNoRow;
using testing::kP1;
using testing::kP2;
using Rows = std::vector<std::string>;

// True when `text` is well-formed UTF-8 as RFC 3629 defines it: decoded code point by code
// point, each in its shortest form, no surrogate, nothing past U+10FFFF.
bool IsWellFormedUtf8(std::string_view text) {
  constexpr char32_t kShortest[] = {0, 0x80, 0x800, 0x10000};
  std::size_t i = 0;
  while (i < text.size()) {
    auto lead = static_cast<unsigned char>(text[i]);
    std::size_t extra = 0;
    if ((lead & 0xE0) == 0xC0) {
      extra = 1;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3;
    } else if (lead >= 0x80) {
      return false;
    }
    if (text.size() - i <= extra) return false;
    char32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (std::size_t k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    if (code < kShortest[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      return false;
    }
    i += extra + 1;
  }
  return true;
}

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

TEST_F(ReportBuilderTest, TreeHoldsThePlaceAndItsSubtreeButNotItsNamesakes) {
  // users2 beside Users begins with its name, and so does "a*" beside "a*b", where "*" would
  // act as a wildcard if it were pasted into the pattern as it is.
  AddSizes("R\\SERVER1\\C:\\Users\\alice", "docs", 200 * kMB, 198 * kMB);
  AddSizes("R\\SERVER1\\C:\\Users\\alice\\docs", "2026", 50 * kMB, 49 * kMB);
  Html("r\\server1\\c:\\users", true);
  EXPECT_EQ(HtmlRows(), (Rows{"1|.|0|1|1", "1|alice|4|300|296", "2|docs|2|200|198",
                              "3|2026|1|50|49", "1|Bob|0|4|4", "*0|Total|4|305|301"}));

  AddSizes("R\\SERVER1\\C:", "a*", 3 * kMB, 3 * kMB);
  AddSizes("R\\SERVER1\\C:\\a*", "in", 3 * kMB, 3 * kMB);
  AddSizes("R\\SERVER1\\C:", "a*b", 7 * kMB, 7 * kMB);
  AddSizes("R\\SERVER1\\C:\\a*b", "beside", 7 * kMB, 7 * kMB);
  Html("r\\server1\\c:\\a*", true);
  EXPECT_EQ(HtmlRows(), (Rows{"1|in|0|3|3", "*0|Total|0|3|3"}));
}

TEST_F(ReportBuilderTest, NamesThatDifferOnlyInCaseKeepTheirOwnRowsAndSizes) {
  // The database compares names without regard to case, so these three arrive interleaved by
  // period; each must still be paired with its own size of the other period.
  const std::string users = "R\\SERVER1\\C:\\Users";
  AddSizes(users, "Data", 1200 * kMB, 1193 * kMB);
  AddSizes(users, "data", 40 * kMB, 40 * kMB);
  AddSizes(users, "DATA", 5 * kMB, kNoRow);
  Html("r\\server1\\c:\\users", false, kSortByName, 0);
  EXPECT_EQ(HtmlRows(), (Rows{"1|.|0|1|1", "1|alice|4|300|296", "1|Bob|0|4|4", "1|DATA|5|5|",
                              "1|Data|7|1,200|1,193", "1|data|0|40|40", "*0|Total|4|305|301"}));
  // Descending, names equal but for case still come in ascending order of their bytes.
  Html("r\\server1\\c:\\users", false, kSortByName, 1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|DATA|5|5|", "1|Data|7|1,200|1,193", "1|data|0|40|40",
                              "1|Bob|0|4|4", "1|alice|4|300|296", "*0|Total|4|305|301"}));
  Html("r\\server1\\c:\\users", false, kSortByChange, 1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|Data|7|1,200|1,193", "1|DATA|5|5|", "1|alice|4|300|296",
                              "1|.|0|1|1", "1|Bob|0|4|4", "1|data|0|40|40", "*0|Total|4|305|301"}));
}

TEST_F(ReportBuilderTest, ATreeKeepsEachSubtreeUnderTheNameItBelongsTo) {
  const std::string users = "R\\SERVER1\\C:\\Users";
  AddSizes(users, "Data", 1200 * kMB, 1193 * kMB);
  AddSizes(users + "\\Data", "x", 1000 * kMB, 993 * kMB);
  AddSizes(users, "data", 40 * kMB, 40 * kMB);
  AddSizes(users + "\\data", "x", 30 * kMB, 31 * kMB);
  Html("r\\server1\\c:\\users", true);
  EXPECT_EQ(HtmlRows(),
            (Rows{"1|.|0|1|1", "1|alice|4|300|296", "1|Bob|0|4|4", "1|Data|7|1,200|1,193",
                  "2|x|7|1,000|993", "1|data|0|40|40", "2|x|-1|30|31", "*0|Total|4|305|301"}));

  // Paths compare without regard to case, so the place "data" is both directories: it lists
  // the children of each, and its total is theirs.
  Html("r\\server1\\c:\\users\\data", false, kSortBySize1, 1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|x|7|1,000|993", "1|x|-1|30|31", "*0|Total|7|1,240|1,233"}));
}

TEST_F(ReportBuilderTest, ChangesAreWorkedOutFromTheBytesAndRoundedOnce) {
  // Sizes and changes are each rounded from bytes, halves to even, so a change need not be the
  // difference of the two sizes shown; a size missing from the older period counts as -1 byte.
  const std::string odd = "R\\SERVER2\\D:\\odd";
  AddSizes("R\\SERVER2\\D:", "odd", 30 * kMB + 3 * kMB / 10, 29 * kMB + 6 * kMB / 10);
  AddSizes(odd, "a", kMB + 4 * kMB / 10, 6 * kMB / 10);  // 1.4 - 0.6
  AddSizes(odd, "b", 10 * kMB + 6 * kMB / 10, 10 * kMB + 4 * kMB / 10);
  AddSizes(odd, "c", kMB + kMB / 2, kMB);  // a change of exactly half
  AddSizes(odd, "d", 2 * kMB + kMB / 2, 0);
  AddSizes(odd, "e", 3 * kMB + kMB / 2, 0);
  AddSizes(odd, "f", 0, 2 * kMB + kMB / 2);
  AddSizes(odd, "g", kMB / 2, kNoRow);
  AddSizes(odd, "h", kNoRow, kMB / 2);
  Html("r\\server2\\d:\\odd", false, kSortByName, 0);
  EXPECT_EQ(HtmlRows(), (Rows{"1|a|1|1|1", "1|b|0|11|10", "1|c|0|2|1", "1|d|2|2|0", "1|e|4|4|0",
                              "1|f|-2|0|2", "1|g|1|0|", "1|h|-1||0", "*0|Total|1|30|30"}));
  // The order by change follows the changes shown.
  Html("r\\server2\\d:\\odd", false, kSortByChange, 1);
  EXPECT_EQ(HtmlRows(), (Rows{"1|e|4|4|0", "1|d|2|2|0", "1|f|-2|0|2", "1|a|1|1|1", "1|g|1|0|",
                              "1|h|-1||0", "1|b|0|11|10", "1|c|0|2|1", "*0|Total|1|30|30"}));

  // At the root the nodes' bytes are summed first and the total rounded once.
  AddSizes("R", "SERVER3", 6 * kMB / 10, kNoRow);
  AddSizes("R", "SERVER4", 6 * kMB / 10, kNoRow);
  Html("r", false, kSortByName, 0);
  EXPECT_EQ(HtmlRows(), (Rows{"1|SERVER1|2|1,015|1,013", "1|SERVER2|0|2,000|2,000",
                              "1|SERVER3|1|1|", "1|SERVER4|1|1|", "*1|Total|3|3,016|3,013"}));
}

TEST_F(ReportBuilderTest, PageDeclaresUtf8AndShowsBrokenNamesAsReplacementCharacters) {
  const std::string users = "R\\SERVER1\\C:\\Users";
  const std::string replacement = "\xef\xbf\xbd";
  const std::string japanese = "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e";  // three characters
  AddSizes(users, "bad\xff\xfe name", kMB, kMB);
  AddSizes(users, "cut\xe2\x82", kMB, kMB);  // a character broken off at the end
  AddSizes(users, japanese, 2 * kMB, kMB);
  AddSizes(users, std::string(40, '\xff'), kMB, kMB);  // cut to 30 characters, then shown
  Html("r\\server1\\c:\\users", false, kSortByName, 0);
  std::string broken30;
  for (int i = 0; i < 30; ++i) broken30 += replacement;
  EXPECT_EQ(HtmlRows(), (Rows{"1|.|0|1|1", "1|alice|4|300|296",
                              "1|bad" + replacement + replacement + " name|0|1|1", "1|Bob|0|4|4",
                              "1|cut" + replacement + "|0|1|1", "1|" + japanese + "|1|2|1",
                              "1|" + broken30 + "|0|1|1", "*0|Total|4|305|301"}));
  EXPECT_TRUE(IsWellFormedUtf8(Page()));
  Rows lines = PageLines();
  auto meta =
      std::find(lines.begin(), lines.end(),
                std::string(14, ' ') +
                    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">");
  ASSERT_NE(meta, lines.end());
  EXPECT_EQ(*(meta - 1), "<head>");  // before anything the browser must decode
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
                   z1 + "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">",
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
                              "pdate from Dirs where (DirParent = \"r\\server1\\c:\\users\" or "
                              "DirParent like \"r\\server1\\c:\\users\\*\")"))
      << messages[1];
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
  EXPECT_EQ(PageLines().size(), 16u);  // heading and "<tr>", no footer
}

TEST_F(ReportBuilderTest, NoRowsLeaveTheHeadingOnly) {
  EXPECT_EQ(Html("r\\nowhere", false), ReportOutcome::kNoRows);
  Rows lines = PageLines();
  ASSERT_EQ(lines.size(), 16u);
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
