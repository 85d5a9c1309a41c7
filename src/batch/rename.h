// Batch rename: the name text handed to the definitions, and the rename
// step that reads the result back and moves the file.
#ifndef STRBATCH_BATCH_RENAME_H_
#define STRBATCH_BATCH_RENAME_H_

#include <string>

#include "base/code_page.h"
#include "base/message.h"
#include "base/safe_file.h"

namespace strbatch {

// The name text of a path (base name and extension) in the code page, for
// the definitions to work on. False when the file-system name (UTF-8)
// cannot be carried into the code page and back unchanged.
bool NameTextForRename(const std::string& path, const CodePage& codePage, std::string* nameText);

// The name that a renamed work text gives: its first line, with a line-end
// byte that was read kept (which makes the name invalid), converted back to
// a file-system name. False, with a reason, when that fails or when the name
// would be longer than a name may be (255 bytes, in the code page or in the
// file system): a name is never cut.
bool NewNameFromWorkText(const std::string& workText, const CodePage& codePage,
                         std::string* newName, Message* error);

// Moves the file at path to its directory joined with newName, never
// replacing an existing file. Refuses an empty name, ".", "..", and names
// holding control characters such as line ends. A "/" in the name moves
// the file into that subfolder when it exists. On success *newPath is the
// new path. A name equal to the old one changes nothing and succeeds. The
// move goes through rewriter (a journal records it). When the new name is
// taken, the message names the path that holds it.
bool RenameStep(const std::string& path, const std::string& newName, std::string* newPath,
                Message* error, FileRewriter& rewriter);

}  // namespace strbatch

#endif  // STRBATCH_BATCH_RENAME_H_
