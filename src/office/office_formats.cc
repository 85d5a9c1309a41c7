#include "office/office_formats.h"

#include <strings.h>

#include <string>

namespace strbatch {
namespace {

constexpr OfficeFormat kFormats[] = {
    {".doc", OfficeKind::Word, OfficeContainer::kApplication, OfficeReader::kApplication,
     nullptr},
    {".rtf", OfficeKind::Word, OfficeContainer::kApplication, OfficeReader::kApplication,
     nullptr},
    {".docx", OfficeKind::Word, OfficeContainer::kOfficeOpenXml, OfficeReader::kWordprocessingMl,
     nullptr},
    {".odt", OfficeKind::Word, OfficeContainer::kOpenDocument, OfficeReader::kOdfText,
     "application/vnd.oasis.opendocument.text"},
    {".xls", OfficeKind::Excel, OfficeContainer::kApplication, OfficeReader::kApplication,
     nullptr},
    {".xlsx", OfficeKind::Excel, OfficeContainer::kOfficeOpenXml, OfficeReader::kSpreadsheetMl,
     nullptr},
    {".ods", OfficeKind::Excel, OfficeContainer::kOpenDocument, OfficeReader::kOdfSpreadsheet,
     "application/vnd.oasis.opendocument.spreadsheet"},
    {".ppt", OfficeKind::PowerPoint, OfficeContainer::kApplication, OfficeReader::kApplication,
     nullptr},
    {".pptx", OfficeKind::PowerPoint, OfficeContainer::kOfficeOpenXml,
     OfficeReader::kPresentationMl, nullptr},
    {".odp", OfficeKind::PowerPoint, OfficeContainer::kOpenDocument,
     OfficeReader::kOdfPresentation, "application/vnd.oasis.opendocument.presentation"},
};

}  // namespace

const OfficeFormat* FindOfficeFormat(std::string_view extension) {
  const std::string name(extension);
  for (const OfficeFormat& format : kFormats) {
    if (strcasecmp(name.c_str(), format.extension) == 0) return &format;
  }
  return nullptr;
}

OfficeKind OfficeKindOf(std::string_view extension) {
  const OfficeFormat* format = FindOfficeFormat(extension);
  return format ? format->kind : OfficeKind::None;
}

}  // namespace strbatch
