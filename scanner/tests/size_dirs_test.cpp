// The sizing engine on an in-memory tree: entry order, measuring in both variants, error lines,
// the run's error limit and the growth of the entry arrays, with the log read back as written;
// and on the disk, trees deeper than the stack and folders swapped for links during the walk;
// each with one thread and with four, and a real tree compared between the two.
#include "scanner/size_dirs.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/clock.h"
#include "platform/testing/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/linux_filesystem.h"
#include "platform/testing/disk_tree.h"
#include "platform/testing/file_access.h"
#include "platform/testing/temp_folder.h"
#include "store/program_log.h"

namespace brontal {
namespace {

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;
// "12/7/2026 10:25:21 PM" fills 21 columns; the message starts in the zone at column 28.
const std::string kStamp = "12/7/2026 10:25:21 PM" + std::string(7, ' ');

std::string Sp(int count) { return std::string(static_cast<std::size_t>(count), ' '); }

// Each walk runs with the number of threads the test is instantiated with.
class SizeDirsTest : public ::testing::TestWithParam<int> {
 protected:
  // Sizes `drive` as the scan run does: arrays for one drive, names(1) = the drive, level 2.
  void Size(const std::string& drive, int maxlevel, bool nt) { Size(run_, drive, maxlevel, nt); }
  void Size(SizingRun& run, const std::string& drive, int maxlevel, bool nt) {
    Size(run, drive, maxlevel, nt, GetParam());
  }
  void Size(SizingRun& run, const std::string& drive, int maxlevel, bool nt, int threads) {
    run.threads = threads;
    names_.assign(1 + kEntryArrayStep + 1, "");
    sizes_.assign(names_.size(), 0);
    n_ = 1;
    names_[1] = drive;
    sizes_[1] = nt ? SizeDirsNT(run, names_[1], names_, sizes_, n_, 2, maxlevel)
                   : SizeDirs(run, names_[1], names_, sizes_, n_, 2, maxlevel);
  }
  std::vector<std::string> Names() const { return {names_.begin(), names_.begin() + n_ + 1}; }
  std::vector<std::int64_t> Sizes() const { return {sizes_.begin(), sizes_.begin() + n_ + 1}; }
  int UpperBound() const { return static_cast<int>(names_.size()) - 1; }

  std::vector<std::string> LogLines() const {
    std::ifstream in(log_.Path(), std::ios::binary);
    std::string text(std::istreambuf_iterator<char>(in), {});
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < text.size();) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) {
        ADD_FAILURE() << "line without CR LF: " << text.substr(start);
        break;
      }
      lines.push_back(text.substr(start, end - start));
      start = end + 2;
    }
    return lines;
  }

  // C: with files in the root, two top-level directories and a third level below WINNT.
  void AddStandardTree() {
    fs_.AddFile("C:\\pagefile.sys", 1000);
    fs_.AddFile("C:\\boot.ini", 10);
    fs_.AddFile("C:\\WINNT\\a.dll", 100);
    fs_.AddFile("C:\\WINNT\\system32\\k.dll", 200);
    fs_.AddFile("C:\\WINNT\\system32\\drivers\\x.sys", 5);
    fs_.AddFile("C:\\WINNT\\Fonts\\f.ttf", 20);
    fs_.AddFile("C:\\Users\\bob\\doc", 7);
    fs_.AddFile("C:\\Users\\x", 3);
  }

  testing::TempFolder folder_;
  FixedClock clock_{DateTime::FromCivil(2026, 12, 7, 22, 25, 21)};
  FixedLocale locale_;
  FakeFileSystem fs_;
  ProgramLog log_{LineFile(folder_ / "brontals.log"), clock_, locale_};
  SizingRun run_{fs_, log_};
  std::vector<std::string> names_;
  std::vector<std::int64_t> sizes_;
  int n_ = 0;
};

TEST_P(SizeDirsTest, DepthTwoGivesOwnFilesAndWholeTopLevelDirectories) {
  AddStandardTree();
  Size("C:", 2, false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "C:", "C:\\.", "C:\\WINNT", "C:\\Users"}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1345, 1010, 325, 10}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{kStamp + "  C:\\WINNT" + Sp(4) + " 325 ",
                                                  kStamp + "  C:\\Users" + Sp(4) + " 10 "}));
  EXPECT_EQ(run_.error_count, 0);
}

