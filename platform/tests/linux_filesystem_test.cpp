// The Linux file system on real trees the tests build: awkward names, sparse and linked files,
// unreadable and very deep folders, mount points, and the path and drive mapping.
#include "platform/linux_filesystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <limits.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>

#include "platform/testing/disk_tree.h"
#include "platform/testing/env_guard.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

using testing::DeepTree;
using testing::EnvGuard;
using testing::LogicalOf;
using testing::TempFolder;

const std::string kFullwidthBackslash = "\xEF\xBC\xBC";

void WriteFile(const std::string& path, std::string_view content) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << path << ": " << std::strerror(errno);
  ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ASSERT_EQ(::fsync(fd), 0);  // delayed allocation would otherwise hide the blocks
  ASSERT_EQ(::close(fd), 0);
}

void MakeDir(const std::string& path, mode_t mode = 0755) {
  ASSERT_EQ(::mkdir(path.c_str(), mode), 0) << path << ": " << std::strerror(errno);
}

// The whole listing by name.
std::map<std::string, DirEntry> ListAll(DirectoryListing& listing) {
  std::map<std::string, DirEntry> entries;
  DirEntry entry;
  while (listing.Next(entry)) {
    EXPECT_TRUE(entries.emplace(entry.name, entry).second) << "listed twice: " << entry.name;
  }
  EXPECT_FALSE(listing.Next(entry)) << "a finished listing stays finished";
  return entries;
}

std::map<std::string, DirEntry> ListAll(FileSystem& fs, std::string_view path) {
  return ListAll(*fs.List(path));
}

// Runs `check` in a child process, as an unprivileged user when `unprivileged` is set and this
// process is root; returns its exit code (0 passed, 77 could not be arranged, else failed).
int RunInChild(bool unprivileged, const std::function<int()>& check) {
  std::cout.flush();
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (unprivileged && ::geteuid() == 0) {
      const gid_t nobody = 65534;
      if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
        ::_exit(77);
      }
    }
    ::_exit(check());
  }
  if (pid < 0) return 77;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return 1;
  return WEXITSTATUS(status);
}

TEST(NativePathTest, SeparatorsCollapseAndTrailingOnesGo) {
  EXPECT_EQ(NativePathOf("/\\etc", "/net"), "/etc");
  EXPECT_EQ(NativePathOf("/home\\user\\Documents", "/net"), "/home/user/Documents");
  EXPECT_EQ(NativePathOf("/home\\\\user\\", "/net"), "/home/user");
  EXPECT_EQ(NativePathOf("/", "/net"), "/");
  EXPECT_EQ(NativePathOf("/\\", "/net"), "/");
  EXPECT_EQ(NativePathOf("/data\\Mixed Case\\x.TXT", "/net"), "/data/Mixed Case/x.TXT");
}

TEST(NativePathTest, UncPathsResolveUnderTheRoot) {
  EXPECT_EQ(NativePathOf("\\\\server2\\users\\x", "/net"), "/net/server2/users/x");
  EXPECT_EQ(NativePathOf("\\\\SERVER2\\USERS", "/net"), "/net/SERVER2/USERS");
  EXPECT_EQ(NativePathOf("\\\\server2\\D$\\", "/srv/unc/"), "/srv/unc/server2/D$");
  EXPECT_EQ(NativePathOf("\\\\server2", "/net"), "/net/server2");
}

TEST(NativePathTest, NamesKeepTheirBytesAndBackslashesRoundTrip) {
  EXPECT_EQ(LogicalNameOf("a\\b\\"), "a" + kFullwidthBackslash + "b" + kFullwidthBackslash);
  EXPECT_EQ(LogicalNameOf("plain name.txt"), "plain name.txt");
  const std::string awkward = "new\nline \xff\xfe \"q\" *?\\";
  EXPECT_EQ(NativePathOf("/tmp\\" + LogicalNameOf(awkward), "/net"), "/tmp/" + awkward);
  // An incomplete U+FF3C sequence is just bytes of a name.
  EXPECT_EQ(NativePathOf("/x\\\xEF\xBC"
                         "y",
                         "/net"),
            "/x/\xEF\xBC"
            "y");
}

