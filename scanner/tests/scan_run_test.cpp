// Scan runs on an in-memory file system into a real database, checked row by row, and the real
// scanner run on a real tree the way a scheduler runs it.
#include "scanner/scan_run.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/testing/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/env_guard.h"
#include "platform/testing/temp_folder.h"
#include "platform/testing/test_database.h"
#include "scanner/size_dirs.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using Rows = std::vector<std::string>;

class ScanRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, db_path_, 3);
    std::ofstream(folder_ / "dbloc.txt") << db_path_ << "\r\n";
    files_.SetComputerName("SERVER1");
    files_.SetNT(true);
    files_.AddDrive("C:", 100, 1000);
    files_.AddFile("C:\\pagefile.sys", 50, 0);  // counted by length in the root
    files_.AddFile("C:\\boot.ini", 10);
    files_.AddFile("C:\\WINNT\\a.dll", 100, 60);
    files_.AddFile("C:\\WINNT\\system32\\b.dll", 1000);
    files_.AddFile("C:\\Users\\x.txt", 5);
    files_.AddDrive("D:", 7, 70);
    files_.AddFile("D:\\data\\f", 3);
  }

  // The run's services on `files`, with every pause skipped.
  ScanServices Services(FileSystem& files, const fs::path& program_folder) {
    return {files,
            *engine_,
            settings_,
            clock_,
            locale_,
            message_box_,
            program_folder.string(),
            [] { return 0.5; },
            [](int) {}};
  }

  int Scan(std::string_view command_line = "") {
    ScanServices services = Services(files_, folder_.path());
    return RunScan(command_line, services);
  }

  // Each row's fields joined by "|".
  Rows Query(const std::string& sql) {
    auto db = engine_->DefaultWorkspace().OpenDatabase(db_path_);
    auto rs = db->OpenRecordset(sql, db::RecordsetType::kSnapshot);
    Rows rows;
    for (; !rs->Eof(); rs->MoveNext()) {
      std::string row;
      for (int i = 0; i < rs->FieldCount(); ++i) row += (i ? "|" : "") + rs->Field(i).TextOr("");
      rows.push_back(row);
    }
    return rows;
  }

  // The log's lines without their date stamps.
  Rows LogMessages() {
    std::string stamp = locale_.GeneralDate(clock_.Now());
    stamp.resize((stamp.size() / 14 + 1) * 14, ' ');
    Rows lines;
    std::stringstream log(testing::ReadWholeFile(folder_ / "brontals.log"));
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line.starts_with(stamp) ? line.substr(stamp.size()) : line);
    }
    return lines;
  }

  testing::TempFolder folder_;
  std::string db_path_ = folder_ / "brontal.mdb";
  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 2, 10)};
  FixedLocale locale_;
  MemorySettings settings_;
  RecordingMessageBox message_box_;
  FakeFileSystem files_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
};

