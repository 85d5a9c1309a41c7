// Shortcuts (skipping to positions where a match can begin, simple repeats
// in one step) must not change any result: every search is run with and
// without them and compared.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "pattern/pattern.h"

namespace strbatch {
namespace {

// All matches from left to right, as the batch finds them: each search
// starts where the previous match ended, one character on after an empty one.
std::string AllMatches(const CPattern& pattern, const std::string& text, const CodePage& codePage) {
  PatternText prepared(pattern, text);
  const size_t size = prepared.Text().size();
  CPatternMatch match;
  std::string out;
  size_t from = 0;
  for (int guard = 0; guard < 1000 && from <= size; ++guard) {
    size_t end = 0;
    if (!pattern.Match(prepared, from, match, &end)) break;
    out += std::to_string(match.Start()) + "-" + std::to_string(end);
    for (int g = 0; g < match.GroupCount(); ++g) {
      out += ":" + std::to_string(static_cast<long long>(match.GroupStart(g))) + "," +
             std::to_string(static_cast<long long>(match.GroupEnd(g)));
    }
    out += " ";
    if (end > from) {
      from = end;
    } else if (end < size) {
      from = codePage.NextChar(prepared.Text(), end);
    } else {
      break;
    }
  }
  return out;
}

const char* const kExpressionPieces[] = {
    "a", "b", "x", "A", "ab", "the", "T|the", "\xD6\xD0", "\xD0\xCE", "\x81\x61", "\x80", "a",
    "[a-c]", "[^a]", "[\xD6]", "[ab\xB0]", ".", "\\d", "\\w", "\\E", "\\e", "{a}", "{[0-9]+}",
    "(ab)", "a|b", "!a", "a*", "b+", "x?", "a*?", "\\0", "-", "$", "{.}", "(a|\xD6\xD0)",
    "\\w+", "\\z*", "(\\d+)?", "[^\x81-\xFE]*", "[a-c]+", "\\e*", "\\E+", ".*", "[\x80]+",
    "\xE4\xB8\xAD", "\xB8\xAD", "[\xE4]",
};
const char* const kTextPieces[] = {
    "a", "b", "x", "A", "T", "the", "The", "1", "42", "-", " ", "\xD6\xD0", "\xCE\xC4",
    "\x81\x61", "\xB0\x61", "\xB0\xD6", "\x80", "\xFF", "ab", "\xD6", "\xE4\xB8\xAD",
    "\xC3\xA9", "\xB8",
};

// Double-byte code pages place first-byte hits by pairing bytes; any other
// code page (65001, UTF-8) walks characters forward instead.
class PatternShortcutsTest : public ::testing::TestWithParam<int> {};

TEST_P(PatternShortcutsTest, ChangeNoResult) {
  const CodePage codePage(GetParam());
  std::mt19937 random(12345);
  auto pick = [&](size_t count) { return static_cast<size_t>(random() % count); };
  int compiled = 0;
  int singleByte = 0, literal = 0, byteSet = 0, fastLoops = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string expression;
    const size_t pieces = 1 + pick(4);
    for (size_t i = 0; i < pieces; ++i) expression += kExpressionPieces[pick(std::size(kExpressionPieces))];
    const bool caseSensitive = pick(3) != 0;
    CPattern skipping(codePage);
    if (skipping.Compile(expression, caseSensitive) != PATTERN_OK) continue;
    ++compiled;
    CPattern trying(codePage);
    trying.SetShortcuts(false);
    ASSERT_EQ(trying.Compile(expression, caseSensitive), PATTERN_OK);
    if (skipping.Dump().find("OpRepeatSet") != std::string::npos) ++fastLoops;
    const std::string dump = skipping.Dump();
    if (dump.find("starts with one of") != std::string::npos) {
      ++byteSet;
    } else if (const size_t at = dump.find("starts with \""); at != std::string::npos) {
      const size_t from = at + 13;
      const std::string bytes = dump.substr(from, dump.find("\"\n", from) - from);
      const bool oneByte = bytes.size() == 1 || (bytes.size() == 4 && bytes[0] == '\\');
      ++(oneByte ? singleByte : literal);
    }
    for (int t = 0; t < 5; ++t) {
      std::string text;
      const size_t textPieces = pick(25);
      for (size_t i = 0; i < textPieces; ++i) text += kTextPieces[pick(std::size(kTextPieces))];
      ASSERT_EQ(AllMatches(skipping, text, codePage), AllMatches(trying, text, codePage))
          << "expression '" << expression << "' text '" << text << "'"
          << (caseSensitive ? "" : " ignoring case");
    }
  }
  // The table exercised every kind of skip.
  EXPECT_GT(compiled, 1000);
  EXPECT_GT(singleByte, 50);
  EXPECT_GT(literal, 50);
  EXPECT_GT(byteSet, 50);
  EXPECT_GT(fastLoops, 50);
}

INSTANTIATE_TEST_SUITE_P(CodePages, PatternShortcutsTest, ::testing::Values(936, 950, 65001));

}  // namespace
}  // namespace strbatch
