#include "office/model/excel_workbook.h"

#include <algorithm>
#include <vector>

namespace strbatch {
namespace {

// The cell or comment of the location, or null when the location lies
// outside the workbook or in a sheet's name.
std::unique_ptr<ExcelRange> CellAt(ExcelWorkbook& workbook, const OfficeLocation& location) {
  if (location.sheet < 0 || location.sheet >= workbook.WorksheetCount()) return nullptr;
  std::unique_ptr<ExcelWorksheet> sheet = workbook.Worksheet(location.sheet + 1);
  if (location.story != 0) {
    const std::vector<OfficeStory> stories = FurtherStories(OfficeKind::Excel);
    if (location.story < 0 || location.story > static_cast<long>(stories.size()) ||
        stories[static_cast<size_t>(location.story - 1)] != OfficeStory::kCellComments ||
        location.row != 0 || location.column < 0 || location.column >= sheet->CommentCount()) {
      return nullptr;
    }
    return sheet->Comment(location.column + 1);
  }
  std::unique_ptr<ExcelRange> used = sheet->UsedRange();
  if (location.row < 0 || location.row >= used->RowCount() || location.column < 0 ||
      location.column >= used->ColumnCount()) {
    return nullptr;
  }
  return used->Item(location.row + 1, location.column + 1);
}

}  // namespace

std::string CleanCellText(std::string_view text) {
  return CleanLayoutText(text, WorkbookSteps::kLayout.text);
}

OfficeText WriteWorkbookText(ExcelWorkbook& workbook, const CodePage& codePage) {
  const TextLayout& layout = WorkbookSteps::kLayout.text;
  OfficeText text;
  AppendLayoutLevel(text.bytes, workbook.WorksheetCount(), layout.outer, [&](long w) {
    std::unique_ptr<ExcelWorksheet> sheet = workbook.Worksheet(w);
    sheet->Activate();
    std::unique_ptr<ExcelRange> used = sheet->UsedRange();
    const long rows = used->RowCount();
    const long columns = used->ColumnCount();
    AppendLayoutLevel(text.bytes, rows, layout.middle, [&](long i) {
      AppendLayoutLevel(text.bytes, columns, layout.inner, [&](long j) {
        std::unique_ptr<ExcelRange> cell = used->Item(i, j);
        std::string utf8;
        try {
          utf8 = cell->Characters()->Text();
        } catch (const AutomationError&) {
          utf8 = cell->Text();
        }
        AppendLayoutText(text, utf8, layout, codePage);
      });
    });
  });
  return text;
}

OfficeText WriteWorkbookStory(ExcelWorkbook& workbook, OfficeStory story,
                              const CodePage& codePage) {
  const TextLayout& layout = WorkbookSteps::kLayout.text;
  OfficeText text;
  AppendLayoutLevel(text.bytes, workbook.WorksheetCount(), layout.outer, [&](long w) {
    std::unique_ptr<ExcelWorksheet> sheet = workbook.Worksheet(w);
    if (story == OfficeStory::kSheetNames) {
      AppendLayoutText(text, sheet->Name(), layout, codePage);
    } else if (story == OfficeStory::kCellComments) {
      AppendLayoutLevel(text.bytes, sheet->CommentCount(), layout.inner, [&](long c) {
        AppendLayoutText(text, sheet->Comment(c)->Characters()->Text(), layout, codePage);
      });
    }
  });
  return text;
}

std::unique_ptr<ExcelCharacters> WorkbookSteps::OccurrenceCharacters(
    ExcelWorkbook& workbook, const OfficeLocation& location) {
  std::unique_ptr<ExcelRange> cell = CellAt(workbook, location);
  if (!cell) return nullptr;
  try {
    if (location.start + location.length > cell->Characters()->Count()) return nullptr;
    return cell->Characters(location.start + 1, location.length);
  } catch (const AutomationError&) {
    // A cell whose characters cannot be read stands in the work text with
    // its displayed text; it is not edited.
    return nullptr;
  }
}

long WorkbookSteps::ReplaceCharacters(ExcelWorkbook& workbook, const OfficeLocation& location,
                                      std::string_view utf8) {
  std::unique_ptr<ExcelRange> cell = CellAt(workbook, location);
  if (!cell) throw AutomationError("the occurrence lies outside the workbook");
  std::unique_ptr<ExcelCharacters> occurrence =
      cell->Characters(location.start + 1, location.length);
  std::unique_ptr<ExcelCharacters> insertion = cell->Characters(location.start + 1, 0);
  const long before = cell->Characters()->Count();
  occurrence->Delete();
  insertion->Insert(utf8);
  const long after = cell->Characters()->Count();
  // The next segment begins just after the inserted characters, however
  // many the cell made of the replacement.
  const long inserted = after - (before - location.length);
  return std::max(0L, location.start + inserted);
}

}  // namespace strbatch