TEST_F(ScanRunTest, StoresEveryTableAndLogsTheRun) {
  ASSERT_EQ(Scan(), kScanStored);
  EXPECT_EQ(
      Query("select DirParent, Dir, Brontal, pdate from Dirs order by rowid"),
      (Rows{"R\\SERVER1|C:|1125|2026-12-07 02:00:00", "R\\SERVER1\\C:|.|60|2026-12-07 02:00:00",
            "R\\SERVER1\\C:|WINNT|1060|2026-12-07 02:00:00",
            "R\\SERVER1\\C:|Users|5|2026-12-07 02:00:00",
            "R\\SERVER1\\C:\\WINNT|.|60|2026-12-07 02:00:00",
            "R\\SERVER1\\C:\\WINNT|system32|1000|2026-12-07 02:00:00",
            "R\\SERVER1\\C:\\Users|.|5|2026-12-07 02:00:00", "R\\SERVER1|D:|3|2026-12-07 02:00:00",
            "R\\SERVER1\\D:|.|0|2026-12-07 02:00:00", "R\\SERVER1\\D:|data|3|2026-12-07 02:00:00",
            "R\\SERVER1\\D:\\data|.|3|2026-12-07 02:00:00", "R|SERVER1|1128|2026-12-07 02:00:00"}));
  EXPECT_EQ(Query("select DirParent from Parents order by rowid"),
            (Rows{"R\\SERVER1", "R\\SERVER1\\C:", "R\\SERVER1\\C:\\WINNT", "R\\SERVER1\\C:\\Users",
                  "R\\SERVER1", "R\\SERVER1\\D:", "R\\SERVER1\\D:\\data"}));
  EXPECT_EQ(Query("select DiskParent, Disk, DiskFree, DiskSize, pdate from Disks order by rowid"),
            (Rows{"R\\SERVER1|C:|100|1000|2026-12-07 02:00:00",
                  "R\\SERVER1|D:|7|70|2026-12-07 02:00:00"}));
  EXPECT_EQ(Query("select pdate from Periods"), (Rows{"2026-12-07 02:00:00"}));
  std::string log_path = folder_ / "brontals.log";
  EXPECT_EQ(Query("select Levels, LogFile from Todo where Nodename = \"server1\""),
            (Rows{"-1|" + log_path}));

  Rows log = LogMessages();
  Rows expected_start = {"Brontal 1.3.910",
                         "",
                         "Setting nodename",
                         "SERVER1",
                         "Getting Levels",
                         " 3 ",
                         "Setting logfile path - " + log_path,
                         "Getting drives",
                         " 2  drives",
                         "Initialising arrays",
                         "",
                         "Getting drive characteristics for C:",
                         "Free:  100 ",
                         "Size:  1000 ",
                         "Sizing drive directories"};
  ASSERT_GE(log.size(), expected_start.size());
  EXPECT_EQ(Rows(log.begin(), log.begin() + expected_start.size()), expected_start);
  Rows expected_end = {"", "Saving drive characteristic info", "Saving directory sizes",
                       "Adding period if...", "Finished"};
  EXPECT_EQ(Rows(log.end() - expected_end.size(), log.end()), expected_end);
  EXPECT_TRUE(message_box_.shown.empty());
}

TEST_F(ScanRunTest, UncompressedWordAnywhereSelectsFileLengths) {
  ASSERT_EQ(Scan("  /UNCOMPRESSED  "), kScanStored);
  EXPECT_EQ(Query("select Brontal from Dirs where DirParent = \"R\\SERVER1\\C:\\WINNT\" and dir = "
                  "\".\""),
            (Rows{"100"}));
}

TEST_F(ScanRunTest, ExtrasBlocksSizeSharesOfFurtherNodes) {
  files_.AddFile("\\\\server2\\users\\top.txt", 1);
  files_.AddFile("\\\\server2\\users\\alice\\a.txt", 7);
  files_.AddFile("\\\\server2\\C$\\x", 2);
  files_.AddDirectory("\\\\server3\\D$");
  std::ofstream(folder_ / "extras.txt")
      << "server2\r\nH:=\\\\server2\\users\r\n  C:  \r\n\r\n\r\nend\r\nSERVER3\r\nx\r\nend\r\n";
  ASSERT_EQ(Scan(), kScanStored);
  EXPECT_EQ(
      Query("select DirParent, Dir, Brontal from Dirs where DirParent like \"R\\server2*\" "
            "or Dir = \"server2\" order by rowid"),
      (Rows{"R\\server2|H:|8", "R\\server2\\H:|.|1", "R\\server2\\H:|alice|7",
            "R\\server2\\H:\\alice|.|7", "R\\server2|C:|2", "R\\server2\\C:|.|2", "R|server2|10"}));
  // A one-character line ends server3's block before its drive line is read.
  EXPECT_EQ(Query("select DirParent, Dir, Brontal from Dirs where Dir = \"server3\" or DirParent "
                  "like \"R\\server3*\""),
            (Rows{"R|server3|0"}));
  EXPECT_EQ(Query("select Nodename, Levels from Todo where DirParent = \"R\" order by Nodename"),
            (Rows{"SERVER1|-1", "server2|-1", "server3|-1"}));
  EXPECT_EQ(Query("select count(*) from Disks"), (Rows{"2"}));  // none for extra nodes
  Rows log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Processing extras.txt"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Sizing \\\\server2\\users"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Sizing \\\\server2\\C$"), log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Extras: '  C:  '"), log.end());
}

