// Every statement the programs send to the database, built the way the programs build it, run
// against a small database of two servers and four periods.
#include <gtest/gtest.h>

#include "platform/testing/test_database.h"
#include "platform/testing/two_servers.h"
#include "store/format.h"
#include "store/schema.h"
#include "store/sql_text.h"

namespace brontal {
namespace {

using db::RecordsetType;

using Row = std::vector<std::string>;

using testing::two_servers::kMB;
using testing::two_servers::kP1;
using testing::two_servers::kP2;
using testing::two_servers::kP3;
using testing::two_servers::kP4;

// On both backends: the programs send the same statements to a file and to a server.
class DialectStatementsTest : public testing::OnEachBackend {
 protected:
  void SetUp() override {
    OnEachBackend::SetUp();
    if (IsSkipped()) return;
    path_ = database().location();
    // A database of the older kind, whose readers must list a doubled period once.
    CreateBrontalDatabase(*engine_, path_, 3, RepeatedPeriodsSchema());
    db_ = engine_->DefaultWorkspace().OpenDatabase(path_);
    testing::two_servers::Fill(*db_);
  }
  void TearDown() override {
    if (db_) db_->Close();
  }

  void AddDir(std::string_view parent, std::string_view dir, std::int64_t size, DateTime p) {
    testing::two_servers::RowWriter(*db_).AddDir(parent, dir, size, p);
  }

  // The rows of a query, each field as text, dates in the stored form.
  std::vector<Row> Rows(const std::string& sql) {
    std::vector<Row> rows;
    auto rs = db_->OpenRecordset(sql, RecordsetType::kSnapshot);
    for (; !rs->Eof(); rs->MoveNext()) {
      Row row;
      for (int i = 0; i < rs->FieldCount(); ++i) row.push_back(rs->Field(i).TextOr("<null>"));
      rows.push_back(row);
    }
    return rows;
  }

  static std::string D(DateTime t) { return SqlDateText(t, "m/d/yy h:m:s"); }
  static std::string Iso(DateTime t) { return t.ToIso(); }
  static std::string Mb(std::int64_t mb) { return std::to_string(mb * kMB); }

  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 9)};
  std::unique_ptr<db::Engine> engine_ = testing::MakeTestEngine(10000, &clock_);
  std::string path_;
  std::unique_ptr<db::Database> db_;
};

INSTANTIATE_TEST_SUITE_P(Backends, DialectStatementsTest, testing::BackendValues(),
                         testing::BackendName);

TEST_P(DialectStatementsTest, NodeLevelsFromTodo) {
  EXPECT_EQ(Rows(std::string("select levels from todo") + " where nodename = " + "\"" +
                 "<defaultnodename>" + "\""),
            (std::vector<Row>{{"3"}}));
  EXPECT_EQ(Rows(std::string("select Levels from todo") + " where nodename = " + "\"" +
                 SqlText("server1") + "\"" + " and dirparent=" + "\"" + "R" + "\""),
            (std::vector<Row>{{"-1"}}));
  EXPECT_EQ(Rows(std::string("select LogFile from Todo ") + " where nodename='" + "SERVER1" + "'"),
            (std::vector<Row>{{"/opt/brontal/brontals.log"}}));
}

TEST_P(DialectStatementsTest, TreeOfParentsAndPeriodList) {
  EXPECT_EQ(Rows("select distinct Parents.DirParent from Parents where" +
                 (" Parents.pdate=#" + D(kP1) + "#") + " or Parents.pdate=#" + D(kP3) + "#" +
                 " order by Parents.dirparent"),
            (std::vector<Row>{
                {"R\\SERVER1"}, {"R\\SERVER1\\C:"}, {"R\\SERVER1\\C:\\Users"}, {"R\\SERVER2"}}));
  EXPECT_EQ(Rows("Select distinct pdate from Periods order by pdate desc"),
            (std::vector<Row>{{Iso(kP1)}, {Iso(kP2)}, {Iso(kP3)}, {Iso(kP4)}}));
}

