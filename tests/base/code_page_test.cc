#include "base/code_page.h"

#include <gtest/gtest.h>

namespace strbatch {
namespace {

TEST(CodePageTest, LeadBytesAreEightyOneToFe) {
  const CodePage& gbk = CodePage::Process();
  EXPECT_EQ(gbk.Number(), 936);
  EXPECT_FALSE(gbk.IsLeadByte(0x7F));
  EXPECT_FALSE(gbk.IsLeadByte(0x80));  // a one-byte character in cp936
  EXPECT_TRUE(gbk.IsLeadByte(0x81));
  EXPECT_TRUE(gbk.IsLeadByte(0xFE));
  EXPECT_FALSE(gbk.IsLeadByte(0xFF));
}

TEST(CodePageTest, NextCharStepsOverWholeCharacters) {
  const CodePage& gbk = CodePage::Process();
  const std::string text = "a\xD6\xD0" "b\x80" "c\xD6";  // a 中 b 0x80 c, lone lead at end
  EXPECT_EQ(gbk.NextChar(text, 0), 1u);
  EXPECT_EQ(gbk.NextChar(text, 1), 3u);
  EXPECT_EQ(gbk.NextChar(text, 3), 4u);
  EXPECT_EQ(gbk.NextChar(text, 4), 5u);  // 0x80 stands alone
  EXPECT_EQ(gbk.NextChar(text, 6), 7u);  // a lead byte at the end stands alone
  const std::string lead_then_nul("\xD6\0x", 3);
  EXPECT_EQ(gbk.NextChar(lead_then_nul, 0), 1u);
}

TEST(CodePageTest, GbkAndBig5RoundTripThroughUtf8) {
  CodePage gbk(CodePage::kGbk), big5(CodePage::kBig5);
  std::string utf8;
  ASSERT_TRUE(gbk.ToUtf8("\xD6\xD0\xCE\xC4 ok", &utf8));
  EXPECT_EQ(utf8, "\xE4\xB8\xAD\xE6\x96\x87 ok");  // 中文 ok
  std::string back;
  ASSERT_TRUE(gbk.FromUtf8(utf8, &back));
  EXPECT_EQ(back, "\xD6\xD0\xCE\xC4 ok");
  std::string big5_bytes;
  ASSERT_TRUE(big5.FromUtf8("\xE4\xB8\xAD\xE6\x96\x87", &big5_bytes));
  EXPECT_EQ(big5_bytes, "\xA4\xA4\xA4\xE5");  // 中文 in BIG5
}

TEST(CodePageTest, UnmappableCharacterBecomesQuestionMark) {
  CodePage big5(CodePage::kBig5);
  std::string out;
  // 这 (U+8FD9) is simplified-only and has no BIG5 form.
  EXPECT_FALSE(big5.FromUtf8("a\xE8\xBF\x99" "b", &out));
  EXPECT_EQ(out, "a?b");
}

TEST(CodePageTest, InvalidBytesAreReportedAsLossy) {
  CodePage gbk(CodePage::kGbk);
  std::string utf8;
  EXPECT_FALSE(gbk.ToUtf8("ab\x81", &utf8));  // lone lead byte at the end
  EXPECT_FALSE(gbk.ToUtf8("\x81\x7F", &utf8));  // 0x7F is never a trail byte
  EXPECT_TRUE(gbk.ToUtf8("", &utf8));
  EXPECT_EQ(utf8, "");
}

}  // namespace
}  // namespace strbatch
