// brontalh runs in process on a small database: the log of a good run, each parameter and its
// failure, the periods it finds, and the exit statuses.
#include "htmltool/html_report_run.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "htmltool/tests/brontalh_fixture.h"

namespace brontal {
namespace {

using testing::kMB;
using Lines = std::vector<std::string>;

const Lines kFormat = {
    "",
    "Format of command is:",
    "  BRONTALH /d:daysago /u:unc /h:htmlfile [/list [/s:name|change|size] [/o:asc|desc]] [/tree]",
    "",
    "e.g.  BRONTALH /d:7 /u:\\\\myserver\\d$\\users "
    "/h:\\\\intranet\\d$\\inetpub\\wwwroot\\brontaler\\users.htm /list /s:size /o:desc",
    "",
    "To produce output for the top level - all servers - use /u:\\"};

class BrontalhTest : public testing::BrontalhFixture {
 protected:
  int Run(const std::string& command_line) {
    HtmlReportServices services{*engine_,     clock_,          locale_,
                                message_box_, program_folder_, temp_ / "net"};
    return RunHtmlReport(command_line, services);
  }
  // The log after "Parsing command line: (...)".
  Lines Parsed() const {
    Lines lines = LogMessages();
    return Lines(lines.begin() + std::min<std::size_t>(3, lines.size()), lines.end());
  }
  // What Fail writes for `message`.
  static Lines Failure(const std::string& message) {
    Lines lines = {"", message};
    lines.insert(lines.end(), kFormat.begin(), kFormat.end());
    return lines;
  }
  std::string Page() const { return testing::ReadWholeFile(page_path_); }
  std::string QuotedPage() const { return "/h:\"" + page_path_ + "\""; }

  RecordingMessageBox message_box_;
};

TEST_F(BrontalhTest, ListRunLogsEveryStepAndWritesThePage) {
  std::string command = "/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage() + " /list /s:size /o:desc";
  EXPECT_EQ(Run(command), kPageWritten);
  Lines log = LogMessages();
  Lines expected = {"BRONTALH.LOG",
                    "",
                    "Parsing command line: (" + command + ")",
                    "  DaysAgo:        7",
                    "  UNC:            \\\\SERVER1\\C$",
                    "  HTML file:      " + page_path_,
                    "  Mode:           List",
                    "  Sort by:        size",
                    "  Sort order:     desc",
                    "",
                    "Getting database path...",
                    "  " + db_path_,
                    "Opening database...",
                    "",
                    "Getting most recent period for \\\\SERVER1\\C$...",
                    "  Most recent period is: 08-Dec-2026 02:00",
                    "Getting 7 days ago period for \\\\SERVER1\\C$...",
                    "  7 days ago (or more) period is: 01-Dec-2026 02:00",
                    "",
                    "Opening " + page_path_ + "...",
                    "Issuing List SQL query: select DirParent, Dir, Brontal, pdate from Dirs where "
                    "DirParent = \"r\\server1\\c:\" and (pdate=#12/8/26 2:0:0# or "
                    "pdate=#12/1/26 2:0:0#) order by dirparent & \"\\\" & dir, pdate;",
                    "Reading...",
                    "Retrieving Total...",
                    "Calculating Change...",
                    "Sorting...",
                    "Writing...",
                    "Writing footer",
                    "Closing HTML file...",
                    "",
                    "Closing database...",
                    "Finished."};
  EXPECT_EQ(log, expected);
  std::string page = Page();
  EXPECT_NE(page.find("<title>\\\\SERVER1\\C$</title>"), std::string::npos);
  // Sorted by size, largest first: WINNT, Users, then the place's own files.
  std::size_t winnt = page.find("WINNT"), users = page.find("Users"), own = page.find(";.\r\n");
  EXPECT_LT(winnt, users);
  EXPECT_LT(users, own);
  EXPECT_NE(page.find("</html>"), std::string::npos);
}

TEST_F(BrontalhTest, DefaultsAreLoggedAndTheSortDefaultsFollowTheField) {
  Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage());
  Lines parsed = Parsed();
  EXPECT_EQ(Lines(parsed.begin() + 3, parsed.begin() + 6),
            (Lines{"  Mode:           List (default)", "  Sort by:        Change (default)",
                   "  Sort order:     Desc (default for Change)"}));
  Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage() + " /S:Name");
  parsed = Parsed();
  EXPECT_EQ(Lines(parsed.begin() + 3, parsed.begin() + 6),
            (Lines{"  Mode:           List (default)", "  Sort by:        Name",
                   "  Sort order:     Asc (default for Name)"}));
}

