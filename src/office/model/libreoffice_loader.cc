// MakeLibreOfficeBridge: the bridge over a suite that loads the LibreOffice
// plugin when the first office document needs it.
#include <dirent.h>
#include <dlfcn.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/paths.h"
#include "office/model/libreoffice_plugin.h"
#include "office/office_bridge.h"
#include "office/office_save.h"
#include "office/package/package_document.h"

namespace strbatch {
namespace {

constexpr const char* kDefaultSoffice = "/usr/lib/libreoffice/program/soffice.bin";

// Removes the profiles and saved copies ("office-PID-...") that runs killed
// before their end left in the private directory.
void RemoveLeftovers(const std::string& privateDir) {
  DIR* dir = opendir(privateDir.c_str());
  if (dir == nullptr) return;
  std::vector<std::string> stale;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.rfind("office-", 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + 7, nullptr, 10);
    if (pid <= 0 || pid == getpid()) continue;
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) stale.push_back(name);
  }
  closedir(dir);
  const std::string folder = privateDir + "/";
  for (const std::string& name : stale) RemoveTree(folder + name);
}

class LibreOfficeLoader : public OfficeSuite {
 public:
  std::unique_ptr<WordApplication> StartWord(Message* whyNot) override {
    OfficeSuite* suite = Load(whyNot);
    return suite ? suite->StartWord(whyNot) : nullptr;
  }
  std::unique_ptr<ExcelApplication> StartExcel(Message* whyNot) override {
    OfficeSuite* suite = Load(whyNot);
    return suite ? suite->StartExcel(whyNot) : nullptr;
  }
  std::unique_ptr<PowerPointApplication> StartPowerPoint(Message* whyNot) override {
    OfficeSuite* suite = Load(whyNot);
    return suite ? suite->StartPowerPoint(whyNot) : nullptr;
  }
  OfficeBridge* DocumentBridge(FileRewriter& rewriter) override {
    OfficeSuite* suite = Load(nullptr);
    return suite ? suite->DocumentBridge(rewriter) : nullptr;
  }
  void EndRun() override {
    if (suite_) suite_->EndRun();
  }

 private:
  // The suite, loaded on first use. A missing LibreOffice is told once, to
  // the first caller that asks why: the later documents of the run (and of
  // later runs) yield no text quietly.
  OfficeSuite* Load(Message* whyNot) {
    if (!suite_ && !failed_) {
      suite_.reset(LoadSuite(&error_));
      failed_ = !suite_;
    }
    if (failed_ && whyNot && !error_.empty()) {
      *whyNot = Message(MessageId::kLibreOfficeUnusable, {error_});
      error_.clear();
    }
    return suite_.get();
  }

  static OfficeSuite* LoadSuite(std::string* error) {
    LibreOfficeSettings settings;
    const char* soffice = std::getenv("STRBATCH_SOFFICE");
    settings.soffice = soffice && *soffice ? soffice : kDefaultSoffice;
    if (access(settings.soffice.c_str(), X_OK) != 0) {
      *error = settings.soffice + " is not installed";
      return nullptr;
    }
    if (Message why; !PrivateTempDir(&settings.privateDir, &why)) {
      *error = PlainReason(why);
      return nullptr;
    }
    RemoveLeftovers(settings.privateDir);
    // The plugin's UNO libraries live in LibreOffice's program folder, which
    // an installed plugin does not name (it carries no run path): they are
    // loaded from beside soffice first, so that the plugin's references find
    // them. One that fails shows in the plugin's own load error.
    const std::string officeDir = settings.soffice.substr(0, settings.soffice.rfind('/'));
    for (const char* library : {"libuno_sal.so.3", "libuno_salhelpergcc3.so.3",
                                "libuno_cppu.so.3", "libuno_cppuhelpergcc3.so.3"}) {
      const std::string path = officeDir + "/" + library;
      if (access(path.c_str(), R_OK) == 0) dlopen(path.c_str(), RTLD_NOW | RTLD_GLOBAL);
    }
    // Beside the program (the build), else where an installation puts it.
    const std::string programDir = ProgramDirectory();
    const std::string candidates[] = {
        programDir + "/" + kLibreOfficePluginName,
        programDir + "/../lib/" STRBATCH_MULTIARCH "/strbatch/" + kLibreOfficePluginName,
        programDir + "/../lib/strbatch/" + kLibreOfficePluginName,
    };
    void* module = nullptr;
    std::string loadError = "the plugin " + std::string(kLibreOfficePluginName) + " is missing";
    for (const std::string& candidate : candidates) {
      if (access(candidate.c_str(), R_OK) != 0) continue;
      // The module stays loaded for the life of the process: the UNO
      // runtime it brings in keeps threads of its own.
      module = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (module) break;
      const char* why = dlerror();
      loadError = why ? why : "cannot load " + candidate;
    }
    if (module == nullptr) {
      *error = loadError;
      return nullptr;
    }
    auto create = reinterpret_cast<CreateLibreOfficeSuite>(dlsym(module, kLibreOfficePluginEntry));
    if (create == nullptr) {
      *error = "the plugin has no entry point";
      return nullptr;
    }
    return create(settings, error);
  }

  std::unique_ptr<OfficeSuite> suite_;
  bool failed_ = false;
  std::string error_;  // why the suite failed, until told
};

}  // namespace

std::unique_ptr<OfficeBridge> MakeApplicationBridge(FileRewriter& rewriter) {
  return MakeOfficeBridge(std::make_unique<LibreOfficeLoader>(), rewriter);
}

std::unique_ptr<OfficeBridge> MakeLibreOfficeBridge(FileRewriter& rewriter) {
  // The zipped formats are edited in their XML: no LibreOffice is started
  // for them.
  return MakePackageBridge(MakeApplicationBridge(rewriter), rewriter);
}

}  // namespace strbatch

#if defined(__SANITIZE_ADDRESS__)
// The UNO runtime keeps its type descriptions for the life of the process,
// and its own exit handlers drop the tables that point to them before the
// leak check runs. Those allocations are not this program's leaks.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libuno_cppu.so\n"
         "leak:libuno_sal.so\n"
         "leak:cppu_detail_getUnoType\n";
}
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
