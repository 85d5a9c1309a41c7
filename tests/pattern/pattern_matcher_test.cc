#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "pattern/pattern.h"

namespace strbatch {
namespace {

// A match as "start,end" followed by " [s,e]" for each group ("[-]" when
// the group took no part).
std::string Describe(const CPatternMatch& match) {
  std::string out = std::to_string(match.Start()) + "," + std::to_string(match.End());
  for (int g = 0; g < match.GroupCount(); ++g) {
    if (match.GroupStart(g) == CPatternMatch::kUnset) {
      out += " [-]";
    } else {
      out += " [" + std::to_string(match.GroupStart(g)) + "," + std::to_string(match.GroupEnd(g)) + "]";
    }
  }
  return out;
}

// One search, described as Describe does, or "none".
std::string FindWith(bool shortcuts, const std::string& expression, const std::string& text,
                     bool caseSensitive, size_t from) {
  CPattern pattern;
  pattern.SetShortcuts(shortcuts);
  const PatternError error = pattern.Compile(expression, caseSensitive);
  if (error != PATTERN_OK) return "error " + std::to_string(error);
  PatternText prepared(pattern, text);
  CPatternMatch match(4);  // small, so that the stack has to grow
  size_t end = 0;
  if (!pattern.Match(prepared, from, match, &end)) return "none";
  EXPECT_EQ(end, match.End()) << expression;
  return Describe(match);
}

// The same search with and without the engine's shortcuts, which must agree.
std::string Find(const std::string& expression, const std::string& text, bool caseSensitive = true,
                 size_t from = 0) {
  const std::string found = FindWith(true, expression, text, caseSensitive, from);
  EXPECT_EQ(found, FindWith(false, expression, text, caseSensitive, from)) << expression;
  return found;
}

struct Row {
  const char* expression;
  std::string text;
  const char* expected;
  bool caseSensitive = true;
};

void CheckRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    EXPECT_EQ(Find(row.expression, row.text, row.caseSensitive), row.expected)
        << "expression '" << row.expression << "' text '" << row.text << "'"
        << (row.caseSensitive ? "" : " (ignoring case)");
  }
}

TEST(PatternMatcherTest, AlternationBindsSingleItems) {
  CheckRows({
      {"T|the", "The", "0,3"},
      {"T|the", "xx the", "3,6"},
      {"T|the", "Tie", "none"},
      {"ab|cd", "abd", "0,3"},
      {"ab|cd", "acd", "0,3"},
      {"ab|cd", "ab", "none"},
      {"a|b|c", "xc", "1,2"},
      {"(ab)|(cd)", "xcd", "1,3"},
      {"{a}b|{c}", "ab", "0,2 [0,1] [-]"},
      {"{a}b|{c}", "ac", "0,2 [0,1] [1,2]"},
      {"xa|", "xb", "0,1"},   // the item before a final "|" vanishes
      {"(a|)", "b", "0,0"},   // like "()"
      {"a||b", "|b", "0,2"},  // the second "|" is a literal
  });
}

TEST(PatternMatcherTest, AnchorsAndEnd) {
  CheckRows({
      {"^abc", "abcabc", "0,3"},
      {"^abc", "xabc", "none"},
      {"a^b", "a^b", "0,3"},
      {"^", "abc", "0,0"},
      {"x$", "axbx", "3,4"},
      {"x$", "xa", "none"},
      {"x$y", "x$y", "0,3"},
      {"x$", std::string("x\0yx", 4), "0,1"},  // the text ends at its first NUL
      {"$", "", "0,0"},
      {"$", "ab", "none"},  // attempts are made at characters, not at the end
      {"x*", "", "0,0"},
      {"x", "", "none"},
      {"", "abc", "0,0"},
      {")", "abc", "0,0"},
      {"abc)def", "xabcd", "1,4"},
  });
}

TEST(PatternMatcherTest, SearchStartsAtFrom) {
  EXPECT_EQ(Find("^abc", "abcabc", true, 3), "3,6");
  EXPECT_EQ(Find("^a", "aaa", true, 1), "1,2");
  EXPECT_EQ(Find("b", "bab", true, 1), "2,3");
  EXPECT_EQ(Find("x", "ab", true, 2), "none");
  EXPECT_EQ(Find("x*", "ab", true, 2), "2,2");  // an empty rest is tried once
  EXPECT_EQ(Find("x*", "ab", true, 3), "none");  // beyond the text
  // A back-reference only sees groups of this search.
  EXPECT_EQ(Find("{a}\\0", "aaa", true, 1), "1,3 [1,2]");
}

