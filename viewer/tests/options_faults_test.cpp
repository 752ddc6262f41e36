// Do it now on a disk that fails below the database engine: for every read, write, sync,
// truncate, lock and delete of the purge that can fail, the purge takes effect whole or not at
// all, and the dialog hears of every failure.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <set>

#include "maintenance/tests/maintenance_testing.h"
#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/fault_vfs.h"
#include "store/schema.h"
#include "viewer/options.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::FaultPlan;

const DateTime kNow = DateTime::FromCivil(2026, 12, 1, 14, 0, 30);

class DoItNowFaultTest : public ::testing::TestWithParam<FaultPlan> {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, template_, 3);
    auto database = workspace().OpenDatabase(template_);
    workspace().BeginTrans();
    for (int day = 0; day < 80; ++day) {
      testing::AddScan(*database, kNow.DateOnly() - static_cast<double>(day) + 2 / 24.0);
    }
    workspace().CommitTrans();
    database->Close();
  }
  db::Workspace& workspace() { return engine_->DefaultWorkspace(); }

  void Prepare() {
    fs::remove(path_ + "-journal");
    fs::copy_file(template_, path_, fs::copy_options::overwrite_existing);
    settings_ = {};
  }

  // The periods left in each table.
  std::vector<std::set<std::string>> Periods() {
    auto database = workspace().OpenDatabase(path_);
    std::vector<std::set<std::string>> periods;
    for (const char* table : {"Periods", "Dirs", "Parents", "Disks"}) {
      periods.push_back(testing::PeriodsIn(*database, table));
    }
    return periods;
  }

  // The rules' numbers as brontald takes them: 1 2 1 50.
  const PurgeRules rules_{.periods = {"2 weeks", "1 month", "50 days"}, .first_day = 0};
  FixedClock clock_{kNow};
  FixedLocale locale_;
  MemorySettings settings_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
  testing::TempFolder folder_{testing::FaultTestFolder()};
  std::string template_ = folder_ / "template.mdb";
  std::string path_ = folder_ / "brontal.mdb";
};

TEST_P(DoItNowFaultTest, PurgesWholeOrNotAtAllAndThrowsWhenItDidNot) {
  Prepare();
  const auto before = Periods();
  {
    auto database = workspace().OpenDatabase(path_);
    DoItNow(workspace(), *database, rules_, clock_, locale_, settings_, [](int) {});
  }
  const auto after = Periods();
  ASSERT_NE(before, after);

  std::string error;
  const int tried = testing::TryEveryFault(
      GetParam(), [&] { Prepare(); },
      [&](const std::function<void()>& arm) {
        // The viewer's connection is open before the purge is asked for.
        auto database = workspace().OpenDatabase(path_);
        arm();
        error.clear();
        try {
          DoItNow(workspace(), *database, rules_, clock_, locale_, settings_, [](int) {});
        } catch (const db::DbError& e) {
          error = e.what();
        }
      },
      [&](bool fired) {
        SCOPED_TRACE(NameOf(GetParam()) + " error " + error);
        EXPECT_EQ(testing::IntegrityOf(path_), "ok");
        const auto periods = Periods();
        const bool done = settings_.Get("Archiving", "LastDone", "") != "";
        EXPECT_EQ(periods, done ? after : before);
        EXPECT_NE(done, !error.empty());
        EXPECT_TRUE(done || fired);
        return !HasFailure();
      });
  RecordProperty("values_tried", tried);
  std::cout << "Do it now, " << NameOf(GetParam()) << ": " << tried << " values of N\n";
}

INSTANTIATE_TEST_SUITE_P(EveryFault, DoItNowFaultTest,
                         ::testing::ValuesIn(testing::EveryFaultPlan()),
                         [](const auto& info) { return testing::TestNameOf(info.param); });

}  // namespace
}  // namespace brontal
