// The in-memory file system the scanner tests run on: its tree, its roots, and that every
// injected fault strikes where and as often as asked, and nowhere else.
#include "platform/testing/fake_filesystem.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace brontal {
namespace {

// The names a listing gives, read into one reused entry as the scanner reads them.
std::vector<std::string> Names(DirectoryListing& listing) {
  std::vector<std::string> names;
  DirEntry entry;
  while (listing.Next(entry)) names.push_back(entry.name);
  return names;
}

std::vector<std::string> Names(FakeFileSystem& fs, std::string_view path) {
  return Names(*fs.List(path));
}

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

TEST(FakeFileSystemTest, ListsInTheOrderAddedWithParentsCreated) {
  FakeFileSystem fs;
  fs.AddFile("C:\\WINNT\\b.dll", 5000, 4096);
  fs.AddDirectory("C:\\WINNT\\system32");
  fs.AddFile("C:\\WINNT\\a.dll", 7);
  fs.AddDirectory("C:\\WINNT\\system32");  // again: nothing changes

  EXPECT_EQ(Names(fs, "C:"), std::vector<std::string>{"WINNT"});
  EXPECT_EQ(Names(fs, "C:\\WINNT\\"), (std::vector<std::string>{"b.dll", "system32", "a.dll"}));
  EXPECT_TRUE(Names(fs, "C:\\WINNT\\system32").empty());

  auto listing = fs.List("C:\\WINNT");
  DirEntry entry;
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.attributes, 0);
  EXPECT_EQ(entry.length, 5000);
  EXPECT_EQ(entry.compressed, 4096);
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.attributes, kAttrDirectory);
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.length, 7);
  EXPECT_EQ(entry.compressed, 7);  // compressed defaults to the length
  EXPECT_FALSE(listing->Next(entry));
}

TEST(FakeFileSystemTest, SharesAndSlashRootsAreRoots) {
  FakeFileSystem fs;
  fs.AddFile("\\\\SERVER2\\D$\\USERS\\x.doc", 1);
  fs.AddDirectory("/\\etc");
  EXPECT_EQ(Names(fs, "\\\\SERVER2\\D$"), std::vector<std::string>{"USERS"});
  EXPECT_EQ(Names(fs, "\\\\SERVER2\\D$\\USERS\\"), std::vector<std::string>{"x.doc"});
  EXPECT_EQ(Names(fs, "/"), std::vector<std::string>{"etc"});
  EXPECT_EQ(Names(fs, "/\\"), std::vector<std::string>{"etc"});
  EXPECT_EQ(fs.Stat("\\\\SERVER2\\D$\\USERS\\x.doc").name, "x.doc");
}

TEST(FakeFileSystemTest, MisuseAndMissingPaths) {
  FakeFileSystem fs;
  fs.AddFile("C:\\a.txt", 1);
  EXPECT_THROW(fs.AddFile("C:\\a.txt", 2), std::invalid_argument);
  EXPECT_THROW(fs.AddFile("C:\\a.txt\\b", 2), std::invalid_argument);
  EXPECT_THROW(fs.AddDirectory("C:\\a.txt\\d"), std::invalid_argument);
  EXPECT_THROW(fs.AddFile("D:", 2), std::invalid_argument);
  EXPECT_THROW(fs.FailList("C:\\nowhere", 70, "denied"), std::invalid_argument);

  EXPECT_EQ(ErrorNumber([&] { fs.List("C:\\nowhere"); }), kFsPathNotFound);
  EXPECT_EQ(ErrorNumber([&] { fs.List("C:\\a.txt"); }), kFsPathNotFound);
  EXPECT_EQ(ErrorNumber([&] { fs.Stat("C:\\nowhere"); }), kFsFileNotFound);
  EXPECT_EQ(ErrorNumber([&] { fs.List("c:"); }), kFsPathNotFound);  // case-sensitive
}

TEST(FakeFileSystemTest, DrivesMachineAndShortPaths) {
  FakeFileSystem fs;
  fs.AddDrive("C:", 100, 1000);
  fs.AddDrive("D:\\", 200, 2000);
  fs.AddFile("C:\\Program Files\\app.exe", 42);
  fs.SetShortPath("C:\\Program Files\\app.exe", "C:\\PROGRA~1\\app.exe");
  fs.SetComputerName("SERVER7");
  fs.SetNT(false);

  EXPECT_EQ(fs.FixedDrives(), (std::vector<std::string>{"C:", "D:"}));
  EXPECT_EQ(fs.FreeBytes("C:"), 100);
  EXPECT_EQ(fs.TotalBytes("D:\\"), 2000);
  EXPECT_EQ(fs.FreeBytes("E:"), 0);
  EXPECT_TRUE(Names(fs, "D:").empty());
  EXPECT_EQ(fs.ComputerName(), "SERVER7");
  EXPECT_FALSE(fs.IsNT());

  EXPECT_EQ(fs.ShortPathOf("C:\\Program Files\\app.exe"), "C:\\PROGRA~1\\app.exe");
  EXPECT_EQ(fs.ShortPathOf("C:\\other"), "C:\\other");
  EXPECT_EQ(fs.Stat("C:\\PROGRA~1\\app.exe").length, 42);
}

