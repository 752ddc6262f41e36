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

#include "platform/db/database.h"
#include "platform/datetime.h"
#include "platform/db/sqlite_engine.h"
#include "platform/testing/other_program.h"
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

}  // namespace brontal::testing
