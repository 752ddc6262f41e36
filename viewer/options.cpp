// The Options dialog's settings, spin rules, directory levels and purge, without widgets.
#include "viewer/options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

#include "maintenance/purge.h"
#include "report/levels_example.h"
#include "store/schema.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

constexpr std::string_view kOptions = "Options";
constexpr std::string_view kArchiving = "Archiving";

// The whole number that is all of `text`; nullopt for anything else.
std::optional<int> WholeNumber(std::string_view text) {
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  return value;
}

// Undoes what the caller's transaction did; a rollback that fails as well leaves nothing more
// to do, and the first error is the one worth reporting.
void RollbackQuietly(db::Workspace& workspace) {
  try {
    workspace.Rollback();
  } catch (const db::DbError&) {
  }
}

}  // namespace

int ChoiceSetting(const Settings& settings, std::string_view section, std::string_view key,
                  int fallback, int count) {
  std::optional<int> value = WholeNumber(settings.Get(section, key, std::to_string(fallback)));
  return value && *value >= 0 && *value < count ? *value : fallback;
}

// ---- Tab "Defaults" -------------------------------------------------------------------------

ViewerDefaults LoadViewerDefaults(const Settings& settings) {
  ViewerDefaults defaults;
  defaults.compare_when = ChoiceSetting(settings, kOptions, "CompareWhen", 0,
                                        static_cast<int>(std::size(kCompareChoices)));
  defaults.list_sort_key =
      ChoiceSetting(settings, kOptions, "ListSortKey", 1, static_cast<int>(std::size(kSortFields)));
  defaults.list_sort_order =
      static_cast<SortOrder>(ChoiceSetting(settings, kOptions, "ListSortOrder", 1, 2));
  defaults.show_disk_at_startup = ChoiceSetting(settings, kOptions, "ShowDiskAtStartup", 0, 2);
  return defaults;
}

bool SaveViewerDefaults(Settings& settings, const ViewerDefaults& defaults) {
  const std::string compare = std::to_string(defaults.compare_when);
  const bool compare_changed = settings.Get(kOptions, "CompareWhen", "0") != compare;
  if (compare_changed) settings.Set(kOptions, "CompareWhen", compare);
  settings.Set(kOptions, "ListSortKey", std::to_string(defaults.list_sort_key));
  settings.Set(kOptions, "ListSortOrder",
               defaults.list_sort_order == SortOrder::kAscending ? "0" : "1");
  settings.Set(kOptions, "ShowDiskAtStartup", defaults.show_disk_at_startup ? "1" : "0");
  return compare_changed;
}

// ---- Tab "Purging" --------------------------------------------------------------------------

PurgeRules LoadPurgeRules(const Settings& settings) {
  PurgeRules rules;
  for (int i = 0; i < 3; ++i) {
    rules.periods[i] = settings.Get(kArchiving, "Period" + std::to_string(i), rules.periods[i]);
  }
  rules.first_day =
      ChoiceSetting(settings, kArchiving, "FirstDay", 0, static_cast<int>(std::size(kWeekdays)));
  return rules;
}

void SavePurgeRules(Settings& settings, const PurgeRules& rules) {
  for (int i = 0; i < 3; ++i) {
    settings.Set(kArchiving, "Period" + std::to_string(i), rules.periods[i]);
  }
  settings.Set(kArchiving, "FirstDay", std::to_string(rules.first_day));
}

int PeriodNumber(std::string_view text) {
  return WholeNumber(text.substr(0, text.find(' '))).value_or(0);
}

std::string SpinPeriod(std::string_view text, int step, std::string_view unit) {
  const int number = PeriodNumber(text);
  if (step > 0 ? number >= kMaxPeriod : number <= kMinPeriod) return std::string(text);
  const int spun = number + (step > 0 ? 1 : -1);
  const std::size_t space = text.find(' ');
  std::string word(space == std::string_view::npos ? unit : text.substr(space + 1));
  if (word.ends_with('s')) word.pop_back();
  if (spun != 1) word += 's';
  return std::to_string(spun) + " " + word;
}

PurgeParameters PurgeParametersOf(const PurgeRules& rules) {
  return {.dow = rules.first_day + 1,
          .weeks = PeriodNumber(rules.periods[0]),
          .months = PeriodNumber(rules.periods[1]),
          .days = PeriodNumber(rules.periods[2])};
}

void DeleteThem(db::Workspace& workspace, db::Database& database, std::string_view where) {
  workspace.BeginTrans();
  try {
    Purge(database, where);
    workspace.CommitTrans();
  } catch (...) {
    RollbackQuietly(workspace);
    throw;
  }
}

