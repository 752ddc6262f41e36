// The tables of the size database, its indexes, and the making of a new, empty database file.
#pragma once

#include <string>
#include <string_view>

#include "platform/database.h"

namespace brontal {

// The Nodename and DirParent of the Todo row that holds the default depth.
inline constexpr std::string_view kDefaultNodeName = "<defaultnodename>";
// The default depth of a new database.
inline constexpr int kInitialDefaultLevel = 3;

// Periods, Parents, Dirs, Disks and Todo with their indexes; the index "Todo" over
// (Nodename, DirParent) is unique.
const db::Schema& BrontalSchema();

// Creates an empty database at path holding the tables, their indexes and the default Todo row
// with the given level. Throws DbError kDatabaseExists when anything exists at path, and leaves
// no file behind on any other failure.
void CreateBrontalDatabase(db::Engine& engine, const std::string& path, int default_level);

}  // namespace brontal
