// The monitor configuration dialog without its widgets: it points this node at the shared
// database through dbloc.txt, registers the node in Todo and sets its directory level. The form
// shows the texts held here and passes its events on.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/file_operations.h"
#include "platform/filesystem.h"
#include "platform/message_box.h"
#include "platform/open_file_dialog.h"
#include "platform/question_box.h"
#include "store/size_store.h"

namespace brontal {

// The window's caption before the computer name is added.
inline constexpr std::string_view kMonitorConfigCaption = "Brontal Monitor Configuration";

// What the dialog works with. The references must outlive it.
struct MonitorConfigServices {
  // The services of the SizeStore the level steps use; their program folder is the one that
  // holds dbloc.txt, and their message box also shows the dialog's messages.
  SizeStoreServices store;
  QuestionBox& questions;
  OpenFileDialog& open_file;
  // Gives the computer name and tells whether a database path names a file.
  FileSystem& file_system;
  // Replaces dbloc.txt.
  FileOperations& files;
};

// frmMonitorConfig's state and procedures. Every procedure traps its errors: those that end the
// dialog show their message box and set Ended().
class MonitorConfig {
 public:
  // The tabs of stab, by index.
  enum Tab { kDatabaseTab = 0, kLevelsTab = 1 };

  explicit MonitorConfig(MonitorConfigServices services);
  ~MonitorConfig();
  MonitorConfig(const MonitorConfig&) = delete;
  MonitorConfig& operator=(const MonitorConfig&) = delete;

  // Form load: reads dbloc.txt into the path box, adds the computer name to the caption and
  // test-opens the database. Without a database that opens, the levels tab is unavailable
  // (with "Specified database not found" when the file is missing). An error (dbloc.txt
  // unreadable, no computer name) shows " - " and its text and ends the dialog.
  void Start();

  // The Connect button: CheckDatabase. A path that is empty or names no file asks "No such
  // file!": OK puts the held path back into the box, Cancel ends the dialog. A path that opens
  // is saved to dbloc.txt and makes the levels tab available; one that does not open, or cannot
  // be saved, leaves dbloc.txt and the tab as they were, with the reason in the status. Returns
  // whether the path was connected.
  bool Connect();

  // The Browse button: the file dialog, then the chosen file into the path box and the held
  // path. A cancel or a failed dialog changes nothing; a name of no file says so in a message.
  void Browse();

  // The tab handler; `left` is the tab just left. Leaving the levels tab saves the level
  // (OKlevel). Leaving the database tab connects its path and, once connected, registers the
  // node in Todo and loads the default level and the node's level; an error there ends the
  // dialog. Returns false when the database tab must stay shown because its path was not
  // connected. Does nothing, returning true, when entered again while it runs.
  bool TabChanged(int left);

  // OKlevel: saves the level in the levels box when it differs from the one loaded, as -1 when
  // it equals the default so that the node follows the default from then on. An error (a level
  // that is no whole number of 16 bits included) shows "Error saving default level - " and its
  // text and ends the dialog.
  void SaveLevel();

  // The OK button: SaveLevel, then the dialog ends.
  void Ok();

  // The spin button (step +1 up, -1 down): the level in the box, or the loaded level when the
  // box holds no whole number, moves one step while it stays within 2 to 9; the status then
  // shows how deep a path that level records (nothing when it cannot be illustrated).
  void Spin(int step);

  // ---- What the form shows -------------------------------------------------------------------

  const std::string& Caption() const { return caption_; }
  // txtdatabase; the form writes what the user types into it.
  std::string database_text;
  // txtLevels; the form writes what the user types into it.
  std::string levels_text;
  // lblDefaultLevels.
  const std::string& DefaultLevelsLabel() const { return default_levels_label_; }
  const std::string& Status() const { return status_; }
  bool LevelsTabEnabled() const { return levels_tab_enabled_; }
  // Whether the dialog is to end now, and whether it ends on an error.
  bool Ended() const { return ended_; }
  bool Failed() const { return failed_; }

  // Hears every status text as it is set, so that the form repaints it at once during the
  // longer steps.
  std::function<void(const std::string& status)> on_status;

 private:
  // CheckDatabase2: opens the database at path in shared mode and closes it again.
  bool TestOpen(const std::string& path);
  // The level steps that follow a successful connect on leaving the database tab.
  void LoadLevels();
  bool FileExists(const std::string& path);
  void SetStatus(std::string text);
  // Shows the error being handled as prefix + its text and ends the dialog.
  void Fail(const std::string& prefix, MessageIcon icon);

  MonitorConfigServices services_;
  std::string caption_{kMonitorConfigCaption};
  std::string computer_name_;
  std::string held_path_;
  int default_level_ = 0;
  int this_level_ = 0;
  std::unique_ptr<SizeStore> store_;
  bool busy_ = false;
  std::string default_levels_label_ = "(default)";
  std::string status_;
  bool levels_tab_enabled_ = true;
  bool ended_ = false;
  bool failed_ = false;
};

}  // namespace brontal
