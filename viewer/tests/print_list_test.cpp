// PrintList on the recording printer and into HTML pages: column widths and captions, page
// breaks with and without icons, cancel, icons that fail, and pages that cannot be written.
#include "viewer/print_list.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sstream>

#include "platform/fixed_locale.h"
#include "platform/testing/recording_printer.h"
#include "platform/testing/temp_folder.h"
#include "store/text.h"
#include "store/zone_line.h"

namespace brontal {
namespace {

using Lines = std::vector<std::string>;

const std::vector<std::string> kKeys = {"name", "p06-Dec-2026 02:00", " change ", "free", "used"};
const std::vector<std::string> kCaptions = {"Name", "06-Dec-2026 02:00", "Change", "Free", "Used"};

// `columns` of kKeys, the first aligned left; rows "row1", "row2", ... whose further cells are
// right-justified numbers, as the viewer's lists hold them.
PrintableList MakeList(std::size_t columns, int rows, const Picture* icon = nullptr) {
  PrintableList list;
  for (std::size_t j = 0; j < columns; ++j) {
    list.columns.push_back({kKeys[j], j == 0 ? CellAlignment::kLeft : CellAlignment::kRight});
  }
  for (int i = 1; i <= rows; ++i) {
    PrintableRow row{{"row" + std::to_string(i)}, icon};
    for (std::size_t j = 1; j < columns; ++j) row.cells.push_back("   1,0" + std::to_string(j));
    list.rows.push_back(row);
  }
  return list;
}

class PrintListTest : public ::testing::Test {
 protected:
  ListPrintServices Services() {
    return {.clock = clock_,
            .locale = locale_,
            .message_box = message_box_,
            .state = state_,
            .progress = progress_,
            .printer = &printer_,
            .save_dialog = &dialog_};
  }
  ReportOutcome Print(const PrintableList& list, bool with_icons = false) {
    return PrintList(list, "Title", false, with_icons, Services());
  }
  ReportOutcome Html(const PrintableList& list) {
    dialog_.answers.push_back(page_path_);
    return PrintList(list, "Title", true, false, Services());
  }
  Lines PageLines() const {
    Lines lines;
    std::stringstream page(testing::ReadWholeFile(page_path_));
    for (std::string line; std::getline(page, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  static Lines Texts(const RecordingPrinter::PageRecord& page) {
    Lines texts;
    for (const auto& line : page.lines) texts.push_back(line.Text());
    return texts;
  }

  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 9, 30)};
  FixedLocale locale_;
  RecordingMessageBox message_box_;
  PrintState state_;
  RecordingProgressWindow progress_;
  RecordingPrinter printer_{540, 1000};
  ScriptedSaveFileDialog dialog_;
  testing::TempFolder folder_;
  std::string page_path_ = folder_ / "list.htm";
};

TEST_F(PrintListTest, ColumnsShareSeventySixCharactersOnPaperAndInHtml) {
  for (auto [columns, width] : {std::pair{3, 25}, std::pair{4, 19}, std::pair{5, 15}}) {
    SCOPED_TRACE(columns);
    EXPECT_EQ(ListColumnChars(columns), width);
    const auto n = static_cast<std::size_t>(columns);
    const PrintableList list = MakeList(n, 2);
    std::string header, row2;
    for (std::size_t j = 0; j < n; ++j) {
      header += PadField(kCaptions[j], width);
      row2 += PadField(list.rows[1].cells[j], width);
    }

    printer_ = RecordingPrinter(540, 1000);
    ASSERT_EQ(Print(list), ReportOutcome::kWritten);
    ASSERT_EQ(printer_.Sent().size(), 1u);
    const auto& page = printer_.Sent()[0].pages.at(0);
    Lines texts = Texts(page);
    ASSERT_GE(texts.size(), 7u);
    EXPECT_EQ(Lines(texts.begin(), texts.begin() + 4),
              (Lines{"", "Brontal Listing of Title", "", header}));
    EXPECT_TRUE(page.lines[3].segments[0].bold && page.lines[3].segments[0].underline);
    EXPECT_EQ(texts[6], row2);
    // The first column in italic, the others upright.
    EXPECT_TRUE(page.lines[6].segments[0].italic);
    EXPECT_FALSE(page.lines[6].segments[1].italic);
    EXPECT_EQ(texts.back(), "Title\t 1 ");

    ASSERT_EQ(Html(list), ReportOutcome::kWritten);
    Lines expected = {ZoneLine::AtZone(1).Text("<tr bgcolor=#ffffdd>").Str()};
    for (std::size_t j = 0; j < n; ++j) {
      expected.push_back(
          ZoneLine::AtZone(2).Text("<td><b>").Zone().Text(kCaptions[j]).Zone().Text("</b>").Str());
    }
    expected.push_back(ZoneLine::AtZone(1).Text("</tr>").Str());
    for (const PrintableRow& row : list.rows) {
      expected.push_back(ZoneLine::AtZone(1).Text("<tr>").Str());
      expected.push_back(
          ZoneLine::AtZone(2).Text("<td align=left>").Zone().Text(row.cells[0]).Str());
      for (std::size_t j = 1; j < n; ++j) {
        expected.push_back(ZoneLine::AtZone(2)
                               .Text("<td align=right>")
                               .Zone()
                               .Text(PadField(row.cells[j], width))
                               .Str());
      }
      expected.push_back(ZoneLine::AtZone(1).Text("</tr>").Str());
    }
    Lines lines = PageLines();
    auto first = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_GE(lines.end() - first, static_cast<std::ptrdiff_t>(expected.size()));
    EXPECT_EQ(Lines(first, first + static_cast<std::ptrdiff_t>(expected.size())), expected);
    EXPECT_EQ(lines.back(), "</html>");
  }
}

TEST_F(PrintListTest, CaptionsAreTrimmedKeysAndPeriodColumnsLoseTheirP) {
  EXPECT_EQ(ListCaption(" name "), "Name");
  EXPECT_EQ(ListCaption("p06-Dec-2026 02:00"), "06-Dec-2026 02:00");
  EXPECT_EQ(ListCaption("P29-Nov-2026 02:00"), "29-Nov-2026 02:00");
  // Not periods: no dash, or no date after the P.
  EXPECT_EQ(ListCaption("path"), "Path");
  EXPECT_EQ(ListCaption("Pre-2020"), "Pre-2020");
  EXPECT_EQ(ListCaption("p"), "P");
  EXPECT_EQ(ListCaption(""), "");
}

TEST(PrintableDirectoryListTest, PeriodColumnsPrintAsThePeriodsAndRowsKeepTheirIcons) {
  const std::map<std::string, Picture, std::less<>> icons = {{"fclosed", Picture{16, 16, {}}}};
  const std::vector<ListRow> rows = {
      {"r\\s\\c:\\users", "fclosed", {"Users", "             4 ", "           305", "301"}},
      {"r\\s\\c:\\x", "unknown", {"x", "", "", ""}}};
  PrintableList list =
      PrintableDirectoryList("06-Dec-2026 02:00", "29-Nov-2026 02:00", rows, icons);
  Lines captions;
  for (const PrintableColumn& column : list.columns) captions.push_back(ListCaption(column.key));
  EXPECT_EQ(captions, (Lines{"Name", "Change", "06-Dec-2026 02:00", "29-Nov-2026 02:00"}));
  EXPECT_EQ(list.columns[0].alignment, CellAlignment::kLeft);
  EXPECT_EQ(list.columns[3].alignment, CellAlignment::kRight);
  ASSERT_EQ(list.rows.size(), 2u);
  EXPECT_EQ(list.rows[0].cells, (Lines{"Users", "             4 ", "           305", "301"}));
  EXPECT_EQ(list.rows[0].icon, &icons.at("fclosed"));
  EXPECT_EQ(list.rows[1].icon, nullptr);
}

TEST_F(PrintListTest, PagesBreakAtTheirThresholdWithAndWithoutIcons) {
  const Picture icon{16, 16, std::vector<std::uint32_t>(256, 0xff0000ff)};
  const double height = 1000, line = 1.2 * 12;  // Courier 12 on the recording printer
  for (bool with_icons : {false, true}) {
    SCOPED_TRACE(with_icons);
    printer_ = RecordingPrinter(540, height);
    ASSERT_EQ(Print(MakeList(4, 150, &icon), with_icons), ReportOutcome::kWritten);
    ASSERT_EQ(printer_.Sent().size(), 1u);
    const auto& pages = printer_.Sent()[0].pages;
    ASSERT_GE(pages.size(), 3u);
    const double threshold = (with_icons ? 0.92 : 0.95) * height;
    // A row starts at its blank icon line when it has one.
    const double row_height = with_icons ? 2 * line : line;
    Lines names;
    for (std::size_t p = 0; p < pages.size(); ++p) {
      double last_start = -1;
      std::size_t rows = 0;
      for (const auto& printed : pages[p].lines) {
        EXPECT_LE(printed.y + line, height + 1e-9) << printed.Text();
        const auto& segments = printed.segments;
        auto name = std::find_if(segments.begin(), segments.end(), [](const auto& s) {
          return s.italic && s.text.starts_with("row");
        });
        if (name == segments.end()) continue;
        names.push_back(std::string(Trim(name->text)));
        last_start = printed.y + line - row_height;
        ++rows;
      }
      EXPECT_EQ(pages[p].lines.back().Text(), "Title\t " + std::to_string(p + 1) + " ");
      EXPECT_EQ(pages[p].pictures.size(), with_icons ? rows : 0u);
      for (const auto& picture : pages[p].pictures) {
        EXPECT_DOUBLE_EQ(picture.height, 12);
      }
      ASSERT_GT(rows, 0u);
      EXPECT_LE(last_start, threshold);
      // Another row would have started past the threshold.
      if (p + 1 < pages.size()) {
        EXPECT_GT(last_start + row_height, threshold);
      }
    }
    ASSERT_EQ(names.size(), 150u);
    for (std::size_t i = 0; i < names.size(); ++i) {
      EXPECT_EQ(names[i], "row" + std::to_string(i + 1));
    }
  }
}

TEST_F(PrintListTest, CancelAfterFortyRowsLeavesThePageWithoutFooterAndDropsThePrint) {
  progress_.cancel_at_events = 2;
  EXPECT_EQ(Html(MakeList(4, 100)), ReportOutcome::kCancelled);
  Lines lines = PageLines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), ZoneLine::AtZone(1).Text("<tr>").Str()), 40);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), ZoneLine::AtZone(1).Text("</tr>").Str());
  EXPECT_EQ(progress_.statuses, (Lines{"Initialising...", "Printing...", "20% complete"}));
  EXPECT_FALSE(progress_.is_open);
  EXPECT_EQ(state_.last_html_file, page_path_);

  progress_ = RecordingProgressWindow();
  progress_.cancel_at_events = 2;
  EXPECT_EQ(Print(MakeList(4, 100)), ReportOutcome::kCancelled);
  EXPECT_TRUE(printer_.Sent().empty());
  EXPECT_EQ(printer_.Abandoned(), 1);
  EXPECT_TRUE(printer_.Pending().empty());
  EXPECT_TRUE(message_box_.shown.empty());
}

