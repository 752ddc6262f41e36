// Tree-path splitting, counting, field padding and key folding.
#include "store/text.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace brontal {
namespace {

TEST(PathPartsTest, SplitAtTheLastBackslash) {
  EXPECT_EQ(ParentPath("R\\SERVER1\\C:\\WINNT"), "R\\SERVER1\\C:");
  EXPECT_EQ(LastPathPart("R\\SERVER1\\C:\\WINNT"), "WINNT");
  EXPECT_EQ(ParentPath("R\\SERVER1"), "R");
  EXPECT_EQ(LastPathPart("R\\SERVER1\\C:\\WINNT\\."), ".");
  // Edges: a trailing separator leaves an empty last part, a leading one an empty parent.
  EXPECT_EQ(ParentPath("R\\"), "R");
  EXPECT_EQ(LastPathPart("R\\"), "");
  EXPECT_EQ(ParentPath("\\x"), "");
}

TEST(PathPartsTest, WithoutBackslash) {
  EXPECT_EQ(LastPathPart("R"), "R");
  EXPECT_EQ(LastPathPart(""), "");
  try {
    ParentPath("SERVER1");
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("SERVER1"), std::string::npos) << error.what();
  }
  EXPECT_THROW(ParentPath(""), std::invalid_argument);
}

TEST(CountOccurrencesTest, CountsNonOverlappingMatches) {
  EXPECT_EQ(CountOccurrences("R\\SERVER1\\C:\\WINNT", "\\"), 3);
  EXPECT_EQ(CountOccurrences("r", "\\"), 0);
  EXPECT_EQ(CountOccurrences("aaaa", "aa"), 2);
  EXPECT_EQ(CountOccurrences("abcabc", "abc"), 2);
  EXPECT_EQ(CountOccurrences("ab", "abc"), 0);
  EXPECT_EQ(CountOccurrences("abc", ""), 0);
  EXPECT_EQ(CountOccurrences("", ""), 0);
}

TEST(CharacterCountTest, CountsCodePoints) {
  EXPECT_EQ(CharacterCount(""), 0u);
  EXPECT_EQ(CharacterCount("Größe"), 5u);
  EXPECT_EQ(CharacterCount("日本"), 2u);
  EXPECT_EQ(CharacterCount("😀x"), 2u);
  // Broken input still counts every byte somewhere: a stray continuation byte, a lead byte
  // without its continuation, an invalid byte.
  EXPECT_EQ(CharacterCount("a\x80z"), 3u);
  EXPECT_EQ(CharacterCount("\xC3"), 1u);
  EXPECT_EQ(CharacterCount("\xE6\x97z"), 2u);
  EXPECT_EQ(CharacterCount("\xFF\xFE"), 2u);
}

TEST(PadFieldTest, PadsCutsAndBlanks) {
  EXPECT_EQ(PadField("Name", 8), "Name    ");
  EXPECT_EQ(PadField("Directory", 4), "Dire");
  EXPECT_EQ(PadField("Exact", 5), "Exact");
  EXPECT_EQ(PadField("ignored", 3, true), "   ");
  EXPECT_EQ(PadField("", 2), "  ");
  EXPECT_EQ(PadField("abc", 0), "");
  EXPECT_EQ(PadField("abc", -3), "");
}

TEST(PadFieldTest, CountsCharactersNotBytes) {
  EXPECT_EQ(PadField("Größe", 7), "Größe  ");
  EXPECT_EQ(PadField("Größe", 3), "Grö");
  EXPECT_EQ(PadField("日本語", 2), "日本");
  EXPECT_EQ(PadField("😀😀", 1), "😀");
  EXPECT_EQ(PadField("日本", 4), "日本  ");
}

TEST(LowerCaseTest, FoldsAsciiOnly) {
  EXPECT_EQ(LowerCase("R\\SERVER1\\C:\\WinNT"), "r\\server1\\c:\\winnt");
  EXPECT_EQ(LowerCase("@[`{"), "@[`{");  // neighbours of the letter ranges stay
  // The database does not fold these, so neither may a key.
  EXPECT_EQ(LowerCase("ÄRGER"), "Ärger");
  EXPECT_EQ(LowerCase("ΣΩ"), "ΣΩ");
  EXPECT_EQ(LowerCase(std::string{'a', '\xFF', 'B'}), (std::string{'a', '\xFF', 'b'}));
}

}  // namespace
}  // namespace brontal
