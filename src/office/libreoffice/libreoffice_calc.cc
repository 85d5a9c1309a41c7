// Excel workbooks in Calc. A worksheet's used range is Calc's used area;
// which of its cells hold anything is asked once per worksheet, so empty
// cells cost no call, and plain text cells are read in blocks. Cells with
// formatted text (fields, several lines, mixed formatting) are read through
// their paragraphs. Text cells are edited through their text; numbers and
// formulas read as they are displayed and are never edited.
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>

#include <algorithm>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "libreoffice_suite.h"
#include "text_mirror.h"

namespace strbatch::uno {
namespace {

constexpr DocumentKind kCalc{"an Excel", "com.sun.star.sheet.SpreadsheetDocument",
                             "MS Excel|Calc MS Excel|Calc Office Open XML|calc8"};
constexpr TextMirror::Style kCellStyle{"\n", "\n", true, false};

struct CellState {
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): row then column, as everywhere
  CellState(std::shared_ptr<bool> edited, long row, long column)
      : mirror(kCellStyle, std::move(edited)), row(row), column(column) {}
  TextMirror mirror;
  bool textCell = false;
  // A plain text cell (no fields, one line, one format) is edited in the
  // mirror and written back whole: one call instead of a cursor's many.
  bool plain = false;
  bool dirty = false;  // edited in the mirror, not written yet
  long row, column;    // on the worksheet
};

class SheetState {
 public:
  SheetState(const Reference<css::sheet::XSpreadsheet>& sheet, std::shared_ptr<bool> edited)
      : sheet_(sheet), edited_(std::move(edited)) {}

  long Rows() {
    Scan();
    return used_.EndRow - used_.StartRow + 1;
  }
  long Columns() {
    Scan();
    return used_.EndColumn - used_.StartColumn + 1;
  }

  // The cell at a 0-based row and column of the used range.
  CellState& Cell(long row, long column) {
    Scan();
    const std::pair<long, long> key(used_.StartRow + row, used_.StartColumn + column);
    std::unique_ptr<CellState>& cell = cells_[key];
    if (!cell) {
      cell = std::make_unique<CellState>(edited_, key.first, key.second);
      if (filled_.count(key)) Read(*cell, key.first, key.second);
    }
    return *cell;
  }

  // Writes a plain cell's edited text.
  void Write(CellState& cell) {
    PrepareEdit(cell);
    Call("writing a cell", [&] {
      cell.mirror.ParagraphText(0)->setString(FromUtf8(cell.mirror.Text(0, cell.mirror.Size())));
    });
    cell.dirty = false;
  }
  void WritePending() {
    for (auto& entry : cells_) {
      if (entry.second && entry.second->dirty) Write(*entry.second);
    }
  }

  // A cell read in bulk gets its text object when it is first edited.
  void PrepareEdit(CellState& cell) {
    if (cell.mirror.HasParagraphText(0)) return;
    Call("reading a cell", [&] {
      cell.mirror.SetParagraphText(
          0, Reference<css::text::XText>(sheet_->getCellByPosition(
                                             static_cast<sal_Int32>(cell.column),
                                             static_cast<sal_Int32>(cell.row)),
                                         UNO_QUERY_THROW));
    });
  }