TEST_F(ScanRunTest, ExtrasLinesThatNameNoPathAreRefusedAndTrailingSeparatorsDropped) {
  files_.AddFile("\\\\server2\\users\\top.txt", 1);
  files_.AddFile("\\\\server2\\users\\alice\\a.txt", 7);
  files_.AddFile("C:\\x\\y", 1000);  // what an empty path would reach on this machine
  std::ofstream(folder_ / "extras.txt") << "server2\nH:=\\\\server2\\users\\\\\nI:=\nJ:=\\\n"
                                        << "K:=\\\\server2\\users\0\\alice\n"sv
                                        << "\nend\n";
  EXPECT_EQ(Scan(), kScanNotStored);
  EXPECT_EQ(Query("select DirParent, Dir, Brontal from Dirs where DirParent like \"R\\server2*\" "
                  "or Dir = \"server2\" order by rowid"),
            (Rows{"R\\server2|H:|8", "R\\server2\\H:|.|1", "R\\server2\\H:|alice|7",
                  "R\\server2\\H:\\alice|.|7", "R|server2|8"}));
  Rows log = LogMessages();
  Rows refused;
  for (const std::string& line : log) {
    if (line.starts_with("ErrMainExtra: ")) refused.push_back(line);
  }
  ASSERT_EQ(refused.size(), 3u);
  EXPECT_NE(refused[0].find("no path is given for drive I:"), std::string::npos) << refused[0];
  EXPECT_NE(refused[1].find("no path is given for drive J:"), std::string::npos) << refused[1];
  EXPECT_NE(refused[2].find("drive K: holds a NUL character"), std::string::npos) << refused[2];
  EXPECT_EQ(log.back(), "Finished");
}

TEST_F(ScanRunTest, LastLineOfExtrasIsNeverSized) {
  files_.AddFile("\\\\server2\\D$\\f", 5);
  std::ofstream(folder_ / "extras.txt") << "server2\nD:";
  ASSERT_EQ(Scan(), kScanStored);
  EXPECT_EQ(Query("select Brontal from Dirs where Dir = \"server2\""), (Rows{"0"}));
  EXPECT_EQ(Query("select count(*) from Dirs where DirParent like \"R\\server2*\""), (Rows{"0"}));
}

TEST_F(ScanRunTest, NoFixedDrivesStoresTheNodeRowAndThePeriod) {
  FakeFileSystem empty;
  empty.SetComputerName("EMPTY");
  ScanServices services = Services(empty, folder_.path());
  ASSERT_EQ(RunScan("", services), kScanStored);
  EXPECT_EQ(Query("select DirParent, Dir, Brontal from Dirs"), (Rows{"R|EMPTY|0"}));
  EXPECT_EQ(Query("select count(*) from Periods"), (Rows{"1"}));
}

TEST_F(ScanRunTest, WithoutADatabaseTheRunSaysSoAndFails) {
  fs::remove(folder_ / "dbloc.txt");
  EXPECT_EQ(Scan(), kScanNotStored);
  ASSERT_EQ(message_box_.shown.size(), 1u);
  EXPECT_EQ(message_box_.shown[0], "Database must be configured, please review installation.");
  Rows log = LogMessages();
  EXPECT_NE(
      std::find(log.begin(), log.end(), "Database must be configured, please review installation."),
      log.end());
  auto save_error = std::find_if(log.begin(), log.end(), [](const std::string& line) {
    return line.starts_with("ErrMainSave: ");
  });
  ASSERT_NE(save_error, log.end());
  EXPECT_EQ(log.back(), *save_error);  // the run ended there: no "Finished"
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.starts_with("ErrMain: "); }),
            2);  // the level and the log path could not be read or written
}

TEST_F(ScanRunTest, ALogThatCannotBeCreatedStopsTheRunBeforeAnything) {
  ScanServices services = Services(files_, folder_ / "no such folder");
  EXPECT_EQ(RunScan("", services), kScanNoLog);
  ASSERT_EQ(message_box_.shown.size(), 1u);
  EXPECT_NE(message_box_.shown[0].find("no such folder"), std::string::npos);
  EXPECT_EQ(Query("select count(*) from Dirs"), (Rows{"0"}));
}

