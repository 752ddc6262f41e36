// Tests of the translation into PostgreSQL: the text produced where quoting and patterns can go
// wrong, and, on the test server, that the programs' statements give the rows SQLite gives.
#include "platform/db/jetsql/postgres_dialect.h"

#include <gtest/gtest.h>
#include <libpq-fe.h>
#include <sqlite3.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/db/jetsql/translate.h"
#include "platform/testing/postgres.h"

namespace brontal::jetsql {
namespace {

using testing::ScratchPostgres;
using Rows = std::vector<std::vector<std::string>>;

std::string ToPostgres(std::string_view jet) {
  return Translate(jet, PostgresDialect(), TranslateOptions{2026});
}
std::string ToSqlite(std::string_view jet) {
  return Translate(jet, SqliteDialect(), TranslateOptions{2026});
}

TEST(PostgresDialectTest, LiteralsNamesAndConcatenation) {
  EXPECT_EQ(ToPostgres("select \"it's\", 'C:\\Users\\', \"caf\xc3\xa9\", #12/6/26 2:0:0#"),
            "select 'it''s', 'C:\\Users\\', 'caf\xc3\xa9', '2026-12-06 02:00:00'");
  EXPECT_EQ(ToPostgres("select [Dir Name], [a\"b] from [Dirs]"),
            "select \"dir name\", \"a\"\"b\" from \"dirs\"");
  // Only an order by item sorts by the path key; elsewhere the joined text is citext.
  EXPECT_EQ(
      ToPostgres("select a & \"\\\" & b from t where a & b = \"x\" order by a & \"\\\" & b, "
                 "c, 1 + 2 & c desc"),
      "select (CAST(a AS text) || '\\' || b)::citext from t where (CAST(a AS text) || b)::citext"
      " = 'x' order by brontal_path_key(CAST(a AS text) || '\\' || b) COLLATE \"C\", c, "
      "brontal_path_key(CAST((1 + 2) AS text) || c) COLLATE \"C\" desc");
  EXPECT_EQ(ToPostgres("select x from (select a & b as x from t order by a & b) order by x"),
            "select x from (select (CAST(a AS text) || b)::citext as x from t order by "
            "brontal_path_key(CAST(a AS text) || b) COLLATE \"C\") order by x");
}

TEST(PostgresDialectTest, LikeRenderings) {
  const std::pair<const char*, const char*> cases[] = {
      // A leading run of characters becomes a range the column's index answers.
      {"DirParent like \"r\\server1\\c:*\"",
       "(DirParent >= 'r\\server1\\c:' and DirParent < 'r\\server1\\c;' and DirParent ilike "
       "'r\\server1\\c:%' escape '|')"},
      {"d.x Like \"Az?\"", "(d.x >= 'Az' and d.x < 'a{' and d.x ilike 'Az_')"},
      {"x like \"a@*\"", "(x >= 'a@' and x < 'a[' and x ilike 'a@%')"},
      {"x like \"\xc3\xa9\xf4\x8f\xbf\xbf*\"",
       "(x >= '\xc3\xa9\xf4\x8f\xbf\xbf' and x < '\xc3\xaa' and x ilike "
       "'\xc3\xa9\xf4\x8f\xbf\xbf%')"},
      {"x like \"50%_|*\"", "(x >= '50%_|' and x < '50%_}' and x ilike '50|%|_||%' escape '|')"},
      {"x like \"*a\"", "x ilike '%a'"},
      {"x like '[*]x[?][#][[]*'", "(x >= '*x?#[' and x < '*x?#\\' and x ilike '*x?#[%')"},
      // Negated, or not on a column alone: the like by itself.
      {"x not like \"a*\"", "x not ilike 'a%'"},
      {"1 + x like \"1*\"", "1 + x ilike '1%'"},
      // Digits and classes: SIMILAR TO with both cases written out, and punctuation escaped
      // where SIMILAR TO gives it a meaning.
      {"x like \"#[a-c][!x]*\"", "x similar to '[0-9][a-cA-C][^xX]%'"},
      {"x NOT LIKE \"[^-z]#_(%\"", "x NOT SIMILAR TO '[|^-zA-Z][0-9]|_|(|%' escape '|'"},
      {"x like \"[-a\\[:]#.\\$\"", "x similar to '[|-aA\\|[|:][0-9].\\$' escape '|'"},
  };
  for (const auto& [jet, expected] : cases) {
    EXPECT_EQ(ToPostgres(std::string("select 1 from t where ") + jet),
              std::string("select 1 from t where ") + expected);
  }
}

// A connection to a scratch database, with the rows of a query as text.
class Postgres {
 public:
  explicit Postgres(const std::string& uri) : connection_(PQconnectdb(uri.c_str()), PQfinish) {
    if (PQstatus(connection_.get()) != CONNECTION_OK) {
      throw std::runtime_error(PQerrorMessage(connection_.get()));
    }
  }
  Rows Query(const std::string& sql) {
    std::unique_ptr<PGresult, decltype(&PQclear)> result(PQexec(connection_.get(), sql.c_str()),
                                                         PQclear);
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
      ADD_FAILURE() << PQresultErrorMessage(result.get()) << sql;
      return {{"<error>"}};
    }
    Rows rows;
    for (int row = 0; row < PQntuples(result.get()); ++row) {
      rows.emplace_back();
      for (int column = 0; column < PQnfields(result.get()); ++column) {
        rows.back().push_back(PQgetisnull(result.get(), row, column)
                                  ? "<null>"
                                  : PQgetvalue(result.get(), row, column));
      }
    }
    return rows;
  }

