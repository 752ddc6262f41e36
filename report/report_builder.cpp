// PrintTreeExpanded2: one run reads the entries and the total, works out the changes, sorts a
// list and writes the rows, under one error handler. A run keeps its state in a ReportRun.
#include "report/report_builder.h"

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "report/html_page.h"
#include "report/print_page.h"
#include "store/format.h"
#include "store/sql_text.h"
#include "store/text.h"

namespace brontal {
namespace {

constexpr int kCheckEvery = 50;
constexpr double kPageFull = 0.95;
constexpr int kHtmlNameWidth = 30;
constexpr int kColumnWidth = 19;
constexpr std::string_view kIndent = "&nbsp;&nbsp;&nbsp;";
constexpr std::string_view kYellowRow = "<tr bgcolor=#ffffdd>";
constexpr std::string_view kPeriodPattern = "dd-mmm-yyyy hh:nn";

// The path in lower case, its first character made "R" unless it is "r" already.
std::string NormalisedPath(std::string_view path) {
  std::string lowered = LowerCase(path);
  if (lowered.starts_with('r')) return lowered;
  std::string normal(1, 'R');
  normal.append(lowered, FirstCharacters(lowered, 1).size());
  return normal;
}

// Thrown inside a run to go straight to closing when printCancelled is seen.
struct Cancelled {};

class ReportRun {
 public:
  struct Request {
    std::string path;
    std::string title;
    bool to_html;
    DateTime period1, period2;
    std::string html_file;
    ProgramLog* log;
    bool tree;
  };

  ReportRun(ReportServices& services, Request request, SortSettings& sort)
      : s_(services), r_(std::move(request)), sort_(sort) {}

  ReportOutcome Run(SortSettings requested_sort);

 private:
  bool Logged() const { return r_.log != nullptr; }
  // Shows `status` in the window of an interactive run, or logs it in a logged run.
  void Status(std::string_view status) {
    if (Logged()) {
      r_.log->Line(status);
    } else if (s_.progress) {
      s_.progress->SetStatus(status);
    }
  }
  // Shows `status` in the window of an interactive run; logged runs do not log it.
  void Shown(std::string_view status) {
    if (!Logged() && s_.progress) s_.progress->SetStatus(status);
  }
  // Lets pending events run; throws Cancelled once printCancelled is set.
  void CheckPoint() {
    if (s_.progress) s_.progress->ProcessEvents();
    if (s_.state.print_cancelled) throw Cancelled{};
  }
  Printer& ThePrinter() {
    if (!s_.printer) throw PrinterError("No printer is available to this program");
    return *s_.printer;
  }
  std::string Periods() const {
    return " and (pdate=#" + SqlDateText(r_.period1, "m/d/yy h:m:s") + "#" + " or pdate=#" +
           SqlDateText(r_.period2, "m/d/yy h:m:s") + "#)";
  }
  std::string Number(std::int64_t value) const { return FormatNumber(value, "#,##0", s_.locale); }
  // size1 or size2 of the entry, by the period of the row.
  std::int64_t& SizeFor(ReportEntry& entry, const db::Recordset& rows) {
    return rows.Field("pdate").AsDate() == r_.period1 ? entry.size1 : entry.size2;
  }

  void Open();
  // Reads the entries into entries_ in tree order; false when the query has no rows.
  bool ReadEntries();
  // The entry among first..k_ with exactly this parent and name, or a new one after them.
  ReportEntry& EntryFor(int first, const std::string& parent, const std::string& name);
  ReportOutcome NoRows();
  void ReadTotal();
  void CalculateChange();
  void Write();
  void WriteHeader();
  // Breaks the printed page before entry i unless it and what must follow it fit on this one.
  void BreakPageIfFull(int i);
  void WriteRow(int i, int depth);
  void Close();
  void Fail(std::exception_ptr error);

