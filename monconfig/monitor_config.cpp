// The monitor configuration dialog's procedures over SizeStore and dbloc.txt, without widgets.
#include "monconfig/monitor_config.h"

#include <charconv>
#include <cstdint>
#include <exception>
#include <limits>
#include <optional>
#include <utility>

#include "monconfig/dbloc_file.h"
#include "platform/linux_filesystem.h"
#include "store/dbloc.h"
#include "store/run_error.h"
#include "store/text.h"
#include "viewer/options.h"

namespace brontal {
namespace {

constexpr std::string_view kMessageTitle = "Brontal";
constexpr std::string_view kOpenedText = "Database opened successfully";

// A level typed into the box: a whole number with blanks around it and an optional sign, in
// the 16 bits the level is kept in. Throws RunError 13 (type mismatch) for any other text and
// 6 (overflow) beyond the 16 bits.
int LevelOf(std::string_view text) {
  text = Trim(text);
  if (text.starts_with('+') && !text.starts_with("+-")) text.remove_prefix(1);
  int value = 0;
  const char* end = text.data() + text.size();
  auto [stop, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || stop != end ||
      (error != std::errc() && error != std::errc::result_out_of_range)) {
    throw RunError(13, "Type mismatch");
  }
  if (error != std::errc() || value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw RunError(6, "Overflow");
  }
  return value;
}

}  // namespace

MonitorConfig::MonitorConfig(MonitorConfigServices services) : services_(std::move(services)) {}

MonitorConfig::~MonitorConfig() = default;

void MonitorConfig::Start() {
  try {
    held_path_ = ReadDbLoc(services_.store.program_folder);
    computer_name_ = services_.file_system.ComputerName();
    caption_ += " " + computer_name_;
    database_text = held_path_;
    const bool found = !held_path_.empty() && FileExists(held_path_);
    if (found && TestOpen(held_path_)) return;
    if (!found) SetStatus("Specified database not found");
    levels_tab_enabled_ = false;
  } catch (...) {
    Fail(" - ", MessageIcon::kCritical);
  }
}

bool MonitorConfig::Connect() {
  try {
    if (database_text.empty() || !FileExists(database_text)) {
      if (services_.questions.OkCancel(
              "Specified database filename is not accessible.  OK to try again, Cancel to quit.",
              "No such file!", MessageIcon::kCritical)) {
        database_text = held_path_;
      } else {
        ended_ = true;
      }
      return false;
    }
    const std::string path = database_text;
    if (!TestOpen(path)) return false;
    try {
      SaveDBLoc(services_.files, services_.store.program_folder, path);
    } catch (...) {
      SetStatus("Can't save dbloc.txt: " + DescribeError(std::current_exception()).second);
      return false;
    }
    held_path_ = path;
    // The store reads dbloc.txt once, when it is made: after a connect to another database the
    // level steps need a store that works on that one.
    if (store_ && store_->dbloc() != held_path_) store_.reset();
    levels_tab_enabled_ = true;
    SetStatus(std::string(kOpenedText));
    return true;
  } catch (...) {
    Fail(" - ", MessageIcon::kCritical);
    return false;
  }
}

void MonitorConfig::Browse() {
  std::optional<std::string> chosen;
  try {
    chosen = services_.open_file.Ask(
        {.title = "Open Brontal Database",
         .filter = "Access databases(*.mdb)|*.mdb",
         .initial_name = database_text.empty() ? "brontal.mdb" : database_text,
         .default_extension = ".mdb"});
    if (!chosen) return;
    if (!FileExists(*chosen)) {
      services_.store.message_box.Show("Specified database file does not exist", kMessageTitle);
      return;
    }
  } catch (const std::exception&) {
    return;  // a dialog that fails counts as cancelled
  }
  database_text = *chosen;
  held_path_ = *chosen;
}

bool MonitorConfig::TabChanged(int left) {
  if (busy_ || ended_) return true;
  busy_ = true;
  bool connected = true;
  if (left == kLevelsTab) {
    SaveLevel();
  } else if (left == kDatabaseTab) {
    // Loading the levels of a path that did not connect would show the levels of the database
    // dbloc.txt still names under a path that failed, and report "Connection OK".
    connected = Connect();
    if (connected) LoadLevels();
  }
  busy_ = false;
  return connected;
}

void MonitorConfig::LoadLevels() {
  std::string context;
  try {
    SetStatus("Configuring database for this computer...");
    context = "Error configuring database for this computer...";
    if (!store_) store_ = std::make_unique<SizeStore>(services_.store);
    store_->nodename = computer_name_;

    SetStatus("Getting default directory level");
    context = "Error getting default directory level";
    default_level_ = store_->DefaultDefaultLevel();
    default_levels_label_ = "(Default " + std::to_string(default_level_) + ")";

    SetStatus("Getting directory level for this computer");
    context = "Error getting directory level for this computer";
    this_level_ = store_->DefaultLevel();
    levels_text = std::to_string(this_level_);

    SetStatus("Connection OK");
  } catch (...) {
    Fail(context + " - ", MessageIcon::kCritical);
  }
}

void MonitorConfig::SaveLevel() {
  try {
    SetStatus("Saving new level...");
    const int level = LevelOf(levels_text);
    // Without a store no level was loaded, so there is nothing the box could have changed.
    if (store_ && level != this_level_) {
      store_->SetDefaultLevel(level == default_level_ ? -1 : level);
      this_level_ = level;
    }
    SetStatus("Level setting saved");
  } catch (...) {
    Fail("Error saving default level - ", MessageIcon::kNone);
  }
}

void MonitorConfig::Ok() {
  SaveLevel();
  ended_ = true;
}

void MonitorConfig::Spin(int step) {
  int level = this_level_;
  try {
    level = LevelOf(levels_text);
  } catch (const RunError&) {
    // Typing is not limited; the buttons step on from the level loaded.
  }
  if (step > 0 ? level < kMaxLevel : level > kMinLevel) level += step > 0 ? 1 : -1;
  levels_text = std::to_string(level);
  std::optional<std::string> example;
  try {
    example = LevelExample(levels_text, default_level_, services_.store.settings);
  } catch (const std::invalid_argument&) {
    // A sample path too short for this level has nothing to show.
  }
  SetStatus(example.value_or(""));
}

bool MonitorConfig::TestOpen(const std::string& path) {
  try {
    // As for FileExists, a \\node\share path names the file where the share is mounted.
    services_.store.engine.DefaultWorkspace()
        .OpenDatabase(NativePathOf(path, services_.store.unc_root), false)
        ->Close();
  } catch (...) {
    SetStatus("Can't open database: " + DescribeError(std::current_exception()).second);
    return false;
  }
  SetStatus(std::string(kOpenedText));
  return true;
}

bool MonitorConfig::FileExists(const std::string& path) {
  // A database on a server is there to be opened; the test open says when it is not.
  if (db::IsServerLocation(path)) return true;
  try {
    return !(services_.file_system.Stat(path).attributes & kAttrDirectory);
  } catch (const FsError&) {
    return false;
  }
}

void MonitorConfig::SetStatus(std::string text) {
  status_ = std::move(text);
  if (on_status) on_status(status_);
}

void MonitorConfig::Fail(const std::string& prefix, MessageIcon icon) {
  const std::string text = prefix + DescribeError(std::current_exception()).second;
  services_.store.message_box.Show(text, kMessageTitle, icon);
  ended_ = true;
  failed_ = true;
}

}  // namespace brontal
