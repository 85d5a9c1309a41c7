#include "config/language.h"

#include <unistd.h>

#include <algorithm>

#include <gtest/gtest.h>

#include "base/code_page.h"
#include "base/paths.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetResourceDirectory(dir_.path()); }
  void TearDown() override { SetResourceDirectory(""); }
  void WriteChinese(const std::string& text) { dir_.Write("chinese.lang", text); }
  void WriteEnglish(const std::string& text) { dir_.Write("english.lang", text); }

  ScratchDir dir_;
  LanguageCatalog texts_;
};

TEST_F(LanguageTest, EveryLookUpReadsTheFileOfTheCurrentLanguage) {
  WriteChinese("[string]\n1012=\xCE\xC4\xBC\xFE\n");
  WriteEnglish("[string]\n1012=Files\n");
  EXPECT_EQ(texts_.FilePath(), dir_.File("chinese.lang"));
  EXPECT_EQ(texts_.Text("1012"), "\xCE\xC4\xBC\xFE");
  texts_.SetLanguage(static_cast<Language>(1));
  EXPECT_EQ(texts_.FilePath(), dir_.File("english.lang"));
  EXPECT_EQ(texts_.Text("1012"), "Files");
  WriteEnglish("[string]\n1012=File list\n");  // edited while running
  EXPECT_EQ(texts_.Text("1012"), "File list");
  EXPECT_EQ(texts_.Text("9999"), "");
  unlink(dir_.File("english.lang").c_str());
  EXPECT_EQ(texts_.Text("1012"), "");
  EXPECT_EQ(texts_.ControlCaption("dialog_main", 1054), "");
}

TEST_F(LanguageTest, CaptionsComeFromTheirSectionsWithTheirLimits) {
  std::string longText(1500, 'm');
  WriteChinese("[string]\n1011=" + longText + "\n[IDD_LIST]\ncaption=" + longText +
               "\n1070=" + longText + "\n-1=static\n[dialog_main]\nFILELIST_COL2=" +
               longText + "\n1056=Chinese radio\n");
  EXPECT_EQ(texts_.Text("1011").size(), kTextLimit);
  EXPECT_EQ(texts_.DialogCaption("IDD_LIST").size(), kTextLimit);
  EXPECT_EQ(texts_.ControlCaption("IDD_LIST", 1070).size(), kCaptionLimit);
  EXPECT_EQ(texts_.ControlCaption("IDD_LIST", -1), "static");
  EXPECT_EQ(texts_.ColumnTitle("FILELIST_COL2").size(), kCaptionLimit);
  EXPECT_EQ(texts_.ControlCaption("dialog_main", 1056), "Chinese radio");
  EXPECT_EQ(texts_.ControlCaption("IDD_LIST", 1056), "");
}

TEST_F(LanguageTest, BackslashNIsALineBreakButNotInsideACharacter) {
  // 0x81 0x5C is one double-byte character whose second byte is a backslash.
  WriteChinese("[dialog_main]\n1022=\xC4\xBF\xC2\xBC\\n\xCC\xED\xBC\xD3\n1=\x81\\n\n");
  EXPECT_EQ(texts_.ControlCaption("dialog_main", 1022), "\xC4\xBF\xC2\xBC\n\xCC\xED\xBC\xD3");
  EXPECT_EQ(texts_.ControlCaption("dialog_main", 1), "\x81\\n");
}

TEST_F(LanguageTest, HelpPageFollowsTheLanguageWithoutFallingBack) {
  dir_.Write("rep_help.htm", "zh");
  std::string path;
  EXPECT_TRUE(FindHelpFile(Language::Chinese, &path));
  EXPECT_EQ(path, dir_.File("rep_help.htm"));
  EXPECT_FALSE(FindHelpFile(Language::English, &path));
  EXPECT_EQ(path, dir_.File("rep_help_en.htm"));
  dir_.Write("rep_help_en.htm", "en");
  EXPECT_TRUE(FindHelpFile(Language::English, &path));
}

// The language files shipped beside the executables.
class ShippedLanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override { SetResourceDirectory(ProgramDirectory()); }
  void TearDown() override { SetResourceDirectory(""); }

  LanguageCatalog texts_;
};

