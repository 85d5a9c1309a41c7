#include "batch/batch_driver.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "memory_office.h"
#include "office/model/word_document.h"
#include "office/package/package_document.h"
#include "office_test_support.h"
#include "recording_host.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::RecordingHost;
using testing::FailingRewriter;
using testing::ScratchDir;

class BatchDriverTest : public ::testing::Test {
 protected:
  std::string AddFile(const std::string& name, const std::string& bytes, bool checked = true) {
    std::string path = dir_.Write(name, bytes);
    files_.Append(path, checked);
    return path;
  }
  void AddDef(const std::string& find, const std::string& replace, bool checked = true) {
    definitions_.Append(find, replace, checked);
  }
  std::string FileCount(size_t r) const { return testing::CountText(files_.Row(r).count); }
  std::string DefCount(size_t d) const { return testing::CountText(definitions_.Row(d).count); }

  ScratchDir dir_;
  FileList files_;
  DefinitionList definitions_;
  RecordingHost host_;
  BatchRunner runner_{files_, definitions_, host_};
};

TEST_F(BatchDriverTest, ReplaceAppliesCheckedDefinitionsInOrderToCheckedFiles) {
  AddFile("a.txt", "cat dog cat\r\n");
  AddFile("b.txt", "cat", /*checked=*/false);
  AddFile("c.txt", "dog");
  AddDef("cat", "dog");
  AddDef("dog", "bird");        // sees what the first definition wrote
  AddDef("bird", "x", false);   // unchecked: not applied
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a.txt"), "bird bird bird\r\n");
  EXPECT_EQ(dir_.Read("b.txt"), "cat");
  EXPECT_EQ(dir_.Read("c.txt"), "bird");
  EXPECT_EQ(FileCount(0), "5");
  EXPECT_EQ(FileCount(1), "0");
  EXPECT_EQ(FileCount(2), "1");
  EXPECT_EQ(DefCount(0), "2");
  EXPECT_EQ(DefCount(1), "4");
  EXPECT_EQ(DefCount(2), "0");
  EXPECT_EQ(host_.confirmations, 1);
  EXPECT_TRUE(host_.progressShown && host_.progressHidden);
  EXPECT_EQ(host_.selectedRows, (std::vector<size_t>{0, 2}));
}

TEST_F(BatchDriverTest, ProgressPositionsFollowDefinitionSteps) {
  AddFile("a", "x");
  AddFile("b", "x");
  AddDef("x", "y");
  AddDef("q", "r");
  runner_.BatchReplace();
  // (d + r * D) * 100 / (R * D) with R = D = 2.
  EXPECT_EQ(host_.positions, (std::vector<int>{0, 25, 50, 75}));
  ASSERT_EQ(host_.messages.size(), 2u);
  EXPECT_EQ(host_.messages[1].substr(host_.messages[1].size() - 3), "2/2");
}

TEST_F(BatchDriverTest, AnsweringNoChangesNothing) {
  AddFile("a", "cat");
  files_.SetCount(0, 9);
  AddDef("cat", "dog");
  host_.answer = false;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), "cat");
  EXPECT_EQ(FileCount(0), "9");
  EXPECT_FALSE(host_.progressShown);
}

TEST_F(BatchDriverTest, UnchangingDefinitionsCountWithoutAskingOrWriting) {
  std::string path = AddFile("a", "cat cat");
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  AddDef("cat", "cat");
  AddDef("", "x");  // an empty find string never counts as a change
  runner_.BatchReplace();
  EXPECT_EQ(host_.confirmations, 0);
  EXPECT_EQ(FileCount(0), "2");
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);  // never rewritten
  EXPECT_EQ(before.st_mtim.tv_nsec, after.st_mtim.tv_nsec);
}

TEST_F(BatchDriverTest, FileWithoutOccurrencesIsNotRewritten) {
  std::string path = AddFile("a", "nothing here");
  AddFile("b", "cat");
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);
  AddDef("cat", "dog");
  runner_.BatchReplace();
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_EQ(dir_.Read("b"), "dog");
}

TEST_F(BatchDriverTest, CancelBetweenDefinitionsEndsOnlyTheCurrentFile) {
  AddFile("a", "1 2");
  AddFile("b", "1 2");
  AddDef("1", "one");
  AddDef("2", "two");
  // Queries: before file 0 (0), before def 0 (1), before def 1 (2: cancel),
  // before file 1 (3), its definitions (4, 5).
  host_.cancelAtQuery = 2;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), "one 2");  // what was done is written
  EXPECT_EQ(dir_.Read("b"), "one two");
  EXPECT_EQ(FileCount(0), "1");
}

