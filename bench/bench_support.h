// What the viewer's benchmarks share: a raw SQLite connection beside the programs' own, and
// medians of timed runs, the programs' and the raw version taking turns.
#pragma once

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/jetsql/sqlite_dialect.h"

namespace brontal::bench {

using SteadyClock = std::chrono::steady_clock;

inline double Seconds(SteadyClock::time_point since) {
  return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

[[noreturn]] inline void Fail(sqlite3* db, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", what.c_str(), db ? sqlite3_errmsg(db) : "");
  std::exit(1);
}

// A read-only connection of its own, with the collations the translated SQL names.
class RawDatabase {
 public:
  explicit RawDatabase(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK ||
        jetsql::InstallSqliteCollations(db_) != SQLITE_OK) {
      Fail(db_, "opening " + path);
    }
  }
  ~RawDatabase() { sqlite3_close(db_); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // Runs sql and reads every column of every row out as the programs' layer does: text as text,
  // numbers as numbers, each value then dropped. Returns the row count.
  std::int64_t ReadAll(const std::string& sql) {
    sqlite3_stmt* statement = Prepare(sql);
    std::int64_t rows = 0;
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      ++rows;
      for (int i = 0; i < sqlite3_column_count(statement); ++i) {
        if (sqlite3_column_type(statement, i) == SQLITE_INTEGER) {
          (void)sqlite3_column_int64(statement, i);
        } else {
          (void)sqlite3_column_text(statement, i);
          (void)sqlite3_column_bytes(statement, i);
        }
      }
    }
    if (rc != SQLITE_DONE) Fail(db_, sql);
    sqlite3_finalize(statement);
    return rows;
  }

  // How SQLite runs sql: the details of its query plan joined by "; ".
  std::string Plan(const std::string& sql) {
    sqlite3_stmt* statement = Prepare("explain query plan " + sql);
    std::string plan;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      if (!plan.empty()) plan += "; ";
      plan += reinterpret_cast<const char*>(sqlite3_column_text(statement, 3));
    }
    sqlite3_finalize(statement);
    return plan;
  }

  // The single whole number sql gives, its "?" bound to texts in order.
  std::int64_t Number(const std::string& sql, const std::vector<std::string>& texts = {}) {
    sqlite3_stmt* statement = Prepare(sql);
    for (std::size_t i = 0; i < texts.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i) + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(statement) != SQLITE_ROW) Fail(db_, sql);
    std::int64_t value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
  }

  // The first column of the first row of sql as text; empty when there is none.
  std::string Text(const std::string& sql) {
    sqlite3_stmt* statement = Prepare(sql);
    std::string text;
    if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_text(statement, 0)) {
      text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    }
    sqlite3_finalize(statement);
    return text;
  }

 private:
  sqlite3_stmt* Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail(db_, sql);
    return statement;
  }

  sqlite3* db_ = nullptr;
};

// One figure: the program's median time and the raw version's, in seconds.
struct Figure {
  double mine = 0;
  double raw = 0;
  double Ratio() const { return mine / raw; }
};

// The median time of `runs` runs of `work`, after one to warm the cache.
inline double MedianTime(int runs, const std::function<void()>& work) {
  work();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = SteadyClock::now();
    work();
    times.push_back(Seconds(start));
  }
  return Median(times);
}

// Runs the program's and the raw version in turn, after one of each to warm the cache.
inline Figure Measure(int runs, const std::function<void()>& mine,
                      const std::function<void()>& raw) {
  mine();
  raw();
  std::vector<double> mine_times, raw_times;
  for (int i = 0; i < runs; ++i) {
    auto start = SteadyClock::now();
    mine();
    mine_times.push_back(Seconds(start));
    start = SteadyClock::now();
    raw();
    raw_times.push_back(Seconds(start));
  }
  return {Median(mine_times), Median(raw_times)};
}

}  // namespace brontal::bench
