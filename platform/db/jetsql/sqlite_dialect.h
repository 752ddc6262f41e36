// The SQLite spelling of the programs' SQL: what Translate needs to run their statements on the
// SQLite engine unchanged.
#pragma once

#include <sqlite3.h>

#include "platform/db/jetsql/translate.h"

namespace brontal::jetsql {

// The SQLite dialect, valid for the life of the program. It assumes the text columns are
// COLLATE NOCASE and dates are stored as 'YYYY-MM-DD HH:MM:SS' text, and uses SQLite's
// built-in functions and the collation below.
const Dialect& SqliteDialect();

// The collation joined text sorts by: ASCII letters without regard to case, as the columns
// compare, and the path separator "\" before every other character, so that in an order by
// DirParent & "\" & Dir a directory's whole subtree follows it directly (users2 after
// Users\alice, not between Users and its children).
inline constexpr char kPathCollation[] = "PATHTEXT";

// Installs the collation on a connection; every connection that runs translated SQL needs
// it. Returns SQLite's result code.
int InstallSqliteCollations(sqlite3* handle);

}  // namespace brontal::jetsql
