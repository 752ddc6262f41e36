// What the configuration dialog's tests give it: a fresh program folder for dbloc.txt and the
// databases, a computer called NODE1, and boxes and a file dialog that record and answer as told.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "monconfig/monitor_config.h"
#include "platform/clock.h"
#include "platform/db/program_engine.h"
#include "platform/linux_filesystem.h"
#include "platform/settings.h"
#include "platform/testing/fake_file_operations.h"
#include "platform/testing/query_rows.h"
#include "platform/testing/temp_folder.h"

namespace brontal::testing {

// The real file system of a computer called NODE1.
class Node1FileSystem : public LinuxFileSystem {
 public:
  explicit Node1FileSystem(std::string unc_root) : LinuxFileSystem(std::move(unc_root)) {}
  std::string ComputerName() override { return "NODE1"; }
};

struct MonitorConfigRig {
  // The services over the members; pauses before a retry take no time.
  MonitorConfigServices Services() {
    return {
        .store = {.engine = *engine,
                  .settings = settings,
                  .clock = clock,
                  .message_box = messages,
                  .program_folder = folder.path().string(),
                  .random = [] { return 0.5; },
                  .pause = [](int) {},
                  .unc_root = folder.path().string()},
        .questions = questions,
        .open_file = open_file,
        .file_system = file_system,
        .files = files,
    };
  }

  // NODE1's Levels in the Todo table of the database at path; none before it is registered.
  std::vector<std::string> Node1Levels(const std::string& path) {
    return QueryRows(*engine, path,
                     "select Levels from Todo where Nodename = \"NODE1\" and DirParent = \"R\"");
  }

  TempFolder folder;
  std::unique_ptr<db::Engine> engine = db::MakeProgramEngine();  // files and servers
  MemorySettings settings;
  FixedClock clock{DateTime::FromCivil(2026, 12, 8, 10, 0)};
  RecordingMessageBox messages;
  ScriptedQuestionBox questions;
  ScriptedOpenFileDialog open_file;
  // \\node\share paths resolve inside the folder.
  Node1FileSystem file_system{folder.path().string()};
  FakeFileOperations files;
};

}  // namespace brontal::testing
