// A page written by the real brontalh, rendered by headless Chromium: the table a reader sees,
// with its names, numbers and total row, and directory names full of markup shown as text.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "htmltool/tests/brontalh_fixture.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::kMB;
using testing::kNewest;
using testing::kWeekAgo;

constexpr const char* kChromium = "/usr/bin/chromium";
const std::string kNbsp = "\xc2\xa0";

// One table row as the browser holds it: its attributes and the text of each cell.
struct Row {
  std::string attributes;
  std::vector<std::string> cells;
};

// Text content of serialised DOM: tags dropped, entities decoded, blanks collapsed and trimmed.
// Non-breaking spaces are kept, so that indentation can be counted.
std::string TextOf(std::string html) {
  std::string text;
  for (std::size_t i = 0; i < html.size();) {
    if (html[i] == '<') {
      i = html.find('>', i);
      i = i == std::string::npos ? html.size() : i + 1;
    } else if (html[i] == '&') {
      std::size_t end = html.find(';', i);
      std::string entity = html.substr(i, end - i + 1);
      text += entity == "&amp;"    ? "&"
              : entity == "&lt;"   ? "<"
              : entity == "&gt;"   ? ">"
              : entity == "&quot;" ? "\""
              : entity == "&nbsp;" ? kNbsp
                                   : entity;
      i = end + 1;
    } else {
      bool blank = html[i] == ' ' || html[i] == '\n' || html[i] == '\r' || html[i] == '\t';
      if (!blank) {
        text += html[i];
      } else if (!text.empty() && text.back() != ' ') {
        text += ' ';
      }
      ++i;
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

// The rows of the DOM's tables that hold cells.
std::vector<Row> TableRows(const std::string& dom) {
  std::vector<Row> rows;
  for (std::size_t at = dom.find("<tr"); at != std::string::npos; at = dom.find("<tr", at + 1)) {
    std::size_t open_end = dom.find('>', at);
    std::size_t close = dom.find("</tr>", open_end);
    Row row{dom.substr(at + 3, open_end - at - 3), {}};
    std::string body = dom.substr(open_end + 1, close - open_end - 1);
    for (std::size_t cell = body.find("<td"); cell != std::string::npos;) {
      std::size_t next = body.find("<td", cell + 1);
      std::size_t content = body.find('>', cell) + 1;
      row.cells.push_back(TextOf(
          body.substr(content, next == std::string::npos ? std::string::npos : next - content)));
      cell = next;
    }
    if (!row.cells.empty()) rows.push_back(row);
  }
  return rows;
}

// The name cell without its indentation, and the depth that indentation stands for.
std::pair<std::string, int> Indented(std::string name) {
  int nbsp = 0;
  while (name.starts_with(kNbsp)) {
    name = name.substr(kNbsp.size());
    ++nbsp;
  }
  if (name.starts_with(' ')) name = name.substr(1);
  return {name, nbsp / 3};
}

class BrowserTest : public testing::BrontalhFixture {
 protected:
  void SetUp() override {
    BrontalhFixture::SetUp();
    if (::access(kChromium, X_OK) != 0) {
      GTEST_SKIP() << "Chromium is not installed (" << kChromium
                   << "): apt-get install chromium, as tools/setup-debian does";
    }
    InstallProgram(BRONTAL_BIN_DIR);
    for (DateTime period : {kNewest, kWeekAgo}) {
      int grow = period == kNewest ? 5 : 3;
      Scan(period, {{"R\\SERVER1\\C:", "<script>x=1</script>", grow * kMB},
                    {"R\\SERVER1\\C:", "Tom & Jerry <b>bold</b>", 2 * kMB}});
    }
  }

  // The DOM of the page after Chromium has parsed it and run whatever scripts it holds.
  std::string Render(const std::string& page) {
    std::string profile = temp_ / "chromium-profile";
    fs::create_directories(profile);
    std::string command = std::string("timeout 120 ") + kChromium +
                          " --headless --no-sandbox --disable-gpu --disable-quic --no-first-run"
                          " --disable-background-networking --disable-component-update"
                          " --disable-sync --user-data-dir='" +
                          profile + "' --dump-dom 'file://" + page + "' 2>'" +
                          (temp_ / "chromium.log") + "'";
    std::string dom;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        dom.append(buffer, n);
      }
      ::pclose(pipe);
    }
    return dom;
  }
};

TEST_F(BrowserTest, TheTableShowsNamesNumbersAndTheTotalLastWithMarkupAsText) {
  testing::Outcome run =
      RunProgram({"/d:7", "/u:\\\\SERVER1\\C$", "/h:" + page_path_, "/list", "/s:name"});
  ASSERT_EQ(run.status, 0);
  std::string dom = Render(page_path_);
  ASSERT_NE(dom.find("</html>"), std::string::npos)
      << testing::ReadWholeFile(temp_ / "chromium.log");

  EXPECT_NE(dom.find("<title>\\\\SERVER1\\C$</title>"), std::string::npos);
  EXPECT_EQ(dom.find("<script"), std::string::npos);  // no element was made of the name
  EXPECT_EQ(dom.find("<b>bold"), std::string::npos);

  std::vector<Row> rows = TableRows(dom);
  ASSERT_EQ(rows.size(), 7u) << dom;
  EXPECT_EQ(rows[0].cells,
            (std::vector<std::string>{"Name", "Change", "08-Dec-2026 02:00", "01-Dec-2026 02:00"}));
  const std::vector<std::vector<std::string>> expected = {
      {".", "0", "10", "10"},
      {"<script>x=1</script>", "2", "5", "3"},
      {"Tom & Jerry <b>bold</b>", "0", "2", "2"},
      {"Users", "1", "92", "91"},
      {"WINNT", "0", "600", "600"},
      {"Total", "1", "702", "701"}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const Row& row = rows[i + 1];
    ASSERT_EQ(row.cells.size(), 4u) << i;
    auto [name, depth] = Indented(row.cells[0]);
    EXPECT_EQ(name, expected[i][0]);
    EXPECT_EQ(depth, i + 1 < expected.size() ? 1 : 0) << name;
    EXPECT_EQ(std::vector<std::string>(row.cells.begin() + 1, row.cells.end()),
              std::vector<std::string>(expected[i].begin() + 1, expected[i].end()))
        << name;
    bool yellow = row.attributes.find("#ffffdd") != std::string::npos;
    EXPECT_EQ(yellow, name == "Total") << name;
  }
}

}  // namespace
}  // namespace brontal
