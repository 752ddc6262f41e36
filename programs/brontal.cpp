// brontal: the monitor configuration dialog. Writes dbloc.txt beside itself, naming the shared
// database, registers this node in Todo and sets its directory level. Exit status 1 when it
// ended on an error, 0 otherwise.
#include <QApplication>
#include <exception>
#include <string>

#include "monconfig/frm_monitor_config.h"
#include "monconfig/monitor_config.h"
#include "platform/clock.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "platform/program_folder.h"
#include "platform/qt_message_box.h"
#include "platform/qt_open_file_dialog.h"
#include "platform/qt_question_box.h"
#include "platform/qt_settings.h"
#include "platform/sqlite_engine.h"
#include "store/size_store.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Brontal");

  brontal::QtMessageBox message_box;
  std::string program_folder;
  try {
    program_folder = brontal::ProgramFolder();
  } catch (const std::exception& error) {
    // Without its folder the dialog has no dbloc.txt to write.
    message_box.Show(std::string(" - ") + error.what(), "Brontal", brontal::MessageIcon::kCritical);
    return 1;
  }

  brontal::QtSettings settings;
  brontal::SystemClock clock;
  auto engine = brontal::db::MakeSqliteEngine();
  brontal::QtQuestionBox questions;
  brontal::QtOpenFileDialog open_file;
  brontal::LinuxFileSystem file_system;
  brontal::LinuxFileOperations files;
  brontal::MonitorConfig config({
      .store =
          brontal::MakeSizeStoreServices(*engine, settings, clock, message_box, program_folder),
      .questions = questions,
      .open_file = open_file,
      .file_system = file_system,
      .files = files,
  });
  brontal::FrmMonitorConfig form(config);
  if (!config.Ended()) form.exec();
  return config.Failed() ? 1 : 0;
}
