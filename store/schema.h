// The tables of the size database, its indexes, and the making of a new, empty database file.
#pragma once

#include <string>
#include <string_view>

#include "platform/db/database.h"

namespace brontal {

// The Nodename and DirParent of the Todo row that holds the default depth.
inline constexpr std::string_view kDefaultNodeName = "<defaultnodename>";
// The default depth of a new database.
inline constexpr int kInitialDefaultLevel = 3;

// Periods, Parents, Dirs, Disks and Todo with their indexes; the index "Todo" over
// (Nodename, DirParent) and the index of Periods over pdate are unique. Files made before the
// latter was unique may hold a period more than once; every reader selects distinct periods.
const db::Schema& BrontalSchema();

// Creates an empty database at path holding the tables of `schema` (BrontalSchema, or an older
// variant of it), their indexes and the default Todo row with the given level. Throws DbError
// kDatabaseExists when anything exists at path, and leaves no file behind on any other failure.
void CreateBrontalDatabase(db::Engine& engine, const std::string& path, int default_level,
                           const db::Schema& schema = BrontalSchema());

// BrontalSchema as files were made before a period was stored once only: Periods may hold a
// period more than once.
db::Schema RepeatedPeriodsSchema();

}  // namespace brontal
