// The file system of a Linux computer seen through the Windows-shaped model the logic works
// with: "\" separators, drives named by the mount points of local disks, \\node\share paths.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/filesystem.h"

namespace brontal {

// The folder under which \\node\share paths resolve: BRONTAL_UNC_ROOT, or "/net" (the
// automounter's host map) when it is unset or empty.
std::string UncRootFromEnvironment();

// The path the system understands for a logical path. "\" and "/" both separate components and
// runs of them collapse to one "/" ("/" + "\" + "etc" gives "/etc"); what LogicalNameOf made of
// a native "\" or U+FF3C turns back into it (a U+FF3C on its own stands for a "\");
// \\node\share\rest becomes unc_root/node/share/rest. A trailing separator is dropped unless
// the result is "/" itself. Case and all other bytes are kept. A database server's URI
// (postgresql://...) is no path and comes back as it is.
std::string NativePathOf(std::string_view logical_path, std::string_view unc_root);

// A native file name as listings show it: each "\" becomes U+FF3C, so that "\" always
// separates components, and a native U+FF3C becomes U+FF3C U+FE00 (a "\" before U+FE00 or
// U+FE01 becomes U+FF3C U+FE01), so that every name maps back to itself through NativePathOf.
// Other bytes, invalid UTF-8 included, are kept.
std::string LogicalNameOf(std::string_view native_name);

// One line of the mount table.
struct MountEntry {
  std::string mount_point;  // octal escapes (\040 for a blank) decoded
  std::string type;         // "ext4", "tmpfs", "fuse.sshfs", ...
};

// The mounts of /proc/self/mountinfo text, in its order; malformed lines are skipped.
std::vector<MountEntry> ParseMountInfo(std::string_view text);

// The mounts of /proc/mounts (fstab-format) text, in its order; malformed lines are skipped.
std::vector<MountEntry> ParseProcMounts(std::string_view text);

// Whether a file system type keeps its data on a local disk (ext4, xfs, btrfs, vfat, ntfs3, ...);
// false for virtual, memory, network, overlay, squashfs and FUSE types.
bool IsLocalDiskType(std::string_view type);

// The drives among mounts: "/" first whenever it is mounted, then each other mount point whose
// visible (last) mount is a local disk type, once, in the order it first appears.
std::vector<std::string> LocalDiskMountPoints(const std::vector<MountEntry>& mounts);

// The drives of a BRONTAL_DRIVES value: the ":"-separated items in order, empty ones skipped.
std::vector<std::string> SplitDriveList(std::string_view text);

// The file system of this computer. It may be used from several threads as FileSystem allows:
// it keeps no state of its own after construction, and a listing's Id, OpenChild and
// OpenParent read only what was fixed when the listing was opened.
class LinuxFileSystem : public FileSystem {
 public:
  // \\node\share paths resolve under unc_root.
  explicit LinuxFileSystem(std::string unc_root = UncRootFromEnvironment());

  // Lists with one fstatat per entry relative to the open directory, so that paths longer than
  // PATH_MAX work too; the path may pass through symbolic links, what is opened through the
  // result never does (openat with O_NOFOLLOW), nor leaves the result's file system. Throws
  // FsError kFsPathNotFound (missing or not a directory), kFsPermissionDenied, or
  // kFsPathFileAccess, with a description naming the path.
  std::unique_ptr<DirectoryListing> List(std::string_view path) override;
  // The entry of one path, not following a final symbolic link; its name is the last logical
  // component. Throws FsError kFsFileNotFound when the path does not exist.
  DirEntry Stat(std::string_view path) override;
  // BRONTAL_DRIVES when it is set (an empty value gives no drives); otherwise the root and the
  // mount points of local disks that are directories, from /proc/self/mountinfo or
  // /proc/mounts. Empty when neither table can be read.
  std::vector<std::string> FixedDrives() override;
  // Bytes available to an unprivileged user and the file system's size; 0 on failure.
  std::int64_t FreeBytes(std::string_view drive) override;
  std::int64_t TotalBytes(std::string_view drive) override;
  // The path itself: there are no short names.
  std::string ShortPathOf(std::string_view path) override;
  // BRONTAL_NODENAME when it is set and not empty, as it is; otherwise the host name up to its
  // first ".". Throws FsError kFsPathFileAccess when the host name cannot be read.
  std::string ComputerName() override;
  // Always true: allocated space can be measured.
  bool IsNT() override;

 private:
  std::string unc_root_;
};

// The file system of this computer, with \\node\share resolved as the environment says.
std::unique_ptr<FileSystem> MakeLinuxFileSystem();

}  // namespace brontal
