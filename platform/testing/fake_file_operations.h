// Whole-file operations on the real file system with faults injected at the N-th call or at a
// named path, the way a test VFS injects them, and a record of every call.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/linux_file_operations.h"

namespace brontal {

class FakeFileOperations : public FileOperations {
 public:
  enum class Call { kDelete, kHardLink, kRename, kRenameOver, kCopyOwner, kCopyMode, kFlushFolder };

  // Makes the `nth` call from now on (1: the next one) throw FsError(number, text) without
  // touching any file; every later call too when `persist` is set. A later FailCall replaces
  // an earlier one.
  void FailCall(int nth, int number, std::string text, bool persist = false);
  // Makes every `call` whose target is `path` throw FsError(number, text) without touching any
  // file. The target is the path a call creates, removes or changes: Delete's path, HardLink's
  // new name, the `to` of both renames and of both copies, FlushFolder's folder; an empty
  // `path` matches every target.
  void FailOn(Call call, std::string path, int number, std::string text);
  // Runs `hook` with the call's description before each call, so that a test can look at the
  // files between two steps.
  void BeforeEachCall(std::function<void(const std::string& call)> hook) { hook_ = hook; }
  // Every call so far, failed ones included: "delete P", "link A B", "rename A B",
  // "rename-over A B", "copy-owner A B", "copy-mode A B", "flush F".
  const std::vector<std::string>& Calls() const { return calls_; }

  void Delete(const std::string& path) override;
  void HardLink(const std::string& existing, const std::string& new_path) override;
  void Rename(const std::string& from, const std::string& to) override;
  void RenameOver(const std::string& from, const std::string& to) override;
  void CopyOwner(const std::string& from, const std::string& to) override;
  void CopyMode(const std::string& from, const std::string& to) override;
  void FlushFolder(const std::string& folder) override;

 private:
  struct PathFault {
    Call call;
    std::string path;
    int number;
    std::string text;
  };

  // Records the call and throws the fault it is to fail with, if any.
  void Enter(Call call, const std::string& description, const std::string& target);

  LinuxFileOperations real_;
  std::vector<PathFault> path_faults_;
  std::function<void(const std::string&)> hook_;
  std::vector<std::string> calls_;
  int countdown_ = 0;  // calls until the injected one; 0 for none
  bool persist_ = false;
  bool failing_ = false;  // a persistent fault has struck
  int call_number_ = 0;
  std::string call_text_;
};

}  // namespace brontal
