// Tests of the Jet SQL tokenizer and its translation into SQLite: the text produced for the
// programs' statements, and what that text does when SQLite runs it.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/datetime.h"
#include "platform/db/db_error.h"
#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/db/jetsql/tokenizer.h"
#include "platform/db/jetsql/translate.h"

namespace brontal::jetsql {
namespace {

std::string ToSqlite(std::string_view jet, int reference_year = 2026) {
  return Translate(jet, SqliteDialect(), TranslateOptions{reference_year});
}

void ExpectSyntaxError(const std::function<void()>& action, const std::string& label) {
  try {
    action();
    ADD_FAILURE() << "no error for: " << label;
  } catch (const db::DbError& error) {
    EXPECT_EQ(error.Number(), db::kSqlSyntax) << label;
    EXPECT_EQ(error.Description().rfind("Syntax error", 0), 0u) << error.Description();
  }
}

// An in-memory database holding the tables the statements name, text columns COLLATE PATHTEXT.
class MemoryDb {
 public:
  MemoryDb() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    EXPECT_EQ(InstallSqliteCollations(db_), SQLITE_OK);
    Exec(
        "create table Periods(pdate text);"
        "create table Parents(DirParent text collate nocase, pdate text);"
        "create table Dirs(DirParent text collate nocase, Dir text collate nocase, Brontal "
        "integer, pdate text);"
        "create index DirsParent on Dirs(DirParent);"
        "create table Disks(DiskParent text collate nocase, Disk text collate nocase, DiskFree "
        "integer, DiskSize integer, pdate text);"
        "create table Todo(Nodename text collate nocase, DirParent text collate nocase, Levels "
        "integer, LogFile text collate nocase);"
        "create table t(x text collate nocase);");
  }
  ~MemoryDb() { sqlite3_close(db_); }
  MemoryDb(const MemoryDb&) = delete;
  MemoryDb& operator=(const MemoryDb&) = delete;

  void Exec(const std::string& sql) {
    char* message = nullptr;
    EXPECT_EQ(sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK)
        << (message ? message : "") << "\n"
        << sql;
    sqlite3_free(message);
  }
  void InsertText(const std::string& value) {
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, "insert into t values (?)", -1, &stmt, nullptr), SQLITE_OK);
    sqlite3_bind_text(stmt, 1, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
  }
  // Every row's columns as text joined by "|", rows joined by ";".
  std::string Rows(const std::string& sql) {
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()), &stmt, &tail) !=
        SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << "\n" << sql;
      return "<error>";
    }
    EXPECT_EQ(std::string(tail), "") << "more than one statement: " << sql;
    std::string rows;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      if (!rows.empty()) rows += ';';
      for (int i = 0; i < sqlite3_column_count(stmt); ++i) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
        rows += (i ? "|" : "") + std::string(text ? text : "NULL");
      }
    }
    sqlite3_finalize(stmt);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
};

TEST(JetTokenizerTest, SplitsEveryKindOfToken) {
  const std::string sql =
      "select [a b],\"x\"\"y\",'it''s',#1/2/26#, 1.5e3 from t.u where a<=b and c<>d&e;";
  std::string seen;
  for (const Token& token : Tokenize(sql)) {
    if (token.kind == TokenKind::kSpace) continue;
    seen += std::to_string(static_cast<int>(token.kind)) + ":" + std::string(token.text) + " ";
  }
  EXPECT_EQ(seen,
            "1:select 2:[a b] 7:, 4:\"x\"\"y\" 7:, 5:'it''s' 7:, 6:#1/2/26# 7:, 3:1.5e3 "
            "1:from 1:t 7:. 1:u 1:where 1:a 7:<= 1:b 1:and 1:c 7:<> 1:d 7:& 1:e 7:; ");
  const std::vector<Token> tokens = Tokenize("\"x\"\"y\" 'it''s' [a b] #1/2/26#");
  EXPECT_EQ(TokenValue(tokens[0]), "x\"y");
  EXPECT_EQ(TokenValue(tokens[2]), "it's");
  EXPECT_EQ(TokenValue(tokens[4]), "a b");
  EXPECT_EQ(TokenValue(tokens[6]), "1/2/26");
}