TEST_F(BrontalhTest, TreeWinsOverListAndIgnoresSortParameters) {
  EXPECT_EQ(Run("/LIST /d:7 /tree /u:\\\\SERVER1\\C$ /s:bogus /o:x " + QuotedPage()), kPageWritten);
  Lines parsed = Parsed();
  EXPECT_EQ(parsed[3], "  Mode:           Tree");
  EXPECT_EQ(parsed[4], "");
  Lines log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Printing tree..."), log.end());
  auto query = std::find_if(log.begin(), log.end(),
                            [](const std::string& line) { return line.starts_with("Issuing"); });
  ASSERT_NE(query, log.end());
  EXPECT_TRUE(
      query->starts_with("Issuing Tree SQL query: select DirParent, Dir, Brontal, pdate "
                         "from Dirs where (DirParent = \"r\\server1\\c:\" or DirParent like "
                         "\"r\\server1\\c:\\*\")"))
      << *query;
  EXPECT_NE(Page().find("&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;alice"), std::string::npos);
}

TEST_F(BrontalhTest, SortOrderTakesItsFirstLetter) {
  for (std::string order : {"d", "descending", "DESC"}) {
    Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage() + " /o:" + order);
    EXPECT_EQ(Parsed()[5], "  Sort order:     " + order);
    EXPECT_EQ(LogMessages().back(), "Finished.");
  }
  EXPECT_EQ(Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage() + " /o:x"), kHtmlReportFailed);
  Lines parsed = Parsed();
  EXPECT_EQ(Lines(parsed.end() - 9, parsed.end()),
            Failure("ERROR: if /o is specified it must be Asc or Desc"));
  EXPECT_EQ(Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage() + " /s:largest"), kHtmlReportFailed);
  EXPECT_EQ(LogMessages()[LogMessages().size() - 8],
            "ERROR: if /s is specified it must be Name, Size or Change (default)");
}

TEST_F(BrontalhTest, QuotedValuesLoseTheirQuotesAndMayHoldSlashes) {
  std::string spaced = temp_ / "my page.htm";
  EXPECT_EQ(Run("/d:\"7\" /u: \"\\\\SERVER1\\C$\"  /h:\"" + spaced + "\""), kPageWritten);
  Lines parsed = Parsed();
  EXPECT_EQ(parsed[0], "  DaysAgo:        7");
  EXPECT_EQ(parsed[1], "  UNC:            \\\\SERVER1\\C$");
  EXPECT_EQ(parsed[2], "  HTML file:      " + spaced);
  EXPECT_TRUE(std::filesystem::exists(spaced));
  // Unquoted, a value ends at the next "/".
  EXPECT_EQ(FindParameter("/h:a/b /d:1", "/h"), "a");
  EXPECT_EQ(FindParameter("/h:\"a/b\" /d:1", "/d"), "1");
  // A key inside a quoted value is no key.
  EXPECT_EQ(FindParameter("/h:\"/srv/www/x.htm\"", "/s"), std::nullopt);
  EXPECT_EQ(FindParameter("/U:  \\\\Srv\\Share  /d:3", "/u"), "\\\\Srv\\Share");
  EXPECT_EQ(FindParameter("/d:\"", "/d"), "\"");  // a lone quote is kept
  EXPECT_EQ(FindParameter("/tree", "/d"), std::nullopt);
}

TEST_F(BrontalhTest, ArgumentsHoldingSlashesAreQuotedIntoTheCommandLine) {
  EXPECT_EQ(CommandLine({"/d:7", "/u:\\\\vm\\/home", "/h:/var/www/html/vm.htm", "/tree"}),
            "/d:7 /u:\"\\\\vm\\/home\" /h:\"/var/www/html/vm.htm\" /tree");
  EXPECT_EQ(CommandLine({"/h:\"/already/quoted\"", "/list"}), "/h:\"/already/quoted\" /list");
  EXPECT_EQ(CommandLine({}), "");
}

