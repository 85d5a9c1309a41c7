#include "office/office_bridge.h"

#include <gtest/gtest.h>

#include <functional>

#include "memory_office.h"
#include "office_test_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

TEST(OfficeKindTest, ExtensionsNameTheirApplication) {
  const struct {
    const char* extension;
    OfficeKind kind;
  } rows[] = {
      {".doc", OfficeKind::Word},        {".RTF", OfficeKind::Word},
      {".Docx", OfficeKind::Word},       {".odt", OfficeKind::Word},
      {".xls", OfficeKind::Excel},       {".XLSX", OfficeKind::Excel},
      {".ods", OfficeKind::Excel},       {".ppt", OfficeKind::PowerPoint},
      {".pptx", OfficeKind::PowerPoint}, {".odp", OfficeKind::PowerPoint},
      {".docm", OfficeKind::None},       {".txt", OfficeKind::None},
      {".do", OfficeKind::None},         {"", OfficeKind::None},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(OfficeKindOf(row.extension), row.kind) << row.extension;
  }
}

class OfficeBridgeTest : public ::testing::Test {
 protected:
  OfficeBridgeTest() {
    auto suite = std::make_unique<MemoryOffice>();
    office_ = suite.get();
    bridge_ = MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
  }
  std::unique_ptr<OfficeDocument> Open(const std::string& path, OfficeKind kind,
                                       Message* whyNot = nullptr) {
    Message ignored;
    return bridge_->Open(path, kind, CodePage::Gbk(), whyNot ? whyNot : &ignored);
  }

  MemoryOffice* office_;
  std::unique_ptr<OfficeBridge> bridge_;
};

TEST_F(OfficeBridgeTest, ARunStartsEachApplicationOnceAndQuitsIt) {
  office_->AddWordDocument("a.doc", "a");
  office_->AddWordDocument("b.doc", "b");
  office_->AddWorkbook("c.xls").AddSheet({{"c"}});
  for (const char* path : {"a.doc", "b.doc"}) {
    std::unique_ptr<OfficeDocument> document = Open(path, OfficeKind::Word);
    ASSERT_TRUE(document);
    document->Close(false);
  }
  Open("c.xls", OfficeKind::Excel)->Close(false);
  EXPECT_EQ(office_->wordStarts, 1);
  EXPECT_EQ(office_->excelStarts, 1);
  EXPECT_EQ(office_->powerPointStarts, 0);
  bridge_->QuitAll();
  EXPECT_EQ(office_->wordQuits, 1);
  EXPECT_EQ(office_->excelQuits, 1);
  EXPECT_EQ(office_->endRuns, 1);
  // The next run starts its own instances.
  Open("a.doc", OfficeKind::Word)->Close(false);
  EXPECT_EQ(office_->wordStarts, 2);
}

TEST_F(OfficeBridgeTest, ARunWithoutDocumentsStartsNothing) {
  bridge_->QuitAll();
  EXPECT_EQ(office_->wordStarts + office_->excelStarts + office_->powerPointStarts, 0);
  EXPECT_EQ(office_->wordQuits + office_->excelQuits + office_->powerPointQuits, 0);
}

TEST_F(OfficeBridgeTest, AMissingApplicationIsToldOnceAndNotTriedAgain) {
  office_->wordMissing = true;
  office_->AddWordDocument("a.doc", "a");
  office_->AddPresentation("p.ppt");
  Message whyNot;
  EXPECT_FALSE(Open("a.doc", OfficeKind::Word, &whyNot));
  EXPECT_EQ(whyNot, LibraryText("no word processor"));
  whyNot = Message();
  EXPECT_FALSE(Open("a.doc", OfficeKind::Word, &whyNot));
  EXPECT_TRUE(whyNot.Empty());
  EXPECT_EQ(office_->wordStarts, 1);
  // Other applications are not affected.
  EXPECT_TRUE(Open("p.ppt", OfficeKind::PowerPoint));
}

