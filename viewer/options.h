// The Options dialog without its widgets: the settings it edits with their defaults, the rules
// of its spin buttons, the directory levels of the Todo table, and the purge of "Do it now".
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "maintenance/parameters.h"
#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/filesystem.h"
#include "platform/locale.h"
#include "platform/settings.h"
#include "viewer/tree_list.h"

namespace brontal {

// A setting that holds a choice of 0 to count - 1: its value when it is such a whole number,
// `fallback` when it is missing or anything else.
int ChoiceSetting(const Settings& settings, std::string_view section, std::string_view key,
                  int fallback, int count);

// ---- Tab "Defaults" -------------------------------------------------------------------------

// The items of cmbSorting, by the codes of Options/ListSortKey.
inline constexpr std::string_view kSortFields[] = {"Name", "Change", "Size (P1)", "Size (P2)"};

// Section "Options" as the Defaults tab shows it.
struct ViewerDefaults {
  int compare_when = 0;   // index into kCompareChoices
  int list_sort_key = 1;  // index into kSortFields
  SortOrder list_sort_order = SortOrder::kDescending;
  bool show_disk_at_startup = false;
  friend bool operator==(const ViewerDefaults&, const ViewerDefaults&) = default;
};

// The saved values; a value that is missing, no whole number or outside its choices gives the
// default, so that every control can show it.
ViewerDefaults LoadViewerDefaults(const Settings& settings);

// Saves CompareWhen only when its text differs from the saved one (missing counts as "0"), and
// ListSortKey, ListSortOrder and ShowDiskAtStartup always. Returns whether CompareWhen changed,
// so that the main window chooses its comparison period again.
bool SaveViewerDefaults(Settings& settings, const ViewerDefaults& defaults);

// ---- Tab "Purging" --------------------------------------------------------------------------

// The weekdays of cmbFirstDay, by the codes of Archiving/FirstDay.
inline constexpr std::string_view kWeekdays[] = {"Monday", "Tuesday",  "Wednesday", "Thursday",
                                                 "Friday", "Saturday", "Sunday"};
// The unit words of period(0) to period(2), for a period text that has none.
inline constexpr std::string_view kPeriodUnits[] = {"weeks", "months", "days"};
// The range of the periods' spin buttons.
inline constexpr int kMinPeriod = 2;
inline constexpr int kMaxPeriod = 4000;

// Section "Archiving": each period a number, a space and its unit word.
struct PurgeRules {
  // period(0): daily data kept for; period(1): weekly data kept for; period(2): nothing older.
  std::array<std::string, 3> periods = {"6 weeks", "12 months", "730 days"};
  int first_day = 0;  // the weekday kept, 0 Monday to 6 Sunday
  friend bool operator==(const PurgeRules&, const PurgeRules&) = default;
};

// The saved values; periods as they stand, FirstDay by its default when it is no weekday code.
PurgeRules LoadPurgeRules(const Settings& settings);
// Writes Period0, Period1, Period2 and FirstDay.
void SavePurgeRules(Settings& settings, const PurgeRules& rules);

// The number before the first space of a period text: "6 weeks" gives 6; 0 when that part is no
// whole number (or beyond 32 bits).
int PeriodNumber(std::string_view text);

// A period text after a press of its spin button (step +1 up, -1 down): up adds 1 while the
// number is below kMaxPeriod, down subtracts 1 while it is above kMinPeriod, and otherwise the
// text stays as it is. The unit word after the first space stays, without its "s" for 1 and
// with it otherwise; a text without one takes `unit`. "1 week" up gives "2 weeks", "0 weeks" up
// "1 week", "2 weeks" down stays.
std::string SpinPeriod(std::string_view text, int step, std::string_view unit);

// The brontald parameters of the rules: dow FirstDay + 1, weeks, months and days from
// period(0), period(1) and period(2).
PurgeParameters PurgeParametersOf(const PurgeRules& rules);

// DeleteThem: the four deletes of a purge (Periods, Dirs, Parents, Disks) for `where`, inside a
// transaction of their own, nested in any open one. On a failure that transaction is rolled
// back and the error (db::DbError) is thrown on.
void DeleteThem(db::Workspace& workspace, db::Database& database, std::string_view where);

// Do it now: checks the rules as brontald checks its parameters (RunError kInvalidArgument for
// a number below 1 or a reach beyond kMaxDaysBack days, before anything is touched), then in one
// transaction deletes everything older than period(2) days, all but the 1st of the month older
// than period(1) x 31 days, and all but the 1st and the kept weekday older than period(0) x 7
// days, each cut-off counted back from the clock at its step. `progress` hears 5 before and 20,
// 50, 95 after each step, and 100 once Archiving/LastDone holds the time of the purge in the
// locale's general date. Any failure rolls back every transaction it opened, so that no row is
// deleted, leaves LastDone alone and throws the error on.
void DoItNow(db::Workspace& workspace, db::Database& database, const PurgeRules& rules,
             const Clock& clock, const Locale& locale, Settings& settings,
             const std::function<void(int percent)>& progress);

// ---- Tab "Directory levels" -----------------------------------------------------------------

// What the levels list shows for the default row and for a node that uses the default depth.
inline constexpr std::string_view kDefaultLevelText = "<Default>";
// The range of spnDl.
inline constexpr int kMinLevel = 2;
inline constexpr int kMaxLevel = 9;

// A stored level as the list shows it: "<Default>" for -1, otherwise the number.
std::string DisplayLevel(int level);
// A shown level as a number: default_depth for "<Default>", otherwise the number; 0 for text
// that is neither.
int GetLevel(std::string_view shown, int default_depth);

// One row of lvDl.
struct LevelRow {
  std::string key;       // "R\" + node name; "R\<Default>" for the default row
  std::string computer;  // the node name; "<Default>" for the default row
  std::string levels;    // the shown level; the default row always shows its number
  bool IsDefaultRow() const { return computer == kDefaultLevelText; }
  friend bool operator==(const LevelRow&, const LevelRow&) = default;
};

// The rows of the Todo table in table order: the default row and one row per node ("R" as
// parent); rows of any other shape are no depth settings and are left out. A missing level
// counts as -1.
std::vector<LevelRow> ReadDirectoryLevels(db::Database& database);

// The default depth as the list's "<Default>" row shows it now; `fallback` without such a row.
int DefaultDepthOf(const std::vector<LevelRow>& rows, int fallback);

// The shown level of `row` after a press of spnDl (step +1 up, -1 down): up while the level is
// below kMaxLevel, down while above kMinLevel, otherwise unchanged. On a node row a new level
// equal to default_depth shows "<Default>".
std::string SpinLevel(const LevelRow& row, int step, int default_depth);

// lblExample for a shown level: LevelsExample of the level capped at kMaxLevel, nullopt below
// kMinLevel. Throws std::invalid_argument when the sample path of the settings is too short.
std::optional<std::string> LevelExample(std::string_view shown, int default_depth,
                                        const Settings& settings);

// The rows of `shown` whose level differs from that of the row with the same key in `read`, in
// the order of `shown`; a row that `read` lacks counts as changed. Only these are written back,
// so that a level set meanwhile by another program on a row the user left alone stays.
std::vector<LevelRow> ChangedLevels(const std::vector<LevelRow>& read,
                                    const std::vector<LevelRow>& shown);

// SaveDirectoryLevels: in one transaction, each row's Todo record, found through the index
// "Todo" by (node name, "R") or by ("<defaultnodename>", "<defaultnodename>"), gets Levels -1
// for "<Default>" and the shown number otherwise. A row whose record has gone meanwhile, or
// whose text is no number, is left out. Any failure rolls the transaction back, so that no
// level is half saved, and throws the error (db::DbError) on.
void SaveDirectoryLevels(db::Workspace& workspace, db::Database& database,
                         const std::vector<LevelRow>& rows);

// ---- Tab "Database" -------------------------------------------------------------------------

// lblDBsize for a file of `bytes`: "Database size:  12345 bytes".
std::string DbSizeText(std::int64_t bytes);
// UpdateDBSize's text for the file at path: DbSizeText of its length, or empty when it cannot be
// measured (missing, a folder, unreadable).
std::string DbSizeTextOf(FileSystem& files, const std::string& path);

}  // namespace brontal
