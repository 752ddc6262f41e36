// The size database's tables. The indexes beyond "Todo" serve the readers: the list and total
// queries (Dirs by parent and period, by parent, name and period), the tree of parents and the
// most recent period of a place (Parents both ways), the disk windows (Disks by period) and the
// period pickers (Periods by date, one row per period).
#include "store/schema.h"

#include <unistd.h>

namespace brontal {

using db::ColumnType;

// A year of daily scans of 20 servers with 5,000 directories each, some 10 to a parent: the
// statistics a new file starts with. With them the planner reads one parent's children in two
// periods through (DirParent, pdate), as it does once a large file has been measured, instead of
// walking every period of the parent through (DirParent, Dir, pdate).
constexpr std::int64_t kDirsRows = 36'500'000;
constexpr std::int64_t kParentsRows = 3'650'000;

const db::Schema& BrontalSchema() {
  static const db::Schema schema = {
      .tables =
          {
              {"Periods", {{"pdate", ColumnType::kDateTime, true}}},
              {"Parents",
               {{"DirParent", ColumnType::kText, true}, {"pdate", ColumnType::kDateTime, true}}},
              {"Dirs",
               {{"DirParent", ColumnType::kText, true},
                {"Dir", ColumnType::kText, true},
                {"Brontal", ColumnType::kCurrency},
                {"pdate", ColumnType::kDateTime, true}}},
              {"Disks",
               {{"DiskParent", ColumnType::kText, true},
                {"Disk", ColumnType::kText, true},
                {"DiskFree", ColumnType::kCurrency},
                {"DiskSize", ColumnType::kCurrency},
                {"pdate", ColumnType::kDateTime, true}}},
              {"Todo",
               {{"Nodename", ColumnType::kText, true},
                {"DirParent", ColumnType::kText, true},
                {"Levels", ColumnType::kLong},
                {"LogFile", ColumnType::kText}}},
          },
      .indexes =
          {
              {"Todo", "Todo", {"Nodename", "DirParent"}, true},
              {"ParentPeriod", "Dirs", {"DirParent", "pdate"}, false, {kDirsRows, 3650, 10}},
              {"ParentDirPeriod",
               "Dirs",
               {"DirParent", "Dir", "pdate"},
               false,
               {kDirsRows, 3650, 365, 1}},
              {"PeriodParent", "Parents", {"pdate", "DirParent"}, false, {kParentsRows, 10000, 1}},
              {"ParentPeriod", "Parents", {"DirParent", "pdate"}, false, {kParentsRows, 365, 1}},
              {"Period", "Disks", {"pdate"}, false, {36500, 100}},
              {"Period", "Periods", {"pdate"}, true, {365, 1}},
          },
  };
  return schema;
}

db::Schema RepeatedPeriodsSchema() {
  db::Schema schema = BrontalSchema();
  for (auto& index : schema.indexes) index.unique &= index.table != "Periods";
  return schema;
}

void CreateBrontalDatabase(db::Engine& engine, const std::string& path, int default_level,
                           const db::Schema& schema) {
  auto database = engine.CreateDatabase(path, schema);
  try {
    auto todo = database->OpenRecordset("Todo", db::RecordsetType::kTable);
    todo->AddNew();
    todo->SetField("Nodename", kDefaultNodeName);
    todo->SetField("DirParent", kDefaultNodeName);
    todo->SetField("Levels", default_level);
    todo->Update();
    todo->Close();
    database->Close();
  } catch (...) {
    database->Close();
    ::unlink(path.c_str());
    throw;
  }
}

}  // namespace brontal
