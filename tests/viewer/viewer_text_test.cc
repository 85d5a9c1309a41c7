#include "viewer/viewer_text.h"

#include <gtest/gtest.h>

#include <climits>

#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// A text control that counts characters the way an edit control does: a
// double-byte character and a "\r\n" pair are one position each.
class CountingSink : public ViewerTextSink {
 public:
  void Clear() override {
    text.clear();
    positions = 0;
    clears++;
  }
  void Append(std::string_view bytes) override {
    const CodePage& cp = CodePage::Process();
    for (size_t pos = 0; pos < bytes.size();) {
      size_t next = cp.NextChar(bytes.data(), pos, bytes.size());
      if (bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n') next = pos + 2;
      positions++;
      pos = next;
    }
    text.append(bytes);
  }
  long EndPosition() const override { return positions; }

  std::string text;
  long positions = 0;
  int clears = 0;
};

struct ParseRow {
  const char* entry;
  std::vector<std::pair<long, long>> spans;
};

TEST(ViewerTextTest, ParsesMatchLists) {
  const ParseRow rows[] = {
      {"", {}},
      {"0:3;1:3", {{0, 3}, {1, 3}}},
      {"5:2,,7:1;", {{5, 2}, {7, 1}}},
      // Pieces that are not number:number keep 0 for what does not parse.
      {"x:3", {{0, 0}}},
      {"4", {{4, 0}}},
      {"3:y", {{3, 0}}},
      // Negative and huge values must not reach the loader as such.
      {"-2:5", {{0, 5}}},
      {"3:-1", {{3, 0}}},
      {"99999999999999999999:1", {{LONG_MAX, 1}}},
  };
  for (const ParseRow& row : rows) {
    std::vector<MatchSpan> spans = ParseMatchList(row.entry);
    std::vector<std::pair<long, long>> got;
    for (const MatchSpan& s : spans) got.emplace_back(s.start, s.end);
    EXPECT_EQ(got, row.spans) << row.entry;
  }
}

TEST(ViewerTextTest, OfficeDocumentsAndEmptyMatchListsGoToTheOpener) {
  EXPECT_TRUE(ViewerShowsFile("/d/a.txt", "0:1"));
  EXPECT_TRUE(ViewerShowsFile("/d/a.docx", "0:1"));
  EXPECT_TRUE(ViewerShowsFile("/d.doc/a", "0:1"));
  EXPECT_FALSE(ViewerShowsFile("/d/a.txt", ""));
  for (const char* path : {"/d/a.doc", "/d/a.RTF", "/d/a.Xls", "/d/a.ppt"}) {
    EXPECT_FALSE(ViewerShowsFile(path, "0:1")) << path;
  }
}

TEST(ViewerTextTest, OverlappingSpansRebuildTheText) {
  CountingSink sink;
  std::vector<MatchSpan> spans = ParseMatchList("0:3;1:3");
  LoadViewerText("abcd", &spans, &sink);
  EXPECT_EQ(sink.text, "abcd");
  EXPECT_EQ(sink.clears, 2);  // the initial clear and one rebuild
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0].start, 0);
  EXPECT_EQ(spans[0].end, 3);
  EXPECT_EQ(spans[1].start, 1);
  EXPECT_EQ(spans[1].end, 4);
}

TEST(ViewerTextTest, PositionsFollowTheControlNotTheBytes) {
  // "中\r\n文abc文" in GBK: "abc" starts at byte 6 but at character 3.
  const std::string file = "\xd6\xd0\r\n\xce\xc4" "abc\xce\xc4";
  CountingSink sink;
  std::vector<MatchSpan> spans = ParseMatchList("6:3;11:1");
  LoadViewerText(file, &spans, &sink);
  EXPECT_EQ(sink.text, file);
  EXPECT_EQ(spans[0].start, 3);
  EXPECT_EQ(spans[0].end, 6);
  // A span past the end of the file is cut there.
  EXPECT_EQ(spans[1].start, 7);
  EXPECT_EQ(spans[1].end, 7);
}

TEST(ViewerTextTest, TextAfterTheLastSpanIsShown) {
  CountingSink sink;
  std::vector<MatchSpan> spans = ParseMatchList("2:1");
  LoadViewerText("hello world", &spans, &sink);
  EXPECT_EQ(sink.text, "hello world");
  EXPECT_EQ(spans[0].start, 2);
  EXPECT_EQ(spans[0].end, 3);
}

TEST(ViewerTextTest, StepsAreClampedAtTheEnds) {
  long index = 99;
  EXPECT_FALSE(ClampSpanIndex(0, 0, &index));
  EXPECT_EQ(index, 99);
  ASSERT_TRUE(ClampSpanIndex(-1 + 1, 2, &index));
  EXPECT_EQ(index, 0);
  ASSERT_TRUE(ClampSpanIndex(-1, 2, &index));
  EXPECT_EQ(index, 0);
  ASSERT_TRUE(ClampSpanIndex(2, 2, &index));
  EXPECT_EQ(index, 1);
}

TEST(ViewerTextTest, SaveJoinsLinesWithCrLf) {
  EXPECT_EQ(JoinViewerLines({"l1", "l2"}), "l1\r\nl2");
  EXPECT_EQ(JoinViewerLines({"l1", ""}), "l1\r\n");
  EXPECT_EQ(JoinViewerLines({}), "");
  EXPECT_EQ(NormalizeLineEnds("a\nb\r\nc\rd\r"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(NormalizeLineEnds("\r\r\n\n"), "\r\n\r\n\r\n");
}

TEST(ViewerTextTest, DetectsBytesTheCodePageCannotCarry) {
  const CodePage gbk(CodePage::kGbk);
  EXPECT_TRUE(BytesSurviveCodePage("plain \xd6\xd0\xce\xc4 text", gbk));
  EXPECT_TRUE(BytesSurviveCodePage(std::string("a\0b", 3), gbk));
  EXPECT_FALSE(BytesSurviveCodePage("cut \xd6", gbk));          // lead byte at the end
  EXPECT_FALSE(BytesSurviveCodePage("bad \x81\x20 pair", gbk));  // invalid trail byte
}

// A rewriter whose sessions fail on the first write.
class FailingRewriter : public FileRewriter {
  class Session : public RewriteSession {
   public:
    bool Write(const char*, size_t) override { return false; }
    bool Commit(std::string* error) override {
      *error = "disk full";
      return false;
    }
  };

 public:
  std::unique_ptr<RewriteSession> Begin(const std::string&, std::string*) override {
    return std::make_unique<Session>();
  }
};

TEST(ViewerTextTest, SaveIsAllOrNothing) {
  ScratchDir dir;
  std::string path = dir.Write("a.txt", "old\nbytes");
  std::string error;
  ASSERT_TRUE(SaveViewerText(DefaultFileRewriter(), path, {"l1", "l2"}, &error)) << error;
  EXPECT_EQ(dir.Read("a.txt"), "l1\r\nl2");

  FailingRewriter failing;
  EXPECT_FALSE(SaveViewerText(failing, path, {"new"}, &error));
  EXPECT_EQ(dir.Read("a.txt"), "l1\r\nl2");
}

}  // namespace
}  // namespace strbatch
