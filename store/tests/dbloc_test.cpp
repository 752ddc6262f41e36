// Reading the database path from dbloc.txt.
#include "store/dbloc.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

TEST(FirstLineTest, EndsAtAnyLineEnd) {
  EXPECT_EQ(FirstLine("\\\\srv\\share\\brontal.mdb\r\nsecond"), "\\\\srv\\share\\brontal.mdb");
  EXPECT_EQ(FirstLine("a.mdb\nb.mdb\n"), "a.mdb");
  EXPECT_EQ(FirstLine("a.mdb\rb.mdb"), "a.mdb");
  EXPECT_EQ(FirstLine("a.mdb\n\rb.mdb"), "a.mdb");
  EXPECT_EQ(FirstLine("no line end"), "no line end");
  EXPECT_EQ(FirstLine("\r\nsecond"), "");
  EXPECT_EQ(FirstLine(""), "");
}

TEST(FirstLineTest, KeepsBlanksAndTabs) {
  EXPECT_EQ(FirstLine("  /data/brontal.mdb \t\r\n"), "  /data/brontal.mdb \t");
}

class ReadDbLocTest : public ::testing::Test {
 protected:
  void TearDown() override {
    std::filesystem::permissions(folder_ / "dbloc.txt", std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored_);
  }
  void Write(const std::string& content) {
    std::ofstream(folder_ / "dbloc.txt", std::ios::binary) << content;
  }
  std::string Read() { return ReadDbLoc(folder_.string()); }

  testing::TempFolder temp_;
  const std::filesystem::path& folder_ = temp_.path();
  std::error_code ignored_;
};

TEST_F(ReadDbLocTest, FirstLineExactlyAsWritten) {
  Write(" /srv/brontal.mdb  \r\n/other.mdb\r\n");
  EXPECT_EQ(Read(), " /srv/brontal.mdb  ");
  Write("/srv/brontal.mdb\n/other.mdb\n");
  EXPECT_EQ(Read(), "/srv/brontal.mdb");
  Write("/srv/brontal.mdb\r/other.mdb");
  EXPECT_EQ(Read(), "/srv/brontal.mdb");
  Write("/srv/brontal.mdb");
  EXPECT_EQ(Read(), "/srv/brontal.mdb");
  Write("/srv/Größe.mdb\n");
  EXPECT_EQ(Read(), "/srv/Größe.mdb");
}

TEST_F(ReadDbLocTest, LongFirstLineIsWhole) {
  std::string path = "/" + std::string(10000, 'd') + ".mdb";
  Write(path + "\n" + std::string(10000, 'x'));
  EXPECT_EQ(Read(), path);
}

TEST_F(ReadDbLocTest, MissingOrEmptyFileGivesNoPath) {
  EXPECT_EQ(Read(), "");
  EXPECT_EQ(ReadDbLoc((folder_ / "no such folder").string()), "");
  Write("");
  EXPECT_EQ(Read(), "");
  Write("\r\n/srv/brontal.mdb\r\n");
  EXPECT_EQ(Read(), "");
}

TEST_F(ReadDbLocTest, UnreadableFileThrows) {
  std::filesystem::create_directory(folder_ / "dbloc.txt");
  EXPECT_THROW(Read(), std::system_error);
  std::filesystem::remove(folder_ / "dbloc.txt");

  Write("/srv/brontal.mdb\n");
  std::filesystem::permissions(folder_ / "dbloc.txt", std::filesystem::perms::none);
  if (::geteuid() == 0) GTEST_SKIP() << "root reads files without permission";
  try {
    Read();
    FAIL() << "expected std::system_error";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), EACCES);
    EXPECT_NE(std::string(error.what()).find("dbloc.txt"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace brontal