TEST(NativePathTest, UncRootComesFromTheEnvironment) {
  {
    EnvGuard root("BRONTAL_UNC_ROOT", "/mnt/hosts");
    EXPECT_EQ(UncRootFromEnvironment(), "/mnt/hosts");
  }
  {
    EnvGuard root("BRONTAL_UNC_ROOT", "");
    EXPECT_EQ(UncRootFromEnvironment(), "/net");
  }
  EnvGuard root("BRONTAL_UNC_ROOT", nullptr);
  EXPECT_EQ(UncRootFromEnvironment(), "/net");
}

TEST(MountTableTest, MountInfoFields) {
  const std::string text =
      "21 26 0:20 / /proc rw,relatime - proc proc rw\n"
      "26 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
      "40 26 8:2 / /srv/My\\040Data rw shared:5 master:2 - xfs /dev/sdb1 rw\n"
      "41 26 8:3 /sub /back\\134slash rw - btrfs /dev/sdc rw\n"
      "garbage line\n"
      "42 26 0:50 / /no-type rw -\n";
  const std::vector<MountEntry> mounts = ParseMountInfo(text);
  ASSERT_EQ(mounts.size(), 4u);
  EXPECT_EQ(mounts[0].mount_point, "/proc");
  EXPECT_EQ(mounts[0].type, "proc");
  EXPECT_EQ(mounts[1].mount_point, "/");
  EXPECT_EQ(mounts[1].type, "ext4");
  EXPECT_EQ(mounts[2].mount_point, "/srv/My Data");
  EXPECT_EQ(mounts[2].type, "xfs");
  EXPECT_EQ(mounts[3].mount_point, "/back\\slash");
}

TEST(MountTableTest, ProcMountsFields) {
  const std::vector<MountEntry> mounts = ParseProcMounts(
      "/dev/sda1 / ext4 rw 0 0\n"
      "server:/export /mnt/with\\040blank nfs4 rw 0 0\n"
      "short\n");
  ASSERT_EQ(mounts.size(), 2u);
  EXPECT_EQ(mounts[0].mount_point, "/");
  EXPECT_EQ(mounts[1].mount_point, "/mnt/with blank");
  EXPECT_EQ(mounts[1].type, "nfs4");
}

TEST(MountTableTest, DrivesAreRootThenLocalDisksOnce) {
  const std::vector<MountEntry> mounts = {{"/proc", "proc"},          {"/sys", "sysfs"},
                                          {"/dev", "devtmpfs"},       {"/data", "xfs"},
                                          {"/run", "tmpfs"},          {"/", "ext4"},
                                          {"/home", "btrfs"},         {"/sys/fs/cgroup", "cgroup2"},
                                          {"/net/srv", "nfs4"},       {"/mnt/win", "cifs"},
                                          {"/mnt/ssh", "fuse.sshfs"}, {"/mnt/ntfs3g", "fuseblk"},
                                          {"/snap/core", "squashfs"}, {"/var/lib/x", "overlay"},
                                          {"/boot/efi", "vfat"},      {"/data", "xfs"},
                                          {"/scratch", "ext4"},       {"/scratch", "tmpfs"},
                                          {"/win", "ntfs3"}};
  EXPECT_EQ(LocalDiskMountPoints(mounts),
            (std::vector<std::string>{"/", "/data", "/home", "/boot/efi", "/win"}));
}

TEST(MountTableTest, RootIsADriveWhateverCarriesIt) {
  EXPECT_EQ(LocalDiskMountPoints({{"/", "overlay"}, {"/work", "ext4"}, {"/proc", "proc"}}),
            (std::vector<std::string>{"/", "/work"}));
  EXPECT_TRUE(LocalDiskMountPoints({{"/proc", "proc"}}).empty());
}

TEST(MountTableTest, DriveListSplitsOnColons) {
  EXPECT_EQ(SplitDriveList("/:/home::/data/"), (std::vector<std::string>{"/", "/home", "/data/"}));
  EXPECT_TRUE(SplitDriveList("").empty());
  EXPECT_TRUE(SplitDriveList(":").empty());
}

