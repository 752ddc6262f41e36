// What brontalh shows when it is started without parameters or asked for help: the usage text,
// in its window on a desktop or on standard output elsewhere.
#pragma once

#include <functional>
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

// Whether a window can be shown: DISPLAY or WAYLAND_DISPLAY is set and not empty, and
// QT_QPA_PLATFORM does not choose a platform without a screen ("offscreen", "minimal").
// `getenv` returns a variable's value or null, as std::getenv does.
bool HtmlReportDesktopAvailable(const std::function<const char*(const char*)>& getenv);

}  // namespace brontal
