// The monitor configuration's procedures on real database files and a real dbloc.txt: the first
// start, connecting and saving the path, paths that do not open or cannot be saved, the level
// steps in Todo, the spin button and a second database within one run.
#include "monconfig/monitor_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "monconfig/dbloc_file.h"
#include "monconfig/tests/monconfig_fixture.h"
#include "platform/testing/postgres.h"
#include "report/levels_example.h"
#include "store/schema.h"

namespace brontal {
namespace {

using Tab = MonitorConfig::Tab;

class MonitorConfigTest : public ::testing::Test, protected testing::MonitorConfigRig {
 protected:
  MonitorConfigTest() {
    CreateBrontalDatabase(*engine, first_, 3);
    CreateBrontalDatabase(*engine, second_, 5);
  }

  // A started dialog whose statuses are recorded.
  std::unique_ptr<MonitorConfig> Started() {
    auto config = std::make_unique<MonitorConfig>(Services());
    config->on_status = [this](const std::string& status) { statuses_.push_back(status); };
    config->Start();
    return config;
  }

  // Connects path by leaving the database tab, as a click on the levels tab does.
  std::unique_ptr<MonitorConfig> Loaded(const std::string& path) {
    auto config = Started();
    config->database_text = path;
    EXPECT_TRUE(config->TabChanged(Tab::kDatabaseTab));
    return config;
  }

  void WriteDbLoc(const std::string& content) { std::ofstream(folder / "dbloc.txt") << content; }
  std::string DbLoc() const { return testing::ReadWholeFile(folder / "dbloc.txt"); }
  // Whether a temporary file of a save lies beside dbloc.txt.
  bool TemporaryFileLeft() const {
    for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
      if (entry.path().string().ends_with(".tmp")) return true;
    }
    return false;
  }
  void SetNode1Levels(const std::string& path, int level) {
    auto database = engine->DefaultWorkspace().OpenDatabase(path);
    database->Execute("update Todo set Levels = " + std::to_string(level) +
                      " where Nodename = \"NODE1\"");
    database->Close();
  }

