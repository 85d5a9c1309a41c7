#include "reliability_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "base/safe_file.h"
#include "test_support.h"

extern char** environ;

namespace strbatch::testing {
namespace {

// Output of a running child, collected by a thread so that a chatty child
// never blocks on a full pipe.
struct Collector {
  std::thread thread;
  std::string out;
  std::string err;
};

std::mutex g_collectorsMutex;
std::map<pid_t, Collector*> g_collectors;

void Collect(int outFd, int errFd, Collector* collector) {
  pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* into[2] = {&collector->out, &collector->err};
  int open = 2;
  char buffer[65536];
  while (open > 0) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; i++) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof(buffer));
      if (n > 0) {
        into[i]->append(buffer, static_cast<size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        open--;
      }
    }
  }
}

// Applied in a forked child before it runs its work. Only calls that are
// safe after fork(); everything is prepared by the parent.
void ApplyInChild(const ChildOptions& options) {
  if (options.fileSizeLimit >= 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlim_t limit = static_cast<rlim_t>(options.fileSizeLimit);
    struct rlimit rl = {limit, limit};
    if (setrlimit(RLIMIT_FSIZE, &rl) != 0) _exit(125);
  }
  if (options.addressSpaceLimit >= 0) {
    rlim_t limit = static_cast<rlim_t>(options.addressSpaceLimit);
    struct rlimit rl = {limit, limit};
    if (setrlimit(RLIMIT_AS, &rl) != 0) _exit(125);
  }
  if (options.unprivileged && geteuid() == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(kTestUser) != 0 || setuid(kTestUser) != 0) {
      _exit(125);
    }
  }
}

ChildResult ResultOf(int status) {
  ChildResult result;
  if (WIFEXITED(status)) {
    result.exitCode = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    result.signal = WTERMSIG(status);
  }
  return result;
}

// The figures of the run, printed at exit.
class Figures {
 public:
  ~Figures() {
    for (const auto& [name, amount] : figures_) {
      std::printf("[ figures  ] %s: %lld\n", name.c_str(), static_cast<long long>(amount));
    }
  }
  void Add(const std::string& name, int64_t amount) {
    std::lock_guard<std::mutex> lock(mutex_);
    figures_[name] += amount;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, int64_t> figures_;
};

Figures g_figures;

}  // namespace

void AddToFigure(const std::string& name, int64_t amount) { g_figures.Add(name, amount); }

bool RunningAsRoot() { return geteuid() == 0; }

bool UnderSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

void GiveToTestUser(const std::string& path) {
  if (!RunningAsRoot()) return;
  if (lchown(path.c_str(), kTestUser, kTestUser) != 0) return;
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(path, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
    [[maybe_unused]] int unused = lchown(it->path().c_str(), kTestUser, kTestUser);
  }
}

pid_t StartChild(const ChildOptions& options, const std::function<int()>& body) {
  pid_t pid = fork();
  if (pid == 0) {
    ApplyInChild(options);
    if (!options.privateDir.empty()) setenv("STRBATCH_TMPDIR", options.privateDir.c_str(), 1);
    _exit(body());
  }
  return pid;
}

ChildResult FinishChild(pid_t pid) {
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid) return {};
  return ResultOf(status);
}

ChildResult RunInChild(const ChildOptions& options, const std::function<int()>& body) {
  return FinishChild(StartChild(options, body));
}

pid_t StartCli(const std::vector<std::string>& args, const ChildOptions& options) {
  const std::string program = BinDir() + "/strbatch-cli";
  std::vector<std::string> arguments{program};
  arguments.insert(arguments.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; e++) {
    if (!options.privateDir.empty() && std::string(*e).rfind("STRBATCH_TMPDIR=", 0) == 0) {
      continue;
    }
    environment.push_back(*e);
  }
  if (!options.privateDir.empty()) environment.push_back("STRBATCH_TMPDIR=" + options.privateDir);
  std::vector<char*> envp;
  for (std::string& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  int outPipe[2], errPipe[2];
  if (pipe2(outPipe, O_CLOEXEC) != 0) return -1;
  if (pipe2(errPipe, O_CLOEXEC) != 0) {
    close(outPipe[0]);
    close(outPipe[1]);
    return -1;
  }
  pid_t pid = fork();
  if (pid == 0) {
    int devNull = open("/dev/null", O_RDONLY);
    if (devNull < 0 || dup2(devNull, 0) < 0 || dup2(outPipe[1], 1) < 0 ||
        dup2(errPipe[1], 2) < 0) {
      _exit(126);
    }
    ApplyInChild(options);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);
  if (pid < 0) {
    close(outPipe[0]);
    close(errPipe[0]);
    return -1;
  }
  auto* collector = new Collector;
  collector->thread = std::thread(Collect, outPipe[0], errPipe[0], collector);
  std::lock_guard<std::mutex> lock(g_collectorsMutex);
  g_collectors[pid] = collector;
  return pid;
}

ChildResult FinishCli(pid_t pid) {
  int status = 0;
  ChildResult result;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) result = ResultOf(status);
  Collector* collector = nullptr;
  {
    std::lock_guard<std::mutex> lock(g_collectorsMutex);
    auto it = g_collectors.find(pid);
    if (it != g_collectors.end()) {
      collector = it->second;
      g_collectors.erase(it);
    }
  }
  if (collector != nullptr) {
    collector->thread.join();
    result.out = std::move(collector->out);
    result.err = std::move(collector->err);
    delete collector;
  }
  return result;
}

ChildResult RunCli(const std::vector<std::string>& args, const ChildOptions& options) {
  return FinishCli(StartCli(args, options));
}

bool WaitWhileRunning(pid_t pid, const std::function<bool()>& done) {
  for (;;) {
    if (done()) return true;
    siginfo_t info{};
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
      return false;
    }
    if (info.si_pid == pid) return false;
    usleep(100);
  }
}

FileState StateOf(const std::string& path) {
  FileState state;
  struct stat st;
  if (lstat(path.c_str(), &st) != 0) return state;
  state.exists = true;
  state.mode = st.st_mode & 07777;
  state.inode = st.st_ino;
  if (S_ISREG(st.st_mode)) state.bytes = ReadBytes(path);
  return state;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* handle = opendir(folder.c_str())) {
    while (dirent* entry = readdir(handle)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    closedir(handle);
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> TempFilesIn(const std::string& folder) {
  std::vector<std::string> temps;
  for (const std::string& name : ListFolder(folder)) {
    if (IsSiblingTempName(name)) temps.push_back(name);
  }
  return temps;
}

MemoryScratchDir::MemoryScratchDir() {
  for (const char* base : {"/dev/shm", "/tmp"}) {
    std::string pattern = std::string(base) + "/strbatch-test-XXXXXX";
    if (mkdtemp(pattern.data()) != nullptr) {
      path_ = pattern;
      return;
    }
  }
  throw std::runtime_error("cannot make a scratch folder");
}

MemoryScratchDir::~MemoryScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

uint64_t TestRandom::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

std::string TestRandom::Bytes(size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(Next() & 0xFF);
  return bytes;
}

std::string TestRandom::From(const std::string& alphabet, size_t size) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = alphabet[Below(alphabet.size())];
  return bytes;
}

int64_t PeakResidentBytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) {
      std::istringstream fields(line.substr(6));
      int64_t kilobytes = 0;
      fields >> kilobytes;
      return kilobytes * 1024;
    }
  }
  return -1;
}

void ResetPeakResident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
}

}  // namespace strbatch::testing