TEST(PatternMatcherTest, Classes) {
  CheckRows({
      {"[a-c]+", "xxbcay", "2,5"},
      {"[^a-c]", "abz", "2,3"},
      {"[\\t]", "a\tb", "1,2"},
      {"\\t", "a\tt", "2,3"},  // outside a class "\t" is the letter
      {"[\\]]", "a]", "1,2"},
      {"[a\\-z]", "b-", "1,2"},
      {"[-a]", "b-", "1,2"},
      {"[\\n]", "\nn", "1,2"},
      // A class holds first bytes: one double-byte character stands for
      // every one with the same first byte.
      {"[\xD6\xD0]", "\xD6\xD1", "0,2"},
      {"[\xD6\xD0]", "a\xB0\xD6\xD6\xD0", "3,5"},  // never the trail byte 0xD6
      {"[^a]", "\xD6\xD0", "0,2"},
      {"[^\xD6\xD0]x", "\xD6\xD0x\xB0\xA1x", "3,6"},
      {"[\xD6]x]", "x", "0,1"},  // 0xD6 and "]" form one character: the class is 0xD6, x
  });
}

TEST(PatternMatcherTest, Abbreviations) {
  CheckRows({
      {"\\E", "ab\xD6\xD0", "2,4"},
      {"\\E", "abc", "none"},
      {"\\e", "\x7F", "0,1"},
      {"\\e+", "ab\xD6\xD0", "0,2"},
      {"\\N", "\r\n", "0,1"},  // the lone carriage return is tried first
      {"\\N\\N", "\r\n", "0,2"},
      {"\\N", "x\n", "1,2"},
      {"\\n", "\r\n", "1,2"},
      {"\\r", "a\r", "1,2"},
      {"\\d\\d", "a12", "1,3"},
      {"\\a+", "-a1-", "1,3"},
      {"\\c+", "-a1-", "1,2"},
      {"\\h+", "xyFf09g", "2,6"},
      {"\\b", "a b", "1,2"},
      {"\\z", "ab123c", "2,5"},
      {"\\w+ing", "a singing bird", "2,9"},
      {"\\q", "say \"hi\" 'yo'", "4,8"},
      {"\\q", "say 'yo'", "4,8"},
      {"\\D", "dD", "1,2"},  // not an abbreviation: the letter itself
      {"a\\", "xa\\", "1,3"},   // a lone final backslash stands for itself
      {"\\.", "a.", "1,2"},
      // Case ignored: escape letters keep their meaning.
      {"\\E", "ab\xD6\xD0", "2,4", false},
      {"\\N", "a\r\n", "1,2", false},
      {"\\D", "1dD", "1,2", false},
  });
}

TEST(PatternMatcherTest, BackReferences) {
  CheckRows({
      {"{a}{b}\\1", "abb", "0,3 [0,1] [1,2]"},
      {"{a*}\\0", "aab", "0,2 [0,1]"},
      {"{[a-z]+}-\\0", "ab-ab", "0,5 [0,2]"},
      {"{[a-z]+}-\\0", "ab-ac", "none"},
      {"{x}?y\\0", "y", "0,1 [-]"},  // a group that took no part matches empty
      {"{a\\0}", "aa", "none"},      // the enclosing group has no text yet
      {"{a+}-\\0", "aA-Aa", "0,5 [0,2]", false},
      // Double-byte characters compare exactly, also when case is ignored:
      // 0x81 0x41 and 0x81 0x61 are different characters.
      {"{.}\\0", "\x81\x41\x81\x61", "none", false},
      {"{.}\\0", "\x81\x41\x81\x41", "0,4 [0,2]", false},
  });
}

