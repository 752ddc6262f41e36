// --help and --version of every command-line program, and a program started through a link.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using brontal::testing::ProgramRun;
using brontal::testing::ReadWholeFile;

class HelpVersionTest : public ::testing::Test {
 protected:
  ProgramRun Run(const std::string& program, std::vector<std::string> args) {
    return brontal::testing::RunProgram(std::string(BRONTAL_BIN_DIR) + "/" + program,
                                        std::move(args), folder_.path());
  }

  brontal::testing::TempFolder folder_;
};

TEST_F(HelpVersionTest, EveryProgramAnswersOnStandardOutputWithStatusZero) {
  for (std::string program : {"brontals", "brontald", "brontalh", "brontal-initdb", "brontal-sql",
                              "brontal-copydb", "brontal-demo"}) {
    ProgramRun version = Run(program, {"--version"});
    EXPECT_EQ(version.status, 0) << program;
    EXPECT_EQ(version.out, program + " " + BRONTAL_EXPECTED_VERSION + "\n");
    EXPECT_EQ(version.err, "") << program;

    ProgramRun help = Run(program, {"--help"});
    EXPECT_EQ(help.status, 0) << program;
    EXPECT_GT(help.out.size(), 40u) << program;
    EXPECT_TRUE(help.out.ends_with("\n")) << program;
    EXPECT_EQ(help.out.find('\r'), std::string::npos) << program;
    EXPECT_EQ(help.err, "") << program;
  }
}

// Only the sole, exact word is an option: anything else is read as the program always read it.
TEST_F(HelpVersionTest, OtherCommandLinesKeepTheirMeaning) {
  ProgramRun two_words = Run("brontal-sql", {"--version", "select 1"});
  EXPECT_EQ(two_words.status, 1);  // "--version" named a database that does not exist
  EXPECT_EQ(two_words.out, "");
  EXPECT_NE(two_words.err.find("3024"), std::string::npos) << two_words.err;

  ProgramRun none = Run("brontal-initdb", {});
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.out, "");
  EXPECT_EQ(none.err, Run("brontal-initdb", {"--help"}).out);
}

// A program reached through a link on the PATH still reads dbloc.txt and writes its log in the
// folder where the executable really lies.
TEST_F(HelpVersionTest, AScannerStartedThroughALinkUsesTheRealProgramFolder) {
  const fs::path real = folder_.path() / "opt", on_path = folder_.path() / "bin";
  const fs::path tree = folder_.path() / "tree";
  fs::create_directories(real);
  fs::create_directories(on_path);
  fs::create_directories(tree / "alpha");
  std::ofstream(tree / "alpha" / "f") << std::string(3000, 'x');
  fs::copy_file(std::string(BRONTAL_BIN_DIR) + "/brontals", real / "brontals");
  fs::create_symlink("../opt/brontals", on_path / "brontals");
  const std::string db = (folder_.path() / "brontal.mdb").string();
  ASSERT_EQ(Run("brontal-initdb", {db}).status, 0);
  std::ofstream(real / "dbloc.txt") << db << "\r\n";

  ::setenv("BRONTAL_DRIVES", tree.c_str(), 1);
  ::setenv("BRONTAL_NODENAME", "linked", 1);
  ::setenv("XDG_CONFIG_HOME", (folder_.path() / "config").c_str(), 1);
  ProgramRun scan = brontal::testing::RunProgram((on_path / "brontals").string(), {"uncompressed"},
                                                 folder_.path());
  EXPECT_EQ(scan.status, 0) << ReadWholeFile(real / "brontals.log");
  EXPECT_TRUE(fs::exists(real / "brontals.log"));
  EXPECT_FALSE(fs::exists(on_path / "brontals.log"));
  EXPECT_EQ(Run("brontal-sql", {db, "select Brontal from Dirs where Dir = \"linked\""}).out,
            "Brontal\n3000\n");
}

}  // namespace
