// The retention rule as delete statements. The conditions overlap on purpose: each keeps the
// 1st of the month, and only the daily one keeps the weekday too, so their order is free.
#include "maintenance/purge.h"

#include "store/format.h"

namespace brontal {

std::string PurgeDateText(DateTime value) {
  // SqlDateText writes "/" whatever the locale's date separator, so the text needs no
  // replacing of separators.
  return SqlDateText(value, "m/d/yy hh:mm");
}

void Purge(db::Database& database, std::string_view condition, ProgramLog& log) {
  static constexpr std::string_view kTables[] = {"periods", "dirs", "parents", "disks"};
  for (std::string_view table : kTables) {
    const std::string statement =
        "delete * from " + std::string(table) + " " + std::string(condition);
    log.Line(statement);
    database.Execute(statement, table == "periods" ? db::kFailOnError : 0);
  }
}

void PurgeOldPeriods(db::Database& database, const PurgeParameters& parameters, const Clock& clock,
                     ProgramLog& log) {
  auto before = [&](int days_back) {
    return "where pdate < #" + PurgeDateText(clock.Now() - static_cast<double>(days_back)) + "#";
  };
  log.Line("Purging everything prior to " + std::to_string(parameters.days) + " days ago...");
  Purge(database, before(parameters.days), log);

  log.Line("Purging weekly (keep 1st of month) prior to " + std::to_string(parameters.months) +
           " months ago...");
  Purge(database, before(31 * parameters.months) + " and day(pdate)<>1", log);

  log.Line("Purging daily (keep day " + std::to_string(parameters.dow) + ") prior to " +
           std::to_string(parameters.weeks) + " weeks ago...");
  Purge(database,
        before(7 * parameters.weeks) + " and weekday(pdate,2)<>" + std::to_string(parameters.dow) +
            " and day(pdate)<>1",
        log);
}

}  // namespace brontal
