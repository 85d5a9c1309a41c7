// Helpers of the reliability tests: child processes with limits (file size,
// address space, an unprivileged user), the command-line program run and
// killed in them, and snapshots of files to compare before and after.
#ifndef STRBATCH_TESTS_RELIABILITY_RELIABILITY_SUPPORT_H_
#define STRBATCH_TESTS_RELIABILITY_RELIABILITY_SUPPORT_H_

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace strbatch::testing {

// The user that permission tests run as when the suite runs as root (root
// may write any file, so read-only files mean nothing to it).
inline constexpr uid_t kTestUser = 65534;

bool RunningAsRoot();
// True in the AddressSanitizer build, where address-space limits cannot work.
bool UnderSanitizer();

// Hands path and everything below it to kTestUser when running as root.
void GiveToTestUser(const std::string& path);

struct ChildOptions {
  bool unprivileged = false;           // run as kTestUser when root
  int64_t fileSizeLimit = -1;          // RLIMIT_FSIZE in bytes; SIGXFSZ ignored
  int64_t addressSpaceLimit = -1;      // RLIMIT_AS in bytes
  std::string privateDir;              // STRBATCH_TMPDIR of the child; empty: inherited
};

struct ChildResult {
  int exitCode = -1;  // -1 when ended by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

// Runs body in a forked child with the options applied; its result is the
// child's exit code. StartChild gives the process id, FinishChild waits.
pid_t StartChild(const ChildOptions& options, const std::function<int()>& body);
ChildResult FinishChild(pid_t pid);
ChildResult RunInChild(const ChildOptions& options, const std::function<int()>& body);

// The command-line program (from STRBATCH_TEST_BIN) in a child process with
// its output collected. StartCli gives the process id; FinishCli waits for it.
pid_t StartCli(const std::vector<std::string>& args, const ChildOptions& options = {});
ChildResult FinishCli(pid_t pid);
ChildResult RunCli(const std::vector<std::string>& args, const ChildOptions& options = {});

// Waits until done() holds or the process has ended; false when it ended.
bool WaitWhileRunning(pid_t pid, const std::function<bool()>& done);

// What a test needs to know of a file.
struct FileState {
  bool exists = false;
  std::string bytes;
  unsigned mode = 0;
  ino_t inode = 0;
};
FileState StateOf(const std::string& path);

// The names in a folder (not recursive), sorted.
std::vector<std::string> ListFolder(const std::string& folder);
// The names of this program's temporary files in a folder.
std::vector<std::string> TempFilesIn(const std::string& folder);

// A scratch folder in memory (/dev/shm) where the system has one, else in
// /tmp: for tests that make and remove thousands of files, which a disk
// mounted with discard makes slow. Removed with its content when destroyed.
class MemoryScratchDir {
 public:
  MemoryScratchDir();
  ~MemoryScratchDir();
  MemoryScratchDir(const MemoryScratchDir&) = delete;
  MemoryScratchDir& operator=(const MemoryScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Deterministic bytes for tests that want variety: a small generator.
class TestRandom {
 public:
  explicit TestRandom(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint64_t Next();
  size_t Below(size_t bound) { return bound == 0 ? 0 : static_cast<size_t>(Next() % bound); }
  std::string Bytes(size_t size);
  // Bytes drawn from alphabet.
  std::string From(const std::string& alphabet, size_t size);

 private:
  uint64_t state_;
};

// Adds to a figure of the run (kills landed, faults injected, inputs
// tried...), printed when the test program ends.
void AddToFigure(const std::string& name, int64_t amount);

// The peak resident memory of this process in bytes, and a reset of it.
int64_t PeakResidentBytes();
void ResetPeakResident();

}  // namespace strbatch::testing

#endif  // STRBATCH_TESTS_RELIABILITY_RELIABILITY_SUPPORT_H_
