// Office documents in the zipped formats (.docx, .xlsx, .pptx, .odt, .ods,
// .odp) read and edited in their XML without an office application: the
// parts that hold the searched text are read into the work text of their
// kind, each edit is written into the part's own bytes, and the package is
// saved with every other entry copied as it was stored.
#ifndef STRBATCH_OFFICE_PACKAGE_PACKAGE_DOCUMENT_H_
#define STRBATCH_OFFICE_PACKAGE_PACKAGE_DOCUMENT_H_

#include <memory>
#include <string>

#include "base/code_page.h"
#include "base/safe_file.h"
#include "office/office_bridge.h"

namespace strbatch {

// True for the extensions (with their dot, any ASCII case) of the zipped
// formats.
bool IsPackageExtension(const std::string& extension);

// Opens the document at path, whose extension is one of the zipped
// formats. Null with *whyNot when it cannot be edited (encrypted, not a
// package of its kind, XML that cannot be read); null with *notPackage set
// when the file is no zip at all (a legacy binary document under a new
// name), for an application to open. Its parts are read within limits;
// its work text holds the stories parts names.
std::unique_ptr<OfficeDocument> OpenPackageDocument(const std::string& path,
                                                    const CodePage& codePage,
                                                    FileRewriter& rewriter, Message* whyNot,
                                                    bool* notPackage,
                                                    const OfficeReadLimits& limits = {},
                                                    OfficeParts parts = OfficeParts::kBody);

// A bridge that opens the zipped formats itself and hands every other
// office document to fallback.
std::unique_ptr<OfficeBridge> MakePackageBridge(std::unique_ptr<OfficeBridge> fallback,
                                                FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_PACKAGE_PACKAGE_DOCUMENT_H_
