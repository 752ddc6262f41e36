// What brontalh shows when it is started without parameters or asked for help: the usage text,
// in its window on a desktop or on standard output elsewhere.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace brontal {

// The usage text line by line, the first line empty, trailing blanks included.
std::span<const std::string_view> HtmlReportUsageLines();

// The usage lines each ended by `line_end`.
std::string HtmlReportUsageText(std::string_view line_end = "\r\n");

// Whether the command line asks for the usage: empty, "help", "/help", "?" or "/?" in any
// letter case, with blanks around it.
bool IsHelpRequest(std::string_view command_line);


}  // namespace brontal