  std::string first_ = folder / "first.mdb";
  std::string second_ = folder / "second.mdb";
  std::vector<std::string> statuses_;
};

TEST_F(MonitorConfigTest, StartWithoutADatabaseThatOpensLeavesTheLevelsTabUnavailable) {
  auto config = Started();  // no dbloc.txt
  EXPECT_EQ(config->Caption(), "Brontal Monitor Configuration NODE1");
  EXPECT_EQ(config->database_text, "");
  EXPECT_EQ(config->Status(), "Specified database not found");
  EXPECT_FALSE(config->LevelsTabEnabled());

  WriteDbLoc(folder / "gone.mdb\r\n");
  config = Started();
  EXPECT_EQ(config->database_text, folder / "gone.mdb");
  EXPECT_EQ(config->Status(), "Specified database not found");
  EXPECT_FALSE(config->LevelsTabEnabled());

  std::ofstream(folder / "text.mdb") << "no database";
  WriteDbLoc(folder / "text.mdb\r\n");
  config = Started();
  EXPECT_TRUE(config->Status().starts_with("Can't open database: ")) << config->Status();
  EXPECT_FALSE(config->LevelsTabEnabled());

  WriteDbLoc(first_ + "\r\n");
  config = Started();
  EXPECT_EQ(config->Status(), "Database opened successfully");
  EXPECT_TRUE(config->LevelsTabEnabled());
  EXPECT_TRUE(messages.shown.empty());
  EXPECT_FALSE(config->Ended());
}

TEST_F(MonitorConfigTest, TypedPathThatOpensIsSavedWholeWithCrLf) {
  auto config = Started();
  config->database_text = first_;
  EXPECT_TRUE(config->Connect());
  EXPECT_EQ(DbLoc(), first_ + "\r\n");
  EXPECT_EQ(config->Status(), "Database opened successfully");
  EXPECT_TRUE(config->LevelsTabEnabled());
  EXPECT_FALSE(TemporaryFileLeft());
}

TEST_F(MonitorConfigTest, PathThatDoesNotOpenOrCannotBeSavedLeavesDbLocAsItWas) {
  WriteDbLoc(first_ + "\r\n");
  auto config = Started();
  std::ofstream(folder / "text.mdb") << "no database";
  config->database_text = folder / "text.mdb";
  EXPECT_FALSE(config->Connect());
  EXPECT_TRUE(config->Status().starts_with("Can't open database: ")) << config->Status();

  files.FailOn(FakeFileOperations::Call::kRenameOver, "", kFsPermissionDenied, "read-only");
  config->database_text = second_;
  EXPECT_FALSE(config->Connect());
  EXPECT_EQ(config->Status(), "Can't save dbloc.txt: read-only");
  EXPECT_EQ(DbLoc(), first_ + "\r\n");
  EXPECT_FALSE(TemporaryFileLeft());
  EXPECT_THROW(SaveDBLoc(files, folder.path().string(), "a\nb.mdb"), std::invalid_argument);
  EXPECT_FALSE(config->Ended());
}

TEST_F(MonitorConfigTest, NoSuchFileRestoresTheHeldPathOrEndsTheDialog) {
  WriteDbLoc(first_ + "\r\n");
  auto config = Started();
  questions.answers = {true};
  config->database_text = folder / "gone.mdb";
  EXPECT_FALSE(config->Connect());
  ASSERT_EQ(questions.asked.size(), 1u);
  EXPECT_EQ(questions.asked[0].title, "No such file!");
  EXPECT_EQ(questions.asked[0].text,
            "Specified database filename is not accessible.  OK to try again, Cancel to quit.");
  EXPECT_EQ(questions.asked[0].icon, MessageIcon::kCritical);
  EXPECT_EQ(config->database_text, first_);
  EXPECT_FALSE(config->Ended());

  // Leaving the tab with an empty path connects nothing and loads no levels.
  config->database_text = "";
  EXPECT_FALSE(config->TabChanged(Tab::kDatabaseTab));  // Cancel
  EXPECT_TRUE(config->Ended());
  EXPECT_FALSE(config->Failed());
  EXPECT_TRUE(Node1Levels(first_).empty());
}

TEST_F(MonitorConfigTest, BrowseFillsTheBoxWithAnExistingFileWithoutConnecting) {
  auto config = Started();
  open_file.answers = {folder / "gone.mdb", first_};
  config->Browse();
  EXPECT_EQ(messages.shown, std::vector<std::string>{"Specified database file does not exist"});
  EXPECT_EQ(config->database_text, "");
  config->Browse();
  EXPECT_EQ(config->database_text, first_);
  open_file.FailCall(3);
  config->Browse();  // a dialog that fails changes nothing
  EXPECT_EQ(config->database_text, first_);
  ASSERT_EQ(open_file.requests.size(), 3u);
  EXPECT_EQ(open_file.requests[0].initial_name, "brontal.mdb");
  EXPECT_EQ(open_file.requests[2].initial_name, first_);
  EXPECT_EQ(open_file.requests[0].filter, "Access databases(*.mdb)|*.mdb");
  EXPECT_FALSE(std::filesystem::exists(folder / "dbloc.txt"));
  EXPECT_FALSE(config->LevelsTabEnabled());

  // A browsed file is the held path that "No such file!" puts back.
  questions.answers = {true};
  config->database_text = "";
  EXPECT_FALSE(config->Connect());
  EXPECT_EQ(config->database_text, first_);
}

TEST_F(MonitorConfigTest, LeavingTheDatabaseTabRegistersTheNodeAndLevelsAreSavedWhenChanged) {
  auto config = Loaded(first_);
  EXPECT_EQ(DbLoc(), first_ + "\r\n");
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"-1"});
  EXPECT_EQ(config->DefaultLevelsLabel(), "(Default 3)");
  EXPECT_EQ(config->levels_text, "3");
  EXPECT_EQ(statuses_,
            (std::vector<std::string>{
                "Specified database not found", "Database opened successfully",
                "Database opened successfully", "Configuring database for this computer...",
                "Getting default directory level", "Getting directory level for this computer",
                "Connection OK"}));

  // Unchanged: nothing is written, so a level set meanwhile by another program stays.
  SetNode1Levels(first_, 7);
  EXPECT_TRUE(config->TabChanged(Tab::kLevelsTab));
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"7"});
  EXPECT_EQ(config->Status(), "Level setting saved");

  config->levels_text = " 5 ";
  config->SaveLevel();
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"5"});
  config->levels_text = "3";  // the default: the node follows it from now on
  config->SaveLevel();
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"-1"});
  config->levels_text = "4";
  config->Ok();
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"4"});
  EXPECT_TRUE(config->Ended());
  EXPECT_FALSE(config->Failed());
  EXPECT_TRUE(messages.shown.empty());
}

