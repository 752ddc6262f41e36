// The main window's tree and list on the fixture database: the tree's shape and the hanging of
// orphan paths, the list's rows and cells for every kind of place, names with quotes, progress,
// and the sorting and layout rules.
#include "viewer/tree_list.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "platform/fixed_locale.h"
#include "viewer/periods.h"
#include "viewer/tests/viewer_fixture.h"

namespace brontal {
namespace {

using testing::kMB;
using testing::kP1;
using testing::kP2;
using Lines = std::vector<std::string>;

// An ASCII cell as the list shows it: 15 characters, blanks in front.
std::string Cell(std::string_view text) {
  return std::string(15 - text.size(), ' ') + std::string(text);
}

TEST(TreeListTextTest, KeysQueriesAndCells) {
  EXPECT_EQ(ImageKey(0, true), "masterroot");
  EXPECT_EQ(ImageKey(2, true), "dopen");
  EXPECT_EQ(ImageKey(5, false), "fclosed");
  EXPECT_EQ(IconKey("r\\server1", "closed"), "cclosed");
  EXPECT_EQ(IconKey("r\\server1\\c:\\.", "closed"), "fclosed");

  EXPECT_EQ(TreeQuery(kP1, kP2),
            "select distinct Parents.DirParent from Parents where Parents.pdate=#12/6/26 2:0:0# "
            "or Parents.pdate=#11/29/26 2:0:0# order by Parents.dirparent");
  EXPECT_EQ(ListQuery("r\\a\"b", kP1, kP2),
            "select Dir, Brontal, pdate from Dirs where DirParent=\"r\\a\"\"b\" and "
            "(pdate=#12/6/26 2:0:0# or pdate=#11/29/26 2:0:0#) order by dir asc, pdate desc;");
  EXPECT_EQ(ListColumns("06-Dec-2026 02:00", "06-Dec-2026 02:00")[3].key, "06-Dec-2026 02:00p2");

  const FixedLocale english;
  EXPECT_EQ(SizeCell(kMB - 1, english), Cell("1"));
  EXPECT_EQ(SizeCell(1234567 * kMB, FixedLocale::German()), Cell("1.234.567"));
  // A separator of several bytes is one character of the width.
  EXPECT_EQ(SizeCell(1234 * kMB, FixedLocale({.thousands_separator = "\xE2\x80\xAF"})),
            std::string(10, ' ') +
                "1\xE2\x80\xAF"
                "234");
  EXPECT_EQ(ChangeCell(Cell("1,015"), Cell("1,013"), english), Cell("2 "));
  EXPECT_EQ(ChangeCell("", Cell("1,200"), english), Cell("1,200-"));
  EXPECT_EQ(ChangeCell("", "", english), Cell("0 "));
}

// The viewer's tree and lists on a database in a file and on one on the test server.
class TreeListTest : public ::testing::TestWithParam<testing::TestBackend> {
 protected:
  void SetUp() override {
    if (!testing::BackendAvailable(GetParam())) {
      GTEST_SKIP() << testing::ScratchPostgres::SkipMessage();
    }
  }

  // Each tree item as "key|text|parent key|backslashes".
  Lines Tree(DateTime period2) {
    Lines lines;
    for (const TreeItem& item : TreeAllParents(database_, kP1, period2)) {
      lines.push_back(item.key + "|" + item.text + "|" + item.parent_key + "|" +
                      std::to_string(item.backslashes));
    }
    return lines;
  }

  // Each list row as "key|icon|name|change|size1|size2" with the cells' blanks removed.
  Lines List(std::string_view key, DateTime period1 = kP1, DateTime period2 = kP2) {
    Lines lines;
    for (const ListRow& row : MakeL(database_, key, PeriodText(period1, locale_),
                                    PeriodText(period2, locale_), locale_)) {
      std::string line = row.key + "|" + row.icon;
      for (const std::string& cell : row.cells) line += "|" + std::string(Trim(cell));
      lines.push_back(line);
    }
    return lines;
  }

