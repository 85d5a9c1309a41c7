#include "base/profile.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

struct ReadRow {
  const char* why;
  std::string content;
  const char* section;
  const char* key;
  size_t limit;
  std::string expected;  // "<default>" when the default must come back
};

TEST(ProfileTest, ReadingFollowsTheProfileRules) {
  const ReadRow rows[] = {
      {"plain", "[option]\nCase=0\n", "option", "Case", 100, "0"},
      {"names ignore ASCII case", "[OPTION]\nlanguage=1\n", "Option", "Language", 100, "1"},
      {"CR LF lines", "[a]\r\nk=v\r\n", "a", "k", 100, "v"},
      {"blanks around names and value", "  [ a ]\n\t k \t=  v w \t\n", "a", "k", 100, "v w"},
      {"value after the first =", "[a]\nk=x=y\n", "a", "k", 100, "x=y"},
      {"one pair of quotes dropped", "[a]\nk= \"\"v\"\" \n", "a", "k", 100, "\"v\""},
      {"single quotes", "[a]\nk='  v '\n", "a", "k", 100, "  v "},
      {"unmatched quotes stay", "[a]\nk=\"v'\n", "a", "k", 100, "\"v'"},
      {"missing key", "[a]\nother=1\n", "a", "k", 100, "<default>"},
      {"missing section", "[b]\nk=1\n", "a", "k", 100, "<default>"},
      {"key of another section", "[a]\nx=1\n[b]\nk=2\n", "a", "k", 100, "<default>"},
      {"key before any section", "k=1\n[a]\n", "a", "k", 100, "<default>"},
      {"first key wins", "[a]\nk=1\nK=2\n", "a", "k", 100, "1"},
      {"first section wins", "[a]\nx=1\n[a]\nk=2\n", "a", "k", 100, "<default>"},
      {"comment line", "[a]\n;k=1\nk=2\n", "a", "k", 100, "2"},
      {"last line without a break", "[a]\nk=v", "a", "k", 100, "v"},
      {"byte-order mark", "\xEF\xBB\xBF[a]\nk=v\n", "a", "k", 100, "v"},
      {"cut at the limit", "[a]\nk=abcdef\n", "a", "k", 4, "abcd"},
      {"never half a GBK character", "[a]\nk=a\xD6\xD0\xCE\xC4\n", "a", "k", 4, "a\xD6\xD0"},
      {"bytes after a NUL", std::string("[a]\nk=x\0y\n", 10), "a", "k", 100,
       std::string("x\0y", 3)},
  };
  for (const ReadRow& row : rows) {
    std::string got = GetProfileStringFromText(row.content, row.section, row.key, "<default>",
                                               row.limit);
    EXPECT_EQ(got, row.expected) << row.why;
  }
}

TEST(ProfileTest, FilesThatAreNotProfilesGiveTheDefault) {
  ScratchDir dir;
  EXPECT_EQ(GetProfileString(dir.File("missing.ini"), "a", "k", "d", 10), "d");
  EXPECT_EQ(GetProfileString(dir.path(), "a", "k", "d", 10), "d");
  // A FIFO must not block the reader.
  std::string fifo = dir.File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(GetProfileString(fifo, "a", "k", "d", 10), "d");
  std::string huge = "[a]\nk=1\n" + std::string(kMaxProfileBytes, ' ');
  EXPECT_EQ(GetProfileString(dir.Write("huge.ini", huge), "a", "k", "d", 10), "d");
}

TEST(ProfileTest, IntegersMustBeWholeNumbers) {
  ScratchDir dir;
  std::string path = dir.Write("s.ini",
                               "[n]\nplain=12\nsigned= -3 \nletters=abc\ntrailing=1x\nempty=\n"
                               "huge=99999999999\nlong=" + std::string(40, '0') + "7\n");
  EXPECT_EQ(GetProfileInt(path, "n", "plain", 5), 12);
  EXPECT_EQ(GetProfileInt(path, "n", "signed", 5), -3);
  EXPECT_EQ(GetProfileInt(path, "n", "long", 5), 7);
  for (const char* key : {"letters", "trailing", "empty", "huge", "missing"}) {
    EXPECT_EQ(GetProfileInt(path, "n", key, 5), 5) << key;
  }
}

struct WriteRow {
  const char* why;
  std::string before;
  const char* section;
  const char* key;
  const char* value;
  std::string after;
};