// Stop asked while a document's parts are read: the document is closed
// unsaved and not warned about, and the run ends there.
TEST_F(BatchDriverTest, CancelWhileAPackageIsReadEndsTheRunThere) {
  const std::string doc = dir_.File("a.docx");
  testing::WriteZip(doc, testing::WordDocument("cat"));
  files_.Append(doc, true);
  AddFile("b", "cat");
  AddDef("cat", "dog");
  const std::string before = testing::ReadBytes(doc);
  const std::unique_ptr<OfficeBridge> bridge = MakePackageBridge(nullptr, DefaultFileRewriter());
  runner_.SetOfficeBridge(bridge.get());
  host_.cancelAtQuery = 1;  // before file 0 (0), then the first part's scan (1)
  runner_.BatchReplace();
  EXPECT_TRUE(runner_.Stopped());
  EXPECT_EQ(testing::ReadBytes(doc), before);
  EXPECT_EQ(dir_.Read("b"), "cat");
  EXPECT_TRUE(host_.warnings.empty()) << host_.warnings.front();
}

TEST_F(BatchDriverTest, CancelBeforeAFileEndsTheRunButKeepsLaterMatchLists) {
  AddFile("a", "x");
  AddFile("b", "x");
  files_.SetMatches(1, testing::Matches("0:1"));
  AddDef("x", "y");
  host_.cancelAtQuery = 2;  // before file 1
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), "y");
  EXPECT_EQ(dir_.Read("b"), "x");
  // The loop cleared row 1's entry before it asked, as the rows it reaches.
  EXPECT_EQ(testing::MatchListText(files_.Row(1).matches), "");
  EXPECT_TRUE(host_.progressHidden);
  EXPECT_TRUE(runner_.Stopped());
  EXPECT_EQ(runner_.LastRowReached(), 1u);
}

TEST_F(BatchDriverTest, FailedWriteLeavesTheOriginalAndCountsNothing) {
  std::string bytes(10000, 'a');
  AddFile("big", bytes);
  AddFile("small", "a");
  AddDef("a", "bb");
  FailingRewriter rewriter(5000);
  runner_.SetFileRewriter(&rewriter);
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("big"), bytes);
  EXPECT_EQ(FileCount(0), "0");
  EXPECT_EQ(dir_.Read("small"), "bb");  // the run went on
  EXPECT_EQ(FileCount(1), "1");
  EXPECT_EQ(DefCount(0), "1");
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_NE(host_.warnings[0].find("No space left on device"), std::string::npos)
      << host_.warnings[0];
}

TEST_F(BatchDriverTest, UnreadableFileIsWarnedAndSkipped) {
  files_.Append(dir_.File("missing"), true);
  AddFile("b", "a");
  AddDef("a", "b");
  runner_.BatchReplace();
  EXPECT_EQ(host_.warnings.size(), 1u);
  EXPECT_EQ(FileCount(0), "0");
  EXPECT_EQ(dir_.Read("b"), "b");
}

TEST_F(BatchDriverTest, BytesAfterNulSurviveAndAreNotSearched) {
  std::string bytes("cat\0cat cat", 11);
  AddFile("a", bytes);
  AddDef("cat", "tiger");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), std::string("tiger\0cat cat", 13));
  EXPECT_EQ(FileCount(0), "1");
}

TEST_F(BatchDriverTest, FindRecordsMatchListsAndReportWithoutWriting) {
  AddFile("a", "abcabc");
  AddFile("b", "zzz");
  AddDef("b", "B");
  AddDef("abc", "");  // counts, but adds no report line
  AddDef("c", "C\r\nD");
  runner_.options.reportOutput = true;
  runner_.BatchFind();
  EXPECT_EQ(host_.confirmations, 0);
  EXPECT_EQ(dir_.Read("a"), "abcabc");
  EXPECT_EQ(testing::MatchListText(files_.Row(0).matches), "1:1;4:1;0:3;3:3;2:1;5:1");
  EXPECT_EQ(testing::MatchListText(files_.Row(1).matches), "");
  EXPECT_EQ(FileCount(0), "6");
  ASSERT_EQ(host_.openedReports.size(), 1u);
  EXPECT_EQ(testing::ReadBytes(host_.openedReports[0]), "B\r\nB\r\nC\r\nD\r\nC\r\nD\r\n");
}

