// Excel workbooks in Calc. A worksheet's used range is Calc's used area;
// which of its cells hold anything is asked once per worksheet, so empty
// cells cost no call, and text cells, formatted or not, are read in blocks.
// A cell's text portions are read only when the cell is about to be edited.
// Numbers and formulas read as they are displayed and are never edited, nor
// are the locked cells of a protected worksheet or anything in a workbook
// opened read-only. Edits are kept in each cell's mirror and written when
// the workbook is saved.
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/sheet/CellFlags.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangesQuery.hpp>
#include <com/sun/star/sheet/XSheetAnnotation.hpp>
#include <com/sun/star/sheet/XSheetAnnotationShapeSupplier.hpp>
#include <com/sun/star/sheet/XSheetAnnotationsSupplier.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/sheet/XSheetCellCursor.hpp>
#include <com/sun/star/sheet/XSheetCellRanges.hpp>
#include <com/sun/star/sheet/XSpreadsheet.hpp>
#include <com/sun/star/sheet/XSpreadsheetDocument.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/sheet/XUsedAreaCursor.hpp>
#include <com/sun/star/table/CellContentType.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/util/CellProtection.hpp>
#include <com/sun/star/util/XNumberFormatTypes.hpp>
#include <com/sun/star/util/XNumberFormatsSupplier.hpp>
#include <com/sun/star/util/XProtectable.hpp>

#include <algorithm>
#include <cmath>
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
  // Read in a block: the text alone, no portions yet.
  bool fromBlock = false;
  // A cell without formatting or fields: written back whole, in one call.
  bool plain = false;
  // Ready for edits: its portions read, its protection known.
  bool prepared = false;
  long row, column;  // on the worksheet
};

// Which number formats of a workbook are the general format of their
// language, asked once per format.
class GeneralFormats {
 public:
  explicit GeneralFormats(const Reference<css::uno::XInterface>& model) : model_(model) {}

  bool IsGeneral(sal_Int32 key) {
    auto known = general_.find(key);
    if (known != general_.end()) return known->second;
    if (!formats_.is()) {
      formats_ = Reference<css::util::XNumberFormatsSupplier>(model_, UNO_QUERY_THROW)
                     ->getNumberFormats();
    }
    css::lang::Locale locale;
    Reference<css::beans::XPropertySet>(formats_->getByKey(key), UNO_QUERY_THROW)
            ->getPropertyValue("Locale") >>= locale;
    const bool general =
        Reference<css::util::XNumberFormatTypes>(formats_, UNO_QUERY_THROW)
            ->getStandardIndex(locale) == key;
    general_[key] = general;
    return general;
  }

 private:
  Reference<css::uno::XInterface> model_;
  Reference<css::util::XNumberFormats> formats_;
  std::map<sal_Int32, bool> general_;
};

// The text the general format shows for a whole number of fewer than 16
// digits (its digits, a minus before them, zero without one); empty for
// any other number, whose shown text depends on more than its value.
rtl::OUString GeneralWholeNumber(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e15 || value != std::trunc(value)) {
    return rtl::OUString();
  }
  return rtl::OUString::number(static_cast<sal_Int64>(value));
}

// A cell comment: its text is the caption shape's, an edit engine's.
struct CommentState {
  CommentState(std::shared_ptr<bool> edited, bool locked)
      : mirror(kCellStyle, std::move(edited)), locked(locked) {}
  Reference<css::text::XText> text;
  TextMirror mirror;
  bool locked;
  bool read = false;

  TextMirror& Mirror() {
    if (!read || mirror.Stale()) {
      Call("reading a comment", [&] {
        mirror.Clear();
        MirrorEditEngineText(mirror, text, EditLock::kNone, true);
        if (locked) mirror.LockAll(EditLock::kProtected);
      });
      read = true;
    }
    return mirror;
  }
};

