// Reports on the recording printer: the printed columns, fonts and indentation, page breaks at
// 95 % of the page with their footers, the closing footer, footers that stay on the paper
// wherever the rows end, and the jobs that are dropped.
#include <gtest/gtest.h>

#include "report/tests/report_fixture.h"
#include "store/text.h"

namespace brontal {
namespace {

using testing::kP1;
using testing::kP2;
using Rows = std::vector<std::string>;
using Line = RecordingPrinter::Line;

const std::string kHeaderLine = "Name" + std::string(15, ' ') + PadField("Change", 19) +
                                PadField("06-Dec-2026 02:00", 19) +
                                PadField("29-Nov-2026 02:00", 19);

std::string Row(std::string name, std::string change, std::string size1, std::string size2) {
  return PadField(name, 19) + PadField(change, 19) + PadField(size1, 19, size1.empty()) +
         PadField(size2, 19, size2.empty());
}

class ReportPrintingTest : public testing::ReportFixture {
 protected:
  ReportOutcome Print(std::string path, bool tree, int field = 0, int order = 0) {
    ReportBuilder builder(Services());
    return builder.PrintTreeExpanded2(path, "\\\\SERVER1\\C$", false, kP1, kP2, "", nullptr, tree,
                                      field, order);
  }
  // The lines of one sent page as text.
  static Rows Texts(const RecordingPrinter::PageRecord& page) {
    Rows texts;
    for (const Line& line : page.lines) texts.push_back(line.Text());
    return texts;
  }
  // R\BIG with `count` directories, each a megabyte larger in P1 than in P2, and their sum.
  void AddMany(int count) {
    std::int64_t total1 = 0, total2 = 0;
    for (int i = 0; i < count; ++i) {
      AddSizes("R\\BIG", "dir" + std::to_string(1000 + i), (i + 1) * testing::kMB,
               i * testing::kMB);
      total1 += (i + 1) * testing::kMB;
      total2 += i * testing::kMB;
    }
    AddSizes("R", "BIG", total1, total2);
  }
  // Every line with text on every page of `document` ends within the printable height, and each
  // page ends with its footer, numbered.
  static void ExpectEveryLineOnItsPage(const RecordingPrinter::Document& document,
                                       double page_height) {
    for (std::size_t p = 0; p < document.pages.size(); ++p) {
      const auto& lines = document.pages[p].lines;
      ASSERT_FALSE(lines.empty());
      EXPECT_EQ(lines.back().Text(), "\\\\SERVER1\\C$\t " + std::to_string(p + 1) + " ")
          << "page " << p + 1 << " of a page " << page_height << " high";
      for (const Line& line : lines) {
        for (const auto& segment : line.segments) {
          EXPECT_LE(line.y + 1.2 * segment.size, page_height + 1e-9)
              << "page " << p + 1 << " of a page " << page_height << " high: " << line.Text();
        }
      }
    }
  }
};

TEST_F(ReportPrintingTest, ListPrintsHeadingColumnsRowsAndFooterOnOnePage) {
  EXPECT_EQ(Print("r\\server1\\c:\\users", false, kSortByName, 0), ReportOutcome::kWritten);
  ASSERT_EQ(printer_.Sent().size(), 1u);
  ASSERT_EQ(printer_.Sent()[0].pages.size(), 1u);
  const auto& page = printer_.Sent()[0].pages[0];
  Rows texts = Texts(page);
  ASSERT_GE(texts.size(), 10u);
  EXPECT_EQ(Rows(texts.begin(), texts.begin() + 9),
            (Rows{"", "Brontal Listing of \\\\SERVER1\\C$", "", kHeaderLine,
                  Row(" .", "0", "1", "1"), Row(" alice", "4", "300", "296"),
                  Row(" Bob", "0", "4", "4"), "", Row("Total", "4", "305", "301")}));
  EXPECT_EQ(texts.back(), "\\\\SERVER1\\C$\t 1 ");

  const Line& header = page.lines[3];
  EXPECT_EQ(header.segments[0].font, "Courier New");
  EXPECT_EQ(header.segments[0].size, 12);
  EXPECT_TRUE(header.segments[0].bold && header.segments[0].underline);
  const Line& alice = page.lines[5];
  ASSERT_EQ(alice.segments.size(), 4u);
  EXPECT_TRUE(alice.segments[0].italic);
  EXPECT_FALSE(alice.segments[1].italic || alice.segments[0].bold || alice.segments[0].underline);
  const Line& total = page.lines[8];
  EXPECT_TRUE(total.segments[0].bold && total.segments[3].bold);
  EXPECT_GE(page.lines.back().y, 0.95 * printer_.ScaleHeight());
  EXPECT_TRUE(page.lines.back().segments[0].italic);
}

TEST_F(ReportPrintingTest, TreeIndentsByDepthAndCutsNamesTo19Characters) {
  AddDir("R\\SERVER1\\C:\\Users", "a directory with a long name", 2 * testing::kMB, kP1);
  Print("r\\server1\\c:", true);
  Rows texts = Texts(printer_.Sent().at(0).pages.at(0));
  EXPECT_EQ(texts[4], Row(" .", "0", "10", "10"));
  EXPECT_EQ(texts[7], Row(" Users", "4", "305", "301"));
  EXPECT_EQ(texts[8], Row("  .", "0", "1", "1"));
  EXPECT_EQ(texts[9], Row("  a directory with ", "2", "2", ""));
  EXPECT_EQ(texts[10], Row("  alice", "4", "300", "296"));
  EXPECT_EQ(texts[14], Row(" WINNT", "0", "600", "600"));  // its "." is left out
  EXPECT_EQ(texts[15], "");
  EXPECT_EQ(texts[16], Row("Total", "2", "1,015", "1,013"));
}

TEST_F(ReportPrintingTest, LongReportsBreakPagesAt95PercentWithNumberedFooters) {
  AddMany(150);
  EXPECT_EQ(Print("r\\big", false, kSortByName, 0), ReportOutcome::kWritten);
  ASSERT_EQ(printer_.Sent().size(), 1u);
  const auto& pages = printer_.Sent()[0].pages;
  ASSERT_EQ(pages.size(), 4u);
  const double full = 0.95 * printer_.ScaleHeight();
  int rows = 0;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    Rows texts = Texts(pages[p]);
    if (p > 0) {
      ASSERT_GE(texts.size(), 2u);
      EXPECT_EQ(texts[0], "");
      EXPECT_EQ(texts[1], kHeaderLine);
      EXPECT_TRUE(pages[p].lines[1].segments[0].bold && pages[p].lines[1].segments[0].underline);
    }
    EXPECT_EQ(texts.back(), "\\\\SERVER1\\C$\t " + std::to_string(p + 1) + " ") << p;
    for (const Line& line : pages[p].lines) {
      if (line.segments.size() == 4) {
        ++rows;
        EXPECT_LE(line.y, full + 0.001) << line.Text();
      }
    }
    // A broken page's footer follows its last row; only the last page's is pushed down.
    const Line& footer = pages[p].lines.back();
    if (p + 1 < pages.size()) {
      EXPECT_GT(footer.y, full);
      EXPECT_LT(footer.y, full + 3 * 14.4);
    } else {
      EXPECT_GE(footer.y, full);
    }
  }
  EXPECT_EQ(rows, 151);
  const auto& last = pages.back().lines;
  std::size_t total = last.size() - 1;
  while (total > 0 && last[total].segments.size() != 4) --total;
  EXPECT_EQ(last[total].Text(), Row("Total", "150", "11,325", "11,175"));
  EXPECT_EQ(last[total - 1].Text(), "");  // an empty line before the total
}

TEST_F(ReportPrintingTest, AReportEndingAtThePageFullMarkKeepsItsFooterOnThePaper) {
  // 42 rows take the first page down to just below 95 %, where the empty line and the total
  // still go, but the footer after them would stand past the foot of the page.
  AddMany(42);
  EXPECT_EQ(Print("r\\big", false, kSortByName, 0), ReportOutcome::kWritten);
  ASSERT_EQ(printer_.Sent().size(), 1u);
  const auto& document = printer_.Sent()[0];
  ExpectEveryLineOnItsPage(document, printer_.ScaleHeight());
  ASSERT_EQ(document.pages.size(), 2u);
  // The total moves to the next page, under the column header, and its footer is pushed down.
  Rows last = Texts(document.pages[1]);
  ASSERT_GE(last.size(), 5u);
  EXPECT_EQ(Rows(last.begin(), last.begin() + 4),
            (Rows{"", kHeaderLine, "", Row("Total", "42", "903", "861")}));
  EXPECT_GE(document.pages[1].lines.back().y, 0.95 * printer_.ScaleHeight());
  EXPECT_EQ(Texts(document.pages[0]).end()[-3], Row(" dir1041", "1", "42", "41"));
}

TEST_F(ReportPrintingTest, FootersStayOnThePaperWhereverTheRowsEnd) {
  // Page heights a line apart and less put the last row of each page, and the total, at every
  // distance from the 95 % mark.
  AddMany(150);
  for (double height = 700; height <= 720; height += 0.6) {
    RecordingPrinter printer(540, height);
    ReportServices services = Services();
    services.printer = &printer;
    ReportBuilder builder(services);
    std::string path = "r\\big";
    ASSERT_EQ(builder.PrintTreeExpanded2(path, "\\\\SERVER1\\C$", false, kP1, kP2, "", nullptr,
                                         false, kSortByName, 0),
              ReportOutcome::kWritten);
    ASSERT_EQ(printer.Sent().size(), 1u);
    ExpectEveryLineOnItsPage(printer.Sent()[0], height);
    int rows = 0;
    for (const auto& page : printer.Sent()[0].pages) {
      for (const Line& line : page.lines) rows += line.segments.size() == 4 ? 1 : 0;
    }
    EXPECT_EQ(rows, 151) << height;
  }
}

TEST_F(ReportPrintingTest, CancelWhileWritingAbandonsTheJob) {
  AddMany(150);
  progress_.cancel_at_events = 4;  // three checks while reading, the first while writing
  EXPECT_EQ(Print("r\\big", false), ReportOutcome::kCancelled);
  EXPECT_TRUE(printer_.Sent().empty());
  EXPECT_EQ(printer_.Abandoned(), 1);
  EXPECT_TRUE(printer_.Pending().empty());
}

TEST_F(ReportPrintingTest, APlaceWithoutRowsPrintsNothing) {
  EXPECT_EQ(Print("r\\nowhere", false), ReportOutcome::kNoRows);
  EXPECT_TRUE(printer_.Sent().empty());
  EXPECT_EQ(printer_.Abandoned(), 1);
}

TEST_F(ReportPrintingTest, PrinterErrorsEndTheRunAndDropTheJob) {
  printer_.FailCall(20);  // among the rows
  EXPECT_EQ(Print("r\\server1\\c:", false), ReportOutcome::kFailed);
  EXPECT_EQ(message_box_.shown, Rows{"Printer error on call 20 in PrintTreeExpanded2"});
  EXPECT_TRUE(printer_.Sent().empty());
  EXPECT_EQ(printer_.Abandoned(), 1);
  EXPECT_FALSE(progress_.is_open);

  ReportServices services = Services();
  services.printer = nullptr;
  ReportBuilder builder(services);
  std::string path = "r";
  EXPECT_EQ(builder.PrintTreeExpanded2(path, "\\", false, kP1, kP2, "", nullptr, false, 0, 0),
            ReportOutcome::kFailed);
  EXPECT_EQ(message_box_.shown.back(),
            "No printer is available to this program in PrintTreeExpanded2");
}

}  // namespace
}  // namespace brontal
