// The viewer's tree and list on a large database, each beside the same queries run straight
// through SQLite on the same file in the same run: start-up to a filled tree and root list, the
// tree after a new pick of periods, and the lists of a drive, of the deepest directory and of
// the directory with the most children.
//
//   viewer_bench DATABASE
//
// DATABASE is made by brontal-demo (bench/run makes it once and reuses it). Times are medians
// of several runs on a warm cache, the viewer's and the raw queries taking turns.
#include <sqlite3.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/fixed_locale.h"
#include "platform/sqlite_engine.h"
#include "store/text.h"
#include "viewer/periods.h"
#include "viewer/tree_list.h"

namespace brontal {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Previous week: two periods a week apart, as an administrator most often compares.
constexpr std::string_view kCompareWhen = "2";
constexpr int kStartupRuns = 7;
constexpr int kListRuns = 15;
// The index over (DirParent, pdate) of Dirs.
constexpr std::string_view kPeriodIndex = "Dirs_ParentPeriod";

double Seconds(SteadyClock::time_point since) {
  return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

[[noreturn]] void Fail(sqlite3* db, const std::string& what) {
  std::fprintf(stderr, "viewer_bench: %s: %s\n", what.c_str(), db ? sqlite3_errmsg(db) : "");
  std::exit(1);
}

// A read-only SQLite connection of its own, for the raw queries.
class RawDatabase {
 public:
  explicit RawDatabase(const std::string& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      Fail(db_, "opening " + path);
    }
  }
  ~RawDatabase() { sqlite3_close(db_); }
  RawDatabase(const RawDatabase&) = delete;
  RawDatabase& operator=(const RawDatabase&) = delete;

  // Runs sql and reads every column of every row out as the viewer's layer does: text as text,
  // numbers as numbers, each value then dropped. Returns the row count.
  std::int64_t ReadAll(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      Fail(db_, sql);
    }
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
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, ("explain query plan " + sql).c_str(), -1, &statement, nullptr) !=
        SQLITE_OK) {
      Fail(db_, sql);
    }
    std::string plan;
    while (sqlite3_step(statement) == SQLITE_ROW) {
      if (!plan.empty()) plan += "; ";
      plan += reinterpret_cast<const char*>(sqlite3_column_text(statement, 3));
    }
    sqlite3_finalize(statement);
    return plan;
  }

  // The single whole number sql gives.
  std::int64_t Number(const std::string& sql, const std::vector<std::string>& texts = {}) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      Fail(db_, sql);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
      sqlite3_bind_text(statement, static_cast<int>(i) + 1, texts[i].c_str(), -1, SQLITE_TRANSIENT);
    }
    if (sqlite3_step(statement) != SQLITE_ROW) Fail(db_, sql);
    std::int64_t value = sqlite3_column_int64(statement, 0);
    sqlite3_finalize(statement);
    return value;
  }

 private:
  sqlite3* db_ = nullptr;
};

// The statements the engine hands SQLite for the viewer's SQL: dates in the stored form, text
// between single quotes, the same indexes.
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
  return quoted + "'";
}
const std::string kRawPeriods = "select distinct pdate from Periods order by pdate desc";
std::string RawTree(DateTime period1, DateTime period2) {
  return "select distinct Parents.DirParent from Parents where Parents.pdate=" +
         Quoted(period1.ToIso()) + " or Parents.pdate=" + Quoted(period2.ToIso()) +
         " order by Parents.dirparent";
}
// `index` names an index the query is held to, for comparing plans; empty leaves the choice to
// SQLite, as the viewer does.
std::string RawList(std::string_view key, DateTime period1, DateTime period2,
                    std::string_view index = "") {
  const std::string dirs = index.empty() ? "Dirs" : "Dirs indexed by " + std::string(index);
  return "select Dir, Brontal, pdate from " + dirs + " where DirParent=" + Quoted(key) +
         " and (pdate=" + Quoted(period1.ToIso()) + " or pdate=" + Quoted(period2.ToIso()) +
         ") order by dir asc, pdate desc";
}