class LinuxFileSystemTest : public ::testing::Test {
 protected:
  LinuxFileSystem fs_{"/net"};
  TempFolder temp_;
};

TEST_F(LinuxFileSystemTest, AwkwardNamesListAndStatBack) {
  const std::vector<std::string> names = {"it's \"quoted\"",     "star*",     "what?",
                                          "back\\slash",         "new\nline", "bad\xff\xfe utf8",
                                          std::string(255, 'n'), ".hidden",   "  blanks  ",
                                          "caf\xc3\xa9"};
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / names[i], std::string(i + 1, 'x')));
  }
  const std::string folder = LogicalOf(temp_.path().string());
  const std::map<std::string, DirEntry> entries = ListAll(fs_, folder + "\\");
  ASSERT_EQ(entries.size(), names.size());
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string logical = LogicalNameOf(names[i]);
    auto found = entries.find(logical);
    ASSERT_NE(found, entries.end()) << names[i];
    EXPECT_EQ(found->second.length, static_cast<std::int64_t>(i + 1)) << names[i];
    EXPECT_EQ(found->second.size_error, 0);
    EXPECT_EQ(found->second.attributes & kAttrDirectory, 0);
    EXPECT_EQ((found->second.attributes & kAttrHidden) != 0, names[i][0] == '.') << names[i];

    const DirEntry stat = fs_.Stat(folder + "\\" + logical);
    EXPECT_EQ(stat.name, logical);
    EXPECT_EQ(stat.length, static_cast<std::int64_t>(i + 1));
  }
  EXPECT_EQ(entries.count("back" + kFullwidthBackslash + "slash"), 1u);
}

TEST_F(LinuxFileSystemTest, FolderWithBackslashInItsNameCanBeEntered) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "odd\\folder"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "odd\\folder/inside", "abc"));
  const std::string folder = LogicalOf(temp_.path().string());
  const auto top = ListAll(fs_, folder);
  const std::string logical = "odd" + kFullwidthBackslash + "folder";
  ASSERT_EQ(top.count(logical), 1u);
  EXPECT_EQ(top.at(logical).attributes & kAttrDirectory, kAttrDirectory);
  const auto inside = ListAll(fs_, folder + "\\" + logical);
  ASSERT_EQ(inside.count("inside"), 1u);
  EXPECT_EQ(inside.at("inside").length, 3);
}

TEST(NativePathTest, EveryNativeNameMapsBackToItselfAndToNoOtherName) {
  // Every name of up to four pieces from the characters the mapping treats specially, their
  // fragments and plain bytes.
  const std::vector<std::string> pieces = {
      "\\", kFullwidthBackslash, "\xEF\xB8\x80", "\xEF\xB8\x81", "x", "\xEF", "\xBC"};
  std::vector<std::string> names = {""};
  for (std::size_t begin = 0, length = 0; length < 4; ++length) {
    const std::size_t end = names.size();
    for (std::size_t i = begin; i < end; ++i) {
      for (const std::string& piece : pieces) names.push_back(names[i] + piece);
    }
    begin = end;
  }
  // Pieces may join into the same bytes ("\xEF" "\xBC" "\xBC" is U+FF3C): each name once.
  const std::set<std::string> distinct(names.begin() + 1, names.end());
  std::set<std::string> logical_names;
  for (const std::string& name : distinct) {
    const std::string logical = LogicalNameOf(name);
    EXPECT_EQ(logical.find('\\'), std::string::npos) << name;
    EXPECT_EQ(NativePathOf("/d\\" + logical, ""), "/d/" + name) << name;
    logical_names.insert(logical);
  }
  EXPECT_EQ(logical_names.size(), distinct.size());
  // Names stored before U+FF3C was escaped read as they did: a lone U+FF3C is a "\".
  EXPECT_EQ(NativePathOf("/d\\a" + kFullwidthBackslash + "b", ""), "/d/a\\b");
}

