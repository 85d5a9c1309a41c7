#include "batch/replace_preview.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <random>

#include <zip.h>

#include <gtest/gtest.h>

#include "office/office_save.h"
#include "office/package/package_document.h"
#include "office/package/zip_package.h"

#include "recording_host.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::ScratchDir;

// Pieces the random texts are made of: ASCII, line ends, GBK characters
// whose second byte is an ASCII letter or a lead byte ("\x81\x61" holds no
// "a"; "\xB0\xA1\xA1" is one character and a stray lead byte).
const char* const kTextPieces[] = {"a", "b", "ab", " ", "\n", "\r\n", "\xB0\xA1", "\x81\x61",
                                   "\xA1\xB0", "c", "\xD6\xD0\xCE\xC4"};
const char* const kPlainFinds[] = {"a", "b", "ab", "ba", "\n", "a\r", "\xB0\xA1", "\xA1",
                                   "c c", "\xCE\xC4"};
const char* const kReplaces[] = {"", "A", "xyz", "a", "\r\n", "b\na", "\xA1\xB0", "\x81"};
// Expressions with groups, alternatives and matches of length zero.
const char* const kAdvancedFinds[] = {"{a}b*", "b|c", "a*", "{\xB0\xA1}{a}", "a?b?"};
const char* const kTemplates[] = {"[{1}]", "", "-", "{2}{1}", "\xD6\xD0"};

template <size_t N>
const char* Pick(std::mt19937& rng, const char* const (&items)[N]) {
  return items[std::uniform_int_distribution<size_t>(0, N - 1)(rng)];
}

class ReplacePreviewTest : public ::testing::Test {
 protected:
  // The bytes a batch replace makes of text, and the preview of the same
  // text in another file.
  std::string Replaced(const std::string& text, const DefinitionList& definitions,
                       const Options& options) {
    FileList files;
    files.Append(dir_.Write("replaced.txt", text), true);
    DefinitionList defs = definitions;
    RecordingHost host;
    BatchRunner runner(files, defs, host);
    runner.options = options;
    runner.BatchReplace();
    return dir_.Read("replaced.txt");
  }
  void Preview(const std::string& text, DefinitionList definitions, const Options& options) {
    FileList files;
    previewPath_ = dir_.Write("previewed.txt", text);
    files.Append(previewPath_, true);
    preview_ = std::make_unique<ReplacePreview>();
    preview_->Compute(files, definitions, options, host_);
  }
  // The result rebuilt from the original's lines and the line blocks: the
  // lines between blocks must be the same in both texts.
  static std::string Patched(const FilePreview& file) {
    const std::vector<std::string_view> oldLines = SplitLines(file.original);
    const std::vector<std::string_view> newLines = SplitLines(file.result);
    std::string text;
    size_t oldAt = 0, newAt = 0;
    for (const LineBlock& block : FileLineBlocks(file)) {
      if (block.oldFirst - oldAt != block.newFirst - newAt) return "misaligned";
      for (; oldAt < block.oldFirst; oldAt++, newAt++) text += oldLines[oldAt];
      for (size_t k = 0; k < block.newCount; k++) text += newLines[newAt++];
      oldAt += block.oldCount;
    }
    for (; oldAt < oldLines.size(); oldAt++) text += oldLines[oldAt];
    return text;
  }
  // The original with the changes of subset replaced, one at a time from
  // the back.
  static std::string Spliced(std::string text, const FilePreview& file,
                             const std::vector<bool>& subset) {
    for (size_t k = file.changes.size(); k-- > 0;) {
      const DiskChange change = OnDisk(file, k);
      if (subset[k]) text.replace(change.offset, change.length, change.newBytes);
    }
    return text;
  }

  ScratchDir dir_;
  RecordingHost host_;
  std::string previewPath_;
  std::unique_ptr<ReplacePreview> preview_;
};