  // On SQLite without a server, for a run that skips at once.
  const testing::TestBackend backend_ =
      testing::BackendAvailable(GetParam()) ? GetParam() : testing::TestBackend::kSqlite;
  testing::ViewerDatabase fixture_{BrontalSchema(), backend_};
  db::Database& database_ = *fixture_.database;
  FixedLocale locale_;
};

INSTANTIATE_TEST_SUITE_P(Backends, TreeListTest, testing::BackendValues(), testing::BackendName);

TEST_P(TreeListTest, TheTreeHoldsEveryParentOfEitherPeriodAndHangsOrphansOnTheirAncestors) {
  const Lines both = {"r\\server1|SERVER1|r|1",
                      "r\\server1\\c:|C:|r\\server1|2",
                      "r\\server1\\c:\\new|New|r\\server1\\c:|3",
                      "r\\server1\\c:\\old|Old|r\\server1\\c:|3",
                      "r\\server1\\c:\\users|Users|r\\server1\\c:|3",
                      "r\\server1\\c:\\winnt|WINNT|r\\server1\\c:|3",
                      "r\\server2|SERVER2|r|1",
                      "r\\server2\\d:|D:|r\\server2|2"};
  EXPECT_EQ(Tree(kP2), both);
  Lines p1_only = both;
  p1_only.erase(p1_only.begin() + 3);  // "Old" is in P2 only
  EXPECT_EQ(Tree(kP1), p1_only);

  for (const char* parent : {"R\\SERVER1\\C:\\Gone\\Deeper", "R\\SERVER3\\E:", "R"}) {
    database_.Execute("insert into Parents (DirParent, pdate) values (\"" + std::string(parent) +
                      "\", #12/6/2026 2:00#)");
  }
  const Lines tree = Tree(kP2);
  EXPECT_EQ(tree.size(), 10u);  // no second root
  EXPECT_EQ(tree[2], "r\\server1\\c:\\gone\\deeper|Deeper|r\\server1\\c:|4");
  EXPECT_EQ(tree[9], "r\\server3\\e:|E:|r|2");
}

TEST_P(TreeListTest, TheRootListsNodesANodeItsDrivesADriveItsDirectories) {
  EXPECT_EQ(List("r"), (Lines{"r\\server1|cclosed|SERVER1|2|1,015|1,013",
                              "r\\server2|cclosed|SERVER2|0|2,000|2,000"}));
  EXPECT_EQ(List("R\\SERVER1"), (Lines{"r\\server1\\c:|dclosed|C:|2|1,015|1,013"}));
  // A child of one period only: its size is the change, with the sign of its side.
  EXPECT_EQ(List("r\\server1\\c:"),
            (Lines{"r\\server1\\c:\\.|fclosed|.|0|10|10", "r\\server1\\c:\\new|fclosed|New|10|10|",
                   "r\\server1\\c:\\old|fclosed|Old|12-||12",
                   "r\\server1\\c:\\users|fclosed|Users|4|305|301",
                   "r\\server1\\c:\\winnt|fclosed|WINNT|0|600|600"}));
  // Both pickers on one period: both columns, no change, and nothing of other periods.
  EXPECT_EQ(List("r\\server1\\c:\\users", kP2, kP2),
            (Lines{"r\\server1\\c:\\users\\.|fclosed|.|0|1|1",
                   "r\\server1\\c:\\users\\alice|fclosed|alice|0|296|296",
                   "r\\server1\\c:\\users\\bob|fclosed|Bob|0|4|4"}));
  EXPECT_TRUE(List("r\\server1\\c:\\winnt\\none").empty());
  EXPECT_THROW(MakeL(database_, "r", "", PeriodText(kP2, locale_), locale_), db::DbError);
}

TEST_P(TreeListTest, NamesWithQuotesFindTheirOwnRows) {
  const std::string parent = "R\\SERVER1\\C:\\it's \"quoted\"";
  testing::AddDirRow(database_, parent, "a\"b", 3 * kMB, kP1);
  testing::AddDirRow(database_, parent, "a\"b", 2 * kMB, kP2);
  testing::AddDirRow(database_, "R\\SERVER1\\C:\\it's", "wrong", kMB, kP1);
  EXPECT_EQ(List(LowerCase(parent)),
            (Lines{"r\\server1\\c:\\it's \"quoted\"\\a\"b|fclosed|a\"b|1|3|2"}));
}

TEST_P(TreeListTest, NamesThatDifferOnlyInCaseKeepTheirOwnRowsAndSizes) {
  testing::AddCaseTwins(database_);
  const Lines both = List("r\\server1\\c:\\users");
  EXPECT_EQ(both, (Lines{"r\\server1\\c:\\users\\.|fclosed|.|0|1|1",
                         "r\\server1\\c:\\users\\alice|fclosed|alice|4|300|296",
                         "r\\server1\\c:\\users\\bob|fclosed|Bob|0|4|4",
                         "r\\server1\\c:\\users\\data|fclosed|Data|10|50|40",
                         "r\\server1\\c:\\users\\data|fclosed|data|2-|7|9",
                         "r\\server1\\c:\\users\\logs|fclosed|LOGS|3-||3",
                         "r\\server1\\c:\\users\\logs|fclosed|logs|2|2|"}));
  // One period on both pickers: each name its own size twice, and no name of the other period.
  const Lines same = List("r\\server1\\c:\\users", kP2, kP2);
  EXPECT_EQ(Lines(same.begin() + 3, same.end()),
            (Lines{"r\\server1\\c:\\users\\data|fclosed|Data|0|40|40",
                   "r\\server1\\c:\\users\\data|fclosed|data|0|9|9",
                   "r\\server1\\c:\\users\\logs|fclosed|LOGS|0|3|3"}));
  // Their subtrees answer to one key: the tree holds one item for both.
  const Lines tree = Tree(kP2);
  EXPECT_EQ(std::count_if(tree.begin(), tree.end(),
                          [](const std::string& line) {
                            return line.starts_with("r\\server1\\c:\\users\\data|");
                          }),
            1);
}

TEST_P(TreeListTest, ProgressEveryHundredCountsAndAtTheEnd) {
  for (int i = 0; i < 150; ++i) {
    testing::AddDirRow(database_, "R\\SERVER2\\D:\\many", "d" + std::to_string(1000 + i), kMB, kP1);
  }
  std::vector<int> progress;
  auto note = [&](int n) { progress.push_back(n); };
  const std::string p1 = PeriodText(kP1, locale_);
  MakeL(database_, "r\\server2\\d:\\many", p1, PeriodText(kP2, locale_), locale_, note);
  EXPECT_EQ(progress, (std::vector<int>{50, 151}));
  progress.clear();  // with both pickers the same, each row counts twice
  MakeL(database_, "r\\server2\\d:\\many", p1, p1, locale_, note);
  EXPECT_EQ(progress, (std::vector<int>{50, 100, 150, 301}));
}

TEST_P(TreeListTest, HeaderClicksAndTheTextOrderOfCells) {
  const ListSort size1 = SortAfterHeaderClick({1, SortOrder::kDescending}, 2, "Size MB (P1)");
  EXPECT_EQ(size1, (ListSort{2, SortOrder::kDescending}));
  EXPECT_EQ(SortAfterHeaderClick(size1, 2, "Size MB (P1)"), (ListSort{2, SortOrder::kAscending}));
  EXPECT_EQ(SortAfterHeaderClick(size1, 0, "Name"), (ListSort{0, SortOrder::kAscending}));
  EXPECT_EQ(SortAfterHeaderClick(size1, 1, "Change MB"), (ListSort{1, SortOrder::kDescending}));

  std::vector<ListRow> rows = MakeL(database_, "r\\server1\\c:", PeriodText(kP1, locale_),
                                    PeriodText(kP2, locale_), locale_);
  auto sorted = [&](ListSort sort) {
    std::stable_sort(rows.begin(), rows.end(),
                     [&](const ListRow& a, const ListRow& b) { return ListRowBefore(a, b, sort); });
    std::string names;
    for (const ListRow& row : rows) names += row.cells[0] + " ";
    return names;
  };
  // Magnitude first; the sign only parts equal ones. Ties keep their order.
  EXPECT_EQ(sorted({1, SortOrder::kDescending}), "Old New Users . WINNT ");
  EXPECT_EQ(sorted({2, SortOrder::kAscending}), "Old New . Users WINNT ");
  rows[4].cells[0] = "apple";
  EXPECT_EQ(sorted({0, SortOrder::kAscending}), ". apple New Old Users ");  // case ignored
  // Names that differ only in case come in the order of their exact bytes, whatever the order
  // they came in, and the other way round descending.
  rows[3].cells[0] = "new";
  rows[4].cells[0] = "NEW";
  EXPECT_EQ(sorted({0, SortOrder::kAscending}), ". apple NEW New new ");
  std::reverse(rows.begin(), rows.end());
  EXPECT_EQ(sorted({0, SortOrder::kAscending}), ". apple NEW New new ");
  EXPECT_EQ(sorted({0, SortOrder::kDescending}), "new New NEW apple . ");
}

TEST(TreeListLayoutTest, TheSplitterKeeps300TwipsFromEitherSide) {
  EXPECT_FALSE(SplitterAccepts(300, 3000));
  EXPECT_TRUE(SplitterAccepts(301, 3000));
  EXPECT_TRUE(SplitterAccepts(2699, 3000));
  EXPECT_FALSE(SplitterAccepts(2700, 3000));
  EXPECT_FALSE(SplitterAccepts(301, 600));
  EXPECT_EQ(ListColumnWidth(8000, 4), (8000 - 1515) / 4);
  EXPECT_EQ(ListColumnWidth(1000, 4), 0);
}

}  // namespace
}  // namespace brontal
