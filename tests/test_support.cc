#include "test_support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace strbatch::testing {
namespace {

// Every test process keeps its private temporary directory in a scratch
// folder of its own, so tests never touch the user's files or each other's.
struct PrivateTempForTests {
  PrivateTempForTests() {
    char pattern[] = "/tmp/strbatch-test-home-XXXXXX";
    if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
    dir = pattern;
    setenv("STRBATCH_TMPDIR", (dir + "/private").c_str(), 1);
  }
  ~PrivateTempForTests() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
  std::string dir;
};
PrivateTempForTests g_private_temp;

class BudgetSession : public RewriteSession {
 public:
  BudgetSession(std::unique_ptr<RewriteSession> real, std::string path, size_t budget)
      : real_(std::move(real)), path_(std::move(path)), budget_(budget) {}
  bool Write(const char* data, size_t size) override {
    if (failed_ || size > budget_) {
      if (!failed_) real_->Write(data, budget_);
      failed_ = true;
      return false;
    }
    budget_ -= size;
    return real_->Write(data, size);
  }
  bool Commit(Message* error) override {
    if (failed_) {
      *error = Message(MessageId::kCannotWrite, {path_}).WithOsError(ENOSPC);
      return false;
    }
    return real_->Commit(error);
  }

 private:
  std::unique_ptr<RewriteSession> real_;
  std::string path_;
  size_t budget_;
  bool failed_ = false;
};

}  // namespace

std::unique_ptr<RewriteSession> FailingRewriter::Begin(const std::string& path,
                                                       Message* error) {
  if (budget_ == 0) {
    *error = Message(MessageId::kCannotCreateTempBeside, {path}).WithOsError(ENOSPC);
    return nullptr;
  }
  auto real = DefaultFileRewriter().Begin(path, error);
  if (!real) return nullptr;
  return std::make_unique<BudgetSession>(std::move(real), path, budget_);
}

ScratchDir::ScratchDir() {
  char pattern[] = "/tmp/strbatch-test-XXXXXX";
  if (mkdtemp(pattern) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  // Make everything writable again so that tests of read-only files clean up.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    if (it->is_directory(ignored) && !it->is_symlink(ignored)) {
      std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::add, ignored);
    }
  }
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::File(const std::string& name) const { return path_ + "/" + name; }

std::string ScratchDir::Write(const std::string& name, const std::string& bytes) const {
  std::string full = File(name);
  WriteBytes(full, bytes);
  return full;
}

std::string ScratchDir::Read(const std::string& name) const {
  return ReadBytes(name.empty() || name[0] != '/' ? File(name) : name);
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string BinDir() {
  const char* dir = getenv("STRBATCH_TEST_BIN");
  return dir ? dir : ".";
}

}  // namespace strbatch::testing

namespace strbatch {

std::ostream& operator<<(std::ostream& out, const Message& message) {
  out << "message " << static_cast<int>(message.id);
  for (const std::string& arg : message.args) out << " [" << arg << "]";
  if (message.osError != 0) out << " (" << std::strerror(message.osError) << ")";
  if (message.cause) out << ": " << *message.cause;
  return out;
}

}  // namespace strbatch
