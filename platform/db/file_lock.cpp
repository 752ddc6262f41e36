// Open-file-description locks: unlike classic record locks they belong to the open file, so two
// connections inside one process exclude each other as two programs do, and closing some other
// descriptor of the file does not drop them.
#include "platform/db/file_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/db/db_error.h"

namespace brontal::db {
namespace {

// Whoever opens a database first creates its lock file, for every account that opens it after.
// Left to the creator's umask (and, for root, to the owner root), it would shut out the other
// accounts that may write the database; so it takes the database's owner, group and permission
// bits, as far as this process may give them.
void ShareLikeTheDatabase(const std::string& database_path, int fd) {
  struct stat database;
  if (::stat(database_path.c_str(), &database) != 0) return;  // the open of the database says why
  if (::fchown(fd, database.st_uid, database.st_gid) != 0 &&
      ::fchown(fd, static_cast<uid_t>(-1), database.st_gid) != 0) {
    // Not root and not of the database's group: the lock file stays with the creator's group.
  }
  if (::fchmod(fd, database.st_mode & 0777) != 0) {
    // A file system without permission bits of its own gives every file the same access.
  }
}

}  // namespace

std::string FileLock::LockPathFor(const std::string& database_path) {
  return database_path + ".lock";
}

FileLock FileLock::Acquire(const std::string& database_path, Mode mode) {
  const std::string lock_path = LockPathFor(database_path);
  // Only the process that creates the lock file sets its access; one that exists is as its
  // administrator left it.
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) {
    ShareLikeTheDatabase(database_path, fd);
  } else {
    fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  }
  if (fd < 0 && (errno == EACCES || errno == EROFS)) {
    // A read-only share: a shared lock needs only read access to an existing lock file.
    fd = ::open(lock_path.c_str(), O_RDONLY | O_CLOEXEC);
  }
  if (fd < 0) {
    throw DbError(kCannotOpen, "Could not open the lock file '" + lock_path +
                                   "': " + std::strerror(errno));
  }
  struct flock request {};
  request.l_type = mode == Mode::kExclusive ? F_WRLCK : F_RDLCK;
  request.l_whence = SEEK_SET;
  if (::fcntl(fd, F_OFD_SETLK, &request) != 0) {
    int error = errno;
    ::close(fd);
    if (error == EAGAIN || error == EACCES) {
      throw DbError(kInUse, "Could not use '" + database_path + "'; file already in use.");
    }
    if (error == EBADF && mode == Mode::kExclusive) {
      throw DbError(kCannotOpen, "Could not open '" + database_path +
                                     "' exclusively: the lock file is read-only.");
    }
    throw DbError(kCannotOpen, "Could not lock '" + lock_path + "': " + std::strerror(error));
  }
  return FileLock(fd);
}

FileLock& FileLock::operator=(FileLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void FileLock::Release() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing the description drops its lock
    fd_ = -1;
  }
}

}  // namespace brontal::db
