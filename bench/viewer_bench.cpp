// The viewer's tree and list on a large database, each beside the same queries run straight
// through SQLite on the same file in the same run: start-up to a filled tree and root list, the
// tree after a new pick of periods, and the lists of a drive, of the deepest directory and of
// the directory with the most children.
//
//   viewer_bench DATABASE [URI]
//
// DATABASE is made by brontal-demo (bench/run makes it once and reuses it). Times are medians
// of several runs on a warm cache, the viewer's and the raw queries taking turns. With URI, a
// PostgreSQL database holding the same rows (bench/pg_load), the same steps are timed there too,
// the viewer's and the same SQL the engine sends, run straight through libpq, each beside
// SQLite's raw query of the step.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/postgres_support.h"
#include "platform/db/jetsql/postgres_dialect.h"
#include "platform/db/jetsql/translate.h"
#include "platform/db/program_engine.h"
#include "platform/fixed_locale.h"
#include "store/text.h"
#include "viewer/periods.h"
#include "viewer/tree_list.h"

namespace brontal {
namespace {

using bench::Figure;
using bench::Measure;
using bench::MedianTime;
using bench::RawDatabase;

// Previous week: two periods a week apart, as an administrator most often compares.
constexpr std::string_view kCompareWhen = "2";
constexpr int kStartupRuns = 7;
constexpr int kListRuns = 15;
// The index over (DirParent, pdate) of Dirs.
constexpr std::string_view kPeriodIndex = "Dirs_ParentPeriod";

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
void Print(const std::string& what, const Figure& figure, const std::string& note) {
  std::printf("%-32s viewer %8.1f ms   raw sqlite %8.1f ms   ratio %5.2f   %s\n", what.c_str(),
              figure.mine * 1e3, figure.raw * 1e3, figure.Ratio(), note.c_str());
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

// The viewer's own text for its periods.
constexpr std::string_view kPeriodsQuery = "Select distinct pdate from Periods order by pdate desc";

// What the viewer shows once started: its periods, the pick it starts with (the newest period
// and the one a week before), the tree of that pick and the root's list.
struct Startup {
  std::vector<DateTime> dates;
  DateTime period1, period2;
  std::vector<TreeItem> tree;
  std::size_t root_rows = 0;
};

Startup StartViewer(db::Engine& engine, const std::string& location, const Locale& locale,
                    DateTime now) {
  Startup shown;
  auto database = engine.DefaultWorkspace().OpenDatabase(location);
  shown.dates = LoadPeriodDates(*database);
  if (shown.dates.empty()) {
    std::fprintf(stderr, "viewer_bench: %s holds no period\n", location.c_str());
    std::exit(1);
  }
  shown.period1 = shown.dates.front();
  shown.period2 =
      shown.dates[static_cast<std::size_t>(*ComparisonIndex(shown.dates, kCompareWhen, now))];
  shown.tree = TreeAllParents(*database, shown.period1, shown.period2);
  shown.root_rows = MakeL(*database, kRootKey, PeriodText(shown.period1, locale),
                          PeriodText(shown.period2, locale), locale)
                        .size();
  database->Close();
  return shown;
}

// One timed step of the viewer, kept to time it again on another database: the viewer's part
// (given the location and, unless the step opens its own, a database open there), the viewer's
// SQL of the step's raw queries, and SQLite's raw time.
struct Step {
  std::string what;
  int runs;
  bool opens_database;  // start-up: the viewer and the raw queries connect afresh each run
  std::function<void(const std::string& location, db::Database* open)> viewer;
  std::vector<std::string> queries;
  double sqlite_raw;
};

// The steps on the PostgreSQL database at `uri`: the viewer's time and that of the SQL the
// engine sends there, run straight through libpq, each beside SQLite's raw time.
void RunPostgres(db::Engine& engine, const std::string& uri, const std::vector<Step>& steps,
                 DateTime now) {
  bench::RawPostgres raw(uri);
  std::printf("postgresql: about %s Dirs rows, %s\n",
              raw.Text("select reltuples::bigint from pg_class where relname = 'dirs'").c_str(),
              raw.Text("select pg_size_pretty(pg_database_size(current_database()))").c_str());
  std::unique_ptr<db::Database> database;
  double worst = 0;
  for (const Step& step : steps) {
    std::vector<std::string> native;
    for (const std::string& query : step.queries) {
      native.push_back(jetsql::Translate(query, jetsql::PostgresDialect(), {now.Year()}));
    }
    if (!step.opens_database && !database) {
      database = engine.DefaultWorkspace().OpenDatabase(uri);
    }
    std::int64_t rows = 0;
    const Figure figure = Measure(
        step.runs, [&] { step.viewer(uri, database.get()); },
        [&] {
          rows = 0;
          if (step.opens_database) {
            bench::RawPostgres fresh(uri);
            for (const std::string& sql : native) rows += fresh.ReadAll(sql);
          } else {
            for (const std::string& sql : native) rows += raw.ReadAll(sql);
          }
        });
    std::printf(
        "%-32s viewer %8.1f ms   raw pg %8.1f ms   raw sqlite %8.1f ms   of sqlite: viewer %5.2f "
        "raw %5.2f   %lld raw rows\n",
        step.what.c_str(), figure.mine * 1e3, figure.raw * 1e3, step.sqlite_raw * 1e3,
        figure.mine / step.sqlite_raw, figure.raw / step.sqlite_raw, static_cast<long long>(rows));
    if (!step.opens_database) std::printf("%-32s plan %s\n", "", raw.Plan(native.front()).c_str());
    worst = std::max(worst, figure.mine / step.sqlite_raw);
  }
  if (database) database->Close();
  std::printf(
      "aim: the viewer on postgresql within 2 times sqlite's raw queries (worst %.2f, %s)\n", worst,
      worst <= 2 ? "met" : "missed");
}

int Run(const std::string& path, const std::string& uri) {
  if (!std::filesystem::exists(path)) {
    std::fprintf(stderr, "viewer_bench: %s does not exist; make it with brontal-demo\n",
                 path.c_str());
    return 1;
  }
  auto engine = db::MakeProgramEngine();
  FixedLocale locale;
  RawDatabase raw(path);
  const long memory_before = PeakKiB();
  std::vector<Step> steps;

  const DateTime now = SystemClock().Now();
  Startup shown = StartViewer(*engine, path, locale, now);  // the periods the raw queries use
  const DateTime period1 = shown.period1, period2 = shown.period2;
  auto viewer_startup = [&](const std::string& location, db::Database*) {
    shown = StartViewer(*engine, location, locale, now);
  };
  auto raw_startup = [&] {
    RawDatabase fresh(path);
    fresh.ReadAll(kRawPeriods);
    fresh.ReadAll(RawTree(period1, period2));
    fresh.ReadAll(RawList(kRootKey, period1, period2));
  };
  const Figure startup = Measure(
      kStartupRuns, [&] { viewer_startup(path, nullptr); }, raw_startup);
  steps.push_back({"start-up to tree and root list",
                   kStartupRuns,
                   true,
                   viewer_startup,
                   {std::string(kPeriodsQuery), TreeQuery(period1, period2),
                    ListQuery(kRootKey, period1, period2)},
                   startup.raw});

  const std::vector<DateTime>& dates = shown.dates;
  const std::int64_t dirs_rows = raw.Number("select max(rowid) from Dirs");
  std::printf("viewer on %lld Dirs rows (%.1f GB), %zu periods; P1 %s, P2 %s\n",
              static_cast<long long>(dirs_rows),
              static_cast<double>(std::filesystem::file_size(path)) / 1e9, dates.size(),
              PeriodText(period1, locale).c_str(), PeriodText(period2, locale).c_str());
  Print("start-up to tree and root list", startup,
        std::to_string(shown.tree.size()) + " tree items, " + std::to_string(shown.root_rows) +
            " list rows");

  // A new pick: the period a month back against the oldest one.
  auto database = engine->DefaultWorkspace().OpenDatabase(path);
  const DateTime pick1 = dates[std::min<std::size_t>(30, (dates.size() - 1) / 2)];
  const DateTime pick2 = dates.back();
  std::size_t picked_items = 0;
  auto viewer_repick = [&, pick1, pick2](const std::string&, db::Database* open) {
    picked_items = TreeAllParents(*open, pick1, pick2).size();
  };
  const Figure repick = Measure(
      kListRuns, [&] { viewer_repick(path, database.get()); },
      [&] { raw.ReadAll(RawTree(pick1, pick2)); });
  Print("tree after a new pick", repick,
        std::to_string(picked_items) + " tree items, " + PeriodText(pick1, locale) + " and " +
            PeriodText(pick2, locale));
  steps.push_back({"tree after a new pick",
                   kListRuns,
                   false,
                   viewer_repick,
                   {TreeQuery(pick1, pick2)},
                   repick.raw});

  const Places places = ChoosePlaces(raw, shown.tree, period1);
  const std::string text1 = PeriodText(period1, locale), text2 = PeriodText(period2, locale);
  bool fast_enough = true;
  double worst_list_ratio = 0;
  for (const auto& [what, key] : {std::pair{"list of a drive", places.drive},
                                  std::pair{"list of the deepest directory", places.deepest},
                                  std::pair{"list of the widest directory", places.widest}}) {
    // Kept for the PostgreSQL steps, it holds nothing of this loop by reference.
    auto viewer_list = [&text1, &text2, &locale, key](const std::string&, db::Database* open) {
      MakeL(*open, key, text1, text2, locale);
    };
    std::size_t rows = 0;
    const Figure figure = Measure(
        kListRuns, [&] { rows = MakeL(*database, key, text1, text2, locale).size(); },
        [&] { raw.ReadAll(RawList(key, period1, period2)); });
    Print(what, figure, std::to_string(rows) + " rows, " + key);
    steps.push_back(
        {what, kListRuns, false, viewer_list, {ListQuery(key, period1, period2)}, figure.raw});
    // The plan SQLite picks without statistics, beside the one over (DirParent, pdate), which
    // reads only the two periods' rows and sorts them.
    const double by_period =
        MedianTime(kListRuns, [&] { raw.ReadAll(RawList(key, period1, period2, kPeriodIndex)); });
    std::printf("%-32s plan %s; held to %s: %.1f ms\n", "",
                raw.Plan(RawList(key, period1, period2)).c_str(), kPeriodIndex.data(),
                by_period * 1e3);
    fast_enough = fast_enough && figure.mine < 0.1;
    worst_list_ratio = std::max(worst_list_ratio, figure.Ratio());
  }
  database->Close();

  std::printf("peak memory %ld KiB (%ld KiB before the first start-up)\n", PeakKiB(),
              memory_before);
  std::printf(
      "aims: tree and lists within 3 times their raw queries (worst %.2f), every list under "
      "100 ms (%s)\n",
      std::max({startup.Ratio(), repick.Ratio(), worst_list_ratio}),
      fast_enough ? "met" : "missed");
  if (!uri.empty()) RunPostgres(*engine, uri, steps, now);
  return 0;
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: viewer_bench DATABASE [URI]\n");
    return 2;
  }
  try {
    return brontal::Run(argv[1], argc == 3 ? argv[2] : "");
  } catch (const brontal::db::DbError& error) {
    std::fprintf(stderr, "viewer_bench: error %d: %s\n", error.Number(), error.what());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "viewer_bench: %s\n", error.what());
  }
  return 1;
}