TEST_F(LinuxFileSystemTest, ABackslashAndAFullwidthBackslashNameTwoFolders) {
  const std::string fullwidth = "x" + kFullwidthBackslash + "y";
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "x\\y"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / fullwidth));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "x\\y/f", "1"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / (fullwidth + "/f"), "22"));
  const std::string folder = LogicalOf(temp_.path().string());
  const auto top = ListAll(fs_, folder);
  ASSERT_EQ(top.size(), 2u);
  std::set<std::int64_t> lengths;
  for (const auto& [name, entry] : top) {
    // Through the listing's own directory and by path: each name reaches its own folder.
    auto child = fs_.List(folder)->OpenChild(name);
    const auto by_child = ListAll(*child);
    const auto by_path = ListAll(fs_, folder + "\\" + name);
    ASSERT_EQ(by_child.size(), 1u) << name;
    ASSERT_EQ(by_path.size(), 1u) << name;
    EXPECT_EQ(by_child.at("f").length, by_path.at("f").length) << name;
    lengths.insert(by_path.at("f").length);
  }
  EXPECT_EQ(lengths, (std::set<std::int64_t>{1, 2}));
}

TEST_F(LinuxFileSystemTest, Attributes) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "sub"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / ".hidden-dir"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "locked", "1"));
  ASSERT_EQ(::chmod((temp_ / "locked").c_str(), 0444), 0);
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "group-writable", "1"));
  ASSERT_EQ(::chmod((temp_ / "group-writable").c_str(), 0464), 0);

  const auto entries = ListAll(fs_, LogicalOf(temp_.path().string()));
  EXPECT_EQ(entries.at("sub").attributes, kAttrDirectory);
  EXPECT_EQ(entries.at(".hidden-dir").attributes, kAttrDirectory | kAttrHidden);
  EXPECT_EQ(entries.at("locked").attributes, kAttrReadOnly);
  EXPECT_EQ(entries.at("group-writable").attributes, 0);
}

TEST_F(LinuxFileSystemTest, SparseFilesCountWhatTheyOccupy) {
  const std::string holey = temp_ / "holey";
  ASSERT_NO_FATAL_FAILURE(WriteFile(holey, "x"));
  ASSERT_EQ(::truncate(holey.c_str(), 1 << 20), 0);
  const std::string huge = temp_ / "huge";
  ASSERT_NO_FATAL_FAILURE(WriteFile(huge, ""));
  const std::int64_t five_gb = std::int64_t{5} << 30;
  ASSERT_EQ(::truncate(huge.c_str(), five_gb), 0);
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "dense", std::string(10000, 'd')));

  const auto entries = ListAll(fs_, LogicalOf(temp_.path().string()));
  EXPECT_EQ(entries.at("holey").length, 1 << 20);
  EXPECT_GT(entries.at("holey").compressed, 0);
  EXPECT_LT(entries.at("holey").compressed, 1 << 20);
  EXPECT_EQ(entries.at("huge").length, five_gb);
  EXPECT_LT(entries.at("huge").compressed, 1 << 20);
  // A dense file's last block is partly empty; it still counts no more than its length.
  EXPECT_EQ(entries.at("dense").compressed, 10000);
  EXPECT_EQ(fs_.Stat(LogicalOf(huge)).length, five_gb);
}

TEST_F(LinuxFileSystemTest, HardLinksCountUnderEachName) {
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "first", std::string(5000, 'h')));
  ASSERT_EQ(::link((temp_ / "first").c_str(), (temp_ / "second").c_str()), 0);
  const auto entries = ListAll(fs_, LogicalOf(temp_.path().string()));
  EXPECT_EQ(entries.at("first").length, 5000);
  EXPECT_EQ(entries.at("second").length, 5000);
  EXPECT_EQ(entries.at("second").compressed, entries.at("first").compressed);
}