TEST(PatternMatcherTest, GreedyAndLazyRepeats) {
  CheckRows({
      {"a*?b", "aaab", "0,4"},
      {"a+?", "aaa", "0,1"},
      {"(ab)??c", "c", "0,1"},
      {"(ab)??c", "abc", "0,3"},
      {"{a*}a", "aaa", "0,3 [0,2]"},
      {"{a*?}a", "aaa", "0,1 [0,0]"},
      {"{.*}x", "axbxc", "0,4 [0,3]"},
      {"{.*?}x", "axbxc", "0,2 [0,1]"},
      {"a**", "aa*", "0,3"},
      {"*a", "*a", "0,2"},
      {"{[a-z]*}f", "abcdefg", "0,6 [0,5]"},  // gives back one character at a time
      {"{\\w+}ing", "singing", "0,7 [0,4]"},
      {"{\\d?}1", "11", "0,2 [0,1]"},
      {"{a}+", "aaa", "0,3 [2,3]"},  // the last occurrence
      {"({a}|{b})+", "ab", "0,2 [0,1] [1,2]"},
      {"(ab)+?c", "ababc", "0,5"},
      // From a bug: the rest of a lazy repeat moved the position before it
      // failed, and the next occurrence was tried from there.
      {"a*?ab", "aab", "0,3"},
      {"x*?ab", "axab", "1,4"},  // was 0,4: an "x" taken after the "a"
      {"x??ab", "axab", "1,4"},
      {"(ab)??ac", "abac", "0,4"},
  });
}

TEST(PatternMatcherTest, NegativeLookAhead) {
  CheckRows({
      {"!ab", "ab cb", "1,2"},
      {"q!u", "quit qat", "5,6"},
      {"a!.", "ba", "1,2"},
      {"!a+", "b", "0,0"},  // the repeat applies to the whole "!a"
      {"!a+", "a", "none"},
      {"!(ab)..", "abac", "1,3"},
      {"!!a.", "ba", "1,2"},
      // Nothing to negate: a literal "!".
      {"hi!", "oh hi!", "3,6"},
      {"(a!)", "a!", "0,2"},
      // From a bug: a group inside a matching look-ahead kept its text
      // although the look-ahead failed.
      {"(!{ab})?ab", "ab", "0,2 [-]"},
      {"!{a}.", "ab", "1,2 [-]"},
  });
}

TEST(PatternMatcherTest, GroupsAfterBacktracking) {
  CheckRows({
      {"({a}|{ab})c", "abc", "0,3 [-] [0,2]"},
      {"{a}*b", "aab", "0,3 [1,2]"},
      {"{a}*b", "b", "0,1 [-]"},
      {"(({x}y)|(xz))", "xz", "0,2 [-]"},
      {"{[a-z]+}{[0-9]+}", "ab12", "0,4 [0,2] [2,4]"},
      {"{[0-9]+}-{[0-9]+}", "12-34 5-6", "0,5 [0,2] [3,5]"},
  });
}

TEST(PatternMatcherTest, DoubleByteText) {
  const std::string zhong = "\xD6\xD0";  // 中
  const std::string wen = "\xCE\xC4";    // 文
  CheckRows({
      // An attempt never starts on the second byte of a character.
      {"\xD0\xCE", zhong + wen, "none"},
      {"A", "\x81\x41", "none"},
      {"A", "\x81\x41" "A", "2,3"},
      {"\\\\", "\x95\x5C\\", "2,3"},
      {".", zhong, "0,2"},
      {zhong.c_str(), "a" + wen + zhong, "3,5"},
      {("{" + zhong + "+}").c_str(), zhong + zhong + wen, "0,4 [0,4]"},
      // A lead byte at the very end stands alone.
      {".$", "a\xD6", "1,2"},
      // 0x80 and 0xFF are one-byte characters.
      {"\x80", "\x80\x61", "0,1"},
      {".", "\x80" "a", "0,1"},
      {".a", "\xFF" "a", "0,2"},
      {"[\x80]", "\x80", "0,1"},
      {"\\E", "\x80", "0,1"},
  });
}