class SheetState {
 public:
  SheetState(const Reference<css::sheet::XSpreadsheet>& sheet, std::shared_ptr<bool> edited,
             bool readOnly, std::shared_ptr<GeneralFormats> formats)
      : sheet_(sheet),
        edited_(std::move(edited)),
        readOnly_(readOnly),
        formats_(std::move(formats)) {}

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
      if (filled_.count(key)) Read(*cell);
    }
    return *cell;
  }

  // The cell's mirror, read again after its edits were written.
  TextMirror& Mirror(CellState& cell) {
    if (cell.mirror.Stale()) {
      cell.prepared = false;
      cell.fromBlock = false;
      cell.plain = false;
      Call("reading a cell", [&] { ReadEditText(cell, CellText(cell)); });
    }
    return cell.mirror;
  }

  // Makes a text cell ready for edits: a cell read in a block gets its
  // portions (which must read as the block did, or it stays as it is), a
  // plain one its text object; protection locks it.
  TextMirror& Prepare(CellState& cell) {
    TextMirror& mirror = Mirror(cell);
    if (cell.prepared || !cell.textCell) return mirror;
    Call("reading a cell", [&] {
      if (cell.fromBlock && !cell.plain) {
        // Without fields the text read in the block steps as the cell does;
        // with them their portions tell where they are.
        Reference<css::text::XText> text = CellText(cell);
        Reference<css::text::XTextFieldsSupplier> fields(text, UNO_QUERY);
        if (fields.is() && !fields->getTextFields()->hasElements()) {
          mirror.SetEntryText(0, text);
        } else {
          const std::string block = mirror.Text(0, mirror.Size());
          ReadEditText(cell, text);
          if (mirror.Text(0, mirror.Size()) != block) mirror.LockAll(EditLock::kObject);
        }
      }
      cell.fromBlock = false;
      if (readOnly_ || (sheetProtected_ && CellLocked(cell))) {
        mirror.LockAll(EditLock::kProtected);
      }
    });
    cell.prepared = true;
    return mirror;
  }

  std::string Name() {
    return Call("reading a worksheet's name", [&] {
      return ToUtf8(Reference<css::container::XNamed>(sheet_, UNO_QUERY_THROW)->getName());
    });
  }

  // The comments, by row then column.
  std::vector<std::shared_ptr<CommentState>>& Comments() {
    if (commentsRead_) return comments_;
    Call("reading the comments", [&] {
      Reference<css::sheet::XSheetAnnotationsSupplier> supplier(sheet_, UNO_QUERY_THROW);
      Reference<css::container::XIndexAccess> all(supplier->getAnnotations(), UNO_QUERY_THROW);
      Reference<css::util::XProtectable> protectable(sheet_, UNO_QUERY);
      const bool locked = readOnly_ || (protectable.is() && protectable->isProtected());
      std::vector<std::pair<std::pair<long, long>, std::shared_ptr<CommentState>>> found;
      for (sal_Int32 i = 0; i < all->getCount(); i++) {
        Reference<css::sheet::XSheetAnnotation> annotation(all->getByIndex(i), UNO_QUERY_THROW);
        const css::table::CellAddress at = annotation->getPosition();
        auto state = std::make_shared<CommentState>(edited_, locked);
        state->text.set(Reference<css::sheet::XSheetAnnotationShapeSupplier>(
                            annotation, UNO_QUERY_THROW)->getAnnotationShape(),
                        UNO_QUERY_THROW);
        found.push_back({{at.Row, at.Column}, state});
      }
      std::stable_sort(found.begin(), found.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
      for (auto& comment : found) comments_.push_back(std::move(comment.second));
    });
    commentsRead_ = true;
    return comments_;
  }

  // Plain cells are written back a block of text cells at a time; the
  // others each through their text.
  void Flush() {
    for (const std::shared_ptr<CommentState>& comment : comments_) {
      if (comment->mirror.Pending()) comment->mirror.Flush();
    }
    for (const css::table::CellRangeAddress& range : textRanges_) WriteBlock(range);
    for (auto& entry : cells_) {
      CellState& cell = *entry.second;
      if (!cell.mirror.Pending()) continue;
      if (cell.plain && !cell.mirror.HasEntryText(0)) cell.mirror.SetEntryText(0, CellText(cell));
      cell.mirror.Flush();
    }
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
      formatted_ = cells(flags::FORMATTED);
      for (const css::table::CellRangeAddress& range :
           query->queryContentCells(flags::STRING)->getRangeAddresses()) {
        Reference<css::sheet::XCellRangeData> block(
            sheet_->getCellRangeByPosition(range.StartColumn, range.StartRow, range.EndColumn,
                                           range.EndRow),
            UNO_QUERY_THROW);
        const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> rows = block->getDataArray();
        for (sal_Int32 r = 0; r < rows.getLength(); r++) {
          for (sal_Int32 c = 0; c < rows[r].getLength(); c++) {
            rtl::OUString text;
            if (rows[r][c] >>= text) blockText_[{range.StartRow + r, range.StartColumn + c}] = text;
          }
        }
        textRanges_.push_back(range);
      }
      ReadNumbers(query->queryContentCells(flags::VALUE)->getRangeAddresses());
      Reference<css::util::XProtectable> protectable(sheet_, UNO_QUERY);
      sheetProtected_ = protectable.is() && protectable->isProtected();
    });
    scanned_ = true;
  }

  // Number cells show their value through their number format, which only
  // LibreOffice applies: each is asked for its text, three calls a cell.
  // A range of them in one general format is read in a block instead, its
  // whole numbers taken as they show; only its other numbers are asked.
  void ReadNumbers(const css::uno::Sequence<css::table::CellRangeAddress>& ranges) {
    for (const css::table::CellRangeAddress& range : ranges) {
      Reference<css::table::XCellRange> cells = sheet_->getCellRangeByPosition(
          range.StartColumn, range.StartRow, range.EndColumn, range.EndRow);
      if (Reference<css::beans::XPropertyState>(cells, UNO_QUERY_THROW)
              ->getPropertyState("NumberFormat") == css::beans::PropertyState_AMBIGUOUS_VALUE) {
        continue;
      }
      sal_Int32 key = 0;
      if (!(Reference<css::beans::XPropertySet>(cells, UNO_QUERY_THROW)
                ->getPropertyValue("NumberFormat") >>= key) ||
          !formats_->IsGeneral(key)) {
        continue;
      }
      const css::uno::Sequence<css::uno::Sequence<css::uno::Any>> rows =
          Reference<css::sheet::XCellRangeData>(cells, UNO_QUERY_THROW)->getDataArray();
      for (sal_Int32 r = 0; r < rows.getLength(); r++) {
        for (sal_Int32 c = 0; c < rows[r].getLength(); c++) {
          double value = 0;
          if (!(rows[r][c] >>= value)) continue;
          const rtl::OUString shown = GeneralWholeNumber(value);
          if (!shown.isEmpty()) numberText_[{range.StartRow + r, range.StartColumn + c}] = shown;
        }
      }
    }
  }

  // Writes a range of text cells whole when its edited cells are all plain
  // ones: the others in it are written as they were read.
  void WriteBlock(const css::table::CellRangeAddress& range) {
    // Locked cells of a protected worksheet are not written, not even with
    // their own text.
    if (sheetProtected_) return;
    bool edited = false;
    for (long row = range.StartRow; row <= range.EndRow; row++) {
      for (long column = range.StartColumn; column <= range.EndColumn; column++) {
        auto cell = cells_.find({row, column});
        if (cell == cells_.end()) {
          if (!blockText_.count({row, column})) return;
          continue;
        }
        if (!cell->second->plain || cell->second->mirror.Stale()) return;
        edited = edited || cell->second->mirror.Pending();
      }
    }
    if (!edited) return;
    css::uno::Sequence<css::uno::Sequence<css::uno::Any>> rows(range.EndRow - range.StartRow + 1);
    for (sal_Int32 r = 0; r < rows.getLength(); r++) {
      css::uno::Sequence<css::uno::Any> row(range.EndColumn - range.StartColumn + 1);
      for (sal_Int32 c = 0; c < row.getLength(); c++) {
        const std::pair<long, long> key(range.StartRow + r, range.StartColumn + c);
        auto cell = cells_.find(key);
        if (cell != cells_.end()) {
          const TextMirror& mirror = cell->second->mirror;
          row.getArray()[c] <<= FromUtf8(mirror.Text(0, mirror.Size()));
        } else {
          row.getArray()[c] <<= blockText_.at(key);
        }
      }
      rows.getArray()[r] = row;
    }
    Reference<css::sheet::XCellRangeData>(
        sheet_->getCellRangeByPosition(range.StartColumn, range.StartRow, range.EndColumn,
                                       range.EndRow),
        UNO_QUERY_THROW)
        ->setDataArray(rows);
    for (long row = range.StartRow; row <= range.EndRow; row++) {
      for (long column = range.StartColumn; column <= range.EndColumn; column++) {
        auto cell = cells_.find({row, column});
        if (cell != cells_.end()) cell->second->mirror.MarkWritten();
      }
    }
  }

  Reference<css::text::XText> CellText(const CellState& cell) const {
    return Reference<css::text::XText>(
        sheet_->getCellByPosition(static_cast<sal_Int32>(cell.column),
                                  static_cast<sal_Int32>(cell.row)),
        UNO_QUERY_THROW);
  }

  bool CellLocked(const CellState& cell) const {
    Reference<css::beans::XPropertySet> properties(CellText(cell), UNO_QUERY_THROW);
    css::util::CellProtection protection;
    properties->getPropertyValue("CellProtection") >>= protection;
    return protection.IsLocked;
  }

  // A text cell's paragraphs and portions, fields as they show.
  static void ReadEditText(CellState& cell, const Reference<css::text::XText>& text) {
    cell.mirror.Clear();
    MirrorEditEngineText(cell.mirror, text, EditLock::kNone, true);
  }

  void Read(CellState& state) {
    const std::pair<long, long> key(state.row, state.column);
    auto block = blockText_.find(key);
    if (block != blockText_.end()) {
      state.textCell = true;
      state.fromBlock = true;
      state.plain = !formatted_.count(key);
      const uint32_t entry = state.mirror.AddEntry(nullptr, nullptr);
      if (state.plain) {
        state.mirror.AddText(entry, block->second, EditLock::kNone);
        state.mirror.SetWhole(entry);
      } else {
        state.mirror.AddMixedText(entry, block->second);
      }
      return;
    }
    // Not a text cell: a number or a formula, read as it shows, never
    // edited.
    auto number = numberText_.find(key);
    if (number != numberText_.end()) {
      const uint32_t entry = state.mirror.AddEntry(nullptr, nullptr);
      state.mirror.AddText(entry, number->second, EditLock::kComputed);
      return;
    }
    Call("reading a cell", [&] {
      Reference<css::text::XText> text = CellText(state);
      const uint32_t entry = state.mirror.AddEntry(text, nullptr);
      state.mirror.AddText(entry, text->getString(), EditLock::kComputed);
    });
  }

  Reference<css::sheet::XSpreadsheet> sheet_;
  std::shared_ptr<bool> edited_;
  bool readOnly_;
  std::shared_ptr<GeneralFormats> formats_;
  bool scanned_ = false;
  bool sheetProtected_ = false;
  css::table::CellRangeAddress used_;
  std::set<std::pair<long, long>> filled_;
  std::set<std::pair<long, long>> formatted_;
  std::map<std::pair<long, long>, rtl::OUString> blockText_;  // text cells as read
  std::map<std::pair<long, long>, rtl::OUString> numberText_;  // number cells read in a block
  std::vector<css::table::CellRangeAddress> textRanges_;
  std::map<std::pair<long, long>, std::unique_ptr<CellState>> cells_;
  bool commentsRead_ = false;
  std::vector<std::shared_ptr<CommentState>> comments_;
};

