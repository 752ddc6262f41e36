// Tree and list reports of a place with 10,000 and with 100,000 directories over two periods,
// written as HTML pages the way brontalh writes them, and how their time grows with the size.
//
//   report_bench WORKDIR
//
// The databases are generated once under WORKDIR and reused by later runs.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "report/report_builder.h"
#include "store/schema.h"

namespace {

namespace fs = std::filesystem;
using brontal::DateTime;
using Clock = std::chrono::steady_clock;

const DateTime kNewer = DateTime::FromCivil(2026, 12, 8, 2);
const DateTime kOlder = DateTime::FromCivil(2026, 12, 1, 2);
constexpr int kTopLevel = 100;

// R\BENCH\C:\flat holds `count` directories side by side; R\BENCH\C:\deep holds `count`
// directories in two levels (100 at the top, each with its own files and the rest below).
// Both periods carry every directory with sizes that drift between them.
void Generate(brontal::db::Engine& engine, const std::string& path, int count) {
  std::string marker = path + ".complete";
  if (fs::exists(marker) && fs::exists(path)) return;
  std::fprintf(stderr, "generating %d directories twice in %s ...\n", count, path.c_str());
  fs::remove(path);
  fs::remove(path + ".lock");
  brontal::CreateBrontalDatabase(engine, path, 3);
  auto& workspace = engine.DefaultWorkspace();
  auto db = workspace.OpenDatabase(path);
  auto dirs = db->OpenRecordset("Dirs", brontal::db::RecordsetType::kTable);
  std::mt19937_64 random(count);
  auto add = [&](const std::string& parent, const std::string& dir) {
    std::int64_t size = static_cast<std::int64_t>(random() % (1LL << 34));
    for (DateTime period : {kNewer, kOlder}) {
      dirs->AddNew();
      dirs->SetField("DirParent", parent);
      dirs->SetField("Dir", dir);
      dirs->SetField("Brontal", size);
      dirs->SetField("pdate", period);
      dirs->Update();
      size = size * 9 / 10 + static_cast<std::int64_t>(random() % (1LL << 28));
    }
  };
  workspace.BeginTrans();
  add("R", "BENCH");
  add("R\\BENCH", "C:");
  add("R\\BENCH\\C:", "flat");
  add("R\\BENCH\\C:", "deep");
  for (int i = 0; i < count; ++i) add("R\\BENCH\\C:\\flat", "directory " + std::to_string(i));
  int below = count / kTopLevel - 2;  // each top directory: itself, its ".", its children
  for (int t = 0; t < kTopLevel; ++t) {
    std::string top = "project " + std::to_string(t);
    add("R\\BENCH\\C:\\deep", top);
    add("R\\BENCH\\C:\\deep\\" + top, ".");
    for (int i = 0; i < below; ++i) add("R\\BENCH\\C:\\deep\\" + top, "part " + std::to_string(i));
  }
  workspace.CommitTrans();
  dirs->Close();
  db->Close();
  std::FILE* done = std::fopen(marker.c_str(), "w");
  if (done) std::fclose(done);
}

struct Measured {
  double seconds = 0;
  int entries = 0;
};

// The median of three runs of one report into an HTML page, after one to warm the cache.
Measured Report(brontal::db::Database& db, const std::string& place, bool tree,
                const std::string& page, int entries) {
  brontal::SystemClock clock;
  brontal::FixedLocale locale;
  brontal::StderrMessageBox message_box;
  brontal::PrintState state;
  brontal::ReportBuilder builder(brontal::ReportServices{.database = db,
                                                         .clock = clock,
                                                         .locale = locale,
                                                         .message_box = message_box,
                                                         .state = state});
  std::vector<double> runs;
  for (int run = 0; run < 4; ++run) {
    std::string path = place;
    auto start = Clock::now();
    auto outcome = builder.PrintTreeExpanded2(path, "\\\\BENCH\\C$", true, kNewer, kOlder, page,
                                              nullptr, tree, brontal::kSortByChange, 1);
    // The first run brings the database into the cache and is not counted.
    if (run > 0) runs.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    if (outcome != brontal::ReportOutcome::kWritten) {
      std::fprintf(stderr, "report of %s failed\n", place.c_str());
      std::exit(1);
    }
  }
  std::sort(runs.begin(), runs.end());
  return {runs[1], entries};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_bench WORKDIR\n");
    return 2;
  }
  std::string work = argv[1];
  fs::create_directories(work);
  auto engine = brontal::db::MakeSqliteEngine();
  const int sizes[] = {10000, 100000};
  Measured list[2], tree[2];
  // Both databases exist before anything is timed, so that no run shares the machine with the
  // writing back of a freshly generated file.
  std::string paths[2];
  for (int s = 0; s < 2; ++s) {
    paths[s] = work + "/reports-" + std::to_string(sizes[s]) + ".mdb";
    Generate(*engine, paths[s], sizes[s]);
  }
  for (int s = 0; s < 2; ++s) {
    auto db = engine->DefaultWorkspace().OpenDatabase(paths[s]);
    list[s] = Report(*db, "R\\BENCH\\C:\\flat", false, work + "/list.htm", sizes[s] + 1);
    tree[s] = Report(*db, "R\\BENCH\\C:\\deep", true, work + "/tree.htm", sizes[s] + 1);
    db->Close();
  }
  for (auto [name, measured] : {std::pair{"list", list}, std::pair{"tree", tree}}) {
    for (int s = 0; s < 2; ++s) {
      std::printf("%s report, %7d directories: %7.3f s   %9.0f entries/s\n", name, sizes[s],
                  measured[s].seconds, measured[s].entries / measured[s].seconds);
    }
    std::printf("%s report growth for 10 times the entries: %.1f times (aim: within 12)\n", name,
                measured[1].seconds / measured[0].seconds);
  }
  return 0;
}
