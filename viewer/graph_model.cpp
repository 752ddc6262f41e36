// The size graph window's rows, chart, sorting, toolbar states and caption as plain values.
#include "viewer/graph_model.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "store/format.h"
#include "store/sql_text.h"
#include "store/text.h"
#include "viewer/client.h"
#include "viewer/options.h"
#include "viewer/periods.h"

namespace brontal::graph {
namespace {

constexpr std::string_view kSortDatePattern = "yyyy-mm-dd hh:nn";

// The root in any case: a key "R" would otherwise be titled "All Servers" (its display path is
// "\" too) while its statement looked for a node named "R".
bool IsRoot(std::string_view key) { return key == "r" || key == "R"; }

DateTime CutToMinute(DateTime value) {
  return DateTime::FromSeconds(value.Seconds() - value.Second());
}

// The saved pressed state of a button; `fallback` for anything but "1" and "0".
bool PressedSetting(const Settings& settings, std::string_view key, bool fallback) {
  return ChoiceSetting(settings, kSection, key, fallback ? 1 : 0, 2) == 1;
}

}  // namespace

std::array<ListColumn, 4> Columns() {
  return {ListColumn{"Period", "date"}, ListColumn{"Size MB", "size"},
          ListColumn{"Change MB", "change"}, ListColumn{"", "sdate"}};
}

std::array<int, 4> ColumnWidths(int list_width) {
  const int w = std::max(0, (list_width - 1212) / 4);
  return {2 * w, w, w, 0};
}

std::optional<std::string> SkipClause(std::string_view skip_text, const Settings& settings,
                                      std::string_view date_field) {
  const std::string field(date_field);
  if (skip_text == "All") return "";
  if (skip_text == "Weekly") {
    // With first-day argument 2 the week runs from Monday 1 to Sunday 7; FirstDay counts from
    // Monday 0.
    return " and weekday(" + field +
           ",2)=" + std::to_string(LoadPurgeRules(settings).first_day + 1);
  }
  if (skip_text == "Monthly") return " and day(" + field + ")=1";
  return std::nullopt;
}

std::string Query(std::string_view key, DateTime range_end, DateTime range_start,
                  std::string_view skip_clause) {
  const std::string range = " and pdate<=#" + SqlDateText(range_end, kSqlPeriodPattern) + "#" +
                            " and pdate>=#" + SqlDateText(range_start, kSqlPeriodPattern) + "#" +
                            std::string(skip_clause);
  if (IsRoot(key)) {
    return "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\"" + range +
           " group by pdate order by pdate asc;";
  }
  // A key without "\" names no stored row; the empty parent finds none.
  const std::string parent = key.find('\\') == std::string_view::npos ? "" : ParentPath(key);
  return "select Brontal as Brontals, pdate from Dirs where DirParent=\"" + SqlText(parent) +
         "\" and dir=\"" + SqlText(LastPathPart(key)) + "\"" + range + " order by pdate asc;";
}

std::vector<Row> MakeL(db::Database& database, std::string_view key, std::string_view period1_text,
                       std::string_view period2_text, std::string_view skip_clause,
                       const Locale& locale) {
  const std::optional<DateTime> range_end = ParsePeriodText(period1_text, locale);
  const std::optional<DateTime> range_start = ParsePeriodText(period2_text, locale);
  if (!range_end || !range_start) throw db::DbError(db::kTypeMismatch, "Type mismatch");

  auto result = database.OpenRecordset(Query(key, *range_end, *range_start, skip_clause),
                                       db::RecordsetType::kSnapshot);
  std::vector<Row> rows;
  std::unordered_set<std::string> listed;
  // The first row's change is only the rounding of its own size.
  std::optional<double> previous;
  for (; !result->Eof(); result->MoveNext()) {
    const db::Value size = result->Field("Brontals");
    // A size that was never recorded has nothing to show or to compare with.
    if (size.IsNull()) continue;
    const std::int64_t bytes = size.AsInt64();
    const DateTime period = CutToMinute(result->Field("pdate").AsDate());
    Row row;
    row.cells[kPeriodColumn] = PeriodText(period, locale);
    row.key = "p" + row.cells[kPeriodColumn];
    // A node scanned twice within one period has two rows; the first one stands.
    if (!listed.insert(row.key).second) continue;

    const double exact = MegabytesExact(bytes);
    const double change = static_cast<double>(ToMegabytes(bytes)) - previous.value_or(exact);
    row.cells[kSizeColumn] = SizeCell(bytes, locale);
    row.cells[kChangeColumn] = RightJustify(FormatNumber(change, kChangeFormat, locale));
    row.cells[kSortDateColumn] = "  " + FormatDate(period, kSortDatePattern, locale);
    rows.push_back(std::move(row));
    previous = exact;
  }
  result->Close();
  return rows;
}

Sort SortAfterHeaderClick(Sort current, int clicked, std::string_view caption) {
  if (clicked == current.column ||
      (current.column == kSortDateColumn && clicked == kPeriodColumn)) {
    current.order =
        current.order == SortOrder::kAscending ? SortOrder::kDescending : SortOrder::kAscending;
    return current;
  }
  // Numbers are wanted biggest first; dates from the oldest.
  const bool numeric = caption.starts_with("Change") || caption.starts_with("Size");
  return Sort{clicked == kPeriodColumn ? kSortDateColumn : clicked,
              numeric ? SortOrder::kDescending : SortOrder::kAscending};
}

void SortRows(std::vector<Row>& rows, Sort sort) { SortRowsByText(rows, sort.column, sort.order); }

PrintableList PrintableGraphList(const std::vector<Row>& rows) {
  PrintableList list;
  list.columns = {PrintableColumn{"date", CellAlignment::kLeft},
                  PrintableColumn{"size", CellAlignment::kRight},
                  PrintableColumn{"change", CellAlignment::kRight}};
  for (const Row& row : rows) {
    list.rows.push_back(PrintableRow{
        {row.cells[kPeriodColumn], row.cells[kSizeColumn], row.cells[kChangeColumn]}, nullptr});
  }
  return list;
}

int LabelStep(int points) {
  return static_cast<int>(std::lround(static_cast<double>(points) / 5.0 + 1.0));
}

Chart MakeG(const std::vector<Row>& rows, GraphColumn column, std::string_view title,
            const Locale& locale) {
  Chart chart;
  chart.title = std::string(title);
  const auto cell =
      static_cast<std::size_t>(column == GraphColumn::kSize ? kSizeColumn : kChangeColumn);
  for (const Row& row : rows) {
    const std::string& text = row.cells[kPeriodColumn];
    chart.points.push_back(
        ChartPoint{ToCurrency(row.cells[cell], locale), text.substr(0, text.find(' '))});
  }
  // The chart cannot draw fewer than two points.
  if (chart.points.size() < 2) chart.points.resize(2);
  chart.label_step = LabelStep(static_cast<int>(chart.points.size()));
  return chart;
}

Buttons ButtonsAfterClick(Buttons buttons, std::string_view key) {
  if (key == "bargraph" || key == "lingraph") {
    buttons.bar_graph = key == "bargraph";
    buttons.line_graph = !buttons.bar_graph;
  } else if (key == "sigma" || key == "delta") {
    buttons.sigma = key == "sigma";
    buttons.delta = !buttons.sigma;
  } else if (key == "Grid") {
    buttons.grid = !buttons.grid;
  }
  return buttons;
}

ChartStyle StyleOfButtons(const Buttons& buttons) {
  return ChartStyle{buttons.bar_graph ? ChartType::kBar : ChartType::kLine,
                    buttons.sigma ? GraphColumn::kSize : GraphColumn::kChange, buttons.grid};
}

GridLines GridLinesOf(const ChartStyle& style) {
  if (!style.grid_checked) return GridLines::kNone;
  return style.type == ChartType::kBar ? GridLines::kHorizontal : GridLines::kBoth;
}

Buttons LoadButtons(const Settings& settings) {
  Buttons buttons;
  // Each group shows what the chart does: its first button decides, the other follows.
  buttons.bar_graph = PressedSetting(settings, "BarGraph", true);
  buttons.line_graph = !buttons.bar_graph;
  buttons.sigma = PressedSetting(settings, "Sigma", true);
  buttons.delta = !buttons.sigma;
  buttons.grid = PressedSetting(settings, "Grid", false);
  return buttons;
}

int LoadSplitterLeft(const Settings& settings, int inner_width) {
  return ChoiceSetting(settings, kSection, "picResizerLeft", inner_width / 2,
                       std::numeric_limits<int>::max());
}

void SaveGraphSettings(Settings& settings, const Buttons& buttons,
                       std::optional<int> splitter_left) {
  if (splitter_left) settings.Set(kSection, "picResizerLeft", std::to_string(*splitter_left));
  auto save = [&settings](std::string_view key, bool pressed) {
    settings.Set(kSection, key, pressed ? "1" : "0");
  };
  save("BarGraph", buttons.bar_graph);
  save("LinGraph", buttons.line_graph);
  save("Sigma", buttons.sigma);
  save("Delta", buttons.delta);
  save("Grid", buttons.grid);
}

std::string Title(std::string_view key) {
  std::string title = KeyToUnc(key);
  return title == "\\" ? std::string(kAllServers) : title;
}

std::string Caption(std::string_view key) { return "Graph - " + Title(key); }

}  // namespace brontal::graph