TEST_F(BatchDriverTest, FindWithoutReportOutputOpensNoReport) {
  AddFile("a", "x");
  AddDef("x", "y");
  runner_.BatchFind();
  EXPECT_TRUE(host_.openedReports.empty());
  EXPECT_EQ(testing::MatchListText(files_.Row(0).matches), "0:1");
  // A later replace empties the match lists of the rows it reaches.
  runner_.BatchReplace();
  EXPECT_EQ(testing::MatchListText(files_.Row(0).matches), "");
}

TEST_F(BatchDriverTest, ReplacementsLongerAndShorterKeepEveryOtherByte) {
  // Chinese text with CRLF lines; the replacement grows in one definition
  // and shrinks in the next.
  std::string text = "\xD6\xD0\xCE\xC4 abc\r\n\xB0\xA1" "abc\r\n";
  AddFile("a", text);
  AddDef("abc", "\xCE\xC4\xCE\xC4\xCE\xC4");
  AddDef("\xCE\xC4", "w");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), "\xD6\xD0w www\r\n\xB0\xA1www\r\n");
}

TEST_F(BatchDriverTest, OverlappingOccurrencesAndCaseFolding) {
  AddFile("a", "aaaa");
  AddFile("b", "ABC abc");
  AddDef("aa", "b");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a"), "bb");
  definitions_.Clear();
  AddDef("abc", "x");
  runner_.options.Case = false;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("b"), "x x");
  EXPECT_EQ(FileCount(1), "2");
}

TEST_F(BatchDriverTest, EmptyAndNulLeadingFilesGiveNothing) {
  AddFile("empty", "");
  AddFile("nul", std::string("\0abc", 4));
  AddDef("abc", "x");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("nul"), std::string("\0abc", 4));
  EXPECT_EQ(FileCount(0), "0");
  EXPECT_EQ(FileCount(1), "0");
}

