// PrintList: one run writes the heading, the captions and the rows of a list to the printer or
// an HTML file, looking for a cancel every 20 rows, under one error handler.
#include "viewer/print_list.h"

#include <filesystem>
#include <optional>
#include <system_error>

#include "report/html_page.h"
#include "report/print_page.h"
#include "store/format.h"
#include "store/run_error.h"
#include "store/text.h"
#include "store/zone_line.h"

namespace brontal {
namespace {

constexpr int kLineChars = 76;
constexpr std::size_t kCheckEvery = 20;
constexpr double kPageFull = 0.95;
// A row with its icon takes two lines, so such pages are called full sooner.
constexpr double kPageFullWithIcons = 0.92;
// Screen pictures count 96 pixels to the inch, and both printers count in points.
constexpr double kPointsPerPixel = 72.0 / 96.0;
// Blanks in front of the header line and of every row with icons: in Courier 12 they hold a
// small icon, which would otherwise be drawn over the first letters of the first column.
constexpr std::string_view kIconGutter = "   ";
constexpr std::string_view kYellowRow = "<tr bgcolor=#ffffdd>";

class ListRun {
 public:
  ListRun(const PrintableList& list, std::string_view title, bool to_html, bool with_icons,
          const ListPrintServices& services)
      : list_(list),
        title_(title),
        to_html_(to_html),
        with_icons_(with_icons),
        s_(services),
        width_(ListColumnChars(static_cast<int>(list.columns.size()))) {}

  ReportOutcome Run();

 private:
  Printer& ThePrinter() {
    if (!s_.printer) throw PrinterError("No printer is available to this program");
    return *s_.printer;
  }
  const std::string& Cell(const PrintableRow& row, std::size_t column) const {
    static const std::string kEmpty;
    return column < row.cells.size() ? row.cells[column] : kEmpty;
  }

  void Heading();
  void HtmlRow(const PrintableRow& row);
  void PrintRow(const PrintableRow& row);
  // Breaks the page before a row once the pen is past the threshold, or sooner when the row and
  // the footer below it would not fit on the page.
  void BreakPageIfFull(Printer& printer);
  void PaintIcon(Printer& printer, const Picture* icon);
  void Finish();
  void Cancel();
  void Fail(std::exception_ptr error);