TEST(JetTokenizerTest, LiteralsAndNamesKeepNewlinesAndInvalidUtf8) {
  const std::vector<Token> tokens = Tokenize("\"a\nb\xff\xfe\" caf\xc3\xa9\xff");
  ASSERT_EQ(tokens.size(), 3u);
  EXPECT_EQ(TokenValue(tokens[0]), "a\nb\xff\xfe");
  EXPECT_EQ(tokens[2].kind, TokenKind::kIdentifier);
  EXPECT_EQ(tokens[2].text, "caf\xc3\xa9\xff");
}

TEST(JetTokenizerTest, RejectsUnterminatedLiteralsAndStrayCharacters) {
  for (const std::string& sql :
       std::vector<std::string>{"\"abc", "'abc", "\"a\"\"", "#1/2/26", "[abc", "a ! b", "a ? b",
                                "a % b", std::string("a\0b", 3), std::string("'a\0'", 4)}) {
    ExpectSyntaxError([&] { Tokenize(sql); }, sql);
  }
}

// Each statement the programs write, with the SQLite text expected for it.
TEST(JetTranslateTest, ProgramStatements) {
  const std::pair<std::string, std::string> cases[] = {
      {"select distinct Parents.DirParent from Parents where Parents.pdate=#12/6/26 22:0:0# or "
       "Parents.pdate=#11/29/26 2:0:0# order by Parents.dirparent",
       "select distinct Parents.DirParent from Parents where Parents.pdate='2026-12-06 22:00:00' "
       "or Parents.pdate='2026-11-29 02:00:00' order by Parents.dirparent"},
      {"select Dir, Brontal, pdate from Dirs where DirParent=\"r\\server1\\c:\" and "
       "(pdate=#12/6/26 22:4:5# or pdate=#11/29/26 2:0:0#) order by dir asc, pdate desc;",
       "select Dir, Brontal, pdate from Dirs where DirParent='r\\server1\\c:' and "
       "(pdate='2026-12-06 22:04:05' or pdate='2026-11-29 02:00:00') order by dir asc, pdate "
       "desc"},
      {"select DirParent, Dir, Brontal, pdate from Dirs where DirParent like \"r\\server1\\c:*\" "
       "and (pdate=#12/6/26 2:0:0# or pdate=#11/6/26 2:0:0#) order by dirparent & \"\\\" & dir, "
       "pdate;",
       "select DirParent, Dir, Brontal, pdate from Dirs where DirParent like 'r\\server1\\c:%' "
       "and (pdate='2026-12-06 02:00:00' or pdate='2026-11-06 02:00:00') order by (dirparent || "
       "'\\' || dir) COLLATE PATHTEXT, pdate"},
      {"select \"R\" as DirParent2, \"R\" as Dir2, sum(Brontal) as Brontal2, pdate from Dirs "
       "where DirParent = \"R\" and (pdate=#12/6/26 2:0:0# or pdate=#11/6/26 2:0:0#) group by "
       "pdate",
       "select 'R' as DirParent2, 'R' as Dir2, sum(Brontal) as Brontal2, pdate from Dirs where "
       "DirParent = 'R' and (pdate='2026-12-06 02:00:00' or pdate='2026-11-06 02:00:00') group "
       "by pdate"},
      {"select DirParent as DirParent2, Dir as Dir2, Brontal as Brontal2, pdate from Dirs where "
       "DirParent = \"R\\SERVER1\" and dir = \"C:\" and (pdate=#12/6/26 2:0:0# or "
       "pdate=#11/6/26 2:0:0#) order by dirparent & \"\\\" & dir, pdate;",
       "select DirParent as DirParent2, Dir as Dir2, Brontal as Brontal2, pdate from Dirs where "
       "DirParent = 'R\\SERVER1' and dir = 'C:' and (pdate='2026-12-06 02:00:00' or "
       "pdate='2026-11-06 02:00:00') order by (dirparent || '\\' || dir) COLLATE PATHTEXT, pdate"},
      {"delete * from periods where pdate < #10/1/26 03:15#",
       "delete from periods where pdate < '2026-10-01 03:15:00'"},
      {"delete * from dirs where pdate < #10/1/26 03:15# and day(pdate)<>1",
       "delete from dirs where pdate < '2026-10-01 03:15:00' and CAST(strftime('%d', pdate) AS "
       "INTEGER)<>1"},
      {"delete * from disks where pdate < #10/1/26 03:15# and weekday(pdate,2)<>1 and "
       "day(pdate)<>1",
       "delete from disks where pdate < '2026-10-01 03:15:00' and ((CAST(strftime('%w', pdate) "
       "AS INTEGER) + 6) % 7 + 1)<>1 and CAST(strftime('%d', pdate) AS INTEGER)<>1"},
      {"select max(pdate) as maxpdate from periods ",
       "select max(pdate) as maxpdate from periods "},
      {"select max(pdate) as maxpdate from parents  where dirparent = \"r\\server1\"",
       "select max(pdate) as maxpdate from parents  where dirparent = 'r\\server1'"},
      {"select pdate from parents  where dirparent = \"r\\server1\"  and pdate <= #11/29/26 "
       "02:00# order by pdate desc",
       "select pdate from parents  where dirparent = 'r\\server1'  and pdate <= '2026-11-29 "
       "02:00:00' order by pdate desc"},
      {"Select distinct pdate from Periods order by pdate desc",
       "Select distinct pdate from Periods order by pdate desc"},
      {"select LogFile from Todo  where nodename='SERVER1'",
       "select LogFile from Todo  where nodename='SERVER1'"},
      {"select Levels from todo where nodename = \"SERVER1\" and dirparent=\"R\"",
       "select Levels from todo where nodename = 'SERVER1' and dirparent='R'"},
      {"select levels from todo where nodename = \"<defaultnodename>\"",
       "select levels from todo where nodename = '<defaultnodename>'"},
      {"select sum(Brontal) as Brontals, pdate  from Dirs where DirParent=\"R\" and "
       "pdate<=#12/6/26 2:0:0# and pdate>=#1/1/26 2:0:0# and weekday(pdate,2)=7 group by pdate "
       "order by pdate asc;",
       "select sum(Brontal) as Brontals, pdate  from Dirs where DirParent='R' and "
       "pdate<='2026-12-06 02:00:00' and pdate>='2026-01-01 02:00:00' and "
       "((CAST(strftime('%w', pdate) AS INTEGER) + 6) % 7 + 1)=7 group by pdate order by pdate "
       "asc"},
      {"select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks where  (pdate=#12/6/26 "
       "2:0:0# or pdate=#11/6/26 2:0:0#) order by DiskParent, Disk, pdate desc;",
       "select Disk, pdate, DiskParent, DiskSize, DiskFree from Disks where  (pdate='2026-12-06 "
       "02:00:00' or pdate='2026-11-06 02:00:00') order by DiskParent, Disk, pdate desc"},
      {"select distinctrow Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, "
       "Dirs.Brontal, Disks.pdate  from Dirs, Disks  where     Disks.DiskParent=\"r\\server1\" "
       "and Dirs.DirParent=\"r\\server1\"    and Disks.Disk=\"c:\" and Dirs.dir=\"c:\"   and "
       "Dirs.pdate<=#12/6/26 2:0:0#   and Dirs.pdate>=#1/1/26 2:0:0#   and "
       "Dirs.Pdate=Disks.pdate  and weekday(disks.pdate,2)=1 order by Disks.pdate asc;",
       "select Disks.DiskParent, Disks.Disk, Disks.DiskFree, Disks.DiskSize, Dirs.Brontal, "
       "Disks.pdate  from Dirs, Disks  where     Disks.DiskParent='r\\server1' and "
       "Dirs.DirParent='r\\server1'    and Disks.Disk='c:' and Dirs.dir='c:'   and "
       "Dirs.pdate<='2026-12-06 02:00:00'   and Dirs.pdate>='2026-01-01 02:00:00'   and "
       "Dirs.Pdate=Disks.pdate  and ((CAST(strftime('%w', disks.pdate) AS INTEGER) + 6) % 7 + "
       "1)=1 order by Disks.pdate asc"},
  };
  MemoryDb db;
  for (const auto& [jet, expected] : cases) {
    const std::string sqlite = ToSqlite(jet);
    EXPECT_EQ(sqlite, expected);
    EXPECT_NE(db.Rows(sqlite), "<error>");
  }
}