TEST_P(SizeDirsTest, DeeperLevelsFollowOwnFilesThenSubdirectoriesThenTheirSubtrees) {
  AddStandardTree();
  Size("C:", 3, false);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"", "C:", "C:\\.", "C:\\WINNT", "C:\\Users", "C:\\WINNT\\.",
                                      "C:\\WINNT\\system32", "C:\\WINNT\\Fonts", "C:\\Users\\.",
                                      "C:\\Users\\bob"}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1345, 1010, 325, 10, 100, 205, 20, 3, 7}));

  Size("C:\\", 4, false);  // a trailing "\" is not doubled
  EXPECT_EQ(Names(), (std::vector<std::string>{
                         "", "C:\\", "C:\\.", "C:\\WINNT", "C:\\Users", "C:\\WINNT\\.",
                         "C:\\WINNT\\system32", "C:\\WINNT\\Fonts", "C:\\WINNT\\system32\\.",
                         "C:\\WINNT\\system32\\drivers", "C:\\WINNT\\Fonts\\.", "C:\\Users\\.",
                         "C:\\Users\\bob", "C:\\Users\\bob\\."}));
  EXPECT_EQ(Sizes(),
            (std::vector<std::int64_t>{0, 1345, 1010, 325, 10, 100, 205, 20, 200, 5, 20, 3, 7, 7}));
  // Only top-level directories are logged, once per walk.
  EXPECT_EQ(LogLines().size(), 4u);
  for (const char* dir : {"C:", "C:\\WINNT", "C:\\WINNT\\system32\\drivers", "C:\\Users\\bob"}) {
    EXPECT_EQ(fs_.ListCount(dir), 2) << dir;
  }
}

TEST_P(SizeDirsTest, RootsOfAnyFormAndEmptyDirectories) {
  fs_.AddDirectory("/\\etc");
  fs_.AddDirectory("\\\\SERVER2\\USERS");
  Size("/", 3, false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "/", "/\\.", "/\\etc", "/\\etc\\."}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 0, 0, 0, 0}));
  Size("\\\\SERVER2\\USERS", 2, true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "\\\\SERVER2\\USERS", "\\\\SERVER2\\USERS\\."}));
}

TEST_P(SizeDirsTest, PagefileCountsByLengthInTheRootOnly) {
  fs_.AddFile("C:\\pagefile.sys", 1000, 200);
  fs_.AddFile("C:\\PAGEFILE.SYS", 300, 30);
  fs_.AddFile("C:\\boot.ini", 10, 4);
  fs_.AddFile("C:\\WINNT\\pagefile.sys", 50, 40);
  fs_.AddFile("C:\\WINNT\\sub\\pagefile.sys", 8, 6);
  for (int maxlevel : {2, 3}) {  // below the root, in SizeDir and in SizeDirs alike
    Size("C:", maxlevel, true);
    EXPECT_EQ(sizes_[2], 1000 + 30 + 4);
    EXPECT_EQ(sizes_[3], 40 + 6);
    Size("C:", maxlevel, false);
    EXPECT_EQ(sizes_[2], 1000 + 300 + 10);
    EXPECT_EQ(sizes_[3], 50 + 8);
  }
}

TEST_P(SizeDirsTest, SizesAre64BitAndSparseFilesCountByAllocatedSpace) {
  fs_.AddFile("C:\\three.bin", 3 * kGiB);
  fs_.AddFile("C:\\data\\five.bin", 5 * kGiB);
  fs_.AddFile("C:\\data\\sparse.img", 10 * kGiB, 4096);
  Size("C:", 2, false);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 18 * kGiB, 3 * kGiB, 15 * kGiB}));
  EXPECT_EQ(LogLines().back(), kStamp + "  C:\\data" + Sp(5) + " 16106127360 ");
  Size("C:", 2, true);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 8 * kGiB + 4096, 3 * kGiB, 5 * kGiB + 4096}));
}

TEST_P(SizeDirsTest, UnlistableDirectoryIsOneErrorNamingItsPath) {
  AddStandardTree();
  fs_.FailList("C:\\Users\\bob", kFsPermissionDenied, "Permission denied: C:\\Users\\bob");
  Size("C:", 2, false);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1338, 1010, 325, 3}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{kStamp + "  C:\\WINNT" + Sp(4) + " 325 ",
                                                  kStamp + "ErrSizeDir: " + Sp(2) + " 70 " +
                                                      Sp(10) + "Permission denied: C:\\Users\\bob" +
                                                      Sp(11) + "C:\\Users\\bob\\" + Sp(1),
                                                  kStamp + "  C:\\Users" + Sp(4) + " 3 "}));
  EXPECT_EQ(run_.error_count, 1);
}

TEST_P(SizeDirsTest, UnlistableExpandedDirectoryKeepsItsOwnFilesEntry) {
  AddStandardTree();
  fs_.FailList("C:\\Users", kFsPermissionDenied, "Permission denied: C:\\Users");
  Size("C:", 3, false);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"", "C:", "C:\\.", "C:\\WINNT", "C:\\Users", "C:\\WINNT\\.",
                                      "C:\\WINNT\\system32", "C:\\WINNT\\Fonts", "C:\\Users\\."}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1335, 1010, 325, 0, 100, 205, 20, 0}));
  // The step, the loop index, n, last and the bounds of both arrays close the line.
  EXPECT_EQ(LogLines().at(1), kStamp + "ErrSizeDirs: " + Sp(1) + " 70 " + Sp(10) +
                                  "Permission denied: C:\\Users" + Sp(1) + "mypath:C:\\Users\\" +
                                  Sp(12) + "myname:" + Sp(7) + "errloc:firstdirget" + Sp(10) +
                                  " 0 " + Sp(11) + " 7 " + Sp(11) + " 8 " + Sp(11) + " 1112 " +
                                  Sp(8) + " 1112 ");
}

