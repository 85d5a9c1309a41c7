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
                                       std::string* whyNot = nullptr) {
    std::string ignored;
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
  std::string whyNot;
  EXPECT_FALSE(Open("a.doc", OfficeKind::Word, &whyNot));
  EXPECT_EQ(whyNot, "no word processor");
  whyNot.clear();
  EXPECT_FALSE(Open("a.doc", OfficeKind::Word, &whyNot));
  EXPECT_EQ(whyNot, "");
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

}  // namespace
}  // namespace strbatch
