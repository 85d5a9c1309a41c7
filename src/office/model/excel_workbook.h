// Excel workbooks: the text of every cell of every worksheet's used range
// is the work text, laid out with a TAB after each cell, an LF after each
// row and a CR after each worksheet, so that the position of any byte tells
// its worksheet, row, column and character in the cell. Each occurrence is
// traced back through these separators and replaced inside its cell. Text
// handed to and from these functions is in the code page the run opened the
// workbook with.
#ifndef STRBATCH_OFFICE_MODEL_EXCEL_WORKBOOK_H_
#define STRBATCH_OFFICE_MODEL_EXCEL_WORKBOOK_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/code_page.h"
#include "office/model/office_applications.h"
#include "office/model/office_location.h"
#include "office/model/office_model.h"
#include "office/model/office_occurrence.h"
#include "office/office_bridge.h"

namespace strbatch {

// A cell's text as the layout holds it: a CR LF pair becomes one space, every
// other CR, LF and TAB a space, so that the separators never occur inside.
std::string CleanCellText(std::string_view text);

// The layout of all worksheets. A cell whose characters cannot be read is
// written with the text it displays.
OfficeText WriteWorkbookText(ExcelWorkbook& workbook, const CodePage& codePage);

// A further story of all worksheets: their cell comments, or their names.
OfficeText WriteWorkbookStory(ExcelWorkbook& workbook, OfficeStory story,
                               const CodePage& codePage);

// Workbooks for the shared occurrence steps: a location's sheet, row and
// column are the layout's levels, and its start counts in the cell.
struct WorkbookSteps {
  using Document = ExcelWorkbook;
  static constexpr OfficeKind kKind = OfficeKind::Excel;
  static constexpr OfficeLayout kLayout{
      .text = kWorkbookTextLayout,
      .outer = &OfficeLocation::sheet,
      .middle = &OfficeLocation::row,
      .inner = &OfficeLocation::column,
  };
  static ExcelApplication* Application(OfficeApplications& applications, Message* whyNot) {
    return applications.EnsureExcel(whyNot);
  }
  static constexpr auto WriteText = WriteWorkbookText;
  static constexpr auto WriteStory = WriteWorkbookStory;
  // The occurrence's characters in its cell or comment (in a comment's
  // story, the location's sheet is its worksheet and its column the
  // comment); null when it does not hold them all, its characters cannot
  // be read, or it lies in a sheet's name.
  static std::unique_ptr<ExcelCharacters> OccurrenceCharacters(ExcelWorkbook& workbook,
                                                               const OfficeLocation& location);
  // Deletes the occurrence and inserts the text at its place; gives the
  // position after the characters the cell made of the text.
  static long ReplaceCharacters(ExcelWorkbook& workbook, const OfficeLocation& location,
                                std::string_view utf8);
};

// The shared steps under their workbook names: sheet, row, column, start
// and length of an occurrence, counted on from the location; its
// replacement inside its cell.
inline constexpr auto& OpenWorkbook = OpenDocument<WorkbookSteps>;
inline constexpr auto& LocateInWorkbookText = LocateIn<WorkbookSteps>;
inline constexpr auto& EditWorkbookOccurrence = ReplaceOccurrence<WorkbookSteps>;

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_EXCEL_WORKBOOK_H_