TEST_P(DialectStatementsTest, DirectoryListOfTwoPeriods) {
  std::string key = "r\\server1\\c:";  // the viewer's lower-cased key
  EXPECT_EQ(Rows("select Dir, Brontal, pdate from Dirs" + (" where DirParent=\"" + SqlText(key)) +
                 "\"" + " and (pdate=#" + D(kP1) + "#" + " or pdate=#" + D(kP3) + "#)" +
                 " order by dir asc, pdate desc;"),
            (std::vector<Row>{{".", Mb(10), Iso(kP1)},
                              {".", Mb(10), Iso(kP3)},
                              {"Users", Mb(304), Iso(kP1)},
                              {"Users", Mb(302), Iso(kP3)},
                              {"users2", Mb(90), Iso(kP1)},
                              {"users2", Mb(90), Iso(kP3)},
                              {"WINNT", Mb(600), Iso(kP1)},
                              {"WINNT", Mb(600), Iso(kP3)}}));
}

TEST_P(DialectStatementsTest, ReportEntriesAndTotals) {
  std::string periods = " and (pdate=#" + D(kP1) + "#" + " or pdate=#" + D(kP2) + "#)";
  std::string order = " order by dirparent & \"\\\" & dir, pdate;";
  // List: the children of one place.
  auto list =
      Rows("select DirParent, Dir, Brontal, pdate from Dirs" +
           (" where DirParent = \"" + SqlText("r\\server1\\c:\\users") + "\"") + periods + order);
  EXPECT_EQ(list, (std::vector<Row>{{"R\\SERVER1\\C:\\Users", "alice", Mb(303), Iso(kP2)},
                                    {"R\\SERVER1\\C:\\Users", "alice", Mb(304), Iso(kP1)}}));
  // Tree: everything below, and beside it whatever begins with the same name.
  auto tree = Rows("select DirParent, Dir, Brontal, pdate from Dirs" +
                   (" where DirParent like \"" + SqlLikeText("r\\server1\\c:\\users") + "*\"") +
                   periods + order);
  ASSERT_EQ(tree.size(), 2u);
  auto drive =
      Rows("select DirParent, Dir, Brontal, pdate from Dirs" +
           (" where DirParent like \"" + SqlLikeText("r\\server1\\c:") + "*\"") + periods + order);
  std::vector<std::string> paths;
  for (const Row& row : drive) paths.push_back(row[0] + "\\" + row[1]);
  EXPECT_EQ(paths,
            (std::vector<std::string>{
                "R\\SERVER1\\C:\\.", "R\\SERVER1\\C:\\.", "R\\SERVER1\\C:\\Users",
                "R\\SERVER1\\C:\\Users", "R\\SERVER1\\C:\\Users\\alice",
                "R\\SERVER1\\C:\\Users\\alice", "R\\SERVER1\\C:\\users2", "R\\SERVER1\\C:\\users2",
                "R\\SERVER1\\C:\\WINNT", "R\\SERVER1\\C:\\WINNT"}));

  EXPECT_EQ(Rows(std::string("select \"") + "R" + "\" as DirParent2, \"" + "R" +
                 "\" as Dir2, sum(Brontal) as Brontal2, pdate from Dirs" + " where DirParent = \"" +
                 "R" + "\"" + periods + " group by pdate"),
            (std::vector<Row>{{"R", "R", Mb(3003), Iso(kP2)}, {"R", "R", Mb(3004), Iso(kP1)}}));
  EXPECT_EQ(
      Rows("select DirParent as DirParent2, Dir as Dir2, Brontal as Brontal2, pdate from Dirs" +
           (" where DirParent = \"" + SqlText("r\\server1") + "\"") + " and dir = \"" +
           SqlText("c:") + "\"" + periods + order),
      (std::vector<Row>{{"R\\SERVER1", "C:", Mb(1003), Iso(kP2)},
                        {"R\\SERVER1", "C:", Mb(1004), Iso(kP1)}}));
}

