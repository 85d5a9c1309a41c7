#include "viewer/viewer_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>

#include "base/text_encoding.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ScratchDir;

// A text control that counts characters the way an edit control does: a
// character of any length and a "\r\n" pair are one position each.
class CountingSink : public ViewerTextSink {
 public:
  void Clear() override {
    text.clear();
    positions = 0;
    clears++;
  }
  void Append(std::string_view utf8) override {
    const CodePage& cp = CodePage::Utf8();
    for (size_t pos = 0; pos < utf8.size();) {
      size_t next = cp.NextChar(utf8.data(), pos, utf8.size());
      if (utf8[pos] == '\r' && pos + 1 < utf8.size() && utf8[pos + 1] == '\n') next = pos + 2;
      positions++;
      pos = next;
    }
    text.append(utf8);
  }
  long EndPosition() const override { return positions; }

  // The text as the control's lines.
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines(1);
    const std::string normalized = NormalizeLineEnds(text);
    for (size_t pos = 0; pos < normalized.size(); pos++) {
      if (normalized[pos] == '\r') {
        lines.emplace_back();
        pos++;
      } else {
        lines.back() += normalized[pos];
      }
    }
    return lines;
  }

  std::string text;
  long positions = 0;
  int clears = 0;
};

std::vector<std::pair<long, long>> Pairs(const std::vector<ViewerSpan>& spans) {
  std::vector<std::pair<long, long>> pairs;
  for (const ViewerSpan& s : spans) pairs.emplace_back(s.start, s.end);
  return pairs;
}

// Text written in UTF-8 and turned into a file's bytes.
std::string InCodePage(int codePage, const std::string& utf8) {
  std::string bytes;
  EXPECT_TRUE(CodePage(codePage).FromUtf8(utf8, &bytes)) << utf8;
  return bytes;
}
std::string InUtf16(const std::string& utf8, bool bigEndian) {
  std::string bytes;
  EXPECT_TRUE(Utf8ToUtf16(utf8, bigEndian, &bytes)) << utf8;
  return (bigEndian ? "\xFE\xFF" : "\xFF\xFE") + bytes;
}

// The viewer's spans of "offset:length" records.
std::vector<ViewerSpan> Spans(std::string_view records) {
  return ViewerSpans(testing::Matches(records));
}

struct MatchRow {
  std::vector<MatchSpan> matches;
  std::vector<std::pair<long, long>> spans;
};

TEST(ViewerTextTest, SpansOfMatchesStayInTheControlsRange) {
  const MatchRow rows[] = {
      {{}, {}},
      {{{0, 3}, {1, 3}}, {{0, 3}, {1, 3}}},
      // Negative and huge values must not reach the loader as such.
      {{{-2, 5}}, {{0, 5}}},
      {{{3, -1}}, {{3, 0}}},
      {{{INT64_MAX, 1}}, {{LONG_MAX, 1}}},
  };
  for (const MatchRow& row : rows) {
    std::vector<std::pair<long, long>> got;
    for (const ViewerSpan& s : ViewerSpans(row.matches)) got.emplace_back(s.start, s.end);
    EXPECT_EQ(got, row.spans);
  }
}

TEST(ViewerTextTest, OfficeDocumentsAndEmptyMatchListsGoToTheOpener) {
  EXPECT_TRUE(ViewerShowsFile("/d/a.txt", testing::Matches("0:1")));
  EXPECT_TRUE(ViewerShowsFile("/d.doc/a", testing::Matches("0:1")));
  EXPECT_TRUE(ViewerShowsFile("/d/a.docm", testing::Matches("0:1")));
  EXPECT_FALSE(ViewerShowsFile("/d/a.txt", testing::Matches("")));
  // Every extension the batch opens as an office document, in any case: a
  // zipped document shown as text and saved would be destroyed.
  for (const char* path : {"/d/a.doc", "/d/a.RTF", "/d/a.Xls", "/d/a.ppt", "/d/a.docx",
                           "/d/a.XLSX", "/d/a.pPtx", "/d/a.odt", "/d/a.ODS", "/d/a.odp"}) {
    EXPECT_FALSE(ViewerShowsFile(path, testing::Matches("0:1"))) << path;
  }
}

TEST(ViewerTextTest, OverlappingSpansRebuildTheText) {
  CountingSink sink;
  std::vector<ViewerSpan> spans = Spans("0:3;1:3");
  LoadViewerText(ViewerFile("abcd", EncodingSetting::Gbk), &spans, &sink);
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
  std::vector<ViewerSpan> spans = Spans("6:3;11:1");
  LoadViewerText(ViewerFile(file, EncodingSetting::Gbk), &spans, &sink);
  EXPECT_EQ(sink.text, "中\r\n文abc文");
  EXPECT_EQ(spans[0].start, 3);
  EXPECT_EQ(spans[0].end, 6);
  // A span past the end of the file is cut there.
  EXPECT_EQ(spans[1].start, 7);
  EXPECT_EQ(spans[1].end, 7);
}

