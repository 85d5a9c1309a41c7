#include "office/office_bridge.h"

#include <gtest/gtest.h>

#include "memory_office.h"
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
    bridge_ = MakeOfficeBridge(std::move(suite));
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

}  // namespace
}  // namespace strbatch
