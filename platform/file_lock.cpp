// Open-file-description locks: unlike classic record locks they belong to the open file, so two
// connections inside one process exclude each other as two programs do, and closing some other
// descriptor of the file does not drop them.
#include "platform/file_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/db_error.h"

namespace brontal::db {

std::string FileLock::LockPathFor(const std::string& database_path) {
  return database_path + ".lock";
}

FileLock FileLock::Acquire(const std::string& database_path, Mode mode) {
  const std::string lock_path = LockPathFor(database_path);
  int fd = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
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