  ReportServices& s_;
  Request r_;
  SortSettings& sort_;
  std::optional<HtmlFile> html_;
  std::vector<ReportEntry> entries_;  // from 1; 0 unused, n + 1 the empty end mark
  std::int64_t row_count_ = 0;        // of the entries query
  int k_ = 0;
  int n_ = 0;
  std::string header_line_;
  double line_height_ = 0;  // of a printed row, measured on the column header
};

ReportOutcome ReportRun::Run(SortSettings requested_sort) {
  try {
    Open();
    bool cancelled = false;
    try {
      if (!ReadEntries()) return NoRows();
      ReadTotal();
      CalculateChange();
      if (!r_.tree) {
        Status("Sorting...");
        sort_ = requested_sort;
        QuickSort(entries_, 1, n_ - 1, sort_);
      }
      Write();
    } catch (const Cancelled&) {
      cancelled = true;
    }
    Close();
    return cancelled ? ReportOutcome::kCancelled : ReportOutcome::kWritten;
  } catch (...) {
    Fail(std::current_exception());
    return ReportOutcome::kFailed;
  }
}

ReportOutcome ReportRun::NoRows() {
  // The page keeps its heading. A printed heading alone is not worth a sheet of paper, and a job
  // left open would come out in front of the next one.
  if (!r_.to_html) ThePrinter().KillDoc();
  if (s_.progress && !Logged()) s_.progress->Close();
  if (html_) html_->Close();
  return ReportOutcome::kNoRows;
}

void ReportRun::Open() {
  if (Logged()) {
    r_.log->Line("Opening " + r_.html_file + "...");
  } else if (s_.progress) {
    PrintState& state = s_.state;
    s_.progress->Open("Initialising...", [&state] { state.print_cancelled = true; });
  }
  if (r_.to_html) {
    html_.emplace(r_.html_file);
    HtmlHeader(*html_, r_.title);
    html_->WriteLine(ZoneLine::AtZone(1).Text("<tr>"));
  } else {
    PrintHeader(ThePrinter(), r_.title, s_.message_box);
  }
}

bool ReportRun::ReadEntries() {
  std::string sql = "select DirParent, Dir, Brontal, pdate from Dirs";
  if (r_.tree) {
    // The place and everything below it; "path*" alone would take in the places beside it whose
    // names begin with its own (users2 beside users).
    sql += " where (DirParent = \"" + SqlText(r_.path) + "\" or DirParent like \"" +
           SqlLikeText(r_.path) + "\\*\")";
  } else {
    sql += " where DirParent = \"" + SqlText(r_.path) + "\"";
  }
  sql += Periods();
  sql += " order by dirparent & \"\\\" & dir, pdate;";
  Shown("Issuing Tree SQL query ...");
  if (Logged()) {
    r_.log->Line((r_.tree ? "Issuing Tree SQL query: " : "Issuing List SQL query: ") + sql);
  }

  auto rows = s_.database.OpenRecordset(sql, db::RecordsetType::kSnapshot);
  if (rows->Eof()) {
    rows->Close();
    return false;
  }
  rows->MoveLast();
  row_count_ = rows->RecordCount();
  entries_.assign(static_cast<std::size_t>(row_count_) + 5, ReportEntry{});
  if (Logged()) r_.log->Line("Reading...");
  rows->MoveFirst();
  // The database compares text without regard to case, so the rows of names that differ only in
  // case (Data and data, side by side on Linux) arrive together, ordered by period alone. Each
  // row goes to the entry of its exact parent and name among the entries of that group.
  int group_first = 1;
  std::string group_key;
  for (; !rows->Eof(); rows->MoveNext()) {
    std::string parent = rows->Field("DirParent").AsText();
    std::string dir = rows->Field("Dir").AsText();
    std::string key = LowerCase(parent + "\\" + dir);
    if (key != group_key) {
      group_key = std::move(key);
      group_first = k_ + 1;
    }
    SizeFor(EntryFor(group_first, parent, dir), *rows) = rows->Field("Brontal").AsInt64();
  }
  rows->Close();
  // The database's order is the tree's unless names differ only in case; then the entries move
  // so that each such name is followed by its own subtree.
  auto first = entries_.begin() + 1, last = entries_.begin() + k_ + 1;
  if (!std::is_sorted(first, last, TreeOrder)) std::sort(first, last, TreeOrder);
  return true;
}

ReportEntry& ReportRun::EntryFor(int first, const std::string& parent, const std::string& name) {
  for (int i = first; i <= k_; ++i) {
    ReportEntry& entry = entries_[static_cast<std::size_t>(i)];
    if (entry.parent == parent && entry.name == name) return entry;
  }
  ++k_;
  if (k_ % kCheckEvery == 0) {
    CheckPoint();  // a cancel leaves, and the recordset closes with its handle
    Shown(std::to_string(CInt(k_ * 50.0 / static_cast<double>(row_count_))) + "% (Retrieving)");
  }
  ReportEntry& entry = entries_[static_cast<std::size_t>(k_)];
  entry.name = name;
  entry.parent = parent;
  return entry;
}

void ReportRun::ReadTotal() {
  Status("Retrieving Total...");
  bool root = r_.path == "r";
  std::string sql;
  if (root) {
    sql = std::string("select \"") + "R" + "\" as DirParent2, \"" + "R" +
          "\" as Dir2, sum(Brontal) as Brontal2, pdate from Dirs" + " where DirParent = \"" + "R" +
          "\"" + Periods() + " group by pdate";
  } else {
    sql = "select DirParent as DirParent2, Dir as Dir2, Brontal as Brontal2, pdate from Dirs" +
          (" where DirParent = \"" + SqlText(ParentPath(r_.path)) + "\"") + " and dir = \"" +
          SqlText(LastPathPart(r_.path)) + "\"" + Periods() +
          " order by dirparent & \"\\\" & dir, pdate;";
  }
  // The place has no size of its own in either period when the query has no rows (a name too
  // long to store, a share that is no drive): a total with blank sizes keeps the last directory
  // in its own row. The place's name is compared without regard to case, like the rows above:
  // where Data and data both answer to it, its total is their sum, as its rows are theirs.
  ReportEntry total{"Total", root ? "R" : ParentPath(r_.path)};
  auto rows = s_.database.OpenRecordset(sql, db::RecordsetType::kSnapshot);
  for (; !rows->Eof(); rows->MoveNext()) {
    total.parent = rows->Field("dirparent2").AsText();
    std::int64_t& size = SizeFor(total, *rows);
    size = (size == -1 ? 0 : size) + rows->Field("brontal2").AsInt64();
  }
  rows->Close();
  n_ = ++k_;
  entries_[static_cast<std::size_t>(n_)] = std::move(total);
}

void ReportRun::CalculateChange() {
  Status("Calculating Change...");
  for (int i = 1; i <= n_; ++i) {
    ReportEntry& entry = entries_[static_cast<std::size_t>(i)];
    if (r_.period1 == r_.period2) entry.size2 = entry.size1;
    entry.change = ToMegabytes(entry.size1 - entry.size2);
    if (entry.size1 != -1) entry.size1 = ToMegabytes(entry.size1);
    if (entry.size2 != -1) entry.size2 = ToMegabytes(entry.size2);
  }
}

void ReportRun::WriteHeader() {
  std::string p1 = FormatDate(r_.period1, kPeriodPattern, s_.locale);
  std::string p2 = FormatDate(r_.period2, kPeriodPattern, s_.locale);
  if (r_.to_html) {
    html_->WriteLine(ZoneLine::AtZone(1).Text(kYellowRow));
    html_->WriteLine(ZoneLine::AtZone(1).Text(" "));
    html_->WriteLine(ZoneLine::AtZone(2).Text("<td><font color=#770077><b>Name</font></b>"));
    html_->WriteLine(
        ZoneLine::AtZone(2).Text("<td align=right><font color=#770077><b>Change</font></b>"));
    for (const std::string& period : {p1, p2}) {
      html_->WriteLine(ZoneLine::AtZone(2).Text("<td align=right><b><font color=#770077>" + period +
                                                "</font></b>"));
    }
    html_->WriteLine(ZoneLine::AtZone(1).Text(" </font>"));
    html_->WriteLine(ZoneLine::AtZone(1).Text("</tr>"));
  } else {
    header_line_ = "Name" + std::string(15, ' ') + PadField("Change", kColumnWidth) +
                   PadField(p1, kColumnWidth) + PadField(p2, kColumnWidth);
    line_height_ = PrintColumnHeader(ThePrinter(), header_line_);
  }
}

void ReportRun::WriteRow(int i, int depth) {
  const ReportEntry& entry = entries_[static_cast<std::size_t>(i)];
  // Only a total that the place has no size for can miss both periods: its change is unknown.
  bool no_change = entry.size1 == -1 && entry.size2 == -1;
  std::string change = no_change ? std::string() : Number(entry.change);
  std::string size1 = PadField(Number(entry.size1), kColumnWidth, entry.size1 == -1);
  std::string size2 = PadField(Number(entry.size2), kColumnWidth, entry.size2 == -1);
  if (r_.to_html) {
    std::string indent;
    for (int d = 0; d < depth; ++d) indent += kIndent;
    html_->WriteLine(ZoneLine::AtZone(1).Text("<tr>"));
    if (i == n_) html_->WriteLine(ZoneLine::AtZone(1).Text(kYellowRow));
    html_->WriteLine(ZoneLine::AtZone(2).Text(
        "<td>" + indent + HtmlText(FirstCharacters(entry.name, kHtmlNameWidth))));
    html_->WriteLine(ZoneLine::AtZone(2).Text("<td align=right>").Zone().Text(change));
    html_->WriteLine(ZoneLine::AtZone(2).Text("<td align=right>").Zone().Text(size1));
    html_->WriteLine(ZoneLine::AtZone(2).Text("<td align=right>").Zone().Text(size2));
    html_->WriteLine(ZoneLine::AtZone(1).Text("</tr>"));
  } else {
    Printer& printer = ThePrinter();
    if (i == n_) {
      printer.PrintLine("");
      printer.SetFontBold(true);
    }
    printer.SetFontItalic(true);
    printer.PrintText(PadField(
        std::string(static_cast<std::size_t>(std::max(depth, 0)), ' ') + entry.name, kColumnWidth));
    printer.SetFontItalic(false);
    printer.PrintText(PadField(change, kColumnWidth));
    printer.PrintText(size1);
    printer.PrintLine(size2);
  }
}

void ReportRun::BreakPageIfFull(int i) {
  Printer& printer = ThePrinter();
  const double y = printer.CurrentY(), height = printer.ScaleHeight();
  // A page is full at 95 %, or sooner when the entry (the total with the empty line above it)
  // and the footer that closes the page below it would not fit: a footer past the printable
  // area is lost.
  const int lines = (i == n_ ? 2 : 1) + kFooterLines;
  if (y > kPageFull * height || y + lines * line_height_ > height) {
    PrintPageBreak(printer, r_.title, header_line_);
  }
}

void ReportRun::Write() {
  Status(Logged() ? "Writing..." : "Printing...");
  WriteHeader();
  const int base = CountOccurrences(entries_[1].parent, "\\") - 1;
  for (int i = 1; i <= n_; ++i) {
    if (!r_.to_html) BreakPageIfFull(i);
    if (i % kCheckEvery == 0) {
      CheckPoint();
      Shown(std::to_string(CInt(i * 50.0 / n_ + 50)) + "% (Writing)");
    }
    const ReportEntry& entry = entries_[static_cast<std::size_t>(i)];
    // A directory's own files are left out when they would close their parent's run.
    if (entry.name == "." && entries_[static_cast<std::size_t>(i) + 1].parent != entry.parent) {
      continue;
    }
    WriteRow(i, CountOccurrences(entry.parent, "\\") - base);
  }
}

void ReportRun::Close() {
  if (Logged()) r_.log->Line("Writing footer");
  if (r_.to_html) {
    HtmlFooter(*html_, s_.clock.Now(), s_.locale);
  } else if (s_.state.print_cancelled) {
    try {
      ThePrinter().KillDoc();
    } catch (const std::exception&) {
      // Abandoning is the last thing the run does to the job; a failure changes nothing.
    }
  } else {
    PrintFooter(ThePrinter(), r_.title);
  }
  if (Logged()) r_.log->Line("Closing HTML file...");
  if (s_.progress && !Logged()) s_.progress->Close();
  if (html_) html_->Close();
}

void ReportRun::Fail(std::exception_ptr error) {
  std::string description;
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    description = e.what();
  } catch (...) {
    description = "Unknown error";
  }
  if (Logged()) {
    r_.log->Raw("ERROR: " + description + " in PrintTreeExpanded2");
  } else {
    s_.message_box.Show(description + " in PrintTreeExpanded2", "Brontal");
  }
  // The error has been reported; what fails while tidying up would only hide it.
  try {
    if (html_) html_->Close();
  } catch (const std::exception&) {
  }
  if (s_.progress && !Logged()) s_.progress->Close();
  // A half-printed report is no use, and a job left open would come out in front of the next.
  if (!r_.to_html && s_.printer) {
    try {
      s_.printer->KillDoc();
    } catch (const std::exception&) {
    }
  }
}

}  // namespace

std::string UncToKey(std::string_view unc) {
  std::string key = "R";
  key += unc.substr(FirstCharacters(unc, 1).size());
  std::size_t slash = key.find('\\', 2);
  if (slash != std::string::npos && slash + 2 < key.size() && key[slash + 2] == '$') {
    key[slash + 2] = ':';
  }
  return key;
}

ReportOutcome ReportBuilder::PrintTreeExpanded2(std::string& path, std::string_view title,
                                                bool to_html, DateTime period1, DateTime period2,
                                                std::string_view html_file, ProgramLog* log_file,
                                                bool tree_mode, int sort_field, int sort_order) {
  path = NormalisedPath(path);
  std::string file(html_file);
  if (to_html && file.empty()) {
    file = AskHtmlFileName(services_.save_dialog, services_.state, services_.message_box);
    if (file.empty()) return ReportOutcome::kNoFile;
  }
  ReportRun run(services_,
                {path, std::string(title), to_html, period1, period2, file, log_file, tree_mode},
                sort_);
  return run.Run(SortSettings{sort_field, sort_order});
}

}  // namespace brontal