TEST_F(MonitorConfigTest, APathOnAShareIsKeptAsTypedAndOpensWhereTheShareIsMounted) {
  std::filesystem::create_directories(folder.path() / "files" / "brontal");
  const std::string mounted = (folder.path() / "files" / "brontal" / "shared.mdb").string();
  CreateBrontalDatabase(*engine, mounted, 4);
  auto config = Loaded("\\\\files\\brontal\\shared.mdb");
  EXPECT_EQ(DbLoc(), "\\\\files\\brontal\\shared.mdb\r\n");
  EXPECT_EQ(config->Status(), "Connection OK");
  EXPECT_EQ(Node1Levels(mounted), std::vector<std::string>{"-1"});
}

TEST_F(MonitorConfigTest, ADatabaseOnAServerIsSavedAsTypedAndTheNodeRegisteredThere) {
  if (!testing::ScratchPostgres::ServerUri())
    GTEST_SKIP() << testing::ScratchPostgres::SkipMessage();
  testing::ScratchPostgres server;
  CreateBrontalDatabase(*engine, server.uri(), 6);
  auto config = Loaded(server.uri());
  EXPECT_EQ(DbLoc(), server.uri() + "\r\n");
  EXPECT_EQ(config->Status(), "Connection OK");
  EXPECT_EQ(config->DefaultLevelsLabel(), "(Default 6)");
  config->levels_text = "4";
  config->Ok();
  EXPECT_EQ(Node1Levels(server.uri()), std::vector<std::string>{"4"});
  EXPECT_FALSE(config->Failed());
}

TEST_F(MonitorConfigTest, LevelThatIsNoSixteenBitNumberEndsTheDialogUnsaved) {
  for (auto [typed, error] : {std::pair{"abc", "Type mismatch"}, std::pair{"4.5", "Type mismatch"},
                              std::pair{"+-4", "Type mismatch"}, std::pair{"32768", "Overflow"}}) {
    messages.shown.clear();
    auto config = Loaded(first_);
    config->levels_text = typed;
    config->Ok();
    EXPECT_EQ(messages.shown,
              std::vector<std::string>{std::string("Error saving default level - ") + error});
    EXPECT_TRUE(config->Failed());
    EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"-1"});
  }
}

TEST_F(MonitorConfigTest, SpinStaysWithinTwoToNineAndStepsFromTheLoadedLevel) {
  auto config = Loaded(first_);
  struct Case {
    const char* typed;
    int step;
    const char* shown;
  };
  for (Case c : {Case{"2", -1, "2"}, Case{"3", -1, "2"}, Case{"9", 1, "9"}, Case{"8", 1, "9"},
                 Case{"abc", 1, "4"}, Case{"", -1, "2"}, Case{"12", -1, "11"}}) {
    config->levels_text = c.typed;
    config->Spin(c.step);
    EXPECT_EQ(config->levels_text, c.shown) << c.typed << " " << c.step;
  }
  config->levels_text = "4";
  config->Spin(1);
  EXPECT_EQ(config->Status(), LevelsExample(5, settings));
  EXPECT_TRUE(Node1Levels(first_) == std::vector<std::string>{"-1"});  // spinning saves nothing
}

TEST_F(MonitorConfigTest, LevelStepsActOnTheDatabaseConnectedLast) {
  auto config = Loaded(first_);
  config->database_text = second_;
  EXPECT_TRUE(config->TabChanged(Tab::kDatabaseTab));
  EXPECT_EQ(config->DefaultLevelsLabel(), "(Default 5)");
  EXPECT_EQ(config->levels_text, "5");
  config->levels_text = "7";
  config->Ok();
  EXPECT_EQ(Node1Levels(second_), std::vector<std::string>{"7"});
  EXPECT_EQ(Node1Levels(first_), std::vector<std::string>{"-1"});
  EXPECT_EQ(DbLoc(), second_ + "\r\n");
}

TEST_F(MonitorConfigTest, FailedLevelStepEndsTheDialogWithItsContext) {
  auto database = engine->DefaultWorkspace().OpenDatabase(second_);
  database->Execute("delete * from Todo");
  database->Close();
  auto config = Started();
  config->database_text = second_;
  config->TabChanged(Tab::kDatabaseTab);
  ASSERT_EQ(messages.shown.size(), 1u);
  EXPECT_TRUE(messages.shown[0].starts_with("Error getting default directory level - "))
      << messages.shown[0];
  EXPECT_EQ(messages.icons[0], MessageIcon::kCritical);
  EXPECT_TRUE(config->Failed());
}

}  // namespace
}  // namespace brontal
