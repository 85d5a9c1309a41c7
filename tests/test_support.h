// Helpers shared by the test executables: scratch folders and file bytes.
#ifndef STRBATCH_TESTS_TEST_SUPPORT_H_
#define STRBATCH_TESTS_TEST_SUPPORT_H_

#include <memory>
#include <ostream>
#include <string>

#include "base/safe_file.h"
#include "list_text.h"

namespace strbatch::testing {

// A disk that fills up. With a budget of 0 it takes no new file at all;
// otherwise a rewrite may write that many bytes, every later write fails,
// and the session then refuses to commit. The original always survives.
class FailingRewriter : public FileRewriter {
 public:
  explicit FailingRewriter(size_t budget = 0) : budget_(budget) {}
  std::unique_ptr<RewriteSession> Begin(const std::string& path, Message* error) override;

 private:
  size_t budget_;
};

// A fresh folder that is removed with everything in it when destroyed.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + name
  std::string File(const std::string& name) const;
  // Writes bytes to name (inside the folder) and gives the full path.
  std::string Write(const std::string& name, const std::string& bytes) const;
  // The bytes of a file (name inside the folder, or a full path).
  std::string Read(const std::string& name) const;

 private:
  std::string path_;
};

// Reads a file's bytes; an empty string when it cannot be read.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// The directory of the built executables and resource files.
std::string BinDir();

}  // namespace strbatch::testing

namespace strbatch {
// A message in a failing test's output: its id, arguments, errno and cause.
std::ostream& operator<<(std::ostream& out, const Message& message);
}  // namespace strbatch

#endif  // STRBATCH_TESTS_TEST_SUPPORT_H_
