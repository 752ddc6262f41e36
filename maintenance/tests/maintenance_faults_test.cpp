// brontald's purge and the repair-compact-swap on a disk that fails below the database engine:
// for every read, write, sync, truncate, lock and delete they make that can fail, the database
// path names a sound database, a purge has taken effect step by step or not at all, and a
// failure is reported, never success.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>

#include "maintenance/maintenance_run.h"
#include "maintenance/purge.h"
#include "maintenance/repair_compact.h"
#include "maintenance/tests/maintenance_testing.h"
#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/testing/fault_vfs.h"
#include "platform/testing/query_rows.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::FaultPlan;
using Rows = std::vector<std::string>;

// A Tuesday; the daily scans reach 120 days back, so that each purge of "1 2 1 60" deletes.
const DateTime kNow = DateTime::FromCivil(2026, 12, 1, 14, 0, 30);

// Counts the problems a run reports.
class ProblemReporter : public RepairReporter {
 public:
  void Begin() override {}
  void Progress(std::string_view) override {}
  void Problem(Gravity, std::string_view message) override { problems.emplace_back(message); }
  void End(RepairOutcome) override {}
  Rows problems;
};

class MaintenanceFaultTest : public ::testing::TestWithParam<FaultPlan> {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, template_, 3);
    auto database = engine_->DefaultWorkspace().OpenDatabase(template_);
    engine_->DefaultWorkspace().BeginTrans();
    for (int day = 0; day < 120; ++day) {
      testing::AddScan(*database, kNow.DateOnly() - static_cast<double>(day) + 2 / 24.0);
    }
    engine_->DefaultWorkspace().CommitTrans();
    database->Close();
    std::ofstream(folder_ / "dbloc.txt") << path_ << "\n";
  }

  // The template in the database's place, with nothing beside it.
  void Prepare() {
    for (const std::string& name : {path_, copy_, backup_}) {
      fs::remove(name);
      fs::remove(name + "-journal");
    }
    fs::copy_file(template_, path_);
  }

  // Every table's periods, one line per table.
  Rows PeriodsOf(const std::string& path) {
    auto database = engine_->DefaultWorkspace().OpenDatabase(path);
    Rows tables;
    for (const char* table : {"Periods", "Dirs", "Parents", "Disks"}) {
      std::string periods;
      for (const std::string& period : testing::PeriodsIn(*database, table)) periods += period;
      tables.push_back(periods);
    }
    database->Close();
    return tables;
  }

  Rows AllRows(const std::string& path) {
    Rows rows;
    for (const char* table : {"Periods", "Dirs", "Parents", "Disks", "Todo"}) {
      for (std::string& row :
           testing::QueryRows(*engine_, path, std::string("select * from ") + table)) {
        rows.push_back(table + ("|" + row));
      }
    }
    return rows;
  }

  void Report(const std::string& operation, int tried) {
    RecordProperty("values_tried", tried);
    std::cout << operation << ", " << NameOf(GetParam()) << ": " << tried << " values of N\n";
  }

  FixedClock clock_{kNow};
  FixedLocale locale_;
  LinuxFileOperations files_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
  testing::TempFolder folder_{testing::FaultTestFolder()};
  std::string template_ = folder_ / "template.db";
  std::string path_ = folder_ / "brontal.mdb";
  std::string copy_ = folder_ / "brontal.md1";
  std::string backup_ = folder_ / "brontal.md2";
};

TEST_P(MaintenanceFaultTest, BrontaldsPurgeEndsAfterAWholePurgeStepAndSaysWhenItFailed) {
  // The periods after none, one, two and all three purge steps, each step one transaction.
  Prepare();
  std::vector<Rows> steps = {PeriodsOf(path_)};
  auto database = engine_->DefaultWorkspace().OpenDatabase(path_);
  for (const std::string& condition :
       {PurgeEverythingCondition(kNow, 60), PurgeWeeklyCondition(kNow, 1),
        PurgeDailyCondition(kNow, 2, 1)}) {
    Purge(*database, condition);
    steps.push_back(PeriodsOf(path_));
  }
  database->Close();
  ASSERT_EQ(std::set<Rows>(steps.begin(), steps.end()).size(), 4u);

  int status = -1;
  const int tried = testing::TryEveryFault(
      GetParam(), [&] { Prepare(); },
      [&](const std::function<void()>& arm) {
        // Armed between the compaction and the purge.
        MaintenanceServices services{
            *engine_, files_, clock_, locale_, folder_.path().string(), [&](int) { arm(); }};
        status = RunMaintenance("1 2 1 60", services);
      },
      [&](bool fired) {
        SCOPED_TRACE(NameOf(GetParam()) + " status " + std::to_string(status));
        EXPECT_EQ(testing::IntegrityOf(path_), "ok");
        const Rows periods = PeriodsOf(path_);
        const auto step = std::find(steps.begin(), steps.end(), periods) - steps.begin();
        EXPECT_LT(step, 4) << "a purge step taken in part";
        if (status == kMaintenanceDone) {
          EXPECT_EQ(step, 3);
        } else {
          EXPECT_TRUE(fired);
          EXPECT_EQ(status, kMaintenanceAborted);
          EXPECT_NE(testing::ReadWholeFile(folder_ / "brontald.log").find("Aborting due to error"),
                    std::string::npos);
        }
        return !HasFailure();
      });
  Report("brontald purge", tried);
}

TEST_P(MaintenanceFaultTest, RepairAndCompactLeavesAWholeDatabaseAndTheNextRunCompactsIt) {
  Prepare();
  const Rows rows = AllRows(path_);
  RepairOutcome outcome{};
  ProblemReporter reporter;
  const int tried = testing::TryEveryFault(
      GetParam(), [&] { Prepare(); },
      [&](const std::function<void()>& arm) {
        reporter = {};
        arm();
        outcome = RepairAndCompact(path_, engine_->DefaultWorkspace(), files_, reporter);
      },
      [&](bool fired) {
        SCOPED_TRACE(NameOf(GetParam()) + " outcome " + std::to_string(static_cast<int>(outcome)));
        EXPECT_EQ(testing::IntegrityOf(path_), "ok");
        EXPECT_EQ(AllRows(path_), rows);
        if (outcome == RepairOutcome::kCompacted) {
          EXPECT_TRUE(reporter.problems.empty());
          EXPECT_EQ(testing::IntegrityOf(backup_), "ok");
        } else {
          EXPECT_TRUE(fired);
          EXPECT_EQ(reporter.problems.size(), 1u);
          if (outcome == RepairOutcome::kCompactionFailed) {
            EXPECT_FALSE(fs::exists(copy_));
            EXPECT_FALSE(fs::exists(copy_ + "-journal"));
          }
        }
        // What the failed run left beside the database must not spoil the next one, a day of
        // scans later.
        testing::AddScan(*engine_->DefaultWorkspace().OpenDatabase(path_), kNow + 1.0);
        const Rows grown = AllRows(path_);
        ProblemReporter next;
        EXPECT_EQ(RepairAndCompact(path_, engine_->DefaultWorkspace(), files_, next),
                  RepairOutcome::kCompacted);
        EXPECT_EQ(testing::IntegrityOf(path_), "ok");
        EXPECT_EQ(AllRows(path_), grown);
        return !HasFailure();
      });
  Report("repair-compact-swap", tried);
}

INSTANTIATE_TEST_SUITE_P(EveryFault, MaintenanceFaultTest,
                         ::testing::ValuesIn(testing::EveryFaultPlan()),
                         [](const auto& info) { return testing::TestNameOf(info.param); });

}  // namespace
}  // namespace brontal
