// Saving an office document over its own file, all-or-nothing.
#ifndef STRBATCH_OFFICE_OFFICE_SAVE_H_
#define STRBATCH_OFFICE_OFFICE_SAVE_H_

#include <functional>
#include <string>

#include "base/safe_file.h"

namespace strbatch {

// The application writes a copy of the document in its own format into the
// private temporary directory (saveCopyAs is given the copy's path), and the
// copy replaces the file at path through the rewriter: sibling temporary
// file, checked writes, rename over, permission bits kept. Throws
// AutomationError when anything fails; the file at path is then intact.
void SaveDocumentInPlace(const std::function<void(const std::string&)>& saveCopyAs,
                         const std::string& path, FileRewriter& rewriter);

// Throws the AutomationError of a save of path that failed for reason.
[[noreturn]] void ThrowCannotSave(const std::string& path, const Message& reason);

// A message of the core as the office code's own reasons read: plain
// English without a language catalog (its arguments, the system's reason,
// then its cause), for the texts office errors carry.
std::string PlainReason(const Message& message);

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_OFFICE_SAVE_H_
