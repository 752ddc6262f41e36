// The size graph window without its widgets: the query and list rows of one place's size over a
// range of periods, the chart made from those rows, the list's sorting and layout rules, the
// toolbar's button states with their settings, and the window's caption.
#pragma once

#include <algorithm>
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "viewer/print_list.h"
#include "viewer/tree_list.h"

namespace brontal::graph {

// The settings section of the window (buttons, splitter, placement).
inline constexpr std::string_view kSection = "frmGraph";
// The title of the root "r".
inline constexpr std::string_view kAllServers = "All Servers";
// The items of cmbSkip, in list order; "All" is selected on load.
inline constexpr std::string_view kSkipChoices[] = {"All", "Weekly", "Monthly"};
// The message (no title) for a cmbSkip text that is none of kSkipChoices.
inline constexpr std::string_view kUnknownSkipMessage = "Unknown cmbskip.text value";

// ---- The list -------------------------------------------------------------------------------

// The list's columns by index: the period, its size, the change from the row before, and the
// hidden "  yyyy-mm-dd hh:mm" that sorting by date uses.
inline constexpr int kPeriodColumn = 0;
inline constexpr int kSizeColumn = 1;
inline constexpr int kChangeColumn = 2;
inline constexpr int kSortDateColumn = 3;

// The four columns, caption and key: "Period"/"date", "Size MB"/"size", "Change MB"/"change",
// ""/"sdate".
std::array<ListColumn, 4> Columns();

// The column widths in twips for a list `list_width` wide: 2w, w, w and 0 (hidden), with
// w = (list_width - 1212) / 4, never below 0.
std::array<int, 4> ColumnWidths(int list_width);

// One list row: one recorded period of the place.
struct Row {
  std::string key;                   // "p" + the period as "dd-mmm-yyyy hh:mm"
  std::array<std::string, 4> cells;  // period, size cell, change cell, "  yyyy-mm-dd hh:mm"
  friend bool operator==(const Row&, const Row&) = default;
};

// The thinning clause for a cmbSkip text: "" for "All"; for "Weekly" " and weekday(pdate,2)="
// and Archiving/FirstDay + 1 (Monday 1 to Sunday 7; a FirstDay that is no weekday code counts
// as Monday); " and day(pdate)=1" for "Monthly". nullopt for any other text, which the window
// reports with kUnknownSkipMessage and then lists every period (""). `date_field` is the field
// the clause names in place of pdate, for statements that join tables ("disks.pdate").
std::optional<std::string> SkipClause(std::string_view skip_text, const Settings& settings,
                                      std::string_view date_field = "pdate");

// The statement for `key` from range_start (p2) to range_end (p1), both included, thinned by
// skip_clause, oldest first. The root ("r", in any case) sums the node rows (parent "R") per
// period; any other key (any case) selects its own row in each period. The size comes as field
// "Brontals". Names are quoted with SqlText, so a key holding a double quote stays one name.
std::string Query(std::string_view key, DateTime range_end, DateTime range_start,
                  std::string_view skip_clause);

// The rows of `key` between the pickers' texts (period1_text the end, period2_text the start,
// "dd-mmm-yyyy hh:mm"), oldest first. Each size is whole megabytes, "#,##0", right-justified to
// 15 characters; each change is that whole number less the previous row's unrounded size in
// megabytes (four decimals; the first row against its own), written "#,##0 ;#,##0-" and
// right-justified, so the first row's change shows 0. A second database row for a period
// already listed, and a row without a size, are dropped and do not count as "previous". Empty
// when nothing matches, or
// when the start lies after the end. A period text that ParsePeriodText cannot read throws
// db::DbError kTypeMismatch; the database's errors are thrown as they come.
std::vector<Row> MakeL(db::Database& database, std::string_view key, std::string_view period1_text,
                       std::string_view period2_text, std::string_view skip_clause,
                       const Locale& locale);

// Sorting: rows ordered by the exact text of one column (0-based), which the padding of the
// number cells makes an order by magnitude.
struct Sort {
  int column = kSortDateColumn;
  SortOrder order = SortOrder::kAscending;
  friend bool operator==(const Sort&, const Sort&) = default;
};
// The sort after a click on column `clicked` (0-based) captioned `caption`: clicking the sort
// column, or "Period" while the hidden date column sorts, reverses the order; another column
// sorts descending when its caption begins with "Change" or "Size", ascending otherwise, and
// "Period" sorts by the hidden date column.
Sort SortAfterHeaderClick(Sort current, int clicked, std::string_view caption);
// Puts rows in the order of sort, keeping rows with equal texts as they were; a column outside
// 0 to 3 leaves them as they are.
void SortRows(std::vector<Row>& rows, Sort sort);
// The same for any rows with an array of cells (the disk graph's list sorts the same way).
template <typename CellRow>
void SortRowsByText(std::vector<CellRow>& rows, int column, SortOrder order) {
  if (column < 0 || column >= static_cast<int>(std::tuple_size_v<decltype(CellRow::cells)>)) {
    return;
  }
  const auto at = static_cast<std::size_t>(column);
  std::stable_sort(rows.begin(), rows.end(), [&](const CellRow& a, const CellRow& b) {
    return order == SortOrder::kAscending ? a.cells[at] < b.cells[at] : b.cells[at] < a.cells[at];
  });
}

// The list as PrintList takes it: Period (left), Size and Change (right), in the rows' order;
// the hidden sort column is not printed. No icons.
PrintableList PrintableGraphList(const std::vector<Row>& rows);

// ---- The chart ------------------------------------------------------------------------------

// Which list column feeds the chart.
enum class GraphColumn { kSize = 1, kChange = 2 };
enum class ChartType { kBar, kLine };
enum class GridLines { kNone, kHorizontal, kBoth };

struct ChartPoint {
  std::optional<double> value;  // none for the filler points of a list with fewer than 2 rows
  std::string label;            // the period's "dd-mmm-yyyy"; empty for a filler point
  friend bool operator==(const ChartPoint&, const ChartPoint&) = default;
};

struct Chart {
  std::string title;
  std::vector<ChartPoint> points;  // one per row in the rows' order, at least 2
  int label_step = 1;              // every label_step-th point is labelled
};

// Every n-th point is labelled: n = points / 5 + 1 rounded to the nearest whole number
// (10 points give 3, 12 give 3, 13 give 4).
int LabelStep(int points);

// The chart of the rows as the list shows them: each point's value is the number in the
// column chosen (thousands separators and a trailing minus read back), its label the row's
// text up to its first blank. A list of fewer than 2 rows is filled up with empty points.
Chart MakeG(const std::vector<Row>& rows, GraphColumn column, std::string_view title,
            const Locale& locale);

// ---- Toolbar and settings -------------------------------------------------------------------

// The pressed states of the toolbar's two-state buttons. "bargraph"/"lingraph" and
// "sigma"/"delta" are groups in which exactly one is pressed; "Grid" toggles on its own.
struct Buttons {
  bool bar_graph = true;
  bool line_graph = false;
  bool sigma = true;
  bool delta = false;
  bool grid = false;
  friend bool operator==(const Buttons&, const Buttons&) = default;
};

// The buttons after a click on the button keyed `key` ("bargraph", "lingraph", "sigma",
// "delta", "Grid"): a group's button is pressed and its partner released; "Grid" flips. Any
// other key changes nothing.
Buttons ButtonsAfterClick(Buttons buttons, std::string_view key);

// What the chart shows. Menu items change it without touching the buttons.
struct ChartStyle {
  ChartType type = ChartType::kBar;
  GraphColumn column = GraphColumn::kSize;
  bool grid_checked = false;  // the check mark of mnuGraphGrid
  friend bool operator==(const ChartStyle&, const ChartStyle&) = default;
};

// The style the restored buttons give: bar when "bargraph" is pressed, else line; Size when
// "sigma" is pressed, else Change; the grid checked as "Grid" is pressed.
ChartStyle StyleOfButtons(const Buttons& buttons);

// The grid of the chart: none unless checked; horizontal lines for a bar chart, both for a line.
GridLines GridLinesOf(const ChartStyle& style);

// The buttons saved in section kSection ("BarGraph", "LinGraph", "Sigma", "Delta", "Grid", each
// "1" or "0"; a value that is neither gives its default). Each group is restored from its first
// button, which decides the chart, and the second shows the opposite, so that a group saved
// with both or neither pressed still has exactly one ("lingraph" when "BarGraph" is "0").
Buttons LoadButtons(const Settings& settings);

// The saved splitter position ("picResizerLeft", twips); half of inner_width when it is missing
// or no whole number of 0 or more.
int LoadSplitterLeft(const Settings& settings, int inner_width);

// What closing the window saves under kSection: the buttons as "1"/"0", and "picResizerLeft"
// unless splitter_left is nullopt (a minimized window keeps the position saved before).
void SaveGraphSettings(Settings& settings, const Buttons& buttons,
                       std::optional<int> splitter_left);

// ---- Caption --------------------------------------------------------------------------------

// The chart's title for a key: its display path (KeyToUnc: R\SERVER1\D: gives \\SERVER1\D$),
// kAllServers for the root.
std::string Title(std::string_view key);
// The window caption: "Graph - " followed by Title(key).
std::string Caption(std::string_view key);

}  // namespace brontal::graph
