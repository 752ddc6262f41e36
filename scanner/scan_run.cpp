// The scanner's main procedure. Its three error handlers differ in what follows an error:
// ErrMain and ErrMainExtra log it and go on with the next step, ErrMainSave ends the run, and
// too many sizing errors end it at once.
#include "scanner/scan_run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/db/db_error.h"
#include "scanner/size_dirs.h"
#include "store/program_log.h"
#include "store/run_error.h"
#include "store/size_store.h"
#include "store/text.h"

#ifndef BRONTAL_VERSION
#define BRONTAL_VERSION "0.0.0"
#endif

namespace brontal {
namespace {

// Shows a message box and copies its text into the log: an unattended run has nobody to read
// the box.
class LoggedMessageBox : public MessageBox {
 public:
  LoggedMessageBox(MessageBox& inner, ProgramLog& log) : inner_(inner), log_(log) {}
  void Show(std::string_view text, std::string_view title) override {
    log_.Line(text);
    inner_.Show(text, title);
  }

 private:
  MessageBox& inner_;
  ProgramLog& log_;
};

// The lines of extras.txt, read the way the run reads them: one at a time, with the end of
// the file reached as soon as the last line has been read.
class ExtrasFile {
 public:
  explicit ExtrasFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::system_error(errno, std::generic_category(), "cannot open " + path);
    std::stringstream content;
    content << in.rdbuf();
    std::string text = content.str();
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines_.push_back(text.substr(start, end - start));
      start = end;
      if (start < text.size() && text[start] == '\r') ++start;
      if (start < text.size() && text[start] == '\n') ++start;
    }
  }
  bool AtEnd() const { return next_ >= lines_.size(); }
  std::string Read() { return AtEnd() ? std::string() : lines_[next_++]; }

 private:
  std::vector<std::string> lines_;
  std::size_t next_ = 0;
};

// A drive line of extras.txt: the path it sizes and the drive it is stored as.
struct ExtraDrive {
  std::string path;   // as it reaches the file system, in the case it was written
  std::string drive;  // upper-cased, as stored
};

// "X:" is the node's administrative share of drive X; "X:=path" sizes path as drive X, and a
// line without "=" is a path of its own. Trailing separators are dropped, so that the entries
// below the path become children of the drive. Throws RunError 5 for a line that names no path,
// which the file system would take for its own root, and for a path holding a NUL character,
// which it would cut short.
ExtraDrive ParseDriveLine(std::string_view trimmed, std::string_view node_as_written) {
  const std::string upper = UpperCase(trimmed);
  ExtraDrive extra;
  if (upper.size() == 2 && upper[1] == ':') {
    extra.path =
        "\\\\" + std::string(node_as_written) + "\\" + std::string(trimmed.substr(0, 1)) + "$";
    extra.drive = upper;
  } else {
    std::size_t equals = trimmed.find('=');
    extra.path =
        std::string(equals == std::string_view::npos ? trimmed : trimmed.substr(equals + 1));
    extra.drive = upper.substr(0, 2);
  }
  if (extra.path.find('\0') != std::string::npos) {
    throw RunError(5, "Not sized: the path of drive " + extra.drive + " holds a NUL character");
  }
  while (!extra.path.empty() && extra.path.back() == '\\') extra.path.pop_back();
  if (extra.path.empty()) throw RunError(5, "Not sized: no path is given for drive " + extra.drive);
  return extra;
}

class ScanRun {
 public:
  ScanRun(ScanServices& services, ProgramLog& log, bool ignore_err53)
      : services_(services),
        log_(log),
        message_box_(services.message_box, log),
        sizing_{services.fs, log, ignore_err53} {}

  int Run(bool uncompressed);

 private:
  // Runs one step under a handler that logs an error and goes on.
  template <typename F>
  bool Trap(std::string_view handler, F&& step) {
    try {
      step();
      return true;
    } catch (const HaltRun&) {
      throw;
    } catch (...) {
      LogError(handler, std::current_exception());
      return false;
    }
  }

  void LogError(std::string_view handler, std::exception_ptr error) {
    auto [number, text] = DescribeError(error);
    log_.Raw(
        ZoneLine().Text(handler).Text(": ").Zone().Number(std::int64_t{number}).Zone().Text(text));
  }

  // The store is made at its first use, and again at the next use when making it failed.
  SizeStore& Store() {
    if (!store_) {
      store_ = std::make_unique<SizeStore>(SizeStoreServices{
          services_.engine, services_.settings, services_.clock, message_box_,
          services_.program_folder, services_.random, services_.pause, services_.unc_root});
    }
    return *store_;
  }