// Characters [start, start + length) of a text mirror (length -1: to its
// end), a cell's or a comment's.
class MirrorCharacters : public ExcelCharacters {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): start then length, as the model's
  MirrorCharacters(long start, long length) : start_(start), length_(length) {}
  std::string Text() override { return Mirror().Text(From(), To()); }
  long Count() override { return static_cast<long>(To() - From()); }
  void Delete() override {
    if (Lock() != EditLock::kNone) {
      throw AutomationError("LibreOffice: these characters cannot be deleted");
    }
    Mirror().Delete(From(), To());
  }
  void Insert(std::string_view text) override {
    if (!Insertable()) throw AutomationError("LibreOffice: no text can be inserted here");
    Mirror().Insert(From(), text);
  }

 protected:
  virtual TextMirror& Mirror() = 0;
  // Whether text may be inserted at the start.
  virtual bool Insertable() = 0;
  size_t From() {
    return std::min(static_cast<size_t>(std::max(start_, 0L)), Mirror().Size());
  }
  size_t To() {
    if (length_ < 0) return Mirror().Size();
    return std::min(From() + static_cast<size_t>(length_), Mirror().Size());
  }

 private:
  long start_;
  long length_;
};

class CommentCharacters : public MirrorCharacters {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): start then length, as the model's
  CommentCharacters(std::shared_ptr<CommentState> comment, long start, long length)
      : MirrorCharacters(start, length), comment_(std::move(comment)) {}
  EditLock Lock() override { return Mirror().Lock(From(), To()); }

 private:
  TextMirror& Mirror() override { return comment_->Mirror(); }
  bool Insertable() override { return Mirror().Lock(From(), From()) == EditLock::kNone; }
  std::shared_ptr<CommentState> comment_;
};

