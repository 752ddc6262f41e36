// The size database's tables. The indexes beyond "Todo" serve the readers: the list and total
// queries (Dirs by parent and period, by parent, name and period), the tree of parents and the
// most recent period of a place (Parents both ways), the disk windows (Disks by period) and the
// period pickers (Periods by date, one row per period).
#include "store/schema.h"

#include <unistd.h>

namespace brontal {

using db::ColumnType;

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
              {"ParentPeriod", "Dirs", {"DirParent", "pdate"}},
              {"ParentDirPeriod", "Dirs", {"DirParent", "Dir", "pdate"}},
              {"PeriodParent", "Parents", {"pdate", "DirParent"}},
              {"ParentPeriod", "Parents", {"DirParent", "pdate"}},
              {"Period", "Disks", {"pdate"}},
              {"Period", "Periods", {"pdate"}, true},
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
