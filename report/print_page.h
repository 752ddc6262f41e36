// The printed page around every report: the font choice, the heading, the footer with the page
// number, the page break that repeats the column header, and the printing of a graph.
#pragma once

#include <string>
#include <string_view>

#include "platform/message_box.h"
#include "platform/printing/printer.h"

namespace brontal {

// The lines a footer takes below the rows: an empty line and the footer itself. Printing code
// keeps that much room free on every page, so that no footer falls below the printable area.
inline constexpr int kFooterLines = 2;

// Makes the first of the printer's fonts whose name begins with `prefix` (case-sensitive) the
// current font; leaves the font as it is when none does.
void SetPrinterFont(Printer& printer, std::string_view prefix);

// Prints the heading "Brontal Listing of " + title ("of All Servers" for the title "\") in a
// large Helvetica and leaves Courier 12 current for the report columns. Returns the heading; on
// a printer error shows "<description> in Print Header" in `message_box` and returns "".
std::string PrintHeader(Printer& printer, std::string_view title, MessageBox& message_box);

// Prints the title and the page number in italic Helvetica below an empty line, pushed down to
// 95 % of the page, and sends the document. The footer always ends within the printable height:
// it moves up into its empty line when that would push it off, and onto a new page when the
// rows leave no room for it at all. Printer errors go to the caller.
void PrintFooter(Printer& printer, std::string_view title);

// Prints `header_line`, a report's column captions, in bold underlined type of the current font
// and returns the height of that line, the step of every row after it. Printer errors go to the
// caller.
double PrintColumnHeader(Printer& printer, std::string_view header_line);

// Ends the page with the title and page number below an empty line after the last row, starts
// the next and prints `header_line` there in bold underlined Courier. The footer moves up into
// its empty line rather than leave the printable area, and is left out of a page filled to its
// foot. Printer errors go to the caller.
void PrintPageBreak(Printer& printer, std::string_view title, std::string_view header_line);

// Prints `picture` on a landscape page, 85 % of the page with a 5 % margin, sends it and turns
// the printer back to portrait. Printer errors are shown as "PrintGraph: <description>"; the
// document is then dropped and the printer still turned back.
void PrintGraph(Printer& printer, const Picture& picture, MessageBox& message_box);

}  // namespace brontal
