// Whole-file operations on real files: the error numbers the swap of a database relies on, and
// the fake's faults striking exactly the call or path asked for.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/fake_file_operations.h"
#include "platform/linux_file_operations.h"
#include "platform/testing/file_access.h"
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

  static struct stat StatusOf(const std::string& path) {
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
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

TEST_F(FileOperationsTest, CopyOwnerAndCopyModeHandOnTheAccessOfAFileTheyOnlyLookAt) {
  LinuxFileOperations files;
  Write(a_, "database");
  Write(b_, "copy");
  ASSERT_EQ(::chmod(a_.c_str(), 02660), 0);
  ASSERT_EQ(::chmod(b_.c_str(), 0644), 0);
  if (testing::RunningAsRoot()) {
    ASSERT_EQ(::chown(a_.c_str(), 1234, 2345), 0);
  }
  const struct stat before = StatusOf(a_);
  files.CopyOwner(a_, b_);
  files.CopyMode(a_, b_);
  const struct stat copy = StatusOf(b_);
  EXPECT_EQ(copy.st_mode & 07777, 02660u);
  EXPECT_EQ(copy.st_uid, before.st_uid);
  EXPECT_EQ(copy.st_gid, before.st_gid);
  EXPECT_EQ(ReadWholeFile(b_), "copy");

  // A name that is a symbolic link is not followed to change some other file.
  const std::string link = folder_ / "link.md1";
  Write(folder_ / "elsewhere", "x");
  ASSERT_EQ(::chmod((folder_ / "elsewhere").c_str(), 0600), 0);
  fs::create_symlink(folder_ / "elsewhere", link);
  EXPECT_EQ(ErrorNumber([&] { files.CopyMode(a_, link); }), kFsPathFileAccess);
  EXPECT_EQ(ErrorNumber([&] { files.CopyOwner(a_, link); }), kFsPathFileAccess);
  EXPECT_EQ(StatusOf(folder_ / "elsewhere").st_mode & 07777, 0600u);

  EXPECT_EQ(ErrorNumber([&] { files.CopyMode(folder_ / "none", b_); }), kFsFileNotFound);
  EXPECT_EQ(ErrorNumber([&] { files.CopyOwner(a_, folder_ / "none"); }), kFsFileNotFound);
}

TEST_F(FileOperationsTest, AnOwnerThatMayNotBeGivenIsRefusedButTheGroupIsKept) {
  if (!testing::RunningAsRoot()) {
    GTEST_SKIP() << "needs root, to own a file by another account than the one copying it";
  }
  // The copy is made by account 1235, a member of group 2345 only.
  ASSERT_EQ(::chmod(folder_.path().c_str(), 0777), 0);
  const std::string in_group = folder_ / "in_group.mdb", out_of_group = folder_ / "other.mdb";
  for (const std::string& database : {in_group, out_of_group}) {
    Write(database, "database");
    ASSERT_EQ(::chmod(database.c_str(), 0660), 0);
  }
  ASSERT_EQ(::chown(in_group.c_str(), 1234, 2345), 0);
  ASSERT_EQ(::chown(out_of_group.c_str(), 1234, 3456), 0);
  auto copy_owner = [&](const std::string& database, const std::string& copy) {
    return testing::RunAsAccount(1235, 2345, [&](std::string&) {
      std::ofstream(copy) << "copy";
      return ErrorNumber([&] { LinuxFileOperations().CopyOwner(database, copy); });
    });
  };
  EXPECT_EQ(copy_owner(in_group, b_).status, kFsPermissionDenied);
  EXPECT_EQ(StatusOf(b_).st_uid, 1235u);
  EXPECT_EQ(StatusOf(b_).st_gid, 2345u);  // the group, which lets the other accounts in

  const std::string c = folder_ / "c.mdb";
  EXPECT_EQ(copy_owner(out_of_group, c).status, kFsPermissionDenied);
  EXPECT_EQ(StatusOf(c).st_uid, 1235u);
  EXPECT_EQ(StatusOf(c).st_gid, 2345u);
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
  files.FailOn(FakeFileOperations::Call::kCopyMode, b_, kFsDeviceIo, "Device I/O error");
  EXPECT_EQ(ErrorNumber([&] { files.HardLink(a_, folder_ / "c"); }), kFsNotSupported);
  Write(b_, "copy");
  ASSERT_EQ(::chmod(b_.c_str(), 0600), 0);
  files.CopyOwner(a_, b_);  // the same target by another call
  EXPECT_EQ(ErrorNumber([&] { files.CopyMode(a_, b_); }), kFsDeviceIo);
  EXPECT_EQ(StatusOf(b_).st_mode & 0777, 0600u);
  files.Delete(b_);
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