TEST_F(LinuxFileSystemTest, SymbolicLinksAreNeverFollowed) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "target"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "target/big", std::string(70000, 'b')));
  const std::string target = temp_ / "target";
  ASSERT_EQ(::symlink(target.c_str(), (temp_ / "to-dir").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere/at/all", (temp_ / "dangling").c_str()), 0);

  const auto entries = ListAll(fs_, LogicalOf(temp_.path().string()));
  const DirEntry& to_dir = entries.at("to-dir");
  EXPECT_EQ(to_dir.attributes & kAttrDirectory, 0);
  EXPECT_EQ(to_dir.length, static_cast<std::int64_t>(target.size()));
  EXPECT_EQ(to_dir.size_error, 0);
  EXPECT_EQ(entries.at("dangling").length, 14);
  EXPECT_EQ(entries.at("dangling").size_error, 0);
  EXPECT_EQ(fs_.Stat(LogicalOf(temp_ / "to-dir")).attributes & kAttrDirectory, 0);
}

// The number of the FsError `action` throws, and its text in `text`; 0 when it throws none.
template <class Action>
int ErrorNumber(Action action, std::string* text = nullptr) {
  try {
    action();
  } catch (const FsError& error) {
    if (text != nullptr) *text = error.what();
    return error.Number();
  }
  return 0;
}

TEST_F(LinuxFileSystemTest, ChildrenOpenThroughTheirParentAndNeverThroughALink) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "sub"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "sub/inner"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "sub/inside", "12345"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "odd\\name"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "hoard"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "hoard/big", std::string(70000, 'b')));
  ASSERT_EQ(::symlink((temp_ / "hoard").c_str(), (temp_ / "to-hoard").c_str()), 0);
  ASSERT_EQ(::symlink("hoard", (temp_ / "relative").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", (temp_ / "dangling").c_str()), 0);
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "file", "f"));
  const std::string folder = LogicalOf(temp_.path());

  auto parent = fs_.List(folder);
  DirEntry entry;
  while (parent->Next(entry)) {
  }
  // A finished listing still opens what lies next to it.
  auto sub = parent->OpenChild("sub");
  EXPECT_EQ(sub->Id(), fs_.List(folder + "\\sub")->Id());
  EXPECT_NE(sub->Id(), parent->Id());
  ASSERT_TRUE(sub->Next(entry));
  std::set<std::string> names = {entry.name};
  ASSERT_TRUE(sub->Next(entry));
  names.insert(entry.name);
  EXPECT_EQ(names, (std::set<std::string>{"inner", "inside"}));
  EXPECT_EQ(sub->OpenChild("inner")->OpenParent()->Id(), sub->Id());
  EXPECT_EQ(sub->OpenParent()->Id(), parent->Id());
  EXPECT_EQ(parent->OpenChild("odd" + kFullwidthBackslash + "name")->Id(),
            fs_.List(folder + "\\odd" + kFullwidthBackslash + "name")->Id());

  // Links, files and missing names are no directories to enter, and say which path failed.
  for (const char* name : {"to-hoard", "relative", "dangling", "file", "missing"}) {
    std::string text;
    EXPECT_EQ(ErrorNumber([&] { parent->OpenChild(name); }, &text), kFsPathNotFound) << name;
    EXPECT_EQ(text, "Path not found: '" + folder + "\\" + name + "'") << name;
  }
  // Only one plain name: anything the system would resolve as a path is refused.
  for (const char* name : {"sub/inner", "sub\\inner", "..", ".", ""}) {
    EXPECT_EQ(ErrorNumber([&] { parent->OpenChild(name); }), kFsPathNotFound) << name;
  }
  // The error of a folder opened through its parent names its whole logical path.
  std::string text;
  EXPECT_EQ(ErrorNumber([&] { sub->OpenChild("inner")->OpenChild("none"); }, &text),
            kFsPathNotFound);
  EXPECT_EQ(text, "Path not found: '" + folder + "\\sub\\inner\\none'");
}

TEST_F(LinuxFileSystemTest, FolderSwappedForALinkAfterItWasListedIsNotEntered) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "victim"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "hoard"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "hoard/big", std::string(70000, 'b')));

  auto parent = fs_.List(LogicalOf(temp_.path()));
  DirEntry entry;
  bool listed_as_folder = false;
  while (parent->Next(entry)) {
    if (entry.name == "victim") listed_as_folder = (entry.attributes & kAttrDirectory) != 0;
  }
  ASSERT_TRUE(listed_as_folder);
  ASSERT_EQ(::rename((temp_ / "victim").c_str(), (temp_ / "moved-away").c_str()), 0);
  ASSERT_EQ(::symlink((temp_ / "hoard").c_str(), (temp_ / "victim").c_str()), 0);
  EXPECT_EQ(ErrorNumber([&] { parent->OpenChild("victim"); }), kFsPathNotFound);
  // The parent it stood in is still the one it was, and its other folders still open.
  EXPECT_NO_THROW(parent->OpenChild("hoard"));
}