TEST_P(SizeDirsTest, BrokenListingIsLoggedAndTheRestStillCounts) {
  AddStandardTree();
  fs_.BreakListing("C:\\WINNT", 1, kFsDeviceIo, "I/O error");
  fs_.BreakListing("C:\\WINNT\\system32", 1, kFsDeviceIo, "I/O error");
  Size("C:", 3, false);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1345, 1010, 325, 10, 100, 205, 20, 3, 7}));
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 4u);
  // "errloc:nextdir" ends on a zone boundary, so a whole zone of blanks follows it.
  EXPECT_EQ(lines[0], kStamp + "ErrSizeDirs: " + Sp(1) + " 57 " + Sp(10) + "I/O error" + Sp(5) +
                          "mypath:C:\\WINNT\\" + Sp(12) + "myname:a.dll" + Sp(2) +
                          "errloc:nextdir" + Sp(14) + " 0 " + Sp(11) + " 4 " + Sp(11) + " 5 " +
                          Sp(11) + " 1112 " + Sp(8) + " 1112 ");
  EXPECT_EQ(lines[1], kStamp + "ErrSizeDir: " + Sp(2) + " 57 " + Sp(10) + "I/O error" + Sp(5) +
                          "C:\\WINNT\\system32\\" + Sp(10) + "k.dll");
  EXPECT_EQ(run_.error_count, 2);
}

TEST_P(SizeDirsTest, UnreadableAttributesMakeAPlainFileWithoutError) {
  fs_.AddFile("C:\\d\\odd\\inside", 99);
  fs_.AddFile("C:\\d\\f", 1);
  fs_.FailAttributes("C:\\d\\odd", kFsPermissionDenied);
  Size("C:", 3, false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "C:", "C:\\.", "C:\\d", "C:\\d\\."}));
  EXPECT_EQ(sizes_[3], 1);
  EXPECT_EQ(run_.error_count, 0);
  EXPECT_EQ(fs_.ListCount("C:\\d\\odd"), 0);
}

class VanishedFileTest : public SizeDirsTest {
 protected:
  void SetUp() override {
    fs_.AddFile("C:\\d\\keep.txt", 100, 64);
    fs_.AddFile("C:\\d\\temp.log", 50, 32);
    fs_.VanishAfterListing("C:\\d\\temp.log");
  }
};

TEST_P(VanishedFileTest, NTVariantFallsBackThenCountsTheFailureToo) {
  Size("C:", 3, true);
  EXPECT_EQ(sizes_[3], 64);
  EXPECT_EQ(run_.error_count, 2);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{
                kStamp + "ErrSizeDirsNT: " + Sp(13) +
                    "Resorting to simple file length function for 'C:\\d\\temp.log' "
                    "(C:\\d\\temp.log)",
                kStamp + "ErrSizeDirsNT: " + Sp(13) + " 53 " + Sp(10) +
                    "File not found: C:\\d\\temp.log" + Sp(13) + "mypath:C:\\d\\" + Sp(2) +
                    "myname:temp.log" + Sp(13) + "errloc:totaladd" + Sp(13) + " 0 " + Sp(11) +
                    " 3 " + Sp(11) + " 4 " + Sp(11) + " 1112 " + Sp(8) + " 1112 ",
                kStamp + "  C:\\d" + Sp(8) + " 64 "}));

  Size("C:", 2, true);  // in SizeDirNT the two lines carry differently spelt prefixes
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[3].substr(0, 56), kStamp + "ErrSizeDirNT: " + Sp(14));
  EXPECT_EQ(lines[4].substr(0, 60), kStamp + "errSizeDirNT: " + Sp(14) + " 53 ");
}

TEST_P(VanishedFileTest, IgnoreErr53SilencesOnlyTheNTVariants) {
  run_.ignore_err53 = true;
  Size("C:", 3, true);
  Size("C:", 2, true);
  EXPECT_EQ(sizes_[3], 64);
  EXPECT_EQ(run_.error_count, 0);
  EXPECT_EQ(LogLines(), std::vector<std::string>(2, kStamp + "  C:\\d" + Sp(8) + " 64 "));

  Size("C:", 3, false);
  EXPECT_EQ(sizes_[3], 100);
  EXPECT_EQ(run_.error_count, 1);
  EXPECT_EQ(LogLines().at(2).substr(0, 46), kStamp + "ErrSizeDirs: " + Sp(1) + " 53 ");
}