TEST_F(BatchDriverTest, RunWithoutCheckedFilesResetsCounts) {
  AddFile("a", "x", false);
  files_.SetCount(0, 4);
  AddDef("x", "y");
  definitions_.SetCount(0, 4);
  runner_.BatchReplace();
  EXPECT_EQ(FileCount(0), "0");
  EXPECT_EQ(DefCount(0), "0");
  EXPECT_TRUE(host_.progressShown && host_.progressHidden);
  EXPECT_EQ(dir_.Read("a"), "x");
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

TEST_F(BatchDriverTest, BackupBeforeChangesButNeverForFind) {
  AddFile("a.txt", "cat");
  AddDef("cat", "dog");
  runner_.options.autoBackup = true;
  runner_.BatchFind();
  EXPECT_EQ(dir_.Read("a.txt.bak"), "");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a.txt.bak"), "cat");
  EXPECT_EQ(dir_.Read("a.txt"), "dog");
}

TEST_F(BatchDriverTest, ConversionBacksUpOfficeDocumentsButSkipsThem) {
  AddFile("doc.DOC", "\xD6\xD0");
  AddFile("t.txt", "\xD6\xD0\xCE\xC4");  // 中文
  runner_.options.autoBackup = true;
  runner_.ConvertCode(CodeConversion::GbkToBig5);
  EXPECT_EQ(host_.confirmations, 1);
  EXPECT_EQ(dir_.Read("doc.DOC.bak"), "\xD6\xD0");
  EXPECT_EQ(dir_.Read("doc.DOC"), "\xD6\xD0");
  EXPECT_EQ(dir_.Read("t.txt"), "\xA4\xA4\xA4\xE5");  // BIG5
}

TEST_F(BatchDriverTest, ConversionWithNoChoiceIsABatchReplace) {
  AddFile("t.txt", "cat");
  AddDef("cat", "dog");
  runner_.ConvertCode(CodeConversion::None);
  EXPECT_EQ(dir_.Read("t.txt"), "dog");
}

// A bad expression is refused before the confirmation: nothing is asked,
// backed up, counted or written, and the message says where the fault is.
TEST_F(BatchDriverTest, ExpressionsThatDoNotCompileStopTheCommandFirst) {
  struct Row {
    const char* find;
    EncodingSetting encoding;
    const char* message;
  } rows[] = {
      {"(abc", EncodingSetting::Gbk, "definition 2: unclosed group opened at character 1"},
      {"ab{cd", EncodingSetting::Gbk, "definition 2: unclosed numbered group opened at character 3"},
      {"x[z-a]", EncodingSetting::Gbk, "definition 2: the range at character 3 runs backwards"},
      {"\\9", EncodingSetting::Gbk, "definition 2: the back-reference at character 1"},
      {"(a?)*", EncodingSetting::Gbk, "definition 2: the repeat at character 5"},
      // 文-中 rises in GBK (0xCE..0xD6) and falls in UTF-8 (0xE6..0xE4): files
      // read as UTF-8 under "auto" would search an expression that cannot run.
      {"[\xCE\xC4-\xD6\xD0]", EncodingSetting::Auto,
       "definition 2 (as UTF-8 text): the range at character 2 runs backwards"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.find);
    ScratchDir dir;
    FileList files;
    DefinitionList definitions;
    RecordingHost host;
    const std::string path = dir.Write("a.txt", "abc (abc");
    files.Append(path, true);
    files.SetCount(0, 7);
    definitions.Append("a", "b", true);
    definitions.Append(row.find, "x", true);
    BatchRunner runner(files, definitions, host);
    runner.options.Advance = true;
    runner.options.language = Language::English;
    runner.options.autoBackup = true;
    runner.options.encoding = row.encoding;
    runner.BatchReplace();
    ASSERT_EQ(host.rejected.size(), 1u);
    EXPECT_EQ(host.rejected[0].first, 1u);
    EXPECT_EQ(host.rejected[0].second.substr(0, std::string(row.message).size()), row.message);
    EXPECT_EQ(host.confirmations, 0);
    EXPECT_FALSE(host.progressShown);
    EXPECT_EQ(dir.Read("a.txt"), "abc (abc");
    EXPECT_EQ(testing::ReadBytes(path + ".bak"), "");
    EXPECT_EQ(testing::CountText(files.Row(0).count), "7");
  }
}

// A search that runs into the engine's bound applies nothing of its
// definition to that file (so a rerun cannot apply it twice), counts 0 and
// says so; the other definitions go on.
TEST_F(BatchDriverTest, ASearchThatGivesUpAppliesNothingOfItsDefinition) {
  // Each "a" can be taken two ways, and the back-reference keeps every path
  // distinct, so failing costs 2^40 steps.
  const std::string text = "x" + std::string(40, 'a');
  AddFile("a.txt", text);
  AddFile("b.txt", "xay");
  AddDef("x", "X");
  AddDef("({a}|a)*\\0y", "<{1}>");
  AddDef("a", "A");
  runner_.options.Advance = true;
  runner_.options.language = Language::English;
  runner_.SetSearchSteps(100000);
  runner_.BatchFind();
  EXPECT_EQ(testing::MatchListText(files_.Row(0).matches), "0:1;1:1;2:1;3:1;4:1;5:1;6:1;7:1;8:1;9:1;10:1;11:1;12:1;13:1;"
                                    "14:1;15:1;16:1;17:1;18:1;19:1;20:1;21:1;22:1;23:1;24:1;25:1;"
                                    "26:1;27:1;28:1;29:1;30:1;31:1;32:1;33:1;34:1;35:1;36:1;37:1;"
                                    "38:1;39:1;40:1");
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a.txt"), "X" + std::string(40, 'A'));
  EXPECT_EQ(dir_.Read("b.txt"), "X<>");  // the plain "a" took it, group 1 took no part
  EXPECT_EQ(FileCount(0), "41");
  EXPECT_EQ(DefCount(1), "1");
  ASSERT_EQ(host_.warnings.size(), 2u);  // once for the find, once for the replace
  EXPECT_NE(host_.warnings[1].find("a.txt: definition 2: the search gave up at byte 1"),
            std::string::npos)
      << host_.warnings[1];
}

TEST_F(BatchDriverTest, EmptyFindStringsAreSkippedAndMissingGroupsNoticed) {
  AddFile("a.txt", "abc");
  AddDef("", "-");
  AddDef("b", "B");
  AddDef("{c}", "[{1}{3}]");
  runner_.options.Advance = true;
  runner_.options.language = Language::English;
  runner_.BatchReplace();
  EXPECT_EQ(dir_.Read("a.txt"), "aB[c]");
  EXPECT_EQ(DefCount(0), "0");
  ASSERT_EQ(host_.notices.size(), 1u);
  EXPECT_NE(host_.notices[0].find("definition 3: the replace template refers to group {3}"),
            std::string::npos)
      << host_.notices[0];
  EXPECT_TRUE(host_.warnings.empty());
}

}  // namespace
}  // namespace strbatch

