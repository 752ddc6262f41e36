// Listings, measurements and drives of the local file system through POSIX calls: one open
// directory per listing, one fstatat per entry, and subdirectories opened through their parent
// without following links, the way du walks a tree.
#include "platform/linux_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <map>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/db/database.h"

namespace brontal {
namespace {

// U+FF3C FULLWIDTH REVERSE SOLIDUS in UTF-8: stands for a "\" inside a native name, and opens
// the two escapes that keep the mapping reversible: U+FF3C U+FE00 is a native U+FF3C, U+FF3C
// U+FE01 a native "\" that a U+FE00 or U+FE01 follows. The variation selectors show as nothing,
// so every name still reads as it is written.
constexpr std::string_view kNameBackslash = "\xEF\xBC\xBC";
constexpr std::string_view kEscapedFullwidth = "\xEF\xB8\x80";  // U+FE00
constexpr std::string_view kEscapedBackslash = "\xEF\xB8\x81";  // U+FE01

bool StartsWithEscapeMark(std::string_view text) {
  return text.starts_with(kEscapedFullwidth) || text.starts_with(kEscapedBackslash);
}

// Owns a file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
      Reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd() { Reset(); }

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  void Reset() {
    // Only read-only descriptors pass through here, so a failing close loses no data.
    if (fd_ >= 0) (void)::close(std::exchange(fd_, -1));
  }

 private:
  int fd_ = -1;
};

std::string ErrnoText(int error) { return std::generic_category().message(error); }

// The error a failed call on `path` raises; not_found_number tells a missing file (53) from a
// missing directory (76).
FsError ErrorFor(int error, std::string_view path, int not_found_number) {
  const std::string quoted = "'" + std::string(path) + "'";
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FsError(
          not_found_number,
          (not_found_number == kFsFileNotFound ? "File not found: " : "Path not found: ") + quoted);
    case EACCES:
    case EPERM:
      return FsError(kFsPermissionDenied, "Permission denied: " + quoted);
    case EIO:
      return FsError(kFsDeviceIo, "Device I/O error: " + quoted);
    default:
      return FsError(kFsPathFileAccess,
                     "Path/File access error: " + quoted + " (" + ErrnoText(error) + ")");
  }
}

