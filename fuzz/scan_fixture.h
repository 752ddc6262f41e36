// A scanner run for the fuzz targets: a small in-memory file system with one extra node, and a
// real database in a temporary folder named by the folder's dbloc.txt, made anew now and then
// so that the nodes the inputs invent do not grow it without end.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>

#include "platform/testing/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/settings.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "scanner/scan_run.h"
#include "store/schema.h"

namespace brontal::fuzz {

class ScanFixture {
 public:
  ScanFixture() {
    files_.SetComputerName("SERVER1");
    files_.SetNT(true);
    files_.AddDrive("C:", 100, 1000);
    files_.AddFile("C:\\boot.ini", 10);
    files_.AddFile("C:\\WINNT\\system32\\b.dll", 1000);
    files_.AddFile("\\\\server2\\users\\alice\\a.txt", 7);
    files_.AddFile("\\\\server2\\C$\\x", 2);
    std::ofstream(folder_ / "dbloc.txt") << db_path_ << "\r\n";
  }

  // Runs the scanner with `command_line`, with `extras` as extras.txt when given, and returns
  // its status; aborts on a status no run may end with here, since the log can always be made.
  int Scan(std::string_view command_line, const std::string* extras) {
    if (runs_++ % 256 == 0) {
      std::filesystem::remove(db_path_);
      CreateBrontalDatabase(*engine_, db_path_, kInitialDefaultLevel);
    }
    const std::string extras_path = folder_ / "extras.txt";
    if (extras) {
      std::ofstream(extras_path, std::ios::binary) << *extras;
    } else {
      std::filesystem::remove(extras_path);
    }
    ScanServices services{files_,
                          *engine_,
                          settings_,
                          clock_,
                          locale_,
                          message_box_,
                          folder_.path().string(),
                          [] { return 0.5; },
                          [](int) {}};
    const int status = RunScan(command_line, services);
    message_box_.shown.clear();
    message_box_.icons.clear();
    if (status == kScanNoLog || status < kScanStored || status > kScanDepthUnknown) std::abort();
    return status;
  }

 private:
  testing::TempFolder folder_;
  std::string db_path_ = folder_ / "brontal.mdb";
  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 2, 10)};
  FixedLocale locale_;
  MemorySettings settings_;
  RecordingMessageBox message_box_;
  FakeFileSystem files_;
  std::unique_ptr<db::Engine> engine_ =
      db::MakeSqliteEngine({.busy_timeout_ms = 50, .clock = &clock_});
  unsigned runs_ = 0;
};

}  // namespace brontal::fuzz
