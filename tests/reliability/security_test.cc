// Security: the private temporary directory is refused when someone else
// could have planted it, temporary files beside users' files are never more
// open than the files they replace, no user string reaches a shell, and
// nothing listens on a network port.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/safe_file.h"
#include "batch/backup.h"
#include "reliability_support.h"
#include "test_support.h"

namespace strbatch {
namespace {

using testing::ChildOptions;
using testing::ChildResult;
using testing::MemoryScratchDir;
using testing::ScratchDir;
using testing::StateOf;

class SecurityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target_ = scratch_.Write("a.txt", "alpha");
    // A folder that belongs to someone else (the test user, when root).
    foreign_ = scratch_.File("theirs");
    ASSERT_EQ(mkdir(foreign_.c_str(), 0777), 0);
    ASSERT_EQ(chmod(foreign_.c_str(), 0777), 0);
    testing::GiveToTestUser(foreign_);
  }

  // A find with a report whose private directory is at privateDir.
  ChildResult FindWithReport(const std::string& privateDir) {
    ChildOptions options;
    options.privateDir = privateDir;
    return testing::RunCli({"find", "-r", scratch_.File("report.txt"), "-d", "alpha", "beta",
                            target_},
                           options);
  }

  ScratchDir scratch_;
  std::string target_;
  std::string foreign_;
};

// Nothing the program writes for itself lands in a planted directory.
TEST_F(SecurityTest, PlantedPrivateDirectoryIsNotUsed) {
  const std::string link = scratch_.File("planted");
  ASSERT_EQ(symlink(foreign_.c_str(), link.c_str()), 0);
  ChildResult result = FindWithReport(link);
  EXPECT_EQ(result.signal, 0);
  EXPECT_TRUE(testing::ListFolder(foreign_).empty());
  if (testing::RunningAsRoot()) {
    result = FindWithReport(foreign_);
    EXPECT_EQ(result.signal, 0);
    EXPECT_TRUE(testing::ListFolder(foreign_).empty());
  }
  // The file itself is still searched.
  EXPECT_NE(result.out.find("1\t" + target_), std::string::npos) << result.out;
}

// A report that was asked for but cannot be made must not pass in silence:
// the run says why there is no report.
TEST_F(SecurityTest, RefusedPrivateDirectoryIsReportedWhenAReportWasAsked) {
  const std::string link = scratch_.File("planted");
  ASSERT_EQ(symlink(foreign_.c_str(), link.c_str()), 0);
  ChildResult result = FindWithReport(link);
  EXPECT_FALSE(StateOf(scratch_.File("report.txt")).exists);
  EXPECT_NE(result.err.find(link), std::string::npos)
      << "the report was dropped without a word: " << result.err;
}

// A temporary file beside a user's file is made readable by its owner only
// and gets the file's own mode just before it takes the file's place, so no
// one can read the new content of a private file in between.
TEST_F(SecurityTest, TemporaryFilesAreNeverMoreOpenThanTheFile) {
  ASSERT_EQ(chmod(target_.c_str(), 0604), 0);
  Message error;
  auto session = DefaultFileRewriter().Begin(target_, &error);
  ASSERT_TRUE(session) << error;
  ASSERT_TRUE(session->Write("secret"));
  std::vector<std::string> temps = testing::TempFilesIn(scratch_.path());
  ASSERT_EQ(temps.size(), 1u);
  testing::FileState temp = StateOf(scratch_.File(temps[0]));
  EXPECT_EQ(temp.mode & 077, 0u) << "the temporary file is open to others";
  ASSERT_TRUE(session->Commit(&error)) << error;
  EXPECT_EQ(StateOf(target_).mode, 0604u);
  EXPECT_EQ(StateOf(target_).bytes, "secret");
}

