// The real brontalh, copied into a folder of its own beside dbloc.txt and run the way a
// scheduler or an administrator at a terminal runs it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "htmltool/tests/brontalh_fixture.h"
#include "htmltool/usage.h"
#include "platform/testing/test_database.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;

class BrontalhProgramTest : public testing::BrontalhFixture {
 protected:
  void SetUp() override {
    BrontalhFixture::SetUp();
    InstallProgram(BRONTAL_BIN_DIR);
  }

  std::string Log() const { return testing::ReadWholeFile(program_folder_ + "/brontalh.log"); }

  // Runs a report of one place with the arguments as plain shell words, and checks its page.
  void ExpectThePageOfAPlace() {
    testing::Outcome outcome =
        RunProgram({"/d:7", "/u:\\\\SERVER1\\C$", "/h:" + page_path_, "/list", "/s:name"});
    ASSERT_EQ(outcome.status, 0) << Log();
    EXPECT_EQ(outcome.output, "");
    std::string log = Log();
    EXPECT_NE(log.find("Parsing command line: (/d:7 /u:\\\\SERVER1\\C$ /h:\"" + page_path_ +
                       "\" /list /s:name)"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("  HTML file:      " + page_path_ + "\r\n"), std::string::npos);
    EXPECT_TRUE(log.ends_with("Finished.\r\n"));
    std::string page = testing::ReadWholeFile(page_path_);
    EXPECT_NE(page.find("&nbsp;&nbsp;&nbsp;Users"), std::string::npos);
    EXPECT_NE(page.find("</html>"), std::string::npos);
  }
};

// The same report from a database on the test server, named by the URI in dbloc.txt.
class BrontalhOnServerTest : public BrontalhProgramTest {
 protected:
  void SetUp() override {
    const std::optional<std::string> location = testing::ServerDatabase(server_);
    if (!location) GTEST_SKIP() << testing::ScratchPostgres::SkipMessage();
    db_path_ = *location;
    engine_ = testing::MakeTestEngine(10000, &clock_);
    BrontalhProgramTest::SetUp();
  }

  std::optional<testing::TestDatabase> server_;
};

TEST_F(BrontalhProgramTest, WritesThePageOfAPlaceGivenWithPlainShellWords) {
  ExpectThePageOfAPlace();
}

TEST_F(BrontalhOnServerTest, WritesThePageOfAPlaceFromADatabaseOnAServer) {
  ExpectThePageOfAPlace();
}

TEST_F(BrontalhProgramTest, WithoutADisplayTheUsageGoesToStandardOutput) {
  for (std::vector<std::string> arguments :
       {std::vector<std::string>{}, {"/?"}, {"HELP"}, {" ", "help", " "}}) {
    testing::Outcome outcome = RunProgram(arguments);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, HtmlReportUsageText("\n"));
  }
  EXPECT_FALSE(fs::exists(program_folder_ + "/brontalh.log"));
}

TEST_F(BrontalhProgramTest, ExitStatusTellsAFailureFromABrokenReport) {
  EXPECT_EQ(RunProgram({"/d:0", "/u:\\", "/h:" + page_path_}).status, 1);
  EXPECT_NE(Log().find("ERROR: /d parameter must be a positive integer"), std::string::npos);
  EXPECT_EQ(RunProgram({"/d:7", "/u:\\", "/h:" + temp_ / "missing/x.htm"}).status, 2);
}

}  // namespace
}  // namespace brontal
