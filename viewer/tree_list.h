// What the main window shows, computed without widgets: the tree of every parent present in
// either of two periods, and the list of a place's children with their sizes in both periods
// and the change between them.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/locale.h"

namespace brontal {

// The number format of the change column.
inline constexpr std::string_view kChangeFormat = "#,##0 ;#,##0-";
// The width every number cell is right-justified to.
inline constexpr int kCellWidth = 15;

// The key of the root, shown as "All".
inline constexpr std::string_view kRootKey = "r";
inline constexpr std::string_view kRootText = "All";

// The image keys of a tree item by the number of "\" in its key: "masterroot" for 0, "cclosed"
// or "copen" for 1 (a node), "dclosed"/"dopen" for 2 (a drive), "fclosed"/"fopen" for more.
std::string ImageKey(int backslashes, bool open);
// "c", "d" or "f" by the key's shape (exactly one "\", exactly two, otherwise), then state.
std::string IconKey(std::string_view key, std::string_view state);

// One tree item below the root.
struct TreeItem {
  std::string key;         // the stored path lower-cased: "r\server1\c:"
  std::string text;        // its last component in stored case: "C:"
  std::string path;        // the stored path in stored case, for the shell: "R\SERVER1\C:"
  std::string parent_key;  // where it hangs: "r\server1"
  int backslashes = 0;     // 1 node, 2 drive, 3 or more directory
};

// How the viewer's queries write a period between "#" marks (SqlDateText).
inline constexpr std::string_view kSqlPeriodPattern = "m/d/yy h:m:s";

// The tree query for two periods, each written with SqlDateText kSqlPeriodPattern.
std::string TreeQuery(DateTime period1, DateTime period2);

// The items of the tree in query order, so that every parent comes before its children. A path
// whose parent is not among the rows hangs under its nearest ancestor that is (the root at
// least), so that nothing recorded is hidden; a path whose key is taken already is left out.
// Throws db::DbError.
std::vector<TreeItem> TreeAllParents(db::Database& database, DateTime period1, DateTime period2);

// The list's four columns: caption and key.
struct ListColumn {
  std::string caption;
  std::string key;
};
// "Name"/"name", "Change MB"/"change", "Size MB (P1)"/P1 text + "p", "Size MB (P2)"/P2 text +
// "p", with "2" appended to the last key when both texts are the same.
std::array<ListColumn, 4> ListColumns(std::string_view period1_text, std::string_view period2_text);

// One row of the list: a child of the listed place.
struct ListRow {
  std::string key;                   // the listed key, "\" and the child's name, lower-cased
  std::string icon;                  // IconKey(key, "closed")
  std::array<std::string, 4> cells;  // name, change, size in P1, size in P2 ("" when absent)
};

// The list query for a place and two periods.
std::string ListQuery(std::string_view key, DateTime period1, DateTime period2);

// `text` with blanks in front up to kCellWidth characters.
std::string RightJustify(std::string_view text);
// A size cell: the bytes as whole megabytes, "#,##0", right-justified.
std::string SizeCell(std::int64_t bytes, const Locale& locale);
// A change cell from the two size cells (an empty cell counts as 0), kChangeFormat,
// right-justified.
std::string ChangeCell(std::string_view size1_cell, std::string_view size2_cell,
                       const Locale& locale);

// The children of `key` with their sizes in the two periods (the pickers' texts, which may be the
// same) and the change, one row per exact name: names that differ only in case (Data and data)
// keep their own rows and sizes, though their keys are the same. Ordered by name as the list
// sorts it (ListRowBefore). `progress` is told the row counter as the
// status bar shows it: every 100 query rows, and at the end. A period text that ParsePeriodText
// cannot read throws db::DbError kTypeMismatch; the database's errors are thrown as they come.
std::vector<ListRow> MakeL(db::Database& database, std::string_view key,
                           std::string_view period1_text, std::string_view period2_text,
                           const Locale& locale,
                           const std::function<void(int counter)>& progress = {});

// Sorting: rows ordered by the text of one column, case ignored.
enum class SortOrder { kAscending = 0, kDescending = 1 };
struct ListSort {
  int column = 1;
  SortOrder order = SortOrder::kDescending;
  friend bool operator==(const ListSort&, const ListSort&) = default;
};
// The sort after a click on a column header: the same column flips its order; another column
// becomes the sort column, descending when its caption begins with "Change" or "Size",
// ascending otherwise.
ListSort SortAfterHeaderClick(ListSort current, int clicked, std::string_view caption);
// Whether row a comes before row b under sort: the column's texts compared without regard to
// case, and texts that differ only in case by their exact bytes; false for a column outside 0
// to 3.
bool ListRowBefore(const ListRow& a, const ListRow& b, ListSort sort);

// Layout rules, in twips. The splitter's left edge must lie strictly between 300 and the inner
// width less 300; each list column gets (W - 303 x (columns + 1)) / columns of the list's width W,
// never less than 0 (0 for no columns).
inline constexpr int kTwipsPerPixel = 15;
bool SplitterAccepts(int left, int inner_width);
int ListColumnWidth(int list_width, int columns);

}  // namespace brontal