TEST(ViewerTextTest, TextAfterTheLastSpanIsShown) {
  CountingSink sink;
  std::vector<ViewerSpan> spans = Spans("2:1");
  LoadViewerText(ViewerFile("hello world", EncodingSetting::Gbk), &spans, &sink);
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

TEST(ViewerTextTest, SaveJoinsLinesWithTheFilesFirstLineEnd) {
  // UTF-16LE "\u0D0Ab\r\n": the bytes 0A 0D of the first character are no
  // line end.
  const std::string utf16("\xFF\xFE\x0A\x0D" "b\0\r\0\n\0", 10);
  const struct {
    std::string bytes;
    EncodingSetting setting;
    const char* lineEnd;
  } files[] = {
      {"a\nb\r\n", EncodingSetting::Gbk, "\n"},
      {"a\r\nb\n", EncodingSetting::Gbk, "\r\n"},
      {"a\rb", EncodingSetting::Gbk, "\r\n"},  // no line feed: none of its own
      {std::string("\xFF\xFE" "a\0\n\0", 6), EncodingSetting::Auto, "\n"},
      {utf16, EncodingSetting::Auto, "\r\n"},
      {"", EncodingSetting::Gbk, "\r\n"},
  };
  for (const auto& file : files) {
    EXPECT_EQ(ViewerFile(file.bytes, file.setting).LineEnd(), file.lineEnd) << file.bytes;
  }
  EXPECT_EQ(JoinViewerLines({"l1", "l2"}), "l1\r\nl2");
  EXPECT_EQ(JoinViewerLines({"l1", ""}, "\n"), "l1\n");
  EXPECT_EQ(JoinViewerLines({}), "");
  EXPECT_EQ(NormalizeLineEnds("a\nb\r\nc\rd\r"), "a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(NormalizeLineEnds("\r\r\n\n"), "\r\n\r\n\r\n");
}

struct EncodedFileRow {
  const char* note;
  EncodingSetting setting;
  std::string bytes;
  std::string matchList;  // byte offsets in the file
};

// Loads a file into sink; gives the spans as control positions.
std::vector<std::pair<long, long>> Load(const ViewerFile& file, const std::string& matchList,
                                        CountingSink* sink) {
  std::vector<ViewerSpan> spans = Spans(matchList);
  LoadViewerText(file, &spans, sink);
  return Pairs(spans);
}

TEST(ViewerTextTest, EachFileIsShownAndSavedInItsOwnEncoding) {
  // The match list marks "文本"; in the control it is characters 7 and 8
  // ("中文", the line end, "abc ", then "文本").
  const std::string text = "中文\r\nabc 文本!";
  const EncodedFileRow rows[] = {
      {"GBK", EncodingSetting::Gbk, InCodePage(CodePage::kGbk, text), "10:4"},
      {"GBK under auto", EncodingSetting::Auto, InCodePage(CodePage::kGbk, text), "10:4"},
      {"BIG5 when chosen", EncodingSetting::Big5, InCodePage(CodePage::kBig5, text), "10:4"},
      {"UTF-8", EncodingSetting::Auto, text, "12:6"},
      {"UTF-8 with a mark", EncodingSetting::Auto, "\xEF\xBB\xBF" + text, "15:6"},
      {"UTF-8 forced, with a mark", EncodingSetting::Utf8, "\xEF\xBB\xBF" + text, "15:6"},
      {"UTF-16LE", EncodingSetting::Auto, InUtf16(text, false), "18:4"},
      {"UTF-16BE", EncodingSetting::Auto, InUtf16(text, true), "18:4"},
  };
  testing::ScratchDir dir;
  for (const EncodedFileRow& row : rows) {
    const ViewerFile file(row.bytes, row.setting);
    CountingSink sink;
    EXPECT_EQ(Load(file, row.matchList, &sink), (std::vector<std::pair<long, long>>{{7, 9}}))
        << row.note;
    EXPECT_EQ(sink.text, text) << row.note;
    EXPECT_TRUE(file.ShowsFaithfully(sink.Lines())) << row.note;

    // The unedited text comes back byte for byte, the mark included; an
    // edit is written in the file's encoding.
    Message error;
    const std::string path = dir.Write("f", row.bytes);
    ASSERT_TRUE(SaveViewerText(DefaultFileRewriter(), path, file, sink.Lines(), &error)) << error;
    EXPECT_EQ(dir.Read("f"), row.bytes) << row.note;
    ASSERT_TRUE(SaveViewerText(DefaultFileRewriter(), path, file, {"中文", "abc 文本!新"}, &error));
    std::string edited;
    ASSERT_TRUE(file.Encode(text + "新", &edited));
    EXPECT_EQ(dir.Read("f"), edited) << row.note;
    EXPECT_EQ(edited.substr(0, row.bytes.size()), row.bytes) << row.note;
  }
}

TEST(ViewerTextTest, StaleOffsetsNeverCutACharacterApart) {
  // Offsets from a match list made under another setting: inside the mark,
  // inside a UTF-8 character, odd UTF-16 offsets, inside a surrogate pair.
  // A span touching a character takes the whole character.
  const EncodedFileRow rows[] = {
      {"inside the mark", EncodingSetting::Auto, "\xEF\xBB\xBF" "a中b", "1:3"},
      {"inside a UTF-8 character", EncodingSetting::Auto, "\xEF\xBB\xBF" "a中b", "5:1"},
      {"odd UTF-16 start", EncodingSetting::Auto, InUtf16("a中b", false), "5:1"},
      {"odd UTF-16 end", EncodingSetting::Auto, InUtf16("a中b", false), "4:1"},
      {"inside a surrogate pair", EncodingSetting::Auto, InUtf16("a😀b", false), "6:1"},
  };
  const std::vector<std::pair<long, long>> expected[] = {
      {{0, 1}}, {{1, 2}}, {{1, 2}}, {{1, 2}}, {{1, 2}}};
  for (size_t r = 0; r < std::size(rows); r++) {
    const ViewerFile file(rows[r].bytes, rows[r].setting);
    CountingSink sink;
    EXPECT_EQ(Load(file, rows[r].matchList, &sink), expected[r]) << rows[r].note;
    EXPECT_TRUE(file.ShowsFaithfully(sink.Lines())) << rows[r].note;
  }
}

TEST(ViewerTextTest, BytesThatDoNotSurviveTheEncodingAreNoticed) {
  const struct {
    EncodedFileRow file;
    bool faithful;
  } rows[] = {
      {{"lead byte at the end", EncodingSetting::Gbk, "cut \xd6", ""}, false},
      {{"invalid GBK trail byte", EncodingSetting::Gbk, "bad \x81\x20 pair", ""}, false},
      {{"GBK read as UTF-8", EncodingSetting::Utf8, InCodePage(CodePage::kGbk, "中文"), ""}, false},
      {{"UTF-8 mark, invalid body", EncodingSetting::Auto, "\xEF\xBB\xBF" "a\xFF" "b", ""}, false},
      {{"unpaired surrogate", EncodingSetting::Auto,
        std::string("\xFF\xFE" "a\0\0\xD8" "b\0", 8), ""},
       false},
      {{"odd UTF-16 length", EncodingSetting::Auto, std::string("\xFF\xFE" "a\0b", 5), ""}, false},
      // A NUL is text like any other, in every encoding.
      {{"NUL in GBK", EncodingSetting::Gbk, std::string("a\0b", 3), ""}, true},
      {{"NUL in UTF-16", EncodingSetting::Auto, InUtf16(std::string("a\0b", 3), false), ""}, true},
  };
  for (const auto& row : rows) {
    const ViewerFile file(row.file.bytes, row.file.setting);
    CountingSink sink;
    Load(file, row.file.matchList, &sink);
    EXPECT_EQ(file.ShowsFaithfully(sink.Lines()), row.faithful) << row.file.note;
  }
}

// A rewriter whose sessions fail on the first write.
class FailingRewriter : public FileRewriter {
  class Session : public RewriteSession {
   public:
    bool Write(const char*, size_t) override { return false; }
    bool Commit(Message* error) override {
      *error = Message(MessageId::kCannotWrite).WithOsError(ENOSPC);
      return false;
    }
  };

 public:
  std::unique_ptr<RewriteSession> Begin(const std::string&, Message*) override {
    return std::make_unique<Session>();
  }
};

TEST(ViewerTextTest, SaveIsAllOrNothing) {
  ScratchDir dir;
  std::string path = dir.Write("a.txt", "old\nbytes");
  Message error;
  const ViewerFile file("old\nbytes", EncodingSetting::Gbk);
  ASSERT_TRUE(SaveViewerText(DefaultFileRewriter(), path, file, {"l1", "l2"}, &error)) << error;
  EXPECT_EQ(dir.Read("a.txt"), "l1\nl2");

  FailingRewriter failing;
  EXPECT_FALSE(SaveViewerText(failing, path, file, {"new"}, &error));
  EXPECT_EQ(dir.Read("a.txt"), "l1\nl2");
}

}  // namespace
}  // namespace strbatch