TEST_F(LinuxFileSystemTest, EntryThatVanishesWhileListedIsFileNotFound) {
  for (const char* name : {"a", "b", "c"}) ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / name, "z"));
  const std::string folder = LogicalOf(temp_.path().string());
  auto listing = fs_.List(folder);
  DirEntry entry;
  ASSERT_TRUE(listing->Next(entry));  // the names are read in one batch now
  for (const char* name : {"a", "b", "c"}) ASSERT_EQ(::unlink((temp_ / name).c_str()), 0);
  int vanished = 0;
  while (listing->Next(entry)) {
    ++vanished;
    EXPECT_EQ(entry.size_error, kFsFileNotFound);
    EXPECT_EQ(entry.attributes_error, kFsFileNotFound);
    EXPECT_EQ(entry.length, 0);
    EXPECT_NE(entry.size_error_text.find(folder + "\\" + entry.name), std::string::npos)
        << entry.size_error_text;
  }
  EXPECT_EQ(vanished, 2);
}

TEST_F(LinuxFileSystemTest, MissingPathsAndFilesAreNoFolders) {
  const std::string missing = LogicalOf(temp_ / "missing");
  try {
    fs_.List(missing);
    ADD_FAILURE() << "listed a missing folder";
  } catch (const FsError& error) {
    EXPECT_EQ(error.Number(), kFsPathNotFound);
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "file", "f"));
  try {
    fs_.List(LogicalOf(temp_ / "file"));
    ADD_FAILURE() << "listed a file";
  } catch (const FsError& error) {
    EXPECT_EQ(error.Number(), kFsPathNotFound);
  }
  try {
    fs_.Stat(missing);
    ADD_FAILURE() << "measured a missing file";
  } catch (const FsError& error) {
    EXPECT_EQ(error.Number(), kFsFileNotFound);
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
}

TEST_F(LinuxFileSystemTest, UnreadableFoldersAreReportedNotEmpty) {
  // Root reads everything, so the check runs as an ordinary user.
  ASSERT_EQ(::chmod(temp_.path().c_str(), 0755), 0);
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "closed"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "closed/secret", "s"));
  ASSERT_EQ(::chmod((temp_ / "closed").c_str(), 0), 0);
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "names-only"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "names-only/hidden-size", "s"));
  ASSERT_EQ(::chmod((temp_ / "names-only").c_str(), 0444), 0);

  const std::string closed = LogicalOf(temp_ / "closed");
  const std::string names_only = LogicalOf(temp_ / "names-only");
  const int result = RunInChild(true, [&] {
    if (::access((temp_ / "closed").c_str(), R_OK) == 0) return 77;
    LinuxFileSystem fs("/net");
    try {
      fs.List(closed);
      std::cerr << "listed an unreadable folder\n";
      return 1;
    } catch (const FsError& error) {
      if (error.Number() != kFsPermissionDenied ||
          std::string(error.what()) != "Permission denied: '" + closed + "'") {
        std::cerr << error.Number() << " " << error.what() << "\n";
        return 2;
      }
    }
    // Opened through its parent, it fails the same way.
    try {
      fs.List(LogicalOf(temp_.path()))->OpenChild("closed");
      std::cerr << "opened an unreadable folder through its parent\n";
      return 5;
    } catch (const FsError& error) {
      if (error.Number() != kFsPermissionDenied ||
          std::string(error.what()) != "Permission denied: '" + closed + "'") {
        std::cerr << error.Number() << " " << error.what() << "\n";
        return 6;
      }
    }
    // Names can be read but not measured: each entry carries the failure.
    auto listing = fs.List(names_only);
    DirEntry entry;
    if (!listing->Next(entry) || entry.name != "hidden-size" ||
        entry.size_error != kFsPermissionDenied || entry.attributes_error != kFsPermissionDenied ||
        entry.size_error_text.find(names_only + "\\hidden-size") == std::string::npos) {
      std::cerr << "entry " << entry.name << " " << entry.size_error << "\n";
      return 3;
    }
    return listing->Next(entry) ? 4 : 0;
  });
  ASSERT_EQ(::chmod((temp_ / "closed").c_str(), 0755), 0);
  ASSERT_EQ(::chmod((temp_ / "names-only").c_str(), 0755), 0);
  if (result == 77) GTEST_SKIP() << "cannot run as an unprivileged user here";
  EXPECT_EQ(result, 0);
}

