// Whole document sessions run inside soffice. The plugin is also a UNO
// component: the soffice it starts loads it and offers the service
// kDocumentService, which opens documents and works their occurrences there,
// where each object-model call costs microseconds instead of a round trip
// over the pipe. The program side sends one request per step of a document
// (open, its text, the occurrences of a definition with their edits, close)
// and keeps the saving: the new bytes come back and are written through the
// program's own rewriter, so backups and the undo journal see them as
// before. A request is one XJob::execute call whose arguments and answer
// are named values; texts and paths travel as bytes, exactly.
#ifndef STRBATCH_OFFICE_LIBREOFFICE_DOCUMENT_SERVICE_H_
#define STRBATCH_OFFICE_LIBREOFFICE_DOCUMENT_SERVICE_H_

#include <memory>
#include <string>

#include "office/office_bridge.h"
#include "office_process.h"

namespace strbatch::uno {

inline constexpr const char* kDocumentService = "org.strbatch.OfficeDocuments";

// The registration soffice reads to find the service in the module at
// modulePath, written to path. False, with a reason, when it cannot be
// written.
bool WriteServiceRegistration(const std::string& path, const std::string& modulePath,
                              std::string* error);

// The bridge whose documents live in the service of process; null, with a
// reason, when the instance does not offer it. Documents are saved through
// rewriter.
std::unique_ptr<OfficeBridge> MakeServiceBridge(std::shared_ptr<OfficeProcess> process,
                                                FileRewriter& rewriter, std::string* error);

}  // namespace strbatch::uno

#endif  // STRBATCH_OFFICE_LIBREOFFICE_DOCUMENT_SERVICE_H_