 private:
  std::unique_ptr<PGconn, decltype(&PQfinish)> connection_;
};

class Sqlite {
 public:
  Sqlite() {
    sqlite3_open(":memory:", &db_);
    InstallSqliteCollations(db_);
  }
  ~Sqlite() { sqlite3_close(db_); }
  Sqlite(const Sqlite&) = delete;
  Sqlite& operator=(const Sqlite&) = delete;

  Rows Query(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << "\n" << sql;
      return {{"<error>"}};
    }
    Rows rows;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      rows.emplace_back();
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, i));
        rows.back().push_back(text ? text : "<null>");
      }
    }
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

// The tables on both engines as the schema makes them: text compared without regard to case
// (citext, NOCASE), dates as text, names lower case on PostgreSQL, indexes named table_index.
class BothEnginesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ScratchPostgres::ServerUri()) GTEST_SKIP() << ScratchPostgres::SkipMessage();
    // UTF-8, where "?" and a class match one character as on SQLite; an SQL_ASCII database
    // matches one byte, which only names beyond ASCII tell apart.
    scratch_ = std::make_unique<ScratchPostgres>("UTF8");
    postgres_ = std::make_unique<Postgres>(scratch_->uri());
    postgres_->Query(PostgresSupportSql());
    postgres_->Query(
        "create table periods (pdate text collate \"C\" not null);"
        "create table parents (dirparent citext not null, pdate text collate \"C\" not null);"
        "create table dirs (dirparent citext not null, dir citext not null, brontal bigint,"
        " pdate text collate \"C\" not null);"
        "create table disks (diskparent citext not null, disk citext not null, diskfree bigint,"
        " disksize bigint, pdate text collate \"C\" not null);"
        "create table todo (nodename citext not null, dirparent citext not null, levels integer,"
        " logfile citext);"
        "create table t (x citext);"
        "create index dirs_parentperiod on dirs (dirparent, pdate);"
        "create index dirs_parentdirperiod on dirs (dirparent, dir, pdate);"
        "create index parents_parentperiod on parents (dirparent, pdate);"
        "create index disks_period on disks (pdate);"
        "create index t_x on t (x)");
    sqlite_.Query("create table Periods (pdate text not null)");
    sqlite_.Query("create table Parents (DirParent text collate nocase not null, pdate text)");
    sqlite_.Query(
        "create table Dirs (DirParent text collate nocase not null, Dir text collate nocase not "
        "null, Brontal integer, pdate text not null)");
    sqlite_.Query(
        "create table Disks (DiskParent text collate nocase not null, Disk text collate nocase "
        "not null, DiskFree integer, DiskSize integer, pdate text not null)");
    sqlite_.Query(
        "create table Todo (Nodename text collate nocase not null, DirParent text collate nocase "
        "not null, Levels integer, LogFile text collate nocase)");
    sqlite_.Query("create table t (x text collate nocase)");
  }

  // Runs `jet` on both engines.
  void Both(const std::string& jet) {
    sqlite_.Query(ToSqlite(jet));
    postgres_->Query(ToPostgres(jet));
  }

  // Runs `jet` on both and expects the same rows, in the same order where it orders them.
  void ExpectSameRows(const std::string& jet) {
    Rows expected = sqlite_.Query(ToSqlite(jet));
    Rows rows = postgres_->Query(ToPostgres(jet));
    if (jet.find("order by") == std::string::npos) {
      std::sort(expected.begin(), expected.end());
      std::sort(rows.begin(), rows.end());
    }
    EXPECT_EQ(rows, expected) << jet << "\n" << ToPostgres(jet);
  }

  static std::string Quoted(const std::string& text) { return QuoteSql(text, '"'); }

  std::unique_ptr<ScratchPostgres> scratch_;
  std::unique_ptr<Postgres> postgres_;
  Sqlite sqlite_;
};

