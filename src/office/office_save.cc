#include "office/office_save.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstring>

#include "base/paths.h"
#include "office/model/office_model.h"

namespace strbatch {
namespace {

// Removes the copy however the save ends.
struct CopyFile {
  std::string path;
  ~CopyFile() {
    if (!path.empty()) unlink(path.c_str());
  }
};

}  // namespace

std::string PlainReason(const Message& message) {
  std::string out;
  auto append = [&out](const std::string& more) {
    if (more.empty()) return;
    if (!out.empty()) out += ": ";
    out += more;
  };
  for (const std::string& arg : message.args) append(arg);
  if (message.osError != 0) append(std::strerror(message.osError));
  if (message.cause) append(PlainReason(*message.cause));
  return out;
}

void ThrowCannotSave(const std::string& path, const Message& reason) {
  throw AutomationError(Message(MessageId::kCannotSave, {path}).Because(reason),
                        path + ": cannot save: " + PlainReason(reason));
}

void SaveDocumentInPlace(const std::function<void(const std::string&)>& saveCopyAs,
                         const std::string& path, FileRewriter& rewriter) {
  std::string dir;
  Message error;
  if (!PrivateTempDir(&dir, &error)) {
    ThrowCannotSave(path, error);
  }
  std::string pattern = dir + "/office-" + std::to_string(getpid()) + "-copy-XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) ThrowCannotSave(path, OsFailure(MessageId::kCannotCreate, {dir}));
  close(fd);
  CopyFile copy{pattern};
  saveCopyAs(copy.path);
  std::string bytes;
  if (!ReadWholeFile(copy.path, &bytes, &error) || !RewriteFile(rewriter, path, bytes, &error)) {
    ThrowCannotSave(path, error);
  }
}

}  // namespace strbatch
