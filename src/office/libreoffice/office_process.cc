#include "office_process.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <com/sun/star/bridge/UnoUrlResolver.hpp>
#include <com/sun/star/bridge/XUnoUrlResolver.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <rtl/bootstrap.hxx>

#include "document_service.h"

extern char** environ;

namespace strbatch::uno {
namespace {

using std::chrono::steady_clock;

// soffice asks to be started again after it has set up a new profile.
constexpr int kRestartRequested = 81;

// The component context of this process, made once: it only loads the
// type descriptions and the bridge factories of the LibreOffice install the
// plugin was built against.
Reference<css::uno::XComponentContext> LocalContext(std::string* error) {
  static auto* context = new Reference<css::uno::XComponentContext>();
  if (context->is()) return *context;
  const rtl::OUString program =
      rtl::OUString::createFromAscii("file://" STRBATCH_LIBREOFFICE_PROGRAM);
  rtl::Bootstrap::set("URE_INTERNAL_LIB_DIR", program);
  rtl::Bootstrap::set("UNO_TYPES", program + "/types.rdb " + program + "/types/offapi.rdb");
  rtl::Bootstrap::set("UNO_SERVICES", program + "/services.rdb");
  try {
    *context = cppu::defaultBootstrap_InitialComponentContext();
  } catch (const css::uno::Exception& e) {
    *error = "the UNO runtime cannot start: " + ToUtf8(e.Message);
  }
  return *context;
}

// Waits up to the given time for the child to end.
bool WaitFor(pid_t pid, std::chrono::milliseconds time) {
  const auto deadline = steady_clock::now() + time;
  for (;;) {
    int status;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD)) return true;
    if (steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Whether the environment's character-type locale (LC_ALL, else LC_CTYPE,
// else LANG) is a UTF-8 one.
bool LocaleIsUtf8() {
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') {
      name = value;
      break;
    }
  }
  if (name == nullptr) return false;
  std::string lower;
  for (const char* c = name; *c; c++) lower.push_back(static_cast<char>(std::tolower(*c)));
  return lower.find("utf-8") != std::string::npos || lower.find("utf8") != std::string::npos;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  pointers.reserve(strings.size() + 1);
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The value of the setting name in a LibreOffice ini file ("name=value"
// lines), or empty.
std::string IniValue(const std::string& text, const std::string& name) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind(name + "=", 0) != 0) continue;
    std::string value = line.substr(name.size() + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    return value;
  }
  return "";
}

// The first value of the property name in a configuration file (.xcd), or
// empty.
std::string ConfigValue(const std::string& xcd, const std::string& name) {
  const size_t prop = xcd.find("<prop oor:name=\"" + name + "\">");
  if (prop == std::string::npos) return "";
  const size_t open = xcd.find("<value>", prop);
  const size_t close = xcd.find("</value>", open);
  if (open == std::string::npos || close == std::string::npos) return "";
  return xcd.substr(open + 7, close - open - 7);
}

// A new profile costs soffice about a second: it first clears the
// profile's extension cache, left by an unknown build, and ends asking to
// be started again; then, taking itself for a newly installed version, it
// runs its graphics self-test. The profile is made marked with the
// installation's build and version instead, which soffice finds current.
// When either cannot be read the profile stays empty: soffice then only
// starts more slowly.
void SeedProfile(const std::string& soffice, const std::string& profileDir) {
  char resolved[PATH_MAX];
  if (realpath(soffice.c_str(), resolved) == nullptr) return;
  std::string program = resolved;
  program.erase(program.rfind('/'));
  const std::string build = IniValue(ReadText(program + "/versionrc"), "buildid");
  const std::string version =
      ConfigValue(ReadText(program + "/../share/registry/main.xcd"), "ooSetupVersion");
  if (build.empty() || version.empty() ||
      version.find_first_not_of("0123456789.") != std::string::npos) {
    return;
  }
  const std::string user = profileDir + "/user";
  if (mkdir(user.c_str(), 0700) != 0 || mkdir((user + "/extensions").c_str(), 0700) != 0) return;
  std::ofstream(user + "/extensions/buildid", std::ios::binary) << build;
  std::ofstream(user + "/registrymodifications.xcu", std::ios::binary)
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
         "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
         "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
         "oor:op=\"fuse\"><value>"
      << version << "</value></prop></item>\n</oor:items>\n";
}

// The folder of the installation's service registrations: beside the
// program (soffice may be a script or a link elsewhere), else beside the UNO
// runtime this plugin uses. Empty when neither has it.
std::string ServicesFolder(const std::string& soffice) {
  std::vector<std::string> programs;
  char resolved[PATH_MAX];
  if (realpath(soffice.c_str(), resolved) != nullptr) programs.emplace_back(resolved);
  Dl_info runtime{};
  if (dladdr(reinterpret_cast<void*>(&rtl_uString_new), &runtime) != 0 &&
      runtime.dli_fname != nullptr && realpath(runtime.dli_fname, resolved) != nullptr) {
    programs.emplace_back(resolved);
  }
  for (std::string program : programs) {
    program.erase(program.rfind('/'));
    if (access((program + "/services/services.rdb").c_str(), R_OK) == 0) {
      return program + "/services";
    }
  }
  return "";
}

}  // namespace

