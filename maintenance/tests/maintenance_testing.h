// What the maintenance tests share: scans written straight into a database, the periods left in
// each table, log lines without their stamps, and another program holding the database open.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/database.h"
#include "platform/datetime.h"
#include "platform/sqlite_engine.h"
#include "platform/testing/temp_folder.h"

namespace brontal::testing {

// Appends what one scan of node SERVER1 leaves in each table for `period`: the period, two Dirs
// rows, their Parents row and a Disks row.
inline void AddScan(db::Database& database, DateTime period) {
  auto add = [&](std::string_view table,
                 std::initializer_list<std::pair<const char*, db::Value>> fields) {
    auto rs = database.OpenRecordset(table, db::RecordsetType::kTable);
    rs->AddNew();
    for (const auto& [name, value] : fields) rs->SetField(name, value);
    rs->Update();
  };
  add("Periods", {{"pdate", period}});
  add("Dirs", {{"DirParent", "R"}, {"Dir", "SERVER1"}, {"Brontal", 1000}, {"pdate", period}});
  add("Dirs", {{"DirParent", "R\\SERVER1"}, {"Dir", "C:"}, {"Brontal", 1000}, {"pdate", period}});
  add("Parents", {{"DirParent", "R\\SERVER1"}, {"pdate", period}});
  add("Disks", {{"DiskParent", "R\\SERVER1"},
                {"Disk", "C:"},
                {"DiskFree", 5},
                {"DiskSize", 10},
                {"pdate", period}});
}

// The distinct periods of a table, in the stored form.
inline std::set<std::string> PeriodsIn(db::Database& database, std::string_view table) {
  auto rs = database.OpenRecordset("select distinct pdate from " + std::string(table),
                                   db::RecordsetType::kSnapshot);
  std::set<std::string> periods;
  for (; !rs->Eof(); rs->MoveNext()) periods.insert(rs->Field(0).AsText());
  return periods;
}

// The lines of a log, each without its line end and with the stamp `stamp` (padded to its
// print zone) taken off where it starts the line.
inline std::vector<std::string> LogMessages(const std::string& path, std::string stamp) {
  stamp.resize((stamp.size() / 14 + 1) * 14, ' ');
  std::vector<std::string> lines;
  std::stringstream log(ReadWholeFile(path));
  for (std::string line; std::getline(log, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line.starts_with(stamp) ? line.substr(stamp.size()) : line);
  }
  return lines;
}

// Another program of the suite holding the database open shared (a viewer idle all day), in a
// child process, until this object goes.
class OtherProgram {
 public:
  explicit OtherProgram(const std::string& path) {
    int ready[2], stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      int status = 0;
      try {
        auto engine = db::MakeSqliteEngine();
        auto database = engine->DefaultWorkspace().OpenDatabase(path);
        char c = 'y';
        if (::write(ready[1], &c, 1) != 1) status = 3;
        if (::read(stop[0], &c, 1) < 0) status = 4;
      } catch (const db::DbError&) {
        status = 2;
      }
      ::_exit(status);
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char c = 0;
    opened_ = ::read(ready[0], &c, 1) == 1 && c == 'y';
    ::close(ready[0]);
  }
  ~OtherProgram() {
    ::close(stop_);
    int status;
    ::waitpid(pid_, &status, 0);
  }
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  bool opened() const { return opened_; }

 private:
  pid_t pid_;
  int stop_;
  bool opened_ = false;
};

}  // namespace brontal::testing
