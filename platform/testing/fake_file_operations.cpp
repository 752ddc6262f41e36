// Fault injection over the real whole-file operations.
#include "platform/testing/fake_file_operations.h"

#include <utility>

namespace brontal {

void FakeFileOperations::FailCall(int nth, int number, std::string text, bool persist) {
  countdown_ = nth;
  persist_ = persist;
  failing_ = false;
  call_number_ = number;
  call_text_ = std::move(text);
}

void FakeFileOperations::FailOn(Call call, std::string path, int number, std::string text) {
  path_faults_.push_back({call, std::move(path), number, std::move(text)});
}

void FakeFileOperations::Enter(Call call, const std::string& description,
                               const std::string& target) {
  if (hook_) hook_(description);
  calls_.push_back(description);
  if (failing_ || (countdown_ > 0 && --countdown_ == 0)) {
    failing_ = persist_;
    throw FsError(call_number_, call_text_);
  }
  for (const PathFault& fault : path_faults_) {
    if (fault.call == call && (fault.path.empty() || fault.path == target)) {
      throw FsError(fault.number, fault.text);
    }
  }
}

void FakeFileOperations::Delete(const std::string& path) {
  Enter(Call::kDelete, "delete " + path, path);
  real_.Delete(path);
}

void FakeFileOperations::HardLink(const std::string& existing, const std::string& new_path) {
  Enter(Call::kHardLink, "link " + existing + " " + new_path, new_path);
  real_.HardLink(existing, new_path);
}

void FakeFileOperations::Rename(const std::string& from, const std::string& to) {
  Enter(Call::kRename, "rename " + from + " " + to, to);
  real_.Rename(from, to);
}

void FakeFileOperations::RenameOver(const std::string& from, const std::string& to) {
  Enter(Call::kRenameOver, "rename-over " + from + " " + to, to);
  real_.RenameOver(from, to);
}

void FakeFileOperations::CopyOwner(const std::string& from, const std::string& to) {
  Enter(Call::kCopyOwner, "copy-owner " + from + " " + to, to);
  real_.CopyOwner(from, to);
}

void FakeFileOperations::CopyMode(const std::string& from, const std::string& to) {
  Enter(Call::kCopyMode, "copy-mode " + from + " " + to, to);
  real_.CopyMode(from, to);
}

void FakeFileOperations::FlushFolder(const std::string& folder) {
  Enter(Call::kFlushFolder, "flush " + folder, folder);
  real_.FlushFolder(folder);
}

}  // namespace brontal
