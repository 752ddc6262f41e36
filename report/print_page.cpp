// Page heading, footer, page break and graph printing on the printer object.
#include "report/print_page.h"

#include "store/zone_line.h"

namespace brontal {
namespace {

constexpr double kPageFull = 0.95;
constexpr double kPageNumberAt = 0.925;

// A page number the way a number is printed: a sign place, the digits, a blank (" 2 ").
std::string PageNumber(const Printer& printer) { return ZoneLine().Number(printer.Page()).Str(); }

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
  printer.PrintLine("");
  while (printer.CurrentY() / printer.ScaleHeight() < kPageFull) printer.PrintLine("");
  printer.SetFontItalic(true);
  SetPrinterFont(printer, "Helvetica");
  printer.PrintText(title);
  printer.SetCurrentX(kPageNumberAt * printer.ScaleWidth());
  printer.PrintLine(PageNumber(printer));
  printer.EndDoc();
}

void PrintPageBreak(Printer& printer, std::string_view title, std::string_view header_line) {
  printer.PrintLine("");
  SetPrinterFont(printer, "Helvetica");
  printer.SetFontItalic(true);
  printer.PrintText(title);
  printer.SetCurrentX(kPageNumberAt * printer.ScaleWidth());
  printer.PrintLine(PageNumber(printer));
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
