// The depth example from the built-in sample path and from a setting of the user's.
#include "report/levels_example.h"

#include <gtest/gtest.h>

namespace brontal {
namespace {

TEST(LevelsExampleTest, DefaultSampleShowsTheDirectoryAtEachDepth) {
  MemorySettings settings;
  EXPECT_EQ(LevelsExample(2, settings), "D:\\      Users");
  EXPECT_EQ(LevelsExample(3, settings), "D:\\Users      Quenby");
  EXPECT_EQ(LevelsExample(9, settings),
            "D:\\Users\\Quenby\\Personal\\Letters\\Home\\Mum and Dad\\95      Sent");
  EXPECT_EQ(LevelsExample(11, settings),
            "D:\\Users\\Quenby\\Personal\\Letters\\Home\\Mum and Dad\\95\\Sent\\t      t");
}

TEST(LevelsExampleTest, TheSettingReplacesTheSample) {
  MemorySettings settings;
  settings.Set("Options", "DLevelsExample1", "/\\srv\\www\\intranet\\");
  EXPECT_EQ(LevelsExample(2, settings), "/      srv");
  EXPECT_EQ(LevelsExample(4, settings), "/\\srv\\www      intranet");
}

TEST(LevelsExampleTest, DepthsTheSampleCannotShowAreErrors) {
  MemorySettings settings;
  EXPECT_THROW(LevelsExample(1, settings), std::invalid_argument);
  EXPECT_THROW(LevelsExample(12, settings), std::invalid_argument);  // the last t ends it
  settings.Set("Options", "DLevelsExample1", "C:\\only");
  EXPECT_THROW(LevelsExample(2, settings), std::invalid_argument);
}

}  // namespace
}  // namespace brontal
