// The scanner and brontald where the disk fails them and where many programs share the file: a
// full disk, a read-only file or folder, sixteen scanners at once with brontald meeting them. The
// disks are small memory file systems mounted for the test, which needs root; elsewhere those
// tests are skipped.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/db/program_engine.h"
#include "platform/testing/other_program.h"
#include "platform/testing/query_rows.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"
#include "platform/testing/test_database.h"

namespace {

namespace fs = std::filesystem;
using brontal::testing::ProgramRun;
using brontal::testing::ReadWholeFile;
using brontal::testing::StartedProgram;
using Env = std::vector<std::pair<std::string, std::string>>;
using SteadyClock = std::chrono::steady_clock;

double SecondsSince(SteadyClock::time_point start) {
  return std::chrono::duration<double>(SteadyClock::now() - start).count();
}

// A tree of `tops` folders of `each` subfolders, with a file in every one.
void MakeTree(const fs::path& root, int tops, int each) {
  for (int top = 0; top < tops; ++top) {
    for (int sub = 0; sub < each; ++sub) {
      const fs::path dir = root / ("top" + std::to_string(top)) / ("sub" + std::to_string(sub));
      fs::create_directories(dir);
      std::ofstream(dir / "file.dat") << std::string(1000, 'x');
    }
  }
}

// A single number that `sql` gives on the database, read without the suite's locks (a file) or
// through a shared open (a database on a server); -1 when the query fails.
long long Count(const std::string& location, const std::string& sql) {
  if (brontal::db::IsServerLocation(location)) {
    try {
      auto rows = brontal::testing::QueryRows(*brontal::db::MakeProgramEngine(), location, sql);
      return rows.size() == 1 ? std::stoll(rows[0]) : -1;
    } catch (const brontal::db::DbError&) {
      return -1;
    }
  }
  const std::string& path = location;
  sqlite3* db = nullptr;
  long long count = -1;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
      sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
      sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) == SQLITE_OK &&
      sqlite3_step(statement) == SQLITE_ROW) {
    count = sqlite3_column_int64(statement, 0);
  }
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return count;
}

// The rows a node's run left in Dirs, Parents and Disks, and the periods stored, as one text.
std::string RunRows(const std::string& path, const std::string& node) {
  // Read by SQLite itself, or in the programs' own dialect through the engine.
  const std::string any = brontal::db::IsServerLocation(path) ? "*" : "%";
  const std::string below =
      "(DirParent = 'R\\" + node + "' or DirParent like 'R\\" + node + "\\" + any + "')";
  const std::string dirs =
      "select count(*) from Dirs where " + below + " or (DirParent = 'R' and Dir = '" + node + "')";
  const std::string parents = "select count(*) from Parents where " + below;
  const std::string disks = "select count(*) from Disks where DiskParent = 'R\\" + node + "'";
  return std::to_string(Count(path, dirs)) + " Dirs, " + std::to_string(Count(path, parents)) +
         " Parents, " + std::to_string(Count(path, disks)) + " Disks, " +
         std::to_string(Count(path, "select count(*) from Periods")) + " Periods";
}

bool IntegrityOk(const std::string& path) {
  if (brontal::db::IsServerLocation(path)) {
    // The server keeps its own pages whole; what is left to see is that every table reads,
    // through a shared open since a reader may still hold the database.
    for (const char* table : {"Dirs", "Parents", "Disks", "Periods", "Todo"}) {
      if (Count(path, std::string("select count(*) from ") + table) < 0) return false;
    }
    return true;
  }
  return Count(path, "select count(*) from pragma_integrity_check where integrity_check = 'ok'") ==
         1;
}

class ReliabilityTest : public ::testing::Test {
 protected:
  // A folder holding the program as the package installs it: beside its dbloc.txt and log.
  // The programs are linked rather than copied where the file system allows it.
  fs::path InstallProgram(const std::string& program, const std::string& folder,
                          const std::string& database) {
    const fs::path dir = root_ / folder;
    fs::create_directories(dir);
    std::error_code not_linked;
    if (!fs::exists(dir / program)) {
      fs::create_hard_link(fs::path(BRONTAL_BIN_DIR) / program, dir / program, not_linked);
      if (not_linked) fs::copy_file(fs::path(BRONTAL_BIN_DIR) / program, dir / program);
    }
    std::ofstream(dir / "dbloc.txt") << database << "\r\n";
    return dir;
  }

  ProgramRun RunTool(const std::string& program, std::vector<std::string> args) {
    return brontal::testing::RunProgram(std::string(BRONTAL_BIN_DIR) + "/" + program,
                                        std::move(args), root_);
  }

