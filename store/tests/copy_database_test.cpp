// The copy of a size database between files and PostgreSQL: every row arrives, a destination
// that holds a database already is refused untouched, and a failed copy leaves nothing behind.
#include "store/copy_database.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/db/file_lock.h"
#include "platform/db/program_engine.h"
#include "platform/testing/postgres.h"
#include "platform/testing/query_rows.h"
#include "platform/testing/temp_folder.h"
#include "platform/testing/two_servers.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::QueryRows;
using testing::ScratchPostgres;
using testing::two_servers::kMB;

// A period that only Dirs and Disks know, as when a scan was stored without its Periods row.
const DateTime kUnlisted = DateTime::FromCivil(2026, 9, 7, 2);

// Every row of every table, sorted; Periods as its distinct periods.
std::vector<std::string> AllRows(db::Engine& engine, const std::string& location) {
  std::vector<std::string> all;
  for (const auto& table : BrontalSchema().tables) {
    const std::string select = table.name == "Periods" ? "select distinct pdate" : "select *";
    for (const auto& row : QueryRows(engine, location, select + " from " + table.name)) {
      all.push_back(table.name + ": " + row);
    }
  }
  return all;
}

class CopyDatabaseTest : public ::testing::Test {
 protected:
  // The fixture of two servers and four periods at `path`, in a file of the older kind made
  // with `schema`, and a period that Periods does not list, with a name that is no UTF-8.
  void MakeSource(const std::string& path, const db::Schema& schema = RepeatedPeriodsSchema()) {
    CreateBrontalDatabase(*engine_, path, 3, schema);
    auto database = engine_->DefaultWorkspace().OpenDatabase(path);
    testing::two_servers::Fill(*database);
    testing::two_servers::RowWriter rows(*database);
    rows.AddDir("R", "SERVER1", 990 * kMB, kUnlisted);
    rows.AddDir("R\\SERVER1", "bad\xff\xfeutf8", 1, kUnlisted);  // kept byte for byte
    rows.Add("Disks", {{"DiskParent", "R\\SERVER1"}, {"Disk", "C:"}, {"pdate", kUnlisted}});
    database->Close();
  }

  std::vector<TableRows> Copy(const std::string& from, const std::string& to) {
    lines_.clear();
    return CopyDatabase(*from_engine_, from, *engine_, to,
                        [this](const std::string& line) { lines_.push_back(line); });
  }

  // The error number of a copy that must fail, with its message in message_.
  int FailedCopy(const std::string& from, const std::string& to) {
    try {
      Copy(from, to);
    } catch (const db::DbError& error) {
      message_ = error.Description();
      return error.Number();
    }
    ADD_FAILURE() << "the copy from " << from << " to " << to << " succeeded";
    return 0;
  }

  std::unique_ptr<db::Engine> engine_ = db::MakeProgramEngine();
  std::unique_ptr<db::Engine> from_engine_ = db::MakeProgramEngine();
  testing::TempFolder folder_;
  std::string source_ = folder_ / "brontal.mdb";
  std::string back_ = folder_ / "back.mdb";
  std::vector<std::string> lines_;
  std::string message_;
};

TEST_F(CopyDatabaseTest, FileToPostgresAndBackKeepsEveryRow) {
  if (!ScratchPostgres::ServerUri()) GTEST_SKIP() << ScratchPostgres::SkipMessage();
  MakeSource(source_);
  ScratchPostgres server;

  const auto counts = Copy(source_, server.uri());
  EXPECT_EQ(lines_.back(), "Todo: 3 rows");
  EXPECT_NE(std::find(lines_.begin(), lines_.end(), "Dirs: 5 of 5 periods, 34 rows"), lines_.end());
  // P1 stands twice in the file's Periods, once in the copy.
  EXPECT_EQ(counts.front().table, "Periods");
  EXPECT_EQ(counts.front().copied, 4);
  for (const auto& table : counts) EXPECT_EQ(table.source, table.copied) << table.table;

  Copy(server.uri(), back_);
  const auto rows = AllRows(*engine_, source_);
  EXPECT_EQ(AllRows(*engine_, server.uri()), rows);
  EXPECT_EQ(AllRows(*engine_, back_), rows);
  EXPECT_EQ(rows.size(), 4u + 34u + 14u + 7u + 3u);
}

TEST_F(CopyDatabaseTest, DestinationHoldingADatabaseIsRefusedUntouched) {
  MakeSource(source_);
  CreateBrontalDatabase(*engine_, back_, 5);
  const std::string before = testing::ReadWholeFile(back_);
  EXPECT_EQ(FailedCopy(source_, back_), db::kDatabaseExists);
  EXPECT_EQ(testing::ReadWholeFile(back_), before);

  if (!ScratchPostgres::ServerUri()) GTEST_SKIP() << ScratchPostgres::SkipMessage();
  ScratchPostgres server;
  CreateBrontalDatabase(*engine_, server.uri(), 5);
  EXPECT_EQ(FailedCopy(source_, server.uri()), db::kDatabaseExists);
  EXPECT_EQ(AllRows(*engine_, server.uri()),
            (std::vector<std::string>{"Todo: <defaultnodename>|<defaultnodename>|5|"}));
}

TEST_F(CopyDatabaseTest, MissingSourceMakesNothing) {
  EXPECT_EQ(FailedCopy(folder_ / "missing.mdb", back_), db::kFileNotFound);
  EXPECT_FALSE(fs::exists(back_));
  EXPECT_FALSE(fs::exists(db::FileLock::LockPathFor(back_)));
}

TEST_F(CopyDatabaseTest, FailedCopyLeavesNothingBehind) {
  // A Dirs column the new database lacks fails the copy at its third table.
  db::Schema wider = RepeatedPeriodsSchema();
  for (auto& table : wider.tables) {
    if (table.name == "Dirs") table.columns.push_back({"Owner", db::ColumnType::kText});
  }
  MakeSource(source_, wider);
  EXPECT_EQ(FailedCopy(source_, back_), db::kItemNotFound);
  EXPECT_NE(message_.find("Dirs, period 2026-09-07 02:00:00: "), std::string::npos) << message_;
  EXPECT_NE(message_.find("Nothing was left at"), std::string::npos) << message_;
  EXPECT_FALSE(fs::exists(back_));
  EXPECT_FALSE(fs::exists(db::FileLock::LockPathFor(back_)));

  if (!ScratchPostgres::ServerUri()) GTEST_SKIP() << ScratchPostgres::SkipMessage();
  ScratchPostgres server;
  EXPECT_EQ(FailedCopy(source_, server.uri()), db::kItemNotFound);
  EXPECT_NE(message_.find("were dropped again"), std::string::npos) << message_;
  // The tables are gone: the database takes a copy again.
  const std::string narrow = folder_ / "narrow.mdb";
  MakeSource(narrow);
  Copy(narrow, server.uri());
}

}  // namespace
}  // namespace brontal
