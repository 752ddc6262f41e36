// brontal: the monitor configuration dialog. Writes dbloc.txt beside itself, naming the shared
// database, registers this node in Todo and sets its directory level. Exit status 1 when it
// ended on an error, 0 otherwise.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
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
#include "platform/db/program_engine.h"
#include "store/size_store.h"

namespace {

// The pause before a busy database is tried again (20 to 60 seconds): the window keeps painting
// meanwhile, while clicks and keys wait, so that no other step starts during the wait.
void PauseRepainting(int milliseconds) {
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 50);
    QThread::msleep(50);
  }
}

}  // namespace

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
  auto engine = brontal::db::MakeProgramEngine();
  brontal::QtQuestionBox questions;
  brontal::QtOpenFileDialog open_file;
  brontal::LinuxFileSystem file_system;
  brontal::LinuxFileOperations files;
  brontal::SizeStoreServices store =
      brontal::MakeSizeStoreServices(*engine, settings, clock, message_box, program_folder);
  store.pause = PauseRepainting;
  brontal::MonitorConfig config({
      .store = store,
      .questions = questions,
      .open_file = open_file,
      .file_system = file_system,
      .files = files,
  });
  brontal::FrmMonitorConfig form(config);
  if (!config.Ended()) form.exec();
  return config.Failed() ? 1 : 0;
}