TEST_P(SizeDirsTest, UnmeasurableFileFallsBackToTheLengthOfItsShortPath) {
  fs_.AddFile("C:\\Program Files\\big.dat", 5000, 4096);
  fs_.FailSize("C:\\Program Files\\big.dat", kFsDeviceIo, "I/O error");
  fs_.SetShortPath("C:\\Program Files\\big.dat", "C:\\PROGRA~1\\big.dat");
  Size("C:", 2, true);
  EXPECT_EQ(sizes_[3], 5000);
  EXPECT_EQ(run_.error_count, 1);
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{
                kStamp + "ErrSizeDirNT: " + Sp(14) +
                    "Resorting to simple file length function for 'C:\\Program Files\\big.dat' "
                    "(C:\\PROGRA~1\\big.dat)",
                kStamp + "  C:\\Program Files" + Sp(10) + " 5000 "}));
}

TEST_P(SizeDirsTest, The2223rdErrorHaltsTheRun) {
  for (int i = 0; i < 2300; ++i) {
    std::string dir = "C:\\d" + std::to_string(i);
    fs_.AddDirectory(dir);
    fs_.FailList(dir, kFsPermissionDenied, "Permission denied: " + dir);
  }
  try {
    Size("C:", 2, false);
    FAIL() << "the run did not halt";
  } catch (const HaltRun& halt) {
    EXPECT_EQ(halt.prefix, "ErrSizeDir: ");
  }
  EXPECT_EQ(run_.error_count, 2223);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 2u * 2222 + 1);  // an error and a size per directory, then the end
  EXPECT_EQ(lines[2 * 2221 + 1], kStamp + "  C:\\d2221" + Sp(4) + " 0 ");
  EXPECT_EQ(lines.back(), kStamp + "ErrSizeDir: " + Sp(2) + "Halting - too many errors");

  // All the errors in one subtree sized whole: a worker stops once the halt is sure.
  run_.error_count = 0;
  for (int i = 0; i < 2300; ++i) {
    std::string dir = "D:\\big\\d" + std::to_string(i);
    fs_.AddDirectory(dir);
    fs_.FailList(dir, kFsPermissionDenied, "Permission denied: " + dir);
  }
  EXPECT_THROW(Size("D:", 2, false), HaltRun);
  EXPECT_EQ(run_.error_count, 2223);
  lines = LogLines();
  ASSERT_EQ(lines.size(), 2u * 2222 + 1 + 2222 + 1);
  EXPECT_EQ(lines[lines.size() - 2].substr(kStamp.size()),
            "ErrSizeDir: " + Sp(2) + " 70 " + Sp(10) + "Permission denied: D:\\big\\d2221" +
                Sp(11) + "D:\\big\\d2221\\" + Sp(1));
  EXPECT_EQ(lines.back(), kStamp + "ErrSizeDir: " + Sp(2) + "Halting - too many errors");

  // The walk's own errors taking turns with those of subtrees sized whole, which the walk does
  // not wait for: the halt comes at the same error, here one of the walk's.
  run_.error_count = 0;
  for (int i = 0; i < 1200; ++i) {
    const std::string place = "E:\\" + std::to_string(10000 + i);
    fs_.AddDirectory(place + "a");
    fs_.FailList(place + "a", kFsPermissionDenied, "Permission denied: " + place + "a");
    fs_.AddDirectory(place + "b\\whole");
    fs_.FailList(place + "b\\whole", kFsPermissionDenied, "Permission denied");
  }
  try {
    Size("E:", 3, false);
    FAIL() << "the run did not halt";
  } catch (const HaltRun& halt) {
    EXPECT_EQ(halt.prefix, "ErrSizeDirs: ");
  }
  EXPECT_EQ(run_.error_count, 2223);
  lines = LogLines();
  // The halting error of E:\11111a writes the halting line in place of its own.
  EXPECT_NE(lines[lines.size() - 2].find("  E:\\11110b "), std::string::npos)
      << lines[lines.size() - 2];
  EXPECT_EQ(lines.back(), kStamp + "ErrSizeDirs: " + Sp(1) + "Halting - too many errors");
}

TEST_P(SizeDirsTest, TheErrorCountIsSharedAcrossTheRun) {
  fs_.AddFile("C:\\d\\temp.log", 50);
  fs_.VanishAfterListing("C:\\d\\temp.log");
  run_.error_count = kMaxSizingErrors;
  EXPECT_THROW(Size("C:", 3, true), HaltRun);
  EXPECT_EQ(LogLines(), std::vector<std::string>{kStamp + "errSizeDirNT: " + Sp(14) +
                                                 "Halting - too many errors"});
  run_.ignore_err53 = true;  // ignored errors are not counted, so they cannot halt
  EXPECT_NO_THROW(Size("C:", 3, true));
}