TEST(PatternMatcherTest, IgnoringCase) {
  CheckRows({
      {"abc", "xxABC", "2,5", false},
      {"ABC", "aBc", "0,3", false},
      {"a{B}c", "aBc", "0,3 [1,2]", false},
      {"[A-Z]+", "12abC", "2,5", false},
      {"[^A]", "aAb", "2,3", false},
      {"[a-z]+", "AB", "0,2", false},
      {"abc", "xxABC", "none", true},
      // Trail bytes are never folded: 0x81 0x41 is not 0x81 0x61.
      {"\x81\x61", "\x81\x41", "none", false},
      {"\x81\x41", "\x81\x41", "0,2", false},
      // After a one-byte 0x80 a capital is a character of its own and folds.
      {"\x80" "a", "\x80" "A", "0,2", false},
  });
}

TEST(PatternMatcherTest, PositionsPointIntoTheUnfoldedText) {
  CPattern pattern;
  ASSERT_EQ(pattern.Compile("{w+}ORLD", false), PATTERN_OK);
  const std::string text = "Hello WWorld, hello wOrLd";
  PatternText prepared(pattern, text);
  CPatternMatch match;
  ASSERT_TRUE(pattern.Match(prepared, 0, match));
  EXPECT_EQ(text.substr(match.Start(), match.End() - match.Start()), "WWorld");
  EXPECT_EQ(text.substr(match.GroupStart(0), match.GroupEnd(0) - match.GroupStart(0)), "WW");
  ASSERT_TRUE(pattern.Match(prepared, match.End(), match));
  EXPECT_EQ(text.substr(match.Start(), match.End() - match.Start()), "wOrLd");
  // Text prepared for a case-sensitive pattern is folded on the spot.
  CPattern sensitive;
  ASSERT_EQ(sensitive.Compile("x", true), PATTERN_OK);
  PatternText unfolded(sensitive, text);
  ASSERT_TRUE(pattern.Match(unfolded, 0, match));
  EXPECT_EQ(match.Start(), 6u);
}

// Atoms that can succeed without consuming text although the compiler lets
// a repeat apply to them: every search must end.
TEST(PatternMatcherTest, RepeatsOfEmptyMatchesEnd) {
  CheckRows({
      {"()*", "ab", "0,0"},
      {"()*x", "aax", "2,3"},
      {"()*?x", "ab", "none"},
      {"()+?x", "ab", "none"},
      {"(!a)*?b", "cccc", "none"},
      {"(!a)*b", "cccb", "3,4"},
      {"{}\\0*?y", "xxx", "none"},
      {"{}\\0*y", "xxy", "2,3 [2,2]"},
      {"{x?}\\0+y", "zzy", "2,3 [2,2]"},
      {"(a|!b)*c", "aaxc", "3,4"},
  });
}

TEST(PatternMatcherTest, SearchBoundsEndWithoutMatch) {
  CPattern pattern;
  // Each "a" can be taken two ways, and the back-reference keeps the memo
  // of failed states out, so failing costs 2^n steps.
  ASSERT_EQ(pattern.Compile("{a|a}*\\0b", true), PATTERN_OK);
  pattern.SetSearchLimits(100000, CPattern::kDefaultMaxStackEntries);
  const std::string text = "cc" + std::string(40, 'a');
  PatternText prepared(pattern, text);
  CPatternMatch match;
  EXPECT_FALSE(pattern.Match(prepared, 0, match));
  EXPECT_TRUE(match.LimitReached());
  EXPECT_EQ(match.LimitOffset(), 2u);  // the attempt that ran out, after two cheap ones
  // The same bounds are plenty for an ordinary search.
  PatternText easy(pattern, "aab");
  EXPECT_TRUE(pattern.Match(easy, 0, match));
  EXPECT_FALSE(match.LimitReached());
  EXPECT_EQ(match.LimitOffset(), CPatternMatch::kUnset);

  // A stack that may not grow further ends the search, too: a repeated
  // group takes stack for every occurrence.
  ASSERT_EQ(pattern.Compile("{.}*x", true), PATTERN_OK);
  pattern.SetSearchLimits(0, 1000);
  const std::string longText = "y" + std::string(5000, 'a') + "x";
  PatternText prepared2(pattern, longText);
  EXPECT_FALSE(pattern.Match(prepared2, 1, match));
  EXPECT_TRUE(match.LimitReached());
  EXPECT_EQ(match.LimitOffset(), 1u);
  pattern.SetSearchLimits(0, CPattern::kDefaultMaxStackEntries);
  EXPECT_TRUE(pattern.Match(prepared2, 1, match));
  EXPECT_EQ(match.End(), longText.size());
}

