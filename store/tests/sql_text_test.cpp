// Tests of the quoting helpers: names with quotes, wildcards and odd bytes pasted into SQL text
// must find exactly their own rows once the text is translated and run on SQLite.
#include "store/sql_text.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <set>
#include <string>
#include <vector>

#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/db/jetsql/translate.h"

namespace brontal {
namespace {

// Names a Linux directory may have that are hostile to SQL text and like patterns. No two
// differ only in letter case, since text compares without regard to case.
std::vector<std::string> HostileNames() {
  return {"plain",
          "quote\"d",
          "\"",
          "\"\"",
          "it's",
          "star*",
          "*",
          "what?",
          "pct%",
          "a%",
          "a_b",
          "a*b",
          "[bracket]",
          "]",
          "[",
          "#hash1",
          "a|b",
          "back\\slash\\",
          "new\nline",
          "\xff\xfe invalid",
          "\xc3\x28 bad",
          "mixed [*?#%_|\"'\\] end",
          std::string(120, 'n') + "[*?#]" + std::string(130, 'm')};  // 255 bytes
}

// Rows of a one-column table (text COLLATE NOCASE, as the size tables have), queried through
// the translator.
class NameTable {
 public:
  NameTable() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "create table t(x text collate nocase)", nullptr, nullptr, nullptr),
              SQLITE_OK);
  }
  ~NameTable() { sqlite3_close(db_); }
  NameTable(const NameTable&) = delete;
  NameTable& operator=(const NameTable&) = delete;

  void Insert(const std::string& value) {
    values_.push_back(value);
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db_, "insert into t values (?)", -1, &stmt, nullptr), SQLITE_OK);
    sqlite3_bind_text(stmt, 1, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    EXPECT_EQ(sqlite3_step(stmt), SQLITE_DONE);
    sqlite3_finalize(stmt);
  }
  const std::vector<std::string>& Values() const { return values_; }

  // The values that the Jet statement selects.
  std::multiset<std::string> Select(const std::string& jet) {
    const std::string sql = jetsql::Translate(jet, jetsql::SqliteDialect(), {2026});
    sqlite3_stmt* stmt = nullptr;
    std::multiset<std::string> rows;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &stmt, nullptr) !=
        SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db_) << "\n" << sql;
      return rows;
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      rows.emplace(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                   sqlite3_column_bytes(stmt, 0));
    }
    sqlite3_finalize(stmt);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
  std::vector<std::string> values_;
};

bool StartsWithIgnoringAsciiCase(const std::string& text, const std::string& prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(text[i]) != lower(prefix[i])) return false;
  }
  return true;
}

TEST(SqlTextTest, QuotesOnlyWhatNeedsIt) {
  EXPECT_EQ(SqlText("R\\SERVER1\\C:\\Program Files"), "R\\SERVER1\\C:\\Program Files");
  EXPECT_EQ(SqlText("say \"hi\""), "say \"\"hi\"\"");
  EXPECT_EQ(SqlText("*?#[%_'"), "*?#[%_'");
  EXPECT_EQ(SqlText(""), "");
  EXPECT_EQ(SqlLikeText("R\\SERVER1\\C:\\Users"), "R\\SERVER1\\C:\\Users");
  EXPECT_EQ(SqlLikeText("a*b?c#d[e]f%g_h\"i!-"), "a[*]b[?]c[#]d[[]e]f%g_h\"\"i!-");
  EXPECT_EQ(SqlLikeText(""), "");
}

TEST(SqlTextTest, EqualityFindsExactlyTheNamedRow) {
  NameTable table;
  for (const std::string& name : HostileNames()) table.Insert(name);
  for (const char* decoy : {"axb", "abc", "axxb", "quoted", "its", "star"}) {
    table.Insert(decoy);
  }
  for (const std::string& name : HostileNames()) {
    EXPECT_EQ(table.Select("select x from t where x = \"" + SqlText(name) + "\""),
              std::multiset<std::string>{name})
        << name;
  }
  // Letter case does not count, as everywhere in the size tables.
  EXPECT_EQ(table.Select("select x from t where x = \"" + SqlText("QUOTE\"D") + "\""),
            std::multiset<std::string>{"quote\"d"});
}

TEST(SqlTextTest, LikePrefixMatchesOnlyRowsWithThatPrefix) {
  NameTable table;
  for (const std::string& name : HostileNames()) {
    table.Insert(name);
    table.Insert(name + "\\child");
    // The same name with each wildcard position filled by something a wildcard would match.
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (std::string("*?#[%_|").find(name[i]) == std::string::npos) continue;
      for (const std::string fill : {"x", "", "xx", "1"}) {
        table.Insert(name.substr(0, i) + fill + name.substr(i + 1) + "\\child");
      }
    }
  }
  for (const std::string& prefix : HostileNames()) {
    std::multiset<std::string> expected;
    for (const std::string& value : table.Values()) {
      if (StartsWithIgnoringAsciiCase(value, prefix)) expected.insert(value);
    }
    EXPECT_EQ(table.Select("select x from t where x like \"" + SqlLikeText(prefix) + "*\""),
              expected)
        << prefix;
  }
  // Jet takes "_" and "%" literally even without quoting.
  EXPECT_EQ(table.Select("select x from t where x like \"a_b\""),
            std::multiset<std::string>{"a_b"});
}

}  // namespace
}  // namespace brontal