// Opens a native path even when it is longer than PATH_MAX, by walking it in pieces that fit,
// each relative to the folder the previous one opened. On failure the result is empty and
// `error` holds the errno.
UniqueFd OpenPath(const std::string& native, int flags, int& error) {
  error = 0;
  UniqueFd base;
  int at = AT_FDCWD;
  std::size_t pos = 0;
  while (native.size() - pos >= PATH_MAX) {
    std::size_t cut = native.rfind('/', pos + PATH_MAX - 2);
    if (cut == std::string::npos || cut <= pos) {
      error = ENAMETOOLONG;  // one component longer than any name can be
      return UniqueFd();
    }
    const std::string piece = native.substr(pos, cut - pos);
    UniqueFd next(::openat(at, piece.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (!next) {
      error = errno;
      return UniqueFd();
    }
    base = std::move(next);
    at = base.get();
    pos = cut + 1;
  }
  UniqueFd result(::openat(at, native.c_str() + pos, flags));
  if (!result) error = errno;
  return result;
}

// Attributes and sizes of a measured entry whose name is already set.
void Measure(const struct stat& info, DirEntry& entry) {
  int attributes = 0;
  if (S_ISDIR(info.st_mode)) attributes |= kAttrDirectory;
  if (!entry.name.empty() && entry.name[0] == '.') attributes |= kAttrHidden;
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= kAttrReadOnly;
  entry.attributes = attributes;
  entry.attributes_error = 0;
  entry.length = info.st_size;
  // st_blocks counts 512-byte units whatever the file system's block size; a file's tail block
  // can make it exceed the length, which is then what the file is said to occupy.
  entry.compressed = std::min<std::int64_t>(info.st_size, std::int64_t{info.st_blocks} * 512);
  entry.size_error = 0;
  entry.size_error_text.clear();
}

// The logical path of a name inside a directory given by its logical path.
std::string JoinLogical(std::string_view directory, std::string_view name) {
  std::string path(directory);
  if (path.empty() || path.back() != '\\') path.push_back('\\');
  path.append(name);
  return path;
}

// One component of a listing's logical path, linked to the one above it: a listing opened
// through its parent names itself without a copy of the whole path at every level, which on a
// tree 100,000 levels deep would cost gigabytes. The whole path is built only for an error.
struct PathLink {
  PathLink(std::shared_ptr<PathLink> up, std::string component)
      : parent(std::move(up)), name(std::move(component)) {}
  PathLink(const PathLink&) = delete;
  PathLink& operator=(const PathLink&) = delete;
  ~PathLink() {
    // Released one by one: a chain as deep as the tree would overflow the stack recursively.
    // A link that goes while another is being released hands its parent to the outermost
    // release instead of releasing it itself. Only the reference counts decide which link goes,
    // so that links shared by the threads of a walk are released safely.
    thread_local std::vector<std::shared_ptr<PathLink>>* releasing = nullptr;
    if (releasing != nullptr) {
      if (parent) releasing->push_back(std::move(parent));
      return;
    }
    std::vector<std::shared_ptr<PathLink>> pending;
    if (parent) pending.push_back(std::move(parent));
    releasing = &pending;
    while (!pending.empty()) {
      std::shared_ptr<PathLink> link = std::move(pending.back());
      pending.pop_back();
      link.reset();  // when it was the last owner, its parent joins `pending`
    }
    releasing = nullptr;
  }

  std::shared_ptr<PathLink> parent;  // null for the path the walk was given
  std::string name;                  // one component, or the whole path at the top
};

std::string LogicalPathOf(const PathLink& link) {
  std::vector<const PathLink*> chain;
  for (const PathLink* at = &link; at != nullptr; at = at->parent.get()) chain.push_back(at);
  std::string path = chain.back()->name;
  for (auto at = chain.rbegin() + 1; at != chain.rend(); ++at) {
    // Appended in place: joining copies of the path level by level would be quadratic.
    if (path.empty() || path.back() != '\\') path.push_back('\\');
    path.append((*at)->name);
  }
  return path;
}

class LinuxDirectoryListing : public DirectoryListing {
 public:
  // `drive_device` is the device of the walk's root, which no directory opened through this
  // one may leave.
  LinuxDirectoryListing(std::shared_ptr<PathLink> path, UniqueFd fd, const struct stat& info,
                        dev_t drive_device)
      : path_(std::move(path)),
        fd_(std::move(fd)),
        id_{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)},
        drive_device_(drive_device) {}

  // Takes over `fd` of a directory opened under `path`.
  static std::unique_ptr<DirectoryListing> Open(UniqueFd fd, std::shared_ptr<PathLink> path,
                                                std::optional<dev_t> drive_device) {
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) throw ErrorFor(errno, LogicalPathOf(*path), kFsPathNotFound);
    if (drive_device && info.st_dev != *drive_device) {
      throw FsError(kFsPathNotFound, "Path not found: '" + LogicalPathOf(*path) +
                                         "' (another file system now, not entered)");
    }
    return std::make_unique<LinuxDirectoryListing>(std::move(path), std::move(fd), info,
                                                   drive_device.value_or(info.st_dev));
  }

  bool Next(DirEntry& entry) override {
    if (done_) return false;
    for (;;) {
      if (position_ == filled_ && !ReadNames()) return false;
      const auto* item = reinterpret_cast<const dirent64*>(names_.get() + position_);
      position_ += item->d_reclen;
      const char* name = item->d_name;
      if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;

      struct stat info;
      if (::fstatat(fd_.get(), name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
        const int error = errno;
        SetName(entry, name);
        const FsError failure =
            ErrorFor(error, JoinLogical(LogicalPathOf(*path_), entry.name), kFsFileNotFound);
        entry.attributes = 0;
        entry.attributes_error = failure.Number();
        entry.length = 0;
        entry.compressed = 0;
        entry.size_error = failure.Number();
        entry.size_error_text = failure.what();
        return true;
      }
      // Another file system mounted here: the walk stays on its drive, as du -x does.
      if (S_ISDIR(info.st_mode) && info.st_dev != drive_device_) continue;
      SetName(entry, name);
      Measure(info, entry);
      return true;
    }
  }

  DirectoryId Id() const override { return id_; }

  std::unique_ptr<DirectoryListing> OpenChild(std::string_view name) override {
    auto child = std::make_shared<PathLink>(path_, std::string(name));
    // Anything but one plain component would let the system resolve a path, links and all.
    if (name.empty() || name == "." || name == ".." ||
        name.find_first_of("\\/") != std::string_view::npos) {
      throw FsError(kFsPathNotFound, "Path not found: '" + LogicalPathOf(*child) + "'");
    }
    const std::string native = NativePathOf(name, {});
    // O_NOFOLLOW: a directory swapped for a link since it was listed fails here, unfollowed.
    UniqueFd fd(
        ::openat(fd_.get(), native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) {
      // Where a directory was listed, a link is no directory to enter: not found, as ENOTDIR.
      const int error = errno == ELOOP ? ENOTDIR : errno;
      throw ErrorFor(error, LogicalPathOf(*child), kFsPathNotFound);
    }
    return Open(std::move(fd), std::move(child), drive_device_);
  }

  std::unique_ptr<DirectoryListing> OpenParent() override {
    std::shared_ptr<PathLink> parent =
        path_->parent ? path_->parent : std::make_shared<PathLink>(path_, "..");
    UniqueFd fd(::openat(fd_.get(), "..", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd) throw ErrorFor(errno, LogicalPathOf(*parent), kFsPathNotFound);
    return Open(std::move(fd), std::move(parent), drive_device_);
  }

 private:
  static void SetName(DirEntry& entry, const char* name) {
    std::string_view native(name);
    if (native.find('\\') == std::string_view::npos &&
        native.find(kNameBackslash) == std::string_view::npos) {
      entry.name.assign(native);  // keeps the caller's buffer: no allocation per entry
    } else {
      entry.name = LogicalNameOf(native);
    }
  }

  // The next batch of names. The kernel's records are read directly: a DIR stream would cost
  // two more system calls and a 32 KB buffer for every directory, also for those only passed
  // through on the way back up a deep tree, which are never listed.
  bool ReadNames() {
    if (!names_) names_ = std::make_unique_for_overwrite<char[]>(kNamesBytes);
    const ssize_t count = ::getdents64(fd_.get(), names_.get(), kNamesBytes);
    if (count <= 0) {
      done_ = true;  // whatever the cause, the listing ends here
      if (count < 0) throw ErrorFor(errno, LogicalPathOf(*path_), kFsPathNotFound);
      return false;
    }
    filled_ = static_cast<std::size_t>(count);
    position_ = 0;
    return true;
  }

  static constexpr std::size_t kNamesBytes = 8192;

  std::shared_ptr<PathLink> path_;
  UniqueFd fd_;
  DirectoryId id_;
  dev_t drive_device_;
  std::unique_ptr<char[]> names_;  // allocated by the first Next
  std::size_t filled_ = 0;
  std::size_t position_ = 0;
  bool done_ = false;
};

// The whole content of a small file such as /proc/self/mountinfo; false when it cannot be read.
bool ReadWholeFile(const char* path, std::string& text) {
  UniqueFd fd(::open(path, O_RDONLY | O_CLOEXEC));
  if (!fd) return false;
  text.clear();
  char buffer[8192];
  for (;;) {
    const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
    if (count < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (count == 0) return true;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

// The blank-separated fields of one line.
std::vector<std::string_view> SplitFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t pos = 0;
  while (pos < line.size()) {
    const std::size_t end = std::min(line.find(' ', pos), line.size());
    if (end > pos) fields.push_back(line.substr(pos, end - pos));
    pos = end + 1;
  }
  return fields;
}

// The kernel writes blank, tab, newline and backslash in mount points as \ooo.
std::string DecodeMountEscapes(std::string_view field) {
  std::string decoded;
  decoded.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      const char a = field[i + 1], b = field[i + 2], c = field[i + 3];
      if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
        decoded.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
        i += 3;
        continue;
      }
    }
    decoded.push_back(field[i]);
  }
  return decoded;
}

template <typename LineParser>
std::vector<MountEntry> ParseLines(std::string_view text, LineParser parse_line) {
  std::vector<MountEntry> mounts;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = std::min(text.find('\n', pos), text.size());
    const std::vector<std::string_view> fields = SplitFields(text.substr(pos, end - pos));
    MountEntry entry;
    if (parse_line(fields, entry)) mounts.push_back(std::move(entry));
    pos = end + 1;
  }
  return mounts;
}

std::int64_t ClampedProduct(std::uint64_t count, std::uint64_t unit) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
  if (unit != 0 && count > kMax / unit) return static_cast<std::int64_t>(kMax);
  return static_cast<std::int64_t>(count * unit);
}

}  // namespace