// A backup name that someone else took with a link: the backup is not
// written through it, a restore does not read through it, and the file
// itself is still processed.
TEST_F(SecurityTest, PlantedBackupLinkIsNeitherWrittenNorRead) {
  const std::string victim = scratch_.Write("victim.txt", "the victim's own bytes");
  const std::string backup = BackupPath(target_);
  ASSERT_EQ(symlink(victim.c_str(), backup.c_str()), 0);
  ChildResult result = testing::RunCli({"replace", "-y", "-b", "-d", "alpha", "beta", target_});
  EXPECT_EQ(result.exitCode, 1) << result.err;  // the refused backup is reported
  EXPECT_EQ(testing::ReadBytes(victim), "the victim's own bytes");
  EXPECT_NE(result.err.find(backup), std::string::npos) << result.err;
  EXPECT_EQ(testing::ReadBytes(target_), "beta");

  result = testing::RunCli({"restore", target_});
  EXPECT_EQ(result.out, "0\n");
  EXPECT_NE(result.err.find(backup), std::string::npos) << result.err;
  EXPECT_EQ(testing::ReadBytes(target_), "beta");
  struct stat st;
  ASSERT_EQ(lstat(backup.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

bool OfficeInstalled() {
  return access("/usr/lib/libreoffice/program/soffice.bin", X_OK) == 0 &&
         access((testing::BinDir() + "/strbatch_libreoffice.so").c_str(), R_OK) == 0;
}

// The command line of a running process whose command line holds text,
// or empty.
std::string CommandLineMentioning(const std::string& text) {
  for (const std::string& entry : testing::ListFolder("/proc")) {
    if (entry[0] < '0' || entry[0] > '9') continue;
    std::string cmdline = testing::ReadBytes("/proc/" + entry + "/cmdline");
    if (cmdline.find(text) != std::string::npos) return cmdline;
  }
  return "";
}

// Another user on the machine reads the office instance's pipe name from
// the process list (every user may) and listens under that name first: the
// program must not hand its documents to a pipe it does not own. The office
// instance's pipe lives where LibreOffice puts every pipe, in /tmp, so the
// client has to check the pipe's owner before it connects.
TEST_F(SecurityTest, OfficeConnectsOnlyToAPipeItOwns) {
  if (!testing::RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  if (!OfficeInstalled()) GTEST_SKIP() << "LibreOffice or the office plugin is not installed";
  const std::string document = scratch_.Write("letter.doc", "alpha");
  pid_t cli = testing::StartCli({"find", "-d", "alpha", "beta", document});
  const std::string marker = "--accept=pipe,name=strbatch-" + std::to_string(cli) + "-";
  std::string name;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (name.empty() && std::chrono::steady_clock::now() < deadline) {
    std::string cmdline = CommandLineMentioning(marker);
    size_t at = cmdline.find(marker);
    if (at != std::string::npos) {
      at += std::string("--accept=pipe,name=").size();
      name = cmdline.substr(at, cmdline.find(';', at) - at);
    }
  }
  ASSERT_FALSE(name.empty()) << "the office instance was not started";
  const std::string socketPath = "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + name;
  // The other user listens there and waits for the program to call.
  ChildOptions other;
  other.unprivileged = true;
  ChildResult listener = testing::RunInChild(other, [&] {
    int listening = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof(address.sun_path), "%s", socketPath.c_str());
    if (listening < 0 || bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listening, 4) != 0) {
      return 2;  // the instance was first: nothing proven either way
    }
    // The office instance itself knocks too, to see whether its pipe is
    // taken; only a call from the program counts.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < until) {
      pollfd wait = {listening, POLLIN, 0};
      if (poll(&wait, 1, 500) <= 0) continue;
      int caller = accept(listening, nullptr, nullptr);
      ucred credentials{};
      socklen_t length = sizeof(credentials);
      if (caller >= 0 &&
          getsockopt(caller, SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
          credentials.pid == cli) {
        return 1;
      }
      if (caller >= 0) close(caller);
    }
    return 0;
  });
  kill(cli, SIGKILL);
  testing::FinishCli(cli);
  unlink(socketPath.c_str());
  ASSERT_NE(listener.exitCode, 2) << "the office instance made its pipe before the test could";
  EXPECT_EQ(listener.exitCode, 0) << "the program connected to another user's pipe";
}

// Names the dynamic linker resolves for a program.
std::set<std::string> ImportedNames(const std::string& program) {
  std::set<std::string> names;
  std::string command = "nm -D --undefined-only '" + program + "' 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[512];
  while (std::fgets(line, sizeof(line), pipe) != nullptr) {
    std::istringstream fields(line);
    std::string kind, name;
    fields >> kind >> name;
    names.insert(name.substr(0, name.find('@')));
  }
  pclose(pipe);
  return names;
}

// The programs never hand a command line to a shell and never open a
// listening socket: the functions that would do so are not even linked.
TEST_F(SecurityTest, ProgramsImportNoShellAndNoListeningSocket) {
  bool checked = false;
  for (const char* name : {"strbatch-cli", "strbatch", "strbatch_libreoffice.so"}) {
    const std::string program = testing::BinDir() + "/" + name;
    if (!StateOf(program).exists) continue;
    std::set<std::string> imports = ImportedNames(program);
    ASSERT_FALSE(imports.empty()) << "cannot list the imports of " << program;
    for (const char* forbidden :
         {"system", "popen", "wordexp", "execl", "execlp", "execle", "listen", "bind"}) {
      EXPECT_FALSE(imports.count(forbidden)) << program << " imports " << forbidden;
    }
    checked = true;
  }
  EXPECT_TRUE(checked);
}

// The inodes of the sockets in /proc/net tables that are bound to an
// address (TCP in any state, UDP).
std::set<std::string> NetworkSocketInodes() {
  std::set<std::string> inodes;
  for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6", "/proc/net/udp", "/proc/net/udp6"}) {
    std::ifstream in(table);
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
      std::istringstream fields(line);
      std::string field;
      for (int i = 0; i < 10 && fields >> field; i++) {
      }
      if (fields) inodes.insert(field);
    }
  }
  return inodes;
}