  // A scanner of node `node` started in its own folder on the test's tree.
  StartedProgram StartScanner(const std::string& node, const std::string& database) {
    const fs::path dir = InstallProgram("brontals", "scanner-" + node, database);
    return StartedProgram((dir / "brontals").string(), {}, dir,
                          {{"BRONTAL_DRIVES", tree_.string()},
                           {"BRONTAL_NODENAME", node},
                           {"XDG_CONFIG_HOME", (root_ / "config").string()}});
  }

  std::string ScannerLog(const std::string& node) {
    return ReadWholeFile(root_ / ("scanner-" + node) / "brontals.log");
  }

  // Beside the build's programs, so that they can be linked in.
  brontal::testing::TempFolder folder_{fs::path(BRONTAL_BIN_DIR).parent_path()};
  const fs::path& root_ = folder_.path();
  fs::path tree_ = root_ / "tree";
};

// A memory file system of `size` mounted for the test at root_/disk, unmounted at its end.
class SmallDiskTest : public ReliabilityTest {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
    fs::create_directories(disk_);
    if (::mount("tmpfs", disk_.c_str(), "tmpfs", 0, "size=2m") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    }
    mounted_.push_back(disk_);
    MakeTree(tree_, 4, 10);
  }
  void TearDown() override {
    for (auto at = mounted_.rbegin(); at != mounted_.rend(); ++at)
      ::umount2(at->c_str(), MNT_DETACH);
  }

  // Fills the disk to its last byte.
  void Fill() {
    std::ofstream filler(disk_ / "filler", std::ios::binary);
    const std::string block(4096, 'f');
    while (filler.write(block.data(), block.size())) {
    }
    filler.close();
    std::ofstream(disk_ / "filler2", std::ios::binary) << 'f';  // the last partial block
  }

  // Makes `path` read-only to everybody, root included, by mounting it over itself.
  void MakeReadOnly(const fs::path& path) {
    ASSERT_EQ(::mount(path.c_str(), path.c_str(), nullptr, MS_BIND, nullptr), 0)
        << std::strerror(errno);
    mounted_.push_back(path);
    ASSERT_EQ(::mount(nullptr, path.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr), 0)
        << std::strerror(errno);
  }

  // A scan of node "full" into the database: it must end within seconds with status 3 and a
  // log line naming the failure, having stored nothing of its run.
  void ExpectScanRefused(const std::string& why) {
    const auto started = SteadyClock::now();
    ProgramRun run = StartScanner("full", db_).Wait();
    EXPECT_LT(SecondsSince(started), 15.0) << "a failure that no retry cures is not retried";
    EXPECT_EQ(run.status, 3) << ScannerLog("full");
    const std::string log = ScannerLog("full");
    EXPECT_NE(log.find("ErrMainSave: "), std::string::npos) << log;
    EXPECT_NE(log.find(why), std::string::npos) << log;
    EXPECT_EQ(RunTool("brontal-sql", {db_, "select count(*) as n from Dirs"}).status, 0);
    EXPECT_EQ(RunRows(db_, "full"), "0 Dirs, 0 Parents, 0 Disks, 0 Periods");
  }

  fs::path disk_ = root_ / "disk";
  std::string db_ = (disk_ / "brontal.mdb").string();
  std::vector<fs::path> mounted_;
};

TEST_F(SmallDiskTest, AScanIntoAFullDiskEndsWithinSecondsAndStoresNothing) {
  ASSERT_EQ(RunTool("brontal-initdb", {db_, "9"}).status, 0);
  Fill();
  ExpectScanRefused("full");
  fs::remove(disk_ / "filler");
  EXPECT_EQ(RunTool("brontal-sql", {db_, "select count(*) as n from Todo"}).status, 0);
  EXPECT_TRUE(IntegrityOk(db_));
}

TEST_F(SmallDiskTest, AReadOnlyDatabaseFileOrFolderEndsTheScanAtOnce) {
  ASSERT_EQ(RunTool("brontal-initdb", {db_, "9"}).status, 0);
  const std::string before = ReadWholeFile(db_);
  MakeReadOnly(db_);
  ExpectScanRefused("readonly");
  ::umount2(db_.c_str(), MNT_DETACH);
  mounted_.pop_back();

  MakeReadOnly(disk_);
  ExpectScanRefused("readonly");
  EXPECT_EQ(ReadWholeFile(db_), before);
}

