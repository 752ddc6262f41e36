// What brontald shows when it is started without its four numbers: the usage window on a
// desktop, the same text on standard output elsewhere.
#pragma once

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


}  // namespace brontal
