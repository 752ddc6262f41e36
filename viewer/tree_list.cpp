// The main window's tree and list as plain rows: the queries, the hanging of tree items, the
// size and change cells, and the rules for sorting and laying out the list.
#include "viewer/tree_list.h"

#include <algorithm>
#include <optional>
#include <unordered_set>
#include <variant>

#include "store/format.h"
#include "store/sql_text.h"
#include "store/text.h"
#include "viewer/client.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool FoldedEqual(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return FoldAscii(x) == FoldAscii(y); });
}

// Whether a comes before b as the database orders text: ASCII letters without regard to case,
// bytes unsigned.
bool FoldedBefore(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(FoldAscii(x)) < static_cast<unsigned char>(FoldAscii(y));
  });
}

// FoldedBefore, with texts that differ only in case (Data and data, which Linux keeps side by
// side) in the order of their exact bytes, so that neither order depends on how rows arrived.
bool TextBefore(std::string_view a, std::string_view b) {
  if (FoldedBefore(a, b)) return true;
  if (FoldedBefore(b, a)) return false;
  return a < b;
}

// The nearest ancestor of `key` among the keys already placed; the root at least.
std::string NearestPlacedAncestor(std::string key, const std::unordered_set<std::string>& placed) {
  while (key != kRootKey && !placed.contains(key)) {
    const std::size_t last = key.rfind('\\');
    if (last == std::string::npos) return std::string(kRootKey);
    key.erase(last);
  }
  return key;
}

DateTime CutToMinute(DateTime value) {
  return DateTime::FromSeconds(value.Seconds() - value.Second());
}

// The period of a list row, cut to the minute. The rows alternate between the two periods, so the
// last two stored texts keep their dates rather than being read anew for each row.
class PeriodReader {
 public:
  DateTime Read(const db::Value& stored) {
    for (const Seen& seen : seen_) {
      if (seen.stored == stored && !stored.IsNull()) return seen.period;
    }
    Seen& replaced = seen_[next_];
    next_ = 1 - next_;
    replaced.period = CutToMinute(stored.AsDate());
    replaced.stored = stored;
    return replaced.period;
  }

 private:
  struct Seen {
    db::Value stored;
    DateTime period;
  };
  std::array<Seen, 2> seen_;
  std::size_t next_ = 0;
};

}  // namespace

std::string ImageKey(int backslashes, bool open) {
  const char* state = open ? "open" : "closed";
  if (backslashes <= 0) return "masterroot";
  if (backslashes == 1) return std::string("c") + state;
  if (backslashes == 2) return std::string("d") + state;
  return std::string("f") + state;
}

std::string IconKey(std::string_view key, std::string_view state) {
  const int backslashes = CountOccurrences(key, "\\");
  const char* kind = backslashes == 1 ? "c" : backslashes == 2 ? "d" : "f";
  return kind + std::string(state);
}

std::string TreeQuery(DateTime period1, DateTime period2) {
  return "select distinct Parents.DirParent from Parents where"
         " Parents.pdate=#" +
         SqlDateText(period1, kSqlPeriodPattern) + "#" + " or Parents.pdate=#" +
         SqlDateText(period2, kSqlPeriodPattern) + "#" + " order by Parents.dirparent";
}

std::vector<TreeItem> TreeAllParents(db::Database& database, DateTime period1, DateTime period2) {
  auto parents = database.OpenRecordset(TreeQuery(period1, period2), db::RecordsetType::kSnapshot);
  std::vector<TreeItem> items;
  std::unordered_set<std::string> placed = {std::string(kRootKey)};
  for (; !parents->Eof(); parents->MoveNext()) {
    const db::Value value = parents->Field("dirparent");
    if (value.IsNull()) continue;
    const std::string path = value.AsText();
    TreeItem item;
    item.backslashes = CountOccurrences(path, "\\");
    item.key = LowerCase(path);
    // The root is the viewer's own item, and a key can name only one item.
    if (item.backslashes == 0 || placed.contains(item.key)) continue;
    item.text = LastPathPart(path);
    item.parent_key = NearestPlacedAncestor(ParentPath(item.key), placed);
    item.path = path;
    placed.insert(item.key);
    items.push_back(std::move(item));
  }
  parents->Close();
  return items;
}

std::array<ListColumn, 4> ListColumns(std::string_view period1_text,
                                      std::string_view period2_text) {
  std::string key2 = std::string(period2_text) + "p";
  if (period1_text == period2_text) key2 += "2";
  return {ListColumn{"Name", "name"}, ListColumn{"Change MB", "change"},
          ListColumn{"Size MB (P1)", std::string(period1_text) + "p"},
          ListColumn{"Size MB (P2)", std::move(key2)}};
}

std::string ListQuery(std::string_view key, DateTime period1, DateTime period2) {
  return "select Dir, Brontal, pdate from Dirs"
         " where DirParent=\"" +
         SqlText(key) + "\"" + " and (pdate=#" + SqlDateText(period1, kSqlPeriodPattern) + "#" +
         " or pdate=#" + SqlDateText(period2, kSqlPeriodPattern) + "#)" +
         " order by dir asc, pdate desc;";
}

std::string RightJustify(std::string_view text) {
  const std::size_t length = CharacterCount(text);
  const auto width = static_cast<std::size_t>(kCellWidth);
  std::string cell;
  if (length < width) cell.assign(width - length, ' ');
  cell += text;
  return cell;
}

std::string SizeCell(std::int64_t bytes, const Locale& locale) {
  return RightJustify(FormatNumber(ToMegabytes(bytes), "#,##0", locale));
}