// Applying every change gives the replace's bytes, none the original, any
// subset the original with exactly those regions replaced; and each change
// is a true difference whose old bytes the plan's checksum names.
TEST_F(ReplacePreviewTest, ChangesReproduceTheReplaceOverRandomTextsAndDefinitions) {
  std::mt19937 rng(17);
  for (int round = 0; round < 400; round++) {
    const bool advanced = round % 3 == 2;
    const bool utf16 = round % 7 == 3;  // a UTF-16 file: offsets and lengths map through
    std::string text;
    const int pieces = std::uniform_int_distribution<int>(0, 30)(rng);
    for (int i = 0; i < pieces; i++) text += Pick(rng, kTextPieces);
    DefinitionList definitions;
    const int count = std::uniform_int_distribution<int>(1, 4)(rng);
    for (int d = 0; d < count; d++) {
      definitions.Append(advanced ? Pick(rng, kAdvancedFinds) : Pick(rng, kPlainFinds),
                         advanced ? Pick(rng, kTemplates) : Pick(rng, kReplaces), true);
    }
    Options options;
    options.Advance = advanced;
    options.Case = round % 2 == 0;
    if (utf16) {
      std::string utf8, body;
      CodePage::Gbk().ToUtf8(text, &utf8);
      Utf8ToUtf16(utf8, false, &body);
      text = "\xFF\xFE" + body;
      options.encoding = EncodingSetting::Auto;
    }
    SCOPED_TRACE("round " + std::to_string(round) + ": " + text);
    const std::string replaced = Replaced(text, definitions, options);
    Preview(text, definitions, options);
    EXPECT_EQ(dir_.Read("previewed.txt"), text);
    if (replaced == text) {
      EXPECT_TRUE(preview_->files().empty());
      continue;
    }
    ASSERT_EQ(preview_->files().size(), 1u);
    const FilePreview& file = preview_->files()[0];
    const size_t changes = file.changes.size();
    ASSERT_GT(changes, 0u);
    for (size_t k = 0; k < changes; k++) {
      const DiskChange change = OnDisk(file, k);
      const std::string old = text.substr(change.offset, change.length);
      EXPECT_NE(old, change.newBytes);
      EXPECT_EQ(OldBytes(file, k), old);
      if (k > 0) {
        const DiskChange before = OnDisk(file, k - 1);
        EXPECT_GT(change.offset, before.offset + before.length);
      }
    }
    EXPECT_EQ(Spliced(text, file, std::vector<bool>(changes, true)), replaced);
    EXPECT_EQ(Patched(file), file.result);
    std::vector<bool> subset(changes);
    for (size_t k = 0; k < subset.size(); k++) subset[k] = (rng() & 1) != 0;
    Message error;
    const ApplyOutcome outcome =
        ApplyFilePreview(file, subset, false, DefaultFileRewriter(), &error);
    if (std::find(subset.begin(), subset.end(), true) == subset.end()) {
      EXPECT_EQ(outcome, ApplyOutcome::kNothing);
    } else {
      EXPECT_EQ(outcome, ApplyOutcome::kApplied) << error;
    }
    EXPECT_EQ(dir_.Read("previewed.txt"), Spliced(text, file, subset));
  }
}

// A change is one occurrence where occurrences do not touch, also where an
// occurrence shares characters with its replacement or a later definition
// rewrites part of what an earlier one wrote; occurrences that touch make
// one change.
TEST_F(ReplacePreviewTest, ChangesFollowTheOccurrences) {
  struct Row {
    std::vector<std::pair<const char*, const char*>> definitions;
    const char* text;
    const char* changes;  // "line:offset:length=replacement;..."
  };
  const Row rows[] = {
      {{{"data", "information"}}, "one data, data\ndata", "1:4:4=information;1:10:4=information;2:15:4=information"},
      {{{"value", "val"}}, "value", "1:3:2="},
      {{{"cat", "dog"}, {"og", "ogs"}}, "cat cat", "1:0:3=dogs;1:4:3=dogs"},
      {{{"a", "b"}, {"bb", "c"}}, "aab", "1:0:2=c"},
      {{{"\xD6\xD0", "\xD6\xD0\xCE\xC4"}}, "\xD6\xD0 \xD6\xD0", "1:2:0=\xCE\xC4;1:5:0=\xCE\xC4"},
      {{{"x", "\n"}}, "axbx", "1:1:1=\n;1:3:1=\n"},
      {{{"ab", "xaby"}}, "abab", "1:0:4=xabyxaby"},  // occurrences that touch
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    DefinitionList definitions;
    for (const auto& [find, replace] : row.definitions) definitions.Append(find, replace, true);
    Preview(row.text, definitions, Options());
    ASSERT_EQ(preview_->files().size(), 1u);
    std::string changes;
    for (const TextChange& change : preview_->files()[0].changes) {
      if (!changes.empty()) changes += ";";
      changes += std::to_string(change.line) + ":" + std::to_string(change.offset) + ":" +
                 std::to_string(change.length) + "=" +
                 std::string(Replacement(preview_->files()[0].result, change));
    }
    EXPECT_EQ(changes, row.changes);
  }
}

