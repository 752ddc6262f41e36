// The size graph's rows and chart on a large database, each beside the same statement run
// straight through SQLite on the same file in the same run: all servers, a node, a drive and the
// deepest directory over every period, and the drive thinned to one period a week.
//
//   graph_bench DATABASE
//
// DATABASE is made by brontal-demo (bench/run makes it once and reuses it). Times are medians
// of several runs on a warm cache, the graph's and the raw statements taking turns. The chart's
// drawing by Qt Charts is not in these figures: they measure what the window asks of the model.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/fixed_locale.h"
#include "platform/db/jetsql/sqlite_dialect.h"
#include "platform/settings.h"
#include "platform/db/sqlite_engine.h"
#include "store/format.h"
#include "viewer/graph_model.h"

namespace brontal {
namespace {

using bench::Fail;
using bench::RawDatabase;

constexpr int kRuns = 9;

double Milliseconds(bench::SteadyClock::time_point since) { return bench::Seconds(since) * 1e3; }

struct Case {
  std::string label;
  std::string key;
  std::string skip_text;
};

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) {
  using namespace brontal;
  if (argc != 2) {
    std::fprintf(stderr, "usage: graph_bench DATABASE\n");
    return 2;
  }
  const std::string path = argv[1];
  RawDatabase raw(path);
  FixedLocale locale;
  MemorySettings settings;  // Archiving/FirstDay unset: weekly keeps the Mondays

  const auto newest_read = DateTime::ParseIso(raw.Text("select max(pdate) from Periods"));
  const auto oldest_read = DateTime::ParseIso(raw.Text("select min(pdate) from Periods"));
  if (!newest_read || !oldest_read) Fail(nullptr, "no periods in " + path);
  const DateTime newest = *newest_read, oldest = *oldest_read;
  const std::string p1 = FormatDate(newest, "dd-mmm-yyyy hh:nn", locale);
  const std::string p2 = FormatDate(oldest, "dd-mmm-yyyy hh:nn", locale);
  // Appended, not "'" + ToIso(): GCC 12 warns falsely (-Wrestrict) on that sum when optimising.
  std::string newest_iso = "'";
  newest_iso.append(newest.ToIso()).append("'");
  const std::string node =
      raw.Text("select Dir from Dirs where DirParent = 'R' and pdate = " + newest_iso);
  const std::string drive =
      raw.Text("select DirParent || '\\' || Dir from Dirs where DirParent = 'R\\" + node +
               "' and pdate = " + newest_iso);
  const std::string deepest =
      raw.Text("select DirParent || '\\' || Dir from Dirs where pdate = " + newest_iso +
               " and Dir <> '.' order by length(DirParent) desc limit 1");
  const std::vector<Case> cases = {{"all servers", "r", "All"},
                                   {"a node", "R\\" + node, "All"},
                                   {"a drive", drive, "All"},
                                   {"the deepest directory", deepest, "All"},
                                   {"the drive, weekly", drive, "Weekly"}};

  auto engine = db::MakeSqliteEngine();
  auto database = engine->DefaultWorkspace().OpenDatabase(path);
  std::printf("graph over %s to %s\n", p2.c_str(), p1.c_str());
  double worst_ratio = 0, worst_ms = 0;
  for (const Case& c : cases) {
    const std::string skip = graph::SkipClause(c.skip_text, settings).value_or("");
    const std::string raw_sql = jetsql::Translate(graph::Query(c.key, newest, oldest, skip),
                                                  jetsql::SqliteDialect(), {newest.Year()});
    std::vector<double> graph_ms, raw_ms;
    std::size_t rows = 0;
    for (int run = 0; run < kRuns; ++run) {
      auto start = bench::SteadyClock::now();
      std::vector<graph::Row> list = graph::MakeL(*database, c.key, p1, p2, skip, locale);
      graph::Chart chart =
          graph::MakeG(list, graph::GraphColumn::kSize, graph::Title(c.key), locale);
      graph_ms.push_back(Milliseconds(start));
      rows = list.size();
      (void)chart;
      start = bench::SteadyClock::now();
      raw.ReadAll(raw_sql);
      raw_ms.push_back(Milliseconds(start));
    }
    const double mine = bench::Median(graph_ms), theirs = bench::Median(raw_ms);
    worst_ratio = std::max(worst_ratio, mine / theirs);
    worst_ms = std::max(worst_ms, mine);
    std::printf("%-22s graph %8.1f ms   raw sqlite %8.1f ms   ratio %5.2f   %zu rows, %s\n",
                c.label.c_str(), mine, theirs, mine / theirs, rows, c.key.c_str());
  }
  std::printf("aims: within 2 times the raw statement (worst %.2f), under 100 ms (worst %.1f ms)\n",
              worst_ratio, worst_ms);
  database->Close();
  return 0;
}
