// The disk windows' model: the pie's edge cases, the usage list on the fixture database (same
// period, one period only, the change's sign, a drive no larger than its free space, Null
// values, failures), its numeric sorting, the disk graph's join and thinning, the stacked chart,
// and the settings.
#include "viewer/disk_model.h"

#include <gtest/gtest.h>

#include "platform/fixed_locale.h"
#include "store/text.h"
#include "viewer/periods.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal::disks {
namespace {

using brontal::testing::AddDirRow;
using brontal::testing::AddDiskRow;
using brontal::testing::kMB;
using brontal::testing::kP0;
using brontal::testing::kP1;
using brontal::testing::kP2;
using Lines = std::vector<std::string>;

constexpr double kTurn = 2 * kPi;

TEST(DiskPieTest, FreeSectorChangeSectorsAndTheirLimits) {
  FixedLocale locale;
  // A quarter free: the free sector is a quarter turn, "%Full" says 75%.
  const Pie quarter = MakePie(100, 25, 0);
  EXPECT_DOUBLE_EQ(quarter.free.start, 0.001);
  EXPECT_NEAR(quarter.free.end, 1.571, 0.001);
  EXPECT_EQ(quarter.change_kind, ChangeKind::kNone);
  // A full disk still shows a sliver of free space.
  EXPECT_EQ(MakePie(100, 0, 0).free, (Sector{0.001, 0.02}));

  const double f = quarter.free.end;
  const Pie used = MakePie(100, 25, 5);
  EXPECT_EQ(used.change_kind, ChangeKind::kRecentlyUsed);
  EXPECT_DOUBLE_EQ(used.change.start, f);
  EXPECT_NEAR(used.change.end - f, 0.314, 0.001);
  const Pie freed = MakePie(100, 25, -5);
  EXPECT_EQ(freed.change_kind, ChangeKind::kRecentlyFreed);
  EXPECT_NEAR(f - freed.change.start, 0.314, 0.001);
  EXPECT_DOUBLE_EQ(freed.change.end, f);
  // 0.3 % is 0.019 radians, too small to draw.
  EXPECT_EQ(MakePie(100, 25, 0.3).change_kind, ChangeKind::kNone);
  EXPECT_EQ(MakePie(100, 25, -0.3).change_kind, ChangeKind::kNone);

  // Changes bigger than their part of the disc (the drive's size changed) stop at its edge.
  EXPECT_EQ(MakePie(100, 50, 80).change, (Sector{kTurn / 2, 0.001 + kTurn}));
  EXPECT_DOUBLE_EQ(MakePie(100, 10, -20).change.start, 0.001);
  // No more size than free space: one more than free, almost all free.
  EXPECT_DOUBLE_EQ(MakePie(50, 50, 0).free.end, kTurn * 50 / 51);
  EXPECT_DOUBLE_EQ(MakePie(0, 0, 0).free.end, 0.02);

  UsageRow row{"k", "", "", {"", "      5", "", "      25", "      100"}};
  EXPECT_EQ(PieOfRow(row, locale), used);
  row.cells[kChangeColumn] = "";
  EXPECT_EQ(PieOfRow(row, locale), quarter);
}

class DiskUsageTest : public ::testing::Test {
 protected:
  // Each row as "text|change|%Full|free|size" without the cells' blanks, every number cell
  // checked to be 15 characters wide.
  Lines List(DateTime period1, DateTime period2) {
    return List(PeriodText(period1, locale_), PeriodText(period2, locale_));
  }
  Lines List(std::string_view period1_text, std::string_view period2_text) {
    rows_ = MakeUsageL(database_, period1_text, period2_text, locale_,
                       [this](const std::string& message) { reports_.push_back(message); });
    Lines lines;
    for (const UsageRow& row : rows_) {
      EXPECT_EQ(row.key, LowerCase(row.path));
      EXPECT_EQ(row.cells[kNameColumn], row.text);
      std::string line = row.text;
      for (int column = kChangeColumn; column <= kSizeColumn; ++column) {
        const std::string& cell = row.cells[static_cast<std::size_t>(column)];
        EXPECT_TRUE(cell.empty() || cell.size() == 15u) << cell;
        line += "|" + std::string(Trim(cell));
      }
      lines.push_back(line);
    }
    return lines;
  }

