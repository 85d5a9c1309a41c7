#include <gtest/gtest.h>

#include <string>
#include <utility>

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
  size_t offset;  // ErrorOffset: where in the expression the error is
};

TEST(PatternCompilerTest, ErrorCodes) {
  const ErrorRow rows[] = {
      // Groups: the opening bracket that is not closed.
      {"{", PATTERN_ERR_BRACE, 0},
      {"{a", PATTERN_ERR_BRACE, 0},
      {"{a)", PATTERN_ERR_BRACE, 0},
      {"{a]", PATTERN_ERR_BRACE, 0},
      {"(", PATTERN_ERR_PAREN, 0},
      {"(abc", PATTERN_ERR_PAREN, 0},
      {"(a}", PATTERN_ERR_PAREN, 0},
      {"({a)", PATTERN_ERR_BRACE, 1},
      {"ab{cd", PATTERN_ERR_BRACE, 2},
      {"{a(b", PATTERN_ERR_PAREN, 2},   // the innermost one
      {"^(a", PATTERN_ERR_PAREN, 1},    // a leading "^" counts
      {"\\(x(", PATTERN_ERR_PAREN, 3},  // an escaped bracket is a character
      {"()", PATTERN_OK, 0},
      {"{}", PATTERN_OK, 0},
      {"(a|)", PATTERN_OK, 0},
      // Classes: the "[" that opened it, or a backwards range's low bound.
      {"[", PATTERN_ERR_BRACKET, 0},
      {"[a", PATTERN_ERR_BRACKET, 0},
      {"[a-]", PATTERN_ERR_BRACKET, 0},
      {"[a-", PATTERN_ERR_BRACKET, 0},
      {"[^", PATTERN_ERR_BRACKET, 0},
      {"[a\\", PATTERN_ERR_BRACKET, 0},
      {"[\\]", PATTERN_ERR_BRACKET, 0},
      {"[a-z][", PATTERN_ERR_BRACKET, 5},
      {"x[ab-", PATTERN_ERR_BRACKET, 1},
      {"[]", PATTERN_ERR_EMPTY_CLASS, 0},
      {"[]a]", PATTERN_ERR_EMPTY_CLASS, 0},
      {"x[^]", PATTERN_ERR_EMPTY_CLASS, 1},
      {"[z-a]", PATTERN_ERR_RANGE, 1},
      {"x[z-a]", PATTERN_ERR_RANGE, 2},
      {"[ab\\z-a]", PATTERN_ERR_RANGE, 3},  // the escaped low bound's backslash
      {"[a-a]", PATTERN_OK, 0},
      {"[\\]]", PATTERN_OK, 0},
      {"[-a]", PATTERN_OK, 0},
      // Back-references count only the groups opened before them.
      {"\\0", PATTERN_ERR_GROUP_REF, 0},
      {"\\1{a}", PATTERN_ERR_GROUP_REF, 0},
      {"{a}\\1", PATTERN_ERR_GROUP_REF, 3},
      {"{a}{b}\\1", PATTERN_OK, 0},
      {"{a\\0}", PATTERN_OK, 0},
      {"{a}\\99999999999999", PATTERN_ERR_GROUP_REF, 3},
      {"({a}|)\\0", PATTERN_ERR_GROUP_REF, 6},  // the vanished item takes its group along
      // Repeats of what can match nothing: the repeat sign.
      {"(a?)*", PATTERN_ERR_EMPTY_REPEAT, 4},
      {"{a*}+", PATTERN_ERR_EMPTY_REPEAT, 4},
      {"(a*)*?", PATTERN_ERR_EMPTY_REPEAT, 4},
      {"(a?)+?", PATTERN_ERR_EMPTY_REPEAT, 4},
      {"(b|a?)*", PATTERN_ERR_EMPTY_REPEAT, 6},
      {"(())*", PATTERN_ERR_EMPTY_REPEAT, 4},  // an empty group inside counts as able
      {"(a?)?", PATTERN_OK, 0},
      {"(a?)??", PATTERN_OK, 0},
      {"(a+?)*", PATTERN_OK, 0},  // "+?" needs one occurrence, so it cannot match nothing
      {"()*", PATTERN_OK, 0},     // directly under a repeat an empty group counts as unable
      {"(!a)*", PATTERN_OK, 0},
      {"\\d*", PATTERN_OK, 0},
      // Odd but valid.
      {"", PATTERN_OK, 0},
      {")", PATTERN_OK, 0},
      {"abc)def", PATTERN_OK, 0},
      {"a**", PATTERN_OK, 0},
      {"*a", PATTERN_OK, 0},
      {"a\\", PATTERN_OK, 0},
      {"!", PATTERN_OK, 0},
      {"(a!)", PATTERN_OK, 0},
      {"a|", PATTERN_OK, 0},
  };
  for (const ErrorRow& row : rows) {
    CPattern pattern;
    EXPECT_EQ(pattern.Compile(row.expression, true), row.expected) << row.expression;
    EXPECT_EQ(pattern.ErrorOffset(), row.offset) << row.expression;
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
  // The error is placed at the bracket, "!" or abbreviation that went too
  // deep.
  const std::pair<std::string, size_t> tooDeep[] = {
      {"x" + std::string(limit + 1, '('), limit + 1},
      {std::string(limit + 5, '{'), limit},
      {std::string(limit + 1, '!') + "a", limit},
      {std::string(limit, '(') + "\\d" + std::string(limit, ')'), limit},
  };
  for (const auto& [expression, offset] : tooDeep) {
    CPattern pattern;
    EXPECT_EQ(pattern.Compile(expression, true), PATTERN_ERR_NESTING);
    EXPECT_EQ(pattern.ErrorOffset(), offset);
  }
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
  CPattern pattern;
  ASSERT_EQ(pattern.Compile("ab{cd", true), PATTERN_ERR_BRACE);
  EXPECT_EQ(pattern.Compile(expression, true), PATTERN_ERR_TOO_LARGE);
  EXPECT_EQ(pattern.ErrorOffset(), 0u);  // the whole expression is at fault
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