// Every pattern against every text, on a column with an index so that PostgreSQL's range
// before the like takes part.
TEST_F(BothEnginesTest, LikeMatchesWhatSqliteMatches) {
  std::vector<std::string> texts = {
      "",    "aBBBa", "aBC", "xABy", "aaa",      "a0a",      "12",  "F",      "&",   "9",
      "a*a", "A_B",   "axb", "100%", "1000",     "[x",       "An9", "AM9",    "^",   "b",
      "-",   "x|yz",  "xy",  "A]",   "\xc3\xa9", "\xc3\x89", "Y1",  "\\x",    "a:b", "a\nb",
      "(x)", "{x}",   "a+b", "a@b",  "A[b",      "Az",       "a{",  "50%_|x", "a.b", "a$"};
  texts.insert(texts.end(), {"R\\SERVER1\\C:\\Users", "r\\server1\\c;", "r\\server1\\c:"});
  std::vector<std::string> patterns = {
      "a*a",    "*ab*",       "a?a",     "a#a",      "#",    "[a-z]", "[!a-z]",  "a[*]a",
      "a_b",    "100%",       "[[]x",    "a[!b-m]#", "[^a]", "[a-]",  "x|y*",    "[!^]",
      "a]",     "[\xc3\xa9]", "[xy]#",   "?",        "*",    "",      "[\\]*",   "*[:.]*",
      "A@*",    "a[@-[]*",    "[!0-9]*", "(*)",      "[(]*", "{*}",   "a+b",     "\xc3\x89*",
      "a[{-}]", "az*",        "50%_|*",  "a.b",      "a$",   "a?b",   "[!x-z]*", "a[$.]*"};
  patterns.insert(patterns.end(), {"r\\server1\\c:*", "r\\server1\\c:\\*"});
  for (const std::string& text : texts) Both("insert into t (x) values (" + Quoted(text) + ")");
  for (const std::string& pattern : patterns) {
    ExpectSameRows("select x from t where x like " + Quoted(pattern));
    ExpectSameRows("select x from t where x not like " + Quoted(pattern));
  }
}

