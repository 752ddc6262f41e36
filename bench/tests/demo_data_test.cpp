// brontal-demo run as a user runs it, on a tiny history, and the database it leaves read back
// through the database layer: one period a day, sizes that add up, the same rows whichever
// way they were written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/db/sqlite_engine.h"
#include "platform/testing/run_program.h"
#include "platform/testing/temp_folder.h"
#include "store/text.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;

using Result = brontal::testing::ProgramRun;

// Every row of a table as text, in the order they were appended.
using Rows = std::vector<std::vector<std::string>>;

class DemoDataTest : public ::testing::Test {
 protected:
  // Runs brontal-demo with the given arguments, no shell in between.
  Result Demo(std::vector<std::string> args) {
    return testing::RunProgram(std::string(BRONTAL_BIN_DIR) + "/brontal-demo", std::move(args),
                               folder_.path());
  }

  Rows Read(const std::string& path, const std::string& sql) {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path);
    auto rows = database->OpenRecordset(sql, db::RecordsetType::kSnapshot);
    Rows all;
    for (; !rows->Eof(); rows->MoveNext()) {
      std::vector<std::string>& row = all.emplace_back();
      for (int i = 0; i < rows->FieldCount(); ++i) row.push_back(rows->Field(i).TextOr("(null)"));
    }
    rows->Close();
    database->Close();
    return all;
  }

  testing::TempFolder folder_;
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine();
  const std::vector<std::string> tiny_ = {"--nodes", "2",  "--dirs", "20",
                                          "--days",  "10", "--end",  "2026-03-10"};
};

