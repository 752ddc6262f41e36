// The PostgreSQL spelling of the programs' SQL: what Translate needs to run their statements on
// a PostgreSQL database unchanged.
#pragma once

#include <string>

#include "platform/db/jetsql/translate.h"

namespace brontal::jetsql {

// The PostgreSQL dialect, valid for the life of the program. It assumes a UTF-8 database of
// locale C with standard_conforming_strings on, text columns of type citext (so that they
// compare without regard to ASCII case and a range on them can use their index), dates stored
// as 'YYYY-MM-DD HH:MM:SS' text, names created in lower case, and the function that
// PostgresSupportSql installs.
const Dialect& PostgresDialect();

// Statements, separated by ";", that install in a database what the dialect's SQL calls: run
// them once when the tables are made. Running them again changes nothing.
std::string PostgresSupportSql();

}  // namespace brontal::jetsql