TEST_F(OfficeBridgeTest, AFileTheApplicationCannotOpenEndsTheRun) {
  EXPECT_THROW(Open("missing.xls", OfficeKind::Excel), AutomationError);
}

TEST_F(OfficeBridgeTest, ADocumentDroppedOnAnErrorIsClosedUnsaved) {
  office_->AddWordDocument("a.doc", "x");
  {
    std::unique_ptr<OfficeDocument> document = Open("a.doc", OfficeKind::Word);
    document->BeginOccurrences("x");
    document->LocateOccurrence(0, 1);
    document->EditOccurrence("y");
  }
  EXPECT_FALSE(office_->Word("a.doc").open);
  EXPECT_EQ(office_->Word("a.doc").saves, 0);
}

TEST_F(OfficeBridgeTest, EachOccurrenceLeftAsItWasIsCountedWithItsReason) {
  using Reason = NotAppliedReason;
  const auto word = [](std::string_view text, const std::function<void(MemoryText&)>& mark) {
    return [text, mark](MemoryOffice& office, const std::string& path) {
      mark(office.AddWordDocument(path, text).text);
    };
  };
  const auto workbook = [](const std::vector<std::vector<std::string>>& rows,
                           const std::function<void(MemoryCell&)>& mark) {
    return [rows, mark](MemoryOffice& office, const std::string& path) {
      MemoryWorkbookData& data = office.AddWorkbook(path);
      data.AddSheet(rows);
      mark(data.sheets[0][0][0]);
    };
  };
  const auto slide = [](const std::vector<std::string>& shapes,
                        const std::function<void(MemoryText&)>& mark) {
    return [shapes, mark](MemoryOffice& office, const std::string& path) {
      std::vector<MemoryShape> slide;
      for (const std::string& text : shapes) slide.push_back({true, SplitMemoryText(text)});
      mark(slide[0].text);
      office.AddPresentation(path).slides.push_back(slide);
    };
  };
  const auto none = [](auto&) {};
  const struct {
    const char* name;
    OfficeKind kind;
    std::function<void(MemoryOffice&, const std::string&)> make;
    std::string find;
    Reason reason;
  } rows[] = {
      {"a field in the occurrence", OfficeKind::Word,
       word("x cat", [](MemoryText& t) { t[3].lock = EditLock::kObject; }), "cat",
       Reason::kObjectAnchor},
      {"an image anchored inside the occurrence", OfficeKind::Word,
       word("cat", [](MemoryText& t) { t[2].anchorBefore = true; }), "cat", Reason::kObjectAnchor},
      {"a protected section", OfficeKind::Word,
       word("cat", [](MemoryText& t) { t[0].lock = EditLock::kProtected; }), "cat",
       Reason::kProtected},
      {"a table cell mark", OfficeKind::Word, word("a\r\ab", none), "a\r\ab",
       Reason::kSpansParts},
      {"a stand-in for a character GBK lacks", OfficeKind::Word, word("a😀", none), "a?",
       Reason::kNotMatchable},
      {"from the middle of one character into the next", OfficeKind::Word, word("中文", none),
       testing::Gbk("中文").substr(1, 2), Reason::kNotMatchable},
      {"a number cell", OfficeKind::Excel,
       workbook({{"12"}}, [](MemoryCell& cell) { cell.textCell = false; }), "12",
       Reason::kFormulaResult},
      {"two cells", OfficeKind::Excel, workbook({{"a", "b"}}, none), "a\tb",
       Reason::kSpansParts},
      {"a protected worksheet", OfficeKind::Excel,
       workbook({{"ab"}}, [](MemoryCell& cell) { cell.text[0].lock = EditLock::kProtected; }),
       "ab", Reason::kProtected},
      {"two shapes", OfficeKind::PowerPoint, slide({"a", "b"}, none), "a\nb",
       Reason::kSpansParts},
      {"a field in a shape", OfficeKind::PowerPoint,
       slide({"page 1"}, [](MemoryText& t) { t[5].lock = EditLock::kObject; }), "page 1",
       Reason::kObjectAnchor},
  };
  int n = 0;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::string path = "d" + std::to_string(n++);
    row.make(*office_, path);
    std::unique_ptr<OfficeDocument> document = Open(path, row.kind);
    ASSERT_TRUE(document);
    const std::string before = document->WriteText();
    EXPECT_EQ(testing::ReplaceAll(*document, row.find, "Z"), 1);
    EXPECT_EQ(document->WriteText(), before);
    EXPECT_EQ(document->Leftovers().Of(row.reason), 1u);
    EXPECT_EQ(document->Leftovers().Total(), 1u);
    document->Close(true);
  }
}

