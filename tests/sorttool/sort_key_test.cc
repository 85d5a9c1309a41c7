#include "sorttool/sort_key.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace strbatch {
namespace {

// Test texts are written in UTF-8 and turned into GBK bytes here.
std::string Gbk(const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(CodePage(CodePage::kGbk).FromUtf8(utf8, &bytes)) << utf8;
  return bytes;
}

std::string Key(const std::string& text, SortKeyOptions options = {},
                const SortTables& tables = SortTables{}) {
  return SortKeyBuilder(options, tables, CodePage(CodePage::kGbk)).BuildKey(text);
}

constexpr SortKeyOptions kAllOff{};
constexpr SortKeyOptions kCaseOn{true, false, false};
constexpr SortKeyOptions kWidthOn{false, true, false};
constexpr SortKeyOptions kCaseAndWidthOn{true, true, false};
constexpr SortKeyOptions kSpacesOn{false, false, true};

struct KeyRow {
  const char* note;
  SortKeyOptions options;
  std::string text;  // GBK bytes
  std::string key;
};

TEST(SortKeyTest, KeysFollowTheOptions) {
  const KeyRow rows[] = {
      // Case.
      {"capitals", kAllOff, "APPLE", "apple"},
      {"case kept", kCaseOn, "APPLE", "APPLE"},
      {"full-width capital lower-cased, then folded", kAllOff, Gbk("Ａ"), "a"},
      {"full-width capital folded only", kCaseOn, Gbk("Ａ"), "A"},
      {"full-width capital lower-cased only", kWidthOn, Gbk("Ａ"), Gbk("ａ")},
      {"full-width kept", kCaseAndWidthOn, Gbk("Ａ"), Gbk("Ａ")},
      {"Greek and Cyrillic capitals", kAllOff, Gbk("ΑА"), Gbk("αа")},
      {"Roman numeral", kAllOff, Gbk("Ⅰ"), Gbk("ⅰ")},
      // Spaces.
      {"space dropped", kAllOff, " a b ", "ab"},
      {"space counted", kSpacesOn, " b", " b"},
      {"tab always counts", kAllOff, "\tb", "\tb"},
      {"full-width space is not a space", kAllOff, Gbk("　"), Gbk("　")},
      // Width.
      {"brackets and digit", kAllOff, Gbk("（１）"), "(1)"},
      {"digits and letters", kCaseOn, Gbk("０９ＡＺａｚ"), "09AZaz"},
      {"signs", kAllOff, Gbk("～！＃％＊＋｜｀－—＝｛｝［］：；？，。／〈〉"),
       "~!#%*+|`--={}[]:;?,./<>"},
      {"quotes", kAllOff, Gbk("“”’"), "\"\"'"},
      {"signs that do not fold", kAllOff, Gbk("‘．＄"), Gbk("‘．＄")},
      // Units: a byte from 0x80 up takes the next byte with it.
      {"trail byte in the letter range is no letter", kAllOff, "\x81" "A", "\x81" "A"},
      {"trail byte that is a space", kAllOff, "\x81 ", "\x81 "},
      {"lone lead byte at the end", kAllOff, "A\xB0", "a\xB0"},
      {"lead byte before a NUL", kAllOff, std::string("\xB0\0A", 3), std::string("\xB0\0a", 3)},
      {"0x80 is a character of its own", kAllOff, "\x80" "A", "\x80" "a"},
  };
  for (const KeyRow& row : rows) {
    EXPECT_EQ(Key(row.text, row.options), row.key) << row.note;
  }
}

TEST(SortKeyTest, TablesApplyBeforeTheOptions) {
  SortTables tables;
  tables.equalValues[Gbk("壹")] = "1";
  tables.equalValues[Gbk("Ｘ")] = "B";
  tables.equalValues[Gbk("甲")] = Gbk("的");
  tables.equalValues["_"] = " ";
  tables.equalValues["ab"] = "z";  // several characters: never a unit
  tables.noSort.insert(Gbk("的"));

  EXPECT_EQ(Key(Gbk("壹号"), kAllOff, tables), Key(Gbk("1号"), kAllOff, tables));
  EXPECT_EQ(Key(Gbk("Ｘ"), kAllOff, tables), "b");
  EXPECT_EQ(Key(Gbk("Ｘ"), kCaseOn, tables), "B");
  EXPECT_EQ(Key("a_b", kAllOff, tables), "ab");
  EXPECT_EQ(Key("a_b", kSpacesOn, tables), "a b");
  EXPECT_EQ(Key("ab", kAllOff, tables), "ab");
  EXPECT_EQ(Key(Gbk("我的书"), kAllOff, tables), Gbk("我书"));
  EXPECT_EQ(Key(Gbk("的的"), kAllOff, tables), "");
  // The no-sort table is asked about the character as read, not about what
  // the equal-value table made of it.
  EXPECT_EQ(Key(Gbk("甲"), kAllOff, tables), Gbk("的"));
}

// Keys of text in another encoding than the process code page: UTF-8 (the
// work text of UTF-8 and UTF-16 files) and BIG5.
std::string Encoded(const CodePage& codePage, const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(codePage.FromUtf8(utf8, &bytes)) << utf8;
  return bytes;
}

struct EncodedKeyRow {
  const char* note;
  int codePage;
  SortKeyOptions options;
  std::string text;  // UTF-8, turned into the code page
  std::string key;   // likewise
};

TEST(SortKeyTest, OtherEncodingsFollowTheSameRulesOnTheirCharacters) {
  const int kUtf8 = CodePage::kUtf8, kBig5 = CodePage::kBig5;
  const EncodedKeyRow rows[] = {
      {"full-width letters", kUtf8, kAllOff, "ＡＢｃ", "abc"},
      {"full-width letter, case kept", kUtf8, kCaseOn, "Ａ", "A"},
      {"full-width letter, width kept", kUtf8, kWidthOn, "Ａ", "ａ"},
      {"every full-width form folds", kUtf8, kAllOff, "．＄＠～", ".$@~"},
      {"the typographic signs of the table", kUtf8, kAllOff, "“”’—〈〉。", "\"\"'-<>."},
      {"full-width space and U+2018 stay", kUtf8, kAllOff, "　‘", "　‘"},
      {"Greek capitals", kUtf8, kAllOff, "ΑΣ", "ασ"},
      {"lower case may be shorter", kUtf8, kAllOff, "İ", "i"},
      {"space dropped, tab kept", kUtf8, kAllOff, " 中\t文", "中\t文"},
      {"Chinese characters stay", kUtf8, kCaseAndWidthOn, "中文", "中文"},
      {"BIG5 full-width letter", kBig5, kAllOff, "Ａ", "a"},
      {"BIG5 full stop folds too", kBig5, kAllOff, "．", "."},
      {"BIG5 Greek capital", kBig5, kAllOff, "Σ", "σ"},
      {"BIG5 signs", kBig5, kAllOff, "（１）", "(1)"},
  };
  for (const EncodedKeyRow& row : rows) {
    const CodePage codePage(row.codePage);
    EXPECT_EQ(SortKeyBuilder(row.options, SortTables{}, codePage)
                  .BuildKey(Encoded(codePage, row.text)),
              Encoded(codePage, row.key))
        << row.note;
  }
}

TEST(SortKeyTest, Utf8UnitsAreWholeCharacters) {
  const CodePage utf8(CodePage::kUtf8);
  SortTables tables;
  tables.equalValues["壹"] = "1";
  tables.noSort.insert("的");
  // "乙" is E4 B9 99: a table entry of its first byte must not match.
  tables.noSort.insert("\xE4");
  const SortKeyBuilder builder(kAllOff, tables, utf8);
  EXPECT_EQ(builder.BuildKey("壹号"), "1号");
  EXPECT_EQ(builder.BuildKey("我的书"), "我书");
  EXPECT_EQ(builder.BuildKey("乙"), "乙");
  // Bytes that are no valid sequence are units of their own: the lone E4
  // is left out, the B9 stays, the letter after them is still lower-cased.
  EXPECT_EQ(builder.BuildKey("\xE4\xB9Z\xFF"), "\xB9z\xFF");
}

TEST(SortKeyTest, ComparisonIsUnsignedBytes) {
  EXPECT_LT(CompareSortKeys("z", "\x80"), 0);
  EXPECT_GT(CompareSortKeys("abc", "ab"), 0);
  EXPECT_LT(CompareSortKeys(std::string("a\0b", 3), "ab"), 0);
  EXPECT_LT(CompareSortKeys("10", "9"), 0);
}

TEST(SortKeyTest, LargeInputsSortQuickly) {
  // All equal, ascending, descending: none may recurse deeply or go quadratic.
  const size_t n = 100000;
  for (int shape = 0; shape < 3; ++shape) {
    std::vector<LineEntry> entries(n);
    for (size_t k = 0; k < n; ++k) {
      entries[k].key = std::to_string(1000000 + (shape == 0 ? 0 : shape == 1 ? k : n - k));
    }
    SortLineEntries(entries);
    for (size_t k = 1; k < n; ++k) ASSERT_LE(entries[k - 1].key, entries[k].key) << shape;
  }
}

}  // namespace
}  // namespace strbatch