TEST_F(ReplacePreviewTest, AFileChangedSincePreviewIsRefusedAndUntouched) {
  DefinitionList definitions;
  definitions.Append("cat", "dog", true);
  Preview("cat", definitions, Options());
  ASSERT_EQ(preview_->files().size(), 1u);
  const FilePreview& file = preview_->files()[0];
  // The same bytes with a new time; new bytes of the same size with the
  // time put back.
  const struct {
    const char* bytes;
    int64_t mtimeNs;
  } edits[] = {{"cat", 1000000000}, {"cut", file.fingerprint.mtimeNs}};
  for (const auto& edit : edits) {
    testing::WriteBytes(previewPath_, edit.bytes);
    const struct timespec times[2] = {{0, UTIME_OMIT},
                                      {static_cast<time_t>(edit.mtimeNs / 1000000000),
                                       static_cast<long>(edit.mtimeNs % 1000000000)}};
    ASSERT_EQ(utimensat(AT_FDCWD, previewPath_.c_str(), times, 0), 0);
    Message error;
    EXPECT_EQ(ApplyFilePreview(file, {true}, false, DefaultFileRewriter(), &error),
              ApplyOutcome::kChanged);
    EXPECT_EQ(dir_.Read("previewed.txt"), edit.bytes);
  }
}