std::string UncRootFromEnvironment() {
  const char* root = std::getenv("BRONTAL_UNC_ROOT");
  return root == nullptr || *root == '\0' ? std::string("/net") : std::string(root);
}

std::string NativePathOf(std::string_view logical_path, std::string_view unc_root) {
  // A database on a server is named by a URI, which no Windows path can be.
  if (db::IsServerLocation(logical_path)) return std::string(logical_path);
  std::string native;
  native.reserve(logical_path.size() + unc_root.size() + 1);
  std::size_t pos = 0;
  if (logical_path.starts_with("\\\\")) {
    native.assign(unc_root);
    if (native.empty() || native.back() != '/') native.push_back('/');
    pos = 2;
  }
  for (; pos < logical_path.size(); ++pos) {
    const char c = logical_path[pos];
    if (c == '\\' || c == '/') {
      if (native.empty() || native.back() != '/') native.push_back('/');
    } else if (logical_path.substr(pos).starts_with(kNameBackslash)) {
      const std::string_view mark = logical_path.substr(pos + kNameBackslash.size());
      if (mark.starts_with(kEscapedFullwidth)) {
        native.append(kNameBackslash);
      } else {
        native.push_back('\\');
      }
      pos += kNameBackslash.size() - 1;
      if (StartsWithEscapeMark(mark)) pos += kEscapedFullwidth.size();
    } else {
      native.push_back(c);
    }
  }
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

std::string LogicalNameOf(std::string_view native_name) {
  std::string name;
  name.reserve(native_name.size());
  for (std::size_t pos = 0; pos < native_name.size(); ++pos) {
    const std::string_view rest = native_name.substr(pos);
    if (rest.front() == '\\') {
      name.append(kNameBackslash);
      if (StartsWithEscapeMark(rest.substr(1))) name.append(kEscapedBackslash);
    } else if (rest.starts_with(kNameBackslash)) {
      name.append(kNameBackslash);
      name.append(kEscapedFullwidth);
      pos += kNameBackslash.size() - 1;
    } else {
      name.push_back(rest.front());
    }
  }
  return name;
}

std::vector<MountEntry> ParseMountInfo(std::string_view text) {
  // ID PARENT MAJ:MIN ROOT MOUNT_POINT OPTIONS [OPTIONAL...] - TYPE SOURCE SUPER_OPTIONS
  return ParseLines(text, [](const std::vector<std::string_view>& fields, MountEntry& entry) {
    if (fields.size() < 7) return false;
    const auto dash = std::find(fields.begin() + 6, fields.end(), "-");
    if (dash == fields.end() || dash + 1 == fields.end()) return false;
    entry.mount_point = DecodeMountEscapes(fields[4]);
    entry.type = DecodeMountEscapes(*(dash + 1));
    return true;
  });
}

std::vector<MountEntry> ParseProcMounts(std::string_view text) {
  // SOURCE MOUNT_POINT TYPE OPTIONS DUMP PASS
  return ParseLines(text, [](const std::vector<std::string_view>& fields, MountEntry& entry) {
    if (fields.size() < 3) return false;
    entry.mount_point = DecodeMountEscapes(fields[1]);
    entry.type = DecodeMountEscapes(fields[2]);
    return true;
  });
}

bool IsLocalDiskType(std::string_view type) {
  static constexpr std::string_view kLocalDiskTypes[] = {
      "bcachefs", "btrfs",   "exfat", "ext2",  "ext3",   "ext4", "f2fs",
      "hfs",      "hfsplus", "jfs",   "msdos", "nilfs2", "ntfs", "ntfs3",
      "reiserfs", "reiser4", "ufs",   "vfat",  "xfs",    "zfs"};
  return std::find(std::begin(kLocalDiskTypes), std::end(kLocalDiskTypes), type) !=
         std::end(kLocalDiskTypes);
}

std::vector<std::string> LocalDiskMountPoints(const std::vector<MountEntry>& mounts) {
  std::vector<std::string> order;
  std::map<std::string, std::string, std::less<>> visible_type;
  for (const MountEntry& mount : mounts) {
    auto [found, inserted] = visible_type.try_emplace(mount.mount_point, mount.type);
    if (inserted) {
      order.push_back(mount.mount_point);
    } else {
      found->second = mount.type;  // a later mount over the same point hides the earlier one
    }
  }
  std::vector<std::string> drives;
  // The root is a drive whatever carries it: in a container it is an overlay.
  if (visible_type.contains("/")) drives.push_back("/");
  for (const std::string& point : order) {
    if (point != "/" && IsLocalDiskType(visible_type.find(point)->second)) drives.push_back(point);
  }
  return drives;
}

std::vector<std::string> SplitDriveList(std::string_view text) {
  std::vector<std::string> drives;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t end = std::min(text.find(':', pos), text.size());
    if (end > pos) drives.emplace_back(text.substr(pos, end - pos));
    pos = end + 1;
  }
  return drives;
}

