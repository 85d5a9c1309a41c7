#include "office/model/excel_workbook.h"

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

class ExcelWorkbookTest : public ::testing::Test {
 protected:
  ExcelWorkbookTest() {
    auto suite = std::make_unique<MemoryOffice>();
    office_ = suite.get();
    bridge_ = MakeOfficeBridge(std::move(suite), DefaultFileRewriter());
    path_ = dir_.Write("b.xls", "original");
    workbook_ = &office_->AddWorkbook(path_);
  }
  std::unique_ptr<OfficeDocument> Open() {
    Message whyNot;
    return bridge_->Open(path_, OfficeKind::Excel, kGbk, &whyNot);
  }
  std::string Cell(size_t sheet, size_t row, size_t column) {
    return JoinMemoryText(workbook_->sheets[sheet][row][column].text);
  }

  testing::ScratchDir dir_;
  MemoryOffice* office_;
  std::unique_ptr<OfficeBridge> bridge_;
  std::string path_;
  MemoryWorkbookData* workbook_;
};

TEST_F(ExcelWorkbookTest, LaysOutCellsRowsAndWorksheets) {
  workbook_->AddSheet({{"a1", "b1"}, {"a2", "中文"}});
  workbook_->AddSheet({{""}});  // a used range of one empty cell
  office_->logCalls = true;
  EXPECT_EQ(Open()->WriteText(), "a1\tb1\t\na2\t" + Gbk("中文") + "\t\n\r\t\n\r");
  // Each worksheet is activated once, as its text is written.
  EXPECT_EQ(std::count(office_->calls.begin(), office_->calls.end(), "Worksheet.Activate 1"), 1);
  EXPECT_EQ(std::count(office_->calls.begin(), office_->calls.end(), "Worksheet.Activate 2"), 1);
}

TEST_F(ExcelWorkbookTest, SeparatorsNeverOccurInsideACell) {
  EXPECT_EQ(CleanCellText("x\r\ny"), "x y");
  EXPECT_EQ(CleanCellText("a\nb\tc\rd"), "a b c d");
  EXPECT_EQ(CleanCellText("\r\r\n"), "  ");
  workbook_->AddSheet({{"two\nlines"}});
  workbook_->sheets[0][0].push_back({SplitMemoryText("ignored"), "shown", true, true});
  EXPECT_EQ(Open()->WriteText(), "two lines\tshown\t\n\r");
}

TEST_F(ExcelWorkbookTest, LocatesAnOccurrenceInItsCell) {
  const std::string text = "a1\tb1\t\na2\tb2\t\n\r";
  OfficeLocation location;
  LocateResult result = LocateInWorkbookText(text, 10, 2, location, kGbk);
  EXPECT_TRUE(result.editable);
  EXPECT_EQ(location.sheet, 0);
  EXPECT_EQ(location.row, 1);
  EXPECT_EQ(location.column, 1);
  EXPECT_EQ(location.start, 0);
  EXPECT_EQ(location.length, 2);

  workbook_->AddSheet({{"a1", "b1"}, {"a2", "b2"}});
  office_->logCalls = true;
  EXPECT_EQ(ReplaceAll(*Open(), "b2", "x"), 1);
  EXPECT_NE(std::find(office_->calls.begin(), office_->calls.end(), "Range.Item 2 2"),
            office_->calls.end());
  EXPECT_EQ(Cell(0, 1, 1), "x");
}

TEST_F(ExcelWorkbookTest, CountsOnInsideACellAndFromZeroInTheNext) {
  workbook_->AddSheet({{"aXbX", "X"}, {"cX", "中X"}});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "X", "YY"), 5);
  EXPECT_EQ(Cell(0, 0, 0), "aYYbYY");
  EXPECT_EQ(Cell(0, 0, 1), "YY");
  EXPECT_EQ(Cell(0, 1, 0), "cYY");
  EXPECT_EQ(Cell(0, 1, 1), "中YY");
}

TEST_F(ExcelWorkbookTest, AnOccurrenceAcrossCellsIsCountedButNoCellChanges) {
  workbook_->AddSheet({{"ab", "cd"}, {"b", "x"}});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "b\tc", "Q"), 1);
  EXPECT_EQ(ReplaceAll(*document, "d\t\nb", "Q"), 1);
  EXPECT_EQ(ReplaceAll(*document, "x", "y"), 1);
  EXPECT_EQ(Cell(0, 0, 0), "ab");
  EXPECT_EQ(Cell(0, 0, 1), "cd");
  EXPECT_EQ(Cell(0, 1, 0), "b");
  EXPECT_EQ(Cell(0, 1, 1), "y");
}

TEST_F(ExcelWorkbookTest, ALineBreakPutIntoACellReadsAsASpace) {
  workbook_->AddSheet({{"a;b", "c"}});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, ";", "\n"), 1);
  EXPECT_EQ(Cell(0, 0, 0), "a\nb");
  // The layout stays intact for the next definition.
  EXPECT_EQ(document->WriteText(), "a b\tc\t\n\r");
  EXPECT_EQ(ReplaceAll(*document, "c", "d"), 1);
  EXPECT_EQ(Cell(0, 0, 1), "d");
}

TEST_F(ExcelWorkbookTest, NumbersAndFormulasAreCountedButNotEdited) {
  workbook_->AddSheet({{"12", "12"}});
  workbook_->sheets[0][0][0].textCell = false;
  EXPECT_EQ(ReplaceAll(*Open(), "12", "13"), 2);
  EXPECT_EQ(Cell(0, 0, 0), "12");
  EXPECT_EQ(Cell(0, 0, 1), "13");
}

TEST_F(ExcelWorkbookTest, FindLocatesButNeverEditsOrSaves) {
  workbook_->AddSheet({{"x"}});
  std::unique_ptr<OfficeDocument> document = Open();
  EXPECT_EQ(ReplaceAll(*document, "x", "y", /*edit=*/false), 1);
  document->Close(false);
  EXPECT_EQ(Cell(0, 0, 0), "x");
  EXPECT_EQ(workbook_->saves, 0);
  EXPECT_EQ(dir_.Read("b.xls"), "original");
}

}  // namespace
}  // namespace strbatch
