// One batch over files in different encodings, with definitions typed once
// in the process code page.
#include <gtest/gtest.h>

#include "base/code_page.h"
#include "base/text_encoding.h"
#include "batch/batch_driver.h"
#include "batch/code_conversion.h"
#include "recording_host.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::ScratchDir;

// "中文测试：繁體 and ASCII" and the text after replacing 测试 by 检验 and
// ASCII by text, in UTF-8.
const std::string kText = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xB5\x8B\xE8\xAF\x95 and ASCII";
const std::string kReplaced = "\xE4\xB8\xAD\xE6\x96\x87\xE6\xA3\x80\xE9\xAA\x8C and text";
// 中文 (traditional and simplified alike) and 繁體 for BIG5 files.
const std::string kBig5Text = "\xE4\xB8\xAD\xE6\x96\x87 \xE7\xB9\x81\xE9\xAB\x94 ASCII";

std::string In(const CodePage& codePage, const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(codePage.FromUtf8(utf8, &bytes));
  return bytes;
}

std::string Utf16Le(const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(Utf8ToUtf16(utf8, false, &bytes));
  return "\xFF\xFE" + bytes;
}

class FileEncodingTest : public ::testing::Test {
 protected:
  std::string Add(const std::string& name, const std::string& bytes) {
    std::string path = dir_.Write(name, bytes);
    files_.Append(path, true);
    return path;
  }
  // A definition typed in the process code page (GBK).
  void Def(const std::string& findUtf8, const std::string& replaceUtf8) {
    definitions_.Append(In(CodePage::Gbk(), findUtf8), In(CodePage::Gbk(), replaceUtf8), true);
  }

  ScratchDir dir_;
  FileList files_;
  DefinitionList definitions_;
  RecordingHost host_;
  BatchRunner runner_{files_, definitions_, host_};
};

TEST_F(FileEncodingTest, AutoReadsEachFileInItsOwnEncoding) {
  Add("gbk.txt", In(CodePage::Gbk(), kText));
  Add("utf8.txt", kText);
  Add("utf8bom.txt", "\xEF\xBB\xBF" + kText);
  Add("utf16.txt", Utf16Le(kText));
  Def("\xE6\xB5\x8B\xE8\xAF\x95", "\xE6\xA3\x80\xE9\xAA\x8C");  // 测试 -> 检验
  Def("ASCII", "text");
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("gbk.txt"), In(CodePage::Gbk(), kReplaced));
  EXPECT_EQ(dir_.Read("utf8.txt"), kReplaced);
  EXPECT_EQ(dir_.Read("utf8bom.txt"), "\xEF\xBB\xBF" + kReplaced);
  EXPECT_EQ(dir_.Read("utf16.txt"), Utf16Le(kReplaced));
  for (size_t r = 0; r < 4; r++) EXPECT_EQ(testing::CountText(files_.Row(r).count), "2") << r;
  EXPECT_TRUE(host_.warnings.empty());
}

TEST_F(FileEncodingTest, GbkSettingReadsEveryFileAsGbk) {
  Add("utf8.txt", kText);
  Def("\xE6\xB5\x8B\xE8\xAF\x95", "\xE6\xA3\x80\xE9\xAA\x8C");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("utf8.txt"), kText);  // GBK bytes never occur in it
}

TEST_F(FileEncodingTest, Big5IsChosenNotGuessed) {
  Add("big5.txt", In(CodePage::Big5(), kBig5Text));
  Def("\xE4\xB8\xAD\xE6\x96\x87", "\xE6\xBC\xA2\xE5\xAD\x97");  // 中文 -> 漢字
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.BatchReplace();
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "0");
  runner_.options.encoding = EncodingSetting::Big5;
  runner_.BatchReplace();
  EXPECT_EQ(testing::CountText(files_.Row(0).count), "1");
  EXPECT_EQ(dir_.Read("big5.txt"),
            In(CodePage::Big5(), "\xE6\xBC\xA2\xE5\xAD\x97 \xE7\xB9\x81\xE9\xAB\x94 ASCII"));
}