// Refuses the second icon it is asked to draw.
class IconRefusingPrinter : public RecordingPrinter {
 public:
  using RecordingPrinter::RecordingPrinter;
  void PaintPicture(const Picture& picture, double left, double top, double width,
                    double height) override {
    if (++paints_ == 2) throw PrinterError("The picture cannot be drawn");
    RecordingPrinter::PaintPicture(picture, left, top, width, height);
  }

 private:
  int paints_ = 0;
};

TEST_F(PrintListTest, AnIconThatFailsOrIsMissingLeavesOnlyItsRowWithoutIcon) {
  const Picture icon{16, 16, std::vector<std::uint32_t>(256, 0xff00ff00)};
  PrintableList list = MakeList(3, 4, &icon);
  list.rows[3].icon = nullptr;
  IconRefusingPrinter printer(540, 1000);
  ListPrintServices services = Services();
  services.printer = &printer;
  EXPECT_EQ(PrintList(list, "Title", false, true, services), ReportOutcome::kWritten);
  EXPECT_TRUE(message_box_.shown.empty());
  ASSERT_EQ(printer.Sent().size(), 1u);
  const auto& page = printer.Sent()[0].pages.at(0);
  Lines texts = Texts(page);
  for (int i = 1; i <= 4; ++i) {
    EXPECT_EQ(std::count(texts.begin(), texts.end(),
                         "   " + PadField("row" + std::to_string(i), 25) + PadField("   1,01", 25) +
                             PadField("   1,02", 25)),
              1);
  }
  EXPECT_EQ(page.pictures.size(), 2u);  // rows 1 and 3
}

