// The viewer's shared services: its one database connection, window placement, path keys as
// network paths handed to the shell, the list's copy text and the number cells read back.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/busy_pointer.h"
#include "platform/clipboard.h"
#include "platform/clock.h"
#include "platform/db/database.h"
#include "platform/file_operations.h"
#include "platform/locale.h"
#include "platform/message_box.h"
#include "platform/settings.h"
#include "platform/shell.h"

namespace brontal {

// The title of every message box of the viewer.
inline constexpr std::string_view kViewerTitle = "Brontal";
// This release, as the splash and the About box show it.
inline constexpr std::string_view kVersionText = "Version 1.3.910";

// A path key (r\node\c:\dir, any case) as a UNC path on the node's administrative share:
// r\node1\d:\users\x gives \\node1\d$\users\x, r\node1 gives \\node1, "r" gives "\", "" gives "".
// Only a drive that is one letter and ":" becomes its share; a drive that is a mount point
// keeps every ":" of its path (r\node1\/home\a:b gives \\node1\/home\a:b).
std::string KeyToUnc(std::string_view key);

// A list cell read back as a number: leading and trailing blanks and the locale's thousands
// separators are skipped, and a minus may stand in front or, as the change cells write it,
// behind ("1,234-"); empty text, and text that is no number, give 0.
double ToCurrency(std::string_view text, const Locale& locale);

// A list as the clipboard takes it: the captions joined by tabs, CR LF, then each row's text
// and its further cells without their blanks, joined by tabs, each line ending in CR LF. Empty
// when there are no columns or no rows. Each row holds one text per column.
std::string ListCopyText(const std::vector<std::string>& captions,
                         const std::vector<std::vector<std::string>>& rows);

// A window's placement as the settings hold it: twips, state 0 normal, 1 minimized, 2 maximized.
struct Placement {
  int state = 0;
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const Placement&, const Placement&) = default;
};
// The saved placement of `window` (the section), each value defaulting to current's.
Placement ReadPlacement(const Settings& settings, std::string_view window,
                        const Placement& current);
// A normal window saves position, size and state; a maximized one its state only, keeping the
// normal placement saved before; a minimized one nothing.
void SavePlacement(Settings& settings, std::string_view window, const Placement& placement);

// The web page and the mail address of Help and the About box: the suite's README.md beside the
// programs as a file:// address, and the machine's administrator, "mailto:root@localhost".
std::string WebPageAddress();
std::string MailAddress();

// What the viewer's services work with; all must outlive the Client.
struct ClientServices {
  db::Engine& engine;
  Settings& settings;
  const Clock& clock;
  const Locale& locale;
  MessageBox& message_box;
  BusyPointer& pointer;
  FileOperations& files;
  Shell& shell;
  Clipboard& clipboard;
  // Whether a path, as native_path gives it, names an existing file.
  std::function<bool(const std::string& path)> file_exists;
  // The path the database engine and the file operations understand for a path as the settings
  // and dbloc.txt write it (\\node\share\brontal.mdb); the path itself when empty.
  std::function<std::string(const std::string& path)> native_path = {};
};

// The viewer's general module: the database connection that every window shares from start-up
// to exit (the Options dialog may move it to another file), and the services that need it.
class Client {
 public:
  explicit Client(ClientServices services);
  ~Client();

  const ClientServices& services() const { return services_; }

  // How opening ended.
  enum class OpenOutcome { kOpened, kNoDatabase, kFailed };

  // Whether path, as the settings write it, names an existing file; false for "".
  bool FileExists(const std::string& path) const;

  // Opens the database named by Options/dbFilename, shared. When the name is empty or no file,
  // ask_for_database runs (the Options dialog in its database-only mode) and returns false when
  // the user chose to quit. A failing open runs the repair-and-compact routine once and tries
  // again; a second failure shows "Error: <description>.  Unable to open database, please try a
  // compact/repair". Anything but kOpened means the viewer ends.
  OpenOutcome OpenSizeDatabase(const std::function<bool()>& ask_for_database);
  // Closes the database; errors are ignored.
  void CloseSizeDatabase();
  // Closes the database, runs the repair-and-compact routine on it (reporting in message boxes
  // under the busy pointer) and opens that same file again, as the Options dialog's Compact
  // does; kNoDatabase when the file has gone.
  OpenOutcome CompactAndReopen();
  // Moves the viewer to the database at path, as OK in the Options dialog does when the path
  // changed: the file is opened (with one repair-and-compact and one more try, the second failure
  // shown as OpenSizeDatabase shows it) before the open one is closed, so that on kFailed, or
  // kNoDatabase for a path naming no file, the viewer keeps its database and Options/dbFilename
  // its value. On kOpened the setting names path and the periods are forgotten until
  // ReloadPeriodDates. A path equal to DbFilename of an open database changes nothing.
  OpenOutcome SwitchDatabase(const std::string& path);

  bool IsOpen() const { return database_ != nullptr; }
  // The open database; throws db::DbError kClosed unless IsOpen.
  db::Database& database();
  db::Workspace& workspace();
  // The database path as the settings write it; the file opened is its native_path.
  const std::string& DbFilename() const { return db_filename_; }
  void SetDbFilename(std::string path) { db_filename_ = std::move(path); }

  // The periods recorded in the database, newest first, cut to the minute (LoadPeriodDates);
  // reloaded at start-up, after a purge and after SwitchDatabase. Keeps what it had when the
  // database holds none. Throws db::DbError.
  void ReloadPeriodDates();
  const std::vector<DateTime>& PeriodDates() const { return period_dates_; }
  int PeriodCount() const { return period_count_; }

  // The shell actions on a path key; failures show nothing.
  void ExploreKey(std::string_view key);
  void OpenKey(std::string_view key);
  // The log file of a node's key (r\node): Todo's LogFile of the node on the node's
  // administrative share, shown in a text editor; nothing when the node has no row.
  void ViewLogFile(std::string_view key);
  // The UNC path ViewLogFile shows, nullopt when the node has no Todo row or no log file.
  std::optional<std::string> LogFileUnc(std::string_view key);
  void OpenWebPage();
  void OpenMailTo();

  // Puts text on the clipboard, emptying it first; empty text leaves it empty.
  void CopyText(const std::string& text);
  // Puts a picture (a chart) on the clipboard, emptying it first; an empty picture leaves it
  // empty.
  void CopyPicture(const Picture& picture);

 private:
  // Whether path names a file to open: not empty, and a file unless file_exists is unset.
  bool Usable(const std::string& path) const;
  // path as the engine and the file operations take it.
  std::string NativePath(const std::string& path) const;
  // Opens path (as the settings write it) shared into `opened`; a failing open runs the
  // repair-and-compact routine once and tries again, and a second failure is shown. kNoDatabase
  // when path names no file, before or after the repair.
  OpenOutcome OpenOrRepair(const std::string& path, std::unique_ptr<db::Database>& opened);

  ClientServices services_;
  std::string db_filename_;
  std::unique_ptr<db::Database> database_;
  std::vector<DateTime> period_dates_;
  int period_count_ = 0;
};

}  // namespace brontal