TEST(JetTranslateTest, KeepsLayoutAndQuotesWhatNeedsIt) {
  EXPECT_EQ(ToSqlite("select a,\n\tb\r\nfrom t   where x=1"),
            "select a,\n\tb\r\nfrom t   where x=1");
  EXPECT_EQ(ToSqlite("select [my col] from [t \"1\"]"), "select \"my col\" from \"t \"\"1\"\"\"");
  EXPECT_EQ(ToSqlite("select x--1, y/*2 from t"), "select x- -1, y/ *2 from t");
  EXPECT_EQ(ToSqlite("select day, weekday from t"), "select day, weekday from t");
  EXPECT_EQ(ToSqlite("select count(*), Max(x) from t;  \n"), "select count(*), Max(x) from t");
}

TEST(JetTranslateTest, TextLiteralsKeepEveryByte) {
  EXPECT_EQ(ToSqlite("select \"it's\", \"say \"\"hi\"\"\", 'a''b', \"\""),
            "select 'it''s', 'say \"hi\"', 'a''b', ''");
  MemoryDb db;
  EXPECT_EQ(db.Rows(ToSqlite("select \"it's\", \"say \"\"hi\"\"\", 'a''b', \"\", \"a\nb\"")),
            "it's|say \"hi\"|a'b||a\nb");
}