// One figure: the viewer's time and the raw queries' time, medians in seconds.
struct Figure {
  double viewer = 0;
  double raw = 0;
};

// The median time of `runs` runs of `work`, after one to warm the cache.
double MedianTime(int runs, const std::function<void()>& work) {
  work();
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const auto start = SteadyClock::now();
    work();
    times.push_back(Seconds(start));
  }
  return Median(times);
}

// Runs the viewer's and the raw version in turn, after one of each to warm the cache.
Figure Measure(int runs, const std::function<void()>& viewer, const std::function<void()>& raw) {
  viewer();
  raw();
  std::vector<double> viewer_times, raw_times;
  for (int i = 0; i < runs; ++i) {
    auto start = SteadyClock::now();
    viewer();
    viewer_times.push_back(Seconds(start));
    start = SteadyClock::now();
    raw();
    raw_times.push_back(Seconds(start));
  }
  return {Median(viewer_times), Median(raw_times)};
}

void Print(const std::string& what, const Figure& figure, const std::string& note) {
  std::printf("%-32s viewer %8.1f ms   raw sqlite %8.1f ms   ratio %5.2f   %s\n", what.c_str(),
              figure.viewer * 1e3, figure.raw * 1e3, figure.viewer / figure.raw, note.c_str());
}

// The places whose lists are timed, chosen from the tree of the newest periods.
struct Places {
  std::string drive;    // the drive with the most children
  std::string deepest;  // the deepest parent, the one with the most children among them
  std::string widest;   // the parent with the most children
};

Places ChoosePlaces(RawDatabase& raw, const std::vector<TreeItem>& tree, DateTime period) {
  Places places;
  std::int64_t drive_children = -1, deepest_children = -1, widest_children = -1;
  int deepest_level = -1;
  for (const TreeItem& item : tree) {
    const std::int64_t children = raw.Number(
        "select count(*) from Dirs where DirParent=?1 and pdate=?2", {item.key, period.ToIso()});
    if (item.backslashes == 2 && children > drive_children) {
      places.drive = item.key;
      drive_children = children;
    }
    if (item.backslashes > deepest_level ||
        (item.backslashes == deepest_level && children > deepest_children)) {
      places.deepest = item.key;
      deepest_level = item.backslashes;
      deepest_children = children;
    }
    if (children > widest_children) {
      places.widest = item.key;
      widest_children = children;
    }
  }
  return places;
}

long PeakKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

