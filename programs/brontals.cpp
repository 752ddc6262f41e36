// brontals: the scanner. Sizes this node's fixed drives and the nodes in extras.txt into the
// database named in dbloc.txt, logging to brontals.log beside itself. Exit status 0 when all
// that was sized was stored (see ScanStatus).
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/linux_filesystem.h"
#include "platform/message_box.h"
#include "platform/program_folder.h"
#include "platform/qt_locale.h"
#include "platform/qt_settings.h"
#include "platform/db/program_engine.h"
#include "scanner/scan_run.h"
#include "store/help_version.h"
#include "store/size_store.h"

namespace {

constexpr std::string_view kUsage =
    "usage: brontals [uncompressed] [ignoreerr53]\n"
    "Sizes this node's drives (BRONTAL_DRIVES replaces the list) and the nodes listed in\n"
    "extras.txt into the database named in dbloc.txt, both beside the program, and logs the\n"
    "run to brontals.log there. 'uncompressed' measures file lengths instead of the space\n"
    "files occupy; 'ignoreerr53' passes over files that vanish while being measured.\n";

}  // namespace

int main(int argc, char** argv) {
  if (brontal::AnswerHelpOrVersion(argc, argv, "brontals", kUsage)) return 0;
  std::string command_line;
  for (int i = 1; i < argc; ++i) command_line += std::string(i > 1 ? " " : "") + argv[i];

  auto fs = brontal::MakeLinuxFileSystem();
  auto engine = brontal::db::MakeProgramEngine();
  brontal::QtSettings settings;
  brontal::SystemClock clock;
  auto locale = brontal::MakeUserLocale();
  brontal::StderrMessageBox message_box;
  brontal::ScanServices services{*fs,
                                 *engine,
                                 settings,
                                 clock,
                                 *locale,
                                 message_box,
                                 brontal::ProgramFolder(),
                                 brontal::MakeSeededRandom(),
                                 brontal::SleepMilliseconds,
                                 brontal::UncRootFromEnvironment()};
  return brontal::RunScan(command_line, services);
}