TEST_P(DialectStatementsTest, HtmlToolFindsItsTwoPeriods) {
  EXPECT_EQ(Rows("select max(pdate) as maxpdate from periods "), (std::vector<Row>{{Iso(kP1)}}));
  EXPECT_EQ(Rows("select max(pdate) as maxpdate from parents " +
                 (" where dirparent = \"" + SqlText("r\\server2")) + "\""),
            (std::vector<Row>{{Iso(kP1)}}));
  EXPECT_EQ(Rows("select max(pdate) as maxpdate from parents " +
                 (" where dirparent = \"" + SqlText("r\\server9")) + "\""),
            (std::vector<Row>{{"<null>"}}));
  std::string limit = SqlDateText(kP1 - 6.0, "m/d/yy hh:nn");  // P2 exactly
  EXPECT_EQ(Rows("select pdate from periods " + (" where pdate <= #" + limit + "#") +
                 " order by pdate desc")[0],
            (Row{Iso(kP2)}));
  EXPECT_EQ(Rows("select pdate from parents " + (" where dirparent = \"" + SqlText("r\\server2")) +
                 "\" " + " and pdate <= #" + limit + "#" + " order by pdate desc"),
            (std::vector<Row>{{Iso(kP2)}}));
}

TEST_P(DialectStatementsTest, SizeGraphWithThinning) {
  std::string range = " and pdate<=#" + D(kP1) + "#" + " and pdate>=#" + D(kP4) + "#";
  auto root = [&](const std::string& skip) {
    return Rows(std::string("select sum(Brontal) as Brontals, pdate ") + " from Dirs" +
                " where DirParent=\"" + "R" + "\"" + range + skip + " group by pdate" +
                " order by pdate asc;");
  };
  EXPECT_EQ(root("").size(), 4u);
  EXPECT_EQ(root(" and weekday(pdate,2)=" + std::to_string(0 + 1)),  // Mondays
            (std::vector<Row>{{Mb(1001), Iso(kP4)}, {Mb(3003), Iso(kP2)}}));
  EXPECT_EQ(root(" and day(pdate)=1"), (std::vector<Row>{{Mb(1002), Iso(kP3)}}));
  EXPECT_EQ(Rows("select Brontal as Brontals, pdate from Dirs" +
                 (" where DirParent=\"" + SqlText("r\\server1\\c:")) + "\"" + " and dir=\"" +
                 SqlText("users") + "\"" + range + " and weekday(pdate,2)=" + "7" +
                 " order by pdate asc;"),
            (std::vector<Row>{{Mb(302), Iso(kP3)}, {Mb(304), Iso(kP1)}}));
}

TEST_P(DialectStatementsTest, DiskUsageAndDiskGraph) {
  EXPECT_EQ(Rows("select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks" +
                 std::string(" where ") + " (pdate=#" + D(kP1) + "#" + " or pdate=#" + D(kP3) +
                 "#)" + " order by DiskParent, Disk, pdate desc;"),
            (std::vector<Row>{{"C:", Iso(kP1), "R\\SERVER1", Mb(6000), Mb(4996)},
                              {"C:", Iso(kP3), "R\\SERVER1", Mb(6000), Mb(4998)},
                              {"D:", Iso(kP1), "R\\SERVER2", Mb(3000), Mb(1)}}));
  std::string parent = "r\\server1", name = "c:";
  auto graph = [&](const std::string& skip) {
    return Rows(
        "select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
        "Dirs.Brontal, Disks.pdate " +
        std::string(" from Dirs, Disks ") + " where  " + "   Disks.DiskParent=\"" +
        SqlText(parent) + "\" and Dirs.DirParent=\"" + SqlText(parent) + "\" " +
        "   and Disks.Disk=\"" + SqlText(name) + "\" and Dirs.dir=\"" + SqlText(name) + "\"" +
        "   and Dirs.pdate<=#" + D(kP1) + "#" + "   and Dirs.pdate>=#" + D(kP4) + "#" +
        "   and Dirs.Pdate=Disks.pdate " + skip + " order by Disks.pdate asc;");
  };
  auto all = graph("");
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0], (Row{"R\\SERVER1", "C:", Mb(4999), Mb(6000), Mb(1001), Iso(kP4)}));
  EXPECT_EQ(graph(" and weekday(disks.pdate,2)=1").size(), 2u);
  EXPECT_EQ(graph(" and day(disks.pdate)=1"),
            (std::vector<Row>{{"R\\SERVER1", "C:", Mb(4998), Mb(6000), Mb(1002), Iso(kP3)}}));
}

