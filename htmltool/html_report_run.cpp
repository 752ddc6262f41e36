// brontalh's main procedure. A failure before the report is written goes to Fail, which logs the
// message with the command's format and ends the run; the report builder handles its own errors.
#include "htmltool/html_report_run.h"

#include <cmath>
#include <exception>
#include <stdexcept>
#include <system_error>

#include "platform/db/db_error.h"
#include "platform/linux_filesystem.h"
#include "report/report_builder.h"
#include "store/dbloc.h"
#include "store/format.h"
#include "store/program_log.h"
#include "store/run_error.h"
#include "store/sql_text.h"
#include "store/text.h"

namespace brontal {
namespace {

constexpr std::string_view kPeriodPattern = "dd-mmm-yyyy hh:nn";

// Ends the run: its message has been written to the log.
struct Failed {};

// The whole number of a text the way the programs convert one: blanks around it, a sign, digits
// and decimals rounded half to even. Throws RunError 13 (type mismatch) for anything else and 6
// (overflow) outside -32768 to 32767.
int WholeNumber(std::string_view text) {
  std::string number(Trim(text));
  std::size_t i = number.starts_with('+') || number.starts_with('-') ? 1 : 0;
  bool digit = false, point = false;
  for (; i < number.size(); ++i) {
    if (number[i] >= '0' && number[i] <= '9') {
      digit = true;
    } else if (number[i] == '.' && !point) {
      point = true;
    } else {
      throw RunError(13, "Type mismatch");
    }
  }
  if (!digit) throw RunError(13, "Type mismatch");
  double value = 0;
  try {
    value = std::stod(number);
  } catch (const std::out_of_range&) {
    throw RunError(6, "Overflow");
  }
  if (std::abs(value) > 1e9) throw RunError(6, "Overflow");
  std::int64_t whole = CInt(value);
  if (whole < -32768 || whole > 32767) throw RunError(6, "Overflow");
  return static_cast<int>(whole);
}

class HtmlReportRun {
 public:
  HtmlReportRun(HtmlReportServices& services, ProgramLog& log, std::string_view command_line)
      : s_(services), log_(log), command_line_(command_line) {}

  int Run();

 private:
  [[noreturn]] void Fail(std::string_view message);
  std::string ReadParameter(std::string_view key, std::string_view label, bool required);
  bool Has(std::string_view key) const { return FindParameter(command_line_, key).has_value(); }
  void FindPeriods();
  int Main();