  const PrintableList& list_;
  std::string title_;
  bool to_html_;
  bool with_icons_;
  const ListPrintServices& s_;
  int width_;
  std::optional<HtmlFile> html_;
  std::string html_path_;
  std::string header_line_;
  double line_height_ = 0;  // of a printed row, measured on the header line
};

ReportOutcome ListRun::Run() {
  try {
    if (to_html_) {
      html_path_ = AskHtmlFileName(s_.save_dialog, s_.state, s_.message_box);
      if (html_path_.empty()) return ReportOutcome::kNoFile;
    }
    PrintState& state = s_.state;
    s_.progress.Open("Initialising...", [&state] { state.print_cancelled = true; });
    Heading();
    s_.progress.SetStatus("Printing...");
    const std::size_t count = list_.rows.size();
    for (std::size_t i = 1; i <= count; ++i) {
      if (to_html_) {
        HtmlRow(list_.rows[i - 1]);
      } else {
        PrintRow(list_.rows[i - 1]);
      }
      if (i % kCheckEvery == 0) {
        s_.progress.ProcessEvents();
        if (s_.state.print_cancelled) {
          Cancel();
          return ReportOutcome::kCancelled;
        }
        s_.progress.SetStatus(
            std::to_string(CInt(static_cast<double>(i) * 100 / static_cast<double>(count))) +
            "% complete");
      }
    }
    Finish();
    return ReportOutcome::kWritten;
  } catch (...) {
    Fail(std::current_exception());
    return ReportOutcome::kFailed;
  }
}

void ListRun::Heading() {
  if (to_html_) {
    html_.emplace(html_path_);
    HtmlHeader(*html_, title_);
    html_->WriteLine(ZoneLine::AtZone(1).Text(kYellowRow));
    for (const PrintableColumn& column : list_.columns) {
      html_->WriteLine(ZoneLine::AtZone(2)
                           .Text("<td><b>")
                           .Zone()
                           .Text(HtmlText(ListCaption(column.key)))
                           .Zone()
                           .Text("</b>"));
    }
    html_->WriteLine(ZoneLine::AtZone(1).Text("</tr>"));
    return;
  }
  Printer& printer = ThePrinter();
  PrintHeader(printer, title_, s_.message_box);
  header_line_ = with_icons_ ? std::string(kIconGutter) : std::string();
  for (const PrintableColumn& column : list_.columns) {
    header_line_ += PadField(ListCaption(column.key), width_);
  }
  line_height_ = PrintColumnHeader(printer, header_line_);
  printer.PrintLine("");
}

void ListRun::HtmlRow(const PrintableRow& row) {
  html_->WriteLine(ZoneLine::AtZone(1).Text("<tr>"));
  for (std::size_t j = 0; j < list_.columns.size(); ++j) {
    const bool left = list_.columns[j].alignment == CellAlignment::kLeft;
    // The first column (the name) stands as it is; the others keep the printed width.
    const std::string text = j == 0 ? Cell(row, j) : PadField(Cell(row, j), width_);
    html_->WriteLine(ZoneLine::AtZone(2)
                         .Text(left ? "<td align=left>" : "<td align=right>")
                         .Zone()
                         .Text(HtmlText(text)));
  }
  html_->WriteLine(ZoneLine::AtZone(1).Text("</tr>"));
}

void ListRun::PrintRow(const PrintableRow& row) {
  Printer& printer = ThePrinter();
  BreakPageIfFull(printer);
  if (with_icons_) {
    PaintIcon(printer, row.icon);
    printer.PrintLine("");
    printer.PrintText(kIconGutter);
  }
  for (std::size_t j = 0; j < list_.columns.size(); ++j) {
    if (j == 0) printer.SetFontItalic(true);
    printer.PrintText(PadField(Cell(row, j), width_));
    if (j == 0) printer.SetFontItalic(false);
  }
  printer.PrintLine("");
}

void ListRun::BreakPageIfFull(Printer& printer) {
  const double y = printer.CurrentY(), height = printer.ScaleHeight();
  const double threshold = with_icons_ ? kPageFullWithIcons : kPageFull;
  // Below the threshold a row can still start too low for itself and the footer under it on a
  // short page; a footer past the printable area is lost.
  const int lines = (with_icons_ ? 2 : 1) + kFooterLines;
  if (y > threshold * height || y + lines * line_height_ > height) {
    PrintPageBreak(printer, title_, header_line_);
  }
}

void ListRun::PaintIcon(Printer& printer, const Picture* icon) {
  if (!icon || icon->width <= 0 || icon->height <= 0) return;
  const double width = icon->width * kPointsPerPixel, height = icon->height * kPointsPerPixel;
  try {
    printer.PaintPicture(*icon, printer.CurrentX(), printer.CurrentY() + height, width, height);
  } catch (const std::exception&) {
    // The row says all it has to say without its icon; a picture the printer refuses is no
    // reason to lose the rest of the list.
  }
}

void ListRun::Finish() {
  if (to_html_) {
    HtmlFooter(*html_, s_.clock.Now(), s_.locale);
    html_->Close();
  } else {
    PrintFooter(ThePrinter(), title_);
  }
  s_.progress.Close();
}

void ListRun::Cancel() {
  if (to_html_) {
    html_->Close();
  } else {
    try {
      ThePrinter().KillDoc();
    } catch (const std::exception&) {
      // Abandoning is the last thing done to the job; a failure there changes nothing.
    }
  }
  s_.progress.Close();
}

void ListRun::Fail(std::exception_ptr error) {
  std::string description = "Unknown error";
  try {
    description = DescribeError(error).second;
  } catch (...) {
    // Not one of ours: the message still says where it happened.
  }
  s_.message_box.Show(description + " in PrintList", "Brontal");
  s_.progress.Close();
  // The error has been reported; what fails while tidying up would only hide it.
  if (to_html_) {
    // Only a page this run created and began is removed: a file it could not open is someone
    // else's, and a device or pipe is no page at all.
    if (html_) {
      try {
        html_->Close();
      } catch (const std::exception&) {
      }
      std::error_code ignored;
      if (std::filesystem::is_regular_file(html_path_, ignored)) {
        std::filesystem::remove(html_path_, ignored);
      }
    }
    s_.state.last_html_file.clear();
  } else if (s_.printer) {
    try {
      s_.printer->KillDoc();
    } catch (const std::exception&) {
    }
  }
}

}  // namespace

std::string ListCaption(std::string_view key) {
  std::string caption(Trim(key));
  if (caption.empty()) return caption;
  if (caption[0] >= 'a' && caption[0] <= 'z')
    caption[0] = static_cast<char>(caption[0] - 'a' + 'A');
  const bool period = caption.size() > 1 && caption[0] == 'P' && caption[1] >= '0' &&
                      caption[1] <= '9' && caption.find('-') != std::string::npos;
  if (period) caption.erase(0, 1);
  return caption;
}

int ListColumnChars(int columns) {
  if (columns <= 0) return 0;
  return static_cast<int>(CInt(static_cast<double>(kLineChars) / columns));
}

PrintableList PrintableDirectoryList(std::string_view period1_text, std::string_view period2_text,
                                     const std::vector<ListRow>& rows,
                                     const std::map<std::string, Picture, std::less<>>& icons) {
  PrintableList list;
  list.columns = {{"name", CellAlignment::kLeft},
                  {"change", CellAlignment::kRight},
                  {"p" + std::string(period1_text), CellAlignment::kRight},
                  {"p" + std::string(period2_text), CellAlignment::kRight}};
  list.rows.reserve(rows.size());
  for (const ListRow& row : rows) {
    auto icon = icons.find(row.icon);
    list.rows.push_back({std::vector<std::string>(row.cells.begin(), row.cells.end()),
                         icon == icons.end() ? nullptr : &icon->second});
  }
  return list;
}

ReportOutcome PrintList(const PrintableList& list, std::string_view title, bool to_html,
                        bool with_icons, const ListPrintServices& services) {
  return ListRun(list, title, to_html, with_icons, services).Run();
}

}  // namespace brontal