TEST_F(LinuxFileSystemTest, PathsLongerThanPathMax) {
  const std::string component(250, 'd');
  const int levels = 2 * PATH_MAX / 251 + 2;
  const DeepTree tree(temp_.path(), component, levels, "leaf.txt", 4);
  std::string logical = LogicalOf(temp_.path());
  for (int level = 0; level < levels; ++level) logical += "\\" + component;
  ASSERT_GT(logical.size(), 2u * PATH_MAX);

  EXPECT_NO_THROW({
    const auto entries = ListAll(fs_, logical);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries.at("leaf.txt").length, 4);
    EXPECT_EQ(fs_.Stat(logical + "\\leaf.txt").length, 4);
    EXPECT_EQ(fs_.Stat(logical).attributes, kAttrDirectory);
  });
  EXPECT_THROW(fs_.List(logical + "\\missing"), FsError);
}

TEST_F(LinuxFileSystemTest, OtherFileSystemsAreLeftOut) {
  struct stat root, proc;
  ASSERT_EQ(::stat("/", &root), 0);
  if (::stat("/proc", &proc) == 0 && proc.st_dev != root.st_dev) {
    EXPECT_EQ(ListAll(fs_, "/").count("proc"), 0u);
  }
  for (const auto& [name, entry] : ListAll(fs_, "/")) {
    struct stat info;
    if ((entry.attributes & kAttrDirectory) && ::lstat(("/" + name).c_str(), &info) == 0) {
      EXPECT_EQ(info.st_dev, root.st_dev) << name;
    }
  }
}

// Enters a private mount namespace, as root or as the owner of a fresh user namespace.
bool EnterPrivateMountNamespace() {
  const uid_t uid = ::geteuid();
  const gid_t gid = ::getegid();
  if (uid != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    auto write = [](const char* path, const std::string& text) {
      const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
      if (fd < 0) return false;
      const bool written =
          ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
      return ::close(fd) == 0 && written;
    };
    if (!write("/proc/self/setgroups", "deny") ||
        !write("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
        !write("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1")) {
      return false;
    }
  } else if (::unshare(CLONE_NEWNS) != 0) {
    return false;
  }
  // Without this a mount made here could show up in the namespace the tests came from.
  return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}

TEST_F(LinuxFileSystemTest, MountPointInsideAFolderIsLeftOut) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "mnt"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "plain"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "file", "f"));
  const std::string folder = LogicalOf(temp_.path().string());
  const int result = RunInChild(false, [&] {
    if (!EnterPrivateMountNamespace() ||
        ::mount("tmpfs", (temp_ / "mnt").c_str(), "tmpfs", 0, "size=64k") != 0) {
      return 77;
    }
    LinuxFileSystem fs("/net");
    std::set<std::string> names;
    auto listing = fs.List(folder);
    DirEntry entry;
    while (listing->Next(entry)) names.insert(entry.name);
    if (names != std::set<std::string>{"plain", "file"}) return 1;
    // Asked for by name, as when a folder became a mount point after it was listed, it is
    // refused: a walk through its parent never leaves the drive.
    try {
      listing->OpenChild("mnt");
      return 3;
    } catch (const FsError& error) {
      if (error.Number() != kFsPathNotFound) return 4;
    }
    // The mount point itself is listed as a folder of the other file system.
    return ListAll(fs, folder + "\\mnt").empty() ? 0 : 2;
  });
  if (result == 77) GTEST_SKIP() << "cannot mount in a private namespace here";
  EXPECT_EQ(result, 0);
}