// Searches that cost a plain backtracker time exponential in the text (the
// memo of failed states makes them linear) or stack for every character
// (counting repeats take and give back runs in place), and rows where these
// could go wrong. The text is head + count times unit + tail; "$" in the
// expected result stands for its length. The row runs with the engine's
// switches in every combination that has what it needs (memo and counting
// repeats, as flagged); the same row with 7 units runs in every combination
// and on the plain backtracker, and all must agree.
enum Needs { kNone = 0, kMemo = 1, kCounting = 2 };

struct HardRow {
  const char* expression;
  std::string head, unit;
  size_t count;
  std::string tail;
  const char* expected;
  int needs = kNone;
  int codePage = CodePage::kGbk;
  bool caseSensitive = true;
};

// expected with "$" and "$-k" replaced by offsets in a text of size bytes.
std::string Resolve(const std::string& expected, size_t size) {
  std::string out;
  for (size_t i = 0; i < expected.size(); ++i) {
    if (expected[i] != '$') {
      out += expected[i];
      continue;
    }
    size_t back = 0;
    if (i + 1 < expected.size() && expected[i + 1] == '-') {
      i += 2;
      while (i < expected.size() && std::isdigit(static_cast<unsigned char>(expected[i]))) {
        back = back * 10 + (expected[i++] - '0');
      }
      --i;
    }
    out += std::to_string(size - back);
  }
  return out;
}

// One search described as Find does; "limit" when it gave up.
std::string Search(const CPattern& pattern, const std::string& text) {
  PatternText prepared(pattern, text);
  CPatternMatch match;
  if (!pattern.Match(prepared, 0, match)) return match.LimitReached() ? "limit" : "none";
  return Describe(match);
}