TEST_F(BrontalhTest, DaysMustBeAPositiveWholeNumber) {
  for (std::string days : {"0", "-3"}) {
    EXPECT_EQ(Run("/d:" + days + " /u:\\ " + QuotedPage()), kHtmlReportFailed);
    Lines parsed = Parsed();
    EXPECT_EQ(parsed[0], "  DaysAgo:        " + days);
    EXPECT_EQ(Lines(parsed.begin() + 1, parsed.end()),
              Failure("ERROR: /d parameter must be a positive integer"));
  }
  EXPECT_EQ(Run("/d:abc /u:\\ " + QuotedPage()), kHtmlReportFailed);
  EXPECT_EQ(Parsed()[2], "Aborting due to error 13: Type mismatch");
  EXPECT_EQ(Run("/d:99999 /u:\\ " + QuotedPage()), kHtmlReportFailed);
  EXPECT_EQ(Parsed()[2], "Aborting due to error 6: Overflow");
  EXPECT_EQ(Run("/d:6.5 /u:\\ " + QuotedPage()), kPageWritten);  // 6, halves to even
  EXPECT_EQ(LogMessages()[16], "Getting 6 days ago period for \\...");
}

TEST_F(BrontalhTest, RequiredParametersAreNamedWhenMissing) {
  EXPECT_EQ(Run("/d:7 " + QuotedPage()), kHtmlReportFailed);
  Lines parsed = Parsed();
  EXPECT_EQ(Lines(parsed.begin() + 1, parsed.end()), Failure("ERROR: /u parameter required"));
  Run("/u:\\ " + QuotedPage());
  EXPECT_EQ(Parsed(), Failure("ERROR: /d parameter required"));
  Run("/d:1 /u:\\");
  EXPECT_EQ(Parsed()[3], "ERROR: /h parameter required");
  EXPECT_FALSE(std::filesystem::exists(page_path_));
}

TEST_F(BrontalhTest, AllServersUseThePeriodsTableAndListTheNodes) {
  EXPECT_EQ(Run("/d:7 /u:\\ " + QuotedPage()), kPageWritten);
  Lines log = LogMessages();
  EXPECT_EQ(log[14], "Getting most recent period for \\...");
  EXPECT_EQ(log[17], "  7 days ago (or more) period is: 01-Dec-2026 02:00");
  std::string page = Page();
  EXPECT_NE(page.find("<title>All Servers</title>"), std::string::npos);
  EXPECT_NE(page.find("&nbsp;&nbsp;&nbsp;SERVER1"), std::string::npos);
  EXPECT_EQ(page.find("SERVER2"), std::string::npos);  // not seen in either period
}

TEST_F(BrontalhTest, TheOlderPeriodIsTheLatestAtLeastTheDaysBeforeToTheMinute) {
  DateTime newest = DateTime::FromCivil(2026, 12, 8, 2, 0, 45);
  Scan(newest, {{"R\\SERVER9", "E:", kMB}});
  // Exactly seven days before the newest, but seconds past the newest period's minute.
  Scan(DateTime::FromCivil(2026, 12, 1, 2, 0, 45), {{"R\\SERVER9", "E:", kMB}});
  Scan(DateTime::FromCivil(2026, 12, 1, 1, 59, 59), {{"R\\SERVER9", "E:", kMB}});
  EXPECT_EQ(Run("/d:7 /u:\\\\SERVER9 " + QuotedPage()), kPageWritten);
  Lines log = LogMessages();
  EXPECT_EQ(log[15], "  Most recent period is: 08-Dec-2026 02:00");
  EXPECT_EQ(log[17], "  7 days ago (or more) period is: 01-Dec-2026 01:59");
}

TEST_F(BrontalhTest, PlacesWithoutPeriodsFail) {
  EXPECT_EQ(Run("/d:7 /u:\\\\NOSUCH\\C$ " + QuotedPage()), kHtmlReportFailed);
  EXPECT_EQ(LogMessages()[16], "ERROR: Could not find any information for \\\\NOSUCH\\C$");
  EXPECT_EQ(Run("/d:7 /u:\\\\SERVER2 " + QuotedPage()), kHtmlReportFailed);
  EXPECT_EQ(LogMessages()[18],
            "ERROR: Could not find any 7 day ago or more information for "
            "\\\\SERVER2");
  EXPECT_EQ(Run("/d:30 /u:\\ " + QuotedPage()), kHtmlReportFailed);
}

