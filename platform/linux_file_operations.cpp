// Whole-file operations over the POSIX calls, with errno turned into the programs' numbers.
#include "platform/linux_file_operations.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace brontal {
namespace {

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

FsError ErrorFor(int error, const std::string& action) {
  const std::string reason = std::strerror(error);
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FsError(kFsFileNotFound, "File not found: could not " + action);
    case EEXIST:
    case ENOTEMPTY:
      return FsError(kFsFileExists, "File already exists: could not " + action);
    case EACCES:
    case EPERM:
    case EROFS:
      return FsError(kFsPermissionDenied, "Permission denied: could not " + action);
    case EIO:
      return FsError(kFsDeviceIo, "Device I/O error: could not " + action);
    default:
      return FsError(kFsPathFileAccess,
                     "Path/File access error: could not " + action + " (" + reason + ")");
  }
}

// The status of `from`, looked at without opening it: closing any descriptor of a database
// would drop the locks that SQLite holds on it in this process.
struct stat StatusOf(const std::string& from, const std::string& action) {
  struct stat info;
  if (::stat(from.c_str(), &info) != 0) throw ErrorFor(errno, action);
  return info;
}

// A descriptor of the file `to` itself, never of what a symbolic link of that name points to.
int OpenToChange(const std::string& to, const std::string& action) {
  int fd = ::open(to.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) throw ErrorFor(errno, action);
  return fd;
}

}  // namespace

void LinuxFileOperations::Delete(const std::string& path) {
  if (::unlink(path.c_str()) != 0) throw ErrorFor(errno, "delete " + Quoted(path));
}

void LinuxFileOperations::HardLink(const std::string& existing, const std::string& new_path) {
  if (::link(existing.c_str(), new_path.c_str()) == 0) return;
  const int error = errno;
  const std::string action = "link " + Quoted(existing) + " as " + Quoted(new_path);
  switch (error) {
    case EPERM:  // vfat, or protected_hardlinks for a file of another user
    case EXDEV:
    case EMLINK:
    case ENOSYS:
    case EOPNOTSUPP:
      throw FsError(kFsNotSupported,
                    "The file system cannot " + action + " (" + std::strerror(error) + ")");
    default:
      throw ErrorFor(error, action);
  }
}

void LinuxFileOperations::Rename(const std::string& from, const std::string& to) {
  const std::string action = "rename " + Quoted(from) + " to " + Quoted(to);
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
  if (errno != EINVAL && errno != ENOSYS) throw ErrorFor(errno, action);
  // No RENAME_NOREPLACE here (some network file systems): the check leaves a window, which the
  // callers close with the database's lock.
  struct stat info;
  if (::lstat(to.c_str(), &info) == 0) throw ErrorFor(EEXIST, action);
  if (::rename(from.c_str(), to.c_str()) != 0) throw ErrorFor(errno, action);
}

void LinuxFileOperations::RenameOver(const std::string& from, const std::string& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) {
    throw ErrorFor(errno, "rename " + Quoted(from) + " over " + Quoted(to));
  }
}

void LinuxFileOperations::CopyOwner(const std::string& from, const std::string& to) {
  const struct stat source = StatusOf(from, "give " + Quoted(to) + " the owner of " + Quoted(from));
  const std::string action = "give " + Quoted(to) + " the owner " + std::to_string(source.st_uid) +
                             ":" + std::to_string(source.st_gid) + " of " + Quoted(from);
  int fd = OpenToChange(to, action);
  int error = ::fchown(fd, source.st_uid, source.st_gid) == 0 ? 0 : errno;
  if (error == EPERM || error == EINVAL) {
    error = EPERM;
    // The group alone is what lets the other accounts in, and a member may give it.
    if (::fchown(fd, static_cast<uid_t>(-1), source.st_gid) != 0) {
      // Not a member either: the file keeps the group it was created with.
    }
  }
  ::close(fd);
  if (error != 0) throw ErrorFor(error, action);
}

void LinuxFileOperations::CopyMode(const std::string& from, const std::string& to) {
  const std::string action = "give " + Quoted(to) + " the permissions of " + Quoted(from);
  const struct stat source = StatusOf(from, action);
  int fd = OpenToChange(to, action);
  int error = ::fchmod(fd, source.st_mode & 07777) == 0 ? 0 : errno;
  ::close(fd);
  if (error != 0) throw ErrorFor(error, action);
}

void LinuxFileOperations::FlushFolder(const std::string& folder) {
  const std::string action = "flush the folder " + Quoted(folder);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) throw ErrorFor(errno, action);
  int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  if (error != 0 && error != EINVAL && error != EROFS) throw ErrorFor(error, action);
}

}  // namespace brontal
