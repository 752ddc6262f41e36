// The indexes of the size database as the readers use them: from its creation, and after a
// compaction, which measures its statistics, the list of one parent's children in two periods
// is read through the (parent, period) index, not by walking every period of the parent.
#include "store/schema.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

// SQLite's plan of one statement, its details joined by "; ".
std::string QueryPlan(const std::string& path, const std::string& sql) {
  sqlite3* handle = nullptr;
  EXPECT_EQ(sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* statement = nullptr;
  EXPECT_EQ(
      sqlite3_prepare_v2(handle, ("explain query plan " + sql).c_str(), -1, &statement, nullptr),
      SQLITE_OK)
      << sqlite3_errmsg(handle);
  std::string plan;
  while (statement && sqlite3_step(statement) == SQLITE_ROW) {
    if (!plan.empty()) plan += "; ";
    plan += reinterpret_cast<const char*>(sqlite3_column_text(statement, 3));
  }
  sqlite3_finalize(statement);
  sqlite3_close(handle);
  return plan;
}

// Forty children of one parent over sixty daily periods, written through the engine, and the
// viewer's list of them in two periods.
const std::string kList =
    "select Dir, Brontal, pdate from Dirs where DirParent='R\\SERVER1\\C:\\Users' and "
    "(pdate='2026-11-29 02:00:00' or pdate='2026-11-22 02:00:00') order by dir asc, pdate desc";

void WriteSixtyPeriods(db::Engine& engine, const std::string& path) {
  auto database = engine.DefaultWorkspace().OpenDatabase(path);
  auto& workspace = engine.DefaultWorkspace();
  workspace.BeginTrans();
  auto dirs = database->OpenRecordset("Dirs", db::RecordsetType::kTable);
  for (int day = 0; day < 60; ++day) {
    for (int child = 0; child < 40; ++child) {
      dirs->AddNew();
      dirs->SetField("DirParent", "R\\SERVER1\\C:\\Users");
      dirs->SetField("Dir", "user" + std::to_string(child));
      dirs->SetField("Brontal", std::int64_t{1000} * child);
      dirs->SetField("pdate", DateTime::FromCivil(2026, 10, 1, 2) + day);
      dirs->Update();
    }
  }
  dirs->Close();
  workspace.CommitTrans();
  database->Close();
}

TEST(SchemaTest, TheListOfAParentReadsOnlyItsTwoPeriodsBeforeAndAfterACompaction) {
  testing::TempFolder folder;
  auto engine = db::MakeSqliteEngine({});
  const std::string path = folder / "brontal.mdb";
  CreateBrontalDatabase(*engine, path, 3);
  // A new file's planner starts with a large file's statistics; the tree of two periods is read
  // through (pdate, DirParent), not by skipping through every parent.
  const std::string by_period = "Dirs_ParentPeriod (DirParent=? AND pdate=?)";
  EXPECT_NE(QueryPlan(path, kList).find(by_period), std::string::npos) << QueryPlan(path, kList);
  const std::string tree =
      "select distinct Parents.DirParent from Parents where Parents.pdate='2026-11-29 02:00:00' "
      "or Parents.pdate='2026-11-22 02:00:00' order by Parents.dirparent";
  EXPECT_NE(QueryPlan(path, tree).find("Parents_PeriodParent (pdate=?)"), std::string::npos)
      << QueryPlan(path, tree);
  WriteSixtyPeriods(*engine, path);
  EXPECT_NE(QueryPlan(path, kList).find(by_period), std::string::npos) << QueryPlan(path, kList);
  // The compaction measures the file's own.
  const std::string copy = folder / "brontal.md1";
  engine->CompactDatabase(path, copy);
  EXPECT_NE(QueryPlan(copy, kList).find(by_period), std::string::npos) << QueryPlan(copy, kList);
}

}  // namespace
}  // namespace brontal