TEST_F(PrintListTest, APageThatCannotBeWrittenIsReportedAndNotLeftBehind) {
  // No file named: nothing happens.
  EXPECT_EQ(PrintList(MakeList(3, 5), "Title", true, false, Services()), ReportOutcome::kNoFile);
  EXPECT_EQ(progress_.opened, 0);

  const std::string missing = folder_ / "no such folder/list.htm";
  dialog_.answers.push_back(missing);
  EXPECT_EQ(PrintList(MakeList(3, 5), "Title", true, false, Services()), ReportOutcome::kFailed);
  EXPECT_EQ(message_box_.shown,
            Lines{"cannot create \"" + missing + "\": No such file or directory in PrintList"});
  EXPECT_EQ(state_.last_html_file, "");
  EXPECT_FALSE(progress_.is_open);

  // A write that fails half way: the file may not grow past 4 KiB.
  message_box_.shown.clear();
  rlimit old_limit{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  rlimit small = old_limit;
  small.rlim_cur = 4096;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  ReportOutcome outcome = Html(MakeList(3, 2000));
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(outcome, ReportOutcome::kFailed);
  EXPECT_EQ(message_box_.shown,
            Lines{"cannot write to \"" + page_path_ + "\": File too large in PrintList"});
  EXPECT_FALSE(std::filesystem::exists(page_path_));
  EXPECT_EQ(state_.last_html_file, "");
  EXPECT_FALSE(progress_.is_open);
}

}  // namespace
}  // namespace brontal
