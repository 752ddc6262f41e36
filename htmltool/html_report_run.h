// One run of brontalh: the command line read, the two periods of the place found, the report
// written as an HTML page, and every step logged to brontalh.log beside the program.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/locale.h"
#include "platform/message_box.h"

namespace brontal {

// What a run works with; the references must outlive the run.
struct HtmlReportServices {
  db::Engine& engine;
  const Clock& clock;
  const Locale& locale;
  // Where the report builder would report an error it cannot log; a run always has its log.
  MessageBox& message_box;
  // Native path of the folder that holds the program, dbloc.txt and the log.
  std::string program_folder;
  // The folder under which the page's \\node\share paths resolve (UncRootFromEnvironment).
  std::string unc_root;
};

// Exit statuses of a run, for schedulers.
enum HtmlReportStatus : int {
  kPageWritten = 0,       // the page was written whole
  kHtmlReportFailed = 1,  // a parameter, the database or the periods failed: see the log
  kReportBroken = 2,      // the report builder met an error: the page is incomplete
  kHtmlReportNoLog = 3,   // brontalh.log could not be created: nothing was done
  kNothingToReport = 4,   // the place has no rows in the two periods (the page holds the heading
                          // only), or /h: named no file (nothing was written)
};

// Runs brontalh with its command line, which must not be a help request (IsHelpRequest); the
// caller shows the usage for those. Returns an HtmlReportStatus.
int RunHtmlReport(std::string_view command_line, HtmlReportServices& services);

// The value of parameter `key` ("/d", "/u" ...) in the command line: found anywhere outside
// double quotes without regard to case, read from the third character after the key up to the
// next "/" and trimmed, keeping its case; a value in double quotes runs to its closing quote, so
// it may hold "/", and loses the quotes. nullopt when the key is absent.
std::optional<std::string> FindParameter(std::string_view command_line, std::string_view key);

// The command line of a program started with `arguments` (the words after the program's name):
// the words joined by blanks, where the value of a word such as /h:/srv/www/users.htm that holds
// "/" is put in double quotes, so that the shell's word, already unquoted, stays one value.
std::string CommandLine(const std::vector<std::string>& arguments);

}  // namespace brontal