TEST(FakeFileSystemTest, FailedListingsThrowEveryTimeAndAreCounted) {
  FakeFileSystem fs;
  fs.AddFile("C:\\Secret\\x", 1);
  fs.FailList("C:\\Secret", kFsPermissionDenied, "Permission denied: C:\\Secret");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      fs.List("C:\\Secret\\");
      ADD_FAILURE() << "listing did not fail";
    } catch (const FsError& error) {
      EXPECT_EQ(error.Number(), kFsPermissionDenied);
      EXPECT_STREQ(error.what(), "Permission denied: C:\\Secret");
    }
  }
  EXPECT_EQ(fs.ListCount("C:\\Secret"), 2);
  EXPECT_EQ(fs.ListCount("C:"), 0);
  EXPECT_EQ(Names(fs, "C:"), std::vector<std::string>{"Secret"});  // its entry is still listed
}

TEST(FakeFileSystemTest, BrokenListingThrowsOnceAndLosesNothing) {
  FakeFileSystem fs;
  for (const char* name : {"a", "b", "c"}) fs.AddFile(std::string("C:\\d\\") + name, 1);
  fs.BreakListing("C:\\d", 1, kFsDeviceIo, "I/O error");

  for (int listing_number = 0; listing_number < 2; ++listing_number) {  // every listing breaks
    auto listing = fs.List("C:\\d");
    DirEntry entry;
    ASSERT_TRUE(listing->Next(entry));
    EXPECT_EQ(entry.name, "a");
    EXPECT_EQ(ErrorNumber([&] { listing->Next(entry); }), kFsDeviceIo);
    EXPECT_EQ(entry.name, "a");  // a failed Next leaves the entry alone
    EXPECT_EQ(Names(*listing), (std::vector<std::string>{"b", "c"}));
  }

  fs.BreakListing("C:\\d", 0, kFsDeviceIo, "I/O error");
  auto listing = fs.List("C:\\d");
  DirEntry entry;
  EXPECT_EQ(ErrorNumber([&] { listing->Next(entry); }), kFsDeviceIo);
  EXPECT_EQ(Names(*listing), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(FakeFileSystemTest, EntryFaultsShowInListingsOnly) {
  FakeFileSystem fs;
  fs.AddDirectory("C:\\d\\sub");
  fs.AddFile("C:\\d\\gone.tmp", 10, 8);
  fs.AddFile("C:\\d\\replaced.doc", 20, 16);
  fs.AddFile("C:\\d\\fine.txt", 30, 24);
  fs.FailAttributes("C:\\d\\sub", kFsPermissionDenied);
  fs.VanishAfterListing("C:\\d\\gone.tmp");
  fs.FailSize("C:\\d\\replaced.doc", kFsDeviceIo, "I/O error");

  auto listing = fs.List("C:\\d");
  DirEntry entry;
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.attributes, 0);
  EXPECT_EQ(entry.attributes_error, kFsPermissionDenied);
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.attributes_error, 0);
  EXPECT_EQ(entry.size_error, kFsFileNotFound);
  EXPECT_EQ(entry.size_error_text, "File not found: C:\\d\\gone.tmp");
  EXPECT_EQ(entry.length, 0);
  EXPECT_EQ(entry.compressed, 0);
  ASSERT_TRUE(listing->Next(entry));
  EXPECT_EQ(entry.size_error, kFsDeviceIo);
  ASSERT_TRUE(listing->Next(entry));
  // The reused entry must not keep the fault of the one before it.
  EXPECT_EQ(entry.size_error, 0);
  EXPECT_EQ(entry.size_error_text, "");
  EXPECT_EQ(entry.length, 30);

  EXPECT_EQ(fs.Stat("C:\\d\\sub").attributes, kAttrDirectory);
  EXPECT_EQ(fs.Stat("C:\\d\\replaced.doc").length, 20);
  EXPECT_EQ(ErrorNumber([&] { fs.Stat("C:\\d\\gone.tmp"); }), kFsFileNotFound);
}

