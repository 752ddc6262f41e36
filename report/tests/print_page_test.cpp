// The printed page frame on the recording printer: font choice, heading, footer, page break and
// graph, with their error reports, and footers that never leave the printable area.
#include "report/print_page.h"

#include <gtest/gtest.h>

#include "platform/testing/recording_printer.h"

namespace brontal {
namespace {

using Line = RecordingPrinter::Line;

TEST(PrintPageTest, FontIsTheFirstWhoseNameBeginsWithThePrefix) {
  RecordingPrinter printer(540, 720, {"Arial", "courier", "Courier New", "Courier 10 Pitch"});
  SetPrinterFont(printer, "Courier");
  EXPECT_EQ(printer.FontName(), "Courier New");
  SetPrinterFont(printer, "Helvetica");  // none: the font stays
  EXPECT_EQ(printer.FontName(), "Courier New");
}

TEST(PrintPageTest, HeaderPrintsTheHeadingAndLeavesCourier12Current) {
  RecordingPrinter printer;
  RecordingMessageBox box;
  EXPECT_EQ(PrintHeader(printer, "\\", box), "Brontal Listing of All Servers");
  const auto& lines = printer.Pending().at(0).lines;
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].Text(), "");
  EXPECT_EQ(lines[1].Text(), "Brontal Listing of All Servers");
  EXPECT_EQ(lines[1].segments[0].font, "Helvetica");
  EXPECT_EQ(lines[1].segments[0].size, 18);
  EXPECT_EQ(lines[2].Text(), "");
  EXPECT_EQ(printer.FontName(), "Courier New");
  EXPECT_EQ(printer.FontSize(), 12);
  EXPECT_EQ(PrintHeader(printer, "\\\\srv\\d$", box), "Brontal Listing of \\\\srv\\d$");
  EXPECT_TRUE(box.shown.empty());
}

TEST(PrintPageTest, HeaderReportsItsOwnErrors) {
  RecordingPrinter printer;
  RecordingMessageBox box;
  printer.FailCall(4);  // the heading line
  EXPECT_EQ(PrintHeader(printer, "x", box), "");
  EXPECT_EQ(box.shown, std::vector<std::string>{"Printer error on call 4 in Print Header"});
}

TEST(PrintPageTest, FooterStandsAtTheFootOfThePageAndSendsTheDocument) {
  RecordingPrinter printer;
  printer.SetFontSize(12);
  printer.PrintLine("row");
  PrintFooter(printer, "\\\\srv\\c$");
  ASSERT_EQ(printer.Sent().size(), 1u);
  const auto& page = printer.Sent()[0].pages.at(0);
  const Line& footer = page.lines.back();
  EXPECT_EQ(footer.Text(), "\\\\srv\\c$\t 1 ");
  EXPECT_GE(footer.y, 0.95 * 720);
  EXPECT_LT(footer.y, 0.95 * 720 + 14.4);
  EXPECT_TRUE(footer.segments[0].italic);
  EXPECT_EQ(footer.segments[0].font, "Helvetica");
  EXPECT_DOUBLE_EQ(footer.segments[1].x, 0.925 * 540);
  EXPECT_TRUE(printer.Pending().empty());
}

TEST(PrintPageTest, AFooterNeverLeavesThePrintableArea) {
  // Rows ending just below 95 %: the empty line above the footer would push it off the page,
  // so it stands closer to them.
  RecordingPrinter close;
  close.SetFontSize(12);
  close.SetCurrentY(0.95 * 720 - 1);
  close.PrintLine("row");
  PrintFooter(close, "t");
  ASSERT_EQ(close.Sent().size(), 1u);
  ASSERT_EQ(close.Sent()[0].pages.size(), 1u);
  const Line& footer = close.Sent()[0].pages[0].lines.back();
  EXPECT_EQ(footer.Text(), "t\t 1 ");
  EXPECT_GE(footer.y, 0.95 * 720 - 1 + 14.4);
  EXPECT_LE(footer.y + 14.4, 720);

  // Rows ending too near the foot for any footer: it goes on a page of its own.
  RecordingPrinter full;
  full.SetFontSize(12);
  full.SetCurrentY(700);
  full.PrintLine("row");
  PrintFooter(full, "t");
  ASSERT_EQ(full.Sent().size(), 1u);
  const auto& pages = full.Sent()[0].pages;
  ASSERT_EQ(pages.size(), 2u);
  for (const Line& line : pages[0].lines) EXPECT_TRUE(line.Text() == "row" || line.Text().empty());
  EXPECT_EQ(pages[1].lines.back().Text(), "t\t 2 ");
  EXPECT_GE(pages[1].lines.back().y, 0.95 * 720);
  EXPECT_LE(pages[1].lines.back().y + 14.4, 720);
}

