// A scan run whose save meets a failing disk below the database engine: for every read, write,
// sync, truncate, lock and delete of the save that can fail, the file stays sound, the node's
// run is stored whole or not at all, and the run never reports success for what it lost.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>

#include "platform/testing/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/fault_vfs.h"
#include "platform/testing/query_rows.h"
#include "platform/testing/temp_folder.h"
#include "scanner/scan_run.h"
#include "store/schema.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::FaultPlan;
using Rows = std::vector<std::string>;

// The fake file system of the run, which arms the fault when the run asks for its drives: the
// node's Todo row is read and written before that, and the save comes after the sizing.
class ArmingFileSystem : public FakeFileSystem {
 public:
  std::vector<std::string> FixedDrives() override {
    if (arm) arm();
    return FakeFileSystem::FixedDrives();
  }
  std::function<void()> arm;
};

class ScanSaveFaultTest : public ::testing::TestWithParam<FaultPlan> {
 protected:
  void SetUp() override {
    files_.SetComputerName("SERVER1");
    files_.SetNT(true);
    files_.AddDrive("C:", 100, 1000);
    files_.AddDrive("D:", 7, 70);
    for (int i = 0; i < 12; ++i) {
      for (int j = 0; j < 12; ++j) {
        files_.AddFile("C:\\d" + std::to_string(i) + "\\e" + std::to_string(j) + "\\f", i + j);
      }
    }
    // A file that holds an earlier period, so that the save adds to existing pages.
    CreateBrontalDatabase(*engine_, template_, 3);
    std::ofstream(folder_ / "dbloc.txt") << template_ << "\n";
    EXPECT_EQ(Scan(), kScanStored);
    std::ofstream(folder_ / "dbloc.txt") << db_path_ << "\n";
    clock_.Set(DateTime::FromCivil(2026, 12, 8, 2, 10));
    Prepare();
    EXPECT_EQ(Scan(), kScanStored);
    for (const char* table : kTables) stored_[table] = Stored(table);
  }

  int Scan() {
    ScanServices services{files_,
                          *engine_,
                          settings_,
                          clock_,
                          locale_,
                          message_box_,
                          folder_.path().string(),
                          [] { return 0.5; },
                          [](int) {}};
    return RunScan("", services);
  }

  void Prepare() {
    files_.arm = nullptr;
    fs::remove(db_path_ + "-journal");
    fs::copy_file(template_, db_path_, fs::copy_options::overwrite_existing);
  }

  // The rows of the second period in a table.
  Rows Stored(const std::string& table) {
    return testing::QueryRows(*engine_, db_path_,
                              "select * from " + table + " where pdate = #12/8/2026 02:00:00#");
  }

  static constexpr const char* kTables[] = {"Dirs", "Parents", "Periods", "Disks"};
  testing::TempFolder folder_{testing::FaultTestFolder()};
  std::string template_ = folder_ / "template.mdb";
  std::string db_path_ = folder_ / "brontal.mdb";
  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 2, 10)};
  FixedLocale locale_;
  MemorySettings settings_;
  RecordingMessageBox message_box_;
  ArmingFileSystem files_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
  std::map<std::string, Rows> stored_;
};

TEST_P(ScanSaveFaultTest, StoresTheRunWholeOrNotAtAllAndNeverReportsALoss) {
  const FaultPlan plan = GetParam();
  int status = -1;
  const int tried = testing::TryEveryFault(
      plan, [&] { Prepare(); },
      [&](const std::function<void()>& arm) {
        files_.arm = arm;
        status = Scan();
      },
      [&](bool fired) {
        SCOPED_TRACE(NameOf(plan) + " status " + std::to_string(status));
        EXPECT_EQ(testing::IntegrityOf(db_path_), "ok");
        std::map<std::string, bool> whole;
        for (const char* table : kTables) {
          Rows rows = Stored(table);
          EXPECT_TRUE(rows.empty() || rows == stored_[table]) << table;
          whole[table] = !rows.empty();
        }
        // A failure below the engine rolls the scan's one transaction back, so that even the
        // disks, which the run leaves out when only their save fails, go with the rest.
        for (const char* table : kTables) EXPECT_EQ(whole[table], whole["Dirs"]) << table;
        if (status == kScanStored) {
          EXPECT_TRUE(whole["Dirs"]);
        } else {
          EXPECT_TRUE(fired);
          EXPECT_EQ(status, kScanNotStored);
          EXPECT_NE(testing::ReadWholeFile(folder_ / "brontals.log").find("ErrMainSave: "),
                    std::string::npos);
        }
        return !HasFailure();
      });
  RecordProperty("values_tried", tried);
  std::cout << "scan save, " << NameOf(plan) << ": " << tried << " values of N\n";
}

INSTANTIATE_TEST_SUITE_P(EveryFault, ScanSaveFaultTest,
                         ::testing::ValuesIn(testing::EveryFaultPlan()),
                         [](const auto& info) { return testing::TestNameOf(info.param); });

}  // namespace
}  // namespace brontal
