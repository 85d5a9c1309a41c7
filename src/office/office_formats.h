// The office formats the program opens, in one table: which extension names
// which kind of document, in what container its text is kept, and which
// reader takes it. Everything that asks whether a file is an office
// document, and how to open it, asks this table.
#ifndef STRBATCH_OFFICE_OFFICE_FORMATS_H_
#define STRBATCH_OFFICE_OFFICE_FORMATS_H_

#include <string_view>

namespace strbatch {

enum class OfficeKind { None, Word, Excel, PowerPoint };

// How a format keeps its text.
enum class OfficeContainer {
  kApplication,   // a format only its application reads (.doc, .xls, .ppt, .rtf)
  kOfficeOpenXml, // a zip of XML parts (.docx, .xlsx, .pptx)
  kOpenDocument,  // a zip of XML parts with a mimetype entry (.odt, .ods, .odp)
};

// Which reader lays the text out: the application through its object
// model, or one of the package readers, one per zipped format.
enum class OfficeReader {
  kApplication,
  kWordprocessingMl,
  kSpreadsheetMl,
  kPresentationMl,
  kOdfText,
  kOdfSpreadsheet,
  kOdfPresentation,
};

struct OfficeFormat {
  const char* extension;  // with its dot, lower case
  OfficeKind kind;
  OfficeContainer container;
  OfficeReader reader;
  const char* mimeType;   // an OpenDocument package's mimetype entry, else null
};

// The format an extension (with its dot) names, compared without regard to
// ASCII case; null when it names none.
const OfficeFormat* FindOfficeFormat(std::string_view extension);

// The kind of office document an extension (with its dot) names. Besides
// ".doc", ".rtf", ".xls" and ".ppt", the zipped formats are office
// documents too: treated as plain files, a replace would corrupt them.
OfficeKind OfficeKindOf(std::string_view extension);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_OFFICE_FORMATS_H_