TEST(JetTranslateTest, DateLiterals) {
  struct Case {
    const char* literal;
    int reference_year;
    const char* stored;
  };
  const Case cases[] = {
      {"12/6/26 22:4:5", 2026, "2026-12-06 22:04:05"},
      {"12/6/26 22:04", 2026, "2026-12-06 22:04:00"},
      {"12/06/2026", 2026, "2026-12-06 00:00:00"},
      {" 1/2/26  2:05 PM ", 2026, "2026-01-02 14:05:00"},
      {"1/2/26 12:00 am", 2026, "2026-01-02 00:00:00"},
      {"1/2/26 12:30:01 PM", 2026, "2026-01-02 12:30:01"},
      {"2026-12-06 22:04:05", 2026, "2026-12-06 22:04:05"},
      {"2026-12-06", 2026, "2026-12-06 00:00:00"},
      {"2/29/00", 2026, "2000-02-29 00:00:00"},
      // Two-digit years fall within 50 years before and 49 after the reference year.
      {"1/1/76", 2026, "1976-01-01 00:00:00"},
      {"1/1/75", 2026, "2075-01-01 00:00:00"},
      {"1/1/30", 2040, "2030-01-01 00:00:00"},
      {"1/1/89", 2040, "2089-01-01 00:00:00"},
      {"1/1/90", 2040, "1990-01-01 00:00:00"},
      {"1/1/5", 2040, "2005-01-01 00:00:00"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToSqlite(std::string("select #") + c.literal + "#", c.reference_year),
              std::string("select '") + c.stored + "'")
        << c.literal;
  }
  for (const char* bad : {"13/40/26", "2/30/26", "2/29/27", "12/6/26 24:00", "12/6/26 22:60",
                          "12/6/26 13:00 PM", "12/6/26 1:00 XM", "12/6/123", "12/6", "12/6/26 22",
                          "12/6/26x", "12/6/2622:00", "12/6/0026", "", "22:00"}) {
    ExpectSyntaxError([&] { ToSqlite(std::string("select #") + bad + "#"); }, bad);
  }
}

