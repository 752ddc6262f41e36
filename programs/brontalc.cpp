// brontalc: the viewer. Shows the tree of recorded places and the sizes of their children in
// two periods; a second copy started by the same user brings the first one forward instead.
// Ends with status 1 when it could open no database (kViewerNoDatabase).
#include <QApplication>
#include <exception>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/clock.h"
#include "platform/linux_file_operations.h"
#include "platform/linux_filesystem.h"
#include "platform/printing/qt_printer.h"
#include "platform/printing/qt_save_file_dialog.h"
#include "platform/program_folder.h"
#include "platform/qt_clipboard.h"
#include "platform/qt_locale.h"
#include "platform/qt_message_box.h"
#include "platform/qt_open_file_dialog.h"
#include "platform/qt_question_box.h"
#include "platform/qt_settings.h"
#include "platform/qt_shell.h"
#include "platform/db/program_engine.h"
#include "viewer/client.h"
#include "viewer/frmMain/frm_main.h"
#include "viewer/frmPrinting/frm_printing.h"
#include "viewer/run_viewer.h"
#include "viewer/single_instance.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("Brontal");

  brontal::QtSettings settings;
  auto locale = brontal::MakeUserLocale();
  brontal::SystemClock clock;
  auto engine = brontal::db::MakeProgramEngine();
  brontal::QtMessageBox message_box;
  brontal::QtBusyPointer pointer;
  brontal::LinuxFileOperations file_operations;
  const std::string unc_root = brontal::UncRootFromEnvironment();
  brontal::LinuxFileSystem file_system(unc_root);
  brontal::QtShell shell(unc_root);
  brontal::QtClipboard clipboard;
  brontal::QtQuestionBox questions;
  brontal::QtOpenFileDialog open_file;

  brontal::Client client({
      .engine = *engine,
      .settings = settings,
      .clock = clock,
      .locale = *locale,
      .message_box = message_box,
      .pointer = pointer,
      .files = file_operations,
      .shell = shell,
      .clipboard = clipboard,
      .file_exists =
          [](const std::string& native_path) {
            std::error_code error;
            return std::filesystem::is_regular_file(native_path, error);
          },
      // dbloc.txt and the settings may name the database as \\node\share\brontal.mdb.
      .native_path =
          [unc_root](const std::string& path) { return brontal::NativePathOf(path, unc_root); },
  });

  std::string program_folder;
  try {
    program_folder = brontal::ProgramFolder();
  } catch (const std::exception&) {
    // Without its folder the viewer cannot read dbloc.txt and uses the saved database path.
  }

  brontal::QtPrinter printer({.pdf_folder = brontal::DefaultPdfFolder()});
  brontal::QtSaveFileDialog save_dialog;
  brontal::FrmPrinting progress;
  brontal::PrintState print_state;
  brontal::FrmMain window(client, {questions, open_file, file_system}, program_folder,
                          brontal::PrintServices{
                              .printer = printer,
                              .save_dialog = save_dialog,
                              .progress = progress,
                              .state = print_state,
                              .last_pdf_file = [&printer] { return printer.LastPdfFile(); },
                          });
  brontal::SingleInstance instance(brontal::SingleInstanceName());
  return brontal::RunViewer(window, instance, settings);
}
