// The sizing engine on an in-memory tree: entry order, measuring in both variants, error lines,
// the run's error limit and the growth of the entry arrays, with the log read back as written.
#include "scanner/size_dirs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/fake_filesystem.h"
#include "platform/fixed_locale.h"
#include "platform/testing/temp_folder.h"
#include "store/program_log.h"

namespace brontal {
namespace {

constexpr std::int64_t kGiB = 1024LL * 1024 * 1024;
// "12/7/2026 10:25:21 PM" fills 21 columns; the message starts in the zone at column 28.
const std::string kStamp = "12/7/2026 10:25:21 PM" + std::string(7, ' ');

std::string Sp(int count) { return std::string(static_cast<std::size_t>(count), ' '); }

class SizeDirsTest : public ::testing::Test {
 protected:
  // Sizes `drive` as the scan run does: arrays for one drive, names(1) = the drive, level 2.
  void Size(const std::string& drive, int maxlevel, bool nt) {
    names_.assign(1 + kEntryArrayStep + 1, "");
    sizes_.assign(names_.size(), 0);
    n_ = 1;
    names_[1] = drive;
    sizes_[1] = nt ? SizeDirsNT(run_, names_[1], names_, sizes_, n_, 2, maxlevel)
                   : SizeDirs(run_, names_[1], names_, sizes_, n_, 2, maxlevel);
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

TEST_F(SizeDirsTest, DepthTwoGivesOwnFilesAndWholeTopLevelDirectories) {
  AddStandardTree();
  Size("C:", 2, false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "C:", "C:\\.", "C:\\WINNT", "C:\\Users"}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 1345, 1010, 325, 10}));
  EXPECT_EQ(LogLines(), (std::vector<std::string>{kStamp + "  C:\\WINNT" + Sp(4) + " 325 ",
                                                  kStamp + "  C:\\Users" + Sp(4) + " 10 "}));
  EXPECT_EQ(run_.error_count, 0);
}

TEST_F(SizeDirsTest, DeeperLevelsFollowOwnFilesThenSubdirectoriesThenTheirSubtrees) {
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

TEST_F(SizeDirsTest, RootsOfAnyFormAndEmptyDirectories) {
  fs_.AddDirectory("/\\etc");
  fs_.AddDirectory("\\\\SERVER2\\USERS");
  Size("/", 3, false);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "/", "/\\.", "/\\etc", "/\\etc\\."}));
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 0, 0, 0, 0}));
  Size("\\\\SERVER2\\USERS", 2, true);
  EXPECT_EQ(Names(), (std::vector<std::string>{"", "\\\\SERVER2\\USERS", "\\\\SERVER2\\USERS\\."}));
}

TEST_F(SizeDirsTest, PagefileCountsByLengthInTheRootOnly) {
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

TEST_F(SizeDirsTest, SizesAre64BitAndSparseFilesCountByAllocatedSpace) {
  fs_.AddFile("C:\\three.bin", 3 * kGiB);
  fs_.AddFile("C:\\data\\five.bin", 5 * kGiB);
  fs_.AddFile("C:\\data\\sparse.img", 10 * kGiB, 4096);
  Size("C:", 2, false);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 18 * kGiB, 3 * kGiB, 15 * kGiB}));
  EXPECT_EQ(LogLines().back(), kStamp + "  C:\\data" + Sp(5) + " 16106127360 ");
  Size("C:", 2, true);
  EXPECT_EQ(Sizes(), (std::vector<std::int64_t>{0, 8 * kGiB + 4096, 3 * kGiB, 5 * kGiB + 4096}));
}

TEST_F(SizeDirsTest, UnlistableDirectoryIsOneErrorNamingItsPath) {
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

TEST_F(SizeDirsTest, UnlistableExpandedDirectoryKeepsItsOwnFilesEntry) {
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

TEST_F(SizeDirsTest, BrokenListingIsLoggedAndTheRestStillCounts) {
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

TEST_F(SizeDirsTest, UnreadableAttributesMakeAPlainFileWithoutError) {
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

TEST_F(VanishedFileTest, NTVariantFallsBackThenCountsTheFailureToo) {
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

TEST_F(VanishedFileTest, IgnoreErr53SilencesOnlyTheNTVariants) {
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

TEST_F(SizeDirsTest, UnmeasurableFileFallsBackToTheLengthOfItsShortPath) {
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

TEST_F(SizeDirsTest, The2223rdErrorHaltsTheRun) {
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
}

TEST_F(SizeDirsTest, TheErrorCountIsSharedAcrossTheRun) {
  fs_.AddFile("C:\\d\\temp.log", 50);
  fs_.VanishAfterListing("C:\\d\\temp.log");
  run_.error_count = kMaxSizingErrors;
  EXPECT_THROW(Size("C:", 3, true), HaltRun);
  EXPECT_EQ(LogLines(), std::vector<std::string>{kStamp + "errSizeDirNT: " + Sp(14) +
                                                 "Halting - too many errors"});
  run_.ignore_err53 = true;  // ignored errors are not counted, so they cannot halt
  EXPECT_NO_THROW(Size("C:", 3, true));
}

TEST_F(SizeDirsTest, ArraysGrowBy1111WhenTheNextIndexReachesTheBoundLessOne) {
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

TEST_F(SizeDirsTest, LogLinesAndWriteFailures) {
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

}  // namespace
}  // namespace brontal