TEST(FakeFileSystemTest, NthCallFailsOnceOrFromThenOn) {
  FakeFileSystem fs;
  fs.AddDrive("C:", 100, 1000);
  fs.AddFile("C:\\a", 1);
  fs.AddFile("C:\\b", 2);

  auto listing = fs.List("C:");  // call 1
  EXPECT_EQ(fs.CallCount(), 1);
  fs.FailCall(2, kFsDeviceIo, "I/O error");
  DirEntry entry;
  ASSERT_TRUE(listing->Next(entry));  // call 2
  EXPECT_EQ(entry.name, "a");
  EXPECT_EQ(ErrorNumber([&] { listing->Next(entry); }), kFsDeviceIo);  // call 3
  EXPECT_EQ(Names(*listing), std::vector<std::string>{"b"});           // calls 4 and 5
  EXPECT_EQ(fs.CallCount(), 5);
  EXPECT_EQ(fs.FreeBytes("C:"), 100);  // once only

  // Each call fails the way it reports failure.
  fs.FailCall(1, kFsDeviceIo, "I/O error", /*persist=*/true);
  EXPECT_EQ(fs.FreeBytes("C:"), 0);
  EXPECT_EQ(fs.TotalBytes("C:"), 0);
  EXPECT_EQ(fs.ComputerName(), "");
  EXPECT_FALSE(fs.IsNT());
  EXPECT_EQ(ErrorNumber([&] { fs.List("C:"); }), kFsDeviceIo);
  EXPECT_EQ(ErrorNumber([&] { fs.Stat("C:\\a"); }), kFsDeviceIo);
  EXPECT_EQ(ErrorNumber([&] { fs.FixedDrives(); }), kFsDeviceIo);
  EXPECT_EQ(ErrorNumber([&] { fs.ShortPathOf("C:\\a"); }), kFsDeviceIo);
  EXPECT_EQ(fs.ListCount("C:"), 1);  // a call that failed before it reached the tree

  fs.FailCall(3, kFsDeviceIo, "I/O error");  // replaces the persistent fault
  EXPECT_EQ(fs.TotalBytes("C:"), 1000);
  EXPECT_EQ(fs.TotalBytes("C:"), 1000);
  EXPECT_EQ(fs.TotalBytes("C:"), 0);
  EXPECT_EQ(fs.TotalBytes("C:"), 1000);
}

TEST(FakeFileSystemTest, DirectoriesOpenThroughTheirParentAsByPath) {
  FakeFileSystem fs;
  fs.AddFile("C:\\a\\b\\f", 1);
  fs.AddFile("C:\\a\\g", 2);
  fs.AddFile("/\\etc\\hosts", 3);

  auto root = fs.List("C:");
  auto a = root->OpenChild("a");
  auto b = a->OpenChild("b");
  EXPECT_EQ(Names(*b), std::vector<std::string>{"f"});
  EXPECT_EQ(b->Id(), fs.List("C:\\a\\b")->Id());
  EXPECT_NE(b->Id(), a->Id());
  EXPECT_EQ(b->OpenParent()->Id(), a->Id());
  EXPECT_EQ(a->OpenParent()->Id(), root->Id());
  EXPECT_EQ(Names(*b->OpenParent()), (std::vector<std::string>{"b", "g"}));
  EXPECT_EQ(Names(*fs.List("/")->OpenChild("etc")), std::vector<std::string>{"hosts"});

  EXPECT_EQ(ErrorNumber([&] { root->OpenParent(); }), kFsPathNotFound);
  EXPECT_EQ(ErrorNumber([&] { a->OpenChild("g"); }), kFsPathNotFound);
  EXPECT_EQ(ErrorNumber([&] { a->OpenChild("missing"); }), kFsPathNotFound);
  // List, OpenChild and OpenParent all count as openings of the directory they reach.
  EXPECT_EQ(fs.ListCount("C:\\a"), 3);
  EXPECT_EQ(fs.ListCount("C:\\a\\b"), 2);

  fs.FailList("C:\\a\\b", kFsPermissionDenied, "Permission denied: C:\\a\\b");
  EXPECT_EQ(ErrorNumber([&] { a->OpenChild("b"); }), kFsPermissionDenied);
  EXPECT_EQ(ErrorNumber([&] { fs.List("C:\\a\\b\\f"); }), kFsPathNotFound);
}

TEST(FakeFileSystemTest, OpeningThroughAListingIsACallThatCanFail) {
  FakeFileSystem fs;
  fs.AddFile("C:\\a\\b\\f", 1);
  auto a = fs.List("C:\\a");
  auto b = a->OpenChild("b");
  EXPECT_EQ(fs.CallCount(), 2);
  fs.FailCall(1, kFsDeviceIo, "I/O error");
  EXPECT_EQ(ErrorNumber([&] { a->OpenChild("b"); }), kFsDeviceIo);
  EXPECT_EQ(fs.ListCount("C:\\a\\b"), 1);  // failed before it reached the tree
  fs.FailCall(2, kFsDeviceIo, "I/O error");
  EXPECT_NO_THROW(a->OpenChild("b"));
  EXPECT_EQ(ErrorNumber([&] { b->OpenParent(); }), kFsDeviceIo);
  EXPECT_EQ(fs.CallCount(), 5);
}

