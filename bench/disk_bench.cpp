// The disk windows on a large database, each beside its statement run straight through SQLite on
// the same file in the same run: the disk usage list of every node's disks between the newest
// period and the one a week before, and the disk graph of one drive over every period. Each is
// timed twice: what the window asks of the model (rows, pie angles, chart values), and the
// window opened as the user opens it (a new window, its rows, every pie or the chart drawn and
// the window painted once).
//
//   disk_bench DATABASE      (with QT_QPA_PLATFORM=offscreen where there is no display)
//
// DATABASE is made by brontal-demo (bench/run makes it once and reuses it). Times are medians of
// several runs on a warm cache, the windows' and the raw statements taking turns.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "platform/busy_pointer.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/colour_dialog.h"
#include "platform/fixed_locale.h"
#include "platform/db/jetsql/translate.h"
#include "platform/linux_file_operations.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/db/sqlite_engine.h"
#include "store/text.h"
#include "viewer/client.h"
#include "viewer/disk_model.h"
#include "viewer/frmDiskGraph/frm_disk_graph.h"
#include "viewer/frmDiskUsage/frm_disk_usage.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

constexpr int kRuns = 15;
constexpr int kWindowRuns = 7;
// The week before the newest period, as the main window's previous-week pick gives it.
constexpr int kWeekBefore = 7;

// The viewer's client on the database, with the desktop's answers faked.
struct Viewer {
  explicit Viewer(const std::string& path) {
    settings.Set("Options", "dbFilename", path);
    if (client.OpenSizeDatabase([] { return false; }) != Client::OpenOutcome::kOpened) {
      bench::Fail(nullptr, "the viewer could not open " + path);
    }
    client.ReloadPeriodDates();
  }

  std::unique_ptr<db::Engine> engine = db::MakeSqliteEngine();
  MemorySettings settings;
  SystemClock clock;
  FixedLocale locale;
  RecordingMessageBox messages;
  RecordingBusyPointer pointer;
  LinuxFileOperations file_operations;
  RecordingShell shell;
  MemoryClipboard clipboard;
  ScriptedColourDialog colours;
  Client client{{*engine, settings, clock, locale, messages, pointer, file_operations, shell,
                 clipboard,
                 [](const std::string& path) { return std::filesystem::is_regular_file(path); }}};
  MainWindowLink link{[] { return 0; }, [] { return std::string(); }, [] {},
                      [] { return kWeekBefore; }};
};

// Paints the window once, as the screen would show it.
void Paint(QWidget& window) {
  QCoreApplication::processEvents();
  (void)window.grab();
}

void Print(const char* what, const bench::Figure& figure, const std::string& note) {
  std::printf("%-34s window %7.1f ms   raw sqlite %7.1f ms   ratio %5.2f   %s\n", what,
              figure.mine * 1e3, figure.raw * 1e3, figure.Ratio(), note.c_str());
}

int Run(const std::string& path) {
  bench::RawDatabase raw(path);
  FixedLocale locale;
  MemorySettings settings;
  auto engine = db::MakeSqliteEngine();
  auto database = engine->DefaultWorkspace().OpenDatabase(path);

  const std::vector<DateTime> dates = LoadPeriodDates(*database);
  if (dates.size() < 2) bench::Fail(nullptr, path + " holds fewer than two periods");
  const DateTime newest = dates.front();
  const DateTime week_before = dates[std::min<std::size_t>(kWeekBefore, dates.size() - 1)];
  const DateTime oldest = dates.back();
  const std::string p1 = PeriodText(newest, locale);
  const jetsql::TranslateOptions year{newest.Year()};

  // Every disk of every node, two periods, with the pies.
  const std::string p2 = PeriodText(week_before, locale);
  const std::string usage_sql =
      jetsql::Translate(disks::UsageQuery(newest, week_before), jetsql::SqliteDialect(), year);
  std::size_t disk_rows = 0;
  const bench::Figure usage = bench::Measure(
      kRuns,
      [&] {
        std::vector<disks::UsageRow> rows =
            disks::MakeUsageL(*database, p1, p2, locale,
                              [](const std::string& message) { bench::Fail(nullptr, message); });
        disks::SortUsageRows(rows, disks::UsageSort{}, locale);
        for (const disks::UsageRow& row : rows) (void)disks::PieOfRow(row, locale);
        disk_rows = rows.size();
      },
      [&] { raw.ReadAll(usage_sql); });
  Print("disk usage list and pies", usage,
        std::to_string(disk_rows) + " disks, " + p1 + " against " + p2);

  // One drive over every period.
  const std::string node = raw.Text("select DiskParent || '\\' || Disk from Disks where pdate = '" +
                                    newest.ToIso() + "' order by DiskParent, Disk limit 1");
  const std::string key = LowerCase(node);
  const std::string p_oldest = PeriodText(oldest, locale);
  const std::string graph_sql =
      jetsql::Translate(disks::GraphQuery(key, newest, oldest, ""), jetsql::SqliteDialect(), year);
  std::size_t graph_rows = 0;
  const bench::Figure graph = bench::Measure(
      kRuns,
      [&] {
        const std::vector<disks::GraphRow> rows =
            disks::MakeGraphL(*database, key, p1, p_oldest, "", locale);
        const disks::AreaChart chart =
            disks::MakeDiskG(rows, disks::GraphTitle(key), disks::Stacking{}, locale);
        graph_rows = chart.points.size();
      },
      [&] { raw.ReadAll(graph_sql); });
  Print("disk graph of a drive, every period", graph,
        std::to_string(graph_rows) + " periods, " + key + "; plan " + raw.Plan(graph_sql));

  database->Close();

  Viewer viewer(path);
  const bench::Figure usage_window = bench::Measure(
      kWindowRuns,
      [&] {
        FrmDiskUsage window(viewer.client, viewer.link, viewer.colours, {}, {});
        window.ShowWindow();
        Paint(window);
        disk_rows = window.Rows().size();
        window.close();
      },
      [&] { raw.ReadAll(usage_sql); });
  Print("disk usage window opened", usage_window,
        std::to_string(disk_rows) + " disks and pies drawn, window painted");
  const bench::Figure graph_window = bench::Measure(
      kWindowRuns,
      [&] {
        FrmDiskGraph window(viewer.client, viewer.link);
        window.GraphIt(key);
        Paint(window);
        window.close();
      },
      [&] { raw.ReadAll(graph_sql); });
  Print("disk graph window opened", graph_window, "chart drawn, window painted");
  if (!viewer.messages.shown.empty()) bench::Fail(nullptr, viewer.messages.shown.front());

  std::printf(
      "aims: each within 100 ms (worst %.1f ms); the model within 2 times its raw statement "
      "(worst %.2f)\n",
      std::max({usage.mine, graph.mine, usage_window.mine, graph_window.mine}) * 1e3,
      std::max(usage.Ratio(), graph.Ratio()));
  return 0;
}

}  // namespace
}  // namespace brontal

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: disk_bench DATABASE\n");
    return 2;
  }
  try {
    return brontal::Run(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "disk_bench: %s\n", error.what());
  }
  return 1;
}
