#include "sorttool/line_sort.h"

#include <gtest/gtest.h>

#include "base/text_encoding.h"
#include "test_support.h"

namespace strbatch {
namespace {

// Records what a sort run shows; cancels at a chosen query.
class Host : public SilentHost {
 public:
  void SetMessage(const std::string& text) override { messages.push_back(text); }
  void SetPosition(int percent) override { positions.push_back(percent); }
  bool CheckCancelled() override { return ++queries == cancelAtQuery; }
  void Warn(const std::string& path, const Message&) override { warnings.push_back(path); }
  int cancelAtQuery = 0, queries = 0;  // 1-based; 0: never
  std::vector<std::string> messages, warnings;
  std::vector<int> positions;
};

std::string Sorted(const std::string& content, bool reverse = false, bool unique = false) {
  SortOptions options;
  options.reverseOutput = reverse;
  options.filterDuplicates = unique;
  std::string sorted;
  if (!SortText(content, options, SortTables{}, &sorted)) return "<nothing>";
  return sorted;
}

TEST(LineSortTest, OutputOrderAndLineEnds) {
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc"), "a\r\nb\r\nc\r\n");
  // The file's first line end is every line's: an LF file stays LF.
  EXPECT_EQ(Sorted("b\na\nc\n"), "a\nb\nc\n");
  EXPECT_EQ(Sorted("b\na\r\nc"), "a\nb\nc\n");
  EXPECT_EQ(Sorted("b\r\na\nc"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(Sorted("b"), "b\r\n");
  EXPECT_EQ(Sorted("b\r\na\r\n\r\nc", true), "c\r\nb\r\na\r\n");
  EXPECT_EQ(Sorted("\rb\r\na\rz"), "a\rz\r\nb\r\n");
  EXPECT_EQ(Sorted("\r\n\r\n\n"), "<nothing>");
  EXPECT_EQ(Sorted(std::string("b\0z\r\na", 6)), std::string("a\r\nb\0z\r\n", 8));
  // A long line is one line (reading in fixed pieces would cut it apart).
  const std::string longLine = "m" + std::string(2999, 'a');
  EXPECT_EQ(Sorted("z\r\n" + longLine + "\r\nb"), "b\r\n" + longLine + "\r\nz\r\n");
}

TEST(LineSortTest, EqualKeysLandWhereTheSortPutsThem) {
  // Traced by hand through the partition steps; a stable sort would keep
  // the input order.
  EXPECT_EQ(Sorted("apple\nApple\nAPPLE"), "APPLE\nApple\napple\n");
  EXPECT_EQ(Sorted("ab\nAb\naB\nAB"), "aB\nAB\nab\nAb\n");
  EXPECT_EQ(Sorted("b\na\nB"), "a\nB\nb\n");
}

TEST(LineSortTest, DuplicatesAreDroppedOnlyWhenNeighbours) {
  EXPECT_EQ(Sorted("x\r\nx\r\ny"), "x\r\nx\r\ny\r\n");
  EXPECT_EQ(Sorted("x\r\nx\r\ny", false, true), "x\r\ny\r\n");
  EXPECT_EQ(Sorted("x\r\nx\r\ny", true, true), "y\r\nx\r\n");
  // All three share a key, and the sort leaves "Apple" between the two
  // equal texts, so both stay.
  EXPECT_EQ(Sorted("apple\r\nApple\r\napple", false, true), "apple\r\nApple\r\napple\r\n");
}


TEST(LineSortTest, FilesWithoutLinesOrThatCannotBeWrittenStayAsTheyWere) {
  testing::ScratchDir dir;
  Message error;
  EXPECT_EQ(SortFile(dir.Write("blank", "\r\n\r\n"), {}, {}, &error, DefaultFileRewriter()),
            SortFileResult::kNothingToSort);
  EXPECT_EQ(dir.Read("blank"), "\r\n\r\n");
  testing::FailingRewriter fullDisk;
  EXPECT_EQ(SortFile(dir.Write("f", "b\na\n"), {}, {}, &error, fullDisk), SortFileResult::kFailed);
  EXPECT_EQ(dir.Read("f"), "b\na\n");
}

// Text written in UTF-8 and turned into the bytes of a file.
std::string InCodePage(int codePage, const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(CodePage(codePage).FromUtf8(utf8, &bytes)) << utf8;
  return bytes;
}
std::string InUtf16LE(const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(Utf8ToUtf16(utf8, false, &bytes)) << utf8;
  return "\xFF\xFE" + bytes;
}

struct EncodedFileRow {
  const char* note;
  EncodingSetting setting;
  std::string before;  // file bytes
  std::string after;
};

TEST(LineSortTest, FilesAreSortedAndWrittenInTheirOwnEncoding) {
  // "Ａ" sorts as "a" only where it is read as the full-width letter; the
  // mark must stay in front of the text, not travel with the first line.
  // U+0D0A is the bytes 0A 0D in UTF-16LE, which no line end may split.
  // "一" comes before "中" in every one of the encodings.
  const std::string text = "中\nb\r\nＡ\n\n一\r\n", sorted = "Ａ\nb\n一\n中\n";
  const EncodedFileRow rows[] = {
      {"UTF-8 with a mark", EncodingSetting::Auto, "\xEF\xBB\xBF" + text,
       "\xEF\xBB\xBF" + sorted},
      {"UTF-8 without a mark", EncodingSetting::Auto, text, sorted},
      {"UTF-8 forced", EncodingSetting::Utf8, "\xEF\xBB\xBF" + text, "\xEF\xBB\xBF" + sorted},
      {"UTF-16LE, in the order of the characters' codes", EncodingSetting::Auto,
       InUtf16LE("ഊz\r\n" + text), InUtf16LE("Ａ\r\nb\r\nഊz\r\n一\r\n中\r\n")},
      {"BIG5", EncodingSetting::Big5, InCodePage(CodePage::kBig5, text),
       InCodePage(CodePage::kBig5, sorted)},
      {"GBK under auto, as under gbk", EncodingSetting::Auto, InCodePage(CodePage::kGbk, text),
       InCodePage(CodePage::kGbk, sorted)},
  };
  testing::ScratchDir dir;
  for (const EncodedFileRow& row : rows) {
    SortOptions options;
    options.encoding = row.setting;
    Message error;
    const std::string path = dir.Write("f", row.before);
    EXPECT_EQ(SortFile(path, options, {}, &error, DefaultFileRewriter()), SortFileResult::kSorted)
        << row.note << error;
    EXPECT_EQ(dir.Read("f"), row.after) << row.note;
  }
}

TEST(LineSortTest, BrokenUtf16AndBareMarksAreLeftAlone) {
  testing::ScratchDir dir;
  SortOptions options;
  options.encoding = EncodingSetting::Auto;
  Message error;
  const std::string unpaired = "\xFF\xFE" "b\0\n\0\x00\xD8\n\0a\0";  // a lone high surrogate
  EXPECT_EQ(SortFile(dir.Write("u", unpaired), options, {}, &error, DefaultFileRewriter()),
            SortFileResult::kFailed);
  EXPECT_EQ(dir.Read("u"), unpaired);
  EXPECT_EQ(error.id, MessageId::kNotValidUtf16);
  EXPECT_EQ(
      SortFile(dir.Write("m", "\xEF\xBB\xBF\r\n"), options, {}, &error, DefaultFileRewriter()),
      SortFileResult::kNothingToSort);
  EXPECT_EQ(dir.Read("m"), "\xEF\xBB\xBF\r\n");
}

TEST(LineSortTest, TablesReachEveryEncodingOfTheRun) {
  testing::ScratchDir dir;
  SortOptions options;
  options.encoding = EncodingSetting::Auto;
  // A UTF-8 table file: "壹" sorts as "9", "的" is left out.
  options.equalValueTablePath = dir.Write("equal.txt", "壹 9\n");
  options.noSortTablePath = dir.Write("nosort.txt", "\xEF\xBB\xBF的\n");
  const std::string text = "壹a\n8\n的z\n", sorted = "8\n壹a\n的z\n";
  std::vector<CheckedPath> rows = {
      {dir.Write("utf8", text), true},
      {dir.Write("gbk", InCodePage(CodePage::kGbk, text)), true},
      {dir.Write("utf16", InUtf16LE(text)), true},
  };
  Host host;
  EXPECT_EQ(RunLineSort(rows, options, host, DefaultFileRewriter()), 3u);
  EXPECT_EQ(dir.Read("utf8"), sorted);
  EXPECT_EQ(dir.Read("gbk"), InCodePage(CodePage::kGbk, sorted));
  EXPECT_EQ(dir.Read("utf16"), InUtf16LE(sorted));
  EXPECT_TRUE(host.warnings.empty());
}

TEST(LineSortTest, RunSortsCheckedFilesInOrderUntilCancelled) {
  testing::ScratchDir dir;
  SortOptions options;
  options.equalValueTablePath = dir.Write("equal.txt", "q a\n");
  options.noSortTablePath = dir.Write("nosort.txt", "#\n");
  std::vector<CheckedPath> rows = {
      {dir.Write("1", "b\nq2\n"), true},  // "q2" sorts as "a2"
      {dir.Write("2", "b\na\n"), false},
      {dir.File("missing"), true},
      {dir.Write("4", "b\n#c\n"), true},  // "#c" sorts as "c"
      {dir.Write("5", "b\na\n"), true},
  };
  Host host;
  host.cancelAtQuery = 4;
  EXPECT_EQ(RunLineSort(rows, options, host, DefaultFileRewriter()), 2u);
  EXPECT_EQ(dir.Read("1") + dir.Read("2") + dir.Read("4") + dir.Read("5"),
            "q2\nb\n" "b\na\n" "b\n#c\n" "b\na\n");
  EXPECT_EQ(host.messages, (std::vector<std::string>{rows[0].path, rows[2].path, rows[3].path}));
  EXPECT_EQ(host.positions, (std::vector<int>{0, 40, 60}));
  EXPECT_EQ(host.warnings, std::vector<std::string>{rows[2].path});
}

}  // namespace
}  // namespace strbatch