 private:
  void Scan() {
    if (scanned_) return;
    Call("reading a worksheet", [&] {
      Reference<css::sheet::XSheetCellCursor> cursor = sheet_->createCursor();
      Reference<css::sheet::XUsedAreaCursor> area(cursor, UNO_QUERY_THROW);
      area->gotoStartOfUsedArea(false);
      area->gotoEndOfUsedArea(true);
      used_ = Reference<css::sheet::XCellRangeAddressable>(cursor, UNO_QUERY_THROW)
                  ->getRangeAddress();
      Reference<css::sheet::XCellRangesQuery> query(cursor, UNO_QUERY_THROW);
      namespace flags = css::sheet::CellFlags;
      const auto cells = [&](sal_Int16 which) {
        std::set<std::pair<long, long>> found;
        for (const css::table::CellRangeAddress& range :
             query->queryContentCells(which)->getRangeAddresses()) {
          for (long row = range.StartRow; row <= range.EndRow; row++) {
            for (long column = range.StartColumn; column <= range.EndColumn; column++) {
              found.insert({row, column});
            }
          }
        }
        return found;
      };
      filled_ = cells(flags::VALUE | flags::DATETIME | flags::STRING | flags::FORMULA);
      const std::set<std::pair<long, long>> formatted = cells(flags::FORMATTED);
      for (const css::table::CellRangeAddress& range :
           query->queryContentCells(flags::STRING)->getRangeAddresses()) {
        Reference<css::sheet::XCellRangeData> block(
            sheet_->getCellRangeByPosition(range.StartColumn, range.StartRow, range.EndColumn,
                                           range.EndRow),
            UNO_QUERY_THROW);
        const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> rows = block->getDataArray();
        for (sal_Int32 r = 0; r < rows.getLength(); r++) {
          for (sal_Int32 c = 0; c < rows[r].getLength(); c++) {
            const std::pair<long, long> key(range.StartRow + r, range.StartColumn + c);
            rtl::OUString text;
            if (!formatted.count(key) && (rows[r][c] >>= text)) plain_[key] = text;
          }
        }
      }
    });
    scanned_ = true;
  }

  void Read(CellState& state, long row, long column) {
    auto plain = plain_.find({row, column});
    if (plain != plain_.end()) {
      state.textCell = true;
      state.plain = true;
      const uint32_t paragraph =
          state.mirror.AddParagraph(Reference<css::text::XText>(), nullptr);
      state.mirror.AddText(paragraph, plain->second, EditLock::kNone);
      plain_.erase(plain);
      return;
    }
    Call("reading a cell", [&] {
      Reference<css::table::XCell> cell =
          sheet_->getCellByPosition(static_cast<sal_Int32>(column), static_cast<sal_Int32>(row));
      Reference<css::text::XText> text(cell, UNO_QUERY_THROW);
      state.textCell = cell->getType() == css::table::CellContentType_TEXT;
      if (state.textCell) {
        MirrorEditEngineText(state.mirror, text, EditLock::kNone);
      } else {
        // A number or a formula: what it shows, never edited.
        const uint32_t paragraph = state.mirror.AddParagraph(text, nullptr);
        state.mirror.AddText(paragraph, text->getString(), EditLock::kComputed);
      }
    });
  }

  Reference<css::sheet::XSpreadsheet> sheet_;
  std::shared_ptr<bool> edited_;
  bool scanned_ = false;
  css::table::CellRangeAddress used_;
  std::set<std::pair<long, long>> filled_;
  std::map<std::pair<long, long>, rtl::OUString> plain_;  // plain text cells not read yet
  std::map<std::pair<long, long>, std::unique_ptr<CellState>> cells_;
};

class CalcCharacters : public ExcelCharacters {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): start then length, as the model's
  CalcCharacters(std::shared_ptr<SheetState> sheet, CellState& cell, long start, long length)
      : sheet_(std::move(sheet)), cell_(cell), start_(start), length_(length) {}
  std::string Text() override { return cell_.mirror.Text(From(), To()); }
  long Count() override { return static_cast<long>(To() - From()); }
  void Delete() override {
    if (Lock() != EditLock::kNone) {
      throw AutomationError("LibreOffice: these characters cannot be deleted");
    }
    if (cell_.plain) {
      // Written with the insertion that follows, or before the workbook is
      // saved.
      cell_.mirror.DeleteLocal(From(), To());
      cell_.dirty = true;
      return;
    }
    sheet_->PrepareEdit(cell_);
    cell_.mirror.Delete(From(), To());
  }
  void Insert(std::string_view text) override {
    if (!cell_.textCell || cell_.mirror.Lock(From(), From()) != EditLock::kNone) {
      throw AutomationError("LibreOffice: no text can be inserted here");
    }
    if (cell_.plain) {
      cell_.mirror.InsertLocal(From(), text);
      sheet_->Write(cell_);
      return;
    }
    sheet_->PrepareEdit(cell_);
    cell_.mirror.Insert(From(), text);
  }
  EditLock Lock() override {
    return cell_.textCell ? cell_.mirror.Lock(From(), To()) : EditLock::kComputed;
  }

