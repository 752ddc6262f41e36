// A small size database of two servers and four periods, for the tests of the statements the
// programs send and of the copying of a database: rows added through table recordsets, as the
// programs add them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "platform/datetime.h"
#include "platform/db/database.h"

namespace brontal::testing::two_servers {

inline constexpr std::int64_t kMB = 1024 * 1024;
// P1 is a Sunday, P2 a Monday, P3 the 1st of a month (a Sunday), P4 a Monday.
inline const DateTime kP1 = DateTime::FromCivil(2026, 12, 6, 2);
inline const DateTime kP2 = DateTime::FromCivil(2026, 11, 30, 2);
inline const DateTime kP3 = DateTime::FromCivil(2026, 11, 1, 2);
inline const DateTime kP4 = DateTime::FromCivil(2026, 10, 5, 2);

// Appends rows to the tables of a database, opening each table once.
class RowWriter {
 public:
  explicit RowWriter(db::Database& database) : database_(database) {}

  void Add(std::string_view table,
           std::initializer_list<std::pair<const char*, db::Value>> fields) {
    auto& rs = tables_[std::string(table)];
    if (!rs) rs = database_.OpenRecordset(table, db::RecordsetType::kTable);
    rs->AddNew();
    for (const auto& [name, value] : fields) rs->SetField(name, value);
    rs->Update();
  }

  void AddDir(std::string_view parent, std::string_view dir, std::int64_t size, DateTime p) {
    Add("Dirs", {{"DirParent", parent}, {"Dir", dir}, {"Brontal", size}, {"pdate", p}});
  }

 private:
  db::Database& database_;
  std::map<std::string, std::unique_ptr<db::Recordset>> tables_;
};

// Fills a database made by CreateBrontalDatabase with RepeatedPeriodsSchema, whose Periods may
// hold a period twice. SERVER1 has C: with WINNT, Users (with alice), users2 and its own files
// in every period; SERVER2 has D: in P1 and P2 only. Sizes grow by 1 MB a period. Todo holds a
// row for each server besides the default row; Periods holds P1 twice, as when a second node
// stored the same period in a file of the older kind.
inline void Fill(db::Database& database) {
  RowWriter rows(database);
  rows.Add("Todo", {{"Nodename", "SERVER1"},
                    {"DirParent", "R"},
                    {"Levels", -1},
                    {"LogFile", "/opt/brontal/brontals.log"}});
  rows.Add("Todo", {{"Nodename", "SERVER2"}, {"DirParent", "R"}, {"Levels", 5}});
  int grow = 4;
  for (DateTime p : {kP1, kP2, kP3, kP4}) {
    std::int64_t g = grow-- * kMB;
    rows.AddDir("R", "SERVER1", 1000 * kMB + g, p);
    rows.AddDir("R\\SERVER1", "C:", 1000 * kMB + g, p);
    rows.AddDir("R\\SERVER1\\C:", ".", 10 * kMB, p);
    rows.AddDir("R\\SERVER1\\C:", "WINNT", 600 * kMB, p);
    rows.AddDir("R\\SERVER1\\C:", "Users", 300 * kMB + g, p);
    rows.AddDir("R\\SERVER1\\C:", "users2", 90 * kMB, p);
    rows.AddDir("R\\SERVER1\\C:\\Users", "alice", 300 * kMB + g, p);
    for (const char* parent : {"R\\SERVER1", "R\\SERVER1\\C:", "R\\SERVER1\\C:\\Users"}) {
      rows.Add("Parents", {{"DirParent", parent}, {"pdate", p}});
    }
    rows.Add("Disks", {{"DiskParent", "R\\SERVER1"},
                       {"Disk", "C:"},
                       {"DiskFree", 5000 * kMB - g},
                       {"DiskSize", 6000 * kMB},
                       {"pdate", p}});
    rows.Add("Periods", {{"pdate", p}});
  }
  for (DateTime p : {kP1, kP2}) {
    rows.AddDir("R", "SERVER2", 2000 * kMB, p);
    rows.AddDir("R\\SERVER2", "D:", 2000 * kMB, p);
    rows.Add("Parents", {{"DirParent", "R\\SERVER2"}, {"pdate", p}});
    rows.Add("Disks", {{"DiskParent", "R\\SERVER2"},
                       {"Disk", "D:"},
                       {"DiskFree", 1 * kMB},
                       {"DiskSize", 3000 * kMB},
                       {"pdate", p}});
  }
  rows.Add("Periods", {{"pdate", kP1}});
}

}  // namespace brontal::testing::two_servers