LinuxFileSystem::LinuxFileSystem(std::string unc_root) : unc_root_(std::move(unc_root)) {}

std::unique_ptr<DirectoryListing> LinuxFileSystem::List(std::string_view path) {
  const std::string native = NativePathOf(path, unc_root_);
  int error = 0;
  UniqueFd fd = OpenPath(native, O_RDONLY | O_DIRECTORY | O_CLOEXEC, error);
  if (!fd) throw ErrorFor(error, path, kFsPathNotFound);
  // The root fixes the drive: nothing opened through it may lie on another file system.
  return LinuxDirectoryListing::Open(
      std::move(fd), std::make_shared<PathLink>(nullptr, std::string(path)), std::nullopt);
}

DirEntry LinuxFileSystem::Stat(std::string_view path) {
  const std::string native = NativePathOf(path, unc_root_);
  struct stat info;
  int error = 0;
  if (native.size() < PATH_MAX) {
    if (::lstat(native.c_str(), &info) != 0) error = errno;
  } else {
    const std::size_t slash = native.rfind('/');
    const std::string parent = slash == 0 ? std::string("/") : native.substr(0, slash);
    UniqueFd dir = OpenPath(parent, O_PATH | O_DIRECTORY | O_CLOEXEC, error);
    if (dir && ::fstatat(dir.get(), native.c_str() + slash + 1, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      error = errno;
    }
  }
  if (error != 0) throw ErrorFor(error, path, kFsFileNotFound);

  DirEntry entry;
  std::string_view name = path;
  while (name.size() > 1 && (name.back() == '\\' || name.back() == '/')) name.remove_suffix(1);
  const std::size_t separator = name.find_last_of("\\/");
  if (separator != std::string_view::npos && name.size() > 1) name.remove_prefix(separator + 1);
  entry.name = std::string(name);
  Measure(info, entry);
  return entry;
}

std::vector<std::string> LinuxFileSystem::FixedDrives() {
  if (const char* listed = std::getenv("BRONTAL_DRIVES")) return SplitDriveList(listed);
  std::string text;
  std::vector<MountEntry> mounts;
  if (ReadWholeFile("/proc/self/mountinfo", text)) {
    mounts = ParseMountInfo(text);
  } else if (ReadWholeFile("/proc/mounts", text)) {
    mounts = ParseProcMounts(text);
  }
  std::vector<std::string> drives;
  for (std::string& point : LocalDiskMountPoints(mounts)) {
    // Containers bind single files (/etc/hosts) from the host's disk; those are no drives.
    struct stat info;
    if (::stat(point.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      drives.push_back(std::move(point));
    }
  }
  return drives;
}

std::int64_t LinuxFileSystem::FreeBytes(std::string_view drive) {
  struct statvfs info;
  if (::statvfs(NativePathOf(drive, unc_root_).c_str(), &info) != 0) return 0;
  return ClampedProduct(info.f_bavail, info.f_frsize);
}

std::int64_t LinuxFileSystem::TotalBytes(std::string_view drive) {
  struct statvfs info;
  if (::statvfs(NativePathOf(drive, unc_root_).c_str(), &info) != 0) return 0;
  return ClampedProduct(info.f_blocks, info.f_frsize);
}

std::string LinuxFileSystem::ShortPathOf(std::string_view path) { return std::string(path); }

std::string LinuxFileSystem::ComputerName() {
  // Containers have meaningless host names, and two scanners on one machine may stand for two
  // nodes.
  if (const char* name = std::getenv("BRONTAL_NODENAME"); name != nullptr && *name != '\0') {
    return name;
  }
  char buffer[HOST_NAME_MAX + 1] = {};
  if (::gethostname(buffer, sizeof buffer) != 0) {
    throw FsError(kFsPathFileAccess, "Cannot read the host name (" + ErrnoText(errno) + ")");
  }
  buffer[HOST_NAME_MAX] = '\0';  // a cut-off name need not be terminated
  std::string name(buffer);
  return name.substr(0, name.find('.'));
}

bool LinuxFileSystem::IsNT() { return true; }

std::unique_ptr<FileSystem> MakeLinuxFileSystem() {
  return std::make_unique<LinuxFileSystem>(UncRootFromEnvironment());
}

}  // namespace brontal
