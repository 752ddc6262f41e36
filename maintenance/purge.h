// The purge of old periods: everything beyond the maximum age, then all but the 1st of the
// month beyond the weekly span, then all but the kept weekday and the 1st beyond the daily span.
#pragma once

#include <string>
#include <string_view>

#include "maintenance/parameters.h"
#include "platform/clock.h"
#include "platform/db/database.h"
#include "store/program_log.h"

namespace brontal {

// A cut-off as the purge conditions write it between "#" marks: "m/d/yy hh:mm" with "/"
// whatever the locale, so that 7 Dec 2026 02:10:59 gives "12/7/26 02:10".
std::string PurgeDateText(DateTime value);

// The conditions of the three purges, each cut-off counted back from `now` with its time of
// day: "where pdate < #<now - days>#"; the same with " and day(pdate)<>1" for now - 31 x months
// days; and the same with " and weekday(pdate,2)<>" + dow + " and day(pdate)<>1" for now -
// 7 x weeks days. Counts that reach back further than kMaxDaysBack give dates that the engine
// reads in the wrong century: callers check them first (CheckParameterRanges).
std::string PurgeEverythingCondition(DateTime now, int days);
std::string PurgeWeeklyCondition(DateTime now, int months);
std::string PurgeDailyCondition(DateTime now, int weeks, int dow);

// Deletes the rows of every table that match `condition` (SQL text starting with "where"):
// Periods first, with any failure an error, then Dirs, Parents and Disks; each statement is
// logged before it runs. Throws db::DbError from the first statement that fails.
void Purge(db::Database& database, std::string_view condition, ProgramLog& log);
// The same statements without a log, as the viewer's Options dialog runs them.
void Purge(db::Database& database, std::string_view condition);

// The three purges of the retention rule on an open database, each after its log line; the
// cut-offs are counted back from the clock's time at each purge, time of day included. Each
// purge is one transaction of `workspace`, the one that opened `database`, so that a purge cut
// short (an error, the program killed) leaves every period whole. Throws db::DbError as Purge
// does, with the failing purge rolled back.
void PurgeOldPeriods(db::Workspace& workspace, db::Database& database,
                     const PurgeParameters& parameters, const Clock& clock, ProgramLog& log);

}  // namespace brontal