// A comment as a range of one cell.
class CommentRange : public ExcelRange {
 public:
  explicit CommentRange(std::shared_ptr<CommentState> comment) : comment_(std::move(comment)) {}
  long RowCount() override { return 1; }
  long ColumnCount() override { return 1; }
  std::unique_ptr<ExcelRange> Item(long, long) override {
    throw AutomationError("LibreOffice: a comment has no cells");
  }
  std::unique_ptr<ExcelCharacters> Characters() override {
    return std::make_unique<CommentCharacters>(comment_, 0, -1);
  }
  std::unique_ptr<ExcelCharacters> Characters(long start, long length) override {
    return std::make_unique<CommentCharacters>(comment_, start - 1, std::max(length, 0L));
  }
  std::string Text() override {
    TextMirror& mirror = comment_->Mirror();
    return mirror.Text(0, mirror.Size());
  }

 private:
  std::shared_ptr<CommentState> comment_;
};

class CalcCharacters : public MirrorCharacters {
 public:
  // NOLINTNEXTLINE(bugprone-easily-swappable-parameters): start then length, as the model's
  CalcCharacters(std::shared_ptr<SheetState> sheet, CellState& cell, long start, long length)
      : MirrorCharacters(start, length), sheet_(std::move(sheet)), cell_(cell) {}
  EditLock Lock() override {
    if (!cell_.textCell) return EditLock::kComputed;
    return sheet_->Prepare(cell_).Lock(From(), To());
  }

