// The INI-backed settings store: values come back as the text they were stored as, from a new
// instance too, names match regardless of case, and the per-user file lies where users find it.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/qt_settings.h"
#include "platform/testing/temp_folder.h"

namespace brontal {
namespace {

using testing::TempFolder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(QtSettingsTest, DefaultsUntilSet) {
  TempFolder temp;
  QtSettings settings(temp / "Brontal.ini");
  EXPECT_EQ(settings.Get("Options", "Compare", "7"), "7");
  EXPECT_EQ(settings.Get("Options", "Compare", ""), "");
  settings.Set("Options", "Compare", "");
  EXPECT_EQ(settings.Get("Options", "Compare", "7"), "") << "an empty value is still a value";
  EXPECT_EQ(settings.Get("Options", "Other", "d"), "d");
  EXPECT_EQ(settings.Get("Archiving", "Compare", "x"), "x") << "sections keep keys apart";
}

TEST(QtSettingsTest, TextRoundTripsThroughTheFile) {
  TempFolder temp;
  const std::string path = temp / "Brontal.ini";
  const std::vector<std::pair<std::string, std::string>> values = {
      {"Number", "007"},
      {"Boolean", "true"},
      {"List", "a, b,c"},
      {"Blanks", "  lead and trail  "},
      {"Marks", "x=y; #not a comment [z] \"q\" \\ @Invalid()"},
      {"Path", "\\\\server2\\users\\x"},
      {"Accents", "Mär ünïcödé \xEF\xBC\xBC"},
      {"Lines", "one\ntwo"},
      {"Key With Blanks", "v"},
  };
  {
    QtSettings settings(path);
    for (const auto& [key, value] : values) settings.Set("frmGraph", key, value);
    settings.Set("Options", "Number", "other section");
  }
  QtSettings reread(path);
  for (const auto& [key, value] : values) {
    EXPECT_EQ(reread.Get("frmGraph", key, "default"), value) << key;
  }
  EXPECT_EQ(reread.Get("Options", "Number", "default"), "other section");
}

TEST(QtSettingsTest, SetWritesTheFileAtOnce) {
  TempFolder temp;
  const std::string path = temp / "Brontal.ini";
  QtSettings writer(path);
  writer.Set("Usage", "Left", "120");
  QtSettings reader(path);  // a second program reading while the first still runs
  EXPECT_EQ(reader.Get("Usage", "Left", ""), "120");
  EXPECT_NE(ReadText(path).find("[Usage]"), std::string::npos) << ReadText(path);
}

TEST(QtSettingsTest, NamesMatchRegardlessOfCase) {
  TempFolder temp;
  const std::string path = temp / "Brontal.ini";
  QtSettings settings(path);
  settings.Set("Options", "CompareDays", "7");
  EXPECT_EQ(settings.Get("options", "comparedays", ""), "7");
  settings.Set("OPTIONS", "COMPAREDAYS", "14");
  EXPECT_EQ(settings.Get("Options", "CompareDays", ""), "14");
  const std::string text = ReadText(path);
  EXPECT_NE(text.find("CompareDays=14"), std::string::npos) << text;
  EXPECT_EQ(text.find("COMPAREDAYS"), std::string::npos) << "the first spelling stays";
}

TEST(QtSettingsTest, HandEditedListReadsAsItsText) {
  TempFolder temp;
  const std::string path = temp / "Brontal.ini";
  std::ofstream(path) << "[Options]\nDrives=C:, D:\n";
  EXPECT_EQ(QtSettings(path).Get("Options", "Drives", ""), "C:, D:");
}

TEST(QtSettingsTest, PerUserFileUnderTheConfigFolder) {
  // QSettings reads XDG_CONFIG_HOME once, at its first per-user store of the process.
  TempFolder temp;
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", temp.path().c_str(), 1), 0);
  QtSettings settings;
  ASSERT_EQ(::unsetenv("XDG_CONFIG_HOME"), 0);
  const std::string expected = temp / "Brontal/Brontal.ini";
  if (settings.FileName() != expected) {
    GTEST_SKIP() << "another per-user store was opened first: " << settings.FileName();
  }
  settings.Set("Options", "Levels", "4");
  EXPECT_NE(ReadText(expected).find("Levels=4"), std::string::npos);
}

}  // namespace
}  // namespace brontal
