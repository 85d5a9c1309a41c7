#include "office/model/word_document.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "memory_office.h"
#include "office/office_bridge.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::Gbk;
using testing::ReplaceAll;

const CodePage& kGbk = CodePage::Gbk();

struct LocateRow {
  const char* name;
  std::string segment;
  int offset;
  int length;
  bool editable;
  long start;
  long length_in_characters;
};

TEST(WordLocateTest, CountsCharactersAsTheDocumentDoes) {
  const LocateRow rows[] = {
      {"CR LF counts once", "a\r\nb", 3, 1, true, 2, 1},
      {"CR BEL counts once", "a\r\ab", 3, 1, true, 2, 1},
      {"a pair inside the occurrence", "a\r\nb", 1, 2, true, 1, 1},
      {"the first unit of a segment always counts", "\nab", 2, 1, true, 2, 1},
      {"double-byte then ASCII", Gbk("中a"), 0, 3, true, 0, 2},
      {"after double-byte characters", Gbk("中文x"), 4, 1, true, 2, 1},
      // From a bug: 0x80 (the euro sign) is one byte, one character.
      {"euro sign", "\x80" "ab", 2, 1, true, 2, 1},
      {"empty occurrence", "ab", 1, 0, true, 1, 0},
      {"empty occurrence at the end", "ab", 2, 0, true, 2, 0},
      {"begins on a trail byte", Gbk("x中"), 2, 1, false, 0, 0},
      {"ends inside a character", Gbk("中文"), 0, 1, false, 0, 0},
  };
  for (const LocateRow& row : rows) {
    SCOPED_TRACE(row.name);
    OfficeLocation location;
    LocateResult result = LocateInWordText(row.segment, row.offset, row.length, location, kGbk);
    EXPECT_EQ(result.editable, row.editable);
    if (row.editable) {
      EXPECT_EQ(location.start, row.start);
      EXPECT_EQ(location.length, row.length_in_characters);
    }
  }
}

TEST(WordLocateTest, APairSplitBetweenSegmentsCountsOnce) {
  // An occurrence ending on the CR of a CR LF is left unedited; the walk
  // goes on from its end, where the LF belongs to the CR counted already.
  OfficeLocation location;
  const LocateResult first = LocateInWordText("a\r", 1, 1, location, kGbk);
  EXPECT_TRUE(first.after.afterCarriageReturn);
  location = first.after;
  ASSERT_TRUE(LocateInWordText("\nb", 1, 1, location, kGbk).editable);
  EXPECT_EQ(location.carriedOffset, 2);
  EXPECT_EQ(location.start, 0);
  EXPECT_EQ(location.length, 1);
}

class WordDocumentTest : public ::testing::Test {
 protected:
  WordDocumentTest() {
    auto suite = std::make_unique<MemoryOffice>();
    office_ = suite.get();
    bridge_ = MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
  }
  MemoryWordData& Add(std::string_view text) {
    path_ = dir_.Write("d.doc", "original");
    return office_->AddWordDocument(path_, text);
  }
  std::unique_ptr<OfficeDocument> Open() {
    Message whyNot;
    return bridge_->Open(path_, OfficeKind::Word, kGbk, &whyNot);
  }
  std::string DocumentText() { return JoinMemoryText(office_->Word(path_).text); }

  testing::ScratchDir dir_;
  MemoryOffice* office_;
  std::unique_ptr<OfficeBridge> bridge_;
  std::string path_;
};

TEST_F(WordDocumentTest, WritesTheTextInWindowsOfAtMost102401Characters) {
  std::string text(2 * kWordTextWindow + 7, 'a');
  text[kWordTextWindow - 1] = 'x';  // last of the first window
  text[kWordTextWindow] = 'y';      // first of the second
  Add(text);
  office_->logCalls = true;
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(document->WriteText(), text);
  std::vector<std::string> windows;
  for (const std::string& call : office_->calls) {
    if (call.rfind("Range.SetRange", 0) == 0) windows.push_back(call);
  }
  EXPECT_EQ(windows, (std::vector<std::string>{"Range.SetRange 0 102401",
                                               "Range.SetRange 102401 204802",
                                               "Range.SetRange 204802 204809"}));
}

// The text read so far was given as the whole text. Now it is marked read
// in part; when not even the first window can be read, reading fails.
TEST_F(WordDocumentTest, AnErrorWhileWritingMarksTheTextReadInPart) {
  Add(std::string(kWordTextWindow, 'a') + "bbb");
  int texts = 0, failing = 2;
  office_->onCall = [&texts, &failing](const std::string& call) {
    if (call == "Range.Text" && ++texts == failing) throw AutomationError("busy");
  };
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(document->WriteText(), std::string(kWordTextWindow, 'a'));
  EXPECT_TRUE(document->ReadInPart());
  texts = 0;
  failing = 1;
  try {
    Open()->WriteText();
    ADD_FAILURE() << "an unread text was given as empty";
  } catch (const AutomationError& error) {
    EXPECT_STREQ(error.what(), "the document's text could not be read: busy");
  }
}

