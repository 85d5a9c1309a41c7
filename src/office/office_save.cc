#include "office/office_save.h"

#include <stdlib.h>
#include <unistd.h>

#include "base/paths.h"
#include "office/office_model.h"

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

void SaveDocumentInPlace(const std::function<void(const std::string&)>& saveCopyAs,
                         const std::string& path, FileRewriter& rewriter) {
  std::string dir, error;
  if (!PrivateTempDir(&dir, &error)) {
    throw AutomationError(path + ": cannot save: " + error);
  }
  std::string pattern = dir + "/office-" + std::to_string(getpid()) + "-copy-XXXXXX";
  int fd = mkstemp(pattern.data());
  if (fd < 0) throw AutomationError(path + ": cannot save: no temporary file in " + dir);
  close(fd);
  CopyFile copy{pattern};
  saveCopyAs(copy.path);
  std::string bytes;
  if (!ReadWholeFile(copy.path, &bytes, &error) || !RewriteFile(rewriter, path, bytes, &error)) {
    throw AutomationError(path + ": cannot save: " + error);
  }
}

}  // namespace strbatch