TEST_F(OfficeBridgeTest, AnAnchorAtEitherEndOfTheOccurrenceDoesNotKeepItFromTheEdit) {
  MemoryWordData& data = office_->AddWordDocument("a.doc", "a cat b");
  data.text[2].anchorBefore = true;  // before "cat"
  data.text[5].anchorBefore = true;  // after it
  std::unique_ptr<OfficeDocument> document = Open("a.doc", OfficeKind::Word);
  EXPECT_EQ(testing::ReplaceAll(*document, "cat", "kitten"), 1);
  EXPECT_EQ(document->Leftovers().Total(), 0u);
  EXPECT_EQ(JoinMemoryText(data.text), "a kitten b");
}

// Documents with a story of each kind, a word in each to find: the body's
// text, the stories' text after it, and where each edit must land.
class OfficeStoriesTest : public OfficeBridgeTest {
 protected:
  // Documents saved are written beside the test's own files.
  std::string Path(const char* name) const { return dir_.File(name); }
  void MakeDocuments() {
    MemoryWordData& word = office_->AddWordDocument(Path("w.doc"), "a cat\r");
    word.stories[OfficeStory::kHeadersFooters] = SplitMemoryText("cat head cat\rfoot\r");
    word.stories[OfficeStory::kEndnotes] = SplitMemoryText("end cat\r");
    word.stories[OfficeStory::kTextBoxes] = SplitMemoryText("box cat\r");

    MemoryWorkbookData& book = office_->AddWorkbook(Path("b.xls"));
    book.AddSheet({{"a cat"}});
    book.AddSheet({{"b"}});
    book.names = {"catsheet", "Two"};
    book.comments = {{Cell("c1 cat"), Cell("c2")}, {Cell("cat")}};

    MemoryPresentationData& slides = office_->AddPresentation(Path("p.ppt"));
    slides.slides = {{Shape("s cat")}, {Shape("t")}};
    slides.notes = {{Shape("n cat"), Shape("m")}, {Shape("cat")}};
  }
  static MemoryCell Cell(std::string_view text) { return {SplitMemoryText(text), "", true, false}; }
  static MemoryShape Shape(std::string_view text) { return {true, SplitMemoryText(text)}; }

  testing::ScratchDir dir_;
};

const struct {
  const char* path;
  OfficeKind kind;
  const char* body;
  const char* stories;
} kStoryRows[] = {
    {"w.doc", OfficeKind::Word, "a cat\r", "\fcat head cat\rfoot\r\f\fend cat\r\f\fbox cat\r"},
    {"b.xls", OfficeKind::Excel, "a cat\t\n\rb\t\n\r", "\fc1 cat\tc2\t\rcat\t\r\fcatsheet\rTwo\r"},
    {"p.ppt", OfficeKind::PowerPoint, "s cat\n\rt\n\r", "\fn cat\nm\n\rcat\n\r"},
};