void DoItNow(db::Workspace& workspace, db::Database& database, const PurgeRules& rules,
             const Clock& clock, const Locale& locale, Settings& settings,
             const std::function<void(int percent)>& progress) {
  // A period of 0, or one reaching back so far that its two-digit year reads as a year to come,
  // would delete nearly everything; brontald refuses the same numbers.
  const PurgeParameters parameters = PurgeParametersOf(rules);
  CheckParameterRanges(parameters);

  progress(5);
  workspace.BeginTrans();
  try {
    DeleteThem(workspace, database, PurgeEverythingCondition(clock.Now(), parameters.days));
    progress(20);
    DeleteThem(workspace, database, PurgeWeeklyCondition(clock.Now(), parameters.months));
    progress(50);
    DeleteThem(workspace, database,
               PurgeDailyCondition(clock.Now(), parameters.weeks, parameters.dow));
    progress(95);
    workspace.CommitTrans();
  } catch (...) {
    RollbackQuietly(workspace);
    throw;
  }
  settings.Set(kArchiving, "LastDone", locale.GeneralDate(clock.Now()));
  progress(100);
}

// ---- Tab "Directory levels" -----------------------------------------------------------------

std::string DisplayLevel(int level) {
  return level == -1 ? std::string(kDefaultLevelText) : std::to_string(level);
}

int GetLevel(std::string_view shown, int default_depth) {
  if (shown == kDefaultLevelText) return default_depth;
  return WholeNumber(shown).value_or(0);
}

std::vector<LevelRow> ReadDirectoryLevels(db::Database& database) {
  std::vector<LevelRow> rows;
  auto todo = database.OpenRecordset("Todo", db::RecordsetType::kTable);
  for (; !todo->Eof(); todo->MoveNext()) {
    const std::string node = todo->Field("Nodename").TextOr();
    const std::string parent = todo->Field("DirParent").TextOr();
    const db::Value stored = todo->Field("Levels");
    const int level = stored.IsNull() ? -1 : static_cast<int>(stored.AsInt64());
    if (node == kDefaultNodeName && parent == kDefaultNodeName) {
      rows.push_back({"R\\" + std::string(kDefaultLevelText), std::string(kDefaultLevelText),
                      std::to_string(level)});
    } else if (parent == "R") {
      rows.push_back({"R\\" + node, node, DisplayLevel(level)});
    }
  }
  todo->Close();
  return rows;
}

int DefaultDepthOf(const std::vector<LevelRow>& rows, int fallback) {
  for (const LevelRow& row : rows) {
    if (row.IsDefaultRow()) return GetLevel(row.levels, fallback);
  }
  return fallback;
}

std::string SpinLevel(const LevelRow& row, int step, int default_depth) {
  const int level = GetLevel(row.levels, default_depth);
  if (step > 0 ? level >= kMaxLevel : level <= kMinLevel) return row.levels;
  const int spun = level + (step > 0 ? 1 : -1);
  if (!row.IsDefaultRow() && spun == default_depth) return std::string(kDefaultLevelText);
  return std::to_string(spun);
}

std::optional<std::string> LevelExample(std::string_view shown, int default_depth,
                                        const Settings& settings) {
  const int level = GetLevel(shown, default_depth);
  if (level < kMinLevel) return std::nullopt;
  return LevelsExample(std::min(level, kMaxLevel), settings);
}

std::vector<LevelRow> ChangedLevels(const std::vector<LevelRow>& read,
                                    const std::vector<LevelRow>& shown) {
  std::vector<LevelRow> changed;
  for (const LevelRow& row : shown) {
    auto before = std::find_if(read.begin(), read.end(),
                               [&](const LevelRow& candidate) { return candidate.key == row.key; });
    if (before == read.end() || before->levels != row.levels) changed.push_back(row);
  }
  return changed;
}

void SaveDirectoryLevels(db::Workspace& workspace, db::Database& database,
                         const std::vector<LevelRow>& rows) {
  workspace.BeginTrans();
  try {
    auto todo = database.OpenRecordset("Todo", db::RecordsetType::kTable);
    todo->SetIndex("Todo");
    for (const LevelRow& row : rows) {
      std::optional<int> levels =
          row.levels == kDefaultLevelText ? std::optional<int>(-1) : WholeNumber(row.levels);
      if (!levels) continue;
      if (row.IsDefaultRow()) {
        todo->Seek("=", {kDefaultNodeName, kDefaultNodeName});
      } else {
        todo->Seek("=", {row.computer, "R"});
      }
      if (todo->NoMatch()) continue;
      todo->Edit();
      todo->SetField("Levels", *levels);
      todo->Update();
    }
    todo->Close();
    workspace.CommitTrans();
  } catch (...) {
    RollbackQuietly(workspace);
    throw;
  }
}

// ---- Tab "Database" -------------------------------------------------------------------------

std::string DbSizeText(std::int64_t bytes) {
  return "Database size: " + std::string(" ") + std::to_string(bytes) + " bytes";
}

std::string DbSizeTextOf(FileSystem& files, const std::string& path) {
  if (path.empty()) return "";
  try {
    DirEntry entry = files.Stat(path);
    if (entry.attributes & kAttrDirectory || entry.size_error != 0) return "";
    return DbSizeText(entry.length);
  } catch (const FsError&) {
    return "";
  }
}

}  // namespace brontal
