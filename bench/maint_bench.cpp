// brontald as a scheduler runs it, on a large database: the whole run, its compaction beside a
// plain copy of the same file in the same run, and the purge's deleted rows per second.
//
//   maint_bench WORKDIR BINDIR [DIRS_ROWS]
//
// The database (two years of daily scans of 20 nodes) is generated once under WORKDIR/maint and
// copied afresh before each run, since the run compacts and purges it in place. The phases of
// the run are told apart by the life of its compacted copy, watched from outside.
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/clock.h"
#include "platform/db/sqlite_engine.h"
#include "store/schema.h"

namespace {

namespace fs = std::filesystem;
using brontal::DateTime;
using SteadyClock = std::chrono::steady_clock;

constexpr int kDays = 730;
constexpr int kNodes = 20;

double Seconds(SteadyClock::time_point since) {
  return std::chrono::duration<double>(SteadyClock::now() - since).count();
}

void Check(int rc, sqlite3* db) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "sqlite: %s\n", sqlite3_errmsg(db));
    std::exit(1);
  }
}

// A prepared insert whose text fields are bound as they are.
class Insert {
 public:
  Insert(sqlite3* db, const char* sql) : db_(db) {
    Check(sqlite3_prepare_v2(db, sql, -1, &s_, nullptr), db);
  }
  ~Insert() { sqlite3_finalize(s_); }
  Insert& Text(int i, const std::string& v) {
    sqlite3_bind_text(s_, i, v.data(), static_cast<int>(v.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Insert& Int(int i, std::int64_t v) {
    sqlite3_bind_int64(s_, i, v);
    return *this;
  }
  void Run() {
    Check(sqlite3_step(s_), db_);
    sqlite3_reset(s_);
  }

 private:
  sqlite3* db_;
  sqlite3_stmt* s_ = nullptr;
};

// Daily scans at 02:00 for kDays days up to today: per node a node row, a drive row and
// directories 25 to a parent, with their Parents rows, a Disks row and the period.
void Generate(const std::string& path, std::int64_t rows) {
  std::string marker = path + ".complete-" + std::to_string(rows);
  if (fs::exists(marker) && fs::exists(path)) return;
  std::fprintf(stderr, "generating about %lld Dirs rows in %s ...\n", static_cast<long long>(rows),
               path.c_str());
  fs::remove(path);
  fs::remove(path + ".lock");
  auto engine = brontal::db::MakeSqliteEngine();
  brontal::CreateBrontalDatabase(*engine, path, 3);
  sqlite3* db;
  Check(sqlite3_open(path.c_str(), &db), db);
  Check(sqlite3_exec(db, "pragma synchronous=off; pragma cache_size=-1000000; begin", nullptr,
                     nullptr, nullptr),
        db);
  Insert dirs(db, "insert into Dirs (DirParent, Dir, Brontal, pdate) values (?,?,?,?)");
  Insert parents(db, "insert into Parents (DirParent, pdate) values (?,?)");
  Insert disks(db,
               "insert into Disks (DiskParent, Disk, DiskFree, DiskSize, pdate) "
               "values (?,?,?,?,?)");
  Insert periods(db, "insert into Periods (pdate) values (?)");
  const std::int64_t per_scan = std::max<std::int64_t>(3, rows / (kDays * kNodes));
  const DateTime today = brontal::SystemClock().Now().DateOnly();
  for (int day = kDays - 1; day >= 0; --day) {
    const std::string pdate = (today - static_cast<double>(day) + 2 / 24.0).ToIso();
    for (int n = 0; n < kNodes; ++n) {
      const std::string node = "SERVER" + std::to_string(n);
      const std::string drive = "R\\" + node + "\\C:";
      dirs.Text(1, "R").Text(2, node).Int(3, 1 << 30).Text(4, pdate).Run();
      dirs.Text(1, "R\\" + node).Text(2, "C:").Int(3, 1 << 30).Text(4, pdate).Run();
      parents.Text(1, "R\\" + node).Text(2, pdate).Run();
      parents.Text(1, drive).Text(2, pdate).Run();
      for (std::int64_t j = 0; j < per_scan - 2; ++j) {
        const std::string parent = drive + "\\Data\\dir" + std::to_string(j / 25);
        if (j % 25 == 0) {
          dirs.Text(1, drive).Text(2, "dir" + std::to_string(j / 25)).Int(3, j * 4096);
          dirs.Text(4, pdate).Run();
          parents.Text(1, parent).Text(2, pdate).Run();
          ++j;
          if (j >= per_scan - 2) break;
        }
        dirs.Text(1, parent).Text(2, "sub " + std::to_string(j % 25)).Int(3, (j + day) * 4096);
        dirs.Text(4, pdate).Run();
      }
      disks.Text(1, "R\\" + node).Text(2, "C:").Int(3, 1 << 20).Int(4, 1 << 30).Text(5, pdate);
      disks.Run();
    }
    periods.Text(1, pdate).Run();
  }
  Check(sqlite3_exec(db, "commit; analyze", nullptr, nullptr, nullptr), db);
  sqlite3_close(db);
  std::ofstream(marker).close();
}

std::int64_t Count(const std::string& path, const std::string& table) {
  sqlite3* db;
  Check(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), db);
  sqlite3_stmt* s;
  Check(sqlite3_prepare_v2(db, ("select count(*) from " + table).c_str(), -1, &s, nullptr), db);
  Check(sqlite3_step(s), db);
  std::int64_t n = sqlite3_column_int64(s, 0);
  sqlite3_finalize(s);
  sqlite3_close(db);
  return n;
}

// A plain copy that reaches the disk, as the compacted copy must.
double CopyFile(const std::string& from, const std::string& to) {
  auto start = SteadyClock::now();
  int in = ::open(from.c_str(), O_RDONLY);
  int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) {
    std::perror("copy");
    std::exit(1);
  }
  std::string buffer(1 << 20, '\0');
  for (ssize_t n; (n = ::read(in, buffer.data(), buffer.size())) > 0;) {
    if (::write(out, buffer.data(), static_cast<std::size_t>(n)) != n) {
      std::perror("copy");
      std::exit(1);
    }
  }
  ::fsync(out);
  ::close(in);
  ::close(out);
  return Seconds(start);
}

// When brontald reached the points that tell its phases apart, in seconds from its start.
struct Phases {
  int status = -1;
  double copy_appeared = 0;  // the check is done and the compacted copy is being written
  double copy_swapped = 0;   // the copy has replaced the database
  double ended = 0;
};

// Runs brontald in `folder` and watches, every millisecond, for its compacted copy, which
// exists exactly from the start of the compaction to the swap.
Phases RunBrontald(const fs::path& folder, const std::vector<std::string>& arguments) {
  const fs::path copy = folder / "brontal.md1";
  auto start = SteadyClock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    std::string program = (folder / "brontald").string();
    std::vector<char*> argv = {program.data()};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  Phases phases;
  for (;;) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      phases.ended = Seconds(start);
      phases.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      return phases;
    }
    const bool exists = fs::exists(copy);
    if (exists && phases.copy_appeared == 0) phases.copy_appeared = Seconds(start);
    if (!exists && phases.copy_appeared > 0 && phases.copy_swapped == 0) {
      phases.copy_swapped = Seconds(start);
    }
    ::usleep(1000);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: maint_bench WORKDIR BINDIR [DIRS_ROWS]\n");
    return 2;
  }
  const fs::path work = fs::path(argv[1]) / "maint";
  const fs::path bin = argv[2];
  const std::int64_t rows = argc > 3 ? std::stoll(argv[3]) : 10'000'000;
  const fs::path run = work / "run";
  fs::create_directories(run);
  const std::string master = (work / "master.mdb").string();
  Generate(master, rows);

  const std::string db = (run / "brontal.mdb").string();
  for (const char* name : {"brontal.mdb", "brontal.md1", "brontal.md2", "brontal.mdb.lock"}) {
    fs::remove(run / name);
  }
  fs::copy_file(bin / "brontald", run / "brontald", fs::copy_options::overwrite_existing);
  std::ofstream(run / "dbloc.txt") << db << "\r\n";

  const char* tables[] = {"Dirs", "Parents", "Disks", "Periods"};
  std::map<std::string, std::int64_t> before;
  for (const char* t : tables) before[t] = Count(master, t);
  const double copy_s = CopyFile(master, db);
  const auto size_before = fs::file_size(db);

  const Phases phases = RunBrontald(run, {"1", "6", "12", "730"});
  if (phases.status != 0 || phases.copy_swapped == 0) {
    std::fprintf(stderr, "brontald exited with %d; see %s\n", phases.status,
                 (run / "brontald.log").c_str());
    return 1;
  }

  std::int64_t deleted = 0;
  for (const char* t : tables) deleted += before[t] - Count(db, t);
  const std::int64_t dirs_deleted = before["Dirs"] - Count(db, "Dirs");
  const double compact_s = phases.copy_swapped - phases.copy_appeared;
  // What follows the swap is the one-second pause, the exclusive open and the purge.
  const double purge_s = phases.ended - phases.copy_swapped - 1.0;

  std::printf("brontald 1 6 12 730 on %lld Dirs rows, %.0f MB   total %.2f s\n",
              static_cast<long long>(before["Dirs"]), size_before / 1048576.0, phases.ended);
  std::printf(
      "  start and repair (check) %.2f s   compaction and swap %.2f s   "
      "plain copy %.2f s   ratio compaction/copy %.2f\n",
      phases.copy_appeared, compact_s, copy_s, compact_s / copy_s);
  std::printf(
      "  purge %.2f s: %lld rows deleted (%lld Dirs), %.0f rows/s   "
      "%lld Dirs rows kept\n",
      purge_s, static_cast<long long>(deleted), static_cast<long long>(dirs_deleted),
      deleted / purge_s, static_cast<long long>(before["Dirs"] - dirs_deleted));
  return 0;
}
