// The administrators' tools run as an administrator would run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/testing/env_guard.h"
#include "platform/testing/private_config_home.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"

namespace {

namespace fs = std::filesystem;

using Result = brontal::testing::ProgramRun;

class ToolsTest : public ::testing::Test {
 protected:
  // Runs a program of the build with the given arguments, no shell in between.
  Result Run(const std::string& program, std::vector<std::string> args) {
    return brontal::testing::RunProgram(std::string(BRONTAL_BIN_DIR) + "/" + program,
                                        std::move(args), dir_);
  }

  brontal::testing::TempFolder folder_;
  const fs::path& dir_ = folder_.path();
  std::string db_ = folder_ / "brontal.mdb";
};

TEST_F(ToolsTest, InitdbCreatesOnceAndNeverOverwrites) {
  Result made = Run("brontal-initdb", {db_, "4"});
  ASSERT_EQ(made.status, 0) << made.err;
  Result levels = Run("brontal-sql", {db_, "select Nodename, DirParent, Levels from todo"});
  EXPECT_EQ(levels.status, 0) << levels.err;
  EXPECT_EQ(levels.out, "Nodename\tDirParent\tLevels\n<defaultnodename>\t<defaultnodename>\t4\n");

  std::string before = brontal::testing::ReadWholeFile(db_);
  Result again = Run("brontal-initdb", {db_});
  EXPECT_NE(again.status, 0);
  EXPECT_NE(again.err.find("already exists"), std::string::npos) << again.err;
  EXPECT_EQ(brontal::testing::ReadWholeFile(db_), before);

  std::string other = (dir_ / "other.mdb").string();
  EXPECT_EQ(Run("brontal-initdb", {other, "many"}).status, 2);
  EXPECT_FALSE(fs::exists(other));
  EXPECT_NE(Run("brontal-initdb", {(dir_ / "no" / "such" / "dir.mdb").string()}).status, 0);
  ASSERT_EQ(Run("brontal-initdb", {other}).status, 0);
  EXPECT_NE(Run("brontal-sql", {other, "select levels from todo"}).out.find("\n3\n"),
            std::string::npos);
}

TEST_F(ToolsTest, SqlRunsTheDialectAndReportsFailures) {
  ASSERT_EQ(Run("brontal-initdb", {db_}).status, 0);
  Result missing = Run("brontal-sql", {(dir_ / "missing.mdb").string(), "select * from todo"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("3024"), std::string::npos) << missing.err;
  EXPECT_FALSE(fs::exists(dir_ / "missing.mdb"));

  Result bad = Run("brontal-sql", {db_, "select from where"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("3075"), std::string::npos) << bad.err;

  Result deleted =
      Run("brontal-sql", {db_, "delete * from todo where nodename = \"<defaultnodename>\""});
  EXPECT_EQ(deleted.status, 0) << deleted.err;
  EXPECT_EQ(deleted.out, "1 rows affected\n");
  EXPECT_EQ(Run("brontal-sql", {db_, "select * from todo"}).out,
            "Nodename\tDirParent\tLevels\tLogFile\n");
  EXPECT_EQ(Run("brontal-sql", {db_}).status, 2);
}

// dbloc.txt names the database as the nodes of a fleet share it, \\node\share\file; each program
// finds it where the share is mounted.
TEST_F(ToolsTest, EveryProgramFindsADatabaseOnAShare) {
  const fs::path share = dir_ / "net" / "fileserver" / "brontal";
  fs::create_directories(share);
  const std::string on_share = (share / "brontal.mdb").string();
  ASSERT_EQ(Run("brontal-initdb", {on_share, "3"}).status, 0);
  const fs::path bin = dir_ / "bin";
  fs::create_directories(bin);
  for (const char* program : {"brontals", "brontalh", "brontald"}) {
    fs::copy_file(fs::path(BRONTAL_BIN_DIR) / program, bin / program);
  }
  std::ofstream(bin / "dbloc.txt") << "\\\\fileserver\\brontal\\brontal.mdb\r\n";
  const fs::path tree = dir_ / "tree";
  fs::create_directories(tree / "alpha");
  std::ofstream(tree / "alpha" / "f") << std::string(100, 'x');
  brontal::testing::PrivateConfigHome config;
  brontal::testing::EnvGuard unc_root("BRONTAL_UNC_ROOT", (dir_ / "net").c_str());
  brontal::testing::EnvGuard drives("BRONTAL_DRIVES", tree.c_str());
  brontal::testing::EnvGuard node("BRONTAL_NODENAME", "node1");
  auto run_in_bin = [&](const char* program, std::vector<std::string> args) {
    return brontal::testing::RunProgram((bin / program).string(), std::move(args), dir_);
  };
  auto log_of = [&](const char* program) {
    return brontal::testing::ReadWholeFile((bin / (std::string(program) + ".log")).string());
  };

  ASSERT_EQ(run_in_bin("brontals", {}).status, 0) << log_of("brontals");
  EXPECT_EQ(Run("brontal-sql", {on_share, "select Brontal from Dirs where Dir = \"alpha\""}).out,
            "Brontal\n100\n");
  // The report compares with a period at least a week old.
  for (const char* copy : {"insert into Periods (pdate) values (#1/1/2000#)",
                           "insert into Dirs (DirParent, Dir, Brontal, pdate) "
                           "select DirParent, Dir, Brontal, #1/1/2000# from Dirs",
                           "insert into Parents (DirParent, pdate) "
                           "select DirParent, #1/1/2000# from Parents"}) {
    ASSERT_EQ(Run("brontal-sql", {on_share, copy}).status, 0);
  }
  const std::string page = (dir_ / "page.htm").string();
  EXPECT_EQ(run_in_bin("brontalh", {"/d:7", "/u:\\\\node1", "/h:" + page}).status, 0)
      << log_of("brontalh");
  EXPECT_NE(brontal::testing::ReadWholeFile(page).find(tree.string()), std::string::npos);
  EXPECT_EQ(run_in_bin("brontald", {"1", "6", "12", "730"}).status, 0) << log_of("brontald");
  // Two years kept: the copy of 2000 is purged, the scan's own period stays.
  EXPECT_EQ(Run("brontal-sql", {on_share, "select count(*) as n from Periods"}).out, "n\n1\n");
  EXPECT_FALSE(fs::exists(bin / "\\\\fileserver\\brontal\\brontal.mdb"));
}

}  // namespace
