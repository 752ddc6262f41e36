// The Qt printer writing PDF files on the offscreen platform: what reaches the file, what a
// dropped document leaves, how the pen moves, and the fonts that report columns rely on.
#include "platform/printing/qt_printer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;

class QtPrinterTest : public ::testing::Test {
 protected:
  std::vector<fs::path> Files() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder_.path())) files.push_back(entry.path());
    return files;
  }
  // The page count of a PDF written by Qt, from its page tree.
  static int PdfPages(const std::string& pdf) {
    std::smatch match;
    if (!std::regex_search(pdf, match, std::regex("/Type /Pages[^>]*/Count (\\d+)"))) return -1;
    return std::stoi(match[1]);
  }

  testing::TempFolder folder_;
  QtPrinter printer_{{.pdf_folder = folder_.path().string(), .force_pdf = true}};
};

TEST_F(QtPrinterTest, EndDocWritesOnePdfOfAllPagesAndKillDocWritesNothing) {
  EXPECT_TRUE(printer_.PrintsToPdf());
  EXPECT_EQ(printer_.DeviceName(), "PDF files in " + folder_.path().string());
  printer_.PrintLine("first page");
  printer_.NewPage();
  EXPECT_EQ(printer_.Page(), 2);
  printer_.PrintLine("second page");
  printer_.KillDoc();
  EXPECT_TRUE(Files().empty());
  EXPECT_EQ(printer_.Page(), 1);

  printer_.PrintLine("first page");
  printer_.NewPage();
  printer_.PrintText("second ");
  printer_.PrintLine("page");
  printer_.PaintPicture(Picture{2, 1, {0xFFFF0000, 0xFF0000FF}}, 10, 10, 100, 50);
  printer_.EndDoc();
  ASSERT_EQ(Files().size(), 1u);
  EXPECT_EQ(fs::path(printer_.LastPdfFile()), Files()[0]);
  EXPECT_TRUE(
      std::regex_match(Files()[0].filename().string(), std::regex("brontal-\\d{8}-\\d{6}\\.pdf")));
  std::string pdf = testing::ReadWholeFile(Files()[0]);
  EXPECT_TRUE(pdf.starts_with("%PDF"));
  EXPECT_EQ(PdfPages(pdf), 2);
  EXPECT_NE(pdf.find("/Subtype /Image"), std::string::npos);

  printer_.PrintLine("again");
  printer_.EndDoc();  // the same second: a file of its own beside the first
  EXPECT_EQ(Files().size(), 2u);
  printer_.EndDoc();  // nothing printed
  EXPECT_EQ(Files().size(), 2u);
}

TEST_F(QtPrinterTest, PenFollowsTheFontAndOrientationTurnsThePage) {
  EXPECT_GT(printer_.ScaleHeight(), printer_.ScaleWidth());
  printer_.SetFontSize(12);
  printer_.PrintLine("");
  double line = printer_.CurrentY();
  EXPECT_GT(line, 12);
  EXPECT_LT(line, 24);
  printer_.SetFontSize(24);
  printer_.PrintLine("");
  EXPECT_GT(printer_.CurrentY() - line, 1.5 * line);

  printer_.SetOrientation(PageOrientation::kLandscape);
  EXPECT_GT(printer_.ScaleWidth(), printer_.ScaleHeight());
  printer_.SetOrientation(PageOrientation::kPortrait);
  EXPECT_GT(printer_.ScaleHeight(), printer_.ScaleWidth());
  EXPECT_THROW(printer_.SetFontSize(0), PrinterError);
}

TEST_F(QtPrinterTest, CourierIsOfferedFirstAndPrintsAtFixedPitch) {
  std::vector<std::string> fonts = printer_.Fonts();
  ASSERT_GE(fonts.size(), 3u);
  EXPECT_EQ(fonts[0], "Courier");
  EXPECT_EQ(fonts[1], "Helvetica");
  auto width = [&](std::string_view text) {
    printer_.SetCurrentX(0);
    printer_.PrintText(text);
    return printer_.CurrentX();
  };
  printer_.SetFontName("Courier");
  printer_.SetFontSize(12);
  EXPECT_NEAR(width("iiii"), width("MMMM"), 0.01);
  printer_.SetFontBold(true);
  EXPECT_NEAR(width("iiii"), width("MMMM"), 0.01);
  printer_.SetFontName("Helvetica");
  EXPECT_LT(width("iiii"), width("MMMM"));
  printer_.KillDoc();
}

TEST(QtPrinterFailureTest, AnUnwritableFolderFailsAndDropsTheDocument) {
  QtPrinter printer({.pdf_folder = "/proc/no-such-folder", .force_pdf = true});
  printer.PrintLine("text");
  EXPECT_THROW(printer.EndDoc(), PrinterError);
  EXPECT_EQ(printer.Page(), 1);
  EXPECT_TRUE(printer.LastPdfFile().empty());
}

}  // namespace
}  // namespace brontal