TEST_F(ScanRunTest, TooManyErrorsHaltTheRunWithNothingStored) {
  // Expanded directories that fail, and below them directories sized whole on workers.
  for (int i = 0; i < 2223; ++i) {
    std::string dir = (i % 2 ? "C:\\bad" : "C:\\WINNT\\bad") + std::to_string(i);
    files_.AddDirectory(dir);
    files_.FailList(dir, kFsPermissionDenied, "Permission denied: '" + dir + "'");
  }
  for (const char* threads : {"1", "4"}) {
    testing::EnvGuard env("BRONTAL_THREADS", threads);
    EXPECT_EQ(Scan(), kScanHalted);
    EXPECT_EQ(Query("select count(*) from Dirs"), (Rows{"0"}));
    EXPECT_EQ(Query("select count(*) from Periods"), (Rows{"0"}));
    Rows log = LogMessages();
    EXPECT_NE(log.back().find("Halting - too many errors"), std::string::npos) << log.back();
  }
}

TEST_F(ScanRunTest, AThreadCountThatIsNoNumberFallsBackToTheDefaultWithALogLine) {
  const std::string fallback =
      " is not a number of threads; sizing with " + std::to_string(DefaultSizingThreads());
  for (const char* threads : {"0", "-1", "x", "2"}) {
    testing::EnvGuard env("BRONTAL_THREADS", threads);
    EXPECT_EQ(Scan(), kScanStored);
    const Rows log = LogMessages();
    const std::string line = "BRONTAL_THREADS '" + std::string(threads) + "'" + fallback;
    EXPECT_EQ(std::count(log.begin(), log.end(), line), threads == "2"sv ? 0 : 1) << line;
  }
  EXPECT_EQ(ParseSizingThreads("99999999999"), kMaxSizingThreads);
  EXPECT_EQ(ParseSizingThreads("3 "), std::nullopt);
}

TEST_F(ScanRunTest, ASecondRunInThePeriodReplacesTheFirst) {
  ASSERT_EQ(Scan(), kScanStored);
  const Rows first = Query("select DirParent, Dir, Brontal from Dirs order by rowid");
  files_.AddFile("C:\\Users\\y.txt", 20);
  ASSERT_EQ(Scan(), kScanStored);
  EXPECT_EQ(Query("select count(*) from Dirs"), Rows{std::to_string(first.size())});
  EXPECT_EQ(Query("select Brontal from Dirs where DirParent = \"R\" "), (Rows{"1148"}));
  EXPECT_EQ(Query("select count(*) from Disks"), (Rows{"2"}));
  EXPECT_EQ(Query("select count(*) from Parents"), (Rows{"7"}));
  EXPECT_EQ(Query("select count(*) from Periods"), (Rows{"1"}));
}

TEST_F(ScanRunTest, DisksThatCannotBeSavedStopNothingElse) {
  // A Disks table that refuses every row, as a file whose table lost its way would.
  db::Schema schema = BrontalSchema();
  for (auto& table : schema.tables) {
    if (table.name == "Disks") table.columns.push_back({"Refusing", db::ColumnType::kText, true});
  }
  fs::remove(db_path_);
  CreateBrontalDatabase(*engine_, db_path_, 3, schema);
  files_.AddFile("\\\\server2\\D$\\f", 5);
  std::ofstream(folder_ / "extras.txt") << "server2\nD:\n\nend\n";

  EXPECT_EQ(Scan(), kScanNotStored);
  EXPECT_EQ(Query("select count(*) from Disks"), (Rows{"0"}));
  EXPECT_EQ(Query("select Brontal from Dirs where DirParent = \"R\" order by Dir"),
            (Rows{"1128", "5"}));
  EXPECT_EQ(Query("select count(*) from Periods"), (Rows{"1"}));
  Rows log = LogMessages();
  EXPECT_EQ(
      std::count_if(log.begin(), log.end(),
                    [](const std::string& line) { return line.starts_with("ErrMainSave: "); }),
      1);
  EXPECT_EQ(log.back(), "Finished");
}

TEST_F(ScanRunTest, ADepthThatCannotBeReadFailsTheRunButKeepsItsSizes) {
  auto database = engine_->DefaultWorkspace().OpenDatabase(db_path_);
  database->Execute("delete * from Todo");
  database->Close();
  EXPECT_EQ(Scan(), kScanDepthUnknown);
  // Depth 0: the drives with their own files and top-level directories, nothing deeper.
  EXPECT_EQ(Query("select count(*) from Dirs where DirParent like \"R\\SERVER1\\C:\\*\""),
            (Rows{"0"}));
  EXPECT_EQ(Query("select Brontal from Dirs where DirParent = \"R\""), (Rows{"1128"}));
}