std::vector<std::string> With(std::vector<std::string> args, std::vector<std::string> more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

TEST_F(DemoDataTest, WritesADayOfConsistentScansPerPeriod) {
  const std::string db = folder_ / "demo.mdb";
  Result made = Demo(With({db}, tiny_));
  ASSERT_EQ(made.status, 0) << made.err;

  // One period a day at 02:00, stored once for all the nodes.
  Rows periods = Read(db, "select pdate from Periods order by pdate");
  ASSERT_EQ(periods.size(), 10u);
  std::set<std::string> days;
  for (const auto& row : periods) days.insert(row[0]);
  ASSERT_EQ(days.size(), 10u);
  EXPECT_EQ(*days.begin(), "2026-03-01 02:00:00");
  EXPECT_EQ(*days.rbegin(), "2026-03-10 02:00:00");

  // Every directory holds exactly what its rows below hold, "." included; a node holds its
  // drives.
  Rows dirs = Read(db, "select DirParent, Dir, Brontal, pdate from Dirs");
  std::map<std::pair<std::string, std::string>, long long> size_of, children_sum;
  std::set<std::pair<std::string, std::string>> parents_in_dirs;
  for (const auto& row : dirs) {
    const std::string path = LowerCase(row[0] + "\\" + row[1]);
    EXPECT_TRUE(size_of.emplace(std::pair{row[3], path}, std::stoll(row[2])).second) << path;
    children_sum[{row[3], LowerCase(row[0])}] += std::stoll(row[2]);
    if (row[0] != "R") parents_in_dirs.insert({row[3], row[0]});
  }
  int checked = 0;
  for (const auto& [place, sum] : children_sum) {
    if (place.second == "r") continue;
    ASSERT_TRUE(size_of.contains(place)) << place.second << " has rows but none of its own";
    EXPECT_EQ(size_of[place], sum) << place.second << " at " << place.first;
    ++checked;
  }
  EXPECT_GT(checked, 100);
  EXPECT_NE(made.out.find("wrote " + std::to_string(dirs.size()) + " Dirs"), std::string::npos)
      << made.out;

  // The tree of every period comes from Parents alone.
  std::set<std::pair<std::string, std::string>> parents;
  for (const auto& row : Read(db, "select pdate, DirParent from Parents")) {
    parents.insert({row[0], row[1]});
  }
  EXPECT_EQ(parents, parents_in_dirs);

  // The free space is what the drive's directories and the file system's 1/64 leave of the disk.
  Rows disks = Read(db, "select DiskParent, Disk, DiskFree, DiskSize, pdate from Disks");
  // / and /var of mail01, and none of winfs01, the Windows file server that mail01 sizes
  // through its extras.txt.
  ASSERT_EQ(disks.size(), 10u * 2u);
  for (const auto& row : disks) {
    const long long used = size_of.at({row[4], LowerCase(row[0] + "\\" + row[1])});
    EXPECT_GE(std::stoll(row[2]), 0);
    const long long size = std::stoll(row[3]);
    EXPECT_EQ(std::stoll(row[2]) + used + size / 64, size) << row[0] << "\\" << row[1];
  }

  // Each node was set up with its depth and the scanner's log.
  EXPECT_EQ(Read(db,
                 "select Nodename, Levels, LogFile from Todo where DirParent = \"R\" "
                 "order by Nodename"),
            (Rows{{"mail01", "4", "/opt/brontal/bin/brontals.log"},
                  {"winfs01", "5", "/opt/brontal/bin/brontals.log"}}));

  // A project starts halfway through; an old folder is cleared away a third of the way.
  auto has = [&](const std::string& day, const std::string& path) {
    return size_of.contains({"2026-03-" + day + " 02:00:00", LowerCase(path)});
  };
  EXPECT_FALSE(has("05", "R\\winfs01\\D:\\Shares\\Projects\\Phoenix"));
  EXPECT_TRUE(has("06", "R\\winfs01\\D:\\Shares\\Projects\\Phoenix"));
  EXPECT_TRUE(has("03", "R\\winfs01\\D:\\Shares\\Temp\\OldScans"));
  EXPECT_FALSE(has("04", "R\\winfs01\\D:\\Shares\\Temp\\OldScans"));

  // A Linux node's drives are its mount points, "/" among them, with "\" between the names
  // below them, as the scanner stores them.
  EXPECT_TRUE(has("10", "R\\mail01\\/\\usr\\lib"));
  EXPECT_TRUE(has("10", "R\\mail01\\/var\\log\\mail"));
}

TEST_F(DemoDataTest, FastPathWritesTheSameRowsAsTheStore) {
  const std::string through_store = folder_ / "store.mdb", fast = folder_ / "fast.mdb";
  const std::string other_seed = folder_ / "other.mdb";
  // Long enough for the fast path to commit a month and then the days after it.
  const std::vector<std::string> five_weeks = {"--nodes", "2",  "--dirs", "20",
                                               "--days",  "35", "--end",  "2026-03-10"};
  ASSERT_EQ(Demo(With({through_store}, five_weeks)).status, 0);
  ASSERT_EQ(Demo(With({fast, "--fast"}, five_weeks)).status, 0);
  ASSERT_EQ(Demo(With({other_seed, "--seed", "2", "--fast"}, five_weeks)).status, 0);
  for (const char* sql :
       {"select DirParent, Dir, Brontal, pdate from Dirs", "select DirParent, pdate from Parents",
        "select DiskParent, Disk, DiskFree, DiskSize, pdate from Disks",
        "select pdate from Periods", "select * from Todo"}) {
    Rows rows = Read(through_store, sql);
    EXPECT_FALSE(rows.empty()) << sql;
    EXPECT_EQ(Read(fast, sql), rows) << sql;
  }
  EXPECT_NE(Read(other_seed, "select Brontal from Dirs"),
            Read(through_store, "select Brontal from Dirs"));
}

TEST_F(DemoDataTest, RefusesAnExistingFileAndBadArguments) {
  const std::string db = folder_ / "demo.mdb";
  ASSERT_EQ(Demo(With({db, "--fast"}, tiny_)).status, 0);
  const std::string before = testing::ReadWholeFile(db);
  Result again = Demo(With({db}, tiny_));
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.err.find("exists already"), std::string::npos) << again.err;
  EXPECT_EQ(testing::ReadWholeFile(db), before);

  const std::string other = folder_ / "other.mdb";
  for (const auto& args : std::vector<std::vector<std::string>>{{other, "--nodes", "0"},
                                                                {other, "--days", "many"},
                                                                {other, "--end", "2026-02-30"},
                                                                {other, "--dirs"},
                                                                {other, "--colour", "red"},
                                                                {}}) {
    Result bad = Demo(args);
    EXPECT_EQ(bad.status, 2) << bad.err;
    EXPECT_NE(bad.err.find("usage:"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(other));
}

}  // namespace
}  // namespace brontal
