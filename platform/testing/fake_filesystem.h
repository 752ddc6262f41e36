// An in-memory file system for tests: a tree the test builds, drives with their space, and
// faults injected at chosen paths or at the N-th call, the way a test VFS injects them.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/filesystem.h"

namespace brontal {

// Starts empty, as computer "SERVER1" on the NT platform, with no drives. Every call, of the
// FileSystem interface, of a listing or of the test's own, holds one lock for its whole time,
// OnOpen actions included, so that a walk may use it from several threads at once; which call
// is the N-th of FailCall then depends on how the threads run.
class FakeFileSystem : public FileSystem {
 public:
  FakeFileSystem() = default;
  FakeFileSystem(const FakeFileSystem&) = delete;
  FakeFileSystem& operator=(const FakeFileSystem&) = delete;

  // Building the tree. Paths are logical: "\" separators, drives such as "C:" or "/", shares
  // such as \\node\share; a trailing "\" is ignored and names compare case-sensitively. Missing
  // parent directories are created; listings give entries in the order they were added.

  // A directory; adding an existing one does nothing. Throws std::invalid_argument when the
  // path or one of its parents is a file.
  void AddDirectory(std::string_view path);
  // A file of `length` bytes that occupies `compressed` bytes (its length when not given).
  // Throws std::invalid_argument when the path exists or a parent is a file.
  void AddFile(std::string_view path, std::int64_t length);
  void AddFile(std::string_view path, std::int64_t length, std::int64_t compressed);
  // A symbolic link to the logical path `target`: listed as a file of target.size() bytes,
  // followed by List as the system follows a path, refused by OpenChild. Throws
  // std::invalid_argument as AddFile.
  void AddLink(std::string_view path, std::string_view target);
  // Moves the file, link or directory `from`, with everything below it, to `to`, whose missing
  // parents are created; it keeps its identity and is listed last in its new directory, and
  // listings open on it go on. Short forms are not moved. Throws std::invalid_argument when
  // `from` does not exist or is a root, `to` exists or lies inside `from`, or a file stands in
  // the way.
  void Move(std::string_view from, std::string_view to);
  // A fixed drive with its root directory, listed by FixedDrives in the order added.
  void AddDrive(std::string_view drive, std::int64_t free_bytes, std::int64_t total_bytes);
  // What ComputerName and IsNT report.
  void SetComputerName(std::string name) { computer_name_ = std::move(name); }
  void SetNT(bool nt) { nt_ = nt; }
  // Gives the existing `path` the short form `short_path`: ShortPathOf returns it, and Stat
  // finds the entry under it.
  void SetShortPath(std::string_view path, std::string_view short_path);

  // Faults at a path. Each throws std::invalid_argument when the path does not exist. Faults of
  // an entry show in listings only; Stat measures the entry as it is, as when a file is
  // replaced between the listing and the measuring, unless FailStat says otherwise.

  // Every List of the directory throws FsError(number, text).
  void FailList(std::string_view path, int number, std::string text);
  // Every listing of the directory throws FsError(number, text) once, after its `after`-th
  // entry (0: before the first), and then goes on with the next entry.
  void BreakListing(std::string_view path, int after, int number, std::string text);
  // The entry is listed with attributes 0 and attributes_error `number`.
  void FailAttributes(std::string_view path, int number);
  // The entry is listed with both sizes 0 and size_error `number`, size_error_text `text`.
  void FailSize(std::string_view path, int number, std::string text);
  // Stat of the path, or of its short form, throws FsError(number, text).
  void FailStat(std::string_view path, int number, std::string text);
  // The file vanishes between its listing and its measuring: listed with size_error 53, and
  // Stat throws FsError 53.
  void VanishAfterListing(std::string_view path);

  // Runs `action` once, the next time the directory at `path` is opened by List, OpenChild or
  // OpenParent, just before it is looked up: the moment another program's change would strike a
  // walk. The path need not exist yet; a later OnOpen of the same path replaces an earlier one.
  void OnOpen(std::string_view path, std::function<void()> action);

