// What the OpenDocument readers share: the reading of one paragraph (in
// package_read.h), the attributes that repeat an element, the marks of the
// layout, the splitting of space runs, and the reading of content.xml.
#ifndef STRBATCH_OFFICE_PACKAGE_ODF_H_
#define STRBATCH_OFFICE_PACKAGE_ODF_H_

#include <string_view>

#include "office/package/package_read.h"

namespace strbatch {

inline constexpr std::string_view kDr3d = "urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0";

// How many times an element stands for itself (its repeat attribute, at
// least 1).
long Repeated(const XmlElement& e, std::string_view uri, std::string_view name);

// Writes each run of spaces in the part as elements of one space each.
bool SplitSpaceRuns(PackageSource& source, uint32_t part, Message* error);

// Reads content.xml with Reader, its space runs split first.
template <class Reader>
bool ReadContent(PackageSource& source, Message* error) {
  const uint32_t part = source.Part("content.xml", error);
  if (part == UINT32_MAX || !SplitSpaceRuns(source, part, error)) return false;
  source.text().protectedDocument = OpenDocumentLoadsReadOnly(source);
  Reader reader(source.text(), part);
  return source.Scan(part, reader, error);
}

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_ODF_H_