TEST_F(SmallDiskTest, BrontaldOnAFullDiskKeepsTheDatabaseAndSaysWhy) {
  ASSERT_EQ(RunTool("brontal-demo", {db_, "--nodes", "1", "--dirs", "40", "--days", "20"}).status,
            0);
  Fill();
  const std::string before = ReadWholeFile(db_);
  const fs::path dir = InstallProgram("brontald", "brontald", db_);
  ProgramRun run = StartedProgram((dir / "brontald").string(), {"1", "520", "120", "3650"}, dir,
                                  {{"XDG_CONFIG_HOME", (root_ / "config").string()}})
                       .Wait();
  const std::string log = ReadWholeFile(dir / "brontald.log");
  EXPECT_EQ(run.status, 3) << log;  // not compacted; the purge, with nothing to purge, ran
  EXPECT_NE(log.find("Warning only: \"database or disk is full"), std::string::npos) << log;
  EXPECT_EQ(ReadWholeFile(db_), before);
  EXPECT_FALSE(fs::exists(disk_ / "brontal.md1"));
}

// Sixteen scanners of their own nodes started at once on one database, a file or a database on
// a server, brontald meeting them in the middle: it refuses what it cannot do while they write,
// and every node's run is there.
class ManyWritersTest : public ReliabilityTest,
                        public ::testing::WithParamInterface<brontal::testing::TestBackend> {
 protected:
  static constexpr int kWriters = 16;

  void SetUp() override {
    if (!brontal::testing::BackendAvailable(GetParam())) {
      GTEST_SKIP() << brontal::testing::ScratchPostgres::SkipMessage();
    }
    database_.emplace(GetParam());
    db_ = database_->location();
    MakeTree(tree_, 3, 5);
    ASSERT_EQ(RunTool("brontal-initdb", {db_, "9"}).status, 0);
    // What one scanner alone stores of the tree.
    ASSERT_EQ(StartScanner("alone", db_).Wait().status, 0) << ScannerLog("alone");
    alone_ = RunRows(db_, "alone");
  }

  // Starts the writers and brontald after half of them; checks what everything left and gives
  // brontald's exit status.
  int WriteAtOnce() {
    std::vector<StartedProgram> scanners;
    const fs::path maintenance = InstallProgram("brontald", "brontald", db_);
    std::optional<StartedProgram> brontald;
    for (int i = 0; i < kWriters; ++i) {
      scanners.push_back(StartScanner(Node(i), db_));
      if (i == kWriters / 2) {
        brontald.emplace((maintenance / "brontald").string(),
                         std::vector<std::string>{"1", "520", "120", "3650"}, maintenance,
                         Env{{"XDG_CONFIG_HOME", (root_ / "config").string()}});
      }
    }
    for (int i = 0; i < kWriters; ++i) {
      EXPECT_EQ(scanners[i].Wait().status, 0) << ScannerLog(Node(i));
    }
    const int status = brontald->Wait().status;
    for (int i = 0; i < kWriters; ++i) EXPECT_EQ(RunRows(db_, Node(i)), alone_) << Node(i);
    const std::string log = ReadWholeFile(maintenance / "brontald.log");
    // Done when it found the file free, else refused: the compaction in use, and the purge's
    // exclusive open aborted.
    EXPECT_TRUE(status == 0 || status == 3 || status == 4) << log;
    if (status != 0) {
      EXPECT_NE(log.find("in use"), std::string::npos) << log;
    }
    EXPECT_TRUE(IntegrityOk(db_));
    return status;
  }

  static std::string Node(int i) { return "writer" + std::to_string(i + 1); }

  std::optional<brontal::testing::TestDatabase> database_;
  std::string db_;  // a file, or a database on the test server
  std::string alone_;
};

INSTANTIATE_TEST_SUITE_P(Backends, ManyWritersTest, brontal::testing::BackendValues(),
                         brontal::testing::BackendName);

TEST_P(ManyWritersTest, EveryNodesRunIsStoredWhole) { WriteAtOnce(); }

TEST_P(ManyWritersTest, EveryNodesRunIsStoredWholeBesideAReader) {
  // An idle viewer holding the file shared, and queries one after another meanwhile.
  brontal::testing::OtherProgram viewer(db_);
  ASSERT_TRUE(viewer.opened());
  std::atomic<bool> reading{true};
  int failed_reads = 0;
  std::thread reader([&] {
    const fs::path dir = root_ / "reader";
    fs::create_directories(dir);
    while (reading) {
      ProgramRun read = brontal::testing::RunProgram(std::string(BRONTAL_BIN_DIR) + "/brontal-sql",
                                                     {db_, "select count(*) as n from Dirs"}, dir);
      if (read.status != 0) ++failed_reads;
    }
  });
  EXPECT_EQ(WriteAtOnce(), 4);  // the compaction in use, and the purge's exclusive open refused
  reading = false;
  reader.join();
  EXPECT_EQ(failed_reads, 0);
}

}  // namespace