TEST(FakeFileSystemTest, LinksAreFollowedByPathOnly) {
  FakeFileSystem fs;
  fs.AddFile("D:\\hoard\\big", 1000);
  fs.AddLink("C:\\to-hoard", "D:\\hoard");
  fs.AddLink("C:\\loop", "C:\\loop");
  EXPECT_THROW(fs.AddLink("C:\\to-hoard", "D:"), std::invalid_argument);

  auto root = fs.List("C:");
  DirEntry entry;
  ASSERT_TRUE(root->Next(entry));
  EXPECT_EQ(entry.name, "to-hoard");
  EXPECT_EQ(entry.attributes, 0);
  EXPECT_EQ(entry.length, 8);  // the length of the path it holds
  EXPECT_EQ(Names(fs, "C:\\to-hoard"), std::vector<std::string>{"big"});
  EXPECT_EQ(ErrorNumber([&] { root->OpenChild("to-hoard"); }), kFsPathNotFound);
  EXPECT_EQ(ErrorNumber([&] { fs.List("C:\\loop"); }), kFsPathNotFound);
  EXPECT_EQ(fs.Stat("C:\\to-hoard").length, 8);
}

TEST(FakeFileSystemTest, MovedDirectoriesKeepTheirIdentityAndOpenListings) {
  FakeFileSystem fs;
  fs.AddFile("C:\\a\\b\\c\\f", 1);
  fs.AddFile("C:\\a\\b\\g", 2);
  fs.AddFile("C:\\a\\h", 3);
  auto b = fs.List("C:\\a\\b");
  auto c = b->OpenChild("c");
  const DirectoryId b_id = b->Id();
  DirEntry entry;
  ASSERT_TRUE(b->Next(entry));

  fs.Move("C:\\a\\b", "D:\\x\\moved");
  EXPECT_EQ(fs.List("D:\\x\\moved")->Id(), b_id);
  EXPECT_EQ(Names(fs, "D:\\x\\moved\\c"), std::vector<std::string>{"f"});
  EXPECT_EQ(ErrorNumber([&] { fs.List("C:\\a\\b"); }), kFsPathNotFound);
  EXPECT_EQ(Names(fs, "C:\\a"), std::vector<std::string>{"h"});
  EXPECT_EQ(Names(fs, "D:\\x"), std::vector<std::string>{"moved"});
  // What was open goes on where the directory went.
  EXPECT_EQ(Names(*b), std::vector<std::string>{"g"});
  EXPECT_EQ(c->OpenParent()->Id(), b_id);
  EXPECT_EQ(b->OpenParent()->Id(), fs.List("D:\\x")->Id());
  EXPECT_EQ(Names(*b->OpenChild("c")), std::vector<std::string>{"f"});

  fs.Move("C:\\a\\h", "C:\\h2");  // files move too
  EXPECT_EQ(fs.Stat("C:\\h2").length, 3);
  EXPECT_THROW(fs.Move("C:", "E:\\c"), std::invalid_argument);
  EXPECT_THROW(fs.Move("C:\\a", "C:\\h2"), std::invalid_argument);
  EXPECT_THROW(fs.Move("C:\\a", "C:\\a\\inside"), std::invalid_argument);
  EXPECT_THROW(fs.Move("C:\\a", "C:\\h2\\under-a-file"), std::invalid_argument);
  EXPECT_THROW(fs.Move("C:\\none", "C:\\x"), std::invalid_argument);
}

TEST(FakeFileSystemTest, OnOpenStrikesOnceJustBeforeTheOpening) {
  FakeFileSystem fs;
  fs.AddFile("C:\\d\\sub\\old", 1);
  fs.AddFile("D:\\elsewhere\\new", 2);
  int runs = 0;
  fs.OnOpen("C:\\d\\sub\\", [&] {
    ++runs;
    fs.Move("C:\\d\\sub", "D:\\gone");
    fs.AddLink("C:\\d\\sub", "D:\\elsewhere");
  });
  auto d = fs.List("C:\\d");
  EXPECT_EQ(Names(*d), std::vector<std::string>{"sub"});  // listed as the directory it was
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(ErrorNumber([&] { d->OpenChild("sub"); }), kFsPathNotFound);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(Names(fs, "C:\\d\\sub"), std::vector<std::string>{"new"});  // by path, followed
  EXPECT_EQ(runs, 1);
}

}  // namespace
}  // namespace brontal
