#include "config/settings.h"

#include <stdlib.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// The stored numbers of the options, as the settings file holds them.
struct Stored {
  int caseSensitive;
  int advance;
  int altCode;
  int language;
  EncodingSetting encoding = EncodingSetting::Gbk;
};

Stored Numbers(const Options& options) {
  return {options.Case ? 1 : 0, options.Advance ? 1 : 0, AltCodeNumber(options.AltCode),
          static_cast<int>(options.language), options.encoding};
}

Options Make(const Stored& stored) {
  Options options;
  options.Case = stored.caseSensitive != 0;
  options.Advance = stored.advance != 0;
  options.AltCode = AltCodeFromNumber(stored.altCode);
  options.language = static_cast<Language>(stored.language);
  options.encoding = stored.encoding;
  return options;
}

void ExpectDefaults(const Options& options) {
  const Stored settings = Numbers(options);
  EXPECT_EQ(settings.caseSensitive, 1);
  EXPECT_EQ(settings.advance, 0);
  EXPECT_EQ(settings.altCode, 0);
  EXPECT_EQ(settings.language, 0);
  EXPECT_EQ(settings.encoding, EncodingSetting::Gbk);
}

TEST(SettingsTest, FilePathFollowsTheEnvironment) {
  const char* names[] = {"STRBATCH_CONFIG", "XDG_CONFIG_HOME", "HOME"};
  std::string saved[3];
  for (int i = 0; i < 3; ++i) saved[i] = getenv(names[i]) ? getenv(names[i]) : "";
  unsetenv("STRBATCH_CONFIG");
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  setenv("HOME", "/home/u", 1);
  EXPECT_EQ(SettingsFilePath(), "/cfg/strbatch.INI");
  setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // not absolute: ignored
  EXPECT_EQ(SettingsFilePath(), "/home/u/.config/strbatch.INI");
  setenv("STRBATCH_CONFIG", "/tmp/x.INI", 1);
  EXPECT_EQ(SettingsFilePath(), "/tmp/x.INI");
  for (int i = 0; i < 3; ++i) {
    if (saved[i].empty()) {
      unsetenv(names[i]);
    } else {
      setenv(names[i], saved[i].c_str(), 1);
    }
  }
}

TEST(SettingsTest, ReadsKeysWithoutRegardToCaseAndRefusesBadValues) {
  ScratchDir dir;
  const Stored settings = Numbers(LoadSettings(
      dir.Write("s.INI", "[Option]\r\ncase=0\r\nADVANCE=1\r\nAltCode=4\r\nLanguage=1\r\n")));
  EXPECT_EQ(settings.caseSensitive, 0);
  EXPECT_EQ(settings.advance, 1);
  EXPECT_EQ(settings.altCode, 4);
  EXPECT_EQ(settings.language, 1);

  ExpectDefaults(LoadSettings(dir.File("missing.INI")));
  std::string garbage;
  for (int i = 0; i < 2000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
  ExpectDefaults(LoadSettings(dir.Write("garbage.INI", garbage)));
  ExpectDefaults(LoadSettings(dir.Write(
      "range.INI", "[option]\nCase=2\nAdvance=-1\nAltCode=7\nLanguage=x\nEncoding=latin1\n")));
}

TEST(SettingsTest, SavingWritesTheKeysInOrderAndKeepsTheRest) {
  ScratchDir dir;
  Message error;
  std::string path = dir.File("config/sub/strbatch.INI");  // directories are created
  ASSERT_TRUE(SaveSettings(path, Make({0, 1, 3, 1}), &error)) << error;
  EXPECT_EQ(dir.Read(path),
            "[option]\nCase=0\nAdvance=1\nAltCode=3\nlanguage=1\nEncoding=gbk\nAllParts=0\n");
  EXPECT_EQ(Numbers(LoadSettings(path)).altCode, 3);
  EXPECT_EQ(LoadSettings(path).encoding, EncodingSetting::Gbk);
  Options all = Make({1, 0, 6, 0, EncodingSetting::Auto});
  all.allParts = true;
  ASSERT_TRUE(SaveSettings(path, all, &error)) << error;
  EXPECT_EQ(LoadSettings(path).encoding, EncodingSetting::Auto);
  EXPECT_TRUE(LoadSettings(path).allParts);
  EXPECT_EQ(Numbers(LoadSettings(path)).altCode, 6);

  // "Language" as read is replaced by "language", not doubled; other
  // sections, keys and comments stay.
  std::string kept = dir.Write("old.INI",
                               "; user note\r\n[option]\r\nLanguage=0\r\nMine=7\r\n"
                               "[Sort3]\r\nByFile=/t/eq.txt\r\n");
  ASSERT_TRUE(SaveSettings(kept, Make({1, 0, 0, 1}), &error)) << error;
  EXPECT_EQ(dir.Read(kept),
            "; user note\r\n[option]\r\nlanguage=1\r\nMine=7\r\nCase=1\r\nAdvance=0\r\n"
            "AltCode=0\r\nEncoding=gbk\r\nAllParts=0\r\n[Sort3]\r\nByFile=/t/eq.txt\r\n");
  EXPECT_EQ(Numbers(LoadSettings(kept)).language, 1);

  dir.Write("file", "x");
  EXPECT_FALSE(SaveSettings(dir.File("file/strbatch.INI"), Options{}, &error));
  EXPECT_FALSE(SaveSettings("", Options{}, &error));
}

TEST(SettingsTest, SortToolPathsLiveBesideTheOptions) {
  ScratchDir dir;
  Message error;
  std::string path = dir.File("s.INI");
  EXPECT_EQ(LoadSortToolSettings(path).equalValueTable, "");
  ASSERT_TRUE(SaveSettings(path, Make({0, 0, 2, 0}), &error)) << error;
  SortToolSettings sort{" /tables/equal values.txt", "/tables/\xB1\xED.txt"};
  ASSERT_TRUE(SaveSortToolSettings(path, sort, &error)) << error;
  SortToolSettings back = LoadSortToolSettings(path);
  EXPECT_EQ(back.equalValueTable, sort.equalValueTable);
  EXPECT_EQ(back.noSortTable, sort.noSortTable);
  EXPECT_EQ(Numbers(LoadSettings(path)).altCode, 2);
}

}  // namespace
}  // namespace strbatch
