// The share of a scan spent saving: sizes a tree the way the scanner does, then stores the
// entries through SizeStore, and prints both times, with the processor time of the saving,
// which other programs on a busy machine disturb less than its wall time; then the cost of a
// second save in the same period, which replaces the first.
//
//   scan_bench TREE LEVEL WORKDIR
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/fixed_locale.h"
#include "platform/linux_filesystem.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/db/sqlite_engine.h"
#include "scanner/size_dirs.h"
#include "store/program_log.h"
#include "store/schema.h"
#include "store/size_store.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The processor time the calling thread has used, in seconds: the saving's alone, whatever
// threads the sizing left behind.
double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: scan_bench TREE LEVEL WORKDIR\n");
    return 2;
  }
  std::string tree = fs::absolute(argv[1]).string();
  int level = std::stoi(argv[2]);
  fs::path work = argv[3];
  fs::create_directories(work);
  std::string db_path = (work / "scan.mdb").string();
  fs::remove(db_path);
  auto engine = brontal::db::MakeSqliteEngine();
  brontal::CreateBrontalDatabase(*engine, db_path, level);
  std::ofstream(work / "dbloc.txt") << db_path << "\r\n";

  brontal::SystemClock clock;
  brontal::FixedLocale locale;
  brontal::LinuxFileSystem files;
  brontal::ProgramLog log(brontal::LineFile((work / "scan_bench.log").string()), clock, locale);
  brontal::SizingRun run{files, log};

  std::vector<std::string> names(1 + brontal::kEntryArrayStep + 1);
  std::vector<std::int64_t> sizes(names.size());
  int n = 1;
  names[1] = tree;
  auto start = Clock::now();
  sizes[1] = brontal::SizeDirsNT(run, names[1], names, sizes, n, 2, level);
  double sizing = Since(start);

  brontal::MemorySettings settings;
  brontal::StderrMessageBox box;
  brontal::SizeStore store(
      brontal::MakeSizeStoreServices(*engine, settings, clock, box, work.string()));
  store.nodename = "BENCH";
  std::vector<std::string> drives = {"", tree};
  std::vector<std::int64_t> free_bytes = {0, files.FreeBytes(tree)};
  std::vector<std::int64_t> total_bytes = {0, files.TotalBytes(tree)};
  auto save = [&] {
    auto begun = Clock::now();
    store.BeginScan();
    store.SaveFree(drives, free_bytes, total_bytes, 1);
    store.SaveDirs(names, sizes, n, sizes[1]);
    store.AddPeriod(store.pdate);
    store.CommitScan();
    return Since(begun);
  };
  const double processor_before = ProcessorSeconds();
  double saving = save();
  const double saving_processor = ProcessorSeconds() - processor_before;
  // A second run in the same period first deletes what the first stored.
  double resaving = save();

  std::printf(
      "scan at depth %d: %d entries   sizing %.2f s   saving %.2f s (processor %.2f s)"
      "   saving share %.1f %% of the run\n",
      level, n, sizing, saving, saving_processor, 100 * saving / (sizing + saving));
  std::printf("saving again in the same period (replacing the first): %.2f s   ratio %.2f\n",
              resaving, resaving / saving);
  return 0;
}
