#include <gtest/gtest.h>

#include <string>

#include "pattern/pattern.h"

namespace strbatch {
namespace {

PatternError CompileResult(const std::string& expression, bool caseSensitive = true) {
  CPattern pattern;
  return pattern.Compile(expression, caseSensitive);
}

struct ErrorRow {
  const char* expression;
  PatternError expected;
};

TEST(PatternCompilerTest, ErrorCodes) {
  const ErrorRow rows[] = {
      // Groups.
      {"{", PATTERN_ERR_BRACE},
      {"{a", PATTERN_ERR_BRACE},
      {"{a)", PATTERN_ERR_BRACE},
      {"{a]", PATTERN_ERR_BRACE},
      {"(", PATTERN_ERR_PAREN},
      {"(a", PATTERN_ERR_PAREN},
      {"(a}", PATTERN_ERR_PAREN},
      {"({a)", PATTERN_ERR_BRACE},
      {"()", PATTERN_OK},
      {"{}", PATTERN_OK},
      {"(a|)", PATTERN_OK},
      // Classes.
      {"[", PATTERN_ERR_BRACKET},
      {"[a", PATTERN_ERR_BRACKET},
      {"[a-]", PATTERN_ERR_BRACKET},
      {"[a-", PATTERN_ERR_BRACKET},
      {"[^", PATTERN_ERR_BRACKET},
      {"[a\\", PATTERN_ERR_BRACKET},
      {"[\\]", PATTERN_ERR_BRACKET},
      {"[]", PATTERN_ERR_EMPTY_CLASS},
      {"[]a]", PATTERN_ERR_EMPTY_CLASS},
      {"[^]", PATTERN_ERR_EMPTY_CLASS},
      {"[z-a]", PATTERN_ERR_RANGE},
      {"[a-a]", PATTERN_OK},
      {"[\\]]", PATTERN_OK},
      {"[-a]", PATTERN_OK},
      // Back-references count only the groups opened before them.
      {"\\0", PATTERN_ERR_GROUP_REF},
      {"\\1{a}", PATTERN_ERR_GROUP_REF},
      {"{a}\\1", PATTERN_ERR_GROUP_REF},
      {"{a}{b}\\1", PATTERN_OK},
      {"{a\\0}", PATTERN_OK},
      {"{a}\\99999999999999", PATTERN_ERR_GROUP_REF},
      {"({a}|)\\0", PATTERN_ERR_GROUP_REF},  // the vanished item takes its group along
      // Repeats of what can match nothing.
      {"(a?)*", PATTERN_ERR_EMPTY_REPEAT},
      {"{a*}+", PATTERN_ERR_EMPTY_REPEAT},
      {"(a*)*?", PATTERN_ERR_EMPTY_REPEAT},
      {"(a?)+?", PATTERN_ERR_EMPTY_REPEAT},
      {"(b|a?)*", PATTERN_ERR_EMPTY_REPEAT},
      {"(())*", PATTERN_ERR_EMPTY_REPEAT},  // an empty group inside counts as able
      {"(a?)?", PATTERN_OK},
      {"(a?)??", PATTERN_OK},
      {"(a+?)*", PATTERN_OK},  // "+?" needs one occurrence, so it cannot match nothing
      {"()*", PATTERN_OK},     // directly under a repeat an empty group counts as unable
      {"(!a)*", PATTERN_OK},
      {"\\d*", PATTERN_OK},
      // Odd but valid.
      {"", PATTERN_OK},
      {")", PATTERN_OK},
      {"abc)def", PATTERN_OK},
      {"a**", PATTERN_OK},
      {"*a", PATTERN_OK},
      {"a\\", PATTERN_OK},
      {"!", PATTERN_OK},
      {"(a!)", PATTERN_OK},
      {"a|", PATTERN_OK},
  };
  for (const ErrorRow& row : rows) {
    EXPECT_EQ(CompileResult(row.expression), row.expected) << row.expression;
  }
}

TEST(PatternCompilerTest, MissingTextIsNoInput) {
  CPattern pattern;
  EXPECT_EQ(pattern.Compile(std::string_view(), true), PATTERN_ERR_NO_INPUT);
  EXPECT_EQ(pattern.LastError(), PATTERN_ERR_NO_INPUT);
  EXPECT_EQ(pattern.Compile("", true), PATTERN_OK);
}

TEST(PatternCompilerTest, NestingIsBounded) {
  const int limit = CPattern::kMaxNesting;
  EXPECT_EQ(CompileResult(std::string(limit, '(') + "a" + std::string(limit, ')')), PATTERN_OK);
  EXPECT_EQ(CompileResult(std::string(limit + 1, '(') + "a" + std::string(limit + 1, ')')),
            PATTERN_ERR_NESTING);
  EXPECT_EQ(CompileResult(std::string(100000, '{')), PATTERN_ERR_NESTING);
  EXPECT_EQ(CompileResult(std::string(100000, '!') + "a"), PATTERN_ERR_NESTING);
  // Long flat expressions are not nesting: sequences and "|" chains are read
  // in loops.
  std::string chain;
  for (int i = 0; i < 50000; ++i) chain += "a|";
  chain += "b";
  EXPECT_EQ(CompileResult(chain), PATTERN_OK);
  EXPECT_EQ(CompileResult(std::string(200000, 'x')), PATTERN_OK);
}

TEST(PatternCompilerTest, ProgramSizeIsBounded) {
  // Each "+" lays its atom out twice, so the program doubles per level.
  std::string expression = "a";
  for (int i = 0; i < 24; ++i) expression = "(" + expression + ")+";
  EXPECT_EQ(CompileResult(expression), PATTERN_ERR_TOO_LARGE);
  expression = "a";
  for (int i = 0; i < 8; ++i) expression = "(" + expression + ")+";
  EXPECT_EQ(CompileResult(expression), PATTERN_OK);
}

TEST(PatternCompilerTest, FailedCompileLeavesNothingToRun) {
  CPattern pattern;
  ASSERT_EQ(pattern.Compile("a", true), PATTERN_OK);
  ASSERT_EQ(pattern.Compile("[a", true), PATTERN_ERR_BRACKET);
  PatternText text(pattern, "a");
  CPatternMatch match;
  EXPECT_FALSE(pattern.Match(text, 0, match));
  ASSERT_EQ(pattern.Compile("{b}", true), PATTERN_OK);
  EXPECT_EQ(pattern.GroupCount(), 1);
  PatternText text2(pattern, "ab");
  EXPECT_TRUE(pattern.Match(text2, 0, match));
  EXPECT_EQ(match.Start(), 1u);
}

TEST(PatternCompilerTest, GroupsAreCountedInOpeningOrder) {
  CPattern pattern;
  ASSERT_EQ(pattern.Compile("{a{b}}{c}", true), PATTERN_OK);
  EXPECT_EQ(pattern.GroupCount(), 3);
  ASSERT_EQ(pattern.Compile("{a}+", true), PATTERN_OK);
  EXPECT_EQ(pattern.GroupCount(), 1);  // the repeated copy reuses the number
  ASSERT_EQ(pattern.Compile("x{a}|", true), PATTERN_OK);
  EXPECT_EQ(pattern.GroupCount(), 0);  // the item before a final "|" vanishes
}

// Program layouts: the alternation as the matcher expects it, and the
// single step that replaces simple repeats.
TEST(PatternCompilerTest, DumpShowsLayouts) {
  CPattern pattern;
  pattern.SetShortcuts(false);
  ASSERT_EQ(pattern.Compile("a|b", true), PATTERN_OK);
  EXPECT_EQ(pattern.Dump(),
            "error 0 groups 0 slots 0 case-sensitive\n"
            "starts with one of 2 bytes\n"
            "   0  OpCall       2\n"
            "   1  OpAdvance\n"
            "   2  OpPushPos\n"
            "   3  OpCall       6\n"
            "   4  OpPopPos\n"
            "   5  OpJump       8\n"
            "   6  OpChar       'a'\n"
            "   7  OpJump       9\n"
            "   8  OpChar       'b'\n"
            "   9  OpAccept\n");
  // With shortcuts a repeat of one single-byte set is one step, also when
  // it is nested as in "\w+".
  CPattern fast;
  ASSERT_EQ(fast.Compile("\\w+ing", true), PATTERN_OK);
  EXPECT_EQ(fast.Dump(),
            "error 0 groups 0 slots 0 case-sensitive\n"
            "starts with one of 52 bytes\n"
            "   0  OpCall       2\n"
            "   1  OpAdvance\n"
            "   2  OpRepeatSet  0\n"
            "   3  OpRepeatBack 1\n"
            "   4  OpChar       'i'\n"
            "   5  OpChar       'n'\n"
            "   6  OpChar       'g'\n"
            "   7  OpAccept\n");
}

}  // namespace
}  // namespace strbatch
