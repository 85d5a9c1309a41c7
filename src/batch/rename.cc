#include "batch/rename.h"

#include <sys/stat.h>

#include "base/paths.h"

namespace strbatch {
namespace {

// The longest file name Linux file systems take, in bytes.
constexpr size_t kMaxNameBytes = 255;

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
                         std::string* newName, Message* error) {
  size_t length = 0;
  while (length < workText.size() && workText[length] != '\0') {
    if (workText[length++] == '\n') break;
  }
  if (length > kMaxNameBytes) {
    *error = Message(MessageId::kNameTooLong);
    return false;
  }
  if (!codePage.ToUtf8(workText.substr(0, length), newName)) {
    *error = Message(MessageId::kNameNotCarriedBack);
    return false;
  }
  if (newName->size() > kMaxNameBytes) {
    *error = Message(MessageId::kNameTooLong);
    return false;
  }
  return true;
}

bool RenameStep(const std::string& path, const std::string& newName, std::string* newPath,
                Message* error, FileRewriter& rewriter) {
  if (newName.empty() || newName == "." || newName == "..") {
    *error = Message(MessageId::kNameEmpty);
    return false;
  }
  for (unsigned char c : newName) {
    if (c < 0x20 || c == 0x7F) {
      *error = Message(MessageId::kNameHasControl);
      return false;
    }
  }
  SplitPathResult parts = SplitPath(path);
  std::string target = parts.directory + newName;
  if (target == path) {
    *newPath = path;
    return true;
  }
  // The move never replaces what holds the name; looking first lets the
  // user hear what is in the way rather than the system's "File exists".
  struct stat st;
  if (lstat(target.c_str(), &st) == 0) {
    *error = Message(MessageId::kNameTaken, {target});
    return false;
  }
  if (!rewriter.Move(path, target, error)) return false;
  *newPath = target;
  return true;
}

}  // namespace strbatch
