// The usage text of brontalh and the tests of when to show it.
#include "htmltool/usage.h"

#include <array>

#include "store/text.h"

namespace brontal {

std::span<const std::string_view> HtmlReportUsageLines() {
  static constexpr std::array<std::string_view, 10> kLines = {
      "",
      "  Brontal HTMLer produces HTML output from Brontal.  ",
      "",
      "  Format of command:",
      "",
      "      BRONTALH /d:daysago /u:unc /h:htmlfile [/list [/s:name|change|size] [/o:asc|desc]] "
      "[/tree]",
      "",
      "  e.g. BRONTALH /d:7 /u:\\\\myserver\\d$\\users "
      "/h:\\\\intranet\\d$\\inetpub\\wwwroot\\brontaler\\users.htm /list /s:size /o:desc",
      "",
      "  To produce output for the top level - all servers - use /u:\\",
  };
  return kLines;
}

std::string HtmlReportUsageText(std::string_view line_end) {
  std::string text;
  for (std::string_view line : HtmlReportUsageLines()) {
    text += line;
    text += line_end;
  }
  return text;
}

bool IsHelpRequest(std::string_view command_line) {
  std::string words = LowerCase(Trim(command_line));
  return words.empty() || words == "help" || words == "/help" || words == "?" || words == "/?";
}


}  // namespace brontal
