// The path order of trees, and the comparison and quicksort of list reports. The quicksort keeps
// its exact sequence of swaps, so that entries the comparison cannot tell apart (an unknown sort
// field) come out in the order they always did.
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

// Names compared as their lowercase forms by character code, without making those forms: the
// way the database compares them, so that names equal but for case give 0.
int CompareFolded(std::string_view a, std::string_view b) {
  std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    unsigned char x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int Sign(int value) { return (value > 0) - (value < 0); }

template <typename T>
int CompareValues(const T& a, const T& b) {
  return a == b ? 0 : a < b ? -1 : 1;
}

// The parts of an entry's tree path in order, without joining them: its parent's, then its name.
class PathParts {
 public:
  explicit PathParts(const ReportEntry& entry) : parent_(entry.parent), name_(entry.name) {}

  // Sets `part` to the next part; false after the last.
  bool Next(std::string_view& part) {
    if (pos_ <= parent_.size()) {
      std::size_t end = std::min(parent_.find('\\', pos_), parent_.size());
      part = parent_.substr(pos_, end - pos_);
      pos_ = end + 1;
      return true;
    }
    if (name_done_) return false;
    name_done_ = true;
    part = name_;
    return true;
  }

 private:
  std::string_view parent_;
  std::string_view name_;
  std::size_t pos_ = 0;
  bool name_done_ = false;
};

// The middle of lo..hi: lo + (hi - lo) / 2 with a half rounded to even.
int Middle(int lo, int hi) {
  int span = hi - lo;
  int half = span / 2;
  if (span % 2 != 0 && half % 2 != 0) ++half;
  return lo + half;
}

}  // namespace

int CompareNames(std::string_view a, std::string_view b) {
  int folded = CompareFolded(a, b);
  return folded != 0 ? folded : Sign(a.compare(b));
}

bool TreeOrder(const ReportEntry& a, const ReportEntry& b) {
  PathParts x(a), y(b);
  std::string_view part_a, part_b;
  for (;;) {
    bool more_a = x.Next(part_a), more_b = y.Next(part_b);
    if (!more_a || !more_b) return more_b;  // a place before everything below it
    if (int order = CompareNames(part_a, part_b)) return order < 0;
  }
}

int CompareEntries(const ReportEntry& a, const ReportEntry& b, const SortSettings& sort) {
  int result = 0;
  switch (sort.field) {
    case kSortByName:
      result = CompareFolded(a.name, b.name);
      break;
    case kSortByChange:
      result = CompareValues(std::llabs(a.change), std::llabs(b.change));
      break;
    case kSortBySize1:
      result = CompareValues(a.size1, b.size1);
      break;
    case kSortBySize2:
      result = CompareValues(a.size2, b.size2);
      break;
    case kSortByParent:
      result = CompareValues(a.parent, b.parent);
      break;
    default:
      return 0;
  }
  if (result != 0) return sort.order == 1 ? -result : result;
  // Ties come in ascending name order either way; names equal but for case each keep a place of
  // their own, where quicksort would otherwise put them wherever its swaps leave them.
  return CompareNames(a.name, b.name);
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