  HtmlReportServices& s_;
  ProgramLog& log_;
  std::string command_line_;
  std::unique_ptr<db::Database> database_;
  int days_ = 0;
  std::string unc_;
  std::string html_file_;
  bool tree_ = false;
  int sort_field_ = 0;
  int sort_order_ = 0;
  DateTime period1_, period2_;
};

void HtmlReportRun::Fail(std::string_view message) {
  log_.Blank();
  log_.Raw(message);
  log_.Blank();
  log_.Raw("Format of command is:");
  log_.Raw(
      "  BRONTALH /d:daysago /u:unc /h:htmlfile [/list [/s:name|change|size] [/o:asc|desc]] "
      "[/tree]");
  log_.Blank();
  log_.Raw(
      "e.g.  BRONTALH /d:7 /u:\\\\myserver\\d$\\users "
      "/h:\\\\intranet\\d$\\inetpub\\wwwroot\\brontaler\\users.htm /list /s:size /o:desc");
  log_.Blank();
  log_.Raw("To produce output for the top level - all servers - use /u:\\");
  log_.Close();
  throw Failed{};
}

std::string HtmlReportRun::ReadParameter(std::string_view key, std::string_view label,
                                         bool required) {
  std::optional<std::string> value = FindParameter(command_line_, key);
  if (!value) {
    if (required) Fail("ERROR: " + std::string(key) + " parameter required");
    return {};
  }
  std::string shown(label.substr(0, 15));
  log_.Line("  " + shown + ":" + std::string(15 - shown.size(), ' ') + *value);
  return *value;
}

void HtmlReportRun::FindPeriods() {
  std::string key = UncToKey(unc_);
  bool all_servers = LowerCase(key) == "r";
  log_.Line("Getting most recent period for " + unc_ + "...");
  std::string sql = all_servers ? std::string("select max(pdate) as maxpdate from periods ")
                                : "select max(pdate) as maxpdate from parents " +
                                      (" where dirparent = \"" + SqlText(key) + "\"");
  auto newest = database_->OpenRecordset(sql, db::RecordsetType::kSnapshot);
  if (newest->Eof() || newest->Field("maxpdate").IsNull()) {
    Fail("ERROR: Could not find any information for " + unc_);
  }
  period1_ = newest->Field("maxpdate").AsDate();
  newest->Close();
  log_.Line("  Most recent period is: " + FormatDate(period1_, kPeriodPattern, s_.locale));

  std::string days = std::to_string(days_);
  log_.Line("Getting " + days + " days ago period for " + unc_ + "...");
  // Minutes are the finest the limit goes: the seconds of the newest period are dropped.
  std::string limit = SqlDateText(period1_ - static_cast<double>(days_), "m/d/yy hh:nn");
  sql = all_servers ? "select pdate from periods " + (" where pdate <= #" + limit + "#") +
                          " order by pdate desc"
                    : "select pdate from parents " + (" where dirparent = \"" + SqlText(key)) +
                          "\" " + " and pdate <= #" + limit + "#" + " order by pdate desc";
  auto older = database_->OpenRecordset(sql, db::RecordsetType::kSnapshot);
  if (older->Eof() || older->Field("pdate").IsNull()) {
    Fail("ERROR: Could not find any " + days + " day ago or more information for " + unc_);
  }
  period2_ = older->Field("pdate").AsDate();
  older->Close();
  log_.Line("  " + days +
            " days ago (or more) period is: " + FormatDate(period2_, kPeriodPattern, s_.locale));
}

int HtmlReportRun::Main() {
  log_.Line("Parsing command line: (" + command_line_ + ")");
  days_ = WholeNumber(ReadParameter("/d", "DaysAgo", true));
  if (days_ < 1) Fail("ERROR: /d parameter must be a positive integer");
  unc_ = ReadParameter("/u", "UNC", true);
  html_file_ = ReadParameter("/h", "HTML file", true);

  const std::string mode = "  Mode:" + std::string(11, ' ');
  tree_ = Has("/tree");
  if (tree_) {
    log_.Line(mode + "Tree");
  } else {
    log_.Line(mode + (Has("/list") ? "List" : "List (default)"));
    std::string sort = LowerCase(ReadParameter("/s", "Sort by", false));
    if (sort == "name") {
      sort_field_ = kSortByName;
    } else if (sort == "change") {
      sort_field_ = kSortByChange;
    } else if (sort == "size") {
      sort_field_ = kSortBySize1;
    } else if (sort.empty()) {
      log_.Line("  Sort by:" + std::string(8, ' ') + "Change (default)");
      sort_field_ = kSortByChange;
    } else {
      Fail("ERROR: if /s is specified it must be Name, Size or Change (default)");
    }
    std::string order = LowerCase(ReadParameter("/o", "Sort order", false)).substr(0, 1);
    if (order == "a") {
      sort_order_ = 0;
    } else if (order == "d") {
      sort_order_ = 1;
    } else if (order.empty() && sort_field_ != kSortByName) {
      log_.Line("  Sort order:" + std::string(5, ' ') + "Desc (default for Change)");
      sort_order_ = 1;
    } else if (order.empty()) {
      log_.Line("  Sort order:" + std::string(5, ' ') + "Asc (default for Name)");
      sort_order_ = 0;
    } else {
      Fail("ERROR: if /o is specified it must be Asc or Desc");
    }
  }

  log_.Line("");
  log_.Line("Getting database path...");
  std::string path = ReadDbLoc(s_.program_folder);
  if (path.empty()) Fail("Couldn't establish database path - please check dbloc.txt");
  log_.Line("  " + path);
  log_.Line("Opening database...");
  database_ = s_.engine.DefaultWorkspace().OpenDatabase(NativePathOf(path, s_.unc_root),
                                                        /*exclusive=*/true);

  log_.Line("");
  FindPeriods();
  log_.Line("");

  if (tree_) log_.Line("Printing tree...");
  PrintState state;
  ReportBuilder builder(ReportServices{.database = *database_,
                                       .clock = s_.clock,
                                       .locale = s_.locale,
                                       .message_box = s_.message_box,
                                       .state = state});
  std::string report_path = UncToKey(unc_);
  // The page's path is logical, like the place's: \\intranet\d$\www\users.htm is a share.
  const std::string native_html = html_file_.empty() ? "" : NativePathOf(html_file_, s_.unc_root);
  ReportOutcome outcome =
      builder.PrintTreeExpanded2(report_path, unc_, true, period1_, period2_, native_html, &log_,
                                 tree_, tree_ ? 0 : sort_field_, tree_ ? 0 : sort_order_);
  if (outcome == ReportOutcome::kNoFile) log_.Line("No HTML file named: nothing written");

  log_.Line("");
  log_.Line("Closing database...");
  database_->Close();
  database_.reset();
  s_.engine.DefaultWorkspace().Close();
  log_.Line("Finished.");
  log_.Close();
  switch (outcome) {
    case ReportOutcome::kWritten:
      return kPageWritten;
    case ReportOutcome::kNoRows:
    case ReportOutcome::kNoFile:
      return kNothingToReport;
    default:
      return kReportBroken;
  }
}

int HtmlReportRun::Run() {
  try {
    try {
      return Main();
    } catch (const Failed&) {
      throw;
    } catch (...) {
      auto [number, description] = DescribeError(std::current_exception());
      Fail("Aborting due to error " + std::to_string(number) + ": " + description);
    }
  } catch (const Failed&) {
    return kHtmlReportFailed;
  }
}

}  // namespace

std::optional<std::string> FindParameter(std::string_view command_line, std::string_view key) {
  // The padding ends the last value at a "/" like every other.
  std::string line = std::string(command_line) + "    /    ";
  std::string lowered = LowerCase(line);
  std::string wanted = LowerCase(key);
  std::size_t at = std::string::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < lowered.size() && at == std::string::npos; ++i) {
    if (lowered[i] == '"') {
      quoted = !quoted;
    } else if (!quoted && lowered.compare(i, wanted.size(), wanted) == 0) {
      at = i;
    }
  }
  if (at == std::string::npos) return std::nullopt;
  std::size_t start = std::min(at + wanted.size() + 1, line.size());
  std::size_t first = line.find_first_not_of(' ', start);
  std::string value;
  std::size_t closing = first != std::string::npos && line[first] == '"' ? line.find('"', first + 1)
                                                                         : std::string::npos;
  if (closing != std::string::npos) {
    value = line.substr(first, closing + 1 - first);
  } else {
    value = Trim(std::string_view(line).substr(start, line.find('/', start) - start));
  }
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

std::string CommandLine(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (i > 0) line += ' ';
    bool keyed = argument.size() > 3 && argument[0] == '/' && argument[2] == ':';
    std::string_view value = keyed ? std::string_view(argument).substr(3) : "";
    if (keyed && value.find('/') != std::string_view::npos && !value.starts_with('"')) {
      line += argument.substr(0, 3) + "\"" + std::string(value) + "\"";
    } else {
      line += argument;
    }
  }
  return line;
}

int RunHtmlReport(std::string_view command_line, HtmlReportServices& services) {
  std::optional<ProgramLog> log;
  try {
    log.emplace(LineFile(services.program_folder + "/brontalh.log"), services.clock,
                services.locale);
  } catch (const std::system_error& error) {
    services.message_box.Show(error.what(), "Brontal");
    return kHtmlReportNoLog;
  }
  log->Line("BRONTALH.LOG");
  log->Line("");
  HtmlReportRun run(services, *log, command_line);
  return run.Run();
}

}  // namespace brontal
