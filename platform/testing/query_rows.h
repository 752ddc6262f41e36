// The rows a query gives on a database file, as text, for tests that check what a program
// stored.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "platform/db/database.h"

namespace brontal::testing {

// The rows of `sql` (the system's dialect) on the database at path, opened shared for the
// query alone: each row its fields as text joined by "|" (Null as ""), the rows sorted.
inline std::vector<std::string> QueryRows(db::Engine& engine, const std::string& path,
                                          const std::string& sql) {
  auto database = engine.DefaultWorkspace().OpenDatabase(path);
  auto rs = database->OpenRecordset(sql, db::RecordsetType::kSnapshot);
  std::vector<std::string> rows;
  for (; !rs->Eof(); rs->MoveNext()) {
    std::string row;
    for (int i = 0; i < rs->FieldCount(); ++i) row += (i ? "|" : "") + rs->Field(i).TextOr();
    rows.push_back(row);
  }
  rs->Close();
  database->Close();
  std::sort(rows.begin(), rows.end());
  return rows;
}

}  // namespace brontal::testing
