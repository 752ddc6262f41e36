// The size graph's rows and chart on the fixture database: the statements, the change against
// the unrounded size before, thinning, duplicate periods and empty ranges; then the label step,
// the header-click rule, the toolbar's states with their settings, and the caption.
#include "viewer/graph_model.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/fixed_locale.h"
#include "store/text.h"
#include "viewer/periods.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal::graph {
namespace {

using brontal::testing::AddDirRow;
using brontal::testing::kMB;
using brontal::testing::kP0;
using brontal::testing::kP1;
using brontal::testing::kP2;
using Lines = std::vector<std::string>;

TEST(GraphModelTextTest, StatementsForTheRootAndForAKey) {
  EXPECT_EQ(Query("r", kP1, kP2, ""),
            "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\" and "
            "pdate<=#12/6/26 2:0:0# and pdate>=#11/29/26 2:0:0# group by pdate order by pdate "
            "asc;");
  // "R" is titled "All Servers" as well, so it graphs the root too.
  EXPECT_EQ(Query("R", kP1, kP2, ""), Query("r", kP1, kP2, ""));
  EXPECT_EQ(Query("r\\server1\\c:\\a\"b", kP1, kP0, " and day(pdate)=1"),
            "select Brontal as Brontals, pdate from Dirs where DirParent=\"r\\server1\\c:\" and "
            "dir=\"a\"\"b\" and pdate<=#12/6/26 2:0:0# and pdate>=#11/22/26 2:0:0# and "
            "day(pdate)=1 order by pdate asc;");

  MemorySettings settings;
  EXPECT_EQ(SkipClause("All", settings), "");
  EXPECT_EQ(SkipClause("Weekly", settings), " and weekday(pdate,2)=1");
  settings.Set("Archiving", "FirstDay", "6");
  EXPECT_EQ(SkipClause("Weekly", settings), " and weekday(pdate,2)=7");
  EXPECT_EQ(SkipClause("Monthly", settings), " and day(pdate)=1");
  EXPECT_EQ(SkipClause("weekly", settings), std::nullopt);
}

class GraphModelTest : public ::testing::Test {
 protected:
  // Each row as "period|size|change" with the cells' blanks removed.
  Lines List(std::string_view key, DateTime end = kP1, DateTime start = kP0,
             std::string_view skip = "") {
    rows_ =
        MakeL(database_, key, PeriodText(end, locale_), PeriodText(start, locale_), skip, locale_);
    Lines lines;
    for (const Row& row : rows_) {
      EXPECT_EQ(row.key, "p" + row.cells[kPeriodColumn]);
      EXPECT_EQ(row.cells[kSizeColumn].size(), 15u);
      lines.push_back(row.cells[kPeriodColumn] + "|" + std::string(Trim(row.cells[kSizeColumn])) +
                      "|" + std::string(Trim(row.cells[kChangeColumn])));
    }
    return lines;
  }