TEST(JetTranslateTest, LikeBecomesLikeOrCaseFoldingGlob) {
  const std::pair<const char*, const char*> cases[] = {
      {"x like \"r\\server1\\c:*\"", "x like 'r\\server1\\c:%'"},
      {"x Like \"a?c\"", "x Like 'a_c'"},
      {"x like \"50%_*\"", "x like '50|%|_%' escape '|'"},
      {"x like \"a|b\"", "x like 'a||b' escape '|'"},
      {"x like \"it's*\"", "x like 'it''s%'"},
      {"x like '[*]x[?][#][[]*'", "x like '*x?#[%'"},
      {"x like \"#[a-c][!x]*\"", "x glob '[0-9][a-cA-C][^xX]*'"},
      {"x NOT LIKE \"a#*?\"", "x NOT GLOB '[aA][0-9]*?'"},
      {"x like \"[*]#[-a]\"", "x glob '[*][0-9][-aA]'"},
      {"x like \"[^a][^-z]#\"", "x glob '[aA^][A-Z^-z][0-9]'"},
      {"x like\n  \"[!x-z]#\"", "x glob\n  '[^x-zX-Z][0-9]'"},
  };
  for (const auto& [jet, expected] : cases) {
    EXPECT_EQ(ToSqlite(std::string("select 1 from t where ") + jet),
              std::string("select 1 from t where ") + expected);
  }
  for (const char* bad : {"x like \"[a\"", "x like \"[]\"", "x like \"[!]\"", "x like \"[z-a]\"",
                          "x like y", "x like", "x like \"a\" & \"b\"", "x like \"a\" + y"}) {
    ExpectSyntaxError([&] { ToSqlite(std::string("select 1 from t where ") + bad); }, bad);
  }
}

// What the translated patterns match when SQLite runs them, against Jet's rules.
TEST(JetTranslateTest, LikePatternsMatchAsJetDoes) {
  struct Case {
    const char* pattern;
    const char* text;
    bool matches;
  };
  const Case cases[] = {
      {"a*a", "aBBBa", true},     {"a*a", "aBC", false},
      {"*ab*", "xABy", true},     {"a?a", "aaa", true},
      {"a?a", "aBBa", false},     {"?", "\xc3\xa9", true},
      {"a#a", "a0a", true},       {"a#a", "aaa", false},
      {"#", "12", false},         {"[a-z]", "F", true},
      {"[a-z]", "&", false},      {"[!a-z]", "9", true},
      {"[!a-z]", "B", false},     {"a[*]a", "a*a", true},
      {"a[*]a", "aaa", false},    {"a_b", "A_B", true},
      {"a_b", "axb", false},      {"100%", "1000", false},
      {"100%", "100%", true},     {"[[]x", "[x", true},
      {"[[]x", "x", false},       {"a[!b-m]#", "An9", true},
      {"a[!b-m]#", "AM9", false}, {"[^a]", "^", true},
      {"[^a]", "b", false},       {"[a-]", "-", true},
      {"[a-]", "b", false},       {"x|y*", "x|yz", true},
      {"x|y*", "xy", false},      {"[!^]", "^", false},
      {"a]", "A]", true},         {"[\xc3\xa9]", "\xc3\xa9", true},
      {"[xy]#", "Y1", true},
  };
  MemoryDb db;
  for (const Case& c : cases) {
    db.Exec("delete from t");
    db.InsertText(c.text);
    const std::string sql =
        ToSqlite(std::string("select count(*) from t where x like \"") + c.pattern + "\"");
    EXPECT_EQ(db.Rows(sql), c.matches ? "1" : "0") << c.pattern << " ~ " << c.text << "\n" << sql;
  }
}

// SQLite narrows a LIKE with a fixed prefix to an index range on a NOCASE column, escape
// clause or not; GLOB cannot use that index.
TEST(JetTranslateTest, PrefixLikeUsesTheIndex) {
  MemoryDb db;
  for (const char* pattern : {"r\\server1\\c:\\users*", "r\\server1\\c:\\a_b%*"}) {
    const std::string plan =
        db.Rows("explain query plan " + ToSqlite(std::string("select Dir from Dirs where DirParent "
                                                             "like \"") +
                                                 pattern + "\""));
    EXPECT_NE(plan.find("USING INDEX DirsParent"), std::string::npos) << pattern << ": " << plan;
  }
}