// While a batch runs, none of its descriptors, nor those of the office
// instance it starts for a document, is a network socket.
TEST_F(SecurityTest, BatchAndItsOfficeInstanceOpenNoNetworkSocket) {
  MemoryScratchDir memory;
  std::vector<std::string> args = {"replace", "-y", "-b", "-d", "alpha", "beta", "--"};
  const bool office = OfficeInstalled();
  if (office) args.push_back(scratch_.Write("letter.doc", "alpha"));
  for (int i = 0; i < 2000; i++) {
    args.push_back(memory.File("f" + std::to_string(i)));
    testing::WriteBytes(args.back(), "alpha alpha");
  }
  pid_t pid = testing::StartCli(args);
  const std::string marker = "strbatch-" + std::to_string(pid) + "-";
  int samples = 0, officeSamples = 0;
  testing::WaitWhileRunning(pid, [&] {
    std::vector<std::string> processes = {std::to_string(pid)};
    if (office) {
      for (const std::string& entry : testing::ListFolder("/proc")) {
        if (entry[0] < '0' || entry[0] > '9' || entry == processes[0]) continue;
        if (testing::ReadBytes("/proc/" + entry + "/cmdline").find(marker) != std::string::npos) {
          processes.push_back(entry);
          officeSamples++;
        }
      }
    }
    for (const std::string& process : processes) {
      const std::string fds = "/proc/" + process + "/fd";
      for (const std::string& fd : testing::ListFolder(fds)) {
        char target[256];
        ssize_t n = readlink((fds + "/" + fd).c_str(), target, sizeof(target) - 1);
        if (n <= 0) continue;
        std::string link(target, static_cast<size_t>(n));
        if (link.rfind("socket:[", 0) != 0) continue;
        EXPECT_FALSE(NetworkSocketInodes().count(link.substr(8, link.size() - 9)))
            << "process " << process << ": " << link << " is a network socket";
      }
    }
    samples++;
    return false;
  });
  // A text file named .doc is left alone with a warning.
  EXPECT_EQ(testing::FinishCli(pid).exitCode, office ? 1 : 0);
  EXPECT_GT(samples, 0);
  if (office) {
    EXPECT_GT(officeSamples, 0) << "the office instance was never seen";
  }
  testing::AddToFigure("descriptor samples of a running batch", samples);
}

}  // namespace
}  // namespace strbatch
