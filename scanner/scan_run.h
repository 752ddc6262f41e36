// One run of the scanner: the local node's fixed drives, their free and total space and
// directory sizes, the run's period, then the nodes listed in extras.txt; all of it logged to
// brontals.log beside the program.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/filesystem.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/settings.h"

namespace brontal {

// What a scan run works with; the references must outlive the run.
struct ScanServices {
  FileSystem& fs;
  db::Engine& engine;
  Settings& settings;
  const Clock& clock;
  const Locale& locale;
  // Where a message box goes; the run also copies its text to the log.
  MessageBox& message_box;
  // Native path of the folder that holds the program, dbloc.txt, extras.txt and the log.
  std::string program_folder;
  // The random source and the pause of the save retries.
  std::function<double()> random;
  std::function<void(int milliseconds)> pause;
  // Where \\node\share paths of dbloc.txt resolve.
  std::string unc_root = "/net";
};

// Exit statuses of a run, for schedulers.
enum ScanStatus : int {
  kScanStored = 0,        // everything sized was stored
  kScanHalted = 1,        // too many errors: the run stopped, what it had not stored is lost
  kScanNoLog = 2,         // the log could not be created: nothing was sized or stored
  kScanNotStored = 3,     // a save failed or was given up after its retries
  kScanDepthUnknown = 4,  // all was stored, but a node's depth could not be read, so it was
                          // sized at another depth (0 for this node)
};

// Runs the scanner with its command line, in which only the words "ignoreerr53" and
// "uncompressed" count (in any case, anywhere). Returns a ScanStatus.
int RunScan(std::string_view command_line, ScanServices& services);

// Replaces old_prefix by new_prefix at the start of every element of names that begins with
// it exactly, index 0 included.
void ReplacePrefix(std::vector<std::string>& names, std::string_view old_prefix,
                   std::string_view new_prefix);

}  // namespace brontal
