// The viewer's shared services: the one database connection with its repair-on-failure, window
// placement in the settings, path keys handed to the shell, and the list's text for the clipboard.
#include "viewer/client.h"

#include <charconv>
#include <exception>
#include <utility>

#include "maintenance/repair_compact.h"
#include "platform/program_folder.h"
#include "store/text.h"
#include "viewer/periods.h"

namespace brontal {
namespace {

// `value` ready to stand between '...' in a statement: each ' doubled, so that a node name
// holding a quote still names its own row.
std::string SingleQuotedText(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

// A whole number with blanks around it; nullopt for anything else.
std::optional<int> WholeNumber(std::string_view text) {
  text = Trim(text);
  int value = 0;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::string KeyToUnc(std::string_view key) {
  if (key.empty()) return {};
  // r\node\... becomes \\node\...; the node's drive c: becomes its administrative share c$.
  std::string unc = "\\" + std::string(key.substr(1));
  // The drive is the component after the node. A Linux drive is a mount point, and a ":" there
  // or further on belongs to a directory's name.
  const std::size_t node = unc.find('\\', 2);
  if (node == std::string::npos) return unc;
  const std::size_t drive = node + 1;
  auto ascii_letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const bool drive_letter = unc.size() >= drive + 2 && ascii_letter(unc[drive]) &&
                            unc[drive + 1] == ':' &&
                            (unc.size() == drive + 2 || unc[drive + 2] == '\\');
  if (drive_letter) unc[drive + 1] = '$';
  return unc;
}

double ToCurrency(std::string_view text, const Locale& locale) {
  text = Trim(text);
  if (text.empty()) return 0;
  bool negative = false;
  if (text.front() == '-' || text.front() == '+') {
    negative = text.front() == '-';
    text.remove_prefix(1);
  } else if (text.back() == '-') {
    // The change cells write a loss with its minus behind the number.
    negative = true;
    text.remove_suffix(1);
  }
  const std::string separator = locale.ThousandsSeparator();
  // The locale has no decimal separator of its own: the one that is not the thousands one.
  const char decimal = separator == "." ? ',' : '.';
  std::string number;
  bool digits = false;
  bool fraction = false;
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      digits = true;
      ++i;
    } else if (c == decimal && !fraction) {
      number += '.';
      fraction = true;
      ++i;
    } else if (!fraction && !separator.empty() && text.substr(i).starts_with(separator)) {
      i += separator.size();
    } else {
      return 0;
    }
  }
  if (!digits) return 0;
  double value = 0;
  auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
  if (error != std::errc() || end != number.data() + number.size()) return 0;
  return negative ? -value : value;
}

std::string ListCopyText(const std::vector<std::string>& captions,
                         const std::vector<std::vector<std::string>>& rows) {
  if (captions.empty() || rows.empty()) return {};
  std::string text;
  for (std::size_t i = 0; i < captions.size(); ++i) text += (i ? "\t" : "") + captions[i];
  text += "\r\n";
  for (const std::vector<std::string>& row : rows) {
    // The row's own text as it stands; the number cells without the blanks that justify them.
    if (!row.empty()) text += row[0];
    for (std::size_t column = 1; column < captions.size(); ++column) {
      text += '\t';
      if (column < row.size()) text += Trim(row[column]);
    }
    text += "\r\n";
  }
  return text;
}

Placement ReadPlacement(const Settings& settings, std::string_view window,
                        const Placement& current) {
  auto read = [&](std::string_view key, int fallback) {
    return WholeNumber(settings.Get(window, key, std::to_string(fallback))).value_or(fallback);
  };
  Placement placement;
  placement.state = read("WindowState", current.state);
  placement.left = read("WindowLeft", current.left);
  placement.width = read("WindowWidth", current.width);
  placement.top = read("WindowTop", current.top);
  placement.height = read("WindowHeight", current.height);
  return placement;
}

void SavePlacement(Settings& settings, std::string_view window, const Placement& placement) {
  if (placement.state == 0) {
    settings.Set(window, "WindowLeft", std::to_string(placement.left));
    settings.Set(window, "WindowWidth", std::to_string(placement.width));
    settings.Set(window, "WindowTop", std::to_string(placement.top));
    settings.Set(window, "WindowHeight", std::to_string(placement.height));
  }
  // A maximized window keeps the normal placement saved before, for when it is restored.
  if (placement.state == 0 || placement.state == 2) {
    settings.Set(window, "WindowState", std::to_string(placement.state));
  }
}

std::string WebPageAddress() {
  // The suite's own documentation, installed beside the programs.
  try {
    return "file://" + ProgramFolder() + "/README.md";
  } catch (const std::exception&) {
    return "file:///usr/share/doc/brontal/README.md";
  }
}

// The machine's administrator, who runs the suite for its users.
std::string MailAddress() { return "mailto:root@localhost"; }

Client::Client(ClientServices services) : services_(std::move(services)) {}

Client::~Client() {
  if (database_) {
    try {
      database_->Close();
    } catch (const std::exception&) {
      // Closing at exit changes nothing that could be reported.
    }
  }
}

bool Client::FileExists(const std::string& path) const {
  // A database on a server is there to be opened; the open says when it is not.
  if (db::IsServerLocation(path)) return true;
  return !path.empty() && services_.file_exists && services_.file_exists(NativePath(path));
}

std::string Client::NativePath(const std::string& path) const {
  return services_.native_path ? services_.native_path(path) : path;
}

bool Client::Usable(const std::string& path) const {
  return !path.empty() && (!services_.file_exists || FileExists(path));
}

Client::OpenOutcome Client::OpenOrRepair(const std::string& path,
                                         std::unique_ptr<db::Database>& opened) {
  for (bool repaired = false;; repaired = true) {
    // A repair whose swap failed may leave no file under the name.
    if (!Usable(path)) return OpenOutcome::kNoDatabase;
    // The file checked is the file opened: a \\node\share path that passes the check must not
    // then be handed to the engine as it is written.
    const std::string native = NativePath(path);
    std::string description;
    try {
      opened = workspace().OpenDatabase(native);
      return OpenOutcome::kOpened;
    } catch (const std::exception& error) {
      description = error.what();
    }
    if (repaired) {
      services_.message_box.Show(
          "Error: " + description + ".  Unable to open database, please try a compact/repair",
          kViewerTitle);
      return OpenOutcome::kFailed;
    }
    MessageBoxRepairReporter reporter(services_.message_box, services_.pointer);
    RepairAndCompact(native, workspace(), services_.files, reporter);
  }
}

Client::OpenOutcome Client::OpenSizeDatabase(const std::function<bool()>& ask_for_database) {
  if (database_) CloseSizeDatabase();
  for (;;) {
    db_filename_ = services_.settings.Get("Options", "dbFilename", "");
    if (!Usable(db_filename_)) {
      // The dialog sets the viewer's path and saves it; either is taken.
      const std::string before = db_filename_;
      if (!ask_for_database || !ask_for_database()) return OpenOutcome::kNoDatabase;
      if (db_filename_ == before) {
        db_filename_ = services_.settings.Get("Options", "dbFilename", "");
      }
      if (!Usable(db_filename_)) return OpenOutcome::kNoDatabase;
    }
    const OpenOutcome outcome = OpenOrRepair(db_filename_, database_);
    // A file that the repair took away is asked for again.
    if (outcome != OpenOutcome::kNoDatabase) return outcome;
  }
}

void Client::CloseSizeDatabase() {
  std::unique_ptr<db::Database> database = std::move(database_);
  try {
    if (database) database->Close();
    workspace().Close();
  } catch (const std::exception&) {
    // Nothing is left to do with a connection that fails to close.
  }
}

Client::OpenOutcome Client::CompactAndReopen() {
  if (db_filename_.empty()) return OpenOutcome::kNoDatabase;
  CloseSizeDatabase();
  MessageBoxRepairReporter reporter(services_.message_box, services_.pointer);
  RepairAndCompact(NativePath(db_filename_), workspace(), services_.files, reporter);
  // The file just compacted, whatever the settings say meanwhile: the windows show its rows.
  return OpenOrRepair(db_filename_, database_);
}

Client::OpenOutcome Client::SwitchDatabase(const std::string& path) {
  if (database_ && path == db_filename_) return OpenOutcome::kOpened;
  // The new file is opened before the old one is closed, so that a file that cannot be opened
  // leaves the viewer with the database it shows rather than with none.
  std::unique_ptr<db::Database> opened;
  const OpenOutcome outcome = OpenOrRepair(path, opened);
  if (outcome != OpenOutcome::kOpened) return outcome;
  if (std::unique_ptr<db::Database> old = std::exchange(database_, std::move(opened))) {
    try {
      old->Close();
    } catch (const std::exception&) {
      // The old file is left either way; nothing it could report matters any more.
    }
  }
  db_filename_ = path;
  services_.settings.Set("Options", "dbFilename", path);
  // The periods of the old file are no periods of this one, even when this one has none.
  period_dates_.clear();
  period_count_ = 0;
  return OpenOutcome::kOpened;
}

db::Database& Client::database() {
  if (!database_) throw db::DbError(db::kClosed, "The size database is not open.");
  return *database_;
}

db::Workspace& Client::workspace() { return services_.engine.DefaultWorkspace(); }

void Client::ReloadPeriodDates() {
  std::vector<DateTime> dates = LoadPeriodDates(database());
  period_count_ = static_cast<int>(dates.size());
  if (!dates.empty()) period_dates_ = std::move(dates);
}

void Client::ExploreKey(std::string_view key) { services_.shell.Explore(KeyToUnc(key)); }

void Client::OpenKey(std::string_view key) { services_.shell.Open(KeyToUnc(key)); }

void Client::ViewLogFile(std::string_view key) {
  if (std::optional<std::string> unc = LogFileUnc(key)) services_.shell.Edit(*unc);
}

std::optional<std::string> Client::LogFileUnc(std::string_view key) {
  if (key.size() < 2 || !database_) return std::nullopt;
  const std::string node(key.substr(2));
  try {
    auto todo = database_->OpenRecordset(
        "select LogFile from Todo  where nodename='" + SingleQuotedText(node) + "'",
        db::RecordsetType::kSnapshot);
    std::string log_file;
    if (!todo->Eof()) log_file = todo->Field("LogFile").TextOr();
    todo->Close();
    if (log_file.empty()) return std::nullopt;
    // The log's drive letter is local to the node: its administrative share reaches it.
    return KeyToUnc(std::string(key) + "\\" + log_file);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

void Client::OpenWebPage() { services_.shell.OpenUrl(WebPageAddress()); }

void Client::OpenMailTo() { services_.shell.OpenUrl(MailAddress()); }

void Client::CopyText(const std::string& text) {
  services_.clipboard.Clear();
  if (!text.empty()) services_.clipboard.SetText(text);
}

void Client::CopyPicture(const Picture& picture) {
  services_.clipboard.Clear();
  if (picture.width > 0 && picture.height > 0) services_.clipboard.SetPicture(picture);
}

}  // namespace brontal
