// brontal-copydb run as an administrator runs it: a database copied to a new file, and the
// same copy refused once the file exists.
#include <gtest/gtest.h>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"

namespace {

using brontal::testing::ProgramRun;

TEST(CopydbTest, CopiesToANewFileOnly) {
  brontal::testing::TempFolder folder;
  const std::string bin = BRONTAL_BIN_DIR, from = folder / "a.mdb", to = folder / "b.mdb";
  auto run = [&](const std::string& program, std::vector<std::string> args) {
    return brontal::testing::RunProgram(bin + "/" + program, std::move(args), folder.path());
  };
  ASSERT_EQ(run("brontal-initdb", {from, "7"}).status, 0);

  ProgramRun copied = run("brontal-copydb", {from, to});
  ASSERT_EQ(copied.status, 0) << copied.err;
  EXPECT_NE(copied.out.find("Dirs: no periods, 0 rows\n"), std::string::npos) << copied.out;
  EXPECT_NE(copied.out.find("  Todo     1 1\n"), std::string::npos) << copied.out;
  EXPECT_EQ(run("brontal-sql", {to, "select Levels from Todo"}).out, "Levels\n7\n");

  ProgramRun again = run("brontal-copydb", {from, to});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("brontal-copydb: error 3204: "), std::string::npos) << again.err;
  EXPECT_EQ(run("brontal-copydb", {from}).status, 2);
}

}  // namespace
