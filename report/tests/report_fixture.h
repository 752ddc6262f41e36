// A small size database of two servers and three periods, the builder's services around it,
// and readers for the pages and logs a report run leaves.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "platform/fixed_locale.h"
#include "platform/testing/recording_printer.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "report/report_builder.h"
#include "store/schema.h"

namespace brontal::testing {

inline constexpr std::int64_t kMB = 1024 * 1024;
// A size that stands for "no row in this period".
inline constexpr std::int64_t kNoRow = -1;
// P1 is the newer period of the reports, P2 the older; P0 is older still and never reported.
inline const DateTime kP1 = DateTime::FromCivil(2026, 12, 6, 2);
inline const DateTime kP2 = DateTime::FromCivil(2026, 11, 29, 2);
inline const DateTime kP0 = DateTime::FromCivil(2026, 11, 22, 2);

class ReportFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateBrontalDatabase(*engine_, db_path_, 3);
    db_ = engine_->DefaultWorkspace().OpenDatabase(db_path_);
    dirs_ = db_->OpenRecordset("Dirs", db::RecordsetType::kTable);
    // (parent, dir, megabytes in P1, in P2); kNoRow for no row in that period.
    const std::vector<std::tuple<std::string, std::string, int, int>> rows = {
        {"R", "SERVER1", 1015, 1013},
        {"R", "SERVER2", 2000, 2000},
        {"R\\SERVER1", "C:", 1015, 1013},
        {"R\\SERVER1\\C:", ".", 10, 10},
        {"R\\SERVER1\\C:", "WINNT", 600, 600},
        {"R\\SERVER1\\C:\\WINNT", ".", 600, 600},
        {"R\\SERVER1\\C:", "Users", 305, 301},
        {"R\\SERVER1\\C:\\Users", ".", 1, 1},
        {"R\\SERVER1\\C:\\Users", "alice", 300, 296},
        {"R\\SERVER1\\C:\\Users", "Bob", 4, 4},
        {"R\\SERVER1\\C:", "users2", 90, 90},
        {"R\\SERVER1\\C:\\users2", "x", 90, 90},
        {"R\\SERVER1\\C:", "New", 10, kNoRow},
        {"R\\SERVER1\\C:", "Old", kNoRow, 12},
        {"R\\SERVER2", "D:", 2000, 2000},
    };
    for (const auto& [parent, dir, mb1, mb2] : rows) {
      AddSizes(parent, dir, mb1 == kNoRow ? kNoRow : mb1 * kMB, mb2 == kNoRow ? kNoRow : mb2 * kMB);
      AddDir(parent, dir, 1, kP0);
    }
  }
  void TearDown() override {
    if (dirs_) dirs_->Close();
    db_->Close();
  }

  void AddDir(std::string_view parent, std::string_view dir, std::int64_t size, DateTime pdate) {
    dirs_->AddNew();
    dirs_->SetField("DirParent", parent);
    dirs_->SetField("Dir", dir);
    dirs_->SetField("Brontal", size);
    dirs_->SetField("pdate", pdate);
    dirs_->Update();
  }

  // The directory's rows of P1 and P2, sizes in bytes; kNoRow leaves that period without one.
  void AddSizes(std::string_view parent, std::string_view dir, std::int64_t size1,
                std::int64_t size2) {
    if (size1 != kNoRow) AddDir(parent, dir, size1, kP1);
    if (size2 != kNoRow) AddDir(parent, dir, size2, kP2);
  }

  ReportServices Services() {
    return ReportServices{.database = *db_,
                          .clock = clock_,
                          .locale = locale_,
                          .message_box = message_box_,
                          .state = state_,
                          .printer = &printer_,
                          .save_dialog = &dialog_,
                          .progress = &progress_};
  }

  // An HTML report into page.htm of the temporary folder.
  ReportOutcome Html(std::string path, bool tree, int field = 0, int order = 0, DateTime p2 = kP2,
                     ProgramLog* log = nullptr) {
    ReportBuilder builder(Services());
    return builder.PrintTreeExpanded2(path, "Title", true, kP1, p2, page_path_, log, tree, field,
                                      order);
  }

  std::string Page() const { return ReadWholeFile(page_path_); }

  // The page's lines without their CR LF.
  std::vector<std::string> PageLines() const {
    std::vector<std::string> lines;
    std::stringstream page(Page());
    for (std::string line; std::getline(page, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }

  // The report rows of the page below its column header, each as "depth|name|change|size1|size2"
  // with the indentation counted and "*" before a yellow row.
  std::vector<std::string> HtmlRows() const {
    std::vector<std::string> rows;
    std::vector<std::string> lines = PageLines();
    auto trimmed = [](const std::string& s) {
      std::size_t first = s.find_first_not_of(' ');
      return first == std::string::npos ? std::string() : s.substr(first);
    };
    std::size_t i = 0;
    while (i < lines.size() && trimmed(lines[i]) != "</tr>") ++i;  // the column header
    for (++i; i < lines.size(); ++i) {
      if (trimmed(lines[i]) != "<tr>") continue;
      std::string row;
      std::vector<std::string> cells;
      for (++i; i < lines.size() && trimmed(lines[i]) != "</tr>"; ++i) {
        std::string cell = trimmed(lines[i]);
        if (cell == "<tr bgcolor=#ffffdd>") {
          row = "*";
        } else if (cell.starts_with("<td>")) {
          cell = cell.substr(4);
          int depth = 0;
          while (cell.starts_with("&nbsp;&nbsp;&nbsp;")) {
            cell = cell.substr(18);
            ++depth;
          }
          cells.push_back(std::to_string(depth) + "|" + cell);
        } else if (cell.starts_with("<td align=right>")) {
          std::string value = trimmed(cell.substr(16));
          while (!value.empty() && value.back() == ' ') value.pop_back();
          cells.push_back(value);
        }
      }
      for (std::size_t c = 0; c < cells.size(); ++c) row += (c ? "|" : "") + cells[c];
      rows.push_back(row);
    }
    return rows;
  }

  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 9, 30)};
  FixedLocale locale_;
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine({.clock = &clock_});
  TempFolder folder_;
  std::string db_path_ = folder_ / "brontal.mdb";
  std::string page_path_ = folder_ / "page.htm";
  std::unique_ptr<db::Database> db_;
  std::unique_ptr<db::Recordset> dirs_;
  RecordingMessageBox message_box_;
  PrintState state_;
  RecordingPrinter printer_;
  ScriptedSaveFileDialog dialog_;
  RecordingProgressWindow progress_;
};

}  // namespace brontal::testing