TEST_P(SizeDirsTest, ArraysGrowBy1111WhenTheNextIndexReachesTheBoundLessOne) {
  // Subdirectory d<k> lands on index k + 3, after the drive and its own-files entry.
  for (int i = 0; i < 1108; ++i) fs_.AddDirectory("C:\\d" + std::to_string(i));
  Size("C:", 2, false);
  EXPECT_EQ(UpperBound(), 1112);  // the last index, 1110, stayed below the bound less one
  EXPECT_EQ(n_, 1110);

  Size("C:", 3, false);  // the own-files entries grow the arrays by n + 1111 instead
  EXPECT_EQ(UpperBound(), 1110 + 1111);
  EXPECT_EQ(n_, 1110 + 1108);
  EXPECT_EQ(names_[n_], "C:\\d1107\\.");

  fs_.AddDirectory("C:\\d1108");  // index 1111: grows to 1111 + 1111, and later to 2221 + 1111
  for (int i = 1109; i < 2500; ++i) fs_.AddDirectory("C:\\d" + std::to_string(i));
  Size("C:", 2, false);
  EXPECT_EQ(UpperBound(), 3332);
  EXPECT_EQ(sizes_.size(), names_.size());
  EXPECT_EQ(n_, 2502);
  EXPECT_EQ(names_[2502], "C:\\d2499");

  names_.assign(2, "C:");  // a caller's arrays with no room for the own-files entry
  sizes_.assign(2, 0);
  n_ = 1;
  SizeDirs(run_, "D:", names_, sizes_, n_, 2, 0);
  EXPECT_EQ(UpperBound(), 1 + 1111);
  EXPECT_EQ(names_[2], "D:\\.");

  sizes_.pop_back();
  EXPECT_THROW(SizeDirs(run_, "D:", names_, sizes_, n_, 2, 2), std::invalid_argument);
}

TEST_P(SizeDirsTest, LogLinesAndWriteFailures) {
  log_.Line("Finished");
  log_.Blank();
  log_.Raw("Processing extras.txt");
  EXPECT_EQ(LogLines(),
            (std::vector<std::string>{kStamp + "Finished", "", "Processing extras.txt"}));
  EXPECT_EQ(log_.WriteError(), "");
  log_.Close();
  EXPECT_NO_THROW(log_.Line("after close"));
  EXPECT_NE(log_.WriteError(), "");
  EXPECT_EQ(LogLines().size(), 3u);
}

TEST_P(SizeDirsTest, DirectoryTurnedIntoALinkAfterItWasListedIsAnErrorNotFollowed) {
  fs_.AddFile("C:\\b\\f", 1);
  fs_.AddFile("C:\\b\\victim\\own", 10);
  fs_.AddFile("D:\\hoard\\big", 1000000);
  // Another program swaps the directory for a link to a folder full of data while the walk
  // stands between listing C:\b and opening C:\b\victim.
  fs_.OnOpen("C:\\b\\victim", [this] {
    fs_.Move("C:\\b\\victim", "D:\\old-victim");
    fs_.AddLink("C:\\b\\victim", "D:\\hoard");
  });
  Size("C:", 3, false);
  EXPECT_EQ(Names(),
            (std::vector<std::string>{"", "C:", "C:\\.", "C:\\b", "C:\\b\\.", "C:\\b\\victim"}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1, 0, 1, 1, 0}));
  EXPECT_EQ(run_.error_count, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{kStamp + "ErrSizeDir: " + Sp(2) + " 76 " +
                                                      Sp(10) + "Path not found: C:\\b\\victim" +
                                                      Sp(1) + "C:\\b\\victim\\" + Sp(2),
                                                  kStamp + "  C:\\b" + Sp(8) + " 1 "}));

  // Listed as what it now is, a link counts its own length.
  Size("C:", 4, false);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 9, 0, 9, 1 + 8}));
  EXPECT_EQ(run_.error_count, 1);
}

TEST_P(SizeDirsTest, DirectoryThatCannotBeReturnedToIsLeftNotWalkedInAnotherPlace) {
  fs_.AddFile("C:\\a\\b\\c\\d\\e\\f", 1);
  fs_.AddFile("C:\\a\\b\\c\\z\\zz", 100);
  fs_.AddFile("C:\\a\\b\\y\\yy", 10);
  fs_.AddFile("D:\\elsewhere\\z\\trap", 1000);
  // With two directories held open, C:\a\b\c is given back while the walk is in e, and d is
  // moved away under the walk's feet: going back to c through d's ".." lands in D:\elsewhere.
  run_.open_directory_limit = 2;
  fs_.OnOpen("C:\\a\\b\\c\\d\\e", [this] { fs_.Move("C:\\a\\b\\c\\d", "D:\\elsewhere\\d"); });
  Size("C:", 2, false);
  // What was sized of c counts, its other subdirectory is left, in c's place and in the wrong
  // one; b is found again through its path, and its other subdirectory still counts.
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 11, 0, 11}));
  EXPECT_EQ(run_.error_count, 1);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            kStamp + "ErrSizeDir: " + Sp(2) + " 76 " + Sp(10) +
                                "Path not found: 'C:\\a\\b\\c\\' (moved while it was being sized)" +
                                Sp(10) + "C:\\a\\b\\c\\" + Sp(5),
                            kStamp + "  C:\\a" + Sp(8) + " 11 "}));
  EXPECT_EQ(fs_.ListCount("D:\\elsewhere\\z"), 0);
  EXPECT_EQ(fs_.ListCount("C:\\a\\b\\c\\z"), 0);
}