 private:
  size_t From() const {
    return std::min(static_cast<size_t>(std::max(start_, 0L)), cell_.mirror.Size());
  }
  size_t To() const {
    if (length_ < 0) return cell_.mirror.Size();
    return std::min(From() + static_cast<size_t>(length_), cell_.mirror.Size());
  }
  std::shared_ptr<SheetState> sheet_;
  CellState& cell_;
  long start_;
  long length_;  // -1: to the end
};

class CalcRange : public ExcelRange {
 public:
  // The used range (cell null) or one of its cells.
  CalcRange(std::shared_ptr<SheetState> sheet, CellState* cell)
      : sheet_(std::move(sheet)), cell_(cell) {}
  long RowCount() override { return cell_ ? 1 : sheet_->Rows(); }
  long ColumnCount() override { return cell_ ? 1 : sheet_->Columns(); }
  std::unique_ptr<ExcelRange> Item(long row, long column) override {
    if (cell_ || row < 1 || column < 1 || row > sheet_->Rows() || column > sheet_->Columns()) {
      throw AutomationError("LibreOffice: the cell lies outside the used range");
    }
    return std::make_unique<CalcRange>(sheet_, &sheet_->Cell(row - 1, column - 1));
  }
  std::unique_ptr<ExcelCharacters> Characters() override {
    return std::make_unique<CalcCharacters>(sheet_, Cell(), 0, -1);
  }
  std::unique_ptr<ExcelCharacters> Characters(long start, long length) override {
    return std::make_unique<CalcCharacters>(sheet_, Cell(), start - 1, std::max(length, 0L));
  }
  std::string Text() override { return Cell().mirror.Text(0, Cell().mirror.Size()); }

 private:
  CellState& Cell() {
    if (!cell_) throw AutomationError("LibreOffice: not a cell");
    return *cell_;
  }
  std::shared_ptr<SheetState> sheet_;
  CellState* cell_;
};

class CalcWorksheet : public ExcelWorksheet {
 public:
  explicit CalcWorksheet(std::shared_ptr<SheetState> sheet) : sheet_(std::move(sheet)) {}
  // Making a worksheet the active one would change what the saved file
  // opens on; reading a hidden document needs no active sheet.
  void Activate() override {}
  std::unique_ptr<ExcelRange> UsedRange() override {
    return std::make_unique<CalcRange>(sheet_, nullptr);
  }

 private:
  std::shared_ptr<SheetState> sheet_;
};

class CalcWorkbook : public SuiteDocument<ExcelWorkbook> {
 public:
  explicit CalcWorkbook(std::unique_ptr<LoadedDocument> loaded) : SuiteDocument(std::move(loaded)) {
    Call("reading the worksheets", [&] {
      Reference<css::sheet::XSpreadsheetDocument> document(loaded_->Model(), UNO_QUERY_THROW);
      sheets_.set(document->getSheets(), UNO_QUERY_THROW);
      states_.resize(static_cast<size_t>(sheets_->getCount()));
    });
  }
  long WorksheetCount() override { return static_cast<long>(states_.size()); }
  std::unique_ptr<ExcelWorksheet> Worksheet(long index) override {
    return std::make_unique<CalcWorksheet>(LazyItem(
        states_, index, "worksheet", [&](std::shared_ptr<SheetState>& state, sal_Int32 i) {
          Call("reading a worksheet", [&] {
            state = std::make_shared<SheetState>(
                Reference<css::sheet::XSpreadsheet>(sheets_->getByIndex(i), UNO_QUERY_THROW),
                loaded_->Edited());
          });
        }));
  }
  // Plain cells edited in their mirrors are written before the workbook
  // tells whether it changed or is saved.
  bool Modified() override {
    WritePending();
    return SuiteDocument::Modified();
  }
  void SaveCopyAs(const std::string& path) override {
    WritePending();
    SuiteDocument::SaveCopyAs(path);
  }

 private:
  void WritePending() {
    for (const std::shared_ptr<SheetState>& sheet : states_) {
      if (sheet) sheet->WritePending();
    }
  }

  Reference<css::container::XIndexAccess> sheets_;
  std::vector<std::shared_ptr<SheetState>> states_;
};

}  // namespace

std::unique_ptr<ExcelApplication> LibreOfficeSuite::StartExcel(std::string* whyNot) {
  return Start<ExcelApplication, CalcWorkbook>(kCalc, whyNot);
}

}  // namespace strbatch::uno
