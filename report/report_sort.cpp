// The comparison and quicksort of list reports. The quicksort keeps its exact sequence of swaps,
// so that entries whose names differ only in case come out in the order they always did.
#include "report/report_sort.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace brontal {
namespace {

unsigned char Fold(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte - 'A' + 'a') : byte;
}

// Names compared as their lowercase forms by character code, without making those forms.
int CompareNames(const std::string& a, const std::string& b) {
  std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <typename T>
int CompareValues(const T& a, const T& b) {
  return a < b ? -1 : 1;
}

// The middle of lo..hi: lo + (hi - lo) / 2 with a half rounded to even.
int Middle(int lo, int hi) {
  int span = hi - lo;
  int half = span / 2;
  if (span % 2 != 0 && half % 2 != 0) ++half;
  return lo + half;
}

}  // namespace

int CompareEntries(const ReportEntry& a, const ReportEntry& b, const SortSettings& sort) {
  bool descending = sort.order == 1;
  auto tie_break = [&] {
    int names = CompareNames(a.name, b.name);
    return descending ? -names : names;
  };
  int result = 0;
  switch (sort.field) {
    case kSortByName:
      result = CompareNames(a.name, b.name);
      break;
    case kSortByChange: {
      std::int64_t x = std::llabs(a.change), y = std::llabs(b.change);
      result = x == y ? tie_break() : CompareValues(x, y);
      break;
    }
    case kSortBySize1:
      result = a.size1 == b.size1 ? tie_break() : CompareValues(a.size1, b.size1);
      break;
    case kSortBySize2:
      result = a.size2 == b.size2 ? tie_break() : CompareValues(a.size2, b.size2);
      break;
    case kSortByParent:
      result = a.parent == b.parent ? tie_break() : CompareValues(a.parent, b.parent);
      break;
    default:
      return 0;
  }
  return descending ? -result : result;
}

void QuickSort(std::vector<ReportEntry>& entries, int lo, int hi, const SortSettings& sort) {
  // The smaller part is sorted by recursion and the larger by the loop, in the same order as
  // two recursive calls would, so the stack stays shallow on any input.
  while (lo < hi) {
    if (hi - lo == 1) {
      if (CompareEntries(entries[lo], entries[hi], sort) > 0) std::swap(entries[lo], entries[hi]);
      return;
    }
    std::swap(entries[Middle(lo, hi)], entries[hi]);
    const ReportEntry pivot = entries[hi];
    int i = lo, j = hi;
    do {
      while (i < j && CompareEntries(entries[i], pivot, sort) <= 0) ++i;
      while (i < j && CompareEntries(entries[j], pivot, sort) >= 0) --j;
      if (i < j) std::swap(entries[i], entries[j]);
    } while (i < j);
    std::swap(entries[i], entries[hi]);
    if (i - lo < hi - i) {
      QuickSort(entries, lo, i - 1, sort);
      lo = i + 1;
    } else {
      QuickSort(entries, i + 1, hi, sort);
      hi = i - 1;
    }
  }
}

}  // namespace brontal