TEST(JetTranslateTest, WeekdayAndDayAgreeWithDateTime) {
  MemoryDb db;
  for (int day = 0; day < 14; ++day) {
    const DateTime date = DateTime::FromCivil(2026, 11, 30, 2) + day;
    const std::string literal =
        "#" + std::to_string(date.Month()) + "/" + std::to_string(date.Day()) + "/26 2:0:0#";
    std::string jet = "select weekday(" + literal + "), day(" + literal + ")";
    std::string expected = std::to_string(date.Weekday(1)) + "|" + std::to_string(date.Day());
    for (int first_day = 1; first_day <= 7; ++first_day) {
      jet += ", weekday( " + literal + " , " + std::to_string(first_day) + " )";
      expected += "|" + std::to_string(date.Weekday(first_day));
    }
    EXPECT_EQ(db.Rows(ToSqlite(jet)), expected) << jet;
  }
  EXPECT_EQ(db.Rows(ToSqlite("select weekday(null, 2), day(null)")), "NULL|NULL");
  EXPECT_EQ(ToSqlite("select day(max(pdate)) from t"),
            "select CAST(strftime('%d', max(pdate)) AS INTEGER) from t");
  for (const char* bad :
       {"weekday(pdate, 8)", "weekday(pdate, 0)", "weekday(pdate, x)", "weekday(pdate, 2, 3)",
        "weekday(pdate,)", "day()", "day(a, b)", "day(a"}) {
    ExpectSyntaxError([&] { ToSqlite(std::string("select ") + bad + " from t"); }, bad);
  }
}

TEST(JetTranslateTest, ConcatenationKeepsJetPrecedenceAndIgnoresCase) {
  EXPECT_EQ(ToSqlite("select a & b + 1 from t"), "select (a || (b + 1)) COLLATE PATHTEXT from t");
  MemoryDb db;
  // Arithmetic binds tighter than "&", comparison looser; text compares without case.
  EXPECT_EQ(db.Rows(ToSqlite("select 1 + 2 & 3 * 4, -1 & \"x\", \"a\" & 1 + 1 = \"A2\", "
                             "(\"a\" & (\"b\" & \"c\"))")),
            "312|-1x|1|abc");
  db.Exec("insert into Dirs values ('B', 'y', 1, ''), ('a', 'x', 2, '')");
  EXPECT_EQ(db.Rows(ToSqlite("select Dir from Dirs order by dirparent & \"\\\" & dir")), "x;y");
  ExpectSyntaxError([] { ToSqlite("select a & from t"); }, "missing operand");
}

TEST(JetTranslateTest, StatementBoundaries) {
  for (const char* bad : {"", "  ", ";", "select 1; select 2", "select 1;;",
                          "delete dirs.* from dirs", "select (1 from t"}) {
    ExpectSyntaxError([&] { ToSqlite(bad); }, bad);
  }
}

TEST(JetTranslateTest, DeepNestingIsASyntaxErrorNotACrash) {
  auto nested = [](int depth, const std::string& open, const std::string& close) {
    std::string sql = "select ";
    for (int i = 0; i < depth; ++i) sql += open;
    sql += "#1/2/26#";
    for (int i = 0; i < depth; ++i) sql += close;
    return sql + " from t";
  };
  auto expect_too_deep = [](const std::string& sql) {
    try {
      ToSqlite(sql);
      ADD_FAILURE() << "no error for " << sql.substr(0, 40);
    } catch (const db::DbError& error) {
      EXPECT_EQ(error.Number(), db::kSqlSyntax);
      EXPECT_NE(error.Description().find("nested more than 200 levels"), std::string::npos)
          << error.Description();
    }
  };
  for (int depth : {201, 18000}) {
    expect_too_deep(nested(depth, "day(", ")"));
    expect_too_deep(nested(depth, "(", ")"));
  }
  expect_too_deep(nested(100000, "- ", ""));
  EXPECT_NO_THROW(ToSqlite(nested(50, "day(", ")")));
  EXPECT_NO_THROW(ToSqlite(nested(199, "(", ")")));
}

TEST(JetTranslateTest, LongSumsAndDottedNamesTranslateInLinearTime) {
  // Every operand of a sum and every part of a dotted name is asked whether a "&" follows its
  // chain; walking the rest of the chain each time made 20,000 operands take minutes.
  std::string sum = "select 1", dotted = "select a";
  for (int i = 0; i < 50000; ++i) {
    sum += i % 2 ? " + 1" : " * (1)";
    dotted += ".a";
  }
  for (const std::string& sql : {sum, dotted}) EXPECT_EQ(ToSqlite(sql), sql);
  EXPECT_EQ(ToSqlite("select t.a + t.b & (1 + 2) & c.d(1) from t"),
            "select ((t.a + t.b) || (1 + 2) || c.d(1)) COLLATE PATHTEXT from t");
}

}  // namespace
}  // namespace brontal::jetsql
