// Whole-file operations on real files: the error numbers the swap of a database relies on, and
// the fake's faults striking exactly the call or path asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/fake_file_operations.h"
#include "platform/linux_file_operations.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;

// The number of the FsError `action` throws; 0 when it throws none.
template <class Action>
int ErrorNumber(Action action) {
  try {
    action();
  } catch (const FsError& error) {
    return error.Number();
  }
  return 0;
}

class FileOperationsTest : public ::testing::Test {
 protected:
  void Write(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
  }

  testing::TempFolder folder_;
  std::string a_ = folder_ / "a.mdb";
  std::string b_ = folder_ / "b.mdb";
};

TEST_F(FileOperationsTest, DeleteTellsAMissingFileFromOneThatCannotGo) {
  LinuxFileOperations files;
  Write(a_, "x");
  files.Delete(a_);
  EXPECT_FALSE(fs::exists(a_));
  EXPECT_EQ(ErrorNumber([&] { files.Delete(a_); }), kFsFileNotFound);
  fs::create_directories(folder_.path() / "dir.md2" / "inside");
  EXPECT_EQ(ErrorNumber([&] { files.Delete(folder_ / "dir.md2"); }), kFsPathFileAccess);
  EXPECT_TRUE(fs::exists(folder_.path() / "dir.md2" / "inside"));
}

TEST_F(FileOperationsTest, HardLinkGivesTheSameFileASecondNameButNeverReplaces) {
  LinuxFileOperations files;
  Write(a_, "old");
  files.HardLink(a_, b_);
  EXPECT_TRUE(fs::equivalent(a_, b_));
  Write(folder_ / "c", "other");
  EXPECT_EQ(ErrorNumber([&] { files.HardLink(folder_ / "c", b_); }), kFsFileExists);
  EXPECT_EQ(ReadWholeFile(b_), "old");
  EXPECT_EQ(ErrorNumber([&] { files.HardLink(folder_ / "none", folder_ / "d"); }), kFsFileNotFound);
}

TEST_F(FileOperationsTest, RenameRefusesAnExistingTargetWhileRenameOverReplacesIt) {
  LinuxFileOperations files;
  Write(a_, "new");
  Write(b_, "old");
  EXPECT_EQ(ErrorNumber([&] { files.Rename(a_, b_); }), kFsFileExists);
  EXPECT_EQ(ReadWholeFile(a_), "new");
  EXPECT_EQ(ReadWholeFile(b_), "old");

  files.RenameOver(a_, b_);
  EXPECT_FALSE(fs::exists(a_));
  EXPECT_EQ(ReadWholeFile(b_), "new");

  files.Rename(b_, a_);
  EXPECT_EQ(ReadWholeFile(a_), "new");
  EXPECT_EQ(ErrorNumber([&] { files.Rename(b_, folder_ / "c"); }), kFsFileNotFound);
  EXPECT_EQ(ErrorNumber([&] { files.RenameOver(b_, a_); }), kFsFileNotFound);
  EXPECT_EQ(ReadWholeFile(a_), "new");
}

TEST_F(FileOperationsTest, FlushFolderNeedsAFolder) {
  LinuxFileOperations files;
  files.FlushFolder(folder_.path().string());
  EXPECT_EQ(ErrorNumber([&] { files.FlushFolder(folder_ / "none"); }), kFsFileNotFound);
}

TEST_F(FileOperationsTest, FakeFailsTheNthCallOnlyAndDoesTheOthers) {
  FakeFileOperations files;
  Write(a_, "x");
  files.FailCall(2, kFsDeviceIo, "Device I/O error");
  files.HardLink(a_, b_);
  EXPECT_EQ(ErrorNumber([&] { files.Delete(a_); }), kFsDeviceIo);
  EXPECT_TRUE(fs::exists(a_));  // the failed call did nothing
  files.Delete(a_);
  EXPECT_FALSE(fs::exists(a_));
  EXPECT_EQ(files.Calls(),
            (std::vector<std::string>{"link " + a_ + " " + b_, "delete " + a_, "delete " + a_}));

  files.FailCall(1, kFsPermissionDenied, "Permission denied", /*persist=*/true);
  EXPECT_EQ(ErrorNumber([&] { files.FlushFolder(folder_.path().string()); }), kFsPermissionDenied);
  EXPECT_EQ(ErrorNumber([&] { files.Delete(b_); }), kFsPermissionDenied);
  EXPECT_TRUE(fs::exists(b_));
}

TEST_F(FileOperationsTest, FakeFailsTheNamedTargetOfOneKindOfCall) {
  FakeFileOperations files;
  Write(a_, "x");
  files.FailOn(FakeFileOperations::Call::kRenameOver, b_, kFsPermissionDenied, "denied");
  files.FailOn(FakeFileOperations::Call::kHardLink, "", kFsNotSupported, "no links");
  EXPECT_EQ(ErrorNumber([&] { files.HardLink(a_, folder_ / "c"); }), kFsNotSupported);
  EXPECT_EQ(ErrorNumber([&] { files.RenameOver(a_, b_); }), kFsPermissionDenied);
  EXPECT_FALSE(fs::exists(b_));
  files.Rename(a_, b_);      // the same target by another call
  files.RenameOver(b_, a_);  // another target
  EXPECT_TRUE(fs::exists(a_));

  std::vector<bool> existed;
  files.BeforeEachCall([&](const std::string&) { existed.push_back(fs::exists(a_)); });
  files.Delete(a_);
  files.FlushFolder(folder_.path().string());
  EXPECT_EQ(existed, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace brontal