TEST_F(BothEnginesTest, WeekdayAndDayAgreeWithDateTime) {
  // Across a month's end, a leap day and a year's end.
  for (DateTime start : {DateTime::FromCivil(2026, 11, 26, 2), DateTime::FromCivil(2028, 2, 26),
                         DateTime::FromCivil(2026, 12, 29, 23, 59, 59)}) {
    for (int day = 0; day < 7; ++day) {
      const DateTime date = start + day;
      const std::string literal = "#" + date.ToIso() + "#";
      std::string jet = "select weekday(" + literal + "), day(" + literal + ")";
      std::vector<std::string> expected = {std::to_string(date.Weekday(1)),
                                           std::to_string(date.Day())};
      for (int first_day = 1; first_day <= 7; ++first_day) {
        jet += ", weekday(" + literal + ", " + std::to_string(first_day) + ")";
        expected.push_back(std::to_string(date.Weekday(first_day)));
      }
      EXPECT_EQ(postgres_->Query(ToPostgres(jet)), Rows{expected}) << jet;
    }
  }
  EXPECT_EQ(postgres_->Query(ToPostgres("select weekday(null, 2), day(null), day(max(pdate)) "
                                        "from periods")),
            (Rows{{"<null>", "<null>", "<null>"}}));
}

// The report's order: a directory's whole subtree right after it, letters without regard to
// case, everything else in byte order.
TEST_F(BothEnginesTest, JoinedPathsSortInTreeOrderAndCompareWithoutCase) {
  const std::pair<const char*, const char*> dirs[] = {
      {"R", "Users"},    {"R\\Users", "alice"}, {"R\\Users\\alice", "x"},
      {"R", "users2"},   {"R", "Users 2"},      {"R", "USERS\x01"},
      {"R", "Users[1]"}, {"R", "users_"},       {"R", "Us\xc3\xa9rs"},
      {"R", "u"},        {"R\\u", "Z"},         {"R", "u-"},
      {"R", "Users!"},   {"R\\Users", "Bob"},   {"R", "\xc3\xa9"},
      {"R", "~"}};
  for (const auto& [parent, dir] : dirs) {
    Both("insert into Dirs (DirParent, Dir, Brontal, pdate) values (" + Quoted(parent) + ", " +
         Quoted(dir) + ", 1, #12/6/26#)");
  }
  ExpectSameRows("select DirParent, Dir from Dirs order by dirparent & \"\\\" & dir, pdate");
  ExpectSameRows("select DirParent, Dir from Dirs order by dirparent & \"\\\" & dir desc");
  ExpectSameRows(
      "select dirparent & \"\\\" & dir as p, Brontal & \"\" from Dirs where dirparent & \"\\\" & "
      "dir = \"r\\USERS\\ALICE\" or dir & \"\" like \"U*\" order by Dir");
}

