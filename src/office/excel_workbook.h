// Excel workbooks: the text of every cell of every worksheet's used range
// is the work text, laid out with a TAB after each cell, an LF after each
// row and a CR after each worksheet, so that the position of any byte tells
// its worksheet, row, column and character in the cell. Each occurrence is
// traced back through these separators and replaced inside its cell. Text
// handed to and from these functions is in the process code page.
#ifndef STRBATCH_OFFICE_EXCEL_WORKBOOK_H_
#define STRBATCH_OFFICE_EXCEL_WORKBOOK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/office_applications.h"
#include "office/office_location.h"
#include "office/office_model.h"

namespace strbatch {

// Opens the workbook in the Excel instance of the run (started when
// missing); null when there is none or the file is not a workbook it can
// save back.
std::unique_ptr<ExcelWorkbook> OpenWorkbook(OfficeApplications& applications,
                                            const std::string& path, std::string* whyNot);

// A cell's text as the layout holds it: a CR LF pair becomes one space, every
// other CR, LF and TAB a space, so that the separators never occur inside.
std::string CleanCellText(std::string_view text);

// The layout of all worksheets. A cell whose characters cannot be read is
// written with the text it displays.
std::string WriteWorkbookText(ExcelWorkbook& workbook, const CodePage& codePage);

// Sets sheet, row, column, start and length of the occurrence at
// [offset, offset + length) of segment, counting on from the location.
LocateResult LocateInWorkbookText(std::string_view segment, int64_t offset, int64_t length,
                                  OfficeLocation& location, const CodePage& codePage);

// True when the cell at the location holds the occurrence's characters there,
// as text that can be edited.
bool WorkbookOccurrenceFits(ExcelWorkbook& workbook, const OfficeLocation& location,
                            std::string_view occurrence, const CodePage& codePage);

// Replaces the occurrence inside its cell and sets carriedOffset to the
// character just after the inserted text.
void EditWorkbookOccurrence(ExcelWorkbook& workbook, OfficeLocation& location,
                            std::string_view replacement, const CodePage& codePage);

void CloseWorkbook(ExcelWorkbook& workbook, const std::string& path, bool changesExpected,
                   FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_EXCEL_WORKBOOK_H_