TEST_F(FileEncodingTest, ReplacementBig5CannotHoldIsNotWritten) {
  std::string before = In(CodePage::Big5(), kBig5Text);
  Add("big5.txt", before);
  Def("ASCII", "\xE8\xBF\x99");  // 这: simplified only, no BIG5 form
  runner_.options.encoding = EncodingSetting::Big5;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("big5.txt"), before);
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_NE(host_.warnings[0].find("BIG5"), std::string::npos);
}

TEST_F(FileEncodingTest, InvalidBytesSurviveAndNoMatchStartsInsideACharacter) {
  // 中 is E4 B8 AD; "\xB8\xAD" must not match inside it, and the stray
  // bytes of an invalid sequence stay as they are.
  std::string bytes = "\xE4\xB8\xAD x\xFF\xE4\xB8 \xE4\xB8\xAD";
  Add("mixed.txt", bytes);
  definitions_.Append("\xB8\xAD", "!", true);
  definitions_.Append("x", "y", true);
  runner_.options.encoding = EncodingSetting::Utf8;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("mixed.txt"), "\xE4\xB8\xAD y\xFF\xE4\xB8 \xE4\xB8\xAD");
}

TEST_F(FileEncodingTest, MatchListsAreByteOffsetsInTheFileAndTheReportIsUtf8) {
  Add("utf16.txt", Utf16Le("a\xE4\xB8\xAD" "b"));  // a中b
  Add("gbk.txt", In(CodePage::Gbk(), "\xE4\xB8\xAD" "b"));
  definitions_.Append("b", In(CodePage::Gbk(), "\xE6\x96\x87"), true);  // b -> 文
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.options.reportOutput = true;
  runner_.BatchFind();
  EXPECT_EQ(testing::MatchListText(files_.Row(0).matches), "6:2");  // mark, a, 中 before b
  EXPECT_EQ(testing::MatchListText(files_.Row(1).matches), "2:1");
  ASSERT_EQ(host_.openedReports.size(), 1u);
  EXPECT_EQ(testing::ReadBytes(host_.openedReports[0]),
            "\xE6\x96\x87\r\n\xE6\x96\x87\r\n");
}

TEST_F(FileEncodingTest, AdvancedDefinitionsInUtf8Files) {
  Add("utf8.txt", "\xE4\xB8\xAD-12 \xE6\x96\x87-3");  // 中-12 文-3
  // {\E}-{[0-9]+} -> {2}:{1}; \E is one non-ASCII character.
  definitions_.Append("{\\E}-{[0-9]+}", "{2}:{1}", true);
  runner_.options.Advance = true;
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("utf8.txt"), "12:\xE4\xB8\xAD 3:\xE6\x96\x87");
}

TEST_F(FileEncodingTest, AdvancedChineseLiteralsInUtf8Files) {
  // 中 and 文 typed in GBK, matched in a UTF-8 file; [^x] over a character
  // of three bytes steps over all of them.
  Add("utf8.txt", "\xE4\xB8\xAD\xE6\x96\x87 \xE4\xB8\xAD\xE5\x9B\xBD");  // 中文 中国
  definitions_.Append("\xD6\xD0{[^x]}", "<{1}>", true);
  runner_.options.Advance = true;
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("utf8.txt"), "<\xE6\x96\x87> <\xE5\x9B\xBD>");
}

TEST_F(FileEncodingTest, RenameMatchesUtf8NamesDirectlyUnderAuto) {
  Add("\xE6\x8A\xA5\xE5\x91\x8A.txt", "x");  // 报告.txt
  Def("\xE6\x8A\xA5\xE5\x91\x8A", "\xE6\x80\xBB\xE7\xBB\x93");  // 报告 -> 总结
  runner_.options.encoding = EncodingSetting::Auto;
  runner_.BatchRename();
  EXPECT_EQ(files_.Row(0).path, dir_.File("\xE6\x80\xBB\xE7\xBB\x93.txt"));
}