TEST_F(ReplacePreviewTest, PlannedChangesAreCheckedAgainstTheBytesOnDisk) {
  const std::string path = dir_.Write("plan.txt", "abcdef");
  struct Row {
    const char* what;
    std::vector<PlannedChange> changes;
    ApplyOutcome outcome;
    const char* bytes;
  };
  const std::vector<Row> rows = {
      {"kept", {{1, 2, "X", Sha256Hex("bc")}, {4, 0, "+", Sha256Hex("")}}, ApplyOutcome::kApplied,
       "aXd+ef"},
      {"old bytes differ", {{1, 2, "X", Sha256Hex("bd")}}, ApplyOutcome::kRefused, "abcdef"},
      {"past the end", {{5, 2, "X", Sha256Hex("f")}}, ApplyOutcome::kRefused, "abcdef"},
      {"overlap", {{1, 2, "X", Sha256Hex("bc")}, {2, 1, "Y", Sha256Hex("c")}},
       ApplyOutcome::kRefused, "abcdef"},
      {"same place", {{1, 0, "X", Sha256Hex("")}, {1, 1, "Y", Sha256Hex("b")}},
       ApplyOutcome::kRefused, "abcdef"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    testing::WriteBytes(path, "abcdef");
    Message error;
    EXPECT_EQ(ApplyPlannedChanges({path, "GBK", Sha256Hex("abcdef"), row.changes}, false,
                                  DefaultFileRewriter(), &error),
              row.outcome);
    EXPECT_EQ(testing::ReadBytes(path), row.bytes);
  }
}

// Occurrences that begin inside, end inside or cover what earlier
// definitions wrote, and empty ones: the regions always describe the result.
TEST(TextDiffTest, EditTrailRegionsDescribeTheResult) {
  std::mt19937 rng(5);
  for (int round = 0; round < 2000; round++) {
    const std::string original(std::uniform_int_distribution<size_t>(0, 12)(rng), 'o');
    std::string text = original;
    EditTrail trail;
    for (int d = 0; d < 4; d++) {
      trail.BeginDefinition();
      std::string next;
      size_t at = 0;
      while (at <= text.size()) {
        const size_t skip = std::uniform_int_distribution<size_t>(0, 3)(rng);
        if (at + skip > text.size()) break;
        const size_t length = std::min(std::uniform_int_distribution<size_t>(0, 3)(rng),
                                       text.size() - at - skip);
        const std::string replacement(std::uniform_int_distribution<size_t>(0, 3)(rng),
                                      static_cast<char>('0' + d));
        next += text.substr(at, skip) + replacement;
        trail.Occurrence(at + skip, length, replacement.size());
        at += skip + length;
        if (length == 0) {
          if (at == text.size()) break;
          next += text[at++];  // as the workers step over an empty match
        }
      }
      if (at < text.size()) next += text.substr(at);
      text = next;
    }
    SCOPED_TRACE(original + " -> " + text);
    TextDiff diff;
    ASSERT_TRUE(DiffRewrittenRegions(original, text, trail.Regions(), CodePage::Gbk(), &diff));
    std::string rebuilt = original;
    for (size_t k = diff.changes.size(); k-- > 0;) {
      rebuilt.replace(diff.changes[k].offset, diff.changes[k].length,
                      Replacement(text, diff.changes[k]));
    }
    EXPECT_EQ(rebuilt, text);
  }
}

// A document is worked on a copy: the original keeps its bytes until all of
// its changes are accepted, one change per paragraph that differs.
TEST_F(ReplacePreviewTest, ADocumentIsPreviewedOnACopyAndWrittenWhole) {
  const std::string path = dir_.File("a.docx");
  const std::vector<std::pair<std::string, std::string>> entries = {
      {"_rels/.rels",
       "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
       "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
       "2006/relationships/officeDocument\" Target=\"word/document.xml\"/></Relationships>"},
      {"word/document.xml",
       "<w:document xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">"
       "<w:body><w:p><w:r><w:t>cat one</w:t></w:r></w:p><w:p><w:r><w:t>none</w:t></w:r></w:p>"
       "<w:p><w:r><w:t>two cat</w:t></w:r></w:p></w:body></w:document>"}};
  int zipError = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &zipError);
  ASSERT_NE(archive, nullptr);
  for (const auto& [name, content] : entries) {
    zip_file_add(archive, name.c_str(),
                 zip_source_buffer(archive, content.data(), content.size(), 0), 0);
  }
  ASSERT_EQ(zip_close(archive), 0);
  const std::string original = testing::ReadBytes(path);
  std::unique_ptr<OfficeBridge> office = MakePackageBridge(nullptr, DefaultFileRewriter());
  FileList files;
  files.Append(path, true);
  DefinitionList definitions;
  definitions.Append("cat", "dog", true);
  preview_ = std::make_unique<ReplacePreview>();
  preview_->Compute(files, definitions, Options(), host_, office.get());
  EXPECT_EQ(testing::ReadBytes(path), original);
  ASSERT_EQ(preview_->files().size(), 1u);
  const FilePreview& file = preview_->files()[0];
  ASSERT_TRUE(file.IsDocument());
  ASSERT_EQ(file.changes.size(), 2u);
  Message error;
  EXPECT_EQ(ApplyFilePreview(file, {true, false}, false, DefaultFileRewriter(), &error),
            ApplyOutcome::kRefused);
  EXPECT_EQ(testing::ReadBytes(path), original);
  EXPECT_EQ(ApplyFilePreview(file, {true, true}, false, DefaultFileRewriter(), &error),
            ApplyOutcome::kApplied)
      << error;
  std::string xml;
  Message packageError;
  std::unique_ptr<ZipPackage> zip = ZipPackage::Open(testing::ReadBytes(path), &packageError);
  ASSERT_TRUE(zip && zip->Read("word/document.xml", &xml, &packageError))
      << PlainReason(packageError);
  EXPECT_NE(xml.find("dog one"), std::string::npos) << xml;
  EXPECT_NE(xml.find("two dog"), std::string::npos) << xml;
}

TEST(TextDiffTest, UnifiedDiffShowsThreeLinesOfContextInUtf8) {
  const std::string original = "1\n2\n3\n4\n\xD6\xD0\n6\n7\n8\n9\n10\n11\n12\n13";
  const std::string result = "1\n2\n3\n4\nx\n6\n7\n8\n9\n10\n11\n12\n13!";
  const TextDiff diff = DiffTexts(original, result, CodePage::Gbk());
  EXPECT_EQ(UnifiedDiff(original, result, LineBlocks(original, result, diff.changes),
                        CodePage::Gbk(), "a/f", "b/f"),
            "--- a/f\n+++ b/f\n"
            "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-\xE4\xB8\xAD\n+x\n 6\n 7\n 8\n"
            "@@ -10,4 +10,4 @@\n 10\n 11\n 12\n-13\n\\ No newline at end of file\n"
            "+13!\n\\ No newline at end of file\n");
  // A stray lead byte does not take the line end after it.
  const std::string stray = "x\x81\nab\n";
  const TextDiff strayDiff = DiffTexts(stray, "x\x81\ncd\n", CodePage::Gbk());
  EXPECT_EQ(UnifiedDiff(stray, "x\x81\ncd\n", LineBlocks(stray, "x\x81\ncd\n", strayDiff.changes),
                        CodePage::Gbk(), "a/f", "b/f"),
            "--- a/f\n+++ b/f\n@@ -1,2 +1,2 @@\n x\xEF\xBF\xBD\n-ab\n+cd\n");
}

