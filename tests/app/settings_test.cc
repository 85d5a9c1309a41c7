#include "app/settings.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// Sets environment variables for one test and puts the old values back.
class EnvironmentGuard {
 public:
  void Set(const char* name, const char* value) {
    const char* old = getenv(name);
    saved_.push_back({name, old != nullptr, old ? old : ""});
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~EnvironmentGuard() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->had) {
        setenv(it->name.c_str(), it->value.c_str(), 1);
      } else {
        unsetenv(it->name.c_str());
      }
    }
  }

 private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

void ExpectDefaults(const Settings& settings) {
  EXPECT_EQ(settings.caseSensitive, 1);
  EXPECT_EQ(settings.advance, 0);
  EXPECT_EQ(settings.altCode, 0);
  EXPECT_EQ(settings.language, 0);
}

TEST(SettingsTest, FilePathFollowsTheEnvironment) {
  EnvironmentGuard env;
  env.Set("STRBATCH_CONFIG", nullptr);
  env.Set("XDG_CONFIG_HOME", "/cfg");
  env.Set("HOME", "/home/u");
  EXPECT_EQ(SettingsFilePath(), "/cfg/strbatch.INI");
  env.Set("XDG_CONFIG_HOME", "relative/dir");  // not absolute: ignored
  EXPECT_EQ(SettingsFilePath(), "/home/u/.config/strbatch.INI");
  env.Set("STRBATCH_CONFIG", "/tmp/x.INI");
  EXPECT_EQ(SettingsFilePath(), "/tmp/x.INI");
}

TEST(SettingsTest, MissingOrGarbledFilesGiveTheDefaults) {
  ScratchDir dir;
  ExpectDefaults(LoadSettings(dir.File("missing.INI")));
  ExpectDefaults(LoadSettings(""));
  std::string garbage;
  for (int i = 0; i < 2000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  ExpectDefaults(LoadSettings(dir.Write("garbage.INI", garbage)));
  ExpectDefaults(LoadSettings(dir.Write(
      "range.INI", "[option]\nCase=2\nAdvance=-1\nAltCode=5\nLanguage=x\n")));
}

TEST(SettingsTest, ReadsEachKeyWithoutRegardToCase) {
  ScratchDir dir;
  Settings settings = LoadSettings(
      dir.Write("s.INI", "[Option]\r\ncase=0\r\nADVANCE=1\r\nAltCode=4\r\nLanguage=1\r\n"));
  EXPECT_EQ(settings.caseSensitive, 0);
  EXPECT_EQ(settings.advance, 1);
  EXPECT_EQ(settings.altCode, 4);
  EXPECT_EQ(settings.language, 1);
}

TEST(SettingsTest, SavingWritesTheKeysInOrderAndKeepsTheRest) {
  ScratchDir dir;
  std::string error;
  Settings settings{0, 1, 3, 1};
  std::string path = dir.File("config/sub/strbatch.INI");  // directories are created
  ASSERT_TRUE(SaveSettings(path, settings, &error)) << error;
  EXPECT_EQ(dir.Read(path), "[option]\nCase=0\nAdvance=1\nAltCode=3\nlanguage=1\n");
  Settings back = LoadSettings(path);
  EXPECT_EQ(back.caseSensitive, 0);
  EXPECT_EQ(back.advance, 1);
  EXPECT_EQ(back.altCode, 3);
  EXPECT_EQ(back.language, 1);

  // "Language" as an older file spells it is replaced, not doubled; other
  // sections, keys and comments stay.
  std::string kept = dir.Write("old.INI",
                               "; user note\r\n[option]\r\nLanguage=0\r\nMine=7\r\n"
                               "[Sort3]\r\nByFile=/t/eq.txt\r\n");
  ASSERT_TRUE(SaveSettings(kept, Settings{1, 0, 0, 1}, &error)) << error;
  EXPECT_EQ(dir.Read(kept),
            "; user note\r\n[option]\r\nlanguage=1\r\nMine=7\r\nCase=1\r\nAdvance=0\r\n"
            "AltCode=0\r\n[Sort3]\r\nByFile=/t/eq.txt\r\n");
  EXPECT_EQ(LoadSettings(kept).language, 1);
}

TEST(SettingsTest, UnwritablePlaceIsReportedAndNothingIsLost) {
  ScratchDir dir;
  std::string error;
  dir.Write("file", "x");
  EXPECT_FALSE(SaveSettings(dir.File("file/strbatch.INI"), Settings{}, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(SaveSettings("", Settings{}, &error));
  EXPECT_EQ(dir.Read("file"), "x");
}

TEST(SettingsTest, SortToolPathsRoundTripBesideTheOptions) {
  ScratchDir dir;
  std::string error;
  std::string path = dir.File("s.INI");
  SortToolSettings empty = LoadSortToolSettings(path);
  EXPECT_EQ(empty.equalValueTable, "");
  EXPECT_EQ(empty.noSortTable, "");
  ASSERT_TRUE(SaveSettings(path, Settings{0, 0, 2, 0}, &error)) << error;
  SortToolSettings sort{" /tables/equal values.txt", "/tables/\xB1\xED.txt"};
  ASSERT_TRUE(SaveSortToolSettings(path, sort, &error)) << error;
  SortToolSettings back = LoadSortToolSettings(path);
  EXPECT_EQ(back.equalValueTable, sort.equalValueTable);
  EXPECT_EQ(back.noSortTable, sort.noSortTable);
  EXPECT_EQ(LoadSettings(path).altCode, 2);
  EXPECT_NE(dir.Read(path).find("[Sort3]\nByFile="), std::string::npos);
}

}  // namespace
}  // namespace strbatch