  brontal::testing::ViewerDatabase fixture_;
  db::Database& database_ = *fixture_.database;
  FixedLocale locale_;
  std::vector<UsageRow> rows_;
  Lines reports_;
};

TEST_F(DiskUsageTest, SamePeriodShowsNoChange) {
  EXPECT_EQ(List(kP1, kP1),
            (Lines{"SERVER1\\C:|0|27%|3,000|4,096", "SERVER2\\D:|0|67%|1,000|3,072"}));
  EXPECT_EQ(rows_[0].key, "r\\server1\\c:");
  EXPECT_EQ(rows_[0].path, "R\\SERVER1\\C:");
  for (const UsageRow& row : rows_) {
    EXPECT_EQ(PieOfRow(row, locale_).change_kind, ChangeKind::kNone);
  }
  EXPECT_EQ(reports_, Lines{});
}

TEST_F(DiskUsageTest, ChangeAgainstTheOlderPeriodAndOddRows) {
  // Grown by 5.6 MB against the 25 MB shown (25.4 exactly), shrunk by 10, only in one of the
  // periods, no larger than its free space, and without values.
  AddDiskRow(database_, "R\\SERVER3", "C:", 25 * kMB + 4 * kMB / 10, 100 * kMB, kP1);
  AddDiskRow(database_, "R\\SERVER3", "C:", 30 * kMB + 6 * kMB / 10, 100 * kMB, kP2);
  AddDiskRow(database_, "R\\SERVER3", "E:", 40 * kMB, 100 * kMB, kP1);
  AddDiskRow(database_, "R\\SERVER3", "E:", 30 * kMB, 100 * kMB, kP2);
  AddDiskRow(database_, "R\\SERVER3", "F:", 10 * kMB, 20 * kMB, kP1);
  AddDiskRow(database_, "R\\SERVER3", "G:", 10 * kMB, 20 * kMB, kP2);
  AddDiskRow(database_, "R\\SERVER3", "H:", 50 * kMB, 50 * kMB, kP1);
  AddDiskRow(database_, "R\\SERVER3", "H:", 40 * kMB, 30 * kMB, kP2);
  AddDiskRow(database_, "R\\SERVER3", "N:", std::nullopt, std::nullopt, kP1);
  AddDiskRow(database_, "R\\SERVER3", "N:", std::nullopt, 8 * kMB, kP2);
  // A row of the period before P2 is not compared.
  AddDiskRow(database_, "R\\SERVER3", "F:", 1 * kMB, 20 * kMB, kP0);

  EXPECT_EQ(List(kP1, kP2), (Lines{"SERVER1\\C:|0|27%|3,000|4,096", "SERVER2\\D:|0|67%|1,000|3,072",
                                   "SERVER3\\C:|6|75%|25|100", "SERVER3\\E:|-10|60%|40|100",
                                   "SERVER3\\F:||50%|10|20", "SERVER3\\G:||50%|10|20",
                                   "SERVER3\\H:|-10|0%|50|50", "SERVER3\\N:|0|100%|0|0"}));
  EXPECT_EQ(reports_, Lines{});
  EXPECT_EQ(PieOfRow(rows_[2], locale_).change_kind, ChangeKind::kRecentlyUsed);
  EXPECT_EQ(PieOfRow(rows_[3], locale_).change_kind, ChangeKind::kRecentlyFreed);
  EXPECT_EQ(PieOfRow(rows_[4], locale_).change_kind, ChangeKind::kNone);

  // The same text twice compares a period with itself, even where the rows differ.
  const Lines same = List(kP2, kP2);
  EXPECT_EQ(same[2], "SERVER3\\C:|0|69%|31|100");
  EXPECT_EQ(same.size(), 7u);
}

TEST_F(DiskUsageTest, FailuresAreReportedByStep) {
  EXPECT_EQ(List("31-Foo-2026 02:00", PeriodText(kP1, locale_)), Lines{});
  EXPECT_EQ(reports_, Lines{"Error in fduMakeL/sql: Type mismatch"});

  reports_.clear();
  database_.Execute("drop table Disks");
  EXPECT_EQ(List(kP1, kP2), Lines{});
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_TRUE(reports_[0].starts_with("Error in fduMakeL/sql: ")) << reports_[0];
}

TEST(DiskUsageRulesTest, StatementColumnsAndWidths) {
  EXPECT_EQ(UsageQuery(kP1, kP2),
            "select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks where  (pdate=#12/6/26 "
            "2:0:0# or pdate=#11/29/26 2:0:0#) order by DiskParent, Disk, pdate desc;");
  EXPECT_EQ(UsageColumns()[kFullColumn].caption, "%Full");
  EXPECT_EQ(UsageColumnWidths(8121, true), (std::array<int, 5>{2000, 1000, 1000, 1000, 1000}));
  EXPECT_EQ(UsageColumnWidths(7818, false), (std::array<int, 5>{2000, 1000, 1000, 1000, 1000}));
  EXPECT_EQ(UsageColumnWidths(1000, true), (std::array<int, 5>{}));
}

TEST(DiskUsageRulesTest, HeaderClicksAndNumericOrder) {
  const UsageSort by_name;
  const UsageSort by_full = UsageSortAfterHeaderClick(by_name, kFullColumn);
  EXPECT_EQ(by_full, (UsageSort{kFullColumn, SortOrder::kDescending}));
  EXPECT_EQ(UsageSortAfterHeaderClick(by_full, kFullColumn),
            (UsageSort{kFullColumn, SortOrder::kAscending}));
  const UsageSort name_down = UsageSortAfterHeaderClick(by_name, kNameColumn);
  EXPECT_EQ(name_down, (UsageSort{kNameColumn, SortOrder::kDescending}));
  EXPECT_EQ(UsageSortAfterHeaderClick(name_down, kNameColumn), by_name);
  EXPECT_EQ(UsageSortAfterHeaderClick(by_full, kNameColumn), by_name);

  FixedLocale locale;
  auto row = [](std::string name, std::string change, std::string full) {
    return UsageRow{name, name, name, {name, RightJustify(change), RightJustify(full), "", ""}};
  };
  std::vector<UsageRow> rows = {row("b", "3", "9%"), row("C", "-5", "100%"), row("a", "", "10%"),
                                row("d", "1,200", "")};
  auto order = [&rows] {
    std::string keys;
    for (const UsageRow& r : rows) keys += r.key;
    return keys;
  };
  SortUsageRows(rows, {kChangeColumn, SortOrder::kDescending}, locale);
  EXPECT_EQ(order(), "dbCa");
  SortUsageRows(rows, {kChangeColumn, SortOrder::kAscending}, locale);
  EXPECT_EQ(order(), "aCbd");
  SortUsageRows(rows, {kFullColumn, SortOrder::kDescending}, locale);
  EXPECT_EQ(order(), "Cabd");
  SortUsageRows(rows, by_name, locale);
  EXPECT_EQ(order(), "abCd");
  SortUsageRows(rows, {7, SortOrder::kDescending}, locale);
  EXPECT_EQ(order(), "abCd");
}

TEST(DiskUsageRulesTest, ColoursAndPrintedIcons) {
  MemorySettings settings;
  EXPECT_EQ(LoadColours(settings), kDefaultColours);
  SaveColour(settings, kFreeColour, 0x123456);
  settings.Set(kUsageSection, "Colour2", "16777216");
  settings.Set(kUsageSection, "Colour3", "red");
  settings.Set(kUsageSection, "Colour4", "-1");
  EXPECT_EQ(settings.Get(kUsageSection, "Colour1", ""), "1193046");
  EXPECT_EQ(LoadColours(settings), (Colours{255, 0x123456, 16711935, 16776960, 65535}));

  const std::map<std::string, Picture, std::less<>> pies = {{"b", Picture{}}};
  const std::vector<UsageRow> rows = {UsageRow{"a", "A", "A", {"A", "", "", "", ""}},
                                      UsageRow{"b", "B", "B", {"B", "", "", "", ""}}};
  const PrintableList list = PrintableUsageList(rows, pies);
  ASSERT_EQ(list.columns.size(), 5u);
  EXPECT_EQ(list.columns[0].alignment, CellAlignment::kLeft);
  EXPECT_EQ(list.columns[4].key, "disksize");
  EXPECT_EQ(list.rows[0].icon, nullptr);
  EXPECT_EQ(list.rows[1].icon, &pies.at("b"));
}

class DiskGraphTest : public ::testing::Test {
 protected:
  // Each row as "period|disk size|dir size|free" without the cells' blanks.
  Lines List(std::string_view key, DateTime end = kP1, DateTime start = kP0,
             std::string_view skip = "") {
    rows_ = MakeGraphL(database_, key, PeriodText(end, locale_), PeriodText(start, locale_), skip,
                       locale_);
    Lines lines;
    for (const GraphRow& row : rows_) {
      EXPECT_EQ(row.key, "p" + row.cells[kPeriodColumn]);
      lines.push_back(row.cells[kPeriodColumn] + "|" +
                      std::string(Trim(row.cells[kDiskSizeColumn])) + "|" +
                      std::string(Trim(row.cells[kDirSizeColumn])) + "|" +
                      std::string(Trim(row.cells[kDiskFreeColumn])));
    }
    return lines;
  }