  void StampedNumber(std::int64_t value) { log_.Raw(log_.Stamped().Number(value)); }

  // The threads the run sizes with: BRONTAL_THREADS, or by default one per CPU; a value that
  // is no count of threads is logged and the default used.
  void ChooseThreads();

  // The node lines: its name, its depth and where its scanner logs.
  void SetUpNode(std::string_view handler, const std::string& name);
  void SizeLocalDrives(bool uncompressed);
  bool SaveLocal();
  // One log line for each entry SaveDirs left out for its blank name.
  void LogBlankNames(const std::vector<std::string>& names);
  void ProcessExtras(const std::string& path);

  ScanServices& services_;
  ProgramLog& log_;
  LoggedMessageBox message_box_;
  SizingRun sizing_;
  std::unique_ptr<SizeStore> store_;
  int level_ = 0;
  std::vector<std::string> drives_;
  std::vector<std::int64_t> freebytes_, totalbytes_;
  std::vector<std::string> names_;
  std::vector<std::int64_t> sizes_;
  int n_ = 0;
  int drive_count_ = 0;
  std::int64_t nodetotal_ = 0;
  bool stored_all_ = true;
  bool depth_unknown_ = false;
};

void ScanRun::ChooseThreads() {
  sizing_.threads = DefaultSizingThreads();
  const char* asked = std::getenv("BRONTAL_THREADS");
  if (asked == nullptr || *asked == '\0') return;
  if (std::optional<int> threads = ParseSizingThreads(asked)) {
    sizing_.threads = *threads;
    return;
  }
  log_.Line("BRONTAL_THREADS '" + std::string(asked) +
            "' is not a number of threads; sizing with " + std::to_string(sizing_.threads));
}

void ScanRun::SetUpNode(std::string_view handler, const std::string& name) {
  Trap(handler, [&] {
    log_.Line("Setting nodename");
    Store().nodename = name;
    log_.Line(name);
  });
  if (!Trap(handler, [&] {
        log_.Line("Getting Levels");
        level_ = Store().DefaultLevel();
        StampedNumber(level_);
      })) {
    depth_unknown_ = true;  // sized at whatever depth it was left at: not the node's own
  }
  Trap(handler, [&] {
    log_.Line("Setting logfile path - " + log_.Path());
    Store().SetLogFile(log_.Path());
  });
}

void ScanRun::SizeLocalDrives(bool uncompressed) {
  Trap("ErrMain", [&] {
    log_.Line("Getting drives");
    try {
      drives_ = services_.fs.FixedDrives();
    } catch (const FsError& error) {
      sizing_.CountError("ErrGetFixedDiskDrives: ");
      log_.Raw(log_.Stamped()
                   .Text("ErrGetFixedDiskDrives: ")
                   .Zone()
                   .Number(std::int64_t{error.Number()})
                   .Zone()
                   .Text(error.what()));
    }
    drive_count_ = static_cast<int>(drives_.size());
    drives_.insert(drives_.begin(), std::string());  // counted from 1
    nodetotal_ = 0;
    log_.Raw(log_.Stamped().Number(std::int64_t{drive_count_}).Text(" drives"));
  });
  log_.Line("Initialising arrays");
  names_.assign(drive_count_ + kEntryArrayStep + 1, std::string());
  sizes_.assign(names_.size(), 0);
  freebytes_.assign(drive_count_ + 12, 0);
  totalbytes_.assign(drive_count_ + 12, 0);
  n_ = 0;
  const bool nt = services_.fs.IsNT() && !uncompressed;
  for (int i = 1; i <= drive_count_; ++i) {
    Trap("ErrMain", [&] {
      int k = ++n_;
      const std::string& drive = drives_[i];
      log_.Blank();
      log_.Line("Getting drive characteristics for " + drive);
      freebytes_[i] = services_.fs.FreeBytes(drive);
      log_.Raw(log_.Stamped().Text("Free: ").Number(freebytes_[i]));
      totalbytes_[i] = services_.fs.TotalBytes(drive);
      log_.Raw(log_.Stamped().Text("Size: ").Number(totalbytes_[i]));
      names_[k] = drive;
      log_.Line("Sizing drive directories");
      std::string root = names_[k];
      sizes_[k] = nt ? SizeDirsNT(sizing_, root, names_, sizes_, n_, 2, level_)
                     : SizeDirs(sizing_, root, names_, sizes_, n_, 2, level_);
      nodetotal_ += sizes_[k];
    });
  }
}

