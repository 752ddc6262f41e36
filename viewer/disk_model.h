// The disk windows without their widgets. The disk usage window: every disk of every node
// compared between two periods, with the fullness and the pie of each. The disk graph window: one
// drive's size, file lengths and free space over a range of periods, stacked as areas.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/locale.h"
#include "platform/picture.h"
#include "platform/settings.h"
#include "viewer/print_list.h"
#include "viewer/tree_list.h"

namespace brontal::disks {

// The settings sections of the two windows.
inline constexpr std::string_view kUsageSection = "frmDiskUsage";
inline constexpr std::string_view kGraphSection = "frmDiskGraph";
// The title of the printed disk list.
inline constexpr std::string_view kAllDisks = "All Disks";

// ---- Disk usage: the list --------------------------------------------------------------------

// The list's columns by index.
inline constexpr int kNameColumn = 0;
inline constexpr int kChangeColumn = 1;
inline constexpr int kFullColumn = 2;
inline constexpr int kFreeColumn = 3;
inline constexpr int kSizeColumn = 4;

// "Name"/"name", "Change MB"/"change", "%Full"/"pfull", "Free MB"/"diskfree", "Size MB"/"disksize".
std::array<ListColumn, 5> UsageColumns();

// The column widths in twips for a list `list_width` wide: 2w, w, w, w, w with
// w = (list_width - 2121) / 6 when the window is first laid out and (list_width - 1818) / 6 on
// every later resize, never below 0.
std::array<int, 5> UsageColumnWidths(int list_width, bool first_layout);

// The statement of every disk row of the two periods (each written with SqlDateText
// kSqlPeriodPattern), the more recent row of each disk first.
std::string UsageQuery(DateTime period1, DateTime period2);

// One list row: one disk of one node.
struct UsageRow {
  std::string key;   // DiskParent "\" Disk lower-cased: r\server1\c:
  std::string text;  // the same in stored case without "R\": SERVER1\C:
  std::string path;  // DiskParent "\" Disk in stored case, for Open and Explore: R\SERVER1\C:
  // Name (the text), change, "%Full", free and size, each number right-justified to 15
  // characters. The change is empty for a disk recorded in only one of the periods.
  std::array<std::string, 5> cells;
  friend bool operator==(const UsageRow&, const UsageRow&) = default;
};

// The rows of every disk between the pickers' texts ("dd-mmm-yyyy hh:mm"; the same text twice
// compares a period with itself), in query order. For each disk the more recent period gives
// "Free MB" and "Size MB" (whole megabytes, "#,##0", a missing value "0") and "%Full"
// (1 - free / size, "#,##0%", with a size not larger than the free space counting as one byte
// more than it; a missing size or free space counts 0, so a disk with neither shows 100%); the
// older one gives "Change MB": its free space in megabytes (unrounded, missing counts 0) less
// the whole megabytes of "Free MB", "#,##0", so that a positive change means more space used.
// "0" for every disk when both texts are the same.
// Errors never throw: each is passed to `report` as "Error in fduMakeL/<step>: <description>" and
// the build goes on where it can. A period text that cannot be read, or a statement that fails,
// is step "sql" and gives no rows; a failure while reading rows is step "whilebegin" and keeps
// the rows read so far; a failure closing the result is step "endloop".
std::vector<UsageRow> MakeUsageL(db::Database& database, std::string_view period1_text,
                                 std::string_view period2_text, const Locale& locale,
                                 const std::function<void(const std::string& message)>& report);

// Sorting by one column (0-based).
struct UsageSort {
  int column = kNameColumn;
  SortOrder order = SortOrder::kAscending;
  friend bool operator==(const UsageSort&, const UsageSort&) = default;
};
// The sort after a click on column `clicked` (0-based): the sort column reverses its order;
// another column becomes the sort column, ascending for "Name" and descending for the others.
UsageSort UsageSortAfterHeaderClick(UsageSort current, int clicked);
// Puts rows in the order of sort, equal rows as they were. "Name" compares text without regard
// to case; the number columns compare the numbers (read with ToCurrency, "%" dropped), an
// empty cell (the change of a disk in one period only) counting as less than any number. A
// column outside 0 to 4 leaves the rows as they are.
void SortUsageRows(std::vector<UsageRow>& rows, UsageSort sort, const Locale& locale);

// The list as PrintList takes it, printed with icons: the five columns keyed as the list keys
// them, Name left and the numbers right, each row with the picture of its key in `pies` (none
// when missing there). The list points into `pies`, which must outlive it.
PrintableList PrintableUsageList(const std::vector<UsageRow>& rows,
                                 const std::map<std::string, Picture, std::less<>>& pies);

// ---- Disk usage: the pies --------------------------------------------------------------------

// The pie's size in pixels, its centre and radius.
inline constexpr int kPieSize = 32;
inline constexpr double kPieCentre = 15;
inline constexpr double kPieRadius = 15;
// The value of pi the pie's angles are computed with.
inline constexpr double kPi = 3.14159;

// A slice from `start` to `end`, radians counterclockwise from 3 o'clock, start <= end.
struct Sector {
  double start = 0;
  double end = 0;
  friend bool operator==(const Sector&, const Sector&) = default;
};

enum class ChangeKind { kNone, kRecentlyUsed, kRecentlyFreed };

// What a pie shows over its full disc of used space.
struct Pie {
  Sector free;  // from 0.001 to the free angle, at least 0.02
  ChangeKind change_kind = ChangeKind::kNone;
  Sector change;  // when change_kind is not kNone
  friend bool operator==(const Pie&, const Pie&) = default;
};

// The pie of a disk (megabytes, any unit that is the same for all three): a size not larger than
// free counts as free + 1; the free angle f = 2 pi free / size, at least 0.02; the change angle
// c = 2 pi change / size, drawn only when |c| > 0.02: more used from f to f + c, freed from
// f - |c| to f. A change sector never leaves its part of the disc: more used ends at the start of
// the free sector one turn on, freed begins no earlier than the free sector.
Pie MakePie(double size, double free, double change);

// The pie's inputs as a row's cells give them: size, free and change read back with ToCurrency
// (an empty cell counts 0).
Pie PieOfRow(const UsageRow& row, const Locale& locale);

// The five colours of the pies, each 0x00BBGGRR as the settings store them.
enum ColourSlot : int {
  kUsedColour = 0,
  kFreeColour = 1,
  kRecentlyUsedColour = 2,
  kRecentlyFreedColour = 3,
  kOutlineColour = 4,
};
using Colours = std::array<std::uint32_t, 5>;
// Red, blue, magenta, cyan and yellow.
inline constexpr Colours kDefaultColours = {255, 16711680, 16711935, 16776960, 65535};
// The legend's labels, by slot.
inline constexpr std::array<std::string_view, 5> kColourLabels = {"Used", "Free", "Recently used",
                                                                  "Recently freed", "Outline"};

// "Colour0" to "Colour4" of kUsageSection; a missing value, or one that is no whole number from
// 0 to 0xFFFFFF, gives the slot's default.
Colours LoadColours(const Settings& settings);
// Writes "Colour" + slot as a decimal number.
void SaveColour(Settings& settings, int slot, std::uint32_t colour);

// ---- Disk graph: the list --------------------------------------------------------------------

inline constexpr int kPeriodColumn = 0;
inline constexpr int kDiskSizeColumn = 1;
inline constexpr int kDirSizeColumn = 2;
inline constexpr int kDiskFreeColumn = 3;
inline constexpr int kSortDateColumn = 4;

// "Period"/"date", "Disk Size"/"disksize", "Dir Size"/"brontal", "Free"/"diskfree", ""/"sdate".
std::array<ListColumn, 5> GraphColumns();
// 2w, w, w, w and 0 (hidden) twips, w = (list_width - 1515) / 5, never below 0.
std::array<int, 5> GraphColumnWidths(int list_width);

// The thinning clause for a cmbSkip text, naming the Disks table: "" for "All",
// " and weekday(disks.pdate,2)=" and Archiving/FirstDay + 1 for "Weekly",
// " and day(disks.pdate)=1" for "Monthly"; nullopt for any other text.
std::optional<std::string> GraphSkipClause(std::string_view skip_text, const Settings& settings);

// The statement pairing, per period from range_start (p2) to range_end (p1), the Disks row of the
// drive of `key` (r\server1\c:, any case) with the drive's own Dirs row, thinned by skip_clause,
// oldest first. The names are quoted with SqlText.
std::string GraphQuery(std::string_view key, DateTime range_end, DateTime range_start,
                       std::string_view skip_clause);

// One list row: one period of the drive.
struct GraphRow {
  std::string key;  // "p" + the period as "dd-mmm-yyyy hh:mm"
  // The period, the drive size, the file lengths (the drive's Dirs row), the free space, each
  // size whole megabytes "#,##0" right-justified (0 when missing), and "  yyyy-mm-dd hh:mm".
  std::array<std::string, 5> cells;
  friend bool operator==(const GraphRow&, const GraphRow&) = default;
};

// The rows of the drive of `key` between the pickers' texts (period1_text the end, period2_text
// the start), oldest first; a second row for a period already listed is dropped. A period text
// that ParsePeriodText cannot read throws db::DbError kTypeMismatch; the database's errors are
// thrown as they come.
std::vector<GraphRow> MakeGraphL(db::Database& database, std::string_view key,
                                 std::string_view period1_text, std::string_view period2_text,
                                 std::string_view skip_clause, const Locale& locale);

struct GraphSort {
  int column = kSortDateColumn;
  SortOrder order = SortOrder::kAscending;
  friend bool operator==(const GraphSort&, const GraphSort&) = default;
};
// As the size graph's list sorts: the sort column (or "Period" while the hidden date sorts)
// reverses; another column sorts descending when its caption ends in "Size", ascending
// otherwise; "Period" sorts by the hidden date column.
GraphSort GraphSortAfterHeaderClick(GraphSort current, int clicked, std::string_view caption);
// Rows ordered by the exact text of the column, equal rows as they were; a column outside 0 to
// 4 leaves them as they are.
void SortGraphRows(std::vector<GraphRow>& rows, GraphSort sort);

// The list as PrintList takes it: Period left, the three sizes right, no hidden column, no icons.
PrintableList PrintableGraphList(const std::vector<GraphRow>& rows);

// ---- Disk graph: the chart -------------------------------------------------------------------

// The three stacked areas.
enum Area : int { kFileLengths = 0, kLostSpace = 1, kFreeSpace = 2 };
inline constexpr std::array<std::string_view, 3> kAreaLabels = {"Sum of file lengths", "Lost space",
                                                                "Free space"};
// Each area's colour, 0xRRGGBB: purple, yellow, green.
inline constexpr std::array<std::uint32_t, 3> kAreaColours = {0x800080, 0xFFFF00, 0x008000};

// The place of each area in the stack, 1 at the bottom to 3 at the top; the three differ.
struct Stacking {
  int used = 1;  // the sum of file lengths
  int lost = 2;
  int free = 3;
  friend bool operator==(const Stacking&, const Stacking&) = default;
};
// Every area one place up, the top one to the bottom: each place becomes (place mod 3) + 1.
Stacking Spin(Stacking stacking);
// The areas from the bottom of the stack to its top.
std::array<Area, 3> StackOrder(Stacking stacking);

// Drive size less free space less file lengths; 0 when that is negative.
double LostSpace(double size, double free, double file_lengths);

struct AreaPoint {
  // By Area; none for the filler points of a list with fewer than 3 rows.
  std::optional<std::array<double, 3>> values;
  std::string label;  // the period's "dd-mmm-yyyy"; empty for a filler point
  friend bool operator==(const AreaPoint&, const AreaPoint&) = default;
};

struct AreaChart {
  std::string title;
  std::vector<AreaPoint> points;  // one per row in the rows' order, at least 3
  std::array<Area, 3> stack{kFileLengths, kLostSpace, kFreeSpace};  // bottom to top
  int label_step = 1;  // every label_step-th point is labelled
};

// The chart of the rows as the list shows them, in megabytes read back from the cells: file
// lengths, lost space and free space per row, stacked as `stacking` says.
AreaChart MakeDiskG(const std::vector<GraphRow>& rows, std::string_view title, Stacking stacking,
                    const Locale& locale);

// ---- Disk graph: settings and caption --------------------------------------------------------

// "SetUsed", "SetLost" and "SetFree" of kGraphSection; the default order unless the three are
// 1, 2 and 3 in some order.
Stacking LoadStacking(const Settings& settings);
// "Grid", "1" or "0"; false for anything else.
bool LoadGrid(const Settings& settings);
// "picResizerLeft" in twips; half of inner_width when missing or no whole number of 0 or more.
int LoadSplitterLeft(const Settings& settings, int inner_width);
// What closing the window saves: the stacking, "Grid", and "picResizerLeft" unless
// splitter_left is nullopt (a minimized window keeps the position saved before).
void SaveGraphSettings(Settings& settings, Stacking stacking, bool grid,
                       std::optional<int> splitter_left);

// The chart's title: the key's display path (KeyToUnc: r\server1\c: gives \\server1\c$).
std::string GraphTitle(std::string_view key);
// "Disk Graph - " followed by GraphTitle(key).
std::string GraphCaption(std::string_view key);

}  // namespace brontal::disks