// An office document's work text is cut into lines at its paragraph marks
// or separators: each change has the line and place of its paragraph, cell
// or shape, and the diff shows each line without its mark and no control
// character but TAB.
TEST(TextDiffTest, OfficeLinesArePlacesOfTheLayout) {
  struct Row {
    const char* what;
    OfficeKind kind;
    std::string original, result;
    const char* places;   // per change: line, then place
    const char* changed;  // the diff's - and + lines, joined by "|"
  };
  const Row rows[] = {
      {"paragraphs, a table's cell and row marks", OfficeKind::Word,
       "one\rcat\rcell\r\acat cell\r\a\rlast cat\r", "one\rdog\rcell\r\adog cell\r\a\rlast dog\r",
       "2:p2 4:p4 6:p6", "-cat|+dog|-cat cell|+dog cell|-last cat|+last dog"},
      {"CR LF marks", OfficeKind::Word, "a\r\ncat\r\n", "a\r\ndog\r\n", "2:p2", "-cat|+dog"},
      {"a line break shown as its picture", OfficeKind::Word, "a\x0B" "cat\r", "a\x0B" "dog\r",
       "1:p1", "-a\xE2\x90\x8B" "cat|+a\xE2\x90\x8B" "dog"},
      {"a replacement that makes a paragraph", OfficeKind::Word, "cat one\rtwo\r",
       "dog\rone\rtwo\r", "1:p1", "-cat one|+dog|+one"},
      {"cells, rows and sheets", OfficeKind::Excel, "A1\tcat\t\nA2\tB2\t\n\rcat\t\n\r",
       "A1\tdog\t\nA2\tB2\t\n\rdog\t\n\r", "2:s1r1c2 5:s2r1c1", "-cat|+dog|-cat|+dog"},
      {"empty cells are lines", OfficeKind::Excel, "\t\tcat\t\n\r", "\t\tdog\t\n\r", "3:s1r1c3",
       "-cat|+dog"},
      {"shapes and slides, an empty shape", OfficeKind::PowerPoint,
       "title\ncat here\n\n\rcat\n\r", "title\ndog here\n\n\rdog\n\r", "2:s1h2 4:s2h1",
       "-cat here|+dog here|-cat|+dog"},
      {"a TAB stays in its shape", OfficeKind::PowerPoint, "a\tcat\n\r", "a\tdog\n\r", "1:s1h1",
       "-a\tcat|+a\tdog"},
  };
  auto placeText = [](const TextPlace& place, OfficeKind kind) {
    const auto n = [](size_t k) { return std::to_string(k); };
    switch (kind) {
      case OfficeKind::Word:
        return "p" + n(place.paragraph);
      case OfficeKind::Excel:
        return "s" + n(place.sheet) + "r" + n(place.row) + "c" + n(place.column);
      default:
        return "s" + n(place.slide) + "h" + n(place.shape);
    }
  };
  for (const Row& row : rows) {
    const TextDiff diff = DiffSegments(row.original, row.result, row.kind);
    PlaceFinder finder(row.original, row.kind);
    std::string places;
    for (const TextChange& change : diff.changes) {
      if (!places.empty()) places += ' ';
      places += std::to_string(change.line) + ":" + placeText(finder.At(change.offset), row.kind);
    }
    EXPECT_EQ(places, row.places) << row.what;
    const std::string shown =
        UnifiedDiff(row.original, row.result,
                    LineBlocks(row.original, row.result, diff.changes, row.kind), CodePage::Gbk(),
                    "a", "b", row.kind);
    std::string changed;
    for (std::string_view line : SplitLines(shown)) {
      if (line.substr(0, 3) == "---" || line.substr(0, 3) == "+++" ||
          (line[0] != '-' && line[0] != '+')) {
        continue;
      }
      if (!changed.empty()) changed += '|';
      changed += line.substr(0, line.size() - 1);
    }
    EXPECT_EQ(changed, row.changed) << row.what;
    EXPECT_EQ(std::count_if(shown.begin(), shown.end(),
                            [](char c) { return c >= 0 && c < 0x20 && c != '\n' && c != '\t'; }),
              0)
        << row.what;
  }
}

}  // namespace
}  // namespace strbatch
