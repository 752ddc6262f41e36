// A small size database as the scanner leaves it, for the viewer's tests: two servers, three
// periods, Dirs with their Parents rows, Disks, and Todo rows with log files; names that differ
// only in case on request. A Client over it, with fakes where the desktop would answer.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/busy_pointer.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/fixed_locale.h"
#include "platform/linux_file_operations.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/shell.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "platform/testing/test_database.h"
#include "store/schema.h"
#include "store/text.h"
#include "viewer/client.h"

namespace brontal::testing {

inline constexpr std::int64_t kMB = 1024 * 1024;
// P1 is the newest period, P2 a week older, P0 a week older still.
inline const DateTime kP1 = DateTime::FromCivil(2026, 12, 6, 2);
inline const DateTime kP2 = DateTime::FromCivil(2026, 11, 29, 2);
inline const DateTime kP0 = DateTime::FromCivil(2026, 11, 22, 2);

// Appends one Dirs row.
inline void AddDirRow(db::Database& database, std::string_view parent, std::string_view dir,
                      std::int64_t size, DateTime pdate) {
  auto dirs = database.OpenRecordset("Dirs", db::RecordsetType::kTable);
  dirs->AddNew();
  dirs->SetField("DirParent", parent);
  dirs->SetField("Dir", dir);
  dirs->SetField("Brontal", size);
  dirs->SetField("pdate", pdate);
  dirs->Update();
  dirs->Close();
}

// Appends one Disks row; a missing free or size is stored as Null.
inline void AddDiskRow(db::Database& database, std::string_view parent, std::string_view disk,
                       std::optional<std::int64_t> free, std::optional<std::int64_t> size,
                       DateTime pdate) {
  auto disks = database.OpenRecordset("Disks", db::RecordsetType::kTable);
  disks->AddNew();
  disks->SetField("DiskParent", parent);
  disks->SetField("Disk", disk);
  disks->SetField("DiskFree", free ? db::Value(*free) : db::Value());
  disks->SetField("DiskSize", size ? db::Value(*size) : db::Value());
  disks->SetField("pdate", pdate);
  disks->Update();
  disks->Close();
}

// Appends one Parents row.
inline void AddParentRow(db::Database& database, std::string_view parent, DateTime pdate) {
  auto parents = database.OpenRecordset("Parents", db::RecordsetType::kTable);
  parents->AddNew();
  parents->SetField("DirParent", parent);
  parents->SetField("pdate", pdate);
  parents->Update();
  parents->Close();
}

// Fills an empty database made by CreateBrontalDatabase. Every directory of a period gets its
// Parents row, as the scanner writes them. second_server names the second server, so that a
// test holding two databases can tell which one a window shows.
inline void FillViewerFixture(db::Database& database, std::string_view second_server = "SERVER2") {
  auto named = [second_server](std::string text) {
    if (std::size_t at = text.find("SERVER2"); at != std::string::npos) {
      text.replace(at, 7, second_server);
    }
    return text;
  };
  // (parent, dir, megabytes in P1, in P2); -1 for no row in that period. P0 holds every row
  // with 1 byte.
  const std::vector<std::tuple<std::string, std::string, int, int>> rows = {
      {"R", "SERVER1", 1015, 1013},
      {"R", "SERVER2", 2000, 2000},
      {"R\\SERVER1", "C:", 1015, 1013},
      {"R\\SERVER1\\C:", ".", 10, 10},
      {"R\\SERVER1\\C:", "WINNT", 600, 600},
      {"R\\SERVER1\\C:\\WINNT", ".", 600, 600},
      {"R\\SERVER1\\C:", "Users", 305, 301},
      {"R\\SERVER1\\C:\\Users", ".", 1, 1},
      {"R\\SERVER1\\C:\\Users", "alice", 300, 296},
      {"R\\SERVER1\\C:\\Users", "Bob", 4, 4},
      {"R\\SERVER1\\C:", "New", 10, -1},
      {"R\\SERVER1\\C:\\New", ".", 10, -1},
      {"R\\SERVER1\\C:", "Old", -1, 12},
      {"R\\SERVER1\\C:\\Old", ".", -1, 12},
      {"R\\SERVER2", "D:", 2000, 2000},
      {"R\\SERVER2\\D:", ".", 2000, 2000},
  };
  std::vector<std::pair<std::string, DateTime>> parents;
  auto add = [&](const std::string& parent, const std::string& dir, std::int64_t size,
                 DateTime pdate) {
    AddDirRow(database, parent, dir, size, pdate);
    std::pair<std::string, DateTime> parent_row{parent, pdate};
    for (const auto& known : parents)
      if (known == parent_row) return;
    parents.push_back(parent_row);
  };
  for (const auto& [written_parent, written_dir, mb1, mb2] : rows) {
    const std::string parent = named(written_parent);
    const std::string dir = named(written_dir);
    if (mb1 >= 0) add(parent, dir, mb1 * kMB, kP1);
    if (mb2 >= 0) add(parent, dir, mb2 * kMB, kP2);
    add(parent, dir, 1, kP0);
  }
  // The scanner writes no Parents row "R": the root is the viewer's own.
  for (const auto& [parent, pdate] : parents) {
    if (parent != "R") AddParentRow(database, parent, pdate);
  }
  for (DateTime pdate : {kP0, kP2, kP1}) {
    auto periods = database.OpenRecordset("Periods", db::RecordsetType::kTable);
    periods->AddNew();
    periods->SetField("pdate", pdate);
    periods->Update();
    periods->Close();
    for (auto [parent, dir, free_mb, total_mb] :
         {std::tuple{"R\\SERVER1", "C:", 3000, 4096}, std::tuple{"R\\SERVER2", "D:", 1000, 3072}}) {
      AddDiskRow(database, named(parent), dir, free_mb * kMB, total_mb * kMB, pdate);
    }
  }
  auto todo = database.OpenRecordset("Todo", db::RecordsetType::kTable);
  for (auto [node, levels, log] : {std::tuple{"SERVER1", -1, "C:\\tools\\scan.log"},
                                   std::tuple{"SERVER2", 5, "D:\\brontal\\brontals.log"}}) {
    todo->AddNew();
    todo->SetField("Nodename", named(node));
    todo->SetField("DirParent", "R");
    todo->SetField("Levels", levels);
    todo->SetField("LogFile", log);
    todo->Update();
  }
  todo->Close();
}

// Directories of R\SERVER1\C:\Users whose names differ only in case, as Linux keeps them side
// by side, added to the fixture: "Data" (50 MB in P1, 40 in P2) and "data" (7, 9), each holding
// files of its own with its Parents rows; "logs" in P1 only (2 MB) and "LOGS" in P2 only (3).
inline void AddCaseTwins(db::Database& database) {
  const std::string users = "R\\SERVER1\\C:\\Users";
  for (auto [name, mb1, mb2] : {std::tuple{"Data", 50, 40}, std::tuple{"data", 7, 9}}) {
    for (auto [pdate, mb] : {std::pair{kP1, mb1}, std::pair{kP2, mb2}}) {
      AddDirRow(database, users, name, mb * kMB, pdate);
      AddDirRow(database, users + "\\" + name, ".", mb * kMB, pdate);
      AddParentRow(database, users + "\\" + name, pdate);
    }
  }
  AddDirRow(database, users, "logs", 2 * kMB, kP1);
  AddDirRow(database, users, "LOGS", 3 * kMB, kP2);
}

// The fixture in a new, closed database file at path (default depth 3).
inline void CreateViewerDatabase(db::Engine& engine, const std::string& path,
                                 std::string_view second_server = "SERVER2") {
  CreateBrontalDatabase(engine, path, 3);
  auto database = engine.DefaultWorkspace().OpenDatabase(path);
  FillViewerFixture(*database, second_server);
  database->Close();
}

// The fixture in a database file of its own temporary folder, opened shared in the default
// workspace of an engine whose clock says 7 December 2026 09:30. The file goes with the object.
struct ViewerDatabase {
  // schema: BrontalSchema, or an older variant for what older files may hold. On kPostgres the
  // database is a fresh one on the test server instead (BackendAvailable must hold).
  explicit ViewerDatabase(const db::Schema& schema = BrontalSchema(),
                          TestBackend backend = TestBackend::kSqlite) {
    if (backend == TestBackend::kPostgres) path = ServerDatabase(server).value();
    CreateBrontalDatabase(*engine, path, 3, schema);
    database = engine->DefaultWorkspace().OpenDatabase(path);
    FillViewerFixture(*database);
  }
  ~ViewerDatabase() {
    if (database) database->Close();
  }

