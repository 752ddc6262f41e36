// The order of reports: names ignoring case, then by their bytes; the path order of trees; each
// sort field of lists, the name tie-break in both directions, and the quicksort over the entries
// between the first and the total.
#include "report/report_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace brontal {
namespace {

ReportEntry E(std::string name, std::int64_t change, std::int64_t size1 = 0, std::int64_t size2 = 0,
              std::string parent = "R\\S") {
  return ReportEntry{std::move(name), std::move(parent), size1, size2, change};
}

// The names of entries[1..] after sorting positions 1 to n - 1, as a list report does.
std::vector<std::string> Sorted(std::vector<ReportEntry> rows, SortSettings sort) {
  std::vector<ReportEntry> entries{ReportEntry{}};
  entries.insert(entries.end(), rows.begin(), rows.end());
  QuickSort(entries, 1, static_cast<int>(entries.size()) - 2, sort);
  std::vector<std::string> names;
  for (std::size_t i = 1; i < entries.size(); ++i) names.push_back(entries[i].name);
  return names;
}

TEST(ReportSortTest, ChangeSortsByMagnitudeWithNamesAscendingOnTiesEitherWay) {
  std::vector<ReportEntry> rows = {E("b", 5),  E("a", -5), E("C", 7),      E("d", 0),
                                   E("e", -9), E("B2", 5), E("Total", 100)};
  EXPECT_EQ(Sorted(rows, {kSortByChange, 1}),
            (std::vector<std::string>{"e", "C", "a", "b", "B2", "d", "Total"}));
  EXPECT_EQ(Sorted(rows, {kSortByChange, 0}),
            (std::vector<std::string>{"d", "a", "b", "B2", "C", "e", "Total"}));
}

TEST(ReportSortTest, CompareFollowsTheFieldAndTheOrder) {
  const SortSettings by_name{kSortByName, 0}, by_name_desc{kSortByName, 1};
  EXPECT_EQ(CompareEntries(E("Apple", 0), E("banana", 0), by_name), -1);
  EXPECT_EQ(CompareEntries(E("Apple", 0), E("banana", 0), by_name_desc), 1);
  // Names equal but for case keep an order of their own: ascending by their bytes either way.
  EXPECT_EQ(CompareEntries(E("USERS", 0), E("users", 0), by_name), -1);
  EXPECT_EQ(CompareEntries(E("USERS", 0), E("users", 0), by_name_desc), -1);
  EXPECT_EQ(CompareEntries(E("users", 0), E("USERS", 0), by_name_desc), 1);
  EXPECT_EQ(CompareEntries(E("users", 0), E("users", 0), by_name_desc), 0);
  EXPECT_EQ(CompareEntries(E("Users", 3), E("users", -3), {kSortByChange, 1}), -1);
  EXPECT_EQ(CompareEntries(E("a_b", 0), E("aZ", 0), by_name), -1);           // "_" before "z"
  EXPECT_EQ(CompareEntries(E("caf\xc3\xa9", 0), E("cafz", 0), by_name), 1);  // by code

  // Sizes compare signed, so a missing size (-1) is the smallest.
  EXPECT_EQ(CompareEntries(E("a", 0, -1), E("b", 0, 0), {kSortBySize1, 0}), -1);
  EXPECT_EQ(CompareEntries(E("a", 0, 0, 9), E("b", 0, 0, 3), {kSortBySize2, 0}), 1);
  for (int field : {kSortByChange, kSortBySize1, kSortBySize2, kSortByParent}) {
    EXPECT_EQ(CompareEntries(E("a", 1), E("b", 1), {field, 0}), -1) << field;
    EXPECT_EQ(CompareEntries(E("a", 1), E("b", 1), {field, 1}), -1) << field;
  }
  // Parents compare exactly: case counts.
  EXPECT_EQ(
      CompareEntries(E("z", 0, 0, 0, "R\\S\\a"), E("a", 0, 0, 0, "R\\S\\B"), {kSortByParent, 0}),
      1);
  EXPECT_EQ(CompareEntries(E("a", 1), E("b", 2), {7, 0}), 0);
  EXPECT_EQ(CompareEntries(E("a", 1), E("b", 2), {kSortByChange, 2}), -1);  // 2 is ascending
}

TEST(ReportSortTest, NamesCompareIgnoringCaseThenByTheirBytes) {
  EXPECT_EQ(CompareNames("apple", "Banana"), -1);
  EXPECT_EQ(CompareNames("DATA", "Data"), -1);
  EXPECT_EQ(CompareNames("data", "Data"), 1);
  EXPECT_EQ(CompareNames("Data", "Data"), 0);
  EXPECT_EQ(CompareNames("data", "Data2"), -1);  // case decides only between equal letters
  // Only ASCII folds: an accented capital is not its small letter.
  const std::string small_e = "\xc3\xa9", capital_e = "\xc3\x89";
  EXPECT_EQ(CompareNames(small_e + "a", capital_e + "b"), 1);
}

TEST(ReportSortTest, TreeOrderFollowsEachDirectoryWithItsOwnSubtree) {
  const std::vector<std::string> expected = {
      "R\\S\\a",          "R\\S\\a\\b",         "R\\S\\a b",     "R\\S\\Data",     "R\\S\\Data\\x",
      "R\\S\\Data\\x\\y", "R\\S\\data",         "R\\S\\data\\a", "R\\S\\Users",    "R\\S\\users",
      "R\\S\\users\\.",   "R\\S\\users\\alice", "R\\S\\users2",  "R\\S\\users2\\x"};
  std::vector<ReportEntry> entries;
  for (const std::string& path : expected) {
    std::size_t last = path.rfind('\\');
    entries.push_back(E(path.substr(last + 1), 0, 0, 0, path.substr(0, last)));
  }
  std::mt19937 random(11);
  for (int round = 0; round < 20; ++round) {
    std::shuffle(entries.begin(), entries.end(), random);
    std::sort(entries.begin(), entries.end(), TreeOrder);
    std::vector<std::string> paths;
    for (const ReportEntry& entry : entries) paths.push_back(entry.parent + "\\" + entry.name);
    ASSERT_EQ(paths, expected);
  }
  EXPECT_FALSE(TreeOrder(entries[3], entries[3]));
}

TEST(ReportSortTest, SizesSortDescendingWithMissingSizesLast) {
  std::vector<ReportEntry> rows = {E("new", 0, 10, -1), E("gone", 0, -1, 4), E("big", 0, 90, 90),
                                   E("Total", 0, 100, 94)};
  EXPECT_EQ(Sorted(rows, {kSortBySize1, 1}),
            (std::vector<std::string>{"big", "new", "gone", "Total"}));
  EXPECT_EQ(Sorted(rows, {kSortBySize2, 1}),
            (std::vector<std::string>{"big", "gone", "new", "Total"}));
}

TEST(ReportSortTest, QuicksortOrdersAnyInputAndLeavesTheLastPositionAlone) {
  std::mt19937 random(7);
  std::vector<ReportEntry> rows;
  for (int i = 0; i < 2000; ++i) {
    rows.push_back(E("n" + std::to_string(random() % 500), static_cast<int>(random() % 41) - 20));
  }
  rows.push_back(E("Total", 0));
  for (int order : {0, 1}) {
    std::vector<ReportEntry> entries{ReportEntry{}};
    entries.insert(entries.end(), rows.begin(), rows.end());
    SortSettings sort{kSortByChange, order};
    QuickSort(entries, 1, static_cast<int>(entries.size()) - 2, sort);
    EXPECT_EQ(entries.back().name, "Total");
    for (std::size_t i = 2; i + 1 < entries.size(); ++i) {
      ASSERT_LE(CompareEntries(entries[i - 1], entries[i], sort), 0) << i;
    }
  }
  // Already sorted and reversed input, where a badly chosen pivot goes quadratic.
  std::vector<ReportEntry> ascending;
  for (int i = 0; i < 100000; ++i) ascending.push_back(E("d" + std::to_string(i), i));
  std::vector<ReportEntry> descending(ascending.rbegin(), ascending.rend());
  for (auto* input : {&ascending, &descending}) {
    std::vector<ReportEntry> entries{ReportEntry{}};
    entries.insert(entries.end(), input->begin(), input->end());
    QuickSort(entries, 1, static_cast<int>(entries.size()) - 1, {kSortByChange, 1});
    EXPECT_EQ(entries[1].name, "d99999");
    EXPECT_EQ(entries.back().name, "d0");
  }
}

}  // namespace
}  // namespace brontal