// The purge of the maintenance tool and the Options dialog: nothing older than 60 days, only
// the 1st of a month beyond 30, only Mondays and the 1st beyond 5.
TEST_P(DialectStatementsTest, PurgeByRetentionRule) {
  DateTime now = DateTime::FromCivil(2026, 12, 7, 3, 15);
  auto purge = [&](const std::string& condition) {
    db_->Execute("delete * from periods " + condition, db::kFailOnError);
    db_->Execute("delete * from dirs " + condition);
    db_->Execute("delete * from parents " + condition);
    db_->Execute("delete * from disks " + condition);
  };
  engine_->DefaultWorkspace().BeginTrans();
  purge("where pdate < #" + SqlDateText(now - 60.0, "m/d/yy hh:mm") + "#");
  purge("where pdate < #" + SqlDateText(now - 30.0, "m/d/yy hh:mm") + "#" + " and day(pdate)<>1");
  purge("where pdate < #" + SqlDateText(now - 5.0, "m/d/yy hh:mm") + "#" +
        " and weekday(pdate,2)<>" + "1" + " and day(pdate)<>1");
  engine_->DefaultWorkspace().CommitTrans();
  // P4 is beyond 60 days; P3 is the 1st; P2 a Monday; P1 within 5 days.
  EXPECT_EQ(Rows("Select distinct pdate from Periods order by pdate desc"),
            (std::vector<Row>{{Iso(kP1)}, {Iso(kP2)}, {Iso(kP3)}}));
  for (const char* table : {"dirs", "parents", "disks"}) {
    EXPECT_TRUE(
        Rows(std::string("select pdate from ") + table + " where pdate=#" + D(kP4) + "#").empty())
        << table;
  }
  EXPECT_EQ(Rows("select count(*) as n from dirs").at(0), (Row{"25"}));
}

TEST_P(DialectStatementsTest, HostileNamesRoundTripThroughTheQuotingHelpers) {
  std::vector<std::string> names = {"say \"cheese\"",
                                    "it's",
                                    "a*b",
                                    "a?b",
                                    "50% off",
                                    "a_b",
                                    "[draft]",
                                    "#1",
                                    "back\\slash",
                                    "line\nbreak",
                                    std::string(255, 'n'),
                                    "axb",
                                    "abc",
                                    "a%b"};
  // A name that is no UTF-8 is kept byte for byte, in a file and in an SQL_ASCII database.
  names.push_back("bad\xff\xfeutf8");
  for (const auto& name : names) AddDir("R\\S", name, 1, kP1);
  AddDir("R\\S\\a_b", "x", 2, kP1);
  AddDir("R\\S\\axb", "y", 3, kP1);
  for (const auto& name : names) {
    auto rows = Rows("select Dir from Dirs where DirParent = \"" + SqlText("r\\s") +
                     "\" and Dir = \"" + SqlText(name) + "\"");
    ASSERT_EQ(rows.size(), 1u) << name;
    EXPECT_EQ(rows[0][0], name);
  }
  auto below =
      Rows("select Dir from Dirs where DirParent like \"" + SqlLikeText("r\\s\\a_b") + "*\"");
  EXPECT_EQ(below, (std::vector<Row>{{"x"}}));
}

}  // namespace
}  // namespace brontal