TEST_P(SizeDirsTest, ExpandedDirectoryThatCannotBeReturnedToLeavesItsOtherEntriesAtZero) {
  fs_.AddFile("C:\\a\\b\\c\\f", 1);
  fs_.AddFile("C:\\a\\y\\yy", 10);
  fs_.AddFile("C:\\x\\xx", 100);
  run_.open_directory_limit = 1;
  fs_.OnOpen("C:\\a\\b\\c", [this] { fs_.Move("C:\\a\\b", "D:\\b"); });
  Size("C:", 3, true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "C:", "C:\\.", "C:\\a", "C:\\x", "C:\\a\\.",
                                               "C:\\a\\b", "C:\\a\\y", "C:\\x\\."}));
  if (GetParam() > 1) {
    // Workers size b and y through a, which the walk holds open for them: a is never lost.
    EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 111, 0, 11, 100, 0, 1, 10, 100}));
    EXPECT_EQ(run_.error_count, 0);
    return;
  }
  // a is left after b, whose ".." is no longer a; the rest of the drive goes on, the root
  // found again through its path.
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 101, 0, 1, 100, 0, 1, 0, 100}));
  EXPECT_EQ(run_.error_count, 1);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].substr(0, 60), kStamp + "ErrSizeDirsNT: " + Sp(13) + " 76 ");
  EXPECT_NE(lines[0].find("mypath:C:\\a\\"), std::string::npos) << lines[0];
  EXPECT_NE(lines[0].find("errloc:CallSizeDir "), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], kStamp + "  C:\\a" + Sp(8) + " 1 ");
  EXPECT_EQ(lines[2], kStamp + "  C:\\x" + Sp(8) + " 100 ");
}

TEST_P(SizeDirsTest, HoldingFewDirectoriesOpenChangesNothingButTheReopenings) {
  AddStandardTree();
  fs_.AddFile("C:\\WINNT\\system32\\drivers\\etc\\deep\\er\\hosts", 9);
  fs_.AddFile("C:\\WINNT\\system32\\drivers\\etc\\other\\x", 4);
  fs_.BreakListing("C:\\WINNT\\system32\\drivers\\etc\\deep", 0, kFsDeviceIo, "I/O error");
  fs_.FailList("C:\\WINNT\\system32\\drivers\\etc\\other", kFsPermissionDenied, "denied");
  const auto walk = [this] {
    Size("C:", 3, false);
    std::vector<std::int64_t> sizes = Sizes();
    Size("C:", 6, true);
    sizes.insert(sizes.end(), sizes_.begin(), sizes_.begin() + n_ + 1);
    sizes.push_back(SizeDir(run_, "C:\\WINNT"));
    return std::make_pair(sizes, Names());
  };
  const auto all_open = walk();
  const std::vector<std::string> all_open_log = LogLines();
  const int all_open_calls = fs_.CallCount();
  run_.open_directory_limit = 1;
  EXPECT_EQ(walk(), all_open);
  std::vector<std::string> log = LogLines();
  EXPECT_EQ(std::vector<std::string>(log.begin() + all_open_log.size(), log.end()), all_open_log);
  EXPECT_EQ(run_.error_count, 2 * 6);
  // Every return to a parent reopened it.
  EXPECT_GT(fs_.CallCount(), 2 * all_open_calls);
}

// The disk with an action run once, just before a listing opens the subdirectory `name`: where
// another program's change would race the walk.
class RacingFileSystem : public FileSystem {
 public:
  RacingFileSystem(FileSystem& disk, std::string name) : disk_(disk), name_(std::move(name)) {}
  void Arm(std::function<void()> action) { action_ = std::move(action); }

  std::unique_ptr<DirectoryListing> List(std::string_view path) override {
    return Wrap(disk_.List(path));
  }
  DirEntry Stat(std::string_view path) override { return disk_.Stat(path); }
  std::vector<std::string> FixedDrives() override { return disk_.FixedDrives(); }
  std::int64_t FreeBytes(std::string_view drive) override { return disk_.FreeBytes(drive); }
  std::int64_t TotalBytes(std::string_view drive) override { return disk_.TotalBytes(drive); }
  std::string ShortPathOf(std::string_view path) override { return disk_.ShortPathOf(path); }
  std::string ComputerName() override { return disk_.ComputerName(); }
  bool IsNT() override { return disk_.IsNT(); }

 private:
  class Listing : public DirectoryListing {
   public:
    Listing(RacingFileSystem& fs, std::unique_ptr<DirectoryListing> disk)
        : fs_(fs), disk_(std::move(disk)) {}
    bool Next(DirEntry& entry) override { return disk_->Next(entry); }
    DirectoryId Id() const override { return disk_->Id(); }
    std::unique_ptr<DirectoryListing> OpenChild(std::string_view name) override {
      if (name == fs_.name_ && fs_.action_) std::exchange(fs_.action_, nullptr)();
      return fs_.Wrap(disk_->OpenChild(name));
    }
    std::unique_ptr<DirectoryListing> OpenParent() override {
      return fs_.Wrap(disk_->OpenParent());
    }

