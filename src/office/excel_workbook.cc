#include "office/excel_workbook.h"

#include <algorithm>

#include "office/layout_walk.h"
#include "office/office_save.h"

namespace strbatch {
namespace {

constexpr LayoutSeparators kWorkbookSeparators{'\r', '\n', '\t'};

// The cell of the location, or null when the location lies outside the
// workbook.
std::unique_ptr<ExcelRange> CellAt(ExcelWorkbook& workbook, const OfficeLocation& location) {
  if (location.sheet < 0 || location.sheet >= workbook.WorksheetCount()) return nullptr;
  std::unique_ptr<ExcelRange> used = workbook.Worksheet(location.sheet + 1)->UsedRange();
  if (location.row < 0 || location.row >= used->RowCount() || location.column < 0 ||
      location.column >= used->ColumnCount()) {
    return nullptr;
  }
  return used->Item(location.row + 1, location.column + 1);
}

}  // namespace

std::unique_ptr<ExcelWorkbook> OpenWorkbook(OfficeApplications& applications,
                                            const std::string& path, std::string* whyNot) {
  ExcelApplication* excel = applications.EnsureExcel(whyNot);
  if (excel == nullptr) return nullptr;
  return excel->Open(path, whyNot);
}

std::string CleanCellText(std::string_view text) { return CleanLayoutText(text, true); }

std::string WriteWorkbookText(ExcelWorkbook& workbook, const CodePage& codePage) {
  std::string text;
  const long sheets = workbook.WorksheetCount();
  for (long w = 1; w <= sheets; w++) {
    std::unique_ptr<ExcelWorksheet> sheet = workbook.Worksheet(w);
    sheet->Activate();
    std::unique_ptr<ExcelRange> used = sheet->UsedRange();
    const long rows = used->RowCount();
    const long columns = used->ColumnCount();
    for (long i = 1; i <= rows; i++) {
      for (long j = 1; j <= columns; j++) {
        std::unique_ptr<ExcelRange> cell = used->Item(i, j);
        std::string utf8;
        try {
          utf8 = cell->Characters()->Text();
        } catch (const AutomationError&) {
          utf8 = cell->Text();
        }
        std::string bytes;
        codePage.FromUtf8(utf8, &bytes);
        text += CleanCellText(bytes);
        text.push_back('\t');
      }
      text.push_back('\n');
    }
    text.push_back('\r');
  }
  return text;
}

LocateResult LocateInWorkbookText(std::string_view segment, int64_t offset, int64_t length,
                                  OfficeLocation& location, const CodePage& codePage) {
  const LayoutPosition from{location.sheet, location.row, location.column,
                            location.carriedOffset};
  const size_t begin = static_cast<size_t>(offset);
  const LayoutWalk walk =
      WalkLayout(segment, begin, begin + static_cast<size_t>(length), from,
                 static_cast<size_t>(location.continuationBytes), kWorkbookSeparators, codePage);
  if (walk.started) {
    location.sheet = walk.atStart.outer;
    location.row = walk.atStart.middle;
    location.column = walk.atStart.inner;
    location.start = walk.atStart.characters;
    location.length = walk.length;
  }
  location.continuationBytes = 0;

  LocateResult result;
  result.editable = walk.aligned && !walk.crossed;
  result.after = location;
  result.after.sheet = walk.atEnd.outer;
  result.after.row = walk.atEnd.middle;
  result.after.column = walk.atEnd.inner;
  result.after.carriedOffset = walk.atEnd.characters;
  result.after.continuationBytes = static_cast<int>(walk.overshoot);
  return result;
}

bool WorkbookOccurrenceFits(ExcelWorkbook& workbook, const OfficeLocation& location,
                            std::string_view occurrence, const CodePage& codePage) {
  std::unique_ptr<ExcelRange> cell = CellAt(workbook, location);
  if (!cell) return false;
  std::unique_ptr<ExcelCharacters> characters;
  try {
    if (location.start + location.length > cell->Characters()->Count()) return false;
    characters = cell->Characters(location.start + 1, location.length);
  } catch (const AutomationError&) {
    // A cell whose characters cannot be read stands in the work text with
    // its displayed text; it is not edited.
    return false;
  }
  if (!characters->CanEdit()) return false;
  std::string bytes;
  return codePage.FromUtf8(characters->Text(), &bytes) && CleanCellText(bytes) == occurrence;
}

void EditWorkbookOccurrence(ExcelWorkbook& workbook, OfficeLocation& location,
                            std::string_view replacement, const CodePage& codePage) {
  std::unique_ptr<ExcelRange> cell = CellAt(workbook, location);
  if (!cell) throw AutomationError("the occurrence lies outside the workbook");
  std::unique_ptr<ExcelCharacters> occurrence =
      cell->Characters(location.start + 1, location.length);
  std::unique_ptr<ExcelCharacters> insertion = cell->Characters(location.start + 1, 0);
  const long before = cell->Characters()->Count();
  occurrence->Delete();
  std::string utf8;
  codePage.ToUtf8(replacement, &utf8);
  insertion->Insert(utf8);
  const long after = cell->Characters()->Count();
  // The next segment begins just after the inserted characters, however
  // many the cell made of the replacement.
  const long inserted = after - (before - location.length);
  location.carriedOffset = std::max(0L, location.start + inserted);
  location.continuationBytes = 0;
}

void CloseWorkbook(ExcelWorkbook& workbook, const std::string& path, bool changesExpected,
                   FileRewriter& rewriter) {
  if (changesExpected && workbook.Modified()) {
    SaveDocumentInPlace([&workbook](const std::string& copy) { workbook.SaveCopyAs(copy); }, path,
                        rewriter);
  }
  workbook.Close();
}

}  // namespace strbatch