const char* const kStringKeys[] = {"1001", "1002", "1003", "1004", "1005", "1006",
                                   "1008", "1011", "1012", "1013", "1015", "1016",
                                   "1017", "1023", "1024", "1025", "1026", "1027"};
const int kMainControls[] = {1058, 1012, 1002, 1022, 1003, 1005, 1024, 1030, 1036, 1037,
                             1039, 1059, 1013, 1007, 1008, 1009, 1010, 1019, 1027, 1020,
                             1021, 1015, 1017, 1056, 1057, 1,    11,   8,    1033, 1032,
                             1049, 1053, 1054, 1055, 1048, 10,   1046, 1041, 1042, 1043,
                             1044, 12,   2,    57670};
const struct {
  const char* section;
  std::vector<int> controls;
} kDialogs[] = {{"IDD_LIST", {1070, 1, 2}},
                {"IDD_PROGRESS", {2}},
                {"IDD_DLGSTR", {1060, 1061, 1, 2}},
                {"IDD_DLGVIEW", {1050, 1051, 1052, 2}}};
const char* const kColumnKeys[] = {"FILELIST_COL1", "FILELIST_COL2", "FILELIST_COL3",
                                   "STRLIST_COL1",  "STRLIST_COL2",  "STRLIST_COL3"};

TEST_F(ShippedLanguageFiles, HoldEveryTextInTheirCodePage) {
  for (int language : {0, 1}) {
    texts_.SetLanguage(static_cast<Language>(language));
    SCOPED_TRACE(texts_.FilePath());
    std::string all;
    for (const char* key : kStringKeys) {
      EXPECT_NE(texts_.Text(key), "") << key;
      all += texts_.Text(key);
    }
    EXPECT_NE(texts_.DialogCaption("dialog_main"), "");
    std::string ascii = all;
    for (int id : kMainControls) {
      EXPECT_NE(texts_.ControlCaption("dialog_main", id), "") << id;
      all += texts_.ControlCaption("dialog_main", id);
      // The language radio buttons name each language in its own script.
      if (id != 1056 && id != 1057) ascii += texts_.ControlCaption("dialog_main", id);
    }
    for (const auto& dialog : kDialogs) {
      EXPECT_NE(texts_.DialogCaption(dialog.section), "") << dialog.section;
      for (int id : dialog.controls) {
        EXPECT_NE(texts_.ControlCaption(dialog.section, id), "") << dialog.section << " " << id;
      }
    }
    for (const char* key : kColumnKeys) EXPECT_NE(texts_.ColumnTitle(key), "") << key;
    // The column keys agree with the numeric titles used when the window opens.
    EXPECT_EQ(texts_.ColumnTitle("FILELIST_COL2"), texts_.Text("1003"));
    EXPECT_EQ(texts_.ColumnTitle("STRLIST_COL1"), texts_.Text("1005"));
    // Progress lines are followed directly by "3/10": they end in a blank.
    for (const char* key : {"1025", "1026", "1027"}) EXPECT_EQ(texts_.Text(key).back(), ' ') << key;
    // File dialog filters: description and pattern pairs, ended by "||".
    for (const char* key : {"1008", "1013"}) {
      std::string filter = texts_.Text(key);
      ASSERT_GE(filter.size(), 2u);
      EXPECT_EQ(filter.substr(filter.size() - 2), "||") << key;
      EXPECT_EQ(std::count(filter.begin(), filter.end(), '|') % 2, 1) << key;
      EXPECT_EQ(filter.find("||"), filter.size() - 2) << key;
    }
    std::string utf8;
    EXPECT_TRUE(CodePage(CodePage::kGbk).ToUtf8(all, &utf8)) << "not valid GBK";
    if (language == 1) {
      for (unsigned char c : ascii) EXPECT_LT(c, 0x80) << "English text holds a non-ASCII byte";
    }
  }
  std::string path;
  EXPECT_TRUE(FindHelpFile(Language::Chinese, &path)) << path;
  EXPECT_TRUE(FindHelpFile(Language::English, &path)) << path;
}

}  // namespace
}  // namespace strbatch