TEST(PrintPageTest, APageBreakKeepsTheFooterOfTheFullPageOnIt) {
  RecordingPrinter printer;
  printer.SetFontSize(12);
  printer.SetCurrentY(690);
  printer.PrintLine("row");
  PrintPageBreak(printer, "Title", "Name  Change");
  const auto& first = printer.Pending().at(0).lines;
  EXPECT_EQ(first.back().Text(), "Title\t 1 ");
  EXPECT_GE(first.back().y, 690 + 14.4);
  EXPECT_LE(first.back().y + 14.4, 720);

  // A page filled to its foot has no room for a footer: none is printed past it.
  RecordingPrinter full;
  full.SetFontSize(12);
  full.SetCurrentY(700);
  full.PrintLine("row");
  PrintPageBreak(full, "Title", "Name  Change");
  ASSERT_EQ(full.Pending().size(), 2u);
  for (const Line& line : full.Pending()[0].lines) {
    if (!line.segments.empty()) {
      EXPECT_LE(line.y + 14.4, 720) << line.Text();
    }
  }
  EXPECT_EQ(full.Pending()[1].lines.at(1).Text(), "Name  Change");
}

TEST(PrintPageTest, PageBreakNumbersThePageAndRepeatsTheHeaderLine) {
  RecordingPrinter printer;
  printer.SetFontName("Courier New");
  printer.SetFontSize(12);
  printer.PrintLine("last row");
  PrintPageBreak(printer, "Title", "Name  Change");
  ASSERT_EQ(printer.Pending().size(), 2u);
  const auto& first = printer.Pending()[0].lines;
  EXPECT_EQ(first.back().Text(), "Title\t 1 ");
  EXPECT_DOUBLE_EQ(first.back().y, 2 * 14.4);  // just below the last row
  EXPECT_TRUE(first.back().segments[0].italic);
  const auto& second = printer.Pending()[1].lines;
  ASSERT_EQ(second.size(), 2u);
  EXPECT_EQ(second[0].Text(), "");
  EXPECT_EQ(second[1].Text(), "Name  Change");
  const auto& header = second[1].segments[0];
  EXPECT_TRUE(header.bold && header.underline && !header.italic);
  EXPECT_EQ(header.font, "Courier New");
  EXPECT_FALSE(printer.FontBold() || printer.FontItalic() || printer.FontUnderline());
  EXPECT_EQ(printer.Page(), 2);
}

TEST(PrintPageTest, GraphFillsALandscapePageWithMargins) {
  RecordingPrinter printer;
  RecordingMessageBox box;
  PrintGraph(printer, Picture{2, 2, {0, 0, 0, 0}}, box);
  ASSERT_EQ(printer.Sent().size(), 1u);
  EXPECT_EQ(printer.Sent()[0].orientation, PageOrientation::kLandscape);
  const auto& picture = printer.Sent()[0].pages.at(0).pictures.at(0);
  EXPECT_DOUBLE_EQ(picture.left, 36);  // 720 / 20
  EXPECT_DOUBLE_EQ(picture.top, 27);   // 540 / 20
  EXPECT_DOUBLE_EQ(picture.width, 612);
  EXPECT_DOUBLE_EQ(picture.height, 459);
  EXPECT_EQ(printer.Orientation(), PageOrientation::kPortrait);
  EXPECT_TRUE(box.shown.empty());
}

TEST(PrintPageTest, AGraphThatFailsIsReportedDroppedAndThePrinterTurnedBack) {
  RecordingPrinter printer;
  RecordingMessageBox box;
  printer.FailCall(3);  // EndDoc
  PrintGraph(printer, Picture{1, 1, {0}}, box);
  EXPECT_EQ(box.shown, std::vector<std::string>{"PrintGraph: Printer error on call 3"});
  EXPECT_TRUE(printer.Sent().empty());
  EXPECT_EQ(printer.Abandoned(), 1);
  EXPECT_EQ(printer.Orientation(), PageOrientation::kPortrait);
}

}  // namespace
}  // namespace brontal
