// crash_loop: kills the programs that write the database at random moments and checks what each
// kill left. Three operations: a scanner's save of its node, brontald's repair-compact-swap and
// brontald's purge. Each runs in its own folder (the program's copy, dbloc.txt, its log) on a
// fresh copy of a prepared database; clean runs measure the operation first, from the log
// line that starts it to the one that ends it, and each trial kills the program with SIGKILL
// after a delay drawn uniformly over that span, counted from the starting line.
//
//   crash_loop WORKDIR BINDIR [TRIALS]   (default 200)
//
// After each kill a program of the suite opens the file (rolling back a hot journal, as the next
// run would), then: the integrity check passes; every period's rows in Periods, Dirs, Parents and
// Disks are all there as before the operation or as after it, never a part; during the
// compaction the database path never goes missing and afterwards holds the data unchanged. One
// line per operation: trials, kills that landed mid-operation, failures. Exit status 1 when any
// trial failed.
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/testing/run_program.h"

namespace {

namespace fs = std::filesystem;
using brontal::testing::ProgramRun;
using brontal::testing::RunProgram;
using brontal::testing::StartedProgram;
using SteadyClock = std::chrono::steady_clock;

// A period's row counts in Periods, Dirs, Parents and Disks.
using PeriodRows = std::array<long long, 4>;
using Snapshot = std::map<std::string, PeriodRows>;

[[noreturn]] void Die(const std::string& what) {
  std::fprintf(stderr, "crash_loop: %s\n", what.c_str());
  std::exit(2);
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Waits until the log holds `line`; false when the program ended without writing it. A
// program that neither writes it nor ends within five minutes has hung: the loop stops there
// rather than waiting for ever.
bool AwaitLine(const fs::path& log, const std::string& line, StartedProgram& child) {
  const auto deadline = SteadyClock::now() + std::chrono::minutes(5);
  for (;;) {
    const bool ended = child.Ended();  // before the read, so that a last line is not missed
    if (ReadFile(log).find(line) != std::string::npos) return true;
    if (ended) return false;
    if (SteadyClock::now() > deadline) {
      child.Kill();
      Die(log.filename().string() + ": no '" + line + "' line within five minutes");
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

// A read-only connection for the checks, opened after a program of the suite opened the file.
class Checked {
 public:
  explicit Checked(const fs::path& path) {
    if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      problem_ = "cannot open: " + std::string(sqlite3_errmsg(db_));
    }
  }
  ~Checked() { sqlite3_close(db_); }
  Checked(const Checked&) = delete;
  Checked& operator=(const Checked&) = delete;

  // Empty when the integrity check passes, else what it or the open reported.
  std::string Integrity() {
    if (!problem_.empty()) return problem_;
    std::string result;
    Each("pragma integrity_check", [&](sqlite3_stmt* row) {
      result += reinterpret_cast<const char*>(sqlite3_column_text(row, 0));
    });
    return result == "ok" ? problem_ : result + problem_;
  }

  Snapshot Rows() {
    Snapshot rows;
    static const char* const kTables[] = {"Periods", "Dirs", "Parents", "Disks"};
    for (int t = 0; t < 4; ++t) {
      Each(std::string("select pdate, count(*) from ") + kTables[t] + " group by pdate",
           [&](sqlite3_stmt* row) {
             rows[reinterpret_cast<const char*>(sqlite3_column_text(row, 0))][t] =
                 sqlite3_column_int64(row, 1);
           });
    }
    return rows;
  }

  const std::string& problem() const { return problem_; }

 private:
  void Each(const std::string& sql, const std::function<void(sqlite3_stmt*)>& take) {
    if (!problem_.empty()) return;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      problem_ = sql + ": " + sqlite3_errmsg(db_);
      return;
    }
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) take(statement);
    if (rc != SQLITE_DONE) problem_ = sql + ": " + sqlite3_errmsg(db_);
    sqlite3_finalize(statement);
  }

  sqlite3* db_ = nullptr;
  std::string problem_;
};

PeriodRows Totals(const Snapshot& rows) {
  PeriodRows totals{};
  for (const auto& [period, counts] : rows) {
    for (int t = 0; t < 4; ++t) totals[t] += counts[t];
  }
  return totals;
}

std::string Describe(const PeriodRows& rows) {
  return std::to_string(rows[0]) + " Periods, " + std::to_string(rows[1]) + " Dirs, " +
         std::to_string(rows[2]) + " Parents, " + std::to_string(rows[3]) + " Disks";
}

// Empty when every period of `after` holds its rows of `before` or none at all (an operation
// that only deletes whole periods), else the first period that does not.
std::string WholePeriods(const Snapshot& before, const Snapshot& after) {
  for (const auto& [period, counts] : after) {
    auto was = before.find(period);
    if (was == before.end()) return "period " + period + " appeared: " + Describe(counts);
    if (counts != was->second) {
      return "period " + period + " holds " + Describe(counts) + " of " + Describe(was->second);
    }
  }
  return "";
}

struct Operation {
  std::string name;
  std::string program;  // the program's name in BINDIR
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> env;
  fs::path base;      // the database each trial starts from
  std::string start;  // the log line that starts the operation
  std::string end;    // the log line that follows its end
  bool watch_path = false;
  // What a finished (or killed) trial may leave, given the rows before and after a clean run.
  std::function<std::string(const Snapshot& before, const Snapshot& clean, const Snapshot& left)>
      check;
};

struct Tally {
  int trials = 0, mid_operation = 0, failures = 0;
};

class CrashLoop {
 public:
  CrashLoop(fs::path work, fs::path bin) : work_(std::move(work)), bin_(std::move(bin)) {}

  Tally Run(const Operation& op, int trials);

 private:
  fs::path Folder(const Operation& op) const { return work_ / op.program; }
  fs::path Database(const Operation& op) const { return Folder(op) / "brontal.mdb"; }
  fs::path Log(const Operation& op) const { return Folder(op) / (op.program + ".log"); }

  // Sets up the program's folder and a fresh copy of the base database.
  void Prepare(const Operation& op) {
    const fs::path folder = Folder(op);
    fs::create_directories(folder);
    if (!fs::exists(folder / op.program)) fs::copy_file(bin_ / op.program, folder / op.program);
    std::ofstream(folder / "dbloc.txt") << Database(op).string() << "\r\n";
    for (const char* leftover : {"brontal.md1", "brontal.md2", "brontal.mdb-journal"}) {
      fs::remove(folder / leftover);
    }
    fs::copy_file(op.base, Database(op), fs::copy_options::overwrite_existing);
    fs::remove(Log(op));
  }

  // What a later program of the suite sees first: its open rolls back a hot journal.
  std::string OpenThroughSuite(const Operation& op) {
    const ProgramRun read =
        RunProgram((bin_ / "brontal-sql").string(),
                   {Database(op).string(), "select count(*) from Periods"}, Folder(op));
    return read.status == 0 ? "" : "brontal-sql cannot read it: " + read.err;
  }

  fs::path work_, bin_;
  std::mt19937 random_{std::random_device{}()};
};

Tally CrashLoop::Run(const Operation& op, int trials) {
  const Snapshot before = Checked(op.base).Rows();
  // Clean runs: how long the operation takes (the median of three, the first often slower on
  // a cold cache), and what it leaves.
  std::vector<double> spans;
  for (int run = 0; run < 3; ++run) {
    Prepare(op);
    StartedProgram clean_run((Folder(op) / op.program).string(), op.args, Folder(op), op.env);
    if (!AwaitLine(Log(op), op.start, clean_run)) Die(op.name + ": no '" + op.start + "' line");
    const auto started = SteadyClock::now();
    if (!AwaitLine(Log(op), op.end, clean_run)) Die(op.name + ": no '" + op.end + "' line");
    spans.push_back(std::chrono::duration<double>(SteadyClock::now() - started).count());
    const ProgramRun clean_status = clean_run.Wait();
    if (clean_status.status != 0) {
      Die(op.name + ": the clean run failed: " + ReadFile(Log(op)) + clean_status.err);
    }
  }
  std::sort(spans.begin(), spans.end());
  const double span = spans[1];
  const Snapshot clean = Checked(Database(op)).Rows();
  std::printf("%-16s the operation takes %.0f ms in a clean run\n", op.name.c_str(), span * 1000);
  const auto loop_started = SteadyClock::now();
  std::fflush(stdout);

  Tally tally;
  std::uniform_real_distribution<double> delay(0.0, span);
  for (int trial = 0; trial < trials; ++trial) {
    ++tally.trials;
    Prepare(op);
    std::atomic<bool> watching{op.watch_path}, went_missing{false};
    const std::string watched = Database(op).string();
    std::thread watcher([&] {
      struct stat info;
      while (watching) {
        if (::stat(watched.c_str(), &info) != 0 || info.st_size == 0) went_missing = true;
        std::this_thread::yield();
      }
    });
    StartedProgram child((Folder(op) / op.program).string(), op.args, Folder(op), op.env);
    std::string failure;
    if (AwaitLine(Log(op), op.start, child)) {
      std::this_thread::sleep_for(std::chrono::duration<double>(delay(random_)));
      child.Kill();
    }
    const ProgramRun ended = child.Wait();
    watching = false;
    watcher.join();
    const bool killed = child.Killed();
    if (killed && ReadFile(Log(op)).find(op.end) == std::string::npos) ++tally.mid_operation;
    if (!killed && ended.status != 0) {
      failure = "ended with status " + std::to_string(ended.status) + ": " + ended.err;
    }
    if (went_missing) failure = "the database path named no database for a moment";
    if (failure.empty()) failure = OpenThroughSuite(op);
    if (failure.empty()) {
      Checked left(Database(op));
      failure = left.Integrity();
      if (failure.empty()) failure = op.check(before, clean, left.Rows());
      if (failure.empty()) failure = left.problem();
    }
    if (!failure.empty()) {
      ++tally.failures;
      std::printf("%-16s trial %d: %s\n", op.name.c_str(), trial + 1, failure.c_str());
      fs::copy_file(Database(op), work_ / (op.program + "-failed-" + std::to_string(trial + 1)),
                    fs::copy_options::overwrite_existing);
    }
  }
  std::printf("%-16s %d trials in %.0f s\n", op.name.c_str(), trials,
              std::chrono::duration<double>(SteadyClock::now() - loop_started).count());
  return tally;
}

// A tree of `tops` binary trees of `levels` levels with a small file in every folder.
void MakeTree(const fs::path& root, int tops, int levels) {
  std::function<void(const fs::path&, int)> fill = [&](const fs::path& dir, int depth) {
    fs::create_directories(dir);
    std::ofstream(dir / "file.dat") << std::string(100 + depth, 'x');
    if (depth + 1 < levels) {
      fill(dir / "a", depth + 1);
      fill(dir / "b", depth + 1);
    }
  };
  for (int top = 0; top < tops; ++top) fill(root / ("top" + std::to_string(top)), 0);
}

void RunOrDie(const std::string& program, const std::vector<std::string>& args,
              const fs::path& folder) {
  const ProgramRun run = RunProgram(program, args, folder);
  if (run.status != 0) Die(program + " failed: " + run.err);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: crash_loop WORKDIR BINDIR [TRIALS]\n");
    return 2;
  }
  const fs::path work = fs::absolute(argv[1]), bin = fs::absolute(argv[2]);
  const int trials = argc > 3 ? std::atoi(argv[3]) : 200;
  fs::remove_all(work);
  fs::create_directories(work);
  const std::string config = (work / "config").string();

  // The scanner's save: a node of some 1,300 folders into a new database.
  MakeTree(work / "tree", 10, 7);
  const fs::path empty = work / "empty.mdb";
  RunOrDie((bin / "brontal-initdb").string(), {empty.string(), "9"}, work);
  Operation save{
      .name = "scanner save",
      .program = "brontals",
      .args = {},
      .env = {{"BRONTAL_DRIVES", (work / "tree").string()},
              {"BRONTAL_NODENAME", "stress"},
              {"XDG_CONFIG_HOME", config}},
      .base = empty,
      .start = "Saving drive characteristic info",
      .end = "Finished",
      .check = [](const Snapshot&, const Snapshot& clean, const Snapshot& left) -> std::string {
        // The period may differ from the clean run's when the hour turns: compare the totals.
        const PeriodRows got = Totals(left);
        if (got == PeriodRows{} || got == Totals(clean)) return "";
        return "the run is stored in part: " + Describe(got) + " of " + Describe(Totals(clean));
      }};

  // brontald on two months of daily scans of two nodes.
  const fs::path history = work / "history.mdb";
  RunOrDie((bin / "brontal-demo").string(),
           {history.string(), "--nodes", "2", "--dirs", "100", "--days", "60", "--fast"}, work);
  // Retention of ten years: the compaction's trials purge nothing after it.
  Operation compaction{
      .name = "compaction",
      .program = "brontald",
      .args = {"1", "520", "120", "3650"},
      .env = {{"XDG_CONFIG_HOME", config}},
      .base = history,
      .start = "Repairing (if necessary) and Compacting Database...",
      .end = "Sleeping for a second...",
      .watch_path = true,
      .check = [](const Snapshot& before, const Snapshot&, const Snapshot& left) -> std::string {
        if (left == before) return "";
        return "the data changed: " + Describe(Totals(left)) + " of " + Describe(Totals(before));
      }};
  Operation purge{
      .name = "purge",
      .program = "brontald",
      .args = {"1", "2", "1", "30"},
      .env = {{"XDG_CONFIG_HOME", config}},
      .base = history,
      .start = "Opening database",
      .end = "Closing database",
      .check = [](const Snapshot& before, const Snapshot&, const Snapshot& left) -> std::string {
        return WholePeriods(before, left);
      }};

  CrashLoop loop(work, bin);
  bool failed = false;
  std::vector<std::pair<std::string, Tally>> tallies;
  for (const Operation* op : {&save, &compaction, &purge}) {
    Tally tally = loop.Run(*op, trials);
    failed |= tally.failures > 0;
    tallies.emplace_back(op->name, tally);
  }
  for (const auto& [name, tally] : tallies) {
    std::printf("%-16s %4d trials, %4d kills mid-operation, %d failures\n", name.c_str(),
                tally.trials, tally.mid_operation, tally.failures);
  }
  return failed ? 1 : 0;
}