TEST_F(OfficeStoriesTest, TheStoriesFollowTheBodyOrAreKeptForACount) {
  MakeDocuments();
  for (const auto& row : kStoryRows) {
    SCOPED_TRACE(row.path);
    bridge_->SetParts(OfficeParts::kBody);
    std::unique_ptr<OfficeDocument> body = Open(Path(row.path), row.kind);
    EXPECT_EQ(body->WriteText(), row.body);
    EXPECT_EQ(body->OtherStoriesText(), row.stories);
    body->Close(false);
    bridge_->SetParts(OfficeParts::kAll);
    std::unique_ptr<OfficeDocument> all = Open(Path(row.path), row.kind);
    EXPECT_EQ(all->WriteText(), std::string(row.body) + row.stories);
    EXPECT_EQ(all->OtherStoriesText(), "");
    all->Close(false);
  }
}

TEST_F(OfficeStoriesTest, EachEditLandsInItsOwnStory) {
  MakeDocuments();
  bridge_->SetParts(OfficeParts::kAll);
  for (const auto& row : kStoryRows) {
    SCOPED_TRACE(row.path);
    std::unique_ptr<OfficeDocument> document = Open(Path(row.path), row.kind);
    // Longer than what it replaces: every later place in a story moves.
    testing::ReplaceAll(*document, "cat", "kitten");
    std::string expected = std::string(row.body) + row.stories;
    for (size_t at = expected.find("cat"); at != std::string::npos; at = expected.find("cat", at)) {
      if (expected.compare(at, 8, "catsheet") != 0) expected.replace(at, 3, "kitten");
      at += 3;
    }
    EXPECT_EQ(document->WriteText(), expected);
    const size_t names = row.kind == OfficeKind::Excel ? 1 : 0;
    EXPECT_EQ(document->Leftovers().Of(NotAppliedReason::kSheetName), names);
    EXPECT_EQ(document->Leftovers().Total(), names);
    document->Close(true);
  }
  EXPECT_EQ(JoinMemoryText(office_->Word(Path("w.doc")).stories[OfficeStory::kHeadersFooters]),
            "kitten head kitten\rfoot\r");
  EXPECT_EQ(JoinMemoryText(office_->Word(Path("w.doc")).stories[OfficeStory::kTextBoxes]),
            "box kitten\r");
  EXPECT_EQ(JoinMemoryText(office_->Workbook(Path("b.xls")).comments[1][0].text), "kitten");
  EXPECT_EQ(office_->Workbook(Path("b.xls")).names[0], "catsheet");
  EXPECT_EQ(JoinMemoryText(office_->Presentation(Path("p.ppt")).notes[0][0].text), "n kitten");
}

TEST_F(OfficeStoriesTest, NoOccurrenceSpansTwoStories) {
  MemoryWordData& word = office_->AddWordDocument(Path("w.doc"), "a\r");
  word.stories[OfficeStory::kFootnotes] = SplitMemoryText("b\r");
  bridge_->SetParts(OfficeParts::kAll);
  std::unique_ptr<OfficeDocument> document = Open(Path("w.doc"), OfficeKind::Word);
  EXPECT_EQ(document->WriteText(), "a\r\f\fb\r\f\f\f");
  EXPECT_EQ(testing::ReplaceAll(*document, "\r\f\fb", "x"), 1);
  EXPECT_EQ(document->Leftovers().Of(NotAppliedReason::kSpansParts), 1u);
  EXPECT_EQ(JoinMemoryText(word.stories[OfficeStory::kFootnotes]), "b\r");
}

TEST_F(OfficeStoriesTest, StoriesWithoutTextLeaveNothingToCount) {
  office_->AddWordDocument(Path("w.doc"), "a\r").stories[OfficeStory::kHeadersFooters] =
      SplitMemoryText("\r");
  std::unique_ptr<OfficeDocument> document = Open(Path("w.doc"), OfficeKind::Word);
  EXPECT_EQ(document->OtherStoriesText(), "");
}

}  // namespace
}  // namespace strbatch
