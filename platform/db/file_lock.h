// The open modes of a database file as the programs rely on them: any number of shared opens
// at once, or one exclusive open and nothing else. The engine's own locks last only for a
// transaction, so this is an advisory lock on a file beside the database, held for the life
// of a connection.
#pragma once

#include <string>

namespace brontal::db {

class FileLock {
 public:
  enum class Mode { kShared, kExclusive };

  // The lock file that guards database_path.
  static std::string LockPathFor(const std::string& database_path);

  // Takes the lock without waiting. A lock file this call creates takes the permission bits of
  // the database file, and its owner and group as far as this process may give them; an
  // existing one is left as it is. Throws DbError kInUse when another open holds a conflicting
  // one, kCannotOpen when the lock file can be neither created nor opened.
  static FileLock Acquire(const std::string& database_path, Mode mode);

  FileLock() = default;
  FileLock(FileLock&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileLock& operator=(FileLock&& other) noexcept;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { Release(); }

  // Gives the lock up; nothing when none is held.
  void Release();
  bool held() const { return fd_ >= 0; }

 private:
  explicit FileLock(int fd) : fd_(fd) {}
  int fd_ = -1;
};

}  // namespace brontal::db