rtl::OUString FileUrl(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[4096];
    if (getcwd(cwd, sizeof(cwd)) != nullptr) absolute = std::string(cwd) + "/" + path;
  }
  // Every byte but the unreserved ones is escaped, so that the URL carries
  // the path's bytes exactly.
  static const char kHex[] = "0123456789ABCDEF";
  std::string url = "file://";
  for (unsigned char c : absolute) {
    if (isalnum(c) || c == '/' || c == '-' || c == '.' || c == '_' || c == '~') {
      url.push_back(static_cast<char>(c));
    } else {
      url.push_back('%');
      url.push_back(kHex[c >> 4]);
      url.push_back(kHex[c & 15]);
    }
  }
  return rtl::OUString::createFromAscii(url.c_str());
}

std::unique_ptr<OfficeProcess> OfficeProcess::Start(const LibreOfficeSettings& settings,
                                                    std::string* error) {
  // The connection is a socket: should the instance die, a write to it must
  // fail with an error here, not end this program with SIGPIPE.
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    signal(SIGPIPE, SIG_IGN);
  }
  std::unique_ptr<OfficeProcess> process(new OfficeProcess);
  process->soffice_ = settings.soffice;
  // The pid in the name lets a later run remove what a killed one left.
  std::string pattern = settings.privateDir + "/office-" + std::to_string(getpid()) + "-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    *error = "cannot make a profile directory in " + settings.privateDir + ": " +
             std::strerror(errno);
    return nullptr;
  }
  process->profileDir_ = pattern;
  SeedProfile(settings.soffice, pattern);
  // Without the registration the instance still serves every call from
  // outside: the documents are then worked over the pipe.
  std::string ignored;
  if (!settings.serviceModule.empty() &&
      WriteServiceRegistration(pattern + "/strbatch.rdb", settings.serviceModule, &ignored)) {
    process->registration_ = pattern + "/strbatch.rdb";
  }
  process->pipeName_ = "strbatch-" + std::to_string(getpid()) + "-" +
                       pattern.substr(pattern.size() - 6);
  if (!process->Launch(error) || !process->Connect(settings.startSeconds, error)) {
    process->Terminate();
    return nullptr;
  }
  return process;
}

std::shared_ptr<OfficeProcess> OfficeProcess::Attach(
    const Reference<css::uno::XComponentContext>& context) {
  std::shared_ptr<OfficeProcess> process(new OfficeProcess);
  process->attached_ = true;
  process->context_ = context;
  process->desktop_ = css::frame::Desktop::create(context);
  return process;
}

OfficeProcess::~OfficeProcess() { Terminate(); }

std::string OfficeProcess::PipePath() const {
  // Where LibreOffice makes every named pipe, whatever TMPDIR says.
  return "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + pipeName_;
}