  // Makes the `nth` call of the FileSystem interface from now on fail (1: the next call), every
  // later one too when `persist` is set. Next of a listing counts as a call. A failing call
  // reports the way it reports a real failure: FreeBytes and TotalBytes give 0, IsNT false,
  // ComputerName ""; List, Next, OpenChild, OpenParent, Stat, FixedDrives and ShortPathOf throw
  // FsError(number, text). A failed Next loses no entry. A later FailCall replaces an earlier one.
  void FailCall(int nth, int number, std::string text, bool persist = false);
  // Calls of the FileSystem interface so far, Next, OpenChild and OpenParent of every listing
  // included.
  int CallCount() const {
    const auto lock = Lock();
    return calls_;
  }
  // How often the directory was opened (List, OpenChild and OpenParent calls that reached it,
  // failed ones included).
  int ListCount(std::string_view path) const;

  // Listings refer to this object and must not outlive it. Every directory has its own identity,
  // kept when it moves; FailList applies to all three ways of opening it, and OpenParent of a
  // root throws FsError kFsPathNotFound.
  std::unique_ptr<DirectoryListing> List(std::string_view path) override;
  DirEntry Stat(std::string_view path) override;
  std::vector<std::string> FixedDrives() override;
  std::int64_t FreeBytes(std::string_view drive) override;
  std::int64_t TotalBytes(std::string_view drive) override;
  std::string ShortPathOf(std::string_view path) override;
  std::string ComputerName() override;
  bool IsNT() override;

 private:
  class Listing;

  struct Fault {
    int number = 0;
    std::string text;
  };
  struct Node {
    std::string path;  // its key in nodes_
    DirEntry entry;    // as measured, without faults
    bool is_directory = false;
    std::optional<std::string> link_target;
    std::uint64_t id = 0;
    Node* parent = nullptr;       // null for a root
    std::vector<Node*> children;  // in the order added
    std::optional<Fault> list_fault;
    std::optional<Fault> stat_fault;
    std::optional<Fault> size_fault;
    int break_after = -1;  // no break when negative
    Fault break_fault;
    int attributes_error = 0;
    int list_count = 0;
  };
  struct Drive {
    std::string name;
    std::int64_t free_bytes = 0;
    std::int64_t total_bytes = 0;
  };

  // The node of a path, created with its missing parents; nullptr when a parent is a file.
  Node* MakeDirectory(const std::string& path);
  // A new file or link node under an existing directory; throws std::invalid_argument as AddFile.
  Node& MakeLeaf(std::string_view path);
  // Runs and forgets the OnOpen action of `path`, if there is one.
  void RunOnOpen(const std::string& path);
  // Opens the directory at `path` as List, OpenChild and OpenParent do after counting the call
  // and running its OnOpen action: follows a final link when `follow_link` is set, applies its
  // faults.
  std::unique_ptr<DirectoryListing> Open(const std::string& path, bool follow_link);
  Node* Find(std::string_view path);
  const Node* Find(std::string_view path) const;
  Node& Existing(std::string_view path);
  // Held by every call; recursive, as OnOpen actions call back into the fake.
  std::unique_lock<std::recursive_mutex> Lock() const {
    return std::unique_lock<std::recursive_mutex>(mutex_);
  }
  // Counts a call; the injected fault when this call is to fail.
  std::optional<Fault> Call();
  // The entry a listing shows for `node`, its faults applied.
  static void ListedEntry(const Node& node, DirEntry& entry);

  std::unordered_map<std::string, Node> nodes_;  // by full path; nodes never move
  std::vector<Drive> drives_;
  std::map<std::string, std::string, std::less<>> short_of_;  // path -> short form
  std::map<std::string, std::string, std::less<>> long_of_;   // short form -> path
  std::string computer_name_ = "SERVER1";
  bool nt_ = true;
  std::map<std::string, std::function<void()>, std::less<>> on_open_;
  std::uint64_t next_id_ = 1;
  int calls_ = 0;
  int fail_at_ = 0;  // the call number that fails; 0 for none
  bool fail_persist_ = false;
  Fault call_fault_;
  mutable std::recursive_mutex mutex_;
};

}  // namespace brontal