// A character GBK lacks is a "?" of the work text that no occurrence may
// cover; its offset counts the windows before it.
TEST_F(WordDocumentTest, StandInsAreFoundInEveryWindow) {
  Add(std::string(kWordTextWindow, '?') + "\xED\x95\x9C?");  // ... 한?
  std::unique_ptr<OfficeDocument> document = Open();
  const std::string text = document->WriteText();
  ASSERT_EQ(text, std::string(kWordTextWindow + 2, '?'));
  document->BeginOccurrences(text);
  EXPECT_EQ(document->StandIns(), 1u);
  EXPECT_TRUE(document->Admits(0, kWordTextWindow));
  EXPECT_FALSE(document->Admits(kWordTextWindow, 1));
  EXPECT_FALSE(document->Admits(kWordTextWindow - 1, 2));
  EXPECT_TRUE(document->Admits(kWordTextWindow + 1, 1));
  EXPECT_TRUE(document->Admits(kWordTextWindow, 0));
}

TEST_F(WordDocumentTest, ReplacingXByYyCarriesTheOffsetToTheNextOccurrence) {
  Add("x x");
  Message whyNot;
  OfficeApplications applications(office_);
  std::unique_ptr<WordDocument> document = OpenWordDocument(applications, path_, &whyNot);
  OfficeLocation location;
  ASSERT_TRUE(LocateInWordText("x x", 0, 1, location, kGbk).editable);
  EditWordOccurrence(*document, location, "yy", kGbk);
  EXPECT_EQ(location.carriedOffset, 2);
  ASSERT_TRUE(LocateInWordText(" x", 1, 1, location, kGbk).editable);
  EXPECT_EQ(location.start, 1);
  office_->logCalls = true;
  EditWordOccurrence(*document, location, "yy", kGbk);
  EXPECT_NE(std::find(office_->calls.begin(), office_->calls.end(), "Characters.Item 4"),
            office_->calls.end());
  EXPECT_EQ(DocumentText(), "yy yy");
}

TEST_F(WordDocumentTest, ChineseReplacementsLandAndTheTextFollows) {
  Add("中文 and 中文\r表\r\a");
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, Gbk("中文"), Gbk("汉字测试")), 2);
  EXPECT_EQ(DocumentText(), "汉字测试 and 汉字测试\r表\r\a");
  EXPECT_EQ(document->WriteText(), Gbk("汉字测试 and 汉字测试\r表\r\a"));
}

TEST_F(WordDocumentTest, OccurrencesThatCannotBeEditedStayAndLaterOnesStillLand) {
  // A field reading "x", a character GBK cannot hold (read as "?"), and a
  // table cell mark: each is counted, none is changed.
  MemoryWordData& data = Add("x x ? 😀 \r\a x");
  data.text[0].lock = EditLock::kObject;
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "x", "yy"), 3);
  EXPECT_EQ(ReplaceAll(*document, "?", "!"), 2);
  EXPECT_EQ(ReplaceAll(*document, "\r\a", "-"), 1);
  EXPECT_EQ(DocumentText(), "x yy ! 😀 \r\a yy");
  EXPECT_EQ(document->WriteText(), "x yy ! ? \r\a yy");
}

TEST_F(WordDocumentTest, EuroSignsDoNotShiftTheEdits) {
  Add("€ab €");
  EXPECT_EQ(ReplaceAll(*Open(), "b", "c"), 1);
  EXPECT_EQ(DocumentText(), "€ac €");
}

TEST_F(WordDocumentTest, EmptyMatchesInsertTheirReplacementAndStepOver) {
  // An expression that matches the empty string: the worker inserts the
  // replacement at the match and steps over the next character itself.
  Add("ab\r");
  std::unique_ptr<OfficeDocument> document = Open();
  document->BeginOccurrences("ab\r");
  for (int64_t cursor = 0; cursor < 2; cursor++) {
    document->LocateOccurrence(cursor, 0);
    document->EditOccurrence("-");
  }
  EXPECT_EQ(DocumentText(), "-a-b\r");
}

TEST_F(WordDocumentTest, AnOccurrenceEndingInsideACharacterIsLeftAndTheNextOneLands) {
  Add("中文x");
  std::unique_ptr<OfficeDocument> document = Open();
  const std::string text = Gbk("中文x");
  document->BeginOccurrences(text);
  document->LocateOccurrence(0, 1);  // the lead byte of the first character
  document->EditOccurrence("?");
  document->LocateOccurrence(4, 1);
  document->EditOccurrence("y");
  EXPECT_EQ(DocumentText(), "中文y");
}

TEST_F(WordDocumentTest, FindNeverEditsOrSaves) {
  Add("x x");
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "x", "y", /*edit=*/false), 2);
  document->Close(false);
  EXPECT_EQ(DocumentText(), "x x");
  EXPECT_EQ(office_->Word(path_).saves, 0);
  EXPECT_EQ(dir_.Read("d.doc"), "original");
}

TEST_F(WordDocumentTest, SavesOnlyAChangedDocumentAndAllOrNothing) {
  Add("x");
  Open()->Close(true);  // nothing changed: the file is not rewritten
  EXPECT_EQ(dir_.Read("d.doc"), "original");

  office_->Word(path_).failSave = true;
  std::unique_ptr<OfficeDocument> document = Open();
  ReplaceAll(*document, "x", "y");
  EXPECT_THROW(document->Close(true), AutomationError);
  EXPECT_EQ(dir_.Read("d.doc"), "original");

  office_->Word(path_).failSave = false;
  document.reset();
  document = Open();
  ReplaceAll(*document, "y", "z");
  document->Close(true);
  EXPECT_EQ(dir_.Read("d.doc"), "z");
}

}  // namespace
}  // namespace strbatch
