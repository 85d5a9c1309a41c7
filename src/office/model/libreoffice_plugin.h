// The entry point of the LibreOffice plugin, a shared module loaded on the
// first office document. The UNO runtime lives only in the plugin, so the
// program runs (without office documents) on a machine without LibreOffice.
#ifndef STRBATCH_OFFICE_MODEL_LIBREOFFICE_PLUGIN_H_
#define STRBATCH_OFFICE_MODEL_LIBREOFFICE_PLUGIN_H_

#include <ftw.h>
#include <unistd.h>

#include <string>

#include "office/model/office_model.h"

namespace strbatch {

struct LibreOfficeSettings {
  std::string soffice;     // the soffice.bin program to start
  std::string privateDir;  // where the private user profile is made
  int startSeconds = 60;   // how long to wait for a started instance to answer
  // The plugin itself, which the instance loads to run documents inside
  // it; empty: every call goes over the pipe.
  std::string serviceModule;
};

// The plugin's file name, and the symbol it exports: a function that makes
// the suite, or gives null with a reason.
inline constexpr const char* kLibreOfficePluginName = "strbatch_libreoffice.so";
inline constexpr const char* kLibreOfficePluginEntry = "StrBatchCreateLibreOfficeSuite";
using CreateLibreOfficeSuite = OfficeSuite* (*)(const LibreOfficeSettings& settings,
                                                std::string* error);

// Removes a file or a directory tree (never following links): the
// instance's profile, or what a killed run left.
inline void RemoveTree(const std::string& path) {
  nftw(
      path.c_str(),
      [](const char* entry, const struct stat*, int type, struct FTW*) {
        if (type == FTW_DP) {
          rmdir(entry);
        } else {
          unlink(entry);
        }
        return 0;
      },
      16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace strbatch

#endif  // STRBATCH_OFFICE_MODEL_LIBREOFFICE_PLUGIN_H_