  brontal::testing::ViewerDatabase fixture_;
  db::Database& database_ = *fixture_.database;
  FixedLocale locale_;
  std::vector<Row> rows_;
};

TEST_F(GraphModelTest, TheRootSumsTheNodesAndALowerCaseKeyFindsTheDrive) {
  EXPECT_EQ(List("r"), (Lines{"22-Nov-2026 02:00|0|0", "29-Nov-2026 02:00|3,013|3,013",
                              "06-Dec-2026 02:00|3,015|2"}));
  // Keys from the disk usage window come lower-cased.
  EXPECT_EQ(List("r\\server1\\c:"), (Lines{"22-Nov-2026 02:00|0|0", "29-Nov-2026 02:00|1,013|1,013",
                                           "06-Dec-2026 02:00|1,015|2"}));
  EXPECT_EQ(rows_[2].cells[kSortDateColumn], "  2026-12-06 02:00");
}

TEST_F(GraphModelTest, EachChangeIsAgainstTheUnroundedSizeBefore) {
  const DateTime dec13 = DateTime::FromCivil(2026, 12, 13, 2);
  const DateTime dec20 = DateTime::FromCivil(2026, 12, 20, 2);
  for (auto [pdate, mb] : {std::pair{kP0, 1234.4}, std::pair{kP2, 1235.6}, std::pair{kP1, 1237.5},
                           std::pair{dec13, 1240.0}, std::pair{dec20, 1230.0}}) {
    AddDirRow(database_, "R\\SERVER1\\C:\\Users", "Grow", std::llround(mb * 10000) * kMB / 10000,
              pdate);
  }
  // 1,236 - 1,234.4 rounds to 2; 1,240 - 1,237.5 is 2.5, which a previous rounded to 1,238
  // would make 2.
  EXPECT_EQ(
      List("r\\server1\\c:\\users\\grow", dec20),
      (Lines{"22-Nov-2026 02:00|1,234|0", "29-Nov-2026 02:00|1,236|2", "06-Dec-2026 02:00|1,238|2",
             "13-Dec-2026 02:00|1,240|3", "20-Dec-2026 02:00|1,230|10-"}));
  EXPECT_EQ(rows_[4].cells[kChangeColumn], std::string(12, ' ') + "10-");

  const Chart sizes = MakeG(rows_, GraphColumn::kSize, "\\\\SERVER1\\C$\\Users\\Grow", locale_);
  EXPECT_EQ(sizes.points.front(), (ChartPoint{1234, "22-Nov-2026"}));
  EXPECT_EQ(sizes.label_step, 2);
  const Chart changes = MakeG(rows_, GraphColumn::kChange, "", locale_);
  EXPECT_EQ(changes.points.back(), (ChartPoint{-10, "20-Dec-2026"}));
}

TEST_F(GraphModelTest, OnePeriodGivesOneRowAndTwoPointsAndNoneGivesEmptyPoints) {
  EXPECT_EQ(List("r\\server1\\c:", kP1, kP1), (Lines{"06-Dec-2026 02:00|1,015|0"}));
  Chart chart = MakeG(rows_, GraphColumn::kChange, "x", locale_);
  EXPECT_EQ(chart.points, (std::vector<ChartPoint>{{0, "06-Dec-2026"}, {}}));

  // A start after the end, and a key without rows.
  EXPECT_EQ(List("r\\server1\\c:", kP2, kP1), Lines{});
  EXPECT_EQ(List("r\\server1\\c:\\nothing"), Lines{});
  chart = MakeG(rows_, GraphColumn::kSize, Title("r\\server1\\c:\\nothing"), locale_);
  EXPECT_EQ(chart.points, (std::vector<ChartPoint>{{}, {}}));
  EXPECT_EQ(chart.title, "\\\\server1\\c$\\nothing");

  EXPECT_THROW(MakeL(database_, "r", "31-Foo-2026 02:00", PeriodText(kP0, locale_), "", locale_),
               db::DbError);
}

TEST_F(GraphModelTest, ThinningKeepsTheConfiguredWeekdayOrTheFirstOfTheMonth) {
  // Beside the fixture's Sundays: a Monday, and Tuesday 1 December.
  AddDirRow(database_, "R\\SERVER1", "C:", 1020 * kMB, DateTime::FromCivil(2026, 11, 30, 2));
  AddDirRow(database_, "R\\SERVER1", "C:", 1030 * kMB, DateTime::FromCivil(2026, 12, 1, 2));
  MemorySettings settings;
  settings.Set("Archiving", "FirstDay", "6");
  auto periods = [&](std::string_view skip_text) {
    Lines dates;
    for (const std::string& line :
         List("r\\server1\\c:", kP1, kP0, *SkipClause(skip_text, settings)))
      dates.push_back(line.substr(0, 11));
    return dates;
  };
  EXPECT_EQ(periods("Weekly"), (Lines{"22-Nov-2026", "29-Nov-2026", "06-Dec-2026"}));
  EXPECT_EQ(periods("Monthly"), (Lines{"01-Dec-2026"}));
  settings.Set("Archiving", "FirstDay", "0");
  EXPECT_EQ(periods("Weekly"), (Lines{"30-Nov-2026"}));
  EXPECT_EQ(periods("All").size(), 5u);
}

TEST_F(GraphModelTest, ASecondRowOfAPeriodIsDroppedAndLeavesTheChangeAlone) {
  AddDirRow(database_, "R\\SERVER2", "D:", 1990 * kMB, kP2);
  const Lines lines = List("r\\server2\\d:");
  ASSERT_EQ(lines.size(), 3u);
  // Whichever row of 29 November is shown is the one the next change counts from.
  const bool first_stands = lines[1] == "29-Nov-2026 02:00|2,000|2,000";
  EXPECT_EQ(lines[2], first_stands ? "06-Dec-2026 02:00|2,000|0" : "06-Dec-2026 02:00|2,000|10")
      << lines[1];
}

TEST(GraphModelRulesTest, LabelStep) {
  EXPECT_EQ(LabelStep(2), 1);
  EXPECT_EQ(LabelStep(10), 3);
  EXPECT_EQ(LabelStep(12), 3);
  EXPECT_EQ(LabelStep(13), 4);
}

TEST(GraphModelRulesTest, HeaderClicksAndTheOrderOfCells) {
  const auto columns = Columns();
  auto click = [&](Sort sort, int column) {
    return SortAfterHeaderClick(sort, column, columns[static_cast<std::size_t>(column)].caption);
  };
  const Sort by_date;  // as MakeL leaves the list
  EXPECT_EQ(click(by_date, kPeriodColumn), (Sort{kSortDateColumn, SortOrder::kDescending}));
  EXPECT_EQ(click(click(by_date, kPeriodColumn), kPeriodColumn), by_date);
  const Sort by_size = click(by_date, kSizeColumn);
  EXPECT_EQ(by_size, (Sort{kSizeColumn, SortOrder::kDescending}));
  EXPECT_EQ(click(by_size, kSizeColumn), (Sort{kSizeColumn, SortOrder::kAscending}));
  EXPECT_EQ(click(by_size, kChangeColumn), (Sort{kChangeColumn, SortOrder::kDescending}));
  EXPECT_EQ(click(by_size, kPeriodColumn), by_date);

  auto row = [](std::string date, std::string size) {
    return Row{"p" + date, {date, std::string(15 - size.size(), ' ') + size, "", "  " + date}};
  };
  std::vector<Row> rows = {row("a", "987"), row("b", "1,234"), row("c", "99")};
  SortRows(rows, by_size);
  EXPECT_EQ(rows[0].key + rows[1].key + rows[2].key, "pbpapc");
  SortRows(rows, by_date);
  EXPECT_EQ(rows[0].key + rows[1].key + rows[2].key, "papbpc");
}

TEST(GraphModelRulesTest, ButtonGroupsAndWhatClosingSaves) {
  Buttons buttons = ButtonsAfterClick(Buttons{}, "lingraph");
  EXPECT_EQ(buttons, (Buttons{.bar_graph = false, .line_graph = true}));
  buttons = ButtonsAfterClick(ButtonsAfterClick(buttons, "delta"), "Grid");
  EXPECT_EQ(StyleOfButtons(buttons), (ChartStyle{ChartType::kLine, GraphColumn::kChange, true}));
  EXPECT_EQ(GridLinesOf(StyleOfButtons(buttons)), GridLines::kBoth);
  EXPECT_EQ(GridLinesOf({ChartType::kBar, GraphColumn::kSize, true}), GridLines::kHorizontal);

  MemorySettings settings;
  EXPECT_EQ(LoadButtons(settings), Buttons{});
  EXPECT_EQ(LoadSplitterLeft(settings, 8001), 4000);
  SaveGraphSettings(settings, buttons, 2500);
  EXPECT_EQ(LoadButtons(settings), buttons);
  EXPECT_EQ(settings.Get(kSection, "LinGraph", ""), "1");
  // A minimized window keeps the position saved before.
  SaveGraphSettings(settings, buttons, std::nullopt);
  EXPECT_EQ(LoadSplitterLeft(settings, 8001), 2500);

  // Groups restored with both or neither pressed follow their first button.
  settings.Set(kSection, "BarGraph", "1");
  settings.Set(kSection, "Sigma", "0");
  settings.Set(kSection, "Delta", "0");
  EXPECT_EQ(
      LoadButtons(settings),
      (Buttons{
          .bar_graph = true, .line_graph = false, .sigma = false, .delta = true, .grid = true}));
}

TEST(GraphModelRulesTest, CaptionNamesTheDisplayPath) {
  EXPECT_EQ(Caption("r"), "Graph - All Servers");
  EXPECT_EQ(Caption("R\\SERVER1\\D:"), "Graph - \\\\SERVER1\\D$");
  EXPECT_EQ(ColumnWidths(5212), (std::array<int, 4>{2000, 1000, 1000, 0}));
  EXPECT_EQ(ColumnWidths(1000), (std::array<int, 4>{0, 0, 0, 0}));
}

}  // namespace
}  // namespace brontal::graph
