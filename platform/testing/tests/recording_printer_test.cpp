// The recording printer that the report tests read their pages from: where the pen goes, what a
// line holds, when documents are sent or dropped, and the failing call.
#include "platform/testing/recording_printer.h"

#include <gtest/gtest.h>

namespace brontal {
namespace {

TEST(RecordingPrinterTest, PenMovesByTheFontAndLinesKeepTheirFonts) {
  RecordingPrinter printer(500, 700);
  printer.SetFontName("Courier New");
  printer.SetFontSize(10);
  printer.SetFontItalic(true);
  printer.PrintText("ab");
  EXPECT_DOUBLE_EQ(printer.CurrentX(), 12);  // two characters of 6
  printer.SetFontItalic(false);
  printer.SetCurrentX(100);
  printer.PrintLine("7");
  EXPECT_DOUBLE_EQ(printer.CurrentX(), 0);
  EXPECT_DOUBLE_EQ(printer.CurrentY(), 12);
  printer.PrintLine("");
  EXPECT_DOUBLE_EQ(printer.CurrentY(), 24);

  ASSERT_EQ(printer.Pending().size(), 1u);
  const auto& lines = printer.Pending()[0].lines;
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].Text(), "ab\t7");
  ASSERT_EQ(lines[0].segments.size(), 2u);
  EXPECT_TRUE(lines[0].segments[0].italic);
  EXPECT_FALSE(lines[0].segments[1].italic);
  EXPECT_EQ(lines[0].segments[1].font, "Courier New");
  EXPECT_TRUE(lines[1].segments.empty());
  EXPECT_DOUBLE_EQ(lines[1].y, 12);
}

TEST(RecordingPrinterTest, DocumentsAreSentWholeOrDroppedWhole) {
  RecordingPrinter printer;
  printer.EndDoc();  // nothing printed, nothing sent
  EXPECT_TRUE(printer.Sent().empty());

  printer.PrintLine("one");
  printer.NewPage();
  EXPECT_EQ(printer.Page(), 2);
  EXPECT_DOUBLE_EQ(printer.CurrentY(), 0);
  printer.PrintLine("two");
  printer.SetOrientation(PageOrientation::kLandscape);
  EXPECT_DOUBLE_EQ(printer.ScaleWidth(), 720);
  printer.EndDoc();
  ASSERT_EQ(printer.Sent().size(), 1u);
  EXPECT_EQ(printer.Sent()[0].pages.size(), 2u);
  EXPECT_EQ(printer.Sent()[0].orientation, PageOrientation::kLandscape);
  EXPECT_EQ(printer.Page(), 1);

  printer.PrintLine("dropped");
  printer.KillDoc();
  printer.KillDoc();  // nothing open: not counted again
  EXPECT_EQ(printer.Abandoned(), 1);
  EXPECT_EQ(printer.Sent().size(), 1u);
  EXPECT_TRUE(printer.Pending().empty());
}

TEST(RecordingPrinterTest, TheChosenCallFailsAndChangesNothing) {
  RecordingPrinter printer;
  printer.FailCall(2);
  printer.SetFontSize(12);
  EXPECT_THROW(printer.PrintLine("lost"), PrinterError);
  EXPECT_TRUE(printer.Pending().empty());
  EXPECT_DOUBLE_EQ(printer.CurrentY(), 0);
  printer.PrintLine("kept");
  EXPECT_EQ(printer.Calls(), 3);
  EXPECT_EQ(printer.Pending()[0].lines[0].Text(), "kept");
}

}  // namespace
}  // namespace brontal