  brontal::testing::ViewerDatabase fixture_;
  db::Database& database_ = *fixture_.database;
  FixedLocale locale_;
  std::vector<GraphRow> rows_;
};

TEST_F(DiskGraphTest, EachPeriodJoinsTheDrivesOwnDirsRow) {
  // 1 December has a Disks row but no Dirs row; 30 November a second Disks row for P2's minute.
  AddDiskRow(database_, "R\\SERVER1", "C:", 1 * kMB, 4096 * kMB,
             DateTime::FromCivil(2026, 12, 1, 2));
  AddDiskRow(database_, "R\\SERVER1", "C:", 2999 * kMB, 4096 * kMB, kP2);
  const Lines lines = List("r\\server1\\c:");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "22-Nov-2026 02:00|4,096|0|3,000");
  EXPECT_TRUE(lines[1] == "29-Nov-2026 02:00|4,096|1,013|3,000" ||
              lines[1] == "29-Nov-2026 02:00|4,096|1,013|2,999")
      << lines[1];
  EXPECT_EQ(lines[2], "06-Dec-2026 02:00|4,096|1,015|3,000");
  EXPECT_EQ(rows_[2].cells[kSortDateColumn], "  2026-12-06 02:00");

  const AreaChart chart = MakeDiskG(rows_, GraphTitle("r\\server1\\c:"), Stacking{}, locale_);
  ASSERT_EQ(chart.points.size(), 3u);
  EXPECT_EQ(chart.points[2], (AreaPoint{std::array<double, 3>{1015, 81, 3000}, "06-Dec-2026"}));
  EXPECT_EQ(chart.title, "\\\\server1\\c$");