TEST_F(BrontalhTest, DatabaseProblemsAbortWithTheirNumber) {
  std::filesystem::remove(program_folder_ + "/dbloc.txt");
  EXPECT_EQ(Run("/d:7 /u:\\ " + QuotedPage()), kHtmlReportFailed);
  EXPECT_EQ(Parsed()[9], "Couldn't establish database path - please check dbloc.txt");

  std::ofstream(program_folder_ + "/dbloc.txt") << db_path_ << "\r\n";
  auto other = engine_->DefaultWorkspace().OpenDatabase(db_path_);  // the viewer has it open
  EXPECT_EQ(Run("/d:7 /u:\\ " + QuotedPage()), kHtmlReportFailed);
  EXPECT_TRUE(Parsed()[11].starts_with("Aborting due to error 3045: ")) << Parsed()[11];
  other->Close();
}

TEST_F(BrontalhTest, ReportErrorsAreLoggedAndTheRunStillFinishes) {
  EXPECT_EQ(Run("/d:7 /u:\\ /h:\"" + (temp_ / "missing/page.htm") + "\""), kReportBroken);
  Lines log = LogMessages();
  EXPECT_EQ(log[log.size() - 4], "ERROR: cannot create \"" + (temp_ / "missing/page.htm") +
                                     "\": No such file or directory in PrintTreeExpanded2");
  EXPECT_EQ(log.back(), "Finished.");
}

TEST_F(BrontalhTest, APageOnAShareIsWrittenWhereTheShareIsMounted) {
  const std::filesystem::path share = temp_.path() / "net" / "intranet" / "d$" / "www";
  std::filesystem::create_directories(share);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(temp_.path());
  const int status = Run("/d:7 /u:\\\\SERVER1\\C$ /h:\\\\intranet\\d$\\www\\users.htm /list");
  std::filesystem::current_path(before);
  EXPECT_EQ(status, kPageWritten);
  EXPECT_NE(testing::ReadWholeFile(share / "users.htm").find("</html>"), std::string::npos);
  for (const auto& entry : std::filesystem::directory_iterator(temp_.path())) {
    EXPECT_EQ(entry.path().filename().string().find('\\'), std::string::npos) << entry.path();
  }
}

TEST_F(BrontalhTest, NothingToReportHasItsOwnStatus) {
  Scan(DateTime::FromCivil(2026, 12, 9, 2), {});
  auto db = engine_->DefaultWorkspace().OpenDatabase(db_path_);
  auto parents = db->OpenRecordset("Parents", db::RecordsetType::kTable);
  for (DateTime period : {testing::kWeekAgo, DateTime::FromCivil(2026, 12, 9, 2)}) {
    parents->AddNew();
    parents->SetField("DirParent", "R\\GHOST");
    parents->SetField("pdate", period);
    parents->Update();
  }
  db->Close();
  EXPECT_EQ(Run("/d:7 /u:\\\\GHOST " + QuotedPage()), kNothingToReport);
  EXPECT_EQ(LogMessages().back(), "Finished.");
  EXPECT_EQ(Page().find("</html>"), std::string::npos);

  EXPECT_EQ(Run("/d:7 /u:\\\\SERVER1 /h: /list"), kNothingToReport);
  Lines log = LogMessages();
  EXPECT_EQ(log[log.size() - 4], "No HTML file named: nothing written");
}

TEST_F(BrontalhTest, LogAndPageAreReplacedByEveryRun) {
  std::ofstream(program_folder_ + "/brontalh.log") << std::string(100000, 'x');
  std::ofstream(page_path_) << std::string(100000, 'y');
  Run("/d:7 /u:\\\\SERVER1\\C$ " + QuotedPage());
  EXPECT_EQ(testing::ReadWholeFile(program_folder_ + "/brontalh.log").find(std::string(20, 'x')),
            std::string::npos);
  EXPECT_EQ(Page().find(std::string(20, 'y')), std::string::npos);
  EXPECT_TRUE(Page().starts_with("<html>\r\n"));
}

TEST_F(BrontalhTest, AFolderWithoutRoomForTheLogDoesNothing) {
  program_folder_ = temp_ / "no-such-folder";
  EXPECT_EQ(Run("/d:7 /u:\\ " + QuotedPage()), kHtmlReportNoLog);
  EXPECT_EQ(message_box_.shown.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(page_path_));
}

}  // namespace
}  // namespace brontal