// Every statement the programs send, on two servers and four periods: P1 a Sunday, P2 a Monday,
// P3 the 1st of a month (a Sunday), P4 a Monday.
TEST_F(BothEnginesTest, ProgramStatementsGiveTheRowsSqliteGives) {
  const char* periods[] = {"#12/6/26 2:0:0#", "#11/30/26 2:0:0#", "#11/1/26 2:0:0#",
                           "#10/5/26 2:0:0#"};
  Both(
      "insert into Todo (Nodename, DirParent, Levels, LogFile) values (\"SERVER1\", \"R\", -1, "
      "\"/opt/brontal/brontals.log\")");
  Both(
      "insert into Todo (Nodename, DirParent, Levels) values (\"<defaultnodename>\", "
      "\"<defaultnodename>\", 3)");
  for (int i = 0; i < 4; ++i) {
    const std::string p = periods[i], grow = std::to_string((4 - i) * 1048576);
    auto dir = [&](const std::string& parent, const std::string& name, const std::string& size) {
      Both("insert into Dirs (DirParent, Dir, Brontal, pdate) values (" + Quoted(parent) + ", " +
           Quoted(name) + ", " + size + ", " + p + ")");
    };
    dir("R", "SERVER1", "1048576000 + " + grow);
    dir("R\\SERVER1", "C:", "1048576000 + " + grow);
    dir("R\\SERVER1\\C:", ".", "10485760");
    dir("R\\SERVER1\\C:", "WINNT", "629145600");
    dir("R\\SERVER1\\C:", "Users", "314572800 + " + grow);
    dir("R\\SERVER1\\C:", "users2", "94371840");
    dir("R\\SERVER1\\C:\\Users", "alice", "314572800 + " + grow);
    if (i < 2) {
      dir("R", "SERVER2", "2097152000");
      dir("R\\SERVER2", "D:", "2097152000");
      Both("insert into Parents (DirParent, pdate) values (\"R\\SERVER2\", " + p + ")");
      Both(
          "insert into Disks (DiskParent, Disk, DiskFree, DiskSize, pdate) values "
          "(\"R\\SERVER2\", \"D:\", 1048576, 3145728000, " +
          p + ")");
    }
    for (const char* parent : {"R\\SERVER1", "R\\SERVER1\\C:", "R\\SERVER1\\C:\\Users"}) {
      Both("insert into Parents (DirParent, pdate) values (" + Quoted(parent) + ", " + p + ")");
    }
    Both(
        "insert into Disks (DiskParent, Disk, DiskFree, DiskSize, pdate) values "
        "(\"R\\SERVER1\", \"C:\", 5242880000 - " +
        grow + ", 6291456000, " + p + ")");
    Both("insert into Periods (pdate) values (" + p + ")");
  }
  Both("insert into Periods (pdate) values (#12/6/26 2:0:0#)");

  const std::string two = " and (pdate=#12/6/26 2:0:0# or pdate=#11/30/26 2:0:0#)";
  const std::string order = " order by dirparent & \"\\\" & dir, pdate;";
  const std::string range = " and Dirs.pdate<=#12/6/26 2:0:0# and Dirs.pdate>=#10/5/26 2:0:0#";
  const std::string statements[] = {
      "select levels from todo where nodename = \"<DefaultNodeName>\"",
      "select Levels from todo where nodename = \"server1\" and dirparent=\"r\"",
      "select LogFile from Todo  where nodename='SERVER1'",
      "select distinct Parents.DirParent from Parents where Parents.pdate=#12/6/26 2:0:0# or "
      "Parents.pdate=#11/1/26 2:0:0# order by Parents.dirparent",
      "Select distinct pdate from Periods order by pdate desc",
      "select Dir, Brontal, pdate from Dirs where DirParent=\"r\\server1\\c:\" and "
      "(pdate=#12/6/26 2:0:0# or pdate=#11/1/26 2:0:0#) order by dir asc, pdate desc;",
      "select DirParent, Dir, Brontal, pdate from Dirs where DirParent = "
      "\"r\\server1\\c:\\users\"" +
          two + order,
      "select DirParent, Dir, Brontal, pdate from Dirs where DirParent like "
      "\"r\\server1\\c:\\users*\"" +
          two + order,
      "select DirParent, Dir, Brontal, pdate from Dirs where DirParent like \"r\\server1\\c:*\"" +
          two + order,
      "select \"R\" as DirParent2, \"R\" as Dir2, sum(Brontal) as Brontal2, pdate from Dirs "
      "where DirParent = \"R\"" +
          two + " group by pdate",
      "select DirParent as DirParent2, Dir as Dir2, Brontal as Brontal2, pdate from Dirs where "
      "DirParent = \"r\\server1\" and dir = \"c:\"" +
          two + order,
      "select max(pdate) as maxpdate from periods ",
      "select max(pdate) as maxpdate from parents  where dirparent = \"r\\server2\"",
      "select max(pdate) as maxpdate from parents  where dirparent = \"r\\server9\"",
      "select pdate from periods  where pdate <= #11/30/26 02:00# order by pdate desc",
      "select pdate from parents  where dirparent = \"r\\server2\"  and pdate <= #11/30/26 "
      "02:00# order by pdate desc",
      "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\"" + range +
          " group by pdate order by pdate asc;",
      "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\"" + range +
          " and weekday(pdate,2)=1 group by pdate order by pdate asc;",
      "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\"" + range +
          " and day(pdate)=1 group by pdate order by pdate asc;",
      "select Brontal as Brontals, pdate from Dirs where DirParent=\"r\\server1\\c:\" and "
      "dir=\"users\"" +
          range + " and weekday(pdate,2)=7 order by pdate asc;",
      "select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks where  (pdate=#12/6/26 "
      "2:0:0# or pdate=#11/1/26 2:0:0#) order by DiskParent, Disk, pdate desc;",
      "select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
      "Dirs.Brontal, Disks.pdate  from Dirs, Disks  where     Disks.DiskParent=\"r\\server1\" "
      "and Dirs.DirParent=\"r\\server1\"    and Disks.Disk=\"c:\" and Dirs.dir=\"c:\"" +
          range +
          "   and Dirs.Pdate=Disks.pdate  and weekday(disks.pdate,2)=1 order by Disks.pdate asc;",
      "select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
      "Dirs.Brontal, Disks.pdate  from Dirs, Disks  where     Disks.DiskParent=\"r\\server1\" "
      "and Dirs.DirParent=\"r\\server1\"    and Disks.Disk=\"c:\" and Dirs.dir=\"c:\"" +
          range + "   and Dirs.Pdate=Disks.pdate  and day(disks.pdate)=1 order by Disks.pdate asc;",
  };
  for (const std::string& statement : statements) ExpectSameRows(statement);

  // The purge: nothing older than 60 days, only the 1st beyond 30, only Mondays and the 1st
  // beyond 5, the day being 12/7/26 3:15.
  for (const char* table : {"periods", "dirs", "parents", "disks"}) {
    const std::string purge = std::string("delete * from ") + table + " where pdate < ";
    Both(purge + "#10/8/26 03:15#");
    Both(purge + "#11/7/26 03:15# and day(pdate)<>1");
    Both(purge + "#12/2/26 03:15# and weekday(pdate,2)<>1 and day(pdate)<>1");
  }
  for (const char* table : {"Periods", "Dirs", "Parents", "Disks"}) {
    ExpectSameRows(std::string("select * from ") + table);
  }
  ExpectSameRows("select count(*) as n from dirs");
}