  EXPECT_EQ(List("r\\server1\\c:", kP2, kP1), Lines{});
  EXPECT_EQ(List("r\\server1\\d:"), Lines{});
  EXPECT_THROW(List("r\\server1\\c:", kP1, kP0, " and nonsense("), db::DbError);
  EXPECT_THROW(MakeGraphL(database_, "r\\server1\\c:", "x", "y", "", locale_), db::DbError);
}

TEST_F(DiskGraphTest, ThinningNamesTheDisksTable) {
  const DateTime dec1 = DateTime::FromCivil(2026, 12, 1, 2);
  AddDiskRow(database_, "R\\SERVER1", "C:", 2000 * kMB, 4096 * kMB, dec1);
  AddDirRow(database_, "R\\SERVER1", "C:", 1500 * kMB, dec1);
  MemorySettings settings;
  EXPECT_EQ(GraphSkipClause("All", settings), "");
  EXPECT_EQ(GraphSkipClause("Weekly", settings), " and weekday(disks.pdate,2)=1");
  EXPECT_EQ(GraphSkipClause("Monthly", settings), " and day(disks.pdate)=1");
  EXPECT_EQ(GraphSkipClause("Yearly", settings), std::nullopt);

  EXPECT_EQ(List("r\\server1\\c:", kP1, kP0, *GraphSkipClause("Monthly", settings)),
            Lines{"01-Dec-2026 02:00|4,096|1,500|2,000"});
  settings.Set("Archiving", "FirstDay", "6");  // Sunday, the fixture's day
  EXPECT_EQ(List("r\\server1\\c:", kP1, kP0, *GraphSkipClause("Weekly", settings)).size(), 3u);
  EXPECT_EQ(List("r\\server1\\c:").size(), 4u);
}

TEST(DiskGraphRulesTest, StatementQuotesTheParentAndName) {
  EXPECT_EQ(
      GraphQuery("r\\server1\\/home", kP1, kP2, ""),
      "select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
      "Dirs.Brontal, Disks.pdate  from Dirs, Disks  where     Disks.DiskParent=\"r\\server1\" "
      "and Dirs.DirParent=\"r\\server1\"    and Disks.Disk=\"/home\" and "
      "Dirs.dir=\"/home\"   and Dirs.pdate<=#12/6/26 2:0:0#   and Dirs.pdate>=#11/29/26 "
      "2:0:0#   and Dirs.Pdate=Disks.pdate  order by Disks.pdate asc;");
  const std::string quoted = GraphQuery("r\\a\"b\\c:", kP1, kP2, " and day(disks.pdate)=1");
  EXPECT_NE(quoted.find("Disks.DiskParent=\"r\\a\"\"b\""), std::string::npos) << quoted;
  EXPECT_NE(quoted.find("Disks.pdate  and day(disks.pdate)=1 order"), std::string::npos) << quoted;
}

