// The file system as the scanner sees it: logical paths with "\" separators, drives, shares
// \\node\share, directory listings whose entries come with their attributes and sizes, and the
// free and total space of a drive.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace brontal {

// Error numbers of file-system failures, as the programs log them.
inline constexpr int kFsFileNotFound = 53;
inline constexpr int kFsDeviceIo = 57;
inline constexpr int kFsFileExists = 58;
inline constexpr int kFsPermissionDenied = 70;
inline constexpr int kFsPathFileAccess = 75;
inline constexpr int kFsPathNotFound = 76;
inline constexpr int kFsNotSupported = 445;  // the file system cannot do this at all

// A failed file-system call: a number above and a description naming the path.
class FsError : public std::runtime_error {
 public:
  FsError(int number, const std::string& description)
      : std::runtime_error(description), number_(number) {}
  int Number() const { return number_; }

 private:
  int number_;
};

// Attribute bits as the programs test them.
inline constexpr int kAttrReadOnly = 1;
inline constexpr int kAttrHidden = 2;
inline constexpr int kAttrSystem = 4;
inline constexpr int kAttrDirectory = 16;

// One entry of a listing, measured when it was listed. A failure to read the attributes, or to
// measure the size, is held in the entry for the caller to handle as it sees fit.
struct DirEntry {
  std::string name;    // a native "\" shows as U+FF3C, so that "\" always separates components
  int attributes = 0;  // kAttrDirectory for a directory the walk may enter
  int attributes_error = 0;     // non-zero: the attributes could not be read (kFs... number)
  std::int64_t length = 0;      // bytes, 64-bit
  std::int64_t compressed = 0;  // bytes the file occupies: min(length, allocated blocks x 512)
  int size_error = 0;           // non-zero: the size could not be read (e.g. the file vanished)
  std::string size_error_text;
};

// Which directory an open listing shows, as the file system numbers it: two listings have equal
// identities exactly when they show the same directory.
struct DirectoryId {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const DirectoryId&, const DirectoryId&) = default;
};

// Concurrency: one FileSystem may be used from several threads at once. Its calls, and those
// of different listings, may run at the same time; one listing's Next must not overlap another
// call of its Next, but its Id, OpenChild and OpenParent may run in other threads meanwhile, so
// that several threads can enter the subdirectories of one open directory together. A listing
// must outlive the calls made on it.

// An open directory: its entries one at a time, "." and ".." left out, and the directories next
// to it opened through it rather than by path. Symbolic links are entries of their own length,
// never followed; a directory on another file system (a mount point) is left out, so a walk
// stays on its drive. The directory stays open, for OpenChild and OpenParent, until the object
// goes, also after its listing has ended.
class DirectoryListing {
 public:
  virtual ~DirectoryListing() = default;
  // The next entry into `entry`; false at the end. Throws FsError when the listing breaks; a
  // later call goes on with the next entry where the system allows it, or ends.
  virtual bool Next(DirEntry& entry) = 0;
  // The identity of this directory, read when it was opened.
  virtual DirectoryId Id() const = 0;
  // Opens the subdirectory `name` (a name as listed) through this directory, so that a
  // directory replaced by a symbolic link or a mount since it was listed is never entered.
  // Throws FsError kFsPathNotFound when `name` is no longer a directory, is a symbolic link,
  // lies on another file system than the drive this walk started from, or is no plain name;
  // other FsErrors as List. The result lists from its first entry.
  virtual std::unique_ptr<DirectoryListing> OpenChild(std::string_view name) = 0;
  // Opens the directory this one lies in (its ".."), so that a walk need not hold every
  // ancestor open. The tree may have been moved meanwhile: the caller compares Id() with the
  // ancestor it expects. Throws FsError when it cannot be opened or nothing lies above.
  virtual std::unique_ptr<DirectoryListing> OpenParent() = 0;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens a directory given by its logical path (a trailing "\" is allowed), a walk's root; the
  // walk opens what lies below through the result. Throws FsError (kFsPathNotFound,
  // kFsPermissionDenied, ...) when it cannot be listed.
  virtual std::unique_ptr<DirectoryListing> List(std::string_view path) = 0;
  // Entry of one path, measured as in a listing. Throws FsError when it does not exist.
  virtual DirEntry Stat(std::string_view path) = 0;
  // The fixed drives in the system's order, by logical name.
  virtual std::vector<std::string> FixedDrives() = 0;
  // Free and total bytes of a drive; 0 when they cannot be read.
  virtual std::int64_t FreeBytes(std::string_view drive) = 0;
  virtual std::int64_t TotalBytes(std::string_view drive) = 0;
  // The short form of a path (the path itself where the system has no short names).
  virtual std::string ShortPathOf(std::string_view path) = 0;
  // The name of this computer.
  virtual std::string ComputerName() = 0;
  // Whether sizes can be measured as allocated space (the compressed-size variant).
  virtual bool IsNT() = 0;
};

}  // namespace brontal
