// What brontald shows when it is started without its four numbers: the usage window on a
// desktop, the same text on standard output elsewhere.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace brontal {

// The caption of the usage window.
inline constexpr std::string_view kUsageCaption = "Brontal Database Purge and Compression";

// The usage text line by line, trailing blanks included.
std::span<const std::string_view> UsageLines();

// The usage lines each ended by `line_end`.
std::string UsageText(std::string_view line_end = "\r\n");

// Whether a window can be shown: DISPLAY or WAYLAND_DISPLAY is set and not empty, and
// QT_QPA_PLATFORM does not choose a platform without a screen ("offscreen", "minimal").
// `getenv` returns a variable's value or null, as std::getenv does.
bool DesktopAvailable(const std::function<const char*(const char*)>& getenv);

}  // namespace brontal
