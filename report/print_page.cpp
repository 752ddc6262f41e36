// Page heading, footer, page break and graph printing on the printer object.
#include "report/print_page.h"

#include "store/zone_line.h"

namespace brontal {
namespace {

constexpr double kPageFull = 0.95;
constexpr double kPageNumberAt = 0.925;

// A page number the way a number is printed: a sign place, the digits, a blank (" 2 ").
std::string PageNumber(const Printer& printer) { return ZoneLine().Number(printer.Page()).Str(); }

// Prints the empty line that separates a footer from the rows, in the footer's font, and returns
// its height: the height of the footer line too. The printer tells line heights no other way.
double FooterGap(Printer& printer) {
  const double top = printer.CurrentY();
  printer.PrintLine("");
  return printer.CurrentY() - top;
}

// Makes sure a footer line `line` high that is about to be printed at the pen ends on the page:
// moves it up, but never above `rows_end`, where the rows stop. False when even there it would
// not fit.
bool FitFooter(Printer& printer, double rows_end, double line) {
  const double height = printer.ScaleHeight();
  if (printer.CurrentY() + line <= height) return true;
  if (rows_end + line > height) return false;
  printer.SetCurrentY(height - line);
  return true;
}

// The footer line: the title, then the page number towards the right edge.
void PrintFooterLine(Printer& printer, std::string_view title) {
  printer.PrintText(title);
  printer.SetCurrentX(kPageNumberAt * printer.ScaleWidth());
  printer.PrintLine(PageNumber(printer));
}

}  // namespace

void SetPrinterFont(Printer& printer, std::string_view prefix) {
  for (const std::string& font : printer.Fonts()) {
    if (font.starts_with(prefix)) {
      printer.SetFontName(font);
      return;
    }
  }
}

std::string PrintHeader(Printer& printer, std::string_view title, MessageBox& message_box) {
  try {
    printer.PrintLine("");
    SetPrinterFont(printer, "Helvetica");
    printer.SetFontSize(18);
    std::string heading = title == "\\" ? std::string("Brontal Listing of All Servers")
                                        : "Brontal Listing of " + std::string(title);
    printer.PrintLine(heading);
    printer.PrintLine("");
    SetPrinterFont(printer, "Courier");
    printer.SetFontSize(12);
    return heading;
  } catch (const std::exception& error) {
    message_box.Show(std::string(error.what()) + " in Print Header", "Brontal");
    return {};
  }
}

void PrintFooter(Printer& printer, std::string_view title) {
  printer.SetFontItalic(true);
  SetPrinterFont(printer, "Helvetica");
  const double rows_end = printer.CurrentY();
  const double line = FooterGap(printer);
  // Down to 95 %, but no further than leaves the footer on the page.
  auto push_down = [&printer, line] {
    const double height = printer.ScaleHeight();
    while (printer.CurrentY() / height < kPageFull && printer.CurrentY() + 2 * line <= height) {
      printer.PrintLine("");
    }
  };
  push_down();
  if (!FitFooter(printer, rows_end, line)) {
    printer.NewPage();
    push_down();
  }
  PrintFooterLine(printer, title);
  printer.EndDoc();
}

double PrintColumnHeader(Printer& printer, std::string_view header_line) {
  printer.SetFontBold(true);
  printer.SetFontUnderline(true);
  const double top = printer.CurrentY();
  printer.PrintLine(header_line);
  const double line_height = printer.CurrentY() - top;
  printer.SetFontBold(false);
  printer.SetFontUnderline(false);
  return line_height;
}

void PrintPageBreak(Printer& printer, std::string_view title, std::string_view header_line) {
  SetPrinterFont(printer, "Helvetica");
  printer.SetFontItalic(true);
  const double rows_end = printer.CurrentY();
  const double line = FooterGap(printer);
  if (FitFooter(printer, rows_end, line)) PrintFooterLine(printer, title);
  printer.SetFontItalic(false);
  printer.NewPage();
  printer.PrintLine("");
  printer.SetFontBold(true);
  printer.SetFontUnderline(true);
  SetPrinterFont(printer, "Courier");
  printer.PrintLine(header_line);
  printer.SetFontItalic(false);
  printer.SetFontBold(false);
  printer.SetFontUnderline(false);
}

void PrintGraph(Printer& printer, const Picture& picture, MessageBox& message_box) {
  try {
    printer.SetOrientation(PageOrientation::kLandscape);
    double width = printer.ScaleWidth();
    double height = printer.ScaleHeight();
    printer.PaintPicture(picture, width / 20, height / 20, width * 17 / 20, height * 17 / 20);
    printer.EndDoc();
    printer.SetOrientation(PageOrientation::kPortrait);
  } catch (const std::exception& error) {
    message_box.Show("PrintGraph: " + std::string(error.what()), "Brontal");
    // Neither half a graph nor a landscape page may be left for the next print.
    try {
      printer.KillDoc();
      printer.SetOrientation(PageOrientation::kPortrait);
    } catch (const std::exception&) {
    }
  }
}

}  // namespace brontal
