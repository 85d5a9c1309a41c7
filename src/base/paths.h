// Where the program keeps its files: the program directory (language files,
// help pages) and the private temporary directory (work file, find report,
// carried definition list, office profile).
#ifndef STRBATCH_BASE_PATHS_H_
#define STRBATCH_BASE_PATHS_H_

#include <string>

#include "base/message.h"

namespace strbatch {

// The directory of the running executable, without a trailing "/".
std::string ProgramDirectory();

// The private temporary directory: $STRBATCH_TMPDIR when set, otherwise
// $XDG_CACHE_HOME/strbatch (default ~/.cache/strbatch). Created with mode
// 0700 when missing. Refused (false, with a reason) when it is a symbolic
// link, not a directory, or not owned by the user.
bool PrivateTempDir(std::string* dir, Message* error);

// Splits a path into directory (with its trailing "/", or empty), base name
// and extension (with its leading dot, or empty). The drive part of the
// design is always empty here.
struct SplitPathResult {
  std::string directory;
  std::string baseName;
  std::string extension;
};
SplitPathResult SplitPath(const std::string& path);

// Compares an extension (with its dot) without regard to ASCII case.
bool ExtensionIs(const std::string& extension, const char* wanted);

}  // namespace strbatch

#endif  // STRBATCH_BASE_PATHS_H_
