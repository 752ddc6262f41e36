// A size database of two servers over three periods with the Parents and Periods rows that
// brontalh finds its periods in, dbloc.txt pointing at it, and readers for brontalh.log.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

#include "platform/fixed_locale.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/temp_folder.h"
#include "store/format.h"
#include "store/schema.h"

namespace brontal::testing {

inline constexpr std::int64_t kMB = 1024 * 1024;
inline const DateTime kNewest = DateTime::FromCivil(2026, 12, 8, 2);
inline const DateTime kWeekAgo = DateTime::FromCivil(2026, 12, 1, 2);
inline const DateTime kTwoWeeksAgo = DateTime::FromCivil(2026, 11, 24, 2);

// How a run of the program ended.
struct Outcome {
  int status = -1;     // the exit status, -1 when it did not exit
  std::string output;  // standard output
};

struct DirRow {
  std::string parent;
  std::string dir;
  std::int64_t bytes;
};

class BrontalhFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(program_folder_);
    CreateBrontalDatabase(*engine_, db_path_, 3);
    std::ofstream(program_folder_ + "/dbloc.txt") << db_path_ << "\r\n";
    // SERVER1 grows by 1 MB in Users every week; SERVER2 was last seen two weeks ago.
    for (auto [period, grow] : {std::pair{kNewest, 2}, {kWeekAgo, 1}, {kTwoWeeksAgo, 0}}) {
      std::vector<DirRow> rows = {{"R", "SERVER1", (700 + grow) * kMB},
                                  {"R\\SERVER1", "C:", (700 + grow) * kMB},
                                  {"R\\SERVER1\\C:", ".", 10 * kMB},
                                  {"R\\SERVER1\\C:", "WINNT", 600 * kMB},
                                  {"R\\SERVER1\\C:", "Users", (90 + grow) * kMB},
                                  {"R\\SERVER1\\C:\\Users", "alice", (90 + grow) * kMB}};
      if (period == kTwoWeeksAgo) {
        rows.push_back({"R", "SERVER2", 50 * kMB});
        rows.push_back({"R\\SERVER2", "D:", 50 * kMB});
      }
      Scan(period, rows);
    }
  }

  // Stores the rows of one scan run the way the scanner does: Dirs, a Parents row per parent
  // other than R, and the period unless it is stored already.
  void Scan(DateTime period, const std::vector<DirRow>& rows) {
    auto db = engine_->DefaultWorkspace().OpenDatabase(db_path_);
    auto dirs = db->OpenRecordset("Dirs", db::RecordsetType::kTable);
    auto parents = db->OpenRecordset("Parents", db::RecordsetType::kTable);
    std::set<std::string> seen;
    for (const DirRow& row : rows) {
      dirs->AddNew();
      dirs->SetField("DirParent", row.parent);
      dirs->SetField("Dir", row.dir);
      dirs->SetField("Brontal", row.bytes);
      dirs->SetField("pdate", period);
      dirs->Update();
      if (row.parent != "R" && seen.insert(row.parent).second) {
        parents->AddNew();
        parents->SetField("DirParent", row.parent);
        parents->SetField("pdate", period);
        parents->Update();
      }
    }
    // Another node of the same hour may have stored the period already.
    auto stored = db->OpenRecordset(
        "select pdate from Periods where pdate = #" + SqlDateText(period, "m/d/yyyy h:n:s") + "#",
        db::RecordsetType::kSnapshot);
    if (stored->Eof()) {
      auto periods = db->OpenRecordset("Periods", db::RecordsetType::kTable);
      periods->AddNew();
      periods->SetField("pdate", period);
      periods->Update();
    }
    db->Close();
  }

  // Copies brontalh from `bin_dir` into the program folder, beside dbloc.txt.
  void InstallProgram(const std::string& bin_dir) {
    std::filesystem::copy_file(bin_dir + "/brontalh", program_folder_ + "/brontalh");
  }

  // Runs the copy without a display, with each argument as the shell would pass it.
  Outcome RunProgram(const std::vector<std::string>& arguments) {
    int out[2];
    if (::pipe(out) != 0) return {};
    pid_t pid = ::fork();
    if (pid == 0) {
      ::unsetenv("DISPLAY");
      ::unsetenv("WAYLAND_DISPLAY");
      ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
      ::dup2(out[1], STDOUT_FILENO);
      ::close(out[0]);
      if (!std::freopen("/dev/null", "w", stderr)) ::_exit(126);
      std::string program = program_folder_ + "/brontalh";
      std::vector<char*> argv = {program.data()};
      std::vector<std::string> copies = arguments;
      for (std::string& argument : copies) argv.push_back(argument.data());
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
      outcome.output.append(buffer, n);
    ::close(out[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
  }

  // brontalh.log's lines, with the date stamp of clock_ taken off the lines that have one.
  std::vector<std::string> LogMessages() const {
    std::string stamp = locale_.GeneralDate(clock_.Now());
    stamp.resize((stamp.size() / 14 + 1) * 14, ' ');
    std::vector<std::string> lines;
    std::stringstream log(ReadWholeFile(program_folder_ + "/brontalh.log"));
    for (std::string line; std::getline(log, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line.starts_with(stamp) ? line.substr(stamp.size()) : line);
    }
    return lines;
  }

  FixedClock clock_{DateTime::FromCivil(2026, 12, 8, 6, 15)};
  FixedLocale locale_;
  std::unique_ptr<db::Engine> engine_ = db::MakeSqliteEngine({.clock = &clock_});
  TempFolder temp_;
  std::string program_folder_ = temp_ / "bin";
  std::string db_path_ = temp_ / "brontal.mdb";
  std::string page_path_ = temp_ / "users.htm";
};

}  // namespace brontal::testing
