// The disk usage and disk graph windows' rows, pies, chart, sorting, settings and caption as
// plain values.
#include "viewer/disk_model.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "store/format.h"
#include "store/sql_text.h"
#include "store/text.h"
#include "viewer/client.h"
#include "viewer/graph_model.h"
#include "viewer/options.h"
#include "viewer/periods.h"

namespace brontal::disks {
namespace {

constexpr std::string_view kSortDatePattern = "yyyy-mm-dd hh:nn";
constexpr std::string_view kWholeFormat = "#,##0";

// A stored byte count; nullopt when it is missing or no whole number.
std::optional<std::int64_t> Bytes(const db::Value& value) {
  if (value.IsNull()) return std::nullopt;
  try {
    return value.AsInt64();
  } catch (const db::DbError&) {
    return std::nullopt;
  }
}

// A number cell as sorting compares it: nullopt for an empty cell, which sorts before any number.
std::optional<double> CellNumber(std::string_view cell, const Locale& locale) {
  cell = Trim(cell);
  if (cell.empty()) return std::nullopt;
  if (cell.ends_with('%')) cell.remove_suffix(1);
  return ToCurrency(cell, locale);
}

// The three places are 1, 2 and 3 in some order.
bool IsStacking(const Stacking& stacking) {
  const std::array<int, 3> places = {stacking.used, stacking.lost, stacking.free};
  for (int place = 1; place <= 3; ++place) {
    if (std::count(places.begin(), places.end(), place) != 1) return false;
  }
  return true;
}

// The row for the more recent period of a disk: its size, free space and fullness.
void FillRecentCells(UsageRow& row, std::optional<std::int64_t> size,
                     std::optional<std::int64_t> free, const Locale& locale) {
  row.cells[kSizeColumn] = SizeCell(size.value_or(0), locale);
  row.cells[kFreeColumn] = SizeCell(free.value_or(0), locale);
  // A drive that reports no more size than free space (a failed query of the node) counts as
  // all but empty rather than dividing by nothing.
  const double free_bytes = static_cast<double>(free.value_or(0));
  double size_bytes = static_cast<double>(size.value_or(0));
  if (size_bytes <= free_bytes) size_bytes = free_bytes + 1;
  row.cells[kFullColumn] =
      RightJustify(FormatNumber(1 - free_bytes / size_bytes, "#,##0%", locale));
}

}  // namespace

// ---- Disk usage: the list --------------------------------------------------------------------

std::array<ListColumn, 5> UsageColumns() {
  return {ListColumn{"Name", "name"}, ListColumn{"Change MB", "change"},
          ListColumn{"%Full", "pfull"}, ListColumn{"Free MB", "diskfree"},
          ListColumn{"Size MB", "disksize"}};
}

std::array<int, 5> UsageColumnWidths(int list_width, bool first_layout) {
  const int w = std::max(0, (list_width - (first_layout ? 2121 : 1818)) / 6);
  return {2 * w, w, w, w, w};
}

std::string UsageQuery(DateTime period1, DateTime period2) {
  return std::string("select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks") + " where " +
         " (pdate=#" + SqlDateText(period1, kSqlPeriodPattern) + "#" + " or pdate=#" +
         SqlDateText(period2, kSqlPeriodPattern) + "#)" + " order by DiskParent, Disk, pdate desc;";
}

std::vector<UsageRow> MakeUsageL(db::Database& database, std::string_view period1_text,
                                 std::string_view period2_text, const Locale& locale,
                                 const std::function<void(const std::string& message)>& report) {
  auto fail = [&report](std::string_view step, const std::string& description) {
    if (report) report("Error in fduMakeL/" + std::string(step) + ": " + description);
  };
  std::vector<UsageRow> rows;
  const std::optional<DateTime> period1 = ParsePeriodText(period1_text, locale);
  const std::optional<DateTime> period2 = ParsePeriodText(period2_text, locale);
  if (!period1 || !period2) {
    fail("sql", "Type mismatch");
    return rows;
  }
  std::unique_ptr<db::Recordset> result;
  try {
    result = database.OpenRecordset(UsageQuery(*period1, *period2), db::RecordsetType::kSnapshot);
  } catch (const db::DbError& error) {
    fail("sql", error.Description());
    return rows;
  }

  const bool same_period = period1_text == period2_text;
  std::unordered_map<std::string, std::size_t> listed;
  try {
    for (; !result->Eof(); result->MoveNext()) {
      const std::string path =
          result->Field("DiskParent").TextOr() + "\\" + result->Field("Disk").TextOr();
      const std::string key = LowerCase(path);
      const std::optional<std::int64_t> free = Bytes(result->Field("DiskFree"));
      auto [at, added] = listed.try_emplace(key, rows.size());
      if (added) {
        // The more recent period comes first.
        UsageRow row{key, path.substr(std::min<std::size_t>(2, path.size())), path, {}};
        row.cells[kNameColumn] = row.text;
        FillRecentCells(row, Bytes(result->Field("DiskSize")), free, locale);
        rows.push_back(std::move(row));
      } else {
        // The older period: how much less is free now, against the whole megabytes shown.
        UsageRow& row = rows[at->second];
        const double change =
            MegabytesExact(free.value_or(0)) - ToCurrency(row.cells[kFreeColumn], locale);
        row.cells[kChangeColumn] = RightJustify(FormatNumber(change, kWholeFormat, locale));
      }
      if (same_period) rows[at->second].cells[kChangeColumn] = RightJustify("0");
    }
  } catch (const std::exception& error) {
    fail("whilebegin", error.what());
  }
  try {
    result->Close();
  } catch (const db::DbError& error) {
    fail("endloop", error.Description());
  }
  return rows;
}

UsageSort UsageSortAfterHeaderClick(UsageSort current, int clicked) {
  if (clicked == current.column) {
    current.order =
        current.order == SortOrder::kAscending ? SortOrder::kDescending : SortOrder::kAscending;
    return current;
  }
  // Names from A; numbers biggest first.
  return UsageSort{clicked,
                   clicked == kNameColumn ? SortOrder::kAscending : SortOrder::kDescending};
}

void SortUsageRows(std::vector<UsageRow>& rows, UsageSort sort, const Locale& locale) {
  if (sort.column < kNameColumn || sort.column > kSizeColumn) return;
  const auto column = static_cast<std::size_t>(sort.column);
  // Padded text would order "-5" above "3", so the number columns compare numbers.
  auto before = [&](const UsageRow& a, const UsageRow& b) {
    if (column == kNameColumn) return LowerCase(a.cells[column]) < LowerCase(b.cells[column]);
    return CellNumber(a.cells[column], locale) < CellNumber(b.cells[column], locale);
  };
  std::stable_sort(rows.begin(), rows.end(), [&](const UsageRow& a, const UsageRow& b) {
    return sort.order == SortOrder::kAscending ? before(a, b) : before(b, a);
  });
}

PrintableList PrintableUsageList(const std::vector<UsageRow>& rows,
                                 const std::map<std::string, Picture, std::less<>>& pies) {
  PrintableList list;
  for (const ListColumn& column : UsageColumns()) {
    list.columns.push_back(PrintableColumn{
        column.key, column.key == "name" ? CellAlignment::kLeft : CellAlignment::kRight});
  }
  for (const UsageRow& row : rows) {
    const auto pie = pies.find(row.key);
    list.rows.push_back(PrintableRow{std::vector<std::string>(row.cells.begin(), row.cells.end()),
                                     pie == pies.end() ? nullptr : &pie->second});
  }
  return list;
}

// ---- Disk usage: the pies --------------------------------------------------------------------

Pie MakePie(double size, double free, double change) {
  constexpr double kTurn = 2 * kPi;
  constexpr double kFreeStart = 0.001;
  constexpr double kSmallest = 0.02;
  if (size <= free) size = free + 1;
  Pie pie;
  const double f = std::max(kTurn * free / size, kSmallest);
  pie.free = Sector{kFreeStart, f};
  const double c = kTurn * change / size;
  if (std::abs(c) > kSmallest) {
    // Only a drive whose size changed between the periods can reach past its own part of the
    // disc; such a sector stops at the edge rather than wrapping over the free sector.
    if (c > 0) {
      pie.change_kind = ChangeKind::kRecentlyUsed;
      pie.change = Sector{f, std::min(f + c, kFreeStart + kTurn)};
    } else {
      pie.change_kind = ChangeKind::kRecentlyFreed;
      pie.change = Sector{std::max(f + c, kFreeStart), f};
    }
  }
  return pie;
}

Pie PieOfRow(const UsageRow& row, const Locale& locale) {
  return MakePie(ToCurrency(row.cells[kSizeColumn], locale),
                 ToCurrency(row.cells[kFreeColumn], locale),
                 ToCurrency(row.cells[kChangeColumn], locale));
}

Colours LoadColours(const Settings& settings) {
  Colours colours = kDefaultColours;
  for (std::size_t slot = 0; slot < colours.size(); ++slot) {
    colours[slot] = static_cast<std::uint32_t>(
        ChoiceSetting(settings, kUsageSection, "Colour" + std::to_string(slot),
                      static_cast<int>(kDefaultColours[slot]), 0x1000000));
  }
  return colours;
}

void SaveColour(Settings& settings, int slot, std::uint32_t colour) {
  settings.Set(kUsageSection, "Colour" + std::to_string(slot), std::to_string(colour));
}

// ---- Disk graph: the list --------------------------------------------------------------------

std::array<ListColumn, 5> GraphColumns() {
  return {ListColumn{"Period", "date"}, ListColumn{"Disk Size", "disksize"},
          ListColumn{"Dir Size", "brontal"}, ListColumn{"Free", "diskfree"},
          ListColumn{"", "sdate"}};
}

std::array<int, 5> GraphColumnWidths(int list_width) {
  const int w = std::max(0, (list_width - 1515) / 5);
  return {2 * w, w, w, w, 0};
}

std::optional<std::string> GraphSkipClause(std::string_view skip_text, const Settings& settings) {
  return graph::SkipClause(skip_text, settings, "disks.pdate");
}

std::string GraphQuery(std::string_view key, DateTime range_end, DateTime range_start,
                       std::string_view skip_clause) {
  // A key without "\" names no stored drive; the empty parent finds none.
  const std::string parent =
      SqlText(key.find('\\') == std::string_view::npos ? "" : ParentPath(key));
  const std::string name = SqlText(LastPathPart(key));
  return std::string(
             "select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
             "Dirs.Brontal, Disks.pdate ") +
         " from Dirs, Disks " + " where  " + "   Disks.DiskParent=\"" + parent +
         "\" and Dirs.DirParent=\"" + parent + "\" " + "   and Disks.Disk=\"" + name +
         "\" and Dirs.dir=\"" + name + "\"" + "   and Dirs.pdate<=#" +
         SqlDateText(range_end, kSqlPeriodPattern) + "#" + "   and Dirs.pdate>=#" +
         SqlDateText(range_start, kSqlPeriodPattern) + "#" + "   and Dirs.Pdate=Disks.pdate " +
         std::string(skip_clause) + " order by Disks.pdate asc;";
}

std::vector<GraphRow> MakeGraphL(db::Database& database, std::string_view key,
                                 std::string_view period1_text, std::string_view period2_text,
                                 std::string_view skip_clause, const Locale& locale) {
  const std::optional<DateTime> range_end = ParsePeriodText(period1_text, locale);
  const std::optional<DateTime> range_start = ParsePeriodText(period2_text, locale);
  if (!range_end || !range_start) throw db::DbError(db::kTypeMismatch, "Type mismatch");

  auto result = database.OpenRecordset(GraphQuery(key, *range_end, *range_start, skip_clause),
                                       db::RecordsetType::kSnapshot);
  std::vector<GraphRow> rows;
  std::unordered_set<std::string> listed;
  for (; !result->Eof(); result->MoveNext()) {
    // The pickers' text shows no seconds, so two times within one minute are one period.
    const DateTime period = result->Field("pdate").AsDate();
    GraphRow row;
    row.cells[kPeriodColumn] = PeriodText(period, locale);
    row.key = "p" + row.cells[kPeriodColumn];
    if (!listed.insert(row.key).second) continue;
    auto size_cell = [&](std::string_view field) {
      const db::Value value = result->Field(field);
      return SizeCell(value.IsNull() ? 0 : value.AsInt64(), locale);
    };
    row.cells[kDiskSizeColumn] = size_cell("DiskSize");
    row.cells[kDirSizeColumn] = size_cell("Brontal");
    row.cells[kDiskFreeColumn] = size_cell("DiskFree");
    row.cells[kSortDateColumn] = "  " + FormatDate(period, kSortDatePattern, locale);
    rows.push_back(std::move(row));
  }
  result->Close();
  return rows;
}

GraphSort GraphSortAfterHeaderClick(GraphSort current, int clicked, std::string_view caption) {
  if (clicked == current.column ||
      (current.column == kSortDateColumn && clicked == kPeriodColumn)) {
    current.order =
        current.order == SortOrder::kAscending ? SortOrder::kDescending : SortOrder::kAscending;
    return current;
  }
  // Sizes are wanted biggest first; dates and free space from the smallest.
  return GraphSort{clicked == kPeriodColumn ? kSortDateColumn : clicked,
                   caption.ends_with("Size") ? SortOrder::kDescending : SortOrder::kAscending};
}

void SortGraphRows(std::vector<GraphRow>& rows, GraphSort sort) {
  graph::SortRowsByText(rows, sort.column, sort.order);
}

PrintableList PrintableGraphList(const std::vector<GraphRow>& rows) {
  PrintableList list;
  list.columns = {PrintableColumn{"date", CellAlignment::kLeft},
                  PrintableColumn{"disksize", CellAlignment::kRight},
                  PrintableColumn{"brontal", CellAlignment::kRight},
                  PrintableColumn{"diskfree", CellAlignment::kRight}};
  for (const GraphRow& row : rows) {
    list.rows.push_back(PrintableRow{{row.cells[kPeriodColumn], row.cells[kDiskSizeColumn],
                                      row.cells[kDirSizeColumn], row.cells[kDiskFreeColumn]},
                                     nullptr});
  }
  return list;
}

// ---- Disk graph: the chart -------------------------------------------------------------------

Stacking Spin(Stacking stacking) {
  return Stacking{stacking.used % 3 + 1, stacking.lost % 3 + 1, stacking.free % 3 + 1};
}

std::array<Area, 3> StackOrder(Stacking stacking) {
  if (!IsStacking(stacking)) stacking = Stacking{};
  std::array<Area, 3> order{};
  order[static_cast<std::size_t>(stacking.used - 1)] = kFileLengths;
  order[static_cast<std::size_t>(stacking.lost - 1)] = kLostSpace;
  order[static_cast<std::size_t>(stacking.free - 1)] = kFreeSpace;
  return order;
}

double LostSpace(double size, double free, double file_lengths) {
  return std::max(0.0, size - free - file_lengths);
}

AreaChart MakeDiskG(const std::vector<GraphRow>& rows, std::string_view title, Stacking stacking,
                    const Locale& locale) {
  AreaChart chart;
  chart.title = std::string(title);
  chart.stack = StackOrder(stacking);
  for (const GraphRow& row : rows) {
    const double size = ToCurrency(row.cells[kDiskSizeColumn], locale);
    const double free = ToCurrency(row.cells[kDiskFreeColumn], locale);
    const double files = ToCurrency(row.cells[kDirSizeColumn], locale);
    const std::string& text = row.cells[kPeriodColumn];
    chart.points.push_back(
        AreaPoint{std::array<double, 3>{files, LostSpace(size, free, files), free},
                  text.substr(0, text.find(' '))});
  }
  // The chart draws no area with fewer than three points.
  if (chart.points.size() < 3) chart.points.resize(3);
  chart.label_step = graph::LabelStep(static_cast<int>(chart.points.size()));
  return chart;
}

// ---- Disk graph: settings and caption --------------------------------------------------------

Stacking LoadStacking(const Settings& settings) {
  auto place = [&settings](std::string_view key) {
    return ChoiceSetting(settings, kGraphSection, key, 0, 4);
  };
  const Stacking stacking{place("SetUsed"), place("SetLost"), place("SetFree")};
  return IsStacking(stacking) ? stacking : Stacking{};
}

bool LoadGrid(const Settings& settings) {
  return ChoiceSetting(settings, kGraphSection, "Grid", 0, 2) == 1;
}

int LoadSplitterLeft(const Settings& settings, int inner_width) {
  return ChoiceSetting(settings, kGraphSection, "picResizerLeft", inner_width / 2,
                       std::numeric_limits<int>::max());
}

void SaveGraphSettings(Settings& settings, Stacking stacking, bool grid,
                       std::optional<int> splitter_left) {
  if (splitter_left) settings.Set(kGraphSection, "picResizerLeft", std::to_string(*splitter_left));
  settings.Set(kGraphSection, "SetFree", std::to_string(stacking.free));
  settings.Set(kGraphSection, "SetUsed", std::to_string(stacking.used));
  settings.Set(kGraphSection, "SetLost", std::to_string(stacking.lost));
  settings.Set(kGraphSection, "Grid", grid ? "1" : "0");
}

std::string GraphTitle(std::string_view key) { return KeyToUnc(key); }

std::string GraphCaption(std::string_view key) { return "Disk Graph - " + GraphTitle(key); }

}  // namespace brontal::disks
