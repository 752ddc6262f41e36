// When brontalh shows its usage, and the text it shows.
#include "htmltool/usage.h"
#include "platform/usage_window.h"

#include <gtest/gtest.h>

#include <map>

namespace brontal {
namespace {

TEST(BrontalhUsageTest, HelpWordsInAnyCaseWithBlanksAroundThem) {
  for (std::string_view line : {"", "   ", "help", "HELP", "/help", " /Help ", "?", "/?", " ? "}) {
    EXPECT_TRUE(IsHelpRequest(line)) << "[" << line << "]";
  }
  for (std::string_view line : {"/d:7", "helpme", "/h", "-?", "help /d:7"}) {
    EXPECT_FALSE(IsHelpRequest(line)) << "[" << line << "]";
  }
}

TEST(BrontalhUsageTest, TextStartsWithAnEmptyLineAndEndsEachLineWithCrLf) {
  std::string text = HtmlReportUsageText();
  EXPECT_TRUE(text.starts_with("\r\n  Brontal HTMLer produces HTML output from Brontal.  \r\n"));
  EXPECT_TRUE(
      text.ends_with("  To produce output for the top level - all servers - use /u:\\\r\n"));
  EXPECT_EQ(HtmlReportUsageLines().size(), 10u);
  EXPECT_EQ(HtmlReportUsageLines()[5],
            "      BRONTALH /d:daysago /u:unc /h:htmlfile [/list [/s:name|change|size] "
            "[/o:asc|desc]] [/tree]");
}

TEST(BrontalhUsageTest, ADesktopNeedsADisplayAndAPlatformWithAScreen) {
  auto with = [](std::map<std::string, std::string> env) {
    return DesktopAvailable([env](const char* name) -> const char* {
      auto found = env.find(name);
      return found == env.end() ? nullptr : found->second.c_str();
    });
  };
  EXPECT_FALSE(with({}));
  EXPECT_FALSE(with({{"DISPLAY", ""}}));
  EXPECT_TRUE(with({{"DISPLAY", ":0"}}));
  EXPECT_TRUE(with({{"WAYLAND_DISPLAY", "wayland-0"}}));
  EXPECT_FALSE(with({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "offscreen"}}));
  EXPECT_TRUE(with({{"DISPLAY", ":0"}, {"QT_QPA_PLATFORM", "xcb"}}));
}

}  // namespace
}  // namespace brontal
