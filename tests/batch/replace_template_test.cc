#include "batch/replace_template.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "batch/split.h"
#include "pattern/pattern.h"

namespace strbatch {
namespace {

// The parsed pieces as "kind:text|kind:text".
std::string Pieces(const std::string& replace) {
  std::vector<std::string> texts;
  std::vector<uint32_t> kinds;
  ParseReplaceTemplate(replace, &texts, &kinds);
  EXPECT_EQ(texts.size(), kinds.size());
  std::string out;
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_FALSE(texts[i].empty());
    if (!out.empty()) out += "|";
    out += std::to_string(kinds[i]) + ":" + texts[i];
  }
  return out;
}

TEST(ReplaceTemplateTest, Parsing) {
  const struct {
    std::string replace;
    std::string expected;
  } rows[] = {
      {"<{1}>", "0:<|1:1|0:>"},
      {"{a{1}}", "0:a|1:1"},  // braces do not nest
      {"{}", ""},
      {"abc}", "1:abc"},
      {"x{abc", "0:x|0:abc"},  // an unclosed brace vanishes
      {"\\{i\\}", "0:{i}"},
      {"a\\", "0:a"},
      {"\\r\\n\\t\\\\\\q", "0:\r\n\t\\q"},
      {"{i;w=3}", "1:i;w=3"},
      {"", ""},
      // Double-byte characters are copied whole: a second byte 0x5C or 0x7B
      // is neither a backslash nor a brace.
      {"\x81\x5Cn", "0:\x81\x5Cn"},
      {"\xB0\x7B" "1}", "1:\xB0\x7B" "1"},
      {"\\\xB0\x5C" "n", "0:\xB0\x5Cn"},
  };
  for (const auto& row : rows) EXPECT_EQ(Pieces(row.replace), row.expected) << row.replace;
}

class ExpandTest : public ::testing::Test {
 protected:
  // Matches expression against text once (groups from the first match).
  void Search(const std::string& expression, const std::string& text) {
    text_ = text;
    ASSERT_EQ(pattern_.Compile(expression, true), PATTERN_OK);
    PatternText prepared(pattern_, text_);
    ASSERT_TRUE(pattern_.Match(prepared, 0, match_));
  }
  std::string Expand(const std::string& replace, long long fileNumber = 1) {
    std::vector<std::string> texts;
    std::vector<uint32_t> kinds;
    ParseReplaceTemplate(replace, &texts, &kinds);
    return ExpandReplaceTemplate(texts, kinds, match_, text_, fileNumber);
  }

  CPattern pattern_;
  CPatternMatch match_;
  std::string text_;
};

TEST_F(ExpandTest, GroupReferences) {
  Search("{[0-9]+}-{[0-9]+}", "x12-34");
  const struct {
    const char* replace;
    const char* expected;
  } rows[] = {
      {"<{1}>", "<12>"},
      {"{2}-{1}", "34-12"},
      {"{3}", ""},
      {"{0}", ""},
      {"{-1}", ""},
      {"{ 1}", "12"},  // leading blanks are allowed
      {"{+2}", "34"},
      {"{1x}", "12"},
      {"{x1}", ""},
      {"{99999999999}", ""},
      {"a{}b", "ab"},
  };
  for (const auto& row : rows) EXPECT_EQ(Expand(row.replace), row.expected) << row.replace;
}

TEST_F(ExpandTest, GroupThatTookNoPartAddsNothing) {
  Search("{x}?{y}", "y");
  EXPECT_EQ(Expand("[{1}][{2}]"), "[][y]");
}

TEST_F(ExpandTest, PositionsOutsideTheTextAddNothing) {
  Search("a{b}", "ab");
  std::vector<std::string> texts;
  std::vector<uint32_t> kinds;
  ParseReplaceTemplate("[{1}]", &texts, &kinds);
  EXPECT_EQ(ExpandReplaceTemplate(texts, kinds, match_, "a", 1), "[]");
}

TEST_F(ExpandTest, FileNumber) {
  Search("x", "x");
  const struct {
    const char* replace;
    long long fileNumber;
    std::string expected;
  } rows[] = {
      {"{i}", 3, "3"},
      {"{i;w=3}", 3, "003"},
      {"{i;w=3;r=10}", 3, "012"},
      {"{i,r=2}", 1, "2"},
      {"{i,r=5}", 1, "5"},
      {"{i; w=3}", 3, "3"},  // a blank before w hides the width
      {"{i;w= 3}", 3, "003"},
      {"{i;w=3;w=5}", 7, "00007"},  // a later part overrides
      {"{i;;w=2}", 7, "07"},
      {"{ix;w=2}", 7, "07"},
      {"{i;x=2}", 7, "7"},
      {"{i;w=0}", 7, "7"},
      {"{i;w=-4}", 7, "7"},
      // Start values 0 and 1 both start the first file at 1; below 0 the
      // number is moved down by that much.
      {"{i;r=0}", 1, "1"},
      {"{i;r=1}", 1, "1"},
      {"{i;r=1}", 2, "2"},
      {"{i;r=-1}", 1, "0"},
      {"{i;r=-5;w=3}", 1, "-04"},
      {"no {i}.", 12, "no 12."},
      {"\\{i\\}", 3, "{i}"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Expand(row.replace, row.fileNumber), row.expected) << row.replace;
  }
}

TEST_F(ExpandTest, HugeWidthIsCut) {
  Search("x", "x");
  const std::string number = Expand("{i;w=2000000000}", 42);
  ASSERT_EQ(number.size(), static_cast<size_t>(kMaxNumberWidth));
  EXPECT_EQ(number.substr(number.size() - 3), "042");
}

// Every match of a definition replaced from left to right, as the batch does.
TEST_F(ExpandTest, SwapsNumbersAcrossTheText) {
  const std::string text = "12-34 5-6";
  ASSERT_EQ(pattern_.Compile("{[0-9]+}-{[0-9]+}", true), PATTERN_OK);
  PatternText prepared(pattern_, text);
  std::vector<std::string> texts;
  std::vector<uint32_t> kinds;
  ParseReplaceTemplate("{2}-{1}", &texts, &kinds);
  std::string out;
  size_t cursor = 0, end = 0;
  while (pattern_.Match(prepared, cursor, match_, &end)) {
    out.append(text, cursor, match_.Start() - cursor);
    out += ExpandReplaceTemplate(texts, kinds, match_, text, 1);
    cursor = end;
  }
  out.append(text, cursor);
  EXPECT_EQ(out, "34-12 6-5");
}

TEST(SplitAtSeparatorsTest, Pieces) {
  const struct {
    const char* text;
    bool keepEmpty;
    std::vector<std::string> expected;
  } rows[] = {
      {"a,b;;c", false, {"a", "b", "c"}},
      {"a,b;;c", true, {"a", "b", "", "c"}},
      {",a", true, {"", "a"}},
      {"a,", true, {"a"}},  // a final empty piece is never kept
      {",,", false, {}},
      {"", true, {}},
      {"abc", false, {"abc"}},
  };
  for (const auto& row : rows) {
    std::vector<std::string> out;
    EXPECT_EQ(SplitAtSeparators(row.text, ",;", row.keepEmpty, &out), row.expected.size());
    EXPECT_EQ(out, row.expected) << row.text;
  }
  std::vector<std::string> out = {"kept"};
  EXPECT_EQ(SplitAtSeparators("x;y", ";", false, &out), 3u);  // appends
  EXPECT_EQ(out.front(), "kept");
}

}  // namespace
}  // namespace strbatch