TEST(PatternMatcherTest, HardSearchesFinish) {
  const std::string zhong = "\xD6\xD0";  // 中
  const size_t kLong = 1 << 20;         // a few MB of text
  const HardRow rows[] = {
      // Exponential for a plain backtracker.
      {"(a|a)*c", "", "a", 22, " c", "$-1,$", kMemo},
      {"(x+x+)+y", "", "x", 28, " xxy", "$-3,$", kMemo},
      {"(a*a)*b", "", "a", 30, " ab", "$-2,$", kMemo},
      {"(a|aa)*c", "", "a", 40, " c", "$-1,$", kMemo},
      {"{(a|a)*}c", "", "A", 22, " C", "$-1,$ [$-1,$-1]", kMemo, CodePage::kGbk, false},
      {"(x+x+)+y", "", "x", 5000, " xxy", "$-3,$", kMemo},
      // States inside "!" were cut off unexplored when its body matched; a
      // loop body that can match empty depends on where its occurrence began.
      {"(a|a)!bb", "", "ab", 1, "", "none"},
      {"!(a*b).", "", "a", 3, "b", "none"},
      {"(x?a*|<!y)*", "", "x<", 3, "", "0,$"},
      // A memo state of a repeat that needs one character lies past it.
      {"((xaa)|x)a+ab", "", "x", 1, "aaab", "0,$"},
      // Runs given back in double-byte text, where a second byte can look
      // like a first byte: 0x81 0x81 0x41 is one character and then "A".
      {"{.*}.", "\x81\x81", "A", 1, "", "0,3 [0,2]"},
      {"{.*}A", "", "\x81\x81", kLong, "A", "0,$ [0,$-1]", kCounting},
      {"{.*}A", "", "\x81", 2 * kLong + 1, "A", "none", kMemo | kCounting},
      {"{.*?}A$", "A", "\x81", 2 * kLong + 1, "A", "none", kMemo | kCounting},
      {"{[^a]*}\x81\x81", "", "\x81", 2 * kLong + 2, "", "0,$ [0,$-2]", kCounting},
      {"{.*}.", "\x81\x81", "A", 1, "", "0,3 [0,2]", kNone, CodePage::kBig5},
      {"{.*}..", "\xE4\xB8", "a", 1, "", "0,3 [0,1]", kNone, CodePage::kUtf8},
      {"{.*}.", "a", "\xE4\xB8\xAD", 3, "", "0,$ [0,$-3]", kNone, CodePage::kUtf8},
      // Long spans.
      {"<b>.*</b>", "<b>", zhong, kLong, "</b>", "0,$", kCounting},
      {"<b>.*</b>", "<b>", "x", 2 * kLong, "</b>", "0,$", kCounting},
      {"<B>.*</B>", "<b>", "x", 2 * kLong, "</b>", "0,$", kCounting, CodePage::kGbk, false},
      {"<b>.*?</b>", "<b>", zhong, kLong, "</b></b>", "0,$-4", kCounting},
      {"<b>.*?</b>", "<b>", "x", 2 * kLong, "</b></b>", "0,$-4", kCounting},
      {"<b>[^<]*</b>", "<b>", zhong, kLong, "</b>", "0,$", kCounting},
      {"<b>[^<]*</b>", "<b>", "x", 2 * kLong, "</b>", "0,$", kCounting},
      {"<b>.*</b>", "<b></b>", zhong, kLong, "", "0,7", kCounting},  // given back all the way
      {"\\E*", "", zhong, kLong, "a", "0,$-1", kCounting},
      {"<b>.*</b>", "<b>", "\xE4\xB8\xAD", kLong, "</b>", "0,$", kCounting, CodePage::kUtf8},
  };
  struct Config {
    const char* name;
    int has;
    bool shortcuts, counting;
    CPattern::MemoUse memo;
  };
  const Config configs[] = {
      {"default", kMemo | kCounting, true, true, CPattern::kMemoWhenSlow},
      {"memo at once", kMemo | kCounting, true, true, CPattern::kMemoAlways},
      {"memo off", kCounting, true, true, CPattern::kMemoOff},
      {"counting off", kMemo, true, false, CPattern::kMemoAlways},
      {"plain", kNone, false, false, CPattern::kMemoOff},
  };
  for (const HardRow& row : rows) {
    const CodePage codePage(row.codePage);
    std::string text = row.head, shortText = row.head;
    for (size_t i = 0; i < row.count; ++i) text += row.unit;
    for (size_t i = 0; i < std::min<size_t>(row.count, 7); ++i) shortText += row.unit;
    text += row.tail;
    shortText += row.tail;
    CPattern plain(codePage);
    plain.SetShortcuts(false);
    ASSERT_EQ(plain.Compile(row.expression, row.caseSensitive), PATTERN_OK) << row.expression;
    const std::string shortPlain = Search(plain, shortText);
    EXPECT_NE(shortPlain, "limit") << row.expression;
    for (const Config& config : configs) {
      CPattern pattern(codePage);
      pattern.SetShortcuts(config.shortcuts);
      pattern.SetCountingRepeats(config.counting);
      pattern.SetMemo(config.memo);
      ASSERT_EQ(pattern.Compile(row.expression, row.caseSensitive), PATTERN_OK) << row.expression;
      const std::string where = std::string(row.expression) + " (" + config.name + ")";
      if ((row.needs & ~config.has) == 0) {
        EXPECT_EQ(Search(pattern, text), Resolve(row.expected, text.size())) << where;
      }
      EXPECT_EQ(Search(pattern, shortText), shortPlain) << where << " over " << shortText.size() << " bytes";
    }
  }
}

TEST(PatternMatcherTest, MatchObjectIsReusedAcrossPatterns) {
  CPattern two, none;
  ASSERT_EQ(two.Compile("{a}{b}", true), PATTERN_OK);
  ASSERT_EQ(none.Compile("b", true), PATTERN_OK);
  CPatternMatch match;
  PatternText text(two, "ab");
  ASSERT_TRUE(two.Match(text, 0, match));
  EXPECT_EQ(match.GroupCount(), 2);
  ASSERT_TRUE(none.Match(text, 0, match));
  EXPECT_EQ(match.GroupCount(), 0);
  EXPECT_EQ(match.GroupStart(0), CPatternMatch::kUnset);
  EXPECT_FALSE(two.Match(text, 1, match));
  EXPECT_EQ(match.Start(), CPatternMatch::kUnset);
}

}  // namespace
}  // namespace strbatch
