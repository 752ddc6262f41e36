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

std::string PurgeEverythingCondition(DateTime now, int days) {
  return "where pdate < #" + PurgeDateText(now - static_cast<double>(days)) + "#";
}

std::string PurgeWeeklyCondition(DateTime now, int months) {
  return PurgeEverythingCondition(now, 31 * months) + " and day(pdate)<>1";
}

std::string PurgeDailyCondition(DateTime now, int weeks, int dow) {
  return PurgeEverythingCondition(now, 7 * weeks) + " and weekday(pdate,2)<>" +
         std::to_string(dow) + " and day(pdate)<>1";
}

namespace {

// Runs the four deletes of a purge in their order, telling `before_each` each statement first.
template <typename BeforeEach>
void RunPurge(db::Database& database, std::string_view condition, BeforeEach before_each) {
  static constexpr std::string_view kTables[] = {"periods", "dirs", "parents", "disks"};
  for (std::string_view table : kTables) {
    const std::string statement =
        "delete * from " + std::string(table) + " " + std::string(condition);
    before_each(statement);
    database.Execute(statement, table == "periods" ? db::kFailOnError : 0);
  }
}

// Runs purge() in a transaction of workspace, rolled back when it throws.
template <typename F>
void Transacted(db::Workspace& workspace, F&& purge) {
  workspace.BeginTrans();
  try {
    purge();
    workspace.CommitTrans();
  } catch (...) {
    try {
      workspace.Rollback();
    } catch (const db::DbError&) {
      // Closing the database rolls it back all the same.
    }
    throw;
  }
}

}  // namespace

void Purge(db::Database& database, std::string_view condition, ProgramLog& log) {
  RunPurge(database, condition, [&log](const std::string& statement) { log.Line(statement); });
}

void Purge(db::Database& database, std::string_view condition) {
  RunPurge(database, condition, [](const std::string&) {});
}

void PurgeOldPeriods(db::Workspace& workspace, db::Database& database,
                     const PurgeParameters& parameters, const Clock& clock, ProgramLog& log) {
  log.Line("Purging everything prior to " + std::to_string(parameters.days) + " days ago...");
  Transacted(workspace,
             [&] { Purge(database, PurgeEverythingCondition(clock.Now(), parameters.days), log); });

  log.Line("Purging weekly (keep 1st of month) prior to " + std::to_string(parameters.months) +
           " months ago...");
  Transacted(workspace,
             [&] { Purge(database, PurgeWeeklyCondition(clock.Now(), parameters.months), log); });

  log.Line("Purging daily (keep day " + std::to_string(parameters.dow) + ") prior to " +
           std::to_string(parameters.weeks) + " weeks ago...");
  Transacted(workspace, [&] {
    Purge(database, PurgeDailyCondition(clock.Now(), parameters.weeks, parameters.dow), log);
  });
}

}  // namespace brontal