TEST(Utf8ConversionTest, ToUtf8AndBack) {
  ScratchDir dir;
  std::string gbk = dir.Write("gbk.txt", In(CodePage::Gbk(), kText));
  std::string utf16 = dir.Write("utf16.txt", Utf16Le(kText));
  std::string bad = dir.Write("bad.txt", "ok\x81");
  Message error;
  ASSERT_TRUE(ConvertToUtf8(gbk, EncodingSetting::Auto, &error, DefaultFileRewriter())) << error;
  EXPECT_EQ(dir.Read("gbk.txt"), kText);
  ASSERT_TRUE(ConvertToUtf8(utf16, EncodingSetting::Auto, &error, DefaultFileRewriter())) << error;
  EXPECT_EQ(dir.Read("utf16.txt"), "\xEF\xBB\xBF" + kText);
  EXPECT_FALSE(ConvertToUtf8(bad, EncodingSetting::Gbk, &error, DefaultFileRewriter()));
  EXPECT_EQ(dir.Read("bad.txt"), "ok\x81");

  ASSERT_TRUE(ConvertUtf8ToCodePage(gbk, &error, DefaultFileRewriter())) << error;
  EXPECT_EQ(dir.Read("gbk.txt"), In(CodePage::Gbk(), kText));
  // A character GBK cannot hold is never written as "?": the file is left.
  std::string emoji = dir.Write("emoji.txt", "a\r\nb\xF0\x9F\x98\x80");
  EXPECT_FALSE(ConvertUtf8ToCodePage(emoji, &error, DefaultFileRewriter()));
  EXPECT_EQ(dir.Read("emoji.txt"), "a\r\nb\xF0\x9F\x98\x80");
  const ConversionResult result = ConvertCodeFile(emoji, CodeConversion::Utf8ToCodePage,
                                                  EncodingSetting::Gbk, DefaultFileRewriter());
  EXPECT_EQ(result.status, ConversionResult::kNotHeld);
  EXPECT_EQ(result.character, "\xF0\x9F\x98\x80");
  EXPECT_EQ(result.line, 2u);
  EXPECT_FALSE(ConvertUtf8ToCodePage(bad, &error, DefaultFileRewriter()));

  // Read as GBK, a file that is UTF-8 already would become nonsense.
  std::string utf8 = dir.Write("utf8.txt", kText);
  for (EncodingSetting setting : {EncodingSetting::Gbk, EncodingSetting::Big5,
                                  EncodingSetting::Auto, EncodingSetting::Utf8}) {
    EXPECT_EQ(ConvertCodeFile(utf8, CodeConversion::ToUtf8, setting, DefaultFileRewriter()).status,
              ConversionResult::kAlreadyUtf8);
    EXPECT_EQ(dir.Read("utf8.txt"), kText);
  }
  EXPECT_EQ(
      ConvertCodeFile(utf16, CodeConversion::ToUtf8, EncodingSetting::Gbk, DefaultFileRewriter())
          .status,
      ConversionResult::kAlreadyUtf8);
}

TEST(DetectFileEncodingTest, Rules) {
  EXPECT_EQ(DetectFileEncoding("plain ascii", EncodingSetting::Auto).encoding,
            FileEncoding::CodePage);
  EXPECT_EQ(DetectFileEncoding(kText, EncodingSetting::Auto).encoding, FileEncoding::Utf8);
  EXPECT_EQ(DetectFileEncoding(In(CodePage::Gbk(), kText), EncodingSetting::Auto).encoding,
            FileEncoding::CodePage);
  EXPECT_EQ(DetectFileEncoding("\xFE\xFF\0a", EncodingSetting::Auto).encoding,
            FileEncoding::Utf16BE);
  EXPECT_EQ(DetectFileEncoding(kText, EncodingSetting::Gbk).encoding, FileEncoding::CodePage);
  bool multi = false;
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80", &multi));  // a surrogate
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF", &multi));      // overlong
  EXPECT_TRUE(IsValidUtf8("\xF4\x8F\xBF\xBF", &multi));
  EXPECT_TRUE(multi);
}

}  // namespace
}  // namespace strbatch