int Run(const std::string& path) {
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "viewer_bench: %s does not exist; make it with brontal-demo\n",
                 path.c_str());
    return 1;
  }
  auto engine = db::MakeSqliteEngine();
  FixedLocale locale;
  RawDatabase raw(path);
  const long memory_before = PeakKiB();

  // The pick the viewer starts with: the newest period and the one a week before.
  std::vector<DateTime> dates;
  DateTime period1, period2;
  std::vector<TreeItem> tree;
  std::vector<ListRow> list;
  std::size_t tree_items = 0, root_rows = 0;
  const DateTime now = SystemClock().Now();
  auto viewer_startup = [&] {
    auto database = engine->DefaultWorkspace().OpenDatabase(path);
    dates = LoadPeriodDates(*database);
    if (dates.empty()) {
      std::fprintf(stderr, "viewer_bench: %s holds no period\n", path.c_str());
      std::exit(1);
    }
    period1 = dates.front();
    period2 = dates[static_cast<std::size_t>(*ComparisonIndex(dates, kCompareWhen, now))];
    tree = TreeAllParents(*database, period1, period2);
    list = MakeL(*database, kRootKey, PeriodText(period1, locale), PeriodText(period2, locale),
                 locale);
    tree_items = tree.size();
    root_rows = list.size();
    database->Close();
  };
  auto raw_startup = [&] {
    RawDatabase fresh(path);
    fresh.ReadAll(kRawPeriods);
    fresh.ReadAll(RawTree(period1, period2));
    fresh.ReadAll(RawList(kRootKey, period1, period2));
  };
  viewer_startup();  // learns the periods the raw queries use
  const Figure startup = Measure(kStartupRuns, viewer_startup, raw_startup);

  const std::int64_t dirs_rows = raw.Number("select max(rowid) from Dirs");
  std::printf("viewer on %lld Dirs rows (%.1f GB), %zu periods; P1 %s, P2 %s\n",
              static_cast<long long>(dirs_rows),
              static_cast<double>(std::filesystem::file_size(path)) / 1e9, dates.size(),
              PeriodText(period1, locale).c_str(), PeriodText(period2, locale).c_str());
  Print("start-up to tree and root list", startup,
        std::to_string(tree_items) + " tree items, " + std::to_string(root_rows) + " list rows");

  // A new pick: the period a month back against the oldest one.
  auto database = engine->DefaultWorkspace().OpenDatabase(path);
  const DateTime pick1 = dates[std::min<std::size_t>(30, (dates.size() - 1) / 2)];
  const DateTime pick2 = dates.back();
  std::size_t picked_items = 0;
  const Figure repick = Measure(
      kListRuns, [&] { picked_items = TreeAllParents(*database, pick1, pick2).size(); },
      [&] { raw.ReadAll(RawTree(pick1, pick2)); });
  Print("tree after a new pick", repick,
        std::to_string(picked_items) + " tree items, " + PeriodText(pick1, locale) + " and " +
            PeriodText(pick2, locale));

  const Places places = ChoosePlaces(raw, tree, period1);
  const std::string text1 = PeriodText(period1, locale), text2 = PeriodText(period2, locale);
  bool fast_enough = true;
  double worst_list_ratio = 0;
  for (const auto& [what, key] : {std::pair{"list of a drive", places.drive},
                                  std::pair{"list of the deepest directory", places.deepest},
                                  std::pair{"list of the widest directory", places.widest}}) {
    std::size_t rows = 0;
    const Figure figure = Measure(
        kListRuns, [&] { rows = MakeL(*database, key, text1, text2, locale).size(); },
        [&] { raw.ReadAll(RawList(key, period1, period2)); });
    Print(what, figure, std::to_string(rows) + " rows, " + key);
    // The plan SQLite picks without statistics, beside the one over (DirParent, pdate), which
    // reads only the two periods' rows and sorts them.
    const double by_period =
        MedianTime(kListRuns, [&] { raw.ReadAll(RawList(key, period1, period2, kPeriodIndex)); });
    std::printf("%-32s plan %s; held to %s: %.1f ms\n", "",
                raw.Plan(RawList(key, period1, period2)).c_str(), kPeriodIndex.data(),
                by_period * 1e3);
    fast_enough = fast_enough && figure.viewer < 0.1;
    worst_list_ratio = std::max(worst_list_ratio, figure.viewer / figure.raw);
  }
  database->Close();

  std::printf("peak memory %ld KiB (%ld KiB before the first start-up)\n", PeakKiB(),
              memory_before);
  std::printf(
      "aims: tree and lists within 3 times their raw queries (worst %.2f), every list under "
      "100 ms (%s)\n",
      std::max({startup.viewer / startup.raw, repick.viewer / repick.raw, worst_list_ratio}),
      fast_enough ? "met" : "missed");
  return 0;
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: viewer_bench DATABASE\n");
    return 2;
  }
  try {
    return brontal::Run(argv[1]);
  } catch (const brontal::db::DbError& error) {
    std::fprintf(stderr, "viewer_bench: error %d: %s\n", error.Number(), error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "viewer_bench: %s\n", error.what());
  }
  return 1;
}