 private:
  TextMirror& Mirror() override { return sheet_->Mirror(cell_); }
  bool Insertable() override {
    return cell_.textCell && sheet_->Prepare(cell_).Lock(From(), From()) == EditLock::kNone;
  }
  std::shared_ptr<SheetState> sheet_;
  CellState& cell_;
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
  std::string Text() override {
    TextMirror& mirror = sheet_->Mirror(Cell());
    return mirror.Text(0, mirror.Size());
  }

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
  std::string Name() override { return sheet_->Name(); }
  long CommentCount() override { return static_cast<long>(sheet_->Comments().size()); }
  std::unique_ptr<ExcelRange> Comment(long index) override {
    std::vector<std::shared_ptr<CommentState>>& comments = sheet_->Comments();
    if (index < 1 || index > static_cast<long>(comments.size())) {
      throw AutomationError("LibreOffice: comment " + std::to_string(index) + " is missing");
    }
    return std::make_unique<CommentRange>(comments[static_cast<size_t>(index - 1)]);
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
    readOnly_ = loaded_->ReadOnly();
  }
  long WorksheetCount() override { return static_cast<long>(states_.size()); }
  std::unique_ptr<ExcelWorksheet> Worksheet(long index) override {
    return std::make_unique<CalcWorksheet>(LazyItem(
        states_, index, "worksheet", [&](std::shared_ptr<SheetState>& state, sal_Int32 i) {
          Call("reading a worksheet", [&] {
            state = std::make_shared<SheetState>(
                Reference<css::sheet::XSpreadsheet>(sheets_->getByIndex(i), UNO_QUERY_THROW),
                loaded_->Edited(), readOnly_, formats_);
          });
        }));
  }
 protected:
  void FlushEdits() override {
    Call("writing the edits", [&] {
      for (const std::shared_ptr<SheetState>& sheet : states_) {
        if (sheet) sheet->Flush();
      }
    });
  }

 private:

  Reference<css::container::XIndexAccess> sheets_;
  std::shared_ptr<GeneralFormats> formats_ = std::make_shared<GeneralFormats>(loaded_->Model());
  std::vector<std::shared_ptr<SheetState>> states_;
  bool readOnly_ = false;
};

}  // namespace

std::unique_ptr<ExcelApplication> LibreOfficeSuite::StartExcel(Message* whyNot) {
  return Start<ExcelApplication, CalcWorkbook>(kCalc, whyNot);
}

}  // namespace strbatch::uno