  FixedClock clock{DateTime::FromCivil(2026, 12, 7, 9, 30)};
  std::unique_ptr<db::Engine> engine = MakeTestEngine(10000, &clock);
  TempFolder folder;
  std::optional<TestDatabase> server;
  std::string path = folder / "brontal.mdb";
  std::unique_ptr<db::Database> database;
};

// The desktop's services as fakes, for a Client in a test.
struct FakeDesktop {
  // The services over engine and clock; a file exists when the real file system says so.
  ClientServices Services(db::Engine& engine, const Clock& clock) {
    return {engine,
            settings,
            clock,
            locale,
            messages,
            pointer,
            file_operations,
            shell,
            clipboard,
            [](const std::string& path) { return std::filesystem::is_regular_file(path); }};
  }

  MemorySettings settings;
  FixedLocale locale;
  RecordingMessageBox messages;
  RecordingBusyPointer pointer;
  LinuxFileOperations file_operations;
  RecordingShell shell;
  MemoryClipboard clipboard;
};

// The fixture's file opened by a Client, as a window of the viewer finds it, with the periods
// loaded. `extend` adds to the fixture first; then the fixture's own connection is closed, so
// that the client's is the one in use.
struct ClientOnFixture : FakeDesktop {
  explicit ClientOnFixture(const std::function<void(db::Database&)>& extend = nullptr) {
    if (extend) extend(*fixture.database);
    fixture.database->Close();
    fixture.database.reset();
    settings.Set("Options", "dbFilename", fixture.path);
    client.OpenSizeDatabase([] { return false; });
    client.ReloadPeriodDates();
  }

  ViewerDatabase fixture;
  Client client{Services(*fixture.engine, fixture.clock)};
};

}  // namespace brontal::testing
