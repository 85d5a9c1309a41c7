#include "batch/string_syntax.h"

#include <gtest/gtest.h>

namespace strbatch {
namespace {

TEST(UnescapePlainTest, EscapeTable) {
  struct Row {
    const char* typed;
    std::string decoded;
  } rows[] = {
      {"", ""},
      {"a\\qb", "aqb"},
      {"a\\\\b", "a\\b"},
      {"abc\\", "abc"},
      {"{1}", "{1}"},
      {"\\r\\n\\t", "\r\n\t"},
      {"\\\\n", "\\n"},
      // Without a code page, 0x5C escapes wherever it stands.
      {"\x95\\n", "\x95\n"},
  };
  for (const Row& row : rows) EXPECT_EQ(UnescapePlain(row.typed), row.decoded) << row.typed;
  // With one, 許 (B3 5C in BIG5) followed by n stays 許n; a real escape
  // after it still works.
  EXPECT_EQ(UnescapePlain("\xB3\\n\\t", &CodePage::Big5()), "\xB3\\n\t");
}

struct SearchRow {
  std::string text;
  std::string find;
  size_t expected;
};

TEST(FindCaseSensitiveTest, OnlyCharacterBoundaries) {
  const SearchRow rows[] = {
      {"hello world", "world", 6},
      {"abc", "", kNotFound},
      {"", "a", kNotFound},
      {"ab", "abc", kNotFound},
      // 0xB0 0xA1 0xB0 0xA1: "A1 B0" sits across two characters.
      {"\xB0\xA1\xB0\xA1", "\xA1\xB0", kNotFound},
      // The trail byte 'A' of 0x81 0x41 is not an 'A' of the text.
      {"\x81" "AA", "A", 2},
      // After an ASCII byte a new character starts.
      {"x\xB0\xA1", "\xB0\xA1", 1},
      // A run of high bytes pairs up from its start.
      {"\xB0\xA1\xA1\xA1", "\xA1\xA1", 2},
      // 0x80 counts as a lead byte for the plain search.
      {"\x80" "ab", "a", kNotFound},
      {"\x80" "ab", "b", 2},
  };
  for (const SearchRow& row : rows) {
    EXPECT_EQ(FindCaseSensitive(row.text, row.find), row.expected) << row.text << "/" << row.find;
  }
}

TEST(FindCaseSensitiveTest, SearchesOnFromABoundary) {
  std::string text = "aXaXa";
  EXPECT_EQ(FindCaseSensitive(text, "a", 1), 2u);
  EXPECT_EQ(FindCaseSensitive(text, "a", 5), kNotFound);
}

TEST(FindNoCaseTest, FoldsAsciiLettersOnly) {
  const SearchRow rows[] = {
      {"xxABC", "abc", 2},
      {"aBc", "ABC", 0},
      {"abc", "", kNotFound},
      // 網 is BE 57 and 緒 is BE 77: a folded trail byte would confuse them.
      {"\xBE\x77", "\xBE\x57", kNotFound},
      {"\xBE\x57", "\xBE\x57", 0},
      // Never a start on a trail byte, also when the trail is a letter.
      {"\x81" "a", "a", kNotFound},
      {"\x81" "aA", "a", 2},
  };
  for (const SearchRow& row : rows) {
    EXPECT_EQ(FindNoCase(row.text, row.find), row.expected) << row.text << "/" << row.find;
  }
}

}  // namespace
}  // namespace strbatch

#include <cstring>
#include <random>

namespace strbatch {
namespace {

// The block searches against memmem, over small alphabets so that partial
// matches are common, at every length and alignment near the block edges.
TEST(FindBytesTest, BlockSearchesAgreeWithMemmem) {
  std::mt19937 random(7);
  for (int round = 0; round < 3000; round++) {
    std::string text(random() % 100, ' ');
    for (char& c : text) c = "ab\xB0"[random() % 3];
    std::string needle(1 + random() % 6, ' ');
    for (char& c : needle) c = "ab\xB0"[random() % 3];
    const void* hit = memmem(text.data(), text.size(), needle.data(), needle.size());
    size_t expected = hit ? static_cast<size_t>(static_cast<const char*>(hit) - text.data())
                          : kNotFound;
    ASSERT_EQ(FindBytesForTesting(text, needle, false), expected) << text << "/" << needle;
    ASSERT_EQ(FindBytesForTesting(text, needle, true), expected) << text << "/" << needle;
  }
}

}  // namespace
}  // namespace strbatch