TEST_F(ScanRunTest, BlankNamesAreLeftOutWithALogLine) {
  files_.AddFile("C:\\Users\\ \\z", 4);
  ASSERT_EQ(Scan(), kScanStored);
  EXPECT_EQ(Query("select Brontal from Dirs where DirParent = \"R\\SERVER1\\C:\" and Dir = "
                  "\"Users\""),
            (Rows{"9"}));
  Rows log = LogMessages();
  EXPECT_NE(std::find(log.begin(), log.end(), "Not stored, its name is blank: 'C:\\Users\\ '"),
            log.end());
}

// The real scanner, copied into a folder of its own with its dbloc.txt, run on a real tree.
class ScannerProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(program_folder_);
    fs::copy_file(std::string(BRONTAL_BIN_DIR) + "/brontals", program_folder_ / "brontals");
    engine_ = testing::MakeTestEngine();
    CreateBrontalDatabase(*engine_, db_path_, 2);
    std::ofstream(program_folder_ / "dbloc.txt") << db_path_ << "\r\n";
    fs::create_directories(tree_ / "alpha" / "deep");
    fs::create_directories(tree_ / "beta");
    std::ofstream(tree_ / "alpha" / "deep" / "f") << std::string(1000, 'x');
    std::ofstream(tree_ / "beta" / "g") << std::string(20, 'y');
    std::ofstream(tree_ / "top") << "z";
  }

  // Starts the scanner of `folder` as node `node`; returns its process id.
  pid_t StartScanner(const fs::path& folder, const std::string& node = "") {
    pid_t pid = ::fork();
    if (pid == 0) {
      ::setenv("BRONTAL_DRIVES", tree_.c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (temp_.path() / "config").c_str(), 1);
      if (!node.empty()) ::setenv("BRONTAL_NODENAME", node.c_str(), 1);
      std::string program = (folder / "brontals").string();
      if (!std::freopen("/dev/null", "w", stderr)) ::_exit(126);
      ::execl(program.c_str(), program.c_str(), "uncompressed", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    return pid;
  }

  // The exit status of a scanner started before; -1 when it did not exit by itself.
  static int WaitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  int RunScanner(const fs::path& folder, const std::string& node = "") {
    return WaitFor(StartScanner(folder, node));
  }

  std::string Single(const std::string& sql) {
    auto db = engine_->DefaultWorkspace().OpenDatabase(db_path_);
    auto rs = db->OpenRecordset(sql, db::RecordsetType::kSnapshot);
    return rs->Eof() ? "" : rs->Field(0).TextOr("");
  }

  // Runs the scanner on the tree and checks the sizes it stored and its log.
  void ExpectTheTreeSized() {
    ASSERT_EQ(RunScanner(program_folder_), 0)
        << testing::ReadWholeFile((program_folder_ / "brontals.log").string());
    std::string drive = tree_.string();
    EXPECT_EQ(Single("select Brontal from Dirs where Dir = \"" + drive + "\""), "1021");
    EXPECT_EQ(Single("select Brontal from Dirs where DirParent = \"" + drive +
                     "\" "
                     "and Dir = \"alpha\" or DirParent like \"*\\" +
                     drive + "\" and Dir = \"alpha\""),
              "1000");
    EXPECT_EQ(Single("select count(*) from Disks"), "1");
    EXPECT_EQ(Single("select count(*) from Periods"), "1");
    std::string log = testing::ReadWholeFile((program_folder_ / "brontals.log").string());
    EXPECT_NE(log.find("Finished\r\n"), std::string::npos) << log;
  }

  testing::TempFolder temp_;
  fs::path program_folder_ = temp_.path() / "bin";
  fs::path tree_ = temp_.path() / "tree";
  std::string db_path_ = temp_ / "brontal.mdb";
  std::unique_ptr<db::Engine> engine_;
};

TEST_F(ScannerProgramTest, SizesATreeEndToEnd) { ExpectTheTreeSized(); }

// The same run into a database on the test server, named by the URI in dbloc.txt.
class ScannerOnServerTest : public ScannerProgramTest {
 protected:
  void SetUp() override {
    const std::optional<std::string> location = testing::ServerDatabase(server_);
    if (!location) GTEST_SKIP() << testing::ScratchPostgres::SkipMessage();
    db_path_ = *location;
    ScannerProgramTest::SetUp();
  }

  std::optional<testing::TestDatabase> server_;
};

TEST_F(ScannerOnServerTest, SizesATreeEndToEnd) { ExpectTheTreeSized(); }

TEST_F(ScannerProgramTest, TwoScannersAtOnceBothStoreAllTheirRows) {
  fs::path second = temp_.path() / "bin2";
  fs::create_directories(second);
  fs::copy_file(program_folder_ / "brontals", second / "brontals");
  fs::copy_file(program_folder_ / "dbloc.txt", second / "dbloc.txt");
  pid_t other = StartScanner(second, "node-b");
  EXPECT_EQ(RunScanner(program_folder_, "node-a"), 0);
  EXPECT_EQ(WaitFor(other), 0);
  for (std::string node : {"node-a", "node-b"}) {
    const std::string parent = "R\\" + node;
    EXPECT_EQ(Single("select count(*) from Disks where DiskParent = \"" + parent + "\""), "1");
    // The node, the drive, its own files, alpha and beta.
    EXPECT_EQ(Single("select count(*) from Dirs where Dir = \"" + node + "\" or DirParent = \"" +
                     parent + "\" or DirParent like \"" + parent + "\\*\""),
              "5")
        << node;
    EXPECT_EQ(Single("select Brontal from Dirs where Dir = \"" + node + "\""), "1021");
  }
  EXPECT_EQ(Single("select count(*) from Periods"), "1");

  // Two runs of one node in one period (a manual run beside the scheduled one): the later save
  // replaces the earlier, so the node is counted once.
  other = StartScanner(second, "node-c");
  EXPECT_EQ(RunScanner(program_folder_, "node-c"), 0);
  EXPECT_EQ(WaitFor(other), 0);
  EXPECT_EQ(Single("select count(*) from Dirs where Dir = \"node-c\" or DirParent like "
                   "\"R\\node-c*\""),
            "5");
  EXPECT_EQ(Single("select count(*) from Disks where DiskParent = \"R\\node-c\""), "1");
  EXPECT_EQ(Single("select count(*) from Todo where Nodename = \"node-c\""), "1");
}

// A scanner killed at any moment leaves its run whole or absent: never sizes without their
// tree, a period without sizes, or disks of a run that was not stored.
TEST_F(ScannerProgramTest, AKilledScannerLeavesItsRunWholeOrAbsent) {
  for (int i = 0; i < 600; ++i) {
    fs::create_directories(tree_ / ("d" + std::to_string(i)) / "sub");
  }
  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(RunScanner(program_folder_), 0);
  const auto whole_run = std::chrono::steady_clock::now() - started;
  const std::string all_dirs = Single("select count(*) from Dirs");
  const std::string all_parents = Single("select count(*) from Parents");

  for (int k = 1; k <= 12; ++k) {
    fs::remove(db_path_);
    CreateBrontalDatabase(*engine_, db_path_, 2);
    pid_t scanner = StartScanner(program_folder_);
    std::this_thread::sleep_for(whole_run * k / 12);
    ::kill(scanner, SIGKILL);
    WaitFor(scanner);
    const std::string dirs = Single("select count(*) from Dirs");
    if (dirs == "0") {
      for (const char* table : {"Parents", "Disks", "Periods"}) {
        EXPECT_EQ(Single(std::string("select count(*) from ") + table), "0")
            << table << ", kill " << k;
      }
    } else {
      EXPECT_EQ(dirs, all_dirs) << "kill " << k;
      EXPECT_EQ(Single("select count(*) from Parents"), all_parents) << "kill " << k;
      EXPECT_EQ(Single("select count(*) from Disks"), "1") << "kill " << k;
      EXPECT_EQ(Single("select count(*) from Periods"), "1") << "kill " << k;
    }
  }
}

}  // namespace
}  // namespace brontal