TEST_F(LinuxFileSystemTest, UncPathsListUnderTheirRoot) {
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "server2"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "server2/users"));
  ASSERT_NO_FATAL_FAILURE(MakeDir(temp_ / "server2/users/x"));
  ASSERT_NO_FATAL_FAILURE(WriteFile(temp_ / "server2/users/x/report.txt", "12345"));

  LinuxFileSystem fs(temp_.path().string());
  const auto entries = ListAll(fs, "\\\\server2\\users\\x\\");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries.at("report.txt").length, 5);
  EXPECT_EQ(fs.Stat("\\\\server2\\users\\x\\report.txt").length, 5);
  // Names keep their case on the way to the system.
  EXPECT_THROW(fs.List("\\\\SERVER2\\users\\x"), FsError);

  EnvGuard root("BRONTAL_UNC_ROOT", temp_.path().c_str());
  EXPECT_EQ(MakeLinuxFileSystem()->Stat("\\\\server2\\users\\x\\report.txt").length, 5);
}

TEST_F(LinuxFileSystemTest, DrivesFromTheEnvironmentReplaceTheMountTable) {
  {
    EnvGuard drives("BRONTAL_DRIVES", "/srv/a:/srv/b:");
    EXPECT_EQ(fs_.FixedDrives(), (std::vector<std::string>{"/srv/a", "/srv/b"}));
  }
  {
    EnvGuard drives("BRONTAL_DRIVES", "");
    EXPECT_TRUE(fs_.FixedDrives().empty());
  }
  EnvGuard drives("BRONTAL_DRIVES", nullptr);
  const std::vector<std::string> system = fs_.FixedDrives();
  ASSERT_FALSE(system.empty());
  EXPECT_EQ(system.front(), "/");
  EXPECT_EQ(std::set<std::string>(system.begin(), system.end()).size(), system.size());
  for (const std::string& drive : system) {
    EXPECT_NE(drive, "/proc");
    struct stat info;
    EXPECT_TRUE(::stat(drive.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) << drive;
  }
}

TEST_F(LinuxFileSystemTest, DriveSpace) {
  const std::string drive = LogicalOf(temp_.path().string());
  const std::int64_t total = fs_.TotalBytes(drive);
  EXPECT_GT(total, 0);
  EXPECT_LE(fs_.FreeBytes(drive), total);
  EXPECT_EQ(fs_.TotalBytes("/\\"), fs_.TotalBytes("/"));
  EXPECT_EQ(fs_.FreeBytes(LogicalOf(temp_ / "missing")), 0);
  EXPECT_EQ(fs_.TotalBytes(LogicalOf(temp_ / "missing")), 0);
}

TEST(LinuxFileSystemHostTest, ComputerNameIsTheShortHostName) {
  EnvGuard node("BRONTAL_NODENAME", nullptr);
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(::gethostname(host, sizeof host), 0);
  const std::string name = LinuxFileSystem("/net").ComputerName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name.find('.'), std::string::npos);
  EXPECT_EQ(std::string(host).rfind(name, 0), 0u) << host;
  EXPECT_EQ(LinuxFileSystem("/net").ShortPathOf("/data\\Long Name"), "/data\\Long Name");
}

TEST(LinuxFileSystemHostTest, NodeNameFromTheEnvironmentReplacesTheHostName) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(::gethostname(host, sizeof host), 0);
  const std::string short_host = std::string(host).substr(0, std::string(host).find('.'));
  {
    // Taken as it is: a name with a dot is not cut like a host name.
    EnvGuard node("BRONTAL_NODENAME", "NODE-B.lab");
    EXPECT_EQ(LinuxFileSystem("/net").ComputerName(), "NODE-B.lab");
    EXPECT_EQ(MakeLinuxFileSystem()->ComputerName(), "NODE-B.lab");
  }
  {
    EnvGuard node("BRONTAL_NODENAME", "");
    EXPECT_EQ(LinuxFileSystem("/net").ComputerName(), short_host);
  }
  EnvGuard node("BRONTAL_NODENAME", nullptr);
  EXPECT_EQ(LinuxFileSystem("/net").ComputerName(), short_host);
}

}  // namespace
}  // namespace brontal
