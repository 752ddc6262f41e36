// The administrators' tools run as an administrator would run them.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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

}  // namespace
