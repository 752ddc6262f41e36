// The copying of a size database's rows into a new database, between a file and a database on
// a PostgreSQL server either way (or file to file), a period at a time so that memory stays
// bounded whatever the size of the source.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/db/database.h"

namespace brontal {

// The rows of one table in the source and in the copy.
struct TableRows {
  std::string table;
  std::int64_t source = 0;
  std::int64_t copied = 0;
};

// Receives the progress lines of a copy ("Dirs: 12 of 365 periods, 1,234,567 rows"), without
// a line end, at most a few a second, and the last line of each table always.
using CopyProgress = std::function<void(const std::string& line)>;

// Copies every row of every table of BrontalSchema from the database at `from`, opened shared
// through `from_engine`, into a new database at `to` made with BrontalSchema through
// `to_engine` and held exclusively while the copy runs. The tables with periods are copied a
// period at a time, each period in a transaction of its own; every period found in a table is
// copied, whether Periods lists it or not. Periods receives each period once, where a file of
// the older kind may hold one more than once. Two engines, so that the transactions of the
// copy take no write lock on the source.
//
// Returns the rows of each table in the source (for Periods: its distinct periods) and in the
// copy, counted once the copy is done, which agree.
//
// Throws DbError: the source's errors when it cannot be opened or read (kFileNotFound for a
// missing file), before anything is made at `to`; kDatabaseExists when something exists at
// `to`, or a PostgreSQL database there holds tables already, which is left untouched; any
// failure while copying, and kGeneral when the counts do not agree at the end. After a failure
// once the new database was made, it is removed again (the file deleted, the tables dropped in
// one transaction); when that fails too, the error says where the partial copy lies.
std::vector<TableRows> CopyDatabase(db::Engine& from_engine, const std::string& from,
                                    db::Engine& to_engine, const std::string& to,
                                    const CopyProgress& progress);

}  // namespace brontal
