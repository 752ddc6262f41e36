// Fuzzes the command lines of brontald, brontalh and brontals: the first byte picks the
// program, the rest, split at NUL bytes, are its arguments, read as the program's main reads
// them. No dbloc.txt lies beside brontald and brontalh, so whatever their arguments say, they
// end before opening a database or writing a page; brontals scans an in-memory file system.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz/scan_fixture.h"
#include "htmltool/html_report_run.h"
#include "htmltool/usage.h"
#include "maintenance/maintenance_run.h"
#include "platform/testing/fake_file_operations.h"
#include "store/help_version.h"

namespace {

using brontal::testing::TempFolder;

// The arguments after the program's name, as many as the NUL bytes make.
std::vector<std::string> SplitArguments(std::string_view bytes) {
  std::vector<std::string> arguments;
  std::size_t start = 0;
  for (std::size_t end; (end = bytes.find('\0', start)) != std::string_view::npos;
       start = end + 1) {
    arguments.emplace_back(bytes.substr(start, end - start));
  }
  arguments.emplace_back(bytes.substr(start));
  return arguments;
}

// The arguments joined by blanks, as brontald and brontals build their command line.
std::string Joined(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) line += (i ? " " : "") + arguments[i];
  return line;
}

struct Programs {
  TempFolder folder;  // holds the logs and no dbloc.txt
  brontal::FixedClock clock{brontal::DateTime::FromCivil(2026, 12, 7, 3)};
  brontal::FixedLocale locale;
  brontal::RecordingMessageBox message_box;
  brontal::FakeFileOperations files;
  std::unique_ptr<brontal::db::Engine> engine = brontal::db::MakeSqliteEngine({.clock = &clock});
  brontal::fuzz::ScanFixture scanner;

  void Brontald(const std::vector<std::string>& arguments) {
    const std::string line = Joined(arguments);
    if (line.empty()) return;  // the usage window
    brontal::MaintenanceServices services{*engine,   files, clock, locale, folder.path().string(),
                                          [](int) {}};
    const int status = brontal::RunMaintenance(line, services);
    if (status != brontal::kMaintenanceRefused && status != brontal::kMaintenanceNoDatabase &&
        status != brontal::kMaintenanceAborted) {
      std::abort();
    }
  }

  void Brontalh(const std::vector<std::string>& arguments) {
    const std::string line = brontal::CommandLine(arguments);
    if (brontal::IsHelpRequest(line)) return;  // the usage window
    brontal::HtmlReportServices services{
        *engine, clock, locale, message_box, folder.path().string(), folder.path().string()};
    if (brontal::RunHtmlReport(line, services) != brontal::kHtmlReportFailed) std::abort();
    message_box.shown.clear();
    message_box.icons.clear();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Programs programs;
  if (size == 0) return 0;
  const std::vector<std::string> arguments =
      SplitArguments(std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  static const char* const kNames[] = {"brontald", "brontalh", "brontals"};
  const int program = data[0] % 3;
  std::vector<const char*> argv = {kNames[program]};
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  if (brontal::AnswerHelpOrVersion(static_cast<int>(argv.size()), argv.data(), kNames[program],
                                   "usage\n")) {
    return 0;
  }
  switch (program) {
    case 0:
      programs.Brontald(arguments);
      break;
    case 1:
      programs.Brontalh(arguments);
      break;
    default:
      programs.scanner.Scan(Joined(arguments), nullptr);
  }
  return 0;
}