// Stores the node's disks, sizes and period in one transaction, replacing what an earlier run
// of the same period stored: a run is stored whole or not at all. Disks that cannot be saved are
// left out and the rest is stored all the same.
bool ScanRun::SaveLocal() {
  try {
    log_.Blank();
    Store().BeginScan();
    log_.Line("Saving drive characteristic info");
    if (!Trap("ErrMainSave",
              [&] { Store().SaveFree(drives_, freebytes_, totalbytes_, drive_count_); })) {
      stored_all_ = false;
    }
    log_.Line("Saving directory sizes");
    LogBlankNames(Store().SaveDirs(names_, sizes_, n_, nodetotal_));
    log_.Line("Adding period if...");
    Store().AddPeriod(Store().pdate);
    Store().CommitScan();
    return true;
  } catch (...) {
    LogError("ErrMainSave", std::current_exception());
    if (store_) store_->CancelScan();
    return false;
  }
}

void ScanRun::LogBlankNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) log_.Line("Not stored, its name is blank: '" + name + "'");
}

void ScanRun::ProcessExtras(const std::string& path) {
  std::optional<ExtrasFile> file;
  if (!Trap("ErrMainExtra", [&] { file.emplace(path); })) return;
  log_.Blank();
  log_.Raw("Processing extras.txt");
  auto read = [&] {
    std::string line = file->Read();
    log_.Line("Extras: '" + line + "'");
    return line;
  };
  while (!file->AtEnd()) {
    std::string written = std::string(Trim(read()));
    std::string node = LowerCase(written);
    if (node.empty() || node == "end") continue;
    SetUpNode("ErrMainExtra", node);
    nodetotal_ = 0;
    n_ = 0;
    std::string line = read();
    while (!file->AtEnd() && Trim(line).size() > 1) {
      // A drive line refused or failing leaves that drive out of the run's data.
      stored_all_ &= Trap("ErrMainExtra", [&] {
        auto [drive_path, drive] = ParseDriveLine(Trim(line), written);
        if (n_ + 1 >= static_cast<int>(names_.size()) - 1) {
          names_.resize(n_ + kEntryArrayStep + 1);
          sizes_.resize(names_.size());
        }
        int k = ++n_;
        names_[k] = drive_path;
        log_.Line("Sizing " + drive_path);
        sizes_[k] = SizeDirs(sizing_, drive_path, names_, sizes_, n_, 2, level_);
        nodetotal_ += sizes_[k];
        ReplacePrefix(names_, drive_path, drive);
      });
      line = read();
    }
    log_.Line("Saving extra directory sizes for this node");
    if (!Trap("ErrMainExtra",
              [&] { LogBlankNames(Store().SaveDirs(names_, sizes_, n_, nodetotal_)); })) {
      stored_all_ = false;
    }
  }
}

int ScanRun::Run(bool uncompressed) {
  log_.Raw(std::string("Brontal ") + BRONTAL_VERSION);
  log_.Blank();
  ChooseThreads();
  std::string computer;
  Trap("ErrMain", [&] { computer = services_.fs.ComputerName(); });
  SetUpNode("ErrMain", computer);
  SizeLocalDrives(uncompressed);
  if (!SaveLocal()) return kScanNotStored;
  std::string extras = services_.program_folder + "/extras.txt";
  std::error_code ignored;
  if (std::filesystem::exists(extras, ignored)) ProcessExtras(extras);
  log_.Line("Finished");
  if (!stored_all_) return kScanNotStored;
  return depth_unknown_ ? kScanDepthUnknown : kScanStored;
}

}  // namespace

void ReplacePrefix(std::vector<std::string>& names, std::string_view old_prefix,
                   std::string_view new_prefix) {
  for (std::string& name : names) {
    if (name.starts_with(old_prefix)) name.replace(0, old_prefix.size(), new_prefix);
  }
}

int RunScan(std::string_view command_line, ScanServices& services) {
  const std::string words = LowerCase(Trim(command_line));
  const bool ignore_err53 = words.find("ignoreerr53") != std::string::npos;
  const bool uncompressed = words.find("uncompressed") != std::string::npos;
  const std::string log_path = services.program_folder + "/brontals.log";
  std::optional<ProgramLog> log;
  try {
    log.emplace(LineFile(log_path), services.clock, services.locale);
  } catch (const std::exception& error) {
    // No log to write to and no window: the scheduler sees the message and the status.
    services.message_box.Show(
        "Cannot create the log " + log_path + ": " + error.what() + ". Nothing was sized.",
        "Brontal");
    return kScanNoLog;
  }
  ScanRun run(services, *log, ignore_err53);
  int status;
  try {
    status = run.Run(uncompressed);
  } catch (const HaltRun&) {
    status = kScanHalted;  // the halting line is written already
  }
  log->Close();
  return status;
}

}  // namespace brontal