// With a few thousand rows, the report's prefix like and its tree query read the directories
// through an index, as on SQLite. Sequential scans are turned off only to ask whether the
// planner has an index path at all; on a table this small it may rightly prefer to scan.
TEST_F(BothEnginesTest, PrefixLikeAndTreeQueryHaveAnIndexPath) {
  postgres_->Query(
      "insert into dirs select 'R\\SERVER' || (i % 20) || '\\C:\\Users\\d' || (i / 20), "
      "'x' || i, i, '2026-12-06 02:00:00' from generate_series(1, 5000) i; analyze dirs;"
      "set enable_seqscan = off");
  for (const char* jet :
       {"select Dir from Dirs where DirParent like \"r\\server1\\c:\\users\\d1*\"",
        "select DirParent, Dir, Brontal, pdate from Dirs where DirParent like "
        "\"r\\server1\\c:\\users\\d1*\" and (pdate=#12/6/26 2:0:0# or pdate=#11/30/26 2:0:0#) "
        "order by dirparent & \"\\\" & dir, pdate"}) {
    std::string plan;
    for (const auto& row : postgres_->Query("explain " + ToPostgres(jet))) plan += row[0] + "\n";
    EXPECT_EQ(plan.find("Seq Scan"), std::string::npos) << plan;
    EXPECT_NE(plan.find("Index Cond: ((dirparent >= "), std::string::npos) << plan;
  }
}

}  // namespace
}  // namespace brontal::jetsql
