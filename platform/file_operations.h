// The operations on whole files that replacing a database by its compacted copy needs: delete,
// a second name, renames with and without replacing, handing on owner and permissions, and
// making a folder's entries durable.
#pragma once

#include <string>

#include "platform/filesystem.h"

namespace brontal {

// Paths are native. Every failure throws FsError with a number of filesystem.h and a
// description naming the paths.
class FileOperations {
 public:
  virtual ~FileOperations() = default;

  // Removes the file. kFsFileNotFound when nothing is there, kFsPermissionDenied,
  // kFsPathFileAccess for anything else (a folder, for instance).
  virtual void Delete(const std::string& path) = 0;
  // Gives the existing file the second name new_path; both then name the same file.
  // kFsNotSupported when the file system has no hard links (or refuses one to this user),
  // kFsFileExists when new_path exists, kFsFileNotFound when existing does not.
  virtual void HardLink(const std::string& existing, const std::string& new_path) = 0;
  // Renames from to `to`, which must not exist (kFsFileExists), as a plain rename of a file
  // does everywhere; kFsFileNotFound when from does not exist.
  virtual void Rename(const std::string& from, const std::string& to) = 0;
  // Moves from onto `to` in one atomic step, replacing any file there, so that `to` names
  // either the old file or the new one at every moment.
  virtual void RenameOver(const std::string& from, const std::string& to) = 0;
  // Gives the file `to` the owner and group of the file `from`. Only root gives a file away:
  // an owner this process may not give is kFsPermissionDenied, after `to` has taken the group
  // where this process may give that alone (it is a member of it). `from` is only looked at,
  // never opened.
  virtual void CopyOwner(const std::string& from, const std::string& to) = 0;
  // Gives the file `to` the permission bits of the file `from`, which is only looked at.
  virtual void CopyMode(const std::string& from, const std::string& to) = 0;
  // Makes the names created, renamed or removed in `folder` survive a crash. A file system
  // that cannot flush a folder at all makes this do nothing.
  virtual void FlushFolder(const std::string& folder) = 0;
};

}  // namespace brontal
