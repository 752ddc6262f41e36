// Whole-file operations on a Linux file system, local or network-mounted.
#pragma once

#include "platform/file_operations.h"

namespace brontal {

class LinuxFileOperations : public FileOperations {
 public:
  void Delete(const std::string& path) override;
  // link(2); EPERM, EXDEV, EMLINK and "operation not supported" count as kFsNotSupported,
  // since a caller that has another way (a rename) should take it in all of these cases.
  void HardLink(const std::string& existing, const std::string& new_path) override;
  // renameat2 with RENAME_NOREPLACE, or a check and a rename on file systems without it.
  void Rename(const std::string& from, const std::string& to) override;
  void RenameOver(const std::string& from, const std::string& to) override;
  // fchown; EPERM, and EINVAL for an id this user namespace cannot name, are
  // kFsPermissionDenied.
  void CopyOwner(const std::string& from, const std::string& to) override;
  // fchmod of set-id, sticky and permission bits.
  void CopyMode(const std::string& from, const std::string& to) override;
  // fsync of the folder; EINVAL and EROFS (no flushing of folders there) count as done.
  void FlushFolder(const std::string& folder) override;
};

}  // namespace brontal