TEST(DiskGraphRulesTest, ChartLostSpaceFillersAndStacking) {
  EXPECT_DOUBLE_EQ(LostSpace(100, 30, 60), 10);
  EXPECT_DOUBLE_EQ(LostSpace(100, 30, 75), 0);

  FixedLocale locale;
  const GraphRow row{"p06-Dec-2026 02:00",
                     {"06-Dec-2026 02:00", RightJustify("100"), RightJustify("60"),
                      RightJustify("30"), "  2026-12-06 02:00"}};
  AreaChart chart = MakeDiskG({row}, "t", Stacking{}, locale);
  EXPECT_EQ(chart.points,
            (std::vector<AreaPoint>{{std::array<double, 3>{60, 10, 30}, "06-Dec-2026"}, {}, {}}));
  EXPECT_EQ(chart.label_step, 2);
  EXPECT_EQ(MakeDiskG(std::vector<GraphRow>(13, row), "t", Stacking{}, locale).label_step, 4);

  const Stacking start;
  EXPECT_EQ(chart.stack, (std::array<Area, 3>{kFileLengths, kLostSpace, kFreeSpace}));
  const Stacking once = Spin(start);
  EXPECT_EQ(once, (Stacking{2, 3, 1}));
  EXPECT_EQ(StackOrder(once), (std::array<Area, 3>{kFreeSpace, kFileLengths, kLostSpace}));
  EXPECT_EQ(Spin(Spin(once)), start);
  EXPECT_EQ(StackOrder(Stacking{1, 1, 2}), StackOrder(start));
}

TEST(DiskGraphRulesTest, SettingsRoundTripAndHeaderClicks) {
  MemorySettings settings;
  EXPECT_EQ(LoadStacking(settings), Stacking{});
  EXPECT_FALSE(LoadGrid(settings));
  EXPECT_EQ(LoadSplitterLeft(settings, 6001), 3000);
  SaveGraphSettings(settings, Stacking{3, 1, 2}, true, 2500);
  EXPECT_EQ(LoadStacking(settings), (Stacking{3, 1, 2}));
  EXPECT_TRUE(LoadGrid(settings));
  SaveGraphSettings(settings, Stacking{3, 1, 2}, false, std::nullopt);
  EXPECT_EQ(LoadSplitterLeft(settings, 6001), 2500);
  // Two areas in one place, or a place off the stack, give the default order.
  settings.Set(kGraphSection, "SetUsed", "1");
  EXPECT_EQ(LoadStacking(settings), Stacking{});
  settings.Set(kGraphSection, "SetUsed", "3");
  settings.Set(kGraphSection, "SetLost", "4");
  EXPECT_EQ(LoadStacking(settings), Stacking{});

  const auto columns = GraphColumns();
  auto click = [&](GraphSort sort, int column) {
    return GraphSortAfterHeaderClick(sort, column,
                                     columns[static_cast<std::size_t>(column)].caption);
  };
  const GraphSort by_date;
  EXPECT_EQ(click(by_date, kPeriodColumn), (GraphSort{kSortDateColumn, SortOrder::kDescending}));
  EXPECT_EQ(click(by_date, kDirSizeColumn), (GraphSort{kDirSizeColumn, SortOrder::kDescending}));
  EXPECT_EQ(click(by_date, kDiskFreeColumn), (GraphSort{kDiskFreeColumn, SortOrder::kAscending}));
  EXPECT_EQ(GraphColumnWidths(6515), (std::array<int, 5>{2000, 1000, 1000, 1000, 0}));

  std::vector<GraphRow> rows(3);
  rows[0].cells[kDiskSizeColumn] = RightJustify("987");
  rows[1].cells[kDiskSizeColumn] = RightJustify("1,234");
  rows[2].cells[kDiskSizeColumn] = RightJustify("99");
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i].key = std::to_string(i);
  SortGraphRows(rows, {kDiskSizeColumn, SortOrder::kDescending});
  EXPECT_EQ(rows[0].key + rows[1].key + rows[2].key, "102");
  EXPECT_EQ(PrintableGraphList(rows).columns.size(), 4u);

  EXPECT_EQ(GraphCaption("r\\server1\\c:"), "Disk Graph - \\\\server1\\c$");
}

}  // namespace
}  // namespace brontal::disks
