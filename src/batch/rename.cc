#include "batch/rename.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/paths.h"

namespace strbatch {
namespace {

// The longest file name Linux file systems take, in bytes.
constexpr size_t kMaxNameBytes = 255;

// Renames without ever replacing an existing target. Where the file system
// cannot do that in one step, a hard link plus unlink gives the same
// guarantee; there is no check-then-rename fallback.
bool RenameNoReplace(const std::string& from, const std::string& to, std::string* error) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) {
    *error = std::strerror(errno);
    return false;
  }
  if (link(from.c_str(), to.c_str()) != 0) {
    *error = std::strerror(errno);
    return false;
  }
  if (unlink(from.c_str()) != 0) {
    *error = std::strerror(errno);
    unlink(to.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool NameTextForRename(const std::string& path, const CodePage& codePage,
                       std::string* nameText) {
  SplitPathResult parts = SplitPath(path);
  std::string name = parts.baseName + parts.extension;
  std::string back;
  if (!codePage.FromUtf8(name, nameText) || !codePage.ToUtf8(*nameText, &back) || back != name) {
    return false;
  }
  return true;
}

bool NewNameFromWorkText(const std::string& workText, const CodePage& codePage,
                         std::string* newName, std::string* error) {
  size_t length = 0;
  while (length < workText.size() && workText[length] != '\0') {
    if (workText[length++] == '\n') break;
  }
  if (length > kMaxNameBytes) {
    *error = "the new name would be longer than 255 bytes; the file was not renamed";
    return false;
  }
  if (!codePage.ToUtf8(workText.substr(0, length), newName)) {
    *error = "the new name cannot be carried back from the code page";
    return false;
  }
  if (newName->size() > kMaxNameBytes) {
    *error = "the new name would be longer than 255 bytes; the file was not renamed";
    return false;
  }
  return true;
}

bool RenameStep(const std::string& path, const std::string& newName, std::string* newPath,
                std::string* error) {
  if (newName.empty() || newName == "." || newName == "..") {
    *error = "the new name would be empty";
    return false;
  }
  for (unsigned char c : newName) {
    if (c < 0x20 || c == 0x7F) {
      *error = "the new name holds a line end or another control character";
      return false;
    }
  }
  SplitPathResult parts = SplitPath(path);
  std::string target = parts.directory + newName;
  if (target == path) {
    *newPath = path;
    return true;
  }
  if (!RenameNoReplace(path, target, error)) return false;
  *newPath = target;
  return true;
}

}  // namespace strbatch
