// Trees on the real file system for walk tests: chains of folders deeper than any path the
// system accepts, made and removed through descriptors, and the logical path of a native one.
#pragma once

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace brontal::testing {

// The logical path the scanner uses for an absolute native path: the drive "/" and the rest
// with "\" separators, as "/" + "\tmp\x".
inline std::string LogicalOf(const std::filesystem::path& native) {
  std::string logical = native.string();
  for (char& c : logical) {
    if (c == '/') c = '\\';
  }
  return "/" + logical;
}

// Where a test's tree of a hundred thousand folders costs no disk writes: /dev/shm when it is
// a folder this process may write in (a memory file system on Linux), else the temporary folder.
inline std::filesystem::path MemoryFolderRoot() {
  if (::access("/dev/shm", W_OK | X_OK) == 0) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

namespace disk_tree_detail {

// A descriptor closed when it goes; the removal would otherwise leak one per early return.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  void Reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Removes the files and links of the folder `dir`, which must be freshly opened, and gives the
// names of its subfolders in `subfolders`. False when it cannot be read or an entry cannot be
// removed. Reads the kernel's records directly, saving a DIR stream's extra calls per folder.
inline bool ClearFiles(int dir, std::vector<std::string>& subfolders) {
  subfolders.clear();
  alignas(dirent64) char records[8192];
  for (;;) {
    const ssize_t count = ::getdents64(dir, records, sizeof records);
    if (count < 0) return false;
    if (count == 0) return true;
    for (ssize_t at = 0; at < count;) {
      const auto* item = reinterpret_cast<const dirent64*>(records + at);
      at += item->d_reclen;
      const std::string name = item->d_name;
      if (name == "." || name == "..") continue;
      bool is_folder = item->d_type == DT_DIR;
      struct stat info;
      if (item->d_type == DT_UNKNOWN) {
        if (::fstatat(dir, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone
        is_folder = S_ISDIR(info.st_mode);
      }
      if (is_folder) {
        subfolders.push_back(name);
      } else if (::unlinkat(dir, name.c_str(), 0) != 0 && errno != ENOENT) {
        return false;
      }
    }
  }
}

}  // namespace disk_tree_detail

// Removes `name` inside the open folder `parent` with everything below it, however deep:
// level by level without recursion, each folder listed once, going back up through "..", with
// two descriptors at most and never following a link. False when something could not be
// removed; it stops there.
inline bool RemoveTreeAt(int parent, const std::string& name) {
  using disk_tree_detail::Fd;
  Fd dir(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (dir.get() < 0) {
    if (errno == ENOTDIR || errno == ELOOP) return ::unlinkat(parent, name.c_str(), 0) == 0;
    return false;
  }
  std::vector<std::string> below;                      // the names from `name` down to `dir`
  std::vector<std::vector<std::string>> to_remove(1);  // the subfolders left at each level
  if (!disk_tree_detail::ClearFiles(dir.get(), to_remove.back())) return false;
  for (;;) {
    std::vector<std::string>& subfolders = to_remove.back();
    if (!subfolders.empty()) {
      std::string subfolder = std::move(subfolders.back());
      subfolders.pop_back();
      const int next =
          ::openat(dir.get(), subfolder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (next < 0) return false;
      dir.Reset(next);
      below.push_back(std::move(subfolder));
      to_remove.emplace_back();
      if (!disk_tree_detail::ClearFiles(dir.get(), to_remove.back())) return false;
      continue;
    }
    if (below.empty()) {
      dir.Reset(-1);
      return ::unlinkat(parent, name.c_str(), AT_REMOVEDIR) == 0;
    }
    const int up = ::openat(dir.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (up < 0) return false;
    dir.Reset(up);
    if (::unlinkat(dir.get(), below.back().c_str(), AT_REMOVEDIR) != 0) return false;
    below.pop_back();
    to_remove.pop_back();
  }
}

// A chain of `depth` folders, each named `name`, inside the folder `parent`, with a file
// `leaf_name` of `leaf_bytes` bytes in the deepest. Each folder is made relative to the one
// above it, so the chain may be far longer than PATH_MAX. Removed with everything below it when
// the object goes. Throws std::runtime_error when it cannot be made, having removed what was.
class DeepTree {
 public:
  DeepTree(std::filesystem::path parent, std::string name, int depth, const std::string& leaf_name,
           std::size_t leaf_bytes)
      : parent_(std::move(parent)), name_(std::move(name)) {
    using disk_tree_detail::Fd;
    Fd dir(::open(parent_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() < 0) Fail("cannot open " + parent_.string());
    for (int level = 0; level < depth; ++level) {
      if (::mkdirat(dir.get(), name_.c_str(), 0755) != 0) Fail("mkdirat");
      removed_ = false;  // from here on there is something of ours to remove
      const int next = ::openat(dir.get(), name_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (next < 0) Fail("openat");
      dir.Reset(next);
    }
    Fd leaf(::openat(dir.get(), leaf_name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
    if (leaf.get() < 0) Fail("cannot create " + leaf_name);
    const std::string content(leaf_bytes, 'x');
    if (::write(leaf.get(), content.data(), content.size()) !=
        static_cast<ssize_t>(content.size())) {
      Fail("cannot write " + leaf_name);
    }
  }
  DeepTree(const DeepTree&) = delete;
  DeepTree& operator=(const DeepTree&) = delete;
  ~DeepTree() { Remove(); }

  // Removes the tree now; true when it is gone (also when it was removed before).
  bool Remove() {
    if (removed_) return true;
    disk_tree_detail::Fd dir(::open(parent_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    removed_ = dir.get() >= 0 && RemoveTreeAt(dir.get(), name_);
    return removed_;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) {
    const std::string reason = std::strerror(errno);
    Remove();
    throw std::runtime_error("deep tree: " + what + ": " + reason);
  }

  std::filesystem::path parent_;
  std::string name_;
  bool removed_ = true;  // nothing made yet
};

}  // namespace brontal::testing