   private:
    RacingFileSystem& fs_;
    std::unique_ptr<DirectoryListing> disk_;
  };

  std::unique_ptr<DirectoryListing> Wrap(std::unique_ptr<DirectoryListing> disk) {
    return std::make_unique<Listing>(*this, std::move(disk));
  }

  FileSystem& disk_;
  std::string name_;
  std::function<void()> action_;
};

// Lowers the number of descriptors the process may hold, for one test.
class DescriptorLimit {
 public:
  explicit DescriptorLimit(rlim_t limit) {
    if (::getrlimit(RLIMIT_NOFILE, &saved_) != 0) throw std::runtime_error("getrlimit");
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min(limit, saved_.rlim_cur);
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) throw std::runtime_error("setrlimit");
  }
  DescriptorLimit(const DescriptorLimit&) = delete;
  DescriptorLimit& operator=(const DescriptorLimit&) = delete;
  ~DescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &saved_); }

 private:
  rlimit saved_{};
};

class DiskWalkTest : public SizeDirsTest {
 protected:
  testing::TempFolder tree_;
  LinuxFileSystem disk_{"/net"};
  SizingRun disk_run_{disk_, log_};
};

// The same log line with every run of blanks as one: zones pad by the length of what precedes.
std::string Squeezed(std::string_view line) {
  std::string squeezed;
  for (char c : line) {
    if (c != ' ' || squeezed.empty() || squeezed.back() != ' ') squeezed.push_back(c);
  }
  return squeezed;
}

TEST_P(DiskWalkTest, TreeDeeperThanTheStackAndTheDescriptorsIsSizedWhole) {
  // A hundred thousand folders are no test of the disk: on a memory file system where there is
  // one. Any user can make such a tree; a walk that recursed per level would crash on it.
  const testing::TempFolder memory(testing::MemoryFolderRoot());
  testing::DeepTree tree(memory.path(), "d", 100000, "leaf.txt", 4);
  const std::string root = testing::LogicalOf(memory.path());
  // Far fewer descriptors than levels: the walk must give them back on the way down.
  const DescriptorLimit limit(256);

  EXPECT_EQ(SizeDir(disk_run_, root), 4);
  // Two thousand expanded levels, each with its own (empty) files and its one subdirectory
  // holding the leaf, then the rest of the tree sized whole below the last.
  const int maxlevel = 2000;
  Size(disk_run_, root, maxlevel, false);
  ASSERT_EQ(n_, 2 * maxlevel - 1);
  EXPECT_EQ(sizes_[1], 4);
  std::string dir = root;
  for (int level = 3; level <= maxlevel + 1; ++level) {
    const int own = 2 * (level - 3) + 2;
    ASSERT_EQ(names_[own], dir + "\\.") << level;
    ASSERT_EQ(sizes_[own], 0) << level;
    dir += "\\d";
    ASSERT_EQ(names_[own + 1], dir) << level;
    ASSERT_EQ(sizes_[own + 1], 4) << level;
  }
  EXPECT_EQ(disk_run_.error_count, 0);
  const std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(Squeezed(lines[0]), Squeezed(kStamp + "  " + root + "\\d 4 "));
  EXPECT_TRUE(tree.Remove());
}

TEST_P(DiskWalkTest, FolderSwappedForALinkDuringTheWalkIsAnErrorAndNotFollowed) {
  const std::string root = tree_ / "root";
  const std::string victim = tree_ / "root/victim";
  ASSERT_EQ(::mkdir(root.c_str(), 0755), 0);
  std::ofstream(root + "/keep") << std::string(100, 'k');
  ASSERT_EQ(::mkdir((tree_ / "hoard").c_str(), 0755), 0);
  std::ofstream(tree_ / "hoard/big") << std::string(100000, 'b');
  RacingFileSystem racing(disk_, "victim");
  SizingRun run{racing, log_};
  int round = 0;
  // The folder the walk listed is renamed away and a link to the hoard takes its name.
  const auto make_victim_and_arm = [&] {
    ASSERT_EQ(::mkdir(victim.c_str(), 0755), 0);
    std::ofstream(victim + "/own") << std::string(10, 'o');
    racing.Arm([&] {
      const std::string away = tree_ / ("away" + std::to_string(++round));
      ASSERT_EQ(::rename(victim.c_str(), away.c_str()), 0);
      ASSERT_EQ(::symlink((tree_ / "hoard").c_str(), victim.c_str()), 0);
    });
  };

  ASSERT_NO_FATAL_FAILURE(make_victim_and_arm());
  EXPECT_EQ(SizeDir(run, testing::LogicalOf(root)), 100);
  EXPECT_EQ(run.error_count, 1);
  ASSERT_EQ(round, 1);
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(0, 46), kStamp + "ErrSizeDir: " + Sp(2) + " 76 ");
  EXPECT_NE(lines[0].find("Path not found: '" + testing::LogicalOf(victim) + "'"),
            std::string::npos)
      << lines[0];

  ASSERT_EQ(::unlink(victim.c_str()), 0);
  ASSERT_NO_FATAL_FAILURE(make_victim_and_arm());
  Size(run, testing::LogicalOf(root), 3, false);
  ASSERT_EQ(round, 2);
  const std::string logical_victim = testing::LogicalOf(victim);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", testing::LogicalOf(root),
                                               testing::LogicalOf(root) + "\\.", logical_victim,
                                               logical_victim + "\\."}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 100, 100, 0, 0}));
  EXPECT_EQ(run.error_count, 2);
  lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[1].find("mypath:" + logical_victim + "\\"), std::string::npos) << lines[1];
  EXPECT_NE(lines[1].find("errloc:firstdirget"), std::string::npos) << lines[1];
}

