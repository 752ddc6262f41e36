// The rows of a report and the orders they come in: the path order of a tree and the chosen
// order of a list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brontal {

// One directory of a report, or its total.
struct ReportEntry {
  std::string name;    // the directory name; "Total" for the total
  std::string parent;  // the parent's tree path as stored
  // Bytes while reading, whole megabytes once the change is worked out; -1 when the period has
  // no row for the directory.
  std::int64_t size1 = -1;
  std::int64_t size2 = -1;
  std::int64_t change = 0;  // size1 - size2 in whole megabytes
};

// The sort field codes.
enum SortField : int {
  kSortByName = 0,    // ignoring ASCII case
  kSortByChange = 1,  // absolute value
  kSortBySize1 = 2,
  kSortBySize2 = 3,
  kSortByParent = 4,  // exact
};

// A sort field code and an order code, 1 for descending and anything else ascending.
struct SortSettings {
  int field = kSortByName;
  int order = 0;
};

// -1, 0 or 1 as name `a` goes before, with or after `b`: by their lowercase forms (ASCII letters
// folded, every other byte by its code), and names equal but for case ("Data", "data") by their
// exact bytes, so that each keeps a place of its own. 0 only for identical names.
int CompareNames(std::string_view a, std::string_view b);

// True when `a` goes before `b` in a tree: their tree paths (parent, then name) compared part by
// part with CompareNames, so that every directory is followed directly by its whole subtree, and
// "Data" with its subtree comes before "data" with its own.
bool TreeOrder(const ReportEntry& a, const ReportEntry& b);

// -1, 0 or 1 as `a` goes before, with or after `b` in a list. Equal keys, and names equal but
// for case when sorting by name, fall back on CompareNames in ascending order whichever the
// order; an unknown field compares everything equal.
int CompareEntries(const ReportEntry& a, const ReportEntry& b, const SortSettings& sort);

// Sorts entries[lo..hi] (inclusive) by CompareEntries with a quicksort whose pivot is the middle
// entry.
void QuickSort(std::vector<ReportEntry>& entries, int lo, int hi, const SortSettings& sort);

}  // namespace brontal