bool OfficeProcess::Launch(std::string* error) {
  std::vector<std::string> args = {
      soffice_,      "--headless",  "--invisible",
      "--norestore", "--nologo",    "--nodefault",
      "--nolockcheck",
      "-env:UserInstallation=" + ToUtf8(FileUrl(profileDir_)),
      "--accept=pipe,name=" + pipeName_ + ";urp;",
  };
  const std::string services = registration_.empty() ? "" : ServicesFolder(soffice_);
  if (!services.empty()) {
    // The instance's own services (every file of its services folder), and
    // ours. Extensions are left out: a private profile has none.
    args.push_back("-env:URE_MORE_SERVICES=<" + ToUtf8(FileUrl(services)) + ">* " +
                   ToUtf8(FileUrl(registration_)));
  }
  // The instance turns the URLs it is given into file names with its
  // locale's character set; that must be UTF-8, like the names themselves.
  std::vector<std::string> env;
  const bool utf8 = LocaleIsUtf8();
  for (char** e = environ; *e != nullptr; e++) {
    if (!utf8 && (std::strncmp(*e, "LC_ALL=", 7) == 0 || std::strncmp(*e, "LC_CTYPE=", 9) == 0)) {
      continue;
    }
    env.emplace_back(*e);
  }
  if (!utf8) env.emplace_back("LC_CTYPE=C.UTF-8");
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);

  const int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("cannot start soffice: ") + std::strerror(errno);
    if (devnull >= 0) close(devnull);
    return false;
  }
  if (pid == 0) {
    // Only async-signal-safe calls from here on.
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (devnull >= 0) {
      dup2(devnull, 0);
      dup2(devnull, 1);
      dup2(devnull, 2);
    }
    close_range(3, ~0U, 0);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (devnull >= 0) close(devnull);
  pid_ = pid;
  return true;
}

bool OfficeProcess::Connect(int seconds, std::string* error) {
  Reference<css::uno::XComponentContext> local = LocalContext(error);
  if (!local.is()) return false;
  const rtl::OUString url =
      FromUtf8("uno:pipe,name=" + pipeName_ + ";urp;StarOffice.ComponentContext");
  const auto deadline = steady_clock::now() + std::chrono::seconds(seconds);
  int restarts = 0;
  try {
    Reference<css::bridge::XUnoUrlResolver> resolver = css::bridge::UnoUrlResolver::create(local);
    for (;;) {
      // The pipe lives in /tmp under a name anyone can read from the
      // process list. Only a pipe this user owns is called: another user
      // could have made one there first, and in a sticky /tmp a pipe that is
      // ours stays ours.
      struct stat pipe {};
      if (lstat(PipePath().c_str(), &pipe) == 0) {
        if (!S_ISSOCK(pipe.st_mode) || pipe.st_uid != getuid()) {
          *error = PipePath() + " belongs to another user; the instance is not used";
          return false;
        }
        try {
          context_.set(resolver->resolve(url), UNO_QUERY_THROW);
          desktop_ = css::frame::Desktop::create(context_);
          return true;
        } catch (const css::connection::NoConnectException&) {
          // Not listening yet.
        }
      }
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        if (WIFEXITED(status) && WEXITSTATUS(status) == kRestartRequested && restarts++ < 3) {
          if (!Launch(error)) return false;
          continue;
        }
        *error = soffice_ + " ended before it answered (status " + std::to_string(status) + ")";
        return false;
      }
      if (steady_clock::now() >= deadline) {
        *error = soffice_ + " did not answer within " + std::to_string(seconds) + " seconds";
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  } catch (const css::uno::Exception& e) {
    *error = "cannot connect to " + soffice_ + ": " + ToUtf8(e.Message);
    return false;
  }
}

void OfficeProcess::Terminate() {
  bool ending = false;
  if (desktop_.is() && !attached_) {
    try {
      ending = desktop_->terminate();
    } catch (const css::uno::Exception&) {
      // The connection went down with the instance: it is ending.
      ending = true;
    }
  }
  desktop_.clear();
  context_.clear();
  if (pid_ > 0) {
    if (!ending || !WaitFor(pid_, std::chrono::seconds(10))) {
      kill(-pid_, SIGTERM);
      if (!WaitFor(pid_, std::chrono::seconds(3))) {
        kill(-pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
      }
    }
    pid_ = -1;
  }
  if (!pipeName_.empty()) {
    // An instance that had to be killed leaves its pipe behind.
    const std::string pipe = PipePath();
    struct stat info {};
    if (lstat(pipe.c_str(), &info) == 0 && S_ISSOCK(info.st_mode) && info.st_uid == getuid()) {
      unlink(pipe.c_str());
    }
    pipeName_.clear();
  }
  if (!profileDir_.empty()) {
    RemoveTree(profileDir_);
    profileDir_.clear();
  }
}

}  // namespace strbatch::uno
