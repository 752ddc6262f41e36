// The rows of a report and the order a list report puts them in.
#pragma once

#include <cstdint>
#include <string>
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

// -1, 0 or 1 as `a` goes before, with or after `b`. Equal keys fall back on the names in
// ascending order whichever the order; an unknown field compares everything equal.
int CompareEntries(const ReportEntry& a, const ReportEntry& b, const SortSettings& sort);

// Sorts entries[lo..hi] (inclusive) by CompareEntries with a quicksort whose pivot is the middle
// entry. Names equal but for case keep no particular order.
void QuickSort(std::vector<ReportEntry>& entries, int lo, int hi, const SortSettings& sort);

}  // namespace brontal
