// Print-zone layout of log and HTML lines, and the CR LF line file.
#include "store/zone_line.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <system_error>

#include "platform/fixed_locale.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

TEST(ZoneLineTest, ZoneStepsToTheNextBoundaryStrictlyAfter) {
  EXPECT_EQ(ZoneLine().Zone().Column(), 14u);
  EXPECT_EQ(ZoneLine().Zone().Zone().Column(), 28u);
  EXPECT_EQ(ZoneLine().Text("abc").Zone().Str(), "abc" + std::string(11, ' '));
  // A field that fills its zone exactly still gets a blank after it: a whole zone of them.
  EXPECT_EQ(ZoneLine().Text(std::string(14, 'x')).Zone().Column(), 28u);
  EXPECT_EQ(ZoneLine().Text(std::string(44, 'x')).Zone().Column(), 56u);
  EXPECT_EQ(ZoneLine().Text(std::string(13, 'x')).Zone().Column(), 14u);
}

TEST(ZoneLineTest, SemicolonItemsFollowDirectly) {
  ZoneLine line;
  line.Text("ErrMain: ").Zone().Number(53).Zone().Text("File not found");
  EXPECT_EQ(line.Str(),
            "ErrMain: " + std::string(5, ' ') + " 53 " + std::string(10, ' ') + "File not found");
}

TEST(ZoneLineTest, LinesAtAZone) {
  EXPECT_EQ(ZoneLine::AtZone(0).Str(), "");
  EXPECT_EQ(ZoneLine::AtZone(1).Text("<tr>").Str(), std::string(14, ' ') + "<tr>");
  EXPECT_EQ(ZoneLine::AtZone(2).Text("<td>").Str(), std::string(28, ' ') + "<td>");
}

TEST(ZoneLineTest, ColumnsCountCharacters) {
  ZoneLine line;
  line.Text("Größe").Zone().Text("x");
  EXPECT_EQ(line.Str(), "Größe" + std::string(9, ' ') + "x");
  EXPECT_EQ(line.Column(), 15u);
}

TEST(ZoneLineTest, NumbersPrintTheLinePrinterWay) {
  EXPECT_EQ(ZoneLine().Number(42).Str(), " 42 ");
  EXPECT_EQ(ZoneLine().Number(-7).Str(), "-7 ");
  EXPECT_EQ(ZoneLine().Number(0).Str(), " 0 ");
  EXPECT_EQ(ZoneLine().Number(std::int64_t{123456789012345678}).Str(), " 123456789012345678 ");
  EXPECT_EQ(ZoneLine().Number(std::numeric_limits<std::int64_t>::min()).Str(),
            "-9223372036854775808 ");
  EXPECT_EQ(ZoneLine().Number(2.5).Str(), " 2.5 ");
  EXPECT_EQ(ZoneLine().Number(-0.25).Str(), "-0.25 ");
  EXPECT_EQ(ZoneLine().Number(1.0 / 3.0).Str(), " 0.333333333333333 ");
  EXPECT_EQ(ZoneLine().Text("Free: ").Number(1024).Str(), "Free:  1024 ");
}

TEST(ZoneLineTest, TimestampedLogLines) {
  FixedLocale english;
  // "12/6/2026 10:04:05 PM" is 21 characters: the message starts at column 28.
  EXPECT_EQ(LogLine(DateTime::FromCivil(2026, 12, 6, 22, 4, 5), "Getting drives", english),
            "12/6/2026 10:04:05 PM" + std::string(7, ' ') + "Getting drives");
  EXPECT_EQ(LogLine(DateTime::FromCivil(2026, 12, 6), "", english),
            "12/6/2026" + std::string(5, ' '));
  ZoneLine line = StampedLine(DateTime::FromCivil(2026, 12, 6), FixedLocale::German());
  line.Text("Free: ").Number(5);
  EXPECT_EQ(line.Str(), "06.12.2026    Free:  5 ");
}

class LineFileTest : public ::testing::Test {
 protected:
  std::string Contents() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  testing::TempFolder folder_;
  std::string path_ = folder_ / "test.log";
};

TEST_F(LineFileTest, LinesEndWithCrLfAndAreOnDiskAtOnce) {
  LineFile file(path_);
  file.WriteLine("Brontal 1.3.910");
  EXPECT_EQ(Contents(), "Brontal 1.3.910\r\n");  // read while the file is still open
  file.WriteLine("");
  file.WriteLine(ZoneLine::AtZone(1).Text("<tr>"));
  EXPECT_EQ(Contents(), "Brontal 1.3.910\r\n\r\n              <tr>\r\n");
}

TEST_F(LineFileTest, TruncatesAnOldFile) {
  std::ofstream(path_) << "an old run's log that is longer than the new one\n";
  LineFile file(path_);
  file.WriteLine("new");
  EXPECT_EQ(Contents(), "new\r\n");
}

TEST_F(LineFileTest, FailureToOpenNamesThePath) {
  std::string missing = (folder_.path() / "no such folder" / "x.log").string();
  try {
    LineFile file(missing);
    FAIL() << "expected std::system_error";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), ENOENT);
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
}

TEST_F(LineFileTest, ClosedAndMovedFiles) {
  LineFile file(path_);
  LineFile moved(std::move(file));
  EXPECT_FALSE(file.IsOpen());
  moved.WriteLine("kept");
  moved.Close();
  moved.Close();
  EXPECT_THROW(moved.WriteLine("lost"), std::system_error);
  EXPECT_THROW(file.WriteLine("lost"), std::system_error);
  EXPECT_EQ(Contents(), "kept\r\n");
}

}  // namespace
}  // namespace brontal