TEST(ProfileTest, SettingAKeyKeepsEverythingElse) {
  const WriteRow rows[] = {
      {"new file", "", "option", "Case", "1", "[option]\nCase=1\n"},
      {"replaces a key spelt otherwise, keeps CR LF", "[option]\r\nLanguage=0\r\nx=1\r\n",
       "option", "language", "1", "[option]\r\nlanguage=1\r\nx=1\r\n"},
      {"adds after the section's last key, before comments of the next",
       "[a]\nx=1\n\n; about b\n[b]\ny=2\n", "a", "k", "v",
       "[a]\nx=1\nk=v\n\n; about b\n[b]\ny=2\n"},
      {"section header without a line break", "[a]", "a", "k", "v", "[a]\nk=v\n"},
      {"last key without a line break", "[a]\nx=1", "a", "k", "v", "[a]\nx=1\nk=v\n"},
      {"new section after text without a line break", "; note", "a", "k", "v",
       "; note\n[a]\nk=v\n"},
      // From the fuzzer: a CR ending the file was read as a line break and
      // must not become part of the last value.
      {"file ending in a lone CR", "[b]\nk=x\r", "a", "k", "v", "[b]\nk=x\r\n[a]\nk=v\n"},
      {"section ending in a lone CR", "[a]\nx=1\r", "a", "k", "v", "[a]\nx=1\r\nk=v\n"},
      {"writes into the first of two sections", "[a]\n[b]\n[a]\n", "a", "k", "v",
       "[a]\nk=v\n[b]\n[a]\n"},
      {"blanks are quoted", "", "a", "k", " v ", "[a]\nk=\" v \"\n"},
      {"enclosing quotes are quoted", "", "a", "k", "'v'", "[a]\nk=\"'v'\"\n"},
  };
  for (const WriteRow& row : rows) {
    std::string content = row.before;
    ASSERT_TRUE(SetProfileValue(&content, row.section, row.key, row.value)) << row.why;
    EXPECT_EQ(content, row.after) << row.why;
  }
}

TEST(ProfileTest, EveryStorableValueReadsBackAsWritten) {
  const std::string values[] = {"",     " a",    "a ",  "\"q\"", "'",         "\"",
                                "a=b",  ";x",    "[x]", "\t",    "\xB0\xA1\\", "\"a'",
                                std::string("x\0y", 3)};
  for (const std::string& value : values) {
    std::string content = "[a]\nk=old\n[b]\nk=other\n";
    ASSERT_TRUE(SetProfileValue(&content, "a", "k", value)) << value;
    EXPECT_EQ(GetProfileStringFromText(content, "a", "k", "<default>", 100), value);
    EXPECT_EQ(GetProfileStringFromText(content, "b", "k", "<default>", 100), "other");
  }
}

TEST(ProfileTest, RefusesWhatTheFormatCannotHold) {
  const std::string before = "[a]\nk=1\n";
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {{"a", "k", "two\nlines"}, {"a", "k=x", "v"}, {"a", "", "v"},
               {"a]", "k", "v"},         {"a", "k ", "v"},  {"a", ";k", "v"}};
  for (const Case& c : cases) {
    std::string content = before;
    EXPECT_FALSE(SetProfileValue(&content, c.section, c.key, c.value))
        << c.section << "/" << c.key;
    EXPECT_EQ(content, before);
  }
}

TEST(ProfileTest, WritingCreatesTheFileOrLeavesItUntouched) {
  ScratchDir dir;
  Message error;
  std::string path = dir.File("new.ini");
  ASSERT_TRUE(WriteProfileString(path, "option", "Case", "0", &error)) << error;
  EXPECT_EQ(dir.Read("new.ini"), "[option]\nCase=0\n");

  std::string original = "; mine\n[option]\nCase=1\n";
  dir.Write("kept.ini", original);
  testing::FailingRewriter failing;
  EXPECT_FALSE(WriteProfileStrings(failing, dir.File("kept.ini"), "option", {{"Case", "0"}},
                                   &error));
  EXPECT_EQ(dir.Read("kept.ini"), original);


  std::string huge = "[a]\n" + std::string(kMaxProfileBytes, 'x');
  dir.Write("huge.ini", huge);
  EXPECT_FALSE(WriteProfileString(dir.File("huge.ini"), "a", "k", "v", &error));
  EXPECT_EQ(dir.Read("huge.ini").size(), huge.size());
  EXPECT_FALSE(WriteProfileString(dir.path(), "a", "k", "v", &error));
}

}  // namespace
}  // namespace strbatch