std::string ChangeCell(std::string_view size1_cell, std::string_view size2_cell,
                       const Locale& locale) {
  const double change = ToCurrency(size1_cell, locale) - ToCurrency(size2_cell, locale);
  return RightJustify(FormatNumber(change, kChangeFormat, locale));
}

std::vector<ListRow> MakeL(db::Database& database, std::string_view key,
                           std::string_view period1_text, std::string_view period2_text,
                           const Locale& locale, const std::function<void(int counter)>& progress) {
  const std::optional<DateTime> period1 = ParsePeriodText(period1_text, locale);
  const std::optional<DateTime> period2 = ParsePeriodText(period2_text, locale);
  if (!period1 || !period2) throw db::DbError(db::kTypeMismatch, "Type mismatch");

  auto result =
      database.OpenRecordset(ListQuery(key, *period1, *period2), db::RecordsetType::kSnapshot);
  std::vector<ListRow> rows;
  if (result->Eof() && result->Bof()) {
    result->Close();
    return rows;
  }

  const bool same = period1_text == period2_text;
  // The query's columns by position, which spares a lookup by name for each of its rows.
  constexpr int kDirColumn = 0, kSizeColumn = 1, kPeriodColumn = 2;
  const std::string key_prefix = LowerCase(key) + "\\";
  // The icon of a child whose name holds no backslash, the same for all of them.
  const std::string child_icon = IconKey(key_prefix + "child", "closed");
  // Each row's whole megabytes in the two periods (0 when absent, as its empty cell counts), from
  // which its change is written without reading the size cells back.
  std::vector<std::array<std::int64_t, 2>> megabytes;
  PeriodReader periods;
  int counter = 1;
  for (; !result->Eof(); result->MoveNext()) {
    ++counter;
    if (counter % 100 == 0 && progress) progress(counter / 2);
    // The name is read in place when it is text, as the column's affinity makes it.
    const db::Value dir = result->Field(kDirColumn);
    const std::string* dir_text = std::get_if<std::string>(&dir.data());
    const std::string other_name = dir_text != nullptr ? std::string() : dir.TextOr();
    const std::string& name = dir_text != nullptr ? *dir_text : other_name;
    const db::Value size = result->Field(kSizeColumn);
    const std::int64_t size_megabytes = size.IsNull() ? 0 : ToMegabytes(size.AsInt64());
    const std::string size_text = size.IsNull() ? "" : SizeCell(size.AsInt64(), locale);
    const DateTime period = periods.Read(result->Field(kPeriodColumn));

    // Rows pair by the exact name. The database orders names without regard to case, so a
    // child's periods come together, and those of Data and data (which Linux keeps side by side)
    // interleave among the last rows, whose names differ only in case.
    std::size_t found = rows.size();
    for (std::size_t i = rows.size(); i > 0 && FoldedEqual(rows[i - 1].cells[0], name); --i) {
      if (rows[i - 1].cells[0] == name) {
        found = i - 1;
        break;
      }
    }
    if (found == rows.size()) {
      ListRow row;
      row.key = key_prefix + LowerCase(name);
      row.icon = name.find('\\') == std::string::npos ? child_icon : IconKey(row.key, "closed");
      row.cells[0] = name;
      rows.push_back(std::move(row));
      megabytes.push_back({0, 0});
    }
    ListRow& row = rows[found];
    // The cells are matched by period rather than by the pickers' texts, so that a text in
    // another letter case still finds its column.
    if (period == *period1) {
      row.cells[2] = size_text;
      megabytes[found][0] = size_megabytes;
    }
    if (same) ++counter;
    if (period == *period2) {
      row.cells[3] = size_text;
      megabytes[found][1] = size_megabytes;
    }
  }
  if (progress) progress(counter);
  result->Close();

  // The difference of two whole megabyte counts, far below 2^53, as ChangeCell would read it
  // from the two cells.
  for (std::size_t i = 0; i < rows.size(); ++i) {
    rows[i].cells[1] =
        RightJustify(FormatNumber(megabytes[i][0] - megabytes[i][1], kChangeFormat, locale));
  }
  // The query's order is already by name without regard to case; only names that differ in
  // case alone need putting in order.
  auto by_name = [](const ListRow& a, const ListRow& b) {
    return TextBefore(a.cells[0], b.cells[0]);
  };
  if (!std::is_sorted(rows.begin(), rows.end(), by_name)) {
    std::sort(rows.begin(), rows.end(), by_name);
  }
  return rows;
}

ListSort SortAfterHeaderClick(ListSort current, int clicked, std::string_view caption) {
  if (clicked == current.column) {
    current.order =
        current.order == SortOrder::kAscending ? SortOrder::kDescending : SortOrder::kAscending;
    return current;
  }
  // Numbers are wanted biggest first; names from A.
  const bool numeric = caption.starts_with("Change") || caption.starts_with("Size");
  return ListSort{clicked, numeric ? SortOrder::kDescending : SortOrder::kAscending};
}

bool ListRowBefore(const ListRow& a, const ListRow& b, ListSort sort) {
  if (sort.column < 0 || sort.column >= static_cast<int>(a.cells.size())) return false;
  const auto column = static_cast<std::size_t>(sort.column);
  if (sort.order == SortOrder::kAscending) return TextBefore(a.cells[column], b.cells[column]);
  return TextBefore(b.cells[column], a.cells[column]);
}

bool SplitterAccepts(int left, int inner_width) {
  constexpr int kMargin = 300;
  return left > kMargin && left < inner_width - kMargin;
}

int ListColumnWidth(int list_width, int columns) {
  if (columns <= 0) return 0;
  return std::max(0, (list_width - 303 * (columns + 1)) / columns);
}

}  // namespace brontal