// The walk with GetParam() threads against the walk with one, on trees that hold what can go
// wrong on a disk.
class ThreadCountTest : public DiskWalkTest {
 protected:
  // Everything SizeDirs leaves of `root` with `threads` threads at depths 2 to 4, as text:
  // entries and sizes, the error count and the log, written to `log_path`.
  std::string WalkRecord(const std::string& root, int threads, const std::string& log_path) {
    std::string record;
    for (int maxlevel = 2; maxlevel <= 4; ++maxlevel) {
      std::filesystem::remove(log_path);
      ProgramLog log(LineFile(log_path), clock_, locale_);
      SizingRun run{disk_, log};
      Size(run, root, maxlevel, true, threads);
      for (int i = 1; i <= n_; ++i) record += names_[i] + " " + std::to_string(sizes_[i]) + "\n";
      record += "errors " + std::to_string(run.error_count) + "\n";
      log.Close();
      record += testing::ReadWholeFile(log_path);
    }
    return record;
  }
};

TEST_P(ThreadCountTest, RealTreeWithUnreadableFoldersAndLongNamesComesOutTheSame) {
  const std::filesystem::path root = tree_.path() / "root";
  const std::string long_name(255, 'n');
  for (int a = 0; a < 6; ++a) {
    for (int b = 0; b < 4; ++b) {
      const std::filesystem::path dir =
          root / ("a" + std::to_string(a)) / ("b" + std::to_string(b)) / long_name / "c";
      std::filesystem::create_directories(dir);
      std::ofstream(dir / std::string(255, 'f')) << std::string(100 * a + b, 'x');
      std::ofstream(dir.parent_path() / "g") << std::string(7, 'g');
    }
  }
  std::filesystem::create_directory_symlink(root / "a1", root / "a0" / "link");
  // Unreadable at each depth: expanded at some maxlevels, sized whole at others.
  const std::vector<std::filesystem::path> locked = {root / "a2", root / "a3" / "b1",
                                                     root / "a4" / "b2" / long_name,
                                                     root / "a5" / "b3" / long_name / "c"};
  for (const std::filesystem::path& dir : locked) ASSERT_EQ(::chmod(dir.c_str(), 0), 0) << dir;
  // The walker must be refused: root, which is not, walks as nobody.
  std::filesystem::permissions(tree_.path(), std::filesystem::perms::all);
  const std::string logical = testing::LogicalOf(root);
  const auto records = [&](std::string& out) {
    const std::string log_path = tree_ / "walk.log";
    out = WalkRecord(logical, 1, log_path) + '\0' + WalkRecord(logical, GetParam(), log_path);
    return 0;
  };
  std::string out;
  if (testing::RunningAsRoot()) {
    const testing::AccountRun walk = testing::RunAsAccount(65534, 65534, records);
    ASSERT_EQ(walk.status, 0);
    out = walk.out;
  } else {
    records(out);
  }
  const std::size_t split = out.find('\0');
  ASSERT_NE(split, std::string::npos);
  const std::string one = out.substr(0, split);
  EXPECT_EQ(out.substr(split + 1), one);
  EXPECT_NE(one.find("errors 4\n"), std::string::npos) << one;
  EXPECT_NE(one.find("a1\\b0\\" + long_name + " 107\n"), std::string::npos) << one;
  for (const std::filesystem::path& dir : locked) ::chmod(dir.c_str(), 0755);
}

std::string ThreadsName(const ::testing::TestParamInfo<int>& info) {
  return "Threads" + std::to_string(info.param);
}
INSTANTIATE_TEST_SUITE_P(, SizeDirsTest, ::testing::Values(1, 4), ThreadsName);
INSTANTIATE_TEST_SUITE_P(, VanishedFileTest, ::testing::Values(1, 4), ThreadsName);
INSTANTIATE_TEST_SUITE_P(, DiskWalkTest, ::testing::Values(1, 4), ThreadsName);
INSTANTIATE_TEST_SUITE_P(, ThreadCountTest, ::testing::Values(4), ThreadsName);

}  // namespace
}  // namespace brontal