namespace strbatch {
namespace {

// A document whose text could be read only in part: a find counts what
// was read, a replace leaves the document as it is; both warn.
class ReadInPartTest : public BatchDriverTest, public ::testing::WithParamInterface<bool> {};

TEST_P(ReadInPartTest, ADocumentReadInPartIsWarned) {
  const bool find = GetParam();
  auto suite = std::make_unique<MemoryOffice>();
  MemoryOffice& office = *suite;
  const std::unique_ptr<OfficeBridge> bridge =
      MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
  // The second window of the text fails: its "cat" is never read.
  const std::string text = "cat" + std::string(kWordTextWindow - 3, 'a') + "cat";
  const std::string doc = AddFile("d.doc", "original");
  office.AddWordDocument(doc, text);
  AddFile("t.txt", "cat");
  AddDef("cat", "dog");
  int texts = 0;
  office.onCall = [&texts](const std::string& call) {
    if (call == "Range.Text" && ++texts == 2) throw AutomationError("busy");
  };
  runner_.SetOfficeBridge(bridge.get());
  if (find) {
    runner_.BatchFind();
  } else {
    runner_.BatchReplace();
  }
  EXPECT_EQ(runner_.End(), BatchRunner::RunEnd::kFinished);
  EXPECT_EQ(FileCount(0), find ? "1" : "0");
  EXPECT_EQ(FileCount(1), "1");
  EXPECT_EQ(dir_.Read("t.txt"), find ? "cat" : "dog");
  EXPECT_EQ(JoinMemoryText(office.Word(doc).text), text);
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_EQ(host_.warnings[0].rfind(doc + ": read in part", 0), 0u) << host_.warnings[0];
}

INSTANTIATE_TEST_SUITE_P(FindAndReplace, ReadInPartTest, ::testing::Bool());

// A character the code page cannot hold reads as "?" in the work text, but
// is no "?" of the document: it is not counted, not replaced, and said once.
TEST_F(BatchDriverTest, StandInsAreNotMatchedAndAreNoticed) {
  auto suite = std::make_unique<MemoryOffice>();
  MemoryOffice& office = *suite;
  const std::unique_ptr<OfficeBridge> bridge =
      MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
  const std::string doc = AddFile("d.doc", "original");
  office.AddWordDocument(doc, "\xED\x95\x9C\xEA\xB5\xAD cat ?");  // 한국 cat ?
  AddDef("?", "!");
  AddDef("? c", "x");  // a stand-in inside a longer occurrence
  runner_.SetOfficeBridge(bridge.get());
  runner_.BatchReplace();
  EXPECT_EQ(FileCount(0), "1");
  EXPECT_EQ(DefCount(1), "0");
  EXPECT_EQ(JoinMemoryText(office.Word(doc).text), "\xED\x95\x9C\xEA\xB5\xAD cat !");
  EXPECT_TRUE(host_.warnings.empty()) << host_.warnings[0];
  ASSERT_EQ(host_.notices.size(), 1u);
  EXPECT_EQ(host_.notices[0], doc + ": 2 characters the code page cannot hold were not searched "
                                    "(--encoding utf-8 or auto searches them)");
}

// A replace that counted occurrences it could not change has not done what
// was asked: it warns (the command-line program exits 1) and the row keeps
// how many of its count were left.
TEST_F(BatchDriverTest, OccurrencesCountedButNotChangedAreWarned) {
  auto suite = std::make_unique<MemoryOffice>();
  MemoryOffice& office = *suite;
  const std::unique_ptr<OfficeBridge> bridge =
      MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
  const std::string doc = AddFile("d.doc", "original");
  MemoryWordData& word = office.AddWordDocument(doc, "cat cat");
  word.text[0].lock = EditLock::kProtected;
  AddDef("cat", "dog");
  runner_.SetOfficeBridge(bridge.get());
  runner_.BatchReplace();
  EXPECT_EQ(FileCount(0), "2");
  EXPECT_EQ(files_.Row(0).notChanged, 1);
  EXPECT_EQ(JoinMemoryText(office.Word(doc).text), "cat dog");
  EXPECT_TRUE(host_.notices.empty());
  ASSERT_EQ(host_.warnings.size(), 1u);
  EXPECT_NE(host_.warnings[0].find("1 occurrences were counted but not changed"), std::string::npos)
      << host_.warnings[0];
}

}  // namespace
}  // namespace strbatch
